#pragma once
// CQorConnection: one communication line to instruments, a COM port used directly,
// through a dial-up modem or through a spread-spectrum radio, as a node of the tree.
//
// This holds the connection's settings (name, kind, port, baud rate, phone number, call
// time-out, modem initialisation string, network search), shows them as its tree item,
// and owns the protocol object through which the line is reached while it is open: the
// bare link, or the session that took the link over. At most one of them is set; the
// connection is open while one is.
//
// It opens the line (dialling a modem line first) and searches it for devices, keeps a
// device node for every device found (at most 128, in slots filled from 0 without gaps;
// each holds the command-set object), checks them again on the user's Find, polls them
// for scheduled test starts, services the line for the idle handler and closes the line
// (hanging a modem up) when the link reports it lost. The first device found fixes the
// command set of the line: a session for the current generation, a legacy instrument for
// the older one; a device of the other generation is refused with a message.
//
// Settings read from a site file that the connection would refuse are kept as they are
// (GetSettingsError tells why they cannot be used), so a stored connection is never
// replaced by defaults and lost at the next save.

#include "site/AppErrorCode.h"
#include "site/ConnectionInfo.h"
#include "site/QorView.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace wv {
class OleDateTime;
}

class CCallback;
class CDisconnectHandler;
class CLegacyInstrument;
class CModemStatus;
class CQorDevice;
class CTkLink;
class CTkSession;
struct CTkModemSettings;
struct FoundDeviceRecord;

class CQorConnection : public CQorView {
public:
    // Empty name, kind 0, port not set, baud 0, no phone number, call time-out 10 s, no
    // initialisation string, network search off, closed.
    CQorConnection();
    // Drops whatever line is open, without any exchange with the device or the modem.
    ~CQorConnection() override;

    // ---- Tree ----
    // Inserts its item with its label and icon after insertAfter and expands the parent.
    void AddToTree(CSiteTree* tree, TreeItem parentItem, TreeItem insertAfter) override;
    // ViewId::Connection for its own item.
    ViewId GetViewId(TreeItem item) const override;
    // Sets its icon and label on its item.
    void RefreshTreeItem() override;
    NodeType GetNodeType() const override;
    // Sets the expand button through ReinsertTreeItem, with its icon and label.
    void UpdateTreeItem(bool hasChildren);

    // ---- Settings ----
    // Remembers parent when it is not null, then validates the settings (ValidateSettings)
    // and, when they are valid, stores them and the network-search flag. Returns 0, or
    // the refusal (nothing stored then).
    AppErrorCode SetSettings(const CConnectionInfo& info, CQorView* parent, bool networkSearch);
    // Stores the settings without refusing any (the network-search flag is kept),
    // remembers whether they are usable (GetSettingsError) and refreshes the item.
    void ApplySettings(const CConnectionInfo& info);
    // The settings (not the network-search flag).
    void GetSettings(CConnectionInfo& info) const;
    // 6142 for port 255, else 6141 for a baud rate other than 1200, 2400, 4800, 9600,
    // 19200 and 57600, else 6140 for a kind other than 1 to 4, else 0.
    static AppErrorCode ValidateSettings(const CConnectionInfo& info);
    // Why the stored settings cannot be used to open the line (ValidateSettings of them),
    // 0 when they can.
    AppErrorCode GetSettingsError() const { return m_settingsError; }

    const std::string& GetName() const { return m_name; }
    uint16_t GetKind() const { return m_kind; }
    // The call time-out in seconds.
    uint32_t GetOption() const { return m_callTimeout; }
    // The call time-out as the modem settings' byte carries it: clamped to 255.
    uint8_t GetCallTimeoutByte() const;
    // The COM port into port; returns 0.
    int GetPort(uint8_t& port) const;
    uint16_t GetBaud() const { return m_baud; }
    const std::string& GetPhoneNumber() const { return m_phoneNumber; }
    const std::string& GetInitString() const { return m_initString; }
    bool IsNetworkSearch() const { return m_networkSearch != 0; }
    void SetNetworkSearch(bool networkSearch) { m_networkSearch = networkSearch ? 1 : 0; }

