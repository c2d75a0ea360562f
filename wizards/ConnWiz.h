#pragma once
// The connection wizard: creates or edits the settings of one connection of the site (kind,
// port, baud rate, the modem's phone number, call time-out and initialisation string,
// whether several devices share the line, the name) in four pages. The caller reads the
// record, the multi-device flag and the find-on-finish choice after Finish (12325).

#include "site/ConnectionInfo.h"
#include "wizards/WVPropertyPage.h"
#include "wizards/WVPropertySheet.h"

#include <cstdint>
#include <string>
#include <vector>

class CConnWiz;

// Page and item ids.
constexpr int kIdConnWizKindPage = 112;
constexpr int kIdConnWizPortPage = 113;
constexpr int kIdConnWizSpeedPage = 114;
constexpr int kIdConnWizNamePage = 115;

constexpr int kIdConnDirect = 1462;
constexpr int kIdConnModem = 1463;
constexpr int kIdConnRadio = 1006;
constexpr int kIdConnOneDevice = 1008;
constexpr int kIdConnManyDevices = 1009;

constexpr int kIdConnPortLabel = 1491;
constexpr int kIdConnPortList = 1492;
constexpr int kIdConnPhoneLabel = 1028;
constexpr int kIdConnPhone = 1015;
constexpr int kIdConnTimeoutLabel = 1493;
constexpr int kIdConnTimeout = 1494;
constexpr int kIdConnSecondsLabel = 1110;
constexpr int kIdConnInitLabel = 1398;
constexpr int kIdConnInit = 1397;

constexpr int kIdConnBaudList = 1495;
constexpr int kIdConnBaudNote = 1497;

constexpr int kIdConnName = 1496;
constexpr int kIdConnFindOnFinish = 1286;

// The COM numbers (1 is COM1) that the port page offers: the known ports whose device is
// present (section Ports of the registry and the serial devices found), found without
// opening any of them, and always the connection's own port (storedPort, zero-based),
// ascending.
std::vector<int> ListConnectionPorts(int storedPort);

// Page 112: kind of connection and number of devices.
class CConnWiz1 : public CWVPropertyPage {
    Q_OBJECT
public:
    explicit CConnWiz1(CConnWiz& wiz);
    int GetPageId() const override { return kIdConnWizKindPage; }
    void OnInitDialog() override;
    int OnSetActive() override;

private:
    void OnKind(uint16_t kind, uint16_t baud);
    CConnWiz& wiz_;
};

// Page 113: port; for a modem also phone number, call time-out and initialisation string.
class CConnWiz2 : public CWVPropertyPage {
    Q_OBJECT
public:
    explicit CConnWiz2(CConnWiz& wiz);
    int GetPageId() const override { return kIdConnWizPortPage; }
    void OnInitDialog() override;
    int OnSetActive() override;
    // Fills the port list (once, when the page is created).
    void FillPortList();

private:
    void UpdateButtons();
    void OnPortChanged();
    CConnWiz& wiz_;
};

// Page 114: baud rate.
class CConnWiz3 : public CWVPropertyPage {
    Q_OBJECT
public:
    explicit CConnWiz3(CConnWiz& wiz);
    int GetPageId() const override { return kIdConnWizSpeedPage; }
    void OnInitDialog() override;
    int OnSetActive() override;
    // The rates of the list, by position.
    static const std::vector<uint16_t>& Rates();

private:
    void OnRateChosen(int position);
    CConnWiz& wiz_;
};

// Page 115: the connection's name and find on finish.
class CConnWiz4 : public CWVPropertyPage {
    Q_OBJECT
public:
    explicit CConnWiz4(CConnWiz& wiz);
    int GetPageId() const override { return kIdConnWizNamePage; }
    int OnSetActive() override;
    PageNavCode OnWizardBack() override;
    int OnWizardFinish() override;

    // The name proposed on showing: an empty name becomes "COM<port+1>-<baud>"; a name of
    // the form COM<n>-<rate>... with n 0..255 and rate 1200..57600 gets its leading part
    // renewed for port and baud and keeps the rest; any other name stays.
    static std::string DefaultName(const std::string& name, int port, int baud);
    void UpdateDefaultName();

private:
    CConnWiz& wiz_;
};

class CConnWiz : public CWVPropertySheet {
    Q_OBJECT
public:
    // info: the connection to edit, or null for a new one; multiDevice: the connection's
    // multi-device flag (0 for a new one).
    CConnWiz(const CConnectionInfo* info, uint8_t multiDevice, QWidget* parent = nullptr, int startPage = 0);
    ~CConnWiz() override;

    CConnectionInfo GetConnection() const;
    uint8_t GetMultiDevice() const { return multiDevice_; }
    uint8_t GetFindOnFinish() const { return findOnFinish_; }

private:
    friend class CConnWiz1;
    friend class CConnWiz2;
    friend class CConnWiz3;
    friend class CConnWiz4;

    void Init(const CConnectionInfo* info, uint8_t multiDevice);

    std::string name_;
    uint16_t kind_ = kConnectionDirect;
    uint8_t port_ = 0;
    uint16_t baud_ = 19200;
    std::string phoneNumber_;
    int32_t callTimeout_ = 45;
    std::string initString_ = "AT&FE0&C1&D2X4&K0";
    uint8_t multiDevice_ = 0;
    uint8_t findOnFinish_ = 1;

    CConnWiz1 page1_;
    CConnWiz2 page2_;
    CConnWiz3 page3_;
    CConnWiz4 page4_;
};
