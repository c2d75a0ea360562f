#pragma once
// CWiperControl: the control behind the wiper dialog of a sonde's turbidity wiper (Wipe,
// Home, Away and Calibrate). It sends the wiper's command words through a session, reads
// the wiper's state from its 'U' record, and moves the wiper's timing calibration between
// the 'U' record and the wiper's calibration channel (channel 35), or back to the factory
// values.
//
// The control remembers the first failure of any of its commands (the recorded error) and
// the wiper's own error byte; while either is set the state is 255 (kWiperStateUnknown)
// until ClearError. The state is read from the device when a command has run since it was
// last read. Every device operation marks the control busy while it talks to the device
// (the session lets user-interface events run while it waits): an operation asked for
// meanwhile sends nothing and returns at once.

#include "comm/Callback.h"
#include "comm/protocol/ChannelRecords.h"
#include "comm/protocol/TkResultCodes.h"

#include <array>
#include <cstddef>
#include <cstdint>

class CTkSession;

// Wiper states (the 'U' record's state byte): 1 at home, 5 kept away by command, other
// values moving or in transition. The control uses 255 for an error or an unknown state.
inline constexpr uint8_t kWiperStateHome = 1;
inline constexpr uint8_t kWiperStateAway = 5;
inline constexpr uint8_t kWiperStateUnknown = 255;

// The wiper's command words (command 273).
inline constexpr uint16_t kWiperCommandWipe = 0;
inline constexpr uint16_t kWiperCommandHome = 0xFFFC;
inline constexpr uint16_t kWiperCommandStayAway = 0xFFFD;
inline constexpr uint16_t kWiperCommandCalibrate = 0xFFFA;

// The channel that keeps a copy of the wiper's timing calibration.
inline constexpr uint8_t kWiperCalibrationChannel = 35;
// The eight values of the 'U' record that make the timing calibration (the first, second,
// fourth, fifth, sixth, eighth, ninth and tenth), and their factory values.
inline constexpr std::array<size_t, 8> kWiperCalibrationValues{0, 1, 3, 4, 5, 7, 8, 9};
inline constexpr std::array<uint16_t, 8> kWiperFactoryValues{500, 1000, 182, 91, 10, 50, 61, 0};

class CWiperControl {
public:
    // session is not owned; callback (may be null) is passed to every command.
    CWiperControl(CTkSession* session, CCallback* callback);

    // Send the command word 0, 0xFFFC or 0xFFFD; return the new state.
    uint8_t Wipe();
    uint8_t GoHome();
    uint8_t StayAway();
    // Sends 0xFFFA. True when neither a command error nor a wiper error is recorded;
    // otherwise puts the calibration kept in channel 35 back (ApplyCalibration) and
    // returns false. False at once, sending nothing, while busy.
    bool Calibrate();
    // Sends a command word and records its result; returns GetState. While busy: sends
    // nothing and returns 255 at once.
    uint8_t SendCommand(uint16_t command);

    // The state: 255 while an error or a wiper error is recorded; while busy the state as
    // it is; else, when a command ran since the last read, the 'U' record is read (its
    // error byte becomes the wiper error): its state byte, or 255 when an error is
    // recorded or the error byte is not 0.
    uint8_t GetState();

    // Not busy, and the state is 1 / 5 / 0, 1 or 255.
    bool IsHome();
    bool IsStayAway();
    bool IsReady();

    // Copies the eight calibration values of the 'U' record into channel 35's first three
    // calibration segments (standard, reading and temperature of the first two, standard
    // and reading of the third) and writes the channel. Returns GetState.
    uint8_t ReadCalibration();
    // The reverse: channel 35's eight floats, truncated, replace the 'U' record's eight
    // calibration values, and the record is written. A value that is not a number or
    // outside 0 to 65535 after truncation, or eight zeros, is refused with 5120 recorded
    // and nothing written. Returns GetState.
    uint8_t ApplyCalibration();
    // Clears the recorded errors, reads the 'U' record and writes it back with state 1 and
    // error 0 (nothing is written when it cannot be read). Returns GetState.
    uint8_t ClearError();
    // Reads the 'U' record and writes it back with the factory calibration values, state 1
    // and error 0 (nothing is written when it cannot be read), then ReadCalibration.
    // Returns GetState.
    uint8_t ResetToFactory();

    // The recorded error (0: none), the wiper's error byte, and the busy flag.
    uint16_t GetError() const { return m_error; }
    uint8_t GetWiperError() const { return m_wiperError; }
    bool IsBusy() const { return m_busy; }

private:
    // Marks the control busy for its lifetime.
    class BusyScope {
    public:
        explicit BusyScope(bool& busy) : m_busy(busy) { m_busy = true; }
        ~BusyScope() { m_busy = false; }
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

    private:
        bool& m_busy;
    };

    // Every command result makes the state stale; the first failure is kept.
    void Record(int result);
    bool CalibrationChannelAndRecord(WiperRecord& wiper, ChannelDefinitionRecord& channel);
    void CopyRecordToChannel();

    CTkSession* m_session;
    CCallback* m_callback;
    uint16_t m_error = 0;
    uint8_t m_state = kWiperStateUnknown;
    uint8_t m_wiperError = 0;
    bool m_busy = false;
    bool m_stateValid = false;
};