    // ---- Texts ----
    // "COM<n>" with the port number plus one; "Unknown" for a port not set.
    std::string GetPortText() const;
    // The rate for 1200, 2400, 4800, 9600, 19200, 38400 and 57600, else "Unknown".
    std::string GetBaudText() const;
    // The phone number of a modem connection, else empty.
    std::string GetNumberText() const;
    // "Direct", "Modem" or "Spread Spectrum Radio" for kinds 1 to 3, else empty.
    std::string GetKindText() const;
    // The item's text: for a modem connection the phone number, " : " and the name, else
    // the name; while open, after the "On-Line (<device count>) : " prefix.
    std::string GetLabel() const;
    // The item's image by kind: 25 direct, 26 modem, 27 radio, 24 otherwise.
    int GetIconIndex() const;

    // ---- Line ----
    static constexpr int kMaxDevices = 128;

    bool IsOpen() const;
    // The open link, whichever object holds it; null while closed.
    CTkLink* GetLink() const;
    CTkSession* GetSession() const { return m_session.get(); }
    CLegacyInstrument* GetLegacyInstrument() const { return m_legacy.get(); }
    CModemStatus* GetModemStatus() const { return m_modemStatus.get(); }
    uint16_t GetDeviceCount() const { return m_deviceCount; }
    // The device node in slot index, or null.
    CQorDevice* GetDevice(int index) const;

    // Opens the line and searches it. A modem line is dialled first, with the modem's
    // progress in the frame's modem pane; the user may cancel the dial. 0 when it was open
    // already, when the search left a device node, when every device that answered was
    // refused (the refusals have been shown), or when the user cancelled the dial or the
    // search; 6143 when another open connection uses the same port or the line could not
    // be opened or dialled; 6144 when the search failed; 6146 when no device answered;
    // 6200 when the line was lost; 5110 when another command waits on the line. The line
    // stays open after a search that found nothing. The document's views are updated
    // when the line opens, so they show it open while it is dialled and searched.
    AppErrorCode FindDevices();
    // Asks every device node with a session for its identity, from the last slot to the
    // first; a device that does not answer is removed, or, when it is the only one, the
    // connection is disconnected. A device whose session is busy with another command
    // (5110) is kept.
    void VerifyExistingDevices();
    // The user's Find: verifies the known devices, then searches the line again (or, with
    // no device left, closes whatever holds the port and opens it anew); a search that
    // leaves no device node closes the line. 5110 at once, with nothing changed, while a
    // command waits on the line.
    AppErrorCode VerifyDevices();
    // A device the search found: gives the connection its command set when it has none
    // (the session or the legacy instrument takes the link; one that cannot take it leaves
    // it with the connection), and adds a device node when the device is new and allowed
    // on this line. A device of the other generation than the line's command set, and
    // every device on a line of the older command set (which shows none), is refused
    // with its text: while a search runs the refusals are collected and shown together
    // once it has ended (a message box open during the search would eat its reply
    // windows); outside a search at once. Returns 0.
    int AddFoundDevice(const FoundDeviceRecord& record);
    // Takes the device out of its slot, moves the later ones down and destroys it; the
    // item loses its expand button with the last device. Nothing when it is not here.
    void RemoveDevice(CQorDevice* device);
    // Closes the line: destroys the device nodes, hangs a modem line up, and destroys the
    // protocol object. With notify selects the connection's item first, clears the modem
    // status pane of a modem connection, and takes the expand button off its item and
    // updates the document's views afterwards. Returns the hang-up's result or 0 (also when it was not open), or 5110
    // with nothing changed while a command waits on the line.
    int Disconnect(bool notify);
    // The first connection of the site (this one included) that is open and uses the
    // same port, by number or by device path; false when there is none.
    bool FindConnectionOnSamePort(CQorConnection*& connection);
    // The scheduled-start poll of the application's idle handler: one device slot per
    // call, the cursor moving on and wrapping at the device count; a poll entered again
    // while one runs only moves the cursor. A device's due scheduled starts are handled
    // in turn, each test at most once per call.
    void PollTestStarts();
    uint16_t GetPollCursor() const { return m_pollCursor; }
    // The idle handler's line service: one line check on the link, whichever object holds
    // it; then, when the link reported the line lost, the message and the disconnect.
    void ServiceLink();
    // Called by the lost-line handler: records the loss for ServiceLink.
    void RecordLineLoss() { m_lineLost = true; }
    bool IsLineLossPending() const { return m_lineLost; }
    // True while a command or a search waits on the line.
    bool IsLineBusy() const;

