#pragma once
// The firmware upgrade wizard: replaces a device's firmware with the image kept in the
// program home's Firmware folder. Before the upgrade it makes sure no test is running and,
// for a level logger with very old firmware, that the device's factory information matches
// the factory database (repairing it from the serial number and first pressure coefficient
// the user types when it does not). The device node does the work; the wizard sequences
// it, shows its progress and reports its failures.
//
// Pages in order: obsolete firmware (293), preparation (316), enter information (294),
// verification results (295), upgrade (290). Every Back leads to 293.

#include "comm/Callback.h"
#include "comm/protocol/TkResultCodes.h"
#include "wizards/WVPropertyPage.h"
#include "wizards/WVPropertySheet.h"

#include <QMessageBox>
#include <QRect>

#include <cstdint>
#include <functional>
#include <string>

class CQorDevice;
class CUpgradeWizFirmSheet;

// Page templates.
constexpr int kIdFirmObsoletePage = 293;
constexpr int kIdFirmPreparePage = 316;
constexpr int kIdFirmMfgInfoBadPage = 294;
constexpr int kIdFirmMfgInfoOkPage = 295;
constexpr int kIdFirmUpgradePage = 290;

// Items.
constexpr int kIdFirmCurrentVersion = 1320;
constexpr int kIdFirmUpgradeVersion = 1322;
constexpr int kIdFirmMoreInfo = 1441;
constexpr int kIdFirmStopTest = 1498;
constexpr int kIdFirmContinueTest = 1537;
constexpr int kIdFirmSerialNumber = 1534;
constexpr int kIdFirmCoefficient = 1536;
constexpr int kIdFirmViewChanges = 1441;
constexpr int kIdFirmTransferBar = 1302;
constexpr int kIdFirmProgramBar = 1301;
constexpr int kIdFirmStatusArea = 1336;
constexpr int kIdFirmUpgradeButton = 1403;

// The sheet's upgrade status.
constexpr int kFirmStatusReady = 0;
constexpr int kFirmStatusUpgrading = 1;
constexpr int kFirmStatusDone = 2;
constexpr int kFirmStatusFailed = 3;

// The factory check's answers that mean the device's information does not match.
constexpr int kFirmMfgMismatchA = kTkErrWrongDevice;
constexpr int kFirmMfgMismatchB = kTkErrNoMfgRecord;

// The version file of a device type's family ("Firmware/wqos.ver" for types 30 to 40,
// else "Firmware/tavotk.ver") and its release history.
const char* FirmwareVersionFile(int deviceType);
const char* FirmwareHistoryFile(int deviceType);

// One message box of the wizard: the text already filled in, its caption and icon, OK
// alone or OK and Cancel.
struct FirmWizMessage {
    uint32_t textId = 0;
    uint32_t captionId = 0;
    std::string text;
    QMessageBox::Icon icon = QMessageBox::Warning;
    bool okCancel = false;
};

// Page 293: the current and the available version.
class CUpgradeWizObsFw : public CWVPropertyPage {
    Q_OBJECT
public:
    explicit CUpgradeWizObsFw(CUpgradeWizFirmSheet& wiz);
    int GetPageId() const override { return kIdFirmObsoletePage; }
    void OnInitDialog() override;
    int OnSetActive() override;
    PageNavCode OnWizardNext() override;

    double GetCurrentVersion() const { return current_; }
    double GetUpgradeVersion() const { return upgrade_; }

private:
    CUpgradeWizFirmSheet& wiz_;
    double current_ = 0.0;
    double upgrade_ = 0.0;
};

// Page 316: a test runs; stop it now or leave the wizard.
class CUpgradeWizFirmUpPrep : public CWVPropertyPage {
    Q_OBJECT
public:
    explicit CUpgradeWizFirmUpPrep(CUpgradeWizFirmSheet& wiz);
    int GetPageId() const override { return kIdFirmPreparePage; }
    int OnSetActive() override;
    PageNavCode OnWizardNext() override;
    PageNavCode OnWizardBack() override { return kIdFirmObsoletePage; }

private:
    CUpgradeWizFirmSheet& wiz_;
};

// Page 294: the factory information does not match; the user types the serial number and
// first pressure coefficient to find the device in the factory database.
class CUpgradeWizMfgInfoBad : public CWVPropertyPage {
    Q_OBJECT
public:
    explicit CUpgradeWizMfgInfoBad(CUpgradeWizFirmSheet& wiz);
    int GetPageId() const override { return kIdFirmMfgInfoBadPage; }
    int OnSetActive() override;
    PageNavCode OnWizardNext() override;
    PageNavCode OnWizardBack() override { return kIdFirmObsoletePage; }

private:
    CUpgradeWizFirmSheet& wiz_;
};

