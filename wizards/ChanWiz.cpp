#include "wizards/ChanWiz.h"

#include "foundation/NumberText.h"
#include "foundation/Text.h"
#include "resources/StringTable.h"
#include "site/AppErrorCode.h"
#include "site/QorDevice.h"
#include "site/QorTest.h"
#include "values/UnitConversion.h"

#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int kPanelWidth = 80;
constexpr int kLeft = 90;
constexpr int kNameLimit = 16;
constexpr int kCalLimit = 24;
constexpr int kNumberLimit = 12;
constexpr int kLatitudeLimit = 2;
constexpr const char* kCalFormat = "%2.4f";
constexpr const char* kNumberFormat = "%2.3f";
constexpr const char* kElevationFormat = "%1.0f";
constexpr double kMinGravity = 0.5;
constexpr double kMaxGravity = 2.0;
constexpr double kMaxElevationMetres = 9150.0;
constexpr int kMaxLatitude = 90;
constexpr uint8_t kDefaultLatitude = 45;
// Unit ids of the level preference that show the elevation in feet or in metres.
constexpr int kUnitFeetWater = 1;
constexpr int kUnitFeet = 7;
constexpr int kUnitMetresWater = 2;
constexpr int kUnitMetres = 6;
// The pressure/level parameter type and its device unit.
constexpr ParameterTypeCode kLevelType = 3;
constexpr int16_t kDeviceUnit = 0;
// Bitmap of the channel loggers' pages.
constexpr int kChannelLoggerBitmap = 260;

QString Qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// Fills each "%s" and "%d" of format in turn from args (texts already formatted).
std::string Fill(std::string_view format, std::initializer_list<std::string> args)
{
    std::string text;
    auto arg = args.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && (format[i + 1] == 's' || format[i + 1] == 'd') &&
            arg != args.end()) {
            text += *arg++;
            ++i;
        } else {
            text += format[i];
        }
    }
    return text;
}

// A static text item's text (the page helpers write edits only).
void SetLabelText(QWidget* item, std::string_view text)
{
    if (auto* label = qobject_cast<QLabel*>(item)) {
        label->setText(Qs(text));
    }
}

bool InRange(double value, double low, double high) { return value >= low && value <= high; }

std::string NameOf(const ChannelDefinitionRecord& record)
{
    const auto end = std::find(record.name.begin(), record.name.end(), '\0');
    return std::string(record.name.begin(), end);
}

void SetName(ChannelDefinitionRecord& record, std::string_view bytes)
{
    record.name.fill('\0');
    const size_t n = std::min<size_t>(bytes.size(), kNameLimit);
    std::copy_n(bytes.begin(), n, record.name.begin());
}

// The calibration coefficients of a channel logger's probe in the record.
double& OffsetOf(ChannelDefinitionRecord& record) { return record.coefficients[2]; }
double& ScaleOf(ChannelDefinitionRecord& record) { return record.coefficients[3]; }
double& LinearityOf(ChannelDefinitionRecord& record) { return record.coefficients[4]; }

} // namespace

// ---- Shared page parts ---------------------------------------------------------------------

CChanWizPage::CChanWizPage(CChanWiz& wiz, int templateId) : CWVPropertyPage(templateId), wiz_(wiz)
{
    AddSidePanel(kPanelWidth, 200);
    Place<QLabel>(kIdChanWizPicture, 0, 0, kPanelWidth, 200);
}

void CChanWizPage::ShowCaption(uint32_t channelText, uint32_t parameterText)
{
    SetSheetTitleId(wiz_.IsChannelLogger() ? channelText : parameterText);
    ShowPicture();
}

void CChanWizPage::ShowPicture()
{
    if (wiz_.IsChannelLogger()) {
        SetItemBitmap(picture_, kIdChanWizPicture, kChannelLoggerBitmap);
    }
}

// ---- Page 103: probe type ------------------------------------------------------------------

CChanWiz1::CChanWiz1(CChanWiz& wiz) : CChanWizPage(wiz, kIdChanWizTypePage)
{
    SetTemplateTitle(QStringLiteral("Channel Wizard - Choose Channel Type"));
    Place<QLabel>(-1, kLeft, 10, 205, 10, QStringLiteral("What type of probe is connected to this channel?"));
    auto* group = new QButtonGroup(this);
    const struct {
        int id;
        const char* text;
    } radios[] = {
        {kIdChanWizUndefined, "Undefined"},
        {kIdChanWizTemperature, "Temperature"},
        {kIdChanWizPressureGauge, "Pressure (Gauge)"},
        {kIdChanWizPressureAbsolute, "Pressure (Absolute)"},
        {kIdChanWizPh, "pH"},
        {kIdChanWizConductivity, "Conductivity"},
        {kIdChanWizBarometric, "Barometric"},
        {kIdChanWizUserDefined, "User-Defined"},
    };
    int y = 26;
    for (const auto& r : radios) {
        auto* radio = Place<QRadioButton>(r.id, kLeft + 10, y, 150, 12, QString::fromLatin1(r.text));
        group->addButton(radio);
        connect(radio, &QRadioButton::clicked, this, [this, id = r.id] { OnChoose(id); });
        y += 15;
    }
}

