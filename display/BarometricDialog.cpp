#include "display/BarometricDialog.h"

#include "app/BarometricDialogHook.h"
#include "app/WVFrame.h"
#include "app/WellvoxApp.h"
#include "display/BaroCorrectionRunner.h"
#include "display/BaroDialogSupport.h"
#include "display/BaroVornaDlg.h"
#include "display/BarometricConversions.h"
#include "resources/StringTable.h"
#include "site/QikProfDataWriter.h"
#include "site/QorChannel.h"
#include "site/QorDevice.h"
#include "comm/TkSession.h"
#include "comm/protocol/TkResultCodes.h"
#include "values/UnitCatalog.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <cmath>

namespace {

QString Id(int id) { return QString::number(id); }
QString Res(uint32_t id) { return QString::fromStdString(std::string(GetResString(id))); }

constexpr const char* kNumberFormat = "%2.3f";
constexpr int kIdOkResult = 1;
constexpr int kIdCancelResult = 2;

} // namespace

CBarometricDialog::CBarometricDialog(QWidget* parent, uint8_t deviceType, SitePrefsRecord& record, CQorDevice* device)
    : CModalDialog(kTemplateId, QStringLiteral("Edit Barometric Channel"), parent),
      m_record(record),
      m_original(record),
      m_device(device),
      m_ventedOnlyLock(deviceType == kNonVentedOnlyType),
      m_nonVented(record.barometricFlag != 0),
      m_psi(record.barometricPsi == 0.0f ? kDefaultPsi : static_cast<double>(record.barometricPsi))
{
    auto* intro = new QLabel(
        QStringLiteral("Indicate whether or not the MP VORNA 9000 will be connected to a vented cable when readings "
                       "are to be taken.  If not, then a substitute barometric value must be provided."),
        this);
    intro->setWordWrap(true);
    m_vented = new QRadioButton(QStringLiteral("Use vented cable."), this);
    m_vented->setObjectName(Id(kIdVented));
    m_nonVentedButton = new QRadioButton(QStringLiteral("Use non-vented cable or backshell."), this);
    m_nonVentedButton->setObjectName(Id(kIdNonVented));
    auto* cable = new QButtonGroup(this);
    cable->addButton(m_vented);
    cable->addButton(m_nonVentedButton);

    auto* choices = new QGroupBox(this);
    m_useValue = new QRadioButton(QStringLiteral("Use barometric value."), choices);
    m_useValue->setObjectName(Id(kIdUseValue));
    m_byElevation = new QRadioButton(QStringLiteral("Calculate barometric value by elevation."), choices);
    m_byElevation->setObjectName(Id(kIdByElevation));
    m_takeReading = new QRadioButton(
        QStringLiteral("I'm programming device with vented cable. Take a reading from device."), choices);
    m_takeReading->setObjectName(Id(kIdTakeReading));
    m_choices = new QButtonGroup(this);
    m_choices->addButton(m_useValue);
    m_choices->addButton(m_byElevation);
    m_choices->addButton(m_takeReading);
    m_valueEdit = new QLineEdit(choices);
    m_valueEdit->setObjectName(Id(kIdValue));
    m_pressureUnits = new QComboBox(choices);
    m_pressureUnits->setObjectName(Id(kIdPressureUnits));
    m_elevationEdit = new QLineEdit(choices);
    m_elevationEdit->setObjectName(Id(kIdElevation));
    m_lengthUnits = new QComboBox(choices);
    m_lengthUnits->setObjectName(Id(kIdLengthUnits));
    for (QLineEdit* edit : {m_valueEdit, m_elevationEdit}) {
        edit->setFixedWidth(90);
    }
    for (QComboBox* list : {m_pressureUnits, m_lengthUnits}) {
        list->setMinimumWidth(110);
    }
    auto* grid = new QGridLayout(choices);
    grid->addWidget(m_useValue, 0, 0);
    grid->addWidget(m_valueEdit, 0, 1);
    grid->addWidget(m_pressureUnits, 0, 2);
    grid->addWidget(m_byElevation, 1, 0);
    grid->addWidget(m_elevationEdit, 1, 1);
    grid->addWidget(m_lengthUnits, 1, 2);
    grid->addWidget(m_takeReading, 2, 0, 1, 3);
    grid->setColumnStretch(0, 1);

    auto* warning = new QLabel(
        QStringLiteral("Warning:  barometric values provided by weather bureaus are adjusted to sea level equivalent "
                       "values, and will produce incorrect results."),
        this);
    warning->setWordWrap(true);

    m_ok = MakeButton(kIdOk, QStringLiteral("OK"), true);
    QPushButton* cancel = MakeButton(kIdCancel, QStringLiteral("Cancel"), false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(cancel);

    auto* indented = new QHBoxLayout;
    indented->addSpacing(20);
    indented->addWidget(choices, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(m_vented);
    layout->addWidget(m_nonVentedButton);
    layout->addLayout(indented);
    layout->addWidget(warning);
    layout->addLayout(buttons);
    intro->setFixedWidth(440);
    warning->setFixedWidth(440);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_vented, &QRadioButton::clicked, this, &CBarometricDialog::OnVented);
    connect(m_nonVentedButton, &QRadioButton::clicked, this, &CBarometricDialog::OnNonVented);
    connect(m_useValue, &QRadioButton::clicked, this, &CBarometricDialog::OnUseValue);
    connect(m_byElevation, &QRadioButton::clicked, this, &CBarometricDialog::OnByElevation);
    connect(m_takeReading, &QRadioButton::clicked, this, &CBarometricDialog::OnTakeReading);
    connect(m_valueEdit, &QLineEdit::textChanged, this, [this] {
        if (!m_writing) {
            OnValueEdited();
        }
    });
    connect(m_elevationEdit, &QLineEdit::textChanged, this, [this] {
        if (!m_writing) {
            OnElevationEdited();
        }
    });
    connect(m_pressureUnits, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_writing) {
            OnPressureUnitChanged();
        }
    });
    connect(m_lengthUnits, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_writing) {
            OnLengthUnitChanged();
        }
    });
    connect(m_ok, &QPushButton::clicked, this, &CBarometricDialog::OnOK);
    connect(cancel, &QPushButton::clicked, this, &CBarometricDialog::OnCancel);
}

