#pragma once
// The test wizard: defines one test (a logging run) of a device step by step: its name
// and the channels it logs, the schedule type (linear, logarithmic, event or linear
// average) with its interval, the event threshold, the two relays of the loggers that have
// them, and a manual or scheduled start.
//
// The tests view (Add and Clone) and the test view (Edit) build the wizard on the device
// node, fill its inputs (the definition being edited, the channel table, the device's
// capabilities and clock), run it modally and, after Finish (12325), read back the
// definition, the relay record and the modified flag. Apart from the barometric-settings
// prompt its constructor raises, the wizard talks to no device.
//
//     CTestWiz wiz(device);
//     if (source) wiz.SetExistingDefinition(source->GetDefinition(), clone);
//     wiz.SetTestId(slot);
//     for (int row = 0; row < rows; ++row) wiz.SetChannel(row, channel(row), inTest(row));
//     wiz.TakeDeviceInputs();
//     if (wiz.DoModal() == kIdWizFinish && wiz.IsStartTimeValid()) send(wiz.GetDefinition(), ...);

#include "comm/protocol/TestRecords.h"
#include "platform/OleDateTime.h"
#include "wizards/BarometricPrompt.h"
#include "wizards/WVPropertyPage.h"
#include "wizards/WVPropertySheet.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CQorChannel;
class CQorDevice;
class CStatusText;
class CTestWiz;

// ---- Page templates --------------------------------------------------------------------

constexpr int kIdTestWizNamePage = 124;      // name and channels
constexpr int kIdTestWizTypePage = 125;      // schedule type
constexpr int kIdTestWizLinearPage = 126;    // linear interval
constexpr int kIdTestWizLogPage = 127;       // longest logarithmic interval
constexpr int kIdTestWizAveragePage = 128;   // linear average interval and averaging
constexpr int kIdTestWizEventPage = 129;     // event interval, channel and threshold
constexpr int kIdTestWizRelayAskPage = 130;  // relays or not
constexpr int kIdTestWizRelayPage = 131;     // relay settings
constexpr int kIdTestWizStartPage = 132;     // start mode

// ---- Items (object names) --------------------------------------------------------------

// Page 124.
constexpr int kIdTestWizNameEdit = 1037;
constexpr int kIdTestWizChannelPrompt = 1330;
constexpr int kIdTestWizFirstChannelBox = 1075;  // 1075 to 1084, one per present channel
constexpr int kIdTestWizCapNote = 2031;
// Page 125.
constexpr int kIdTestWizLinear = 1083;
constexpr int kIdTestWizEvent = 1107;
constexpr int kIdTestWizLog = 1105;
constexpr int kIdTestWizLinearAverage = 1084;
// Interval edits of pages 126 to 129.
constexpr int kIdTestWizDays = 1486;
constexpr int kIdTestWizHours = 1487;
constexpr int kIdTestWizMinutes = 1488;
constexpr int kIdTestWizSeconds = 1489;
constexpr int kIdTestWizHundredths = 1106;
constexpr int kIdTestWizHundredthsLabel = 1278;
// Page 128.
constexpr int kIdTestWizAveragePeriod = 1098;       // B: seconds between averaged samples
constexpr int kIdTestWizAveragePeriodLabel = 1101;
constexpr int kIdTestWizAverageCount = 1099;        // C: samples averaged
// Page 129.
constexpr int kIdTestWizEventChannel = 1090;
constexpr int kIdTestWizEventDelta = 1484;
constexpr int kIdTestWizEventUnits = 1097;
constexpr int kIdTestWizDefaultStore = 1089;
// Page 130.
constexpr int kIdTestWizRelaysNo = 1217;
constexpr int kIdTestWizRelaysYes = 1152;
constexpr int kIdTestWizRelayNote1 = 1434;
constexpr int kIdTestWizRelayNote2 = 1435;
constexpr int kIdTestWizRelayNote3 = 1436;
// Page 131.
constexpr int kIdTestWizRelayChoice = 1538;
constexpr int kIdTestWizRelayDisabled = 1150;
constexpr int kIdTestWizRelayEnabled = 1167;
constexpr int kIdTestWizSwitchHigh = 1184;
constexpr int kIdTestWizSwitchLow = 1185;
constexpr int kIdTestWizRelayChannel = 1180;
constexpr int kIdTestWizRelayChannelLabel = 1183;
constexpr int kIdTestWizHighPoint = 1174;
constexpr int kIdTestWizHighPointLabel = 1170;
constexpr int kIdTestWizHighUnits = 1176;
constexpr int kIdTestWizLowPoint = 1020;
constexpr int kIdTestWizLowPointLabel = 1171;
constexpr int kIdTestWizLowUnits = 1177;
// Page 132.
constexpr int kIdTestWizManualStart = 1108;
constexpr int kIdTestWizScheduledStart = 1109;
constexpr int kIdTestWizStartPrompt = 1162;
constexpr int kIdTestWizTimePicker = 1001;
constexpr int kIdTestWizDatePicker = 1002;