void CChanWiz1::OnInitDialog()
{
    CWVPropertyPage::OnInitDialog();
    const ChannelDefinitionRecord& def = wiz_.Def();
    int radio = 0;
    switch (def.parameterType) {
    case kChanKindUndefined: radio = kIdChanWizUndefined; break;
    case kChanKindUser: radio = kIdChanWizUserDefined; break;
    case kChanKindTemperature: radio = kIdChanWizTemperature; break;
    case kChanKindPressure: radio = def.levelSetting == 1 ? kIdChanWizPressureGauge : kIdChanWizPressureAbsolute; break;
    case kChanKindPh: radio = kIdChanWizPh; break;
    case kChanKindConductivity: radio = kIdChanWizConductivity; break;
    case kChanKindBarometric: radio = kIdChanWizBarometric; break;
    default: break;
    }
    if (auto* button = ItemAs<QRadioButton>(radio)) {
        button->setChecked(true);
    }
}

int CChanWiz1::OnSetActive()
{
    ShowPicture();
    UpdateButtons();
    return 1;
}

void CChanWiz1::UpdateButtons()
{
    SetWizardButtons(wiz_.Def().parameterType == kChanKindUndefined ? kWizFinish : kWizNext);
}

void CChanWiz1::OnChoose(int radio)
{
    ChannelDefinitionRecord& def = wiz_.Def();
    if (radio == kIdChanWizUndefined) {
        if (def.parameterType != kChanKindUndefined) {
            def.parameterType = kChanKindUndefined;
            SetName(def, Utf8ToCp1252(GetResString(kStrUnknown)));
            wiz_.SetModified();
        }
        UpdateButtons();
        return;
    }
    uint8_t kind = kChanKindUser;
    int gauge = -1;
    switch (radio) {
    case kIdChanWizTemperature: kind = kChanKindTemperature; break;
    case kIdChanWizPressureGauge: kind = kChanKindPressure; gauge = 1; break;
    case kIdChanWizPressureAbsolute: kind = kChanKindPressure; gauge = 0; break;
    case kIdChanWizPh: kind = kChanKindPh; break;
    case kIdChanWizConductivity: kind = kChanKindConductivity; break;
    case kIdChanWizBarometric: kind = kChanKindBarometric; break;
    default: kind = kChanKindUser; break;
    }
    const bool changed = def.parameterType != kind || (gauge >= 0 && def.levelSetting != gauge);
    if (changed) {
        def.parameterType = kind;
        if (gauge >= 0) {
            def.levelSetting = static_cast<uint8_t>(gauge);
        }
        SetName(def, Fill("Probe #%d", {std::to_string(def.channelNumber)}));
        def.warmUp = kind == kChanKindPh ? 100 : kind == kChanKindConductivity ? 750 : kChannelDefaultWarmUp;
        wiz_.SetModified();
    }
    UpdateButtons();
}

void CChanWiz1::ResetDefinition(ChannelDefinitionRecord& record)
{
    record.coefficients[0] = 0.0;
    record.coefficients[1] = 0.0;
    OffsetOf(record) = 4.0;
    ScaleOf(record) = 16.0;
    LinearityOf(record) = 0.0;
    record.warmUp = kChannelDefaultWarmUp;
    record.levelSetting = 1;
    record.levelMode = 2;
    record.levelReference = 0.0;
    record.whenToRead = 0;
    record.referenceReading = 0.0;
    record.specificGravity = 1.0;
    record.pressureRange = 0;
    record.latitude = kDefaultLatitude;
    record.locationByte = 0;
    record.elevation = 0.0;
    record.density = 0.0;
}

int CChanWiz1::OnWizardFinish()
{
    ResetDefinition(wiz_.Def());
    wiz_.SetModified();
    return 1;
}

// ---- Page 104: name ------------------------------------------------------------------------

CChanWiz2::CChanWiz2(CChanWiz& wiz) : CChanWizPage(wiz, kIdChanWizNamePage)
{
    Place<QLabel>(kIdChanWizNamePrompt, kLeft, 14, 205, 20)->setWordWrap(true);
    Place<QLineEdit>(kIdChanWizNameEdit, kLeft, 40, 120, 14);
}

void CChanWiz2::OnInitDialog()
{
    CWVPropertyPage::OnInitDialog();
    SetItemTextId(kIdChanWizNamePrompt, wiz_.IsChannelLogger() ? kStrChanWizNamePrompt : kStrParamWizNamePrompt);
    LimitItemText(kIdChanWizNameEdit, kNameLimit);
}

int CChanWiz2::OnSetActive()
{
    ShowCaption(kStrChanWizNameTitle, kStrParamWizNameTitle);
    Updating([this] { SetItemTextLimited(kIdChanWizNameEdit, kNameLimit, Cp1252ToUtf8(NameOf(wiz_.Def()))); });
    if (wiz_.IsChannelLogger()) {
        SetWizardButtons(kWizBack | kWizNext);
    } else {
        SetWizardButtons(wiz_.Def().parameterType == kChanKindPressure ? kWizNext : kWizFinish);
    }
    return 1;
}

void CChanWiz2::StoreName()
{
    std::string bytes = Utf8ToCp1252(GetItemTextString(kIdChanWizNameEdit));
    bytes.resize(std::min<size_t>(bytes.size(), kNameLimit));
    if (bytes != NameOf(wiz_.Def())) {
        SetName(wiz_.Def(), bytes);
        wiz_.SetModified();
    }
}

PageNavCode CChanWiz2::OnWizardNext()
{
    StoreName();
    return wiz_.IsChannelLogger() ? kIdChanWizCalPage : kIdChanWizModePage;
}

PageNavCode CChanWiz2::OnWizardBack()
{
    StoreName();
    return kNavNeighbour;
}