void CBarometricDialog::OnInitDialog()
{
    if (m_ventedOnlyLock || m_nonVented) {
        m_nonVented = true;
        m_nonVentedButton->setChecked(true);
        m_useValue->setChecked(true);
        EnableForNonVented();
    } else {
        m_vented->setChecked(true);
        EnableForVented();
    }
    m_vented->setEnabled(!m_ventedOnlyLock);

    CWellvoxApp* app = CWellvoxApp::Instance();
    if (app == nullptr || app->GetFrame() == nullptr || app->GetDocument() == nullptr) {
        return;
    }
    m_catalog = &app->GetPreferences();
    m_writing = true;
    if (CUnitCategory* category = m_catalog->FindCategory(kUnitCategoryBarometricPressure)) {
        const CUnitEntry* current = category->GetCurrentUnit();
        int currentIndex = -1;
        for (CUnitEntry* unit = category->FirstUnit(); unit != nullptr; unit = category->NextUnit()) {
            char name[64] = {};
            unit->GetName(name, sizeof name);
            if (unit == current) {
                currentIndex = m_pressureUnits->count();
            }
            m_pressureUnits->addItem(QString::fromUtf8(name), unit->GetId());
        }
        // The first entry, then the category's current unit: each selection shows the value
        // converted from psi into that unit.
        const auto select = [this](int index) {
            m_pressureUnits->setCurrentIndex(index);
            m_pressureUnit = m_pressureUnits->itemData(index).toInt();
            m_shown = ConvertPressureUnits(m_psi, wvbaro::kPressurePsi, m_pressureUnit);
            WriteValue(m_shown);
        };
        if (m_pressureUnits->count() > 0) {
            select(0);
            if (currentIndex > 0) {
                select(currentIndex);
            }
        }
    }
    m_lengthUnits->addItem(Res(kStrFeet), wvbaro::kLengthFeet);
    m_lengthUnits->addItem(Res(kStrMeters), wvbaro::kLengthMeters);
    m_lengthUnits->setCurrentIndex(0);
    m_lengthUnit = wvbaro::kLengthFeet;
    m_elevation = PressureToAltitude(m_psi);
    WriteElevation(m_elevation);
    m_writing = false;
    UpdateOkButton();
}

int CBarometricDialog::PressureUnit() const
{
    return m_pressureUnits->currentIndex() < 0 ? -1 : m_pressureUnits->currentData().toInt();
}

