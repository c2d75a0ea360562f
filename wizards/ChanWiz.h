#pragma once
// The channel wizard: edits the definition of one channel of a channel logger (device
// types 3 and 8) or one parameter of any other device: probe type, name, a channel
// logger's calibration polynomial and warm-up, and for pressure channels the display
// mode, the pressure-to-level conversion and the level reference with its reference time.
//
// The wizard edits a copy of the channel's record. After Finish (12325) the caller takes
// the record with GetChannelDef and sends it to the device when IsModified says so. The
// wizard talks to the device only for the current reading on the level-reference page; a
// failed reading ends the wizard with the reading's status as its result.

#include "comm/protocol/ChannelRecords.h"
#include "site/QorChannel.h"
#include "wizards/WVPropertyPage.h"
#include "wizards/WVPropertySheet.h"

#include <QPixmap>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class CChanWiz;
class CLegacyInstrument;
class CQorDevice;
class CQorTest;
class CTkSession;

// Page templates.
constexpr int kIdChanWizTypePage = 103;
constexpr int kIdChanWizNamePage = 104;
constexpr int kIdChanWizCalPage = 105;
constexpr int kIdChanWizWarmupPage = 106;
constexpr int kIdChanWizModePage = 107;
constexpr int kIdChanWizConversionPage = 108;
constexpr int kIdChanWizReferencePage = 109;

// The picture item of every page (filled on channel loggers).
constexpr int kIdChanWizPicture = 1400;
// Type page.
constexpr int kIdChanWizUndefined = 1151;
constexpr int kIdChanWizTemperature = 1196;
constexpr int kIdChanWizPressureGauge = 1197;
constexpr int kIdChanWizPressureAbsolute = 1216;
constexpr int kIdChanWizPh = 1316;
constexpr int kIdChanWizConductivity = 1199;
constexpr int kIdChanWizBarometric = 1200;
constexpr int kIdChanWizUserDefined = 1201;
// Name page.
constexpr int kIdChanWizNamePrompt = 1478;
constexpr int kIdChanWizNameEdit = 1203;
// Calibration page.
constexpr int kIdChanWizLinearity = 1073;
constexpr int kIdChanWizScale = 1071;
constexpr int kIdChanWizOffset = 1069;
// Warm-up page.
constexpr int kIdChanWizWarmup = 1062;
// Display-mode page.
constexpr int kIdChanWizPressureHead = 1204;
constexpr int kIdChanWizDepth = 1207;
constexpr int kIdChanWizLevelSurface = 1205;
constexpr int kIdChanWizLevelTopOfCasing = 1206;
// Conversion page: the specific-gravity group, the density group.
constexpr int kIdChanWizGravityOption = 1371;
constexpr int kIdChanWizGravityLabel = 1374;
constexpr int kIdChanWizGravity = 1074;
constexpr int kIdChanWizGravityNote = 1375;
constexpr int kIdChanWizDensityOption = 1372;
constexpr int kIdChanWizDensityLabel = 1376;
constexpr int kIdChanWizDensity = 1363;
constexpr int kIdChanWizDensityUnits = 1380;
constexpr int kIdChanWizLatitudeLabel = 1377;
constexpr int kIdChanWizLatitudeNote = 1378;
constexpr int kIdChanWizLatitude = 1364;
constexpr int kIdChanWizLatitudeUnits = 1379;
constexpr int kIdChanWizElevationLabel = 1381;
constexpr int kIdChanWizElevation = 1358;
constexpr int kIdChanWizElevationUnits = 1399;
constexpr int kIdChanWizDensityNote = 1383;
// Level-reference page.
constexpr int kIdChanWizReference = 1040;
constexpr int kIdChanWizReferenceUnits = 1111;
constexpr int kIdChanWizReading = 1026;
constexpr int kIdChanWizReadingUnits = 1210;
constexpr int kIdChanWizUpdateReading = 1211;
constexpr int kIdChanWizRefNow = 1208;
constexpr int kIdChanWizRefStartOfTest = 1209;