int CChanWiz2::OnWizardFinish()
{
    StoreName();
    return 1;
}

// ---- Page 105: calibration -----------------------------------------------------------------

CChanWiz3::CChanWiz3(CChanWiz& wiz) : CChanWizPage(wiz, kIdChanWizCalPage)
{
    SetTemplateTitle(QStringLiteral("Channel Wizard - Enter Calibration Information"));
    const struct {
        int id;
        const char* label;
    } edits[] = {{kIdChanWizLinearity, "Linearity:"}, {kIdChanWizScale, "Scale:"}, {kIdChanWizOffset, "Offset:"}};
    int y = 12;
    for (const auto& e : edits) {
        Place<QLabel>(-1, kLeft, y + 2, 50, 10, QString::fromLatin1(e.label));
        auto* edit = Place<QLineEdit>(e.id, kLeft + 52, y, 80, 14);
        connect(edit, &QLineEdit::textChanged, this, [this, id = e.id] { OnEdit(id); });
        connect(edit, &QLineEdit::editingFinished, this, [this, id = e.id] { OnLeave(id); });
        y += 20;
    }
    Place<QLabel>(-1, kLeft, y + 4, 205, 40,
                  QStringLiteral("Setting Linearity to 0.0, Scale to 16.0, and Offset to 4.0 will return readings in "
                                 "the probe's native unit. This is the setting for the Korvant pH probe."))
        ->setWordWrap(true);
    Place<QLabel>(-1, kLeft, y + 48, 205, 30,
                  QStringLiteral("For another manufacturer's probe, set Scale to the full scale of the probe and set "
                                 "Linearity and Offset to zero."))
        ->setWordWrap(true);
}

double& CChanWiz3::Field(int id)
{
    ChannelDefinitionRecord& def = wiz_.Def();
    return id == kIdChanWizLinearity ? LinearityOf(def) : id == kIdChanWizScale ? ScaleOf(def) : OffsetOf(def);
}

void CChanWiz3::OnInitDialog()
{
    CWVPropertyPage::OnInitDialog();
    Updating([this] {
        for (int id : {kIdChanWizLinearity, kIdChanWizScale, kIdChanWizOffset}) {
            SetItemTextFormat(id, kCalLimit, kCalFormat, Field(id));
        }
    });
}

int CChanWiz3::OnSetActive()
{
    ShowPicture();
    Validate();
    return 1;
}

void CChanWiz3::OnEdit(int id)
{
    if (IsUpdating()) {
        return;
    }
    double value = 0.0;
    if (ScanItem(GetItemTextString(id), value) == 1 && value != Field(id)) {
        Field(id) = value;
        wiz_.SetModified();
    }
    UpdateNumericItem(id, Field(id), kCalFormat, id);
    Validate();
}

void CChanWiz3::OnLeave(int id)
{
    if (isVisible()) {
        Updating([&] { SetItemTextFormat(id, kCalLimit, kCalFormat, Field(id)); });
        Validate();
    }
}

void CChanWiz3::Validate()
{
    for (int id : {kIdChanWizLinearity, kIdChanWizScale, kIdChanWizOffset}) {
        if (IsSignOnlyText(GetItemTextString(id))) {
            SetWizardButtons(kWizBack);
            return;
        }
    }
    const uint8_t kind = wiz_.Def().parameterType;
    SetWizardButtons(kind == kChanKindUser || kind == kChanKindPressure ? kWizBack | kWizNext : kWizBack | kWizFinish);
}

PageNavCode CChanWiz3::OnWizardNext()
{
    switch (wiz_.Def().parameterType) {
    case kChanKindUser: return kIdChanWizWarmupPage;
    case kChanKindPressure: return kIdChanWizModePage;
    default: return kIdChanWizCalPage;
    }
}

// ---- Page 106: warm-up ---------------------------------------------------------------------

CChanWiz4::CChanWiz4(CChanWiz& wiz) : CChanWizPage(wiz, kIdChanWizWarmupPage)
{
    SetTemplateTitle(QStringLiteral("Channel Wizard - Enter Warmup Time"));
    Place<QLabel>(-1, kLeft, 14, 60, 10, QStringLiteral("Warmup:"));
    Place<QLineEdit>(kIdChanWizWarmup, kLeft + 62, 12, 60, 14);
    Place<QLabel>(-1, kLeft + 126, 14, 60, 10, QStringLiteral("milliseconds"));
    Place<QLabel>(-1, kLeft, 40, 205, 40,
                  QStringLiteral("Warmup times for probes from other manufacturers can be as long as necessary, up to a "
                                 "maximum of 30,000 ms (30 seconds).  Consult the device's operator information."))
        ->setWordWrap(true);
}

int CChanWiz4::OnSetActive()
{
    ShowPicture();
    Updating([this] { SetItemTextLimited(kIdChanWizWarmup, 32, std::to_string(static_cast<int16_t>(wiz_.Def().warmUp))); });
    SetWizardButtons(kWizBack | kWizFinish);
    return 1;
}

void CChanWiz4::StoreWarmup()
{
    // No range check: the probe's own warm-up may be long; the value is kept in 16 bits.
    const auto value = static_cast<uint16_t>(GetItemInt(kIdChanWizWarmup));
    if (value != wiz_.Def().warmUp) {
        wiz_.Def().warmUp = value;
        wiz_.SetModified();
    }
}

PageNavCode CChanWiz4::OnWizardBack()
{
    StoreWarmup();
    return kNavNeighbour;
}