    // The modem settings of this connection's line: carrier means connected, hang-up by
    // DTR, the call time-out (clamped to 255 s), 30 s between busy redials, 3 redials, the
    // initialisation string (at most 80 characters), "ATDT" and "ATH0".
    void GetModemSettings(CTkModemSettings& settings) const;
    // The number dialled: the phone number, at most 100 characters.
    std::string GetDialNumber() const;

    // Opens a connection's modem line in place of the program's modem on its port (the
    // arguments of OpenModemLine); 0 or the link's error.
    using ModemLineOpener =
        std::function<int(CQorConnection& connection, CTkLink& link, const std::string& number,
                          const CTkModemSettings& settings)>;
    // Every connection's modem line is opened by opener from now on (an empty one restores
    // the program's modem); returns the opener replaced. Tests hand in a simulated modem
    // line here for the connections the program makes itself.
    static ModemLineOpener SetModemLineOpener(ModemLineOpener opener);

protected:
    // The protocol search on what the connection holds (the session, the legacy
    // instrument or the bare link), with callback; its result. Tests stand in results of
    // their own here.
    virtual int SearchLine(CCallback& callback);
    // Opens link as a dial-up line on the connection's port and rate with the program's
    // modem for number and settings; 0 or the link's error. Tests stand in a modem line of
    // their own here.
    virtual int OpenModemLine(CTkLink& link, const std::string& number, const CTkModemSettings& settings);

    // The line while it is open: the bare link until a session or a legacy instrument
    // takes it over.
    std::unique_ptr<CTkLink> m_link;
    std::unique_ptr<CTkSession> m_session;
    std::unique_ptr<CLegacyInstrument> m_legacy;
    // The device nodes, slots 0 to m_deviceCount - 1.
    std::array<NodeOwner<CQorDevice>, kMaxDevices> m_devices;
    uint16_t m_deviceCount = 0;

private:
    // Destroys the protocol object (the session closes the link it owns), then the
    // handlers the link knew.
    void ReleaseLine();
    // Disconnect; select tells whether the connection's item is selected first.
    int DisconnectLine(bool notify, bool select);
    // Runs the search on what the connection holds, with the search callback, the status
    // text and the busy state, then shows the refusals it collected; the protocol result.
    // refused tells whether any device was refused.
    int RunSearch(bool& refused);
    // A device refused with the text textId (a "%d" for its address): collected while a
    // search runs, else shown at once.
    void Refuse(uint16_t address, uint32_t textId);
    // Shows the refusals collected, all in one message, and forgets them; false when
    // there were none.
    bool ShowRefusals();
    // Tells the document's views that the connection changed (its line opened or closed).
    void UpdateViews();
    // Opens and dials a modem line on link; cancelled tells whether the user cancelled
    // the dial. 0 or the failure.
    int OpenAndDial(CTkLink& link, bool& cancelled);
    // Asks a device node's session for the device's identity; 0 when it answered, 5110
    // when the session is busy, 1 for a node without session (it is not asked).
    int AskIdentity(CQorDevice& device);
    // The due-start handling of one scheduled test of device.
    void HandleDueStart(CQorDevice& device, uint8_t testNumber, const wv::OleDateTime& start);
    // The protocol object of a found device; false when the device is refused.
    bool TakeCommandSet(const FoundDeviceRecord& record);
    // The device path of the connection's port, as the port map gives it (empty when not
    // mapped).
    std::string PortPath() const;

    // A device refused during the running search, in the order found.
    struct Refusal {
        uint16_t address;
        uint32_t textId;
    };
    std::vector<Refusal> m_refusals;
    bool m_searching = false;

    std::unique_ptr<CDisconnectHandler> m_disconnectHandler;
    std::unique_ptr<CModemStatus> m_modemStatus;
    bool m_lineLost = false;

    std::string m_name;
    uint16_t m_kind = 0;
    uint8_t m_port = kPortNotSet;
    uint16_t m_baud = 0;
    std::string m_phoneNumber;
    uint32_t m_callTimeout = 10;
    std::string m_initString;
    uint16_t m_pollCursor = 0;
    uint8_t m_polling = 0;
    uint8_t m_networkSearch = 0;
    AppErrorCode m_settingsError = kAppErrPortNotSet; // a new connection has no port yet
};