// ---- Values ----------------------------------------------------------------------------

constexpr int kTestWizRows = 10;        // channel rows of the table
constexpr int kTestWizMaxName = 16;     // characters of a test name
constexpr uint8_t kTestStartManual = 1;
constexpr uint8_t kTestStartScheduled = 2;
// Relay modes.
constexpr uint8_t kRelayDisabled = 0;
constexpr uint8_t kRelaySwitchHigh = 1;
constexpr uint8_t kRelaySwitchLow = 2;
// Conversion directions: from the display unit to the device unit, and back.
constexpr int kToDeviceUnit = 0;
constexpr int kToDisplayUnit = 1;
// The longest intervals, in hundredths of a second: 23:59:59 for a logarithmic test,
// 7 days 23:59:59 for every other type.
constexpr int64_t kLogIntervalCap = 8'639'900;
constexpr int64_t kIntervalCap = 69'119'900;

// One row of the channel table: a channel of the device as the wizard offers it.
struct TestWizChannel {
    std::string displayName;   // the channel node's long display name
    int parameterId = 0;
    uint8_t present = 0;       // the row holds a usable channel
    uint8_t included = 1;      // the test logs it
    uint8_t logAllowed = 0;    // may be logged by a logarithmic test
    uint8_t averageAllowed = 0;// by a linear-average test
    uint8_t eventAllowed = 0;  // by an event test
    int minInterval = 0;       // shortest interval it may be logged at, in hundredths
    int kind = 0;              // the channel's kind (parameter type code)
    int deviceUnit = 0;        // unit the device stores values in (-1: a kind without units)
    int displayUnit = -1;      // unit the user sees them in (-1: a kind without units)
    std::string unitsText;     // abbreviation of the display unit
    double specificGravity = 0.0;  // pressure/level channels, else 0
    double density = 0.0;          // pressure/level channels in the density mode, else 0
    double gravity = 9.80665;      // pressure/level channels' local gravity
};

// ---- Pages -----------------------------------------------------------------------------

// Page 124: the test's name and the channels it logs.
class CTestWiz1 : public CWVPropertyPage {
    Q_OBJECT
public:
    explicit CTestWiz1(CTestWiz& wiz);
    int GetPageId() const override { return kIdTestWizNamePage; }
    void OnInitDialog() override;
    int OnSetActive() override;
    PageNavCode OnWizardNext() override;

    // The table row a check box stands for (-1 for a hidden box).
    int RowOfBox(int boxId) const;

private:
    void OnBoxClicked(int boxId);
    void ApplyCompanionRule();
    void UpdateButtons();
    CTestWiz& wiz_;
    std::array<int, kTestWizRows> boxRows_{};
    CStatusText* capNote_ = nullptr;
};

// Page 125: the schedule type.
class CTestWiz2 : public CWVPropertyPage {
    Q_OBJECT
public:
    explicit CTestWiz2(CTestWiz& wiz);
    int GetPageId() const override { return kIdTestWizTypePage; }
    int OnSetActive() override;
    PageNavCode OnWizardNext() override;