int CChanWiz4::OnWizardFinish()
{
    StoreWarmup();
    return 1;
}

// ---- Page 107: display mode ----------------------------------------------------------------

CChanWiz5::CChanWiz5(CChanWiz& wiz) : CChanWizPage(wiz, kIdChanWizModePage)
{
    Place<QLabel>(-1, kLeft, 6, 205, 10, QStringLiteral("How would you like the readings displayed?"));
    auto* group = new QButtonGroup(this);
    const struct {
        int id;
        uint8_t mode;
        const char* text;
        const char* note;
    } radios[] = {
        {kIdChanWizPressureHead, 2, "Pressure Head", "The pressure of the water above the probe."},
        {kIdChanWizDepth, 3, "Depth", "The depth of the probe below the water surface."},
        {kIdChanWizLevelSurface, 1, "Level - Surface",
         "The water level against a reference, rising as the water rises."},
        {kIdChanWizLevelTopOfCasing, 0, "Level - Top-of-Casing",
         "The distance from the top of the casing down to the water."},
    };
    int y = 20;
    for (const auto& r : radios) {
        auto* radio = Place<QRadioButton>(r.id, kLeft, y, 205, 12, QString::fromLatin1(r.text));
        group->addButton(radio);
        connect(radio, &QRadioButton::clicked, this, [this, mode = r.mode] { OnChoose(mode); });
        Place<QLabel>(-1, kLeft + 12, y + 12, 193, 18, QString::fromLatin1(r.note))->setWordWrap(true);
        y += 34;
    }
}

void CChanWiz5::OnInitDialog()
{
    CWVPropertyPage::OnInitDialog();
    int radio = 0;
    switch (wiz_.Def().levelMode) {
    case 0: radio = kIdChanWizLevelTopOfCasing; break;
    case 1: radio = kIdChanWizLevelSurface; break;
    case 2: radio = kIdChanWizPressureHead; break;
    case 3: radio = kIdChanWizDepth; break;
    default: break;
    }
    if (auto* button = ItemAs<QRadioButton>(radio)) {
        button->setChecked(true);
    }
}

int CChanWiz5::OnSetActive()
{
    ShowCaption(kStrChanWizModeTitle, kStrParamWizModeTitle);
    if (wiz_.HasDependency()) {
        for (int id : {kIdChanWizPressureHead, kIdChanWizDepth, kIdChanWizLevelSurface, kIdChanWizLevelTopOfCasing}) {
            DisableItem(id);
        }
        wiz_.ReportDependency();
    }
    UpdateButtons();
    return 1;
}

void CChanWiz5::UpdateButtons()
{
    SetWizardButtons(wiz_.Def().levelMode == 2 ? kWizBack | kWizFinish : kWizBack | kWizNext);
}

void CChanWiz5::OnChoose(uint8_t mode)
{
    if (wiz_.Def().levelMode != mode) {
        wiz_.Def().levelMode = mode;
        wiz_.SetModified();
    }
    UpdateButtons();
}

PageNavCode CChanWiz5::OnWizardBack()
{
    return wiz_.IsChannelLogger() ? kIdChanWizCalPage : kIdChanWizNamePage;
}

// ---- Page 108: conversion ------------------------------------------------------------------

CChanWiz6::CChanWiz6(CChanWiz& wiz) : CChanWizPage(wiz, kIdChanWizConversionPage)
{
    auto* group = new QButtonGroup(this);
    auto* gravity = Place<QRadioButton>(kIdChanWizGravityOption, kLeft, 6, 205, 12,
                                        QStringLiteral("Convert using specific gravity"));
    group->addButton(gravity);
    Place<QLabel>(kIdChanWizGravityLabel, kLeft + 12, 22, 100, 10, QStringLiteral("Specific Gravity (0.5 - 2.0):"));
    auto* gravityEdit = Place<QLineEdit>(kIdChanWizGravity, kLeft + 116, 20, 60, 14);
    Place<QLabel>(kIdChanWizGravityNote, kLeft + 12, 36, 193, 10, QStringLiteral("Fresh water has a specific gravity of 1.0."));
    auto* density = Place<QRadioButton>(kIdChanWizDensityOption, kLeft, 52, 205, 12,
                                        QStringLiteral("Convert using density, latitude and elevation"));
    group->addButton(density);
    Place<QLabel>(kIdChanWizDensityLabel, kLeft + 12, 68, 100, 10, QStringLiteral("Density (0.5 - 2.0):"));
    auto* densityEdit = Place<QLineEdit>(kIdChanWizDensity, kLeft + 116, 66, 60, 14);
    Place<QLabel>(kIdChanWizDensityUnits, kLeft + 180, 68, 30, 10, QStringLiteral("g/cm3"));
    Place<QLabel>(kIdChanWizLatitudeLabel, kLeft + 12, 86, 100, 10, QStringLiteral("Latitude (0 - 90):"));
    auto* latitude = Place<QLineEdit>(kIdChanWizLatitude, kLeft + 116, 84, 30, 14);
    Place<QLabel>(kIdChanWizLatitudeUnits, kLeft + 150, 86, 40, 10, QStringLiteral("degrees"));
    Place<QLabel>(kIdChanWizLatitudeNote, kLeft + 12, 100, 193, 10, QStringLiteral("North or south of the equator."));
    Place<QLabel>(kIdChanWizElevationLabel, kLeft + 12, 116, 100, 10, QStringLiteral("Elevation (0 - 9150):"));
    auto* elevation = Place<QLineEdit>(kIdChanWizElevation, kLeft + 116, 114, 60, 14);
    Place<QLabel>(kIdChanWizElevationUnits, kLeft + 180, 116, 30, 10, QStringLiteral("meters"));
    Place<QLabel>(kIdChanWizDensityNote, kLeft + 12, 132, 193, 20,
                  QStringLiteral("Local gravity is computed from the latitude and the elevation above sea level."))
        ->setWordWrap(true);

    connect(gravity, &QRadioButton::clicked, this, [this] { OnChooseMode(kChanWizSpecificGravityMode); });
    connect(density, &QRadioButton::clicked, this, [this] { OnChooseMode(kChanWizDensityMode); });
    connect(gravityEdit, &QLineEdit::textChanged, this, [this] { OnGravityEdit(); });
    connect(densityEdit, &QLineEdit::textChanged, this, [this] { OnDensityEdit(); });
    connect(latitude, &QLineEdit::textChanged, this, [this] { OnLatitudeEdit(); });
    connect(elevation, &QLineEdit::textChanged, this, [this] { OnElevationEdit(); });
    connect(gravityEdit, &QLineEdit::editingFinished, this, [this] {
        if (isVisible() && wiz_.GetConversionMode() == kChanWizSpecificGravityMode) {
            Updating([this] { SetItemTextFormat(kIdChanWizGravity, kNumberLimit, kNumberFormat, wiz_.Def().specificGravity); });
            Validate();
        }
    });
    connect(densityEdit, &QLineEdit::editingFinished, this, [this] {
        if (isVisible() && wiz_.GetConversionMode() == kChanWizDensityMode) {
            Updating([this] { SetItemTextFormat(kIdChanWizDensity, kNumberLimit, kNumberFormat, wiz_.Def().density); });
            Validate();
        }
    });
    connect(elevation, &QLineEdit::editingFinished, this, [this] {
        if (isVisible() && wiz_.GetConversionMode() == kChanWizDensityMode) {
            ShowElevation();
            Validate();
        }
    });
}