int CBarometricDialog::LengthUnit() const
{
    return m_lengthUnits->currentIndex() < 0 ? -1 : m_lengthUnits->currentData().toInt();
}

void CBarometricDialog::WriteValue(double value)
{
    const bool writing = m_writing;
    m_writing = true;
    m_valueEdit->setText(wvbaro::FormatNumber(kNumberFormat, value));
    m_writing = writing;
}

void CBarometricDialog::WriteElevation(double value)
{
    const bool writing = m_writing;
    m_writing = true;
    m_elevationEdit->setText(wvbaro::FormatNumber(kNumberFormat, value));
    m_writing = writing;
}

void CBarometricDialog::UpdateOkButton() { m_ok->setEnabled(!m_valueEdit->text().isEmpty()); }

void CBarometricDialog::EnableForVented()
{
    for (QWidget* control : std::initializer_list<QWidget*>{m_useValue, m_pressureUnits, m_valueEdit, m_byElevation,
                                                            m_lengthUnits, m_elevationEdit, m_takeReading}) {
        control->setEnabled(false);
    }
}

void CBarometricDialog::EnableForNonVented()
{
    for (QWidget* control :
         std::initializer_list<QWidget*>{m_useValue, m_byElevation, m_takeReading, m_pressureUnits, m_lengthUnits}) {
        control->setEnabled(true);
    }
    if (m_useValue->isChecked()) {
        m_valueEdit->setEnabled(true);
        m_elevationEdit->setEnabled(false);
    } else if (m_byElevation->isChecked()) {
        m_valueEdit->setEnabled(false);
        m_elevationEdit->setEnabled(true);
    } else if (m_takeReading->isChecked()) {
        m_valueEdit->setEnabled(false);
        m_elevationEdit->setEnabled(false);
    }
}

void CBarometricDialog::OnVented()
{
    m_nonVented = false;
    m_vented->setChecked(true);
    EnableForVented();
}

void CBarometricDialog::OnNonVented()
{
    m_nonVented = true;
    m_nonVentedButton->setChecked(true);
    EnableForNonVented();
}

void CBarometricDialog::OnUseValue()
{
    m_useValue->setChecked(true);
    m_valueEdit->setEnabled(true);
    m_elevationEdit->setEnabled(false);
}

void CBarometricDialog::OnByElevation()
{
    m_byElevation->setChecked(true);
    m_valueEdit->setEnabled(false);
    m_elevationEdit->setEnabled(true);
}

void CBarometricDialog::OnValueEdited()
{
    // Text that is no number changes neither the value nor the elevation.
    if (const std::optional<double> typed = wvbaro::ParseNumber(m_valueEdit->text())) {
        m_shown = *typed;
        const double psi = ConvertPressureUnits(m_shown, PressureUnit(), wvbaro::kPressurePsi);
        m_elevation = ConvertLengthUnits(PressureToAltitude(psi), wvbaro::kLengthFeet, LengthUnit());
        WriteElevation(m_elevation);
    }
    UpdateOkButton();
}

void CBarometricDialog::OnElevationEdited()
{
    if (const std::optional<double> typed = wvbaro::ParseNumber(m_elevationEdit->text())) {
        m_elevation = *typed;
        const double feet = ConvertLengthUnits(m_elevation, LengthUnit(), wvbaro::kLengthFeet);
        m_shown = ConvertPressureUnits(AltitudeToPressure(feet), wvbaro::kPressurePsi, PressureUnit());
        WriteValue(m_shown);
    }
    UpdateOkButton();
}

void CBarometricDialog::OnPressureUnitChanged()
{
    const int unit = PressureUnit();
    m_shown = ConvertPressureUnits(m_shown, m_pressureUnit, unit);
    m_pressureUnit = unit;
    WriteValue(m_shown);
    UpdateOkButton();
}

void CBarometricDialog::OnLengthUnitChanged()
{
    const int unit = LengthUnit();
    m_elevation = ConvertLengthUnits(m_elevation, m_lengthUnit, unit);
    m_lengthUnit = unit;
    WriteElevation(m_elevation);
}