    // Stores type and resets what depends on it: the interval to the type's minimum, the
    // event settings or the averaging settings.
    void SetTestType(uint8_t type);

private:
    CTestWiz& wiz_;
};

// The interval edits the pages 126 to 129 share: filling them, reading them back through
// the sheet's cap, and the page's validation afterwards.
class CTestWizIntervalPage : public CWVPropertyPage {
    Q_OBJECT
public:
    int OnSetActive() override;

protected:
    CTestWizIntervalPage(int templateId, CTestWiz& wiz, bool days, bool hundredths);
    // Places the interval edits (and their labels) from y down.
    void PlaceIntervalEdits(int y);
    // Writes the stored interval into the edits.
    void FillInterval();
    // Reads every interval edit, stores the interval and rewrites the edits.
    void OnIntervalEdited(int editedId);
    // Sets the buttons: 3 when the page is valid, else 1.
    void Validate();
    virtual bool IsValid() const;
    // The stored interval is at least the largest minimum of the included channels.
    bool IntervalMeetsChannels() const;
    // The edit's text as an integer; none when it holds no number.
    std::optional<int> ReadInt(int id) const;
    bool IsCurrentPage() const;

    CTestWiz& wiz_;
    bool days_;
    bool hundredths_;
};

// Page 126: linear interval.
class CTestWiz3 : public CTestWizIntervalPage {
    Q_OBJECT
public:
    explicit CTestWiz3(CTestWiz& wiz);
    int GetPageId() const override { return kIdTestWizLinearPage; }
    int OnSetActive() override;
    PageNavCode OnWizardNext() override;
};

// Page 127: the longest interval of a logarithmic test.
class CTestWiz4 : public CTestWizIntervalPage {
    Q_OBJECT
public:
    explicit CTestWiz4(CTestWiz& wiz);
    int GetPageId() const override { return kIdTestWizLogPage; }
    PageNavCode OnWizardNext() override;
    PageNavCode OnWizardBack() override { return kIdTestWizTypePage; }
};

// Page 128: linear average: storage interval A, averaging period B and count C.
class CTestWiz5 : public CTestWizIntervalPage {
    Q_OBJECT
public:
    explicit CTestWiz5(CTestWiz& wiz);
    int GetPageId() const override { return kIdTestWizAveragePage; }
    int OnSetActive() override;
    PageNavCode OnWizardNext() override { return kIdTestWizStartPage; }
    PageNavCode OnWizardBack() override { return kIdTestWizTypePage; }

    // The smallest averaging period the device takes (5 on the sondes, else 1).
    int MinAveragePeriod() const;

protected:
    bool IsValid() const override;

private:
    void OnAveragingEdited(int id);
    // The values typed into B and C (the stored ones while a field holds no number).
    int period_ = 0;
    int count_ = 0;
};

// Page 129: event test: check interval, event channel, threshold, default storage.
class CTestWiz6 : public CTestWizIntervalPage {
    Q_OBJECT
public:
    explicit CTestWiz6(CTestWiz& wiz);
    int GetPageId() const override { return kIdTestWizEventPage; }
    int OnSetActive() override;
    PageNavCode OnWizardNext() override;
    PageNavCode OnWizardBack() override { return kIdTestWizTypePage; }

    // The channel list entry is never offered as the event channel (a saturation or
    // salinity display, whose changes are not measured as a difference).
    bool IsExcludedEventChannel(int row) const;

protected:
    bool IsValid() const override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FillEventItems();
    void RefreshDelta();
    void OnChannelChosen();
    void OnDeltaEdited();
    void OnDefaultStoreEdited();
    // The event channel is offered (not excluded) and has a row.
    bool eventShown_ = false;
    // The last number typed into the threshold could not be stored.
    bool deltaRefused_ = false;
    // The default-store count typed (the stored one while the field holds no number).
    int defaultStore_ = 0;
};

