#pragma once
// CDeviceFinder: finds the sonde of a low-flow run on a serial port. The caller chooses
// the port and baud rate by their texts (Select), then OpenDevice opens the port, searches
// the line and keeps the first device that answers, with a session talking to it.
//
// CFindDevicesNotifier is the search's callback: it keeps the address and type of the
// first device reported, and stops the search once it has it or when the finder's abort
// flag is set. It reports nothing to any window (nothing in the program listens to the
// search's progress); it only counts the steps.
//
// Threads: used on the user-interface thread, except Abort, which any thread may call
// while a search runs.

#include "comm/Callback.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CDeviceFinder;
class CProfileNotifyTarget;
class CTkLink;
class CTkSession;

// The device a search kept: its address (0 = none) and device type (4 until found).
struct FoundDevice {
    uint16_t address = 0;
    uint16_t deviceType = 4;
};

class CFindDevicesNotifier : public CCallback {
public:
    static constexpr int kModeReport = 0;
    static constexpr int kModeQuiet = 1;

    // Mode report, counter 0, nothing kept.
    CFindDevicesNotifier(CDeviceFinder* finder, FoundDevice* found, uint8_t maximum, CProfileNotifyTarget* notify);
    ~CFindDevicesNotifier() override;

    // Sets the mode and clears the progress counter.
    void SetMode(int mode);
    void Begin(int steps) override;
    // value: the address of a FoundDeviceRecord, or 0 while no new device is there.
    // Non-zero (stop) when the finder is asked to abort, when the maximum is kept already,
    // or once this device makes the maximum; a quiet notifier only honours the abort.
    int Progress(intptr_t value) override;
    void End() override;

    int GetMode() const { return m_mode; }
    uint16_t GetProgressCount() const { return m_counter; }
    uint8_t GetKeptCount() const { return m_kept; }

private:
    FoundDevice* m_found;
    uint8_t m_maximum;
    uint8_t m_kept = 0;
    CProfileNotifyTarget* m_notify;
    int m_mode = kModeReport;
    uint16_t m_counter = 0;
    CDeviceFinder* m_finder;
};

class CDeviceFinder {
public:
    // The port texts "COMM 1" .. "COMM 8" and the baud texts of the rates a sonde takes.
    CDeviceFinder();
    virtual ~CDeviceFinder();
    CDeviceFinder(const CDeviceFinder&) = delete;
    CDeviceFinder& operator=(const CDeviceFinder&) = delete;

    // Chooses the port and baud rate. byList: the port text must be one of the port names
    // (any letter case); otherwise it is read as a number after every "COMM " is removed,
    // and must lie in 1..255. The baud text must be one of the baud names either way.
    // Returns the selection-valid flag (0 or 1).
    int Select(std::string_view portText, std::string_view baudText, bool byList);
    // Opens the selected port, searches the line and talks to the first device that
    // answers: 1, or 0 (everything closed again) when the port or rate is not valid, the
    // port cannot be opened or no device answers.
    int OpenDevice(CProfileNotifyTarget* notify);
    // Closes the session and its port, drops the notifier; no device found.
    void Reset();

    // Asks a running search to stop (any thread); cleared by OpenDevice.
    void Abort() { m_abort = true; }
    bool IsAbortRequested() const { return m_abort.load(); }

    bool IsSelectionValid() const { return m_selectionValid != 0; }
    int GetPortNumber() const { return m_port; }
    int GetBaudRate() const { return m_baud; }
    const FoundDevice& GetFoundDevice() const { return m_found; }
    // The session talking to the found device (null before OpenDevice succeeds).
    CTkSession* GetSession() const { return m_session.get(); }
    CFindDevicesNotifier* GetNotifier() const { return m_notifier.get(); }

    const std::vector<std::string>& GetPortNames() const { return m_portNames; }
    const std::vector<std::string>& GetBaudNames() const { return m_baudNames; }

private:
    std::unique_ptr<CTkSession> m_session;
    FoundDevice m_found;
    std::unique_ptr<CFindDevicesNotifier> m_notifier;
    int m_selectionValid = 0;
    int m_port = 0;
    int m_baud = 0;
    std::vector<std::string> m_baudNames;
    std::vector<int> m_baudValues;
    std::vector<std::string> m_portNames;
    std::vector<int> m_portNumbers;
    std::atomic<bool> m_abort{false};
};