std::optional<bool> CChanWiz6::ElevationInFeet() const
{
    CQorChannel scratch;
    scratch.Init(wiz_.Def(), wiz_.GetDevice(), wiz_.GetSession());
    const int unit = scratch.GetDefaultUnits();
    if (unit == kUnitFeetWater || unit == kUnitFeet) {
        return true;
    }
    if (unit == kUnitMetresWater || unit == kUnitMetres) {
        return false;
    }
    return std::nullopt;
}

int CChanWiz6::OnSetActive()
{
    ShowCaption(kStrChanWizConversionTitle, kStrParamWizConversionTitle);
    Updating([this] {
        ChannelDefinitionRecord& def = wiz_.Def();
        if (!InRange(def.density, kMinGravity, kMaxGravity)) {
            def.density = 1.0;
        }
        const uint8_t type = wiz_.GetDevice() != nullptr ? wiz_.GetDevice()->GetDeviceType() : 0;
        if (type == 23 || type == 24 || type == 26 || type == 27) {
            DisableItem(kIdChanWizDensityOption);
            wiz_.SetConversionMode(kChanWizSpecificGravityMode);
        } else {
            EnableItem(kIdChanWizDensityOption);
        }
        const bool densityMode = wiz_.GetConversionMode() == kChanWizDensityMode;
        ItemAs<QRadioButton>(densityMode ? kIdChanWizDensityOption : kIdChanWizGravityOption)->setChecked(true);
        if (densityMode) {
            FillDensityGroup();
        } else {
            FillGravityGroup();
        }
        if (wiz_.HasDependency()) {
            for (int id : {kIdChanWizGravityOption, kIdChanWizGravityLabel, kIdChanWizGravity, kIdChanWizGravityNote,
                           kIdChanWizDensityOption, kIdChanWizDensityLabel, kIdChanWizDensity, kIdChanWizDensityUnits,
                           kIdChanWizLatitudeLabel, kIdChanWizLatitudeNote, kIdChanWizLatitude, kIdChanWizLatitudeUnits,
                           kIdChanWizElevationLabel, kIdChanWizElevation, kIdChanWizElevationUnits,
                           kIdChanWizDensityNote}) {
                DisableItem(id);
            }
            wiz_.ReportDependency();
        }
    });
    Validate();
    return 1;
}

void CChanWiz6::FillGravityGroup()
{
    Updating([this] {
        for (int id : {kIdChanWizGravityLabel, kIdChanWizGravity, kIdChanWizGravityNote}) {
            EnableItem(id);
        }
        SetItemTextFormat(kIdChanWizGravity, kNumberLimit, kNumberFormat, wiz_.Def().specificGravity);
        for (int id : {kIdChanWizDensityLabel, kIdChanWizDensity, kIdChanWizDensityUnits, kIdChanWizLatitudeLabel,
                       kIdChanWizLatitudeNote, kIdChanWizLatitude, kIdChanWizLatitudeUnits, kIdChanWizElevationLabel,
                       kIdChanWizElevation, kIdChanWizElevationUnits, kIdChanWizDensityNote}) {
            DisableItem(id);
        }
        for (int id : {kIdChanWizDensity, kIdChanWizLatitude, kIdChanWizElevation}) {
            SetItemTextLimited(id, id == kIdChanWizLatitude ? kLatitudeLimit : kNumberLimit, "");
        }
    });
}