// The probe kinds the type page offers.
constexpr uint8_t kChanKindUndefined = 0;
constexpr uint8_t kChanKindUser = 1;
constexpr uint8_t kChanKindTemperature = 2;
constexpr uint8_t kChanKindPressure = 3;
constexpr uint8_t kChanKindPh = 4;
constexpr uint8_t kChanKindConductivity = 5;
constexpr uint8_t kChanKindBarometric = 6;

// The conversion modes of pressure to level.
constexpr int kChanWizSpecificGravityMode = 0;
constexpr int kChanWizDensityMode = 1;

// Metres per foot, and feet per metre as the elevation edit shows them.
constexpr double kChanWizMetresPerFoot = 0.3048;
constexpr double kChanWizFeetPerMetre = 3.280839895013123;

// A page of the channel wizard: the wizard it belongs to and the shared caption and
// picture rule.
class CChanWizPage : public CWVPropertyPage {
    Q_OBJECT
protected:
    CChanWizPage(CChanWiz& wiz, int templateId);
    // The caption from the channel or the parameter text, and on channel loggers the
    // picture.
    void ShowCaption(uint32_t channelText, uint32_t parameterText);
    void ShowPicture();
    CChanWiz& wiz_;
    QPixmap picture_;
};

// Page 103: the probe type (channel loggers).
class CChanWiz1 : public CChanWizPage {
    Q_OBJECT
public:
    explicit CChanWiz1(CChanWiz& wiz);
    int GetPageId() const override { return kIdChanWizTypePage; }
    void OnInitDialog() override;
    int OnSetActive() override;
    int OnWizardFinish() override;
    // Every field the type page's Finish resets, to its default; kind, number and name stay.
    static void ResetDefinition(ChannelDefinitionRecord& record);

private:
    void OnChoose(int radio);
    void UpdateButtons();
};

// Page 104: the channel's or parameter's name.
class CChanWiz2 : public CChanWizPage {
    Q_OBJECT
public:
    explicit CChanWiz2(CChanWiz& wiz);
    int GetPageId() const override { return kIdChanWizNamePage; }
    void OnInitDialog() override;
    int OnSetActive() override;
    PageNavCode OnWizardNext() override;
    PageNavCode OnWizardBack() override;
    int OnWizardFinish() override;

private:
    void StoreName();
};

// Page 105: a channel logger probe's calibration polynomial.
class CChanWiz3 : public CChanWizPage {
    Q_OBJECT
public:
    explicit CChanWiz3(CChanWiz& wiz);
    int GetPageId() const override { return kIdChanWizCalPage; }
    void OnInitDialog() override;
    int OnSetActive() override;
    PageNavCode OnWizardNext() override;

private:
    double& Field(int id);
    void OnEdit(int id);
    void OnLeave(int id);
    void Validate();
};

// Page 106: the warm-up of a user-defined probe.
class CChanWiz4 : public CChanWizPage {
    Q_OBJECT
public:
    explicit CChanWiz4(CChanWiz& wiz);
    int GetPageId() const override { return kIdChanWizWarmupPage; }
    int OnSetActive() override;
    PageNavCode OnWizardBack() override;
    int OnWizardFinish() override;

private:
    void StoreWarmup();
};

// Page 107: the display mode of a pressure channel.
class CChanWiz5 : public CChanWizPage {
    Q_OBJECT
public:
    explicit CChanWiz5(CChanWiz& wiz);
    int GetPageId() const override { return kIdChanWizModePage; }
    void OnInitDialog() override;
    int OnSetActive() override;
    PageNavCode OnWizardBack() override;

private:
    void OnChoose(uint8_t mode);
    void UpdateButtons();
};

// Page 108: pressure to depth or level, by specific gravity or by density with latitude
// and elevation.
class CChanWiz6 : public CChanWizPage {
    Q_OBJECT
public:
    explicit CChanWiz6(CChanWiz& wiz);
    int GetPageId() const override { return kIdChanWizConversionPage; }
    int OnSetActive() override;
    PageNavCode OnWizardNext() override;
    PageNavCode OnWizardBack() override;
    int OnWizardFinish() override;