// Page 130: whether the test sets the relays.
class CTestWiz7 : public CWVPropertyPage {
    Q_OBJECT
public:
    explicit CTestWiz7(CTestWiz& wiz);
    int GetPageId() const override { return kIdTestWizRelayAskPage; }
    void OnInitDialog() override;
    int OnSetActive() override;
    PageNavCode OnWizardNext() override;
    PageNavCode OnWizardBack() override;

private:
    void OnNo();
    void OnYes();
    void ShowNotes(bool show);
    CTestWiz& wiz_;
};

// Page 131: each relay's mode, channel and switch points.
class CTestWiz8 : public CWVPropertyPage {
    Q_OBJECT
public:
    explicit CTestWiz8(CTestWiz& wiz);
    int GetPageId() const override { return kIdTestWizRelayPage; }
    void OnInitDialog() override;
    int OnSetActive() override;

    // The relay shown: 0 relay 1, 1 relay 2.
    int CurrentRelay() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowRelay();
    void ShowDetails(bool show);
    void RefreshPoints();
    void OnDisabled();
    void OnEnabled();
    void OnSwitch(uint8_t mode);
    void OnChannelChosen();
    void OnPointEdited(int id);
    void Validate();
    CTestWiz& wiz_;
    // Points whose last typed number could not be stored (high, low).
    std::array<bool, 2> refused_{};
};

// Page 132: manual or scheduled start.
class CTestWiz9 : public CWVPropertyPage {
    Q_OBJECT
public:
    explicit CTestWiz9(CTestWiz& wiz);
    int GetPageId() const override { return kIdTestWizStartPage; }
    void OnInitDialog() override;
    int OnSetActive() override;
    PageNavCode OnWizardBack() override;
    int OnWizardFinish() override;

    // The start preset for a test without a scheduled start: the whole hour after the
    // given device time plus 10 minutes.
    static DeviceTime PresetStart(const wv::OleDateTime& deviceTime);

private:
    void SetMode(uint8_t mode);
    void EnablePickers(bool enable);
    // Stores the start fields from the mode and the pickers.
    void StoreStart();
    // Stores the start fields, then sets the buttons: 5 when the start is valid, else 1.
    void Validate();
    CTestWiz& wiz_;
};

// ---- The sheet -------------------------------------------------------------------------

class CTestWiz : public CWVPropertySheet {
    Q_OBJECT
public:
    // Asks the barometric-settings prompt for device, sets the initial values and adds the
    // nine pages. The wizard keeps device (for its type and clock).
    explicit CTestWiz(CQorDevice* device, QWidget* parent = nullptr, int startPage = 0);
    ~CTestWiz() override;

    // ---- Inputs the caller fills before the run ----
    // The definition of an existing test: for Clone (its start becomes manual) or Edit.
    // Either way the relay channels need no defaults (relays kept).
    void SetExistingDefinition(const TestDefinitionRecord& record, bool clone);
    // The relay record of an edited test; relays are on when either relay is enabled.
    void SetRelayDefinition(const RelayDefinitionRecord& relays);
    // The test slot of the definition and of the relay record.
    void SetTestId(uint8_t id);
    // Row row from a channel node (none: the row is not present); included says whether
    // the test logs the channel. Kinds 0 and 26 are never present.
    void SetChannel(int row, const CQorChannel* channel, bool included);
    // The capability flags and the device time at opening, from the device, as the tests
    // views give them.
    void TakeDeviceInputs();
    // True when at least one row is present (the caller refuses a device without).
    bool HasPresentChannel() const;

    // ---- The sheet's data ----
    TestDefinitionRecord& Definition() { return def_; }
    const TestDefinitionRecord& GetDefinition() const { return def_; }
    RelayDefinitionRecord& Relays() { return relays_; }
    const RelayDefinitionRecord& GetRelayDefinition() const { return relays_; }
    // Row 0 to 9; any other row is clamped into the table.
    TestWizChannel& Channel(int row);
    const TestWizChannel& Channel(int row) const;
    CQorDevice* GetDevice() const { return device_; }
    // The device time when the wizard was opened.
    const wv::OleDateTime& GetDeviceTime() const { return deviceTime_; }
    void SetDeviceTime(const wv::OleDateTime& time) { deviceTime_ = time; }