void CChanWiz6::FillDensityGroup()
{
    Updating([this] {
        for (int id : {kIdChanWizGravityLabel, kIdChanWizGravity, kIdChanWizGravityNote}) {
            DisableItem(id);
        }
        SetItemTextLimited(kIdChanWizGravity, kNumberLimit, "");
        for (int id : {kIdChanWizDensityLabel, kIdChanWizDensity, kIdChanWizDensityUnits, kIdChanWizLatitudeLabel,
                       kIdChanWizLatitudeNote, kIdChanWizLatitude, kIdChanWizLatitudeUnits, kIdChanWizElevationLabel,
                       kIdChanWizElevation, kIdChanWizElevationUnits, kIdChanWizDensityNote}) {
            EnableItem(id);
        }
        SetItemTextFormat(kIdChanWizDensity, kNumberLimit, kNumberFormat, wiz_.Def().density);
        SetItemTextLimited(kIdChanWizLatitude, kLatitudeLimit, std::to_string(wiz_.Def().latitude));
        ShowElevation();
    });
}

void CChanWiz6::ShowElevation()
{
    const std::optional<bool> feet = ElevationInFeet();
    if (!feet.has_value()) {
        return;
    }
    Updating([&] {
        SetItemTextId(kIdChanWizElevationLabel, *feet ? kStrElevationFeetLabel : kStrElevationMetresLabel);
        SetItemTextId(kIdChanWizElevationUnits, *feet ? kStrFeet : kStrMeters);
        const double shown = *feet ? wiz_.Def().elevation * kChanWizFeetPerMetre : wiz_.Def().elevation;
        SetItemTextFormat(kIdChanWizElevation, kNumberLimit, kElevationFormat, shown);
    });
}

void CChanWiz6::OnChooseMode(int mode)
{
    if (IsUpdating()) {
        return;
    }
    if (wiz_.GetConversionMode() != mode) {
        wiz_.SetConversionMode(mode);
        wiz_.SetModified();
    }
    if (mode == kChanWizDensityMode) {
        FillDensityGroup();
    } else {
        FillGravityGroup();
    }
    Validate();
}

void CChanWiz6::OnGravityEdit()
{
    if (IsUpdating()) {
        return;
    }
    double& stored = wiz_.Def().specificGravity;
    double value = 0.0;
    if (ScanItem(GetItemTextString(kIdChanWizGravity), value) == 1 && value != stored) {
        stored = value;
        wiz_.SetModified();
    }
    UpdateNumericItem(kIdChanWizGravity, stored, kNumberFormat, kIdChanWizGravity);
    Validate();
}

void CChanWiz6::OnDensityEdit()
{
    if (IsUpdating()) {
        return;
    }
    double& stored = wiz_.Def().density;
    double value = 0.0;
    if (ScanItem(GetItemTextString(kIdChanWizDensity), value) == 1 && value != stored) {
        stored = value;
        wiz_.SetModified();
    }
    UpdateNumericItem(kIdChanWizDensity, stored, kNumberFormat, kIdChanWizDensity);
    Validate();
}

void CChanWiz6::OnLatitudeEdit()
{
    if (IsUpdating()) {
        return;
    }
    const auto value = static_cast<uint8_t>(GetItemInt(kIdChanWizLatitude));
    if (value != wiz_.Def().latitude) {
        wiz_.Def().latitude = value;
        wiz_.SetModified();
    }
    Validate();
}

void CChanWiz6::OnElevationEdit()
{
    if (IsUpdating()) {
        return;
    }
    const std::optional<bool> feet = ElevationInFeet();
    double& stored = wiz_.Def().elevation;
    double value = 0.0;
    if (ScanItem(GetItemTextString(kIdChanWizElevation), value) == 1) {
        if (feet.value_or(false)) {
            value *= kChanWizMetresPerFoot;
        }
        if (value != stored) {
            stored = value;
            wiz_.SetModified();
        }
    }
    const double shown = feet.value_or(false) ? stored * kChanWizFeetPerMetre : stored;
    UpdateNumericItem(kIdChanWizElevation, shown, kElevationFormat, kIdChanWizElevation);
    Validate();
}

void CChanWiz6::Validate()
{
    const ChannelDefinitionRecord& def = wiz_.Def();
    WizardButtonCode code = def.levelMode == 3 ? kWizBack | kWizFinish : kWizBack | kWizNext;
    bool invalid = false;
    if (wiz_.GetConversionMode() == kChanWizSpecificGravityMode) {
        invalid = IsSignOnlyText(GetItemTextString(kIdChanWizGravity)) ||
                  !InRange(def.specificGravity, kMinGravity, kMaxGravity);
    } else {
        invalid = IsSignOnlyText(GetItemTextString(kIdChanWizDensity)) ||
                  IsSignOnlyText(GetItemTextString(kIdChanWizElevation)) ||
                  !InRange(def.density, kMinGravity, kMaxGravity) || def.latitude > kMaxLatitude ||
                  !InRange(def.elevation, 0.0, kMaxElevationMetres);
    }
    if (invalid) {
        code = kWizBack;
    }
    SetWizardButtons(code);
}

void CChanWiz6::ClearUnusedFields()
{
    ChannelDefinitionRecord& def = wiz_.Def();
    if (wiz_.GetConversionMode() == kChanWizSpecificGravityMode) {
        def.density = 0.0;
        def.latitude = kDefaultLatitude;
        def.locationByte = 0;
        def.elevation = 0.0;
    } else {
        def.specificGravity = 1.0;
    }
}