// Page 295: the factory information is verified (or repaired).
class CUpgradeWizMfgInfoOK : public CWVPropertyPage {
    Q_OBJECT
public:
    explicit CUpgradeWizMfgInfoOK(CUpgradeWizFirmSheet& wiz);
    int GetPageId() const override { return kIdFirmMfgInfoOkPage; }
    int OnSetActive() override;
    PageNavCode OnWizardBack() override { return kIdFirmObsoletePage; }

private:
    CUpgradeWizFirmSheet& wiz_;
};

// Page 290: the upgrade itself, with the transfer and re-programming progress.
class CUpgradeWizFirm : public CWVPropertyPage {
    Q_OBJECT
public:
    explicit CUpgradeWizFirm(CUpgradeWizFirmSheet& wiz);
    int GetPageId() const override { return kIdFirmUpgradePage; }
    void OnInitDialog() override;
    int OnSetActive() override;
    PageNavCode OnWizardBack() override { return kIdFirmObsoletePage; }

    // "&Upgrade Firmware".
    void OnUpgrade();
    // The status text of the sheet's upgrade status.
    uint32_t StatusTextId() const;
    const QRect& GetStatusRect() const { return statusRect_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CUpgradeWizFirmSheet& wiz_;
    QRect statusRect_;
};

// The upgrade's progress: the first phase (the transfer) moves bar 1302, the second (the
// device's re-programming and restart) bar 1301. Positions are clamped to 0-100; phases
// after the second are ignored. Never asks to cancel.
class CUpgradeWizFirmCllbk : public CCallback {
public:
    explicit CUpgradeWizFirmCllbk(CUpgradeWizFirm& page) : page_(page) {}
    void Begin(int steps) override;
    int Progress(intptr_t value) override;
    void End() override {}

    int GetPhase() const { return phase_; }

private:
    CUpgradeWizFirm& page_;
    int phase_ = 0;
};

class CUpgradeWizFirmSheet : public CWVPropertySheet {
    Q_OBJECT
public:
    CUpgradeWizFirmSheet(CQorDevice* device, QWidget* parent = nullptr, int startPage = 0);
    ~CUpgradeWizFirmSheet() override;

    CQorDevice* GetDevice() const { return device_; }
    int GetUpgradeStatus() const { return upgradeStatus_; }
    void SetUpgradeStatus(int status) { upgradeStatus_ = status; }

    // Cancel, Esc and the close box: nothing while the upgrade runs; after a successful
    // upgrade the wizard ends as finished (12325); otherwise the user is warned and OK
    // returns to the wizard, Cancel ends it (2).
    void OnCancel() override;

    // Where Next goes once no test runs: the upgrade page unless the firmware is very old,
    // else by the factory check (295 verified, 294 mismatch, stay with a message).
    PageNavCode RouteToUpgrade(CWVPropertyPage& page);

    // Shows a message box over the wizard; true when the user pressed OK.
    bool ShowMessage(const FirmWizMessage& message);
    // A device failure: the format's "%d" gets the code and "%s" the shared remedies text.
    void ShowDeviceError(uint32_t textId, uint32_t captionId, int code,
                         QMessageBox::Icon icon = QMessageBox::Warning);
    // Opens a file of the program home with the desktop's handler; a message when nothing
    // could open it.
    void OpenHomeFile(const char* relative);

    CUpgradeWizObsFw& ObsoletePage() { return obsolete_; }
    CUpgradeWizFirmUpPrep& PreparePage() { return prepare_; }
    CUpgradeWizMfgInfoBad& MfgInfoBadPage() { return mfgBad_; }
    CUpgradeWizMfgInfoOK& MfgInfoOkPage() { return mfgOk_; }
    CUpgradeWizFirm& UpgradePage() { return upgrade_; }

    // Tests answer the message boxes and see the files opened.
    std::function<bool(const FirmWizMessage&)> messageResponder;
    std::function<bool(const std::string& path)> openResponder;

private:
    CQorDevice* device_;
    int upgradeStatus_ = kFirmStatusFailed;
    CUpgradeWizObsFw obsolete_;
    CUpgradeWizFirmUpPrep prepare_;
    CUpgradeWizMfgInfoBad mfgBad_;
    CUpgradeWizMfgInfoOK mfgOk_;
    CUpgradeWizFirm upgrade_;
};