    // Capabilities (set by the caller).
    bool linearAverageSupported = false;
    bool hundredthsSupported = false;
    bool relaysPossible = false;
    bool channelWording = false;  // the device's texts speak of channels, not parameters
    bool family30to40 = false;
    // Test types allowed for the channels chosen (computed by page 124).
    bool logAllowed = false;
    bool eventAllowed = false;
    bool averageAllowed = false;
    // The user has chosen to set relays.
    bool relaysOn = false;
    // The relay channels need no defaults.
    bool relaysKept = false;
    // Whole days until an optical sensor's cap expires (0: none).
    int capDays = 0;

    bool IsModified() const { return modified_; }
    void SetModified() { modified_ = true; }

    // ---- Operations ----
    // Sets the initial values (done by the constructor).
    void Init();
    // A manual start, or a scheduled start at least 5 minutes after the device's clock now.
    bool IsStartTimeValid() const;
    // The interval in hundredths of a second, capped for the current type. Negative
    // fields count as 0.
    int64_t IntervalToHundredths(int64_t days, int64_t hours, int64_t minutes, int64_t seconds,
                                 int64_t hundredths) const;
    int64_t IntervalToHundredths(const Duration& interval) const;
    int64_t StoredIntervalHundredths() const { return IntervalToHundredths(def_.interval); }
    // Caps the interval and stores it split into its fields (the hundredths only when the
    // device takes them); every changed field marks the wizard modified.
    void SetInterval(int64_t days, int64_t hours, int64_t minutes, int64_t seconds, int64_t hundredths);
    // The largest minimum interval of the present, included rows (0 when none).
    int GetMinChannelInterval() const;
    // The interval the current type resets to (0 for no type).
    int TypeMinimumInterval() const;
    // Sets the interval to the larger of the channels' and the type's minimum.
    void ApplyMinimumInterval();
    // A value converted between the row's display unit and its device unit (direction
    // kToDeviceUnit or kToDisplayUnit); none when it cannot be converted or the result is
    // not finite.
    std::optional<double> ConvertChannelValue(int row, double value, int direction) const;
    // The same for a difference of two values (offsets between the units cancel).
    std::optional<double> ConvertChannelDelta(int row, double value, int direction) const;
    // The first present, included row with that parameter id, or row 0.
    int FindChannelByParameter(int id) const;
    // The first present, included row whose display name begins with the digit n, or row 0.
    int FindChannelByNumber(int n) const;
    // True when a present, included row has that parameter id.
    bool HasIncludedParameter(int id) const;

    // The channel list the included rows need: their parameter ids in table order, each
    // 17 or 37 followed by 171 to 176.
    std::vector<uint8_t> BuildChannelList() const;
    // Whether that list fits the definition.
    bool ChannelListFits() const;
    // Moves the event channel to the front of the channel list (the first entry takes its
    // place); nothing when the list has no such entry.
    void MoveEventChannelToFront();
    // The display name of a row by its parameter id (empty when no included row has it).
    std::string DisplayNameOfParameter(int id) const;

    CTestWiz1& NamePage() { return page1_; }
    CTestWiz2& TypePage() { return page2_; }
    CTestWiz3& LinearPage() { return page3_; }
    CTestWiz4& LogPage() { return page4_; }
    CTestWiz5& AveragePage() { return page5_; }
    CTestWiz6& EventPage() { return page6_; }
    CTestWiz7& RelayAskPage() { return page7_; }
    CTestWiz8& RelayPage() { return page8_; }
    CTestWiz9& StartPage() { return page9_; }

private:
    CQorDevice* device_;
    wv::OleDateTime deviceTime_;
    TestDefinitionRecord def_{};
    RelayDefinitionRecord relays_{};
    std::array<TestWizChannel, kTestWizRows> channels_{};
    bool modified_ = false;

    CTestWiz1 page1_;
    CTestWiz2 page2_;
    CTestWiz3 page3_;
    CTestWiz4 page4_;
    CTestWiz5 page5_;
    CTestWiz6 page6_;
    CTestWiz7 page7_;
    CTestWiz8 page8_;
    CTestWiz9 page9_;
};