PageNavCode CChanWiz6::OnWizardNext()
{
    ClearUnusedFields();
    return kNavNeighbour;
}

PageNavCode CChanWiz6::OnWizardBack()
{
    ClearUnusedFields();
    return kNavNeighbour;
}

int CChanWiz6::OnWizardFinish()
{
    ClearUnusedFields();
    return 1;
}

// ---- Page 109: level reference -------------------------------------------------------------

CChanWiz7::CChanWiz7(CChanWiz& wiz) : CChanWizPage(wiz, kIdChanWizReferencePage)
{
    Place<QLabel>(-1, kLeft, 12, 90, 10, QStringLiteral("Level Reference:"));
    auto* reference = Place<QLineEdit>(kIdChanWizReference, kLeft + 92, 10, 60, 14);
    Place<QLabel>(kIdChanWizReferenceUnits, kLeft + 156, 12, 50, 10);
    Place<QLabel>(-1, kLeft, 34, 90, 10, QStringLiteral("Current Reading:"));
    Place<QLabel>(kIdChanWizReading, kLeft + 92, 34, 60, 10);
    Place<QLabel>(kIdChanWizReadingUnits, kLeft + 156, 34, 50, 10);
    auto* update = Place<QPushButton>(kIdChanWizUpdateReading, kLeft + 92, 48, 80, 14, QStringLiteral("Update Reading"));
    Place<QLabel>(-1, kLeft, 72, 205, 10, QStringLiteral("Reference Time:"));
    auto* group = new QButtonGroup(this);
    auto* now = Place<QRadioButton>(kIdChanWizRefNow, kLeft + 10, 86, 150, 12, QStringLiteral("Now"));
    auto* start = Place<QRadioButton>(kIdChanWizRefStartOfTest, kLeft + 10, 100, 150, 12, QStringLiteral("Start of Test"));
    group->addButton(now);
    group->addButton(start);
    connect(reference, &QLineEdit::textChanged, this, [this] { OnReferenceEdit(); });
    connect(reference, &QLineEdit::editingFinished, this, [this] { OnReferenceLeave(); });
    connect(update, &QPushButton::clicked, this, [this] { ShowCurrentReading(); });
    connect(now, &QRadioButton::clicked, this, [this] { wiz_.Def().whenToRead = 0; });
    connect(start, &QRadioButton::clicked, this, [this] { wiz_.Def().whenToRead = 1; });
}

void CChanWiz7::InitScratch()
{
    scratch_.Init(wiz_.Def(), wiz_.GetDevice(), wiz_.GetSession());
}

void CChanWiz7::OnInitDialog()
{
    CWVPropertyPage::OnInitDialog();
    InitScratch();
    Updating([this] {
        SetItemTextFormat(kIdChanWizReference, kNumberLimit, kNumberFormat, ConvertLevel(wiz_.Def().levelReference, 0));
    });
    openingGravity_ = scratch_.GetReferenceValue();
    ItemAs<QRadioButton>(wiz_.Def().whenToRead == 0 ? kIdChanWizRefNow : kIdChanWizRefStartOfTest)->setChecked(true);
}

double CChanWiz7::ConvertLevel(double value, int direction) const
{
    const int display = scratch_.GetDefaultUnits();
    if (display < 0) {
        return value;
    }
    const int16_t from = direction == 0 ? kDeviceUnit : static_cast<int16_t>(display);
    const int16_t to = direction == 0 ? static_cast<int16_t>(display) : kDeviceUnit;
    if (wiz_.GetConversionMode() == kChanWizSpecificGravityMode) {
        const double out = ConvertUnitsDefault(value, kLevelType, from, to);
        return std::isfinite(out) ? out : value;
    }
    double out = value;
    ConvertUnits(value, out, kLevelType, from, to, scratch_.GetSpecificGravity(), scratch_.GetGravity());
    return out;
}

int CChanWiz7::OnSetActive()
{
    // Earlier pages may have changed the conversion: the shown reference is kept and
    // stored anew under it.
    InitScratch();
    double value = 0.0;
    if (ScanItem(GetItemTextString(kIdChanWizReference), value) == 1) {
        wiz_.Def().levelReference = ConvertLevel(value, 1);
    }
    ShowCaption(kStrChanWizReferenceTitle, kStrParamWizReferenceTitle);
    SetLabelText(Item(kIdChanWizReferenceUnits), scratch_.GetUnitsText());
    ShowItem(kIdChanWizReferenceUnits);
    Validate();
    ShowCurrentReading();
    return 1;
}