void CBarometricDialog::OnTakeReading()
{
    m_takeReading->setChecked(true);
    m_valueEdit->setEnabled(false);
    m_elevationEdit->setEnabled(false);
    if (m_pressureUnits->currentIndex() < 0 || m_device == nullptr) {
        return;
    }
    CQorChannel* barometer = m_device->GetChannel(kBarometerParameter, true);
    if (barometer == nullptr) {
        return;
    }
    // The sonde reads its barometer only while it is set for a vented cable.
    if (!WriteBaroSetting(false, m_psi)) {
        return;
    }
    m_deviceChanged = true;
    double psi = 0.0;
    {
        CBusyGuard busy(GetMainFrame());
        if (barometer->ReadCurrentValue(psi, true) != 0) {
            return;
        }
    }
    m_shown = ConvertPressureUnits(psi, wvbaro::kPressurePsi, PressureUnit());
    WriteValue(m_shown);
    OnValueEdited();
}

void CBarometricDialog::OnOK()
{
    const bool nonVented = m_nonVentedButton->isChecked();
    double psi = m_psi;
    if (nonVented && m_pressureUnits->currentIndex() >= 0) {
        psi = ConvertPressureUnits(m_shown, PressureUnit(), wvbaro::kPressurePsi);
    }
    // A barometric value must be a pressure: the -1 of an elevation outside the table, in
    // whatever unit it is shown, and text that is no number are refused.
    if (nonVented && (!(psi > 0.0) || !std::isfinite(psi) || !wvbaro::ParseNumber(m_valueEdit->text()))) {
        SiteMessage message;
        message.captionId = kStrBaroChannel;
        message.icon = MessageIcon::Warning;
        wvbaro::ShowMessage(this, message, "Invalid Baro Value");
        return;
    }
    m_nonVented = nonVented;
    m_psi = psi;
    if (!WriteBaroSetting(m_nonVented, m_psi)) {
        return;
    }
    done(kIdOkResult);
}

void CBarometricDialog::OnCancel()
{
    // A reading left the device set for a vented cable: it gets back what it held.
    if (m_deviceChanged) {
        WriteBaroSetting(m_original.barometricFlag != 0, m_original.barometricPsi);
        m_deviceChanged = false;
    }
    done(kIdCancelResult);
}

bool CBarometricDialog::WriteBaroSetting(bool nonVented, double psi)
{
    CTkSession* session = m_device != nullptr ? m_device->GetSession() : nullptr;
    if (session == nullptr) {
        return true;
    }
    CBusyGuard busy(GetMainFrame());
    SitePrefsRecord prefs = m_device->GetDataWriter().GetSitePreferences();
    int status = session->TalkTo(m_device->GetAddress(), m_device->GetDeviceType());
    if (status == 0) {
        status = session->GetSitePreferences(&prefs, nullptr);
    }
    if (status != 0 && status != kTkStatusNoRecord) {
        SiteMessage message;
        message.textId = kStrBaroSitePrefsUnavailable;
        message.captionId = kStrBaroChannel;
        message.icon = MessageIcon::Warning;
        wvbaro::ShowMessage(this, message, GetResString(kStrBaroSitePrefsUnavailable));
        return false;
    }
    if (status == kTkStatusNoRecord) {
        prefs = m_device->GetDataWriter().GetSitePreferences();
    }
    prefs.barometricPsi = static_cast<float>(psi);
    prefs.barometricFlag = nonVented ? 1 : 0;
    status = session->SetSitePreferences(&prefs, nullptr);
    if (status != 0) {
        const std::string caption(GetResString(kStrBaroChannel));
        if (auto* frame = dynamic_cast<CWVFrame*>(GetMainFrame())) {
            frame->ReportDeviceError(status, caption);
        } else {
            SiteMessage message;
            message.captionId = kStrBaroChannel;
            message.icon = MessageIcon::Error;
            wvbaro::ShowMessage(this, message, CWVFrame::DeviceErrorText(status, nullptr));
        }
        return false;
    }
    m_device->GetDataWriter().SetSitePreferences(prefs);
    m_record = prefs;
    return true;
}

int RunBarometricDialog(QWidget* parent, uint8_t deviceType, SitePrefsRecord& record, CQorDevice& device)
{
    CBarometricDialog dialog(parent, deviceType, record, &device);
    return dialog.DoModal() == kIdOkResult ? kIdOkResult : kIdCancelResult;
}

void InstallBarometricDialogs()
{
    SetBaroCorrectionRunner(RunBaroCorrectionDialog);
    SetBarometricDialogHook(RunBarometricDialog);
}