    // True when the elevation is shown in feet (the level unit preference), false in
    // metres; empty when the unit is neither (the elevation items are left as they are).
    std::optional<bool> ElevationInFeet() const;

private:
    void FillGravityGroup();
    void FillDensityGroup();
    void ShowElevation();
    void OnChooseMode(int mode);
    void OnGravityEdit();
    void OnDensityEdit();
    void OnLatitudeEdit();
    void OnElevationEdit();
    void Validate();
    // The fields of the mode not in use back to their neutral values.
    void ClearUnusedFields();
};

// Page 109: the level reference, its reference time and the current reading.
class CChanWiz7 : public CChanWizPage {
    Q_OBJECT
public:
    explicit CChanWiz7(CChanWiz& wiz);
    int GetPageId() const override { return kIdChanWizReferencePage; }
    void OnInitDialog() override;
    int OnSetActive() override;
    int OnWizardFinish() override;

    // A pressure/level value from the device unit to the display unit (direction 0) or
    // back (direction 1), by the conversion mode of the edited record.
    double ConvertLevel(double value, int direction) const;
    // Reads the channel and shows the corrected reading; a failed reading ends the wizard
    // with its status. False when the wizard was ended.
    bool ShowCurrentReading();

private:
    void InitScratch();
    void OnReferenceEdit();
    void OnReferenceLeave();
    void Validate();

    CQorChannel scratch_;
    double openingGravity_ = 0.0;
};

class CChanWiz : public CWVPropertySheet {
    Q_OBJECT
public:
    // Takes a copy of channel's record; device is the channel's device. startPage is 0
    // (type page) for channel loggers, 1 (name page) for other devices.
    CChanWiz(CQorChannel* channel, CQorDevice* device, QWidget* parent, int startPage);
    ~CChanWiz() override;

    void GetChannelDef(ChannelDefinitionRecord& destination) const { destination = def_; }
    bool IsModified() const { return modified_ != 0; }

    ChannelDefinitionRecord& Def() { return def_; }
    const ChannelDefinitionRecord& Def() const { return def_; }
    void SetModified() { modified_ = 1; }
    int GetConversionMode() const { return conversionMode_; }
    void SetConversionMode(int mode) { conversionMode_ = mode; }
    bool IsChannelLogger() const { return channelLogger_ != 0; }
    CQorChannel* GetChannel() const { return channel_; }
    CQorDevice* GetDevice() const { return device_; }
    CLegacyInstrument* GetLegacyInstrument() const { return legacy_; }
    CTkSession* GetSession() const { return session_; }
    bool HasEventDependency() const { return eventDependency_ != 0; }
    bool HasRelayDependency() const { return relayDependency_ != 0; }
    bool HasDependency() const { return HasEventDependency() || HasRelayDependency(); }

    // A pressure channel bound to a pending test's event delta or relay.
    void FindTestDependency();
    // The error box that explains why the pressure settings cannot be changed.
    void ReportDependency();
    // Shows an error box over the wizard; tests replace it.
    void ShowError(const std::string& caption, const std::string& text);
    std::function<void(const std::string& caption, const std::string& text)> messageResponder;

    CChanWiz1& TypePage() { return type_; }
    CChanWiz2& NamePage() { return name_; }
    CChanWiz3& CalPage() { return cal_; }
    CChanWiz4& WarmupPage() { return warmup_; }
    CChanWiz5& ModePage() { return mode_; }
    CChanWiz6& ConversionPage() { return conversion_; }
    CChanWiz7& ReferencePage() { return reference_; }

private:
    void Init(CQorChannel* channel, CQorDevice* device);

    ChannelDefinitionRecord def_{};
    uint8_t modified_ = 0;
    int conversionMode_ = kChanWizSpecificGravityMode;
    uint8_t channelLogger_ = 0;
    CQorChannel* channel_ = nullptr;
    CQorDevice* device_ = nullptr;
    CLegacyInstrument* legacy_ = nullptr;
    CTkSession* session_ = nullptr;
    std::vector<CQorTest*> tests_;
    uint8_t eventDependency_ = 0;
    uint8_t relayDependency_ = 0;

    CChanWiz1 type_;
    CChanWiz2 name_;
    CChanWiz3 cal_;
    CChanWiz4 warmup_;
    CChanWiz5 mode_;
    CChanWiz6 conversion_;
    CChanWiz7 reference_;
};