bool CChanWiz7::ShowCurrentReading()
{
    double value = 0.0;
    BeginBusy();
    const AppErrorCode status = scratch_.ReadCurrentValue(value, true);
    EndBusy();
    if (status == kAppOk) {
        const ChannelDefinitionRecord& def = wiz_.Def();
        if (wiz_.IsChannelLogger()) {
            // The probe's loop current in microamperes, normalised over 4..20 mA.
            const double n = (value * 0.001 - 4.0) * 0.0625;
            value = def.coefficients[4] * n * n + def.coefficients[3] * n + def.coefficients[2];
        }
        const double gravity = scratch_.GetReferenceValue();
        if (wiz_.GetConversionMode() == kChanWizSpecificGravityMode) {
            // A specific gravity of 0 would give no number; the reading then stays as read.
            if (gravity != 0.0) {
                if (wiz_.GetSession() != nullptr) {
                    value = value / gravity;
                } else if (wiz_.GetLegacyInstrument() != nullptr) {
                    value = value * openingGravity_ / (gravity * gravity);
                }
            }
        } else if (wiz_.GetLegacyInstrument() != nullptr) {
            value = value * openingGravity_;
        }
        value = ConvertLevel(value, 0);
    }
    if (status == kAppErrValueUnavailable) {
        SetItemTextId(kIdChanWizReading, kStrReadingUnavailable);
        SetLabelText(Item(kIdChanWizReadingUnits), "");
        DisableItem(kIdChanWizUpdateReading);
    } else if (status == kAppErrNoProbe) {
        SetItemTextId(kIdChanWizReading, kStrNoProbe);
        SetLabelText(Item(kIdChanWizReadingUnits), "");
    } else if (status == kAppOk) {
        SetItemTextFormatted(kIdChanWizReading, kNumberFormat, value);
        SetLabelText(Item(kIdChanWizReadingUnits), scratch_.GetUnitsText());
    } else {
        wiz_.ShowError(std::string(GetResString(kStrPressureReadErrorCaption)),
                       Fill(GetResString(kStrPressureReadError),
                            {std::to_string(status), std::string(GetResString(kStrFindRemedies))}));
        // The wizard ends here with the reading's status as its result.
        wiz_.done(status);
        return false;
    }
    ShowItem(kIdChanWizReadingUnits);
    return true;
}

void CChanWiz7::OnReferenceEdit()
{
    if (IsUpdating()) {
        return;
    }
    double value = 0.0;
    if (ScanItem(GetItemTextString(kIdChanWizReference), value) == 1) {
        wiz_.Def().levelReference = ConvertLevel(value, 1);
    }
    UpdateNumericItem(kIdChanWizReference, ConvertLevel(wiz_.Def().levelReference, 0), kNumberFormat,
                      kIdChanWizReference);
    Validate();
}

void CChanWiz7::OnReferenceLeave()
{
    if (!isVisible()) {
        return;
    }
    Updating([this] {
        SetItemTextFormat(kIdChanWizReference, kNumberLimit, kNumberFormat, ConvertLevel(wiz_.Def().levelReference, 0));
    });
    Validate();
}

void CChanWiz7::Validate()
{
    SetWizardButtons(IsSignOnlyText(GetItemTextString(kIdChanWizReference)) ? kWizBack : kWizBack | kWizFinish);
}

int CChanWiz7::OnWizardFinish()
{
    wiz_.SetModified();
    return 1;
}

// ---- The sheet -----------------------------------------------------------------------------

CChanWiz::CChanWiz(CQorChannel* channel, CQorDevice* device, QWidget* parent, int startPage)
    : CWVPropertySheet(parent, startPage),
      type_(*this),
      name_(*this),
      cal_(*this),
      warmup_(*this),
      mode_(*this),
      conversion_(*this),
      reference_(*this)
{
    Init(channel, device);
}

CChanWiz::~CChanWiz() = default;

void CChanWiz::Init(CQorChannel* channel, CQorDevice* device)
{
    if (channel != nullptr) {
        def_ = channel->GetDefinition();
    }
    conversionMode_ = def_.density != 0.0 ? kChanWizDensityMode : kChanWizSpecificGravityMode;
    channelLogger_ = device != nullptr && device->IsChannelLogger() ? 1 : 0;
    channel_ = channel;
    device_ = device;
    legacy_ = device != nullptr ? device->GetLegacyInstrument() : nullptr;
    session_ = device != nullptr ? device->GetTkSession() : nullptr;
    modified_ = 0;
    tests_.clear();
    if (device != nullptr) {
        for (int n = 1; n <= device->GetTestCount(); ++n) {
            tests_.push_back(device->GetTest(n));
        }
    }
    FindTestDependency();
    AddPage(&type_);
    AddPage(&name_);
    AddPage(&cal_);
    AddPage(&warmup_);
    AddPage(&mode_);
    AddPage(&conversion_);
    AddPage(&reference_);
}

void CChanWiz::FindTestDependency()
{
    if (def_.parameterType != kChanKindPressure) {
        return;
    }
    const uint8_t id = def_.channelNumber;
    for (const CQorTest* test : tests_) {
        if (test == nullptr || (test->GetState() != 1 && test->GetState() != 2)) {
            continue;
        }
        if (test->GetScheduleType() == 3 && test->GetEventChannel() == id) {
            eventDependency_ = 1;
            return;
        }
        if (test->GetRelayValue(1) == id || test->GetRelayValue(2) == id) {
            relayDependency_ = 1;
            return;
        }
    }
}

void CChanWiz::ReportDependency()
{
    const bool logger = IsChannelLogger();
    const std::string what(GetResString(logger ? kStrDependencyChannelLower : kStrDependencyParameterLower));
    const bool event = HasEventDependency();
    const std::string remedies = Fill(GetResString(event ? kStrDependencyEventRemedies : kStrDependencyRelayRemedies), {what});
    const std::string text = Fill(GetResString(kStrDependencyText),
                                  {what, std::string(GetResString(event ? kStrDependencyEvent : kStrDependencyRelay)), remedies});
    const std::string caption =
        Fill(GetResString(kStrDependencyCaption), {std::string(GetResString(logger ? kStrDependencyChannel : kStrDependencyParameter))});
    ShowError(caption, text);
}

void CChanWiz::ShowError(const std::string& caption, const std::string& text)
{
    if (messageResponder) {
        messageResponder(caption, text);
        return;
    }
    QMessageBox::critical(this, Qs(caption), Qs(text));
}
