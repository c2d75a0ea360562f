#include "app/DlgHdoSalinity.h"

#include "comm/TkSession.h"
#include "foundation/NumberText.h"
#include "resources/StringTable.h"
#include "site/QikProfDataWriter.h"
#include "site/QorDevice.h"
#include "site/SiteFrame.h"
#include "values/RawConversion.h"
#include "values/UnitConversion.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include <array>
#include <cmath>
#include <cstdint>
#include <system_error>

namespace {

// The sample codes the poller leaves out: only temperature and conductivity matter, and
// the oxygen, pH, pressure and ion sensors take long to read.
constexpr std::array<uint8_t, 15> kPollerExclusions{16, 36, 4, 17, 37, 2, 3, 5, 11, 12, 21, 25, 31, 32, 41};
constexpr int kConductivityCode = 45;
constexpr int kTemperatureCode = 1;
// The conductivity sensor's user calibration: the first block of port 4's record.
constexpr int kConductivityPort = 4;
constexpr uint8_t kConductivityType = 5;
constexpr int16_t kUnitMicroSiemens = 0;
constexpr int16_t kUnitSalinity = 3;
// Room for every channel code a sonde lists.
constexpr size_t kChannelCodeRoom = 40;

bool IsAdapterSensor(int parameterId) { return parameterId == 16 || parameterId == 36; }

// Reads a salinity text as the edit holds it: C-locale digits, 0 for an empty number part.
bool ReadSalinity(const std::string& text, double& value)
{
    size_t consumed = 0;
    value = ParseDoubleC(text, &consumed);
    return consumed > 0;
}

QString SalinityText(double value) { return QString::fromStdString(FormatCLocale("%.2f", value)); }

constexpr const char* kDescription =
    "The Korvant Dissolved Oxygen sensor incorporates a feature to compensate readings of oxygen concentration "
    "(units of milligrams/liter, micrograms/liter, or millimoles/liter) for the degree of salinity in the water "
    "being measured. The degree of compensation is minimal at very low conductivity, but significant at oceanic "
    "salinity levels.";

} // namespace

CDlgHdoSalinity::CDlgHdoSalinity(int parameterId, QWidget* parent)
    : CModalDialog(kTemplateId, QStringLiteral("HDO Fixed Salinity Compensation"), parent), m_parameterId(parameterId)
{
    auto* group = new QGroupBox(this);
    m_retain = new QRadioButton(QStringLiteral("Retain Current Setting"), group);
    m_retain->setObjectName(QString::number(kIdRetain));
    m_currentReading = new QRadioButton(QStringLiteral("Use current salinity reading"), group);
    m_currentReading->setObjectName(QString::number(kIdCurrentReading));
    m_userValue = new QRadioButton(QStringLiteral("User Input Value"), group);
    m_userValue->setObjectName(QString::number(kIdUserValue));
    m_edit = new QLineEdit(group);
    m_edit->setObjectName(QString::number(kIdSalinity));
    m_edit->setMaximumWidth(90);
    auto* unit = new QLabel(QStringLiteral("Salinity Value (PSU)"), group);

    connect(m_retain, &QRadioButton::clicked, this, [this] { SelectChoice(kRetain); });
    connect(m_currentReading, &QRadioButton::clicked, this, [this] { SelectChoice(kCurrentReading); });
    connect(m_userValue, &QRadioButton::clicked, this, [this] { SelectChoice(kUserValue); });
    connect(m_edit, &QLineEdit::textEdited, this, [this](const QString& text) { OnEdited(text); });

    auto* value = new QHBoxLayout;
    value->addWidget(m_edit);
    value->addWidget(unit);
    value->addStretch();
    auto* choices = new QVBoxLayout(group);
    choices->addWidget(m_retain);
    choices->addWidget(m_currentReading);
    choices->addWidget(m_userValue);
    choices->addLayout(value);

    auto* description = new QPlainTextEdit(QString::fromLatin1(kDescription), this);
    description->setObjectName(QString::number(kIdDescription));
    description->setReadOnly(true);
    description->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    description->setFixedSize(380, 110);

    m_ok = MakeButton(kIdOk, QStringLiteral("OK"), true);
    connect(m_ok, &QPushButton::clicked, this, [this] { OnOK(); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(description);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    m_stopTimer = new QTimer(this);
    m_stopTimer->setObjectName(QStringLiteral("timer%1").arg(kStopTimerId));
    m_stopTimer->setSingleShot(true);
    m_stopTimer->setInterval(kStopTimerMs);
    connect(m_stopTimer, &QTimer::timeout, this, [this] { OnStopTimer(); });
}

CDlgHdoSalinity::~CDlgHdoSalinity()
{
    // A dialog that goes without OK or Cancel still never leaves a worker behind.
    StopPoller();
    RestoreCursor();
}

void CDlgHdoSalinity::OnInitDialog()
{
    m_reading = QStringLiteral("NA");
    m_user = QStringLiteral("0.00");
    m_pollerFinished = true;
    m_closing = false;
    double present = 0.0;
    if (m_writer != nullptr) {
        present = IsAdapterSensor(m_parameterId) ? m_writer->GetSensorConfig().values34[kSensorConfigSalinityFloat]
                                                 : m_writer->GetCalCoefficients1().value5;
    }
    m_current = SalinityText(present);
    SelectChoice(kRetain);

    bool hasConductivity = false;
    if (m_writer != nullptr && m_session != nullptr) {
        std::array<uint8_t, kChannelCodeRoom> codes{};
        int count = 0;
        m_writer->GetChannelCodes(count, codes);
        for (int i = 0; i < count; ++i) {
            hasConductivity = hasConductivity || codes[static_cast<size_t>(i)] == kConductivityCode;
        }
    }
    if (hasConductivity) {
        m_stop = false;
        try {
            m_worker = std::thread([this] { HdoSalinityReadThread(); });
            m_pollerFinished = false;
        } catch (const std::system_error&) {
            // No poller: the current reading stays "NA".
        }
    }
}

void CDlgHdoSalinity::SelectChoice(int choice)
{
    if (m_closing) {
        return;
    }
    m_choice = choice;
    switch (choice) {
    case kCurrentReading: m_edit->setText(m_reading); break;
    case kUserValue: m_edit->setText(m_user); break;
    default: m_edit->setText(m_current); break;
    }
    m_previousText = m_edit->text();
    m_edit->setEnabled(choice == kUserValue);
    m_retain->setChecked(choice == kRetain);
    m_currentReading->setChecked(choice == kCurrentReading);
    m_userValue->setChecked(choice == kUserValue);
    if (choice == kUserValue) {
        m_edit->setFocus();
        m_edit->selectAll();
    }
}

bool CDlgHdoSalinity::IsAcceptableText(const QString& text)
{
    if (text.isEmpty()) {
        return true;
    }
    int points = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('.')) {
            if (++points > 1) {
                return false;
            }
        } else if ((c == QLatin1Char('+') || c == QLatin1Char('-')) && i == 0) {
            continue;
        } else if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return false;
        }
    }
    double value = 0.0;
    ReadSalinity(text.toStdString(), value);  // a bare sign or point reads as 0 while typing
    return value >= 0.0 && value <= kMaxSalinity;
}

void CDlgHdoSalinity::OnEdited(const QString& text)
{
    if (!IsAcceptableText(text)) {
        m_edit->setText(m_previousText);
    }
    m_previousText = m_edit->text();
    m_edit->setCursorPosition(static_cast<int>(m_edit->text().size()));
}

// ---- The poller ---------------------------------------------------------------------------

double CDlgHdoSalinity::MeasureSalinity(CQikProfDataWriter& writer)
{
    // A failed read leaves the values it could not take at 0.
    writer.ReadSample(false, kPollerExclusions);
    double conductivity = 0.0;
    double temperature = 0.0;
    writer.GetChannelValue(kConductivityCode, conductivity);
    writer.GetChannelValue(kTemperatureCode, temperature);
    const SensorBlockRecord block = writer.GetSensorBlock(kConductivityPort, 1);
    const double corrected = ApplySensorCorrection(kConductivityType, conductivity, temperature, 0.0,
                                                   block.calibrationPointCount, block.calibrationMode, block.segments,
                                                   block.pairs);
    const double salinity = ConvertUnitsEx(corrected, kConductivityType, kUnitMicroSiemens, kUnitSalinity,
                                           static_cast<float>(temperature), 0.0f, 0.0f);
    return salinity > 0.0 ? salinity : 0.0;  // also for a salinity that is not a number
}

void CDlgHdoSalinity::HdoSalinityReadThread()
{
    // At least one pass; the stop request is seen after each.
    do {
        const QString text = SalinityText(MeasureSalinity(*m_writer));
        QMetaObject::invokeMethod(this, [this, text] { OnNewReading(text); }, Qt::QueuedConnection);
    } while (!m_stop.load());
    QMetaObject::invokeMethod(this, [this] { OnReadingMsg(); }, Qt::QueuedConnection);
}

void CDlgHdoSalinity::OnNewReading(const QString& text)
{
    m_reading = text;
    if (m_choice == kCurrentReading && !m_closing) {
        m_edit->setText(m_reading);
        m_previousText = m_reading;
    }
}

void CDlgHdoSalinity::StopPoller()
{
    m_stop = true;
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

// ---- OK and Cancel -----------------------------------------------------------------------

void CDlgHdoSalinity::OnOK()
{
    if (m_closing) {
        return;
    }
    if (m_choice == kRetain) {
        // Nothing to write.
        OnCancel();
        return;
    }
    double value = 0.0;
    if ((m_choice == kCurrentReading && m_reading == QStringLiteral("NA")) ||
        (m_choice == kUserValue && !ReadSalinity(m_edit->text().toStdString(), value))) {
        ShowText(kStrSalinityInvalid, 0, false);
        return;
    }
    RequestClose(CloseRequest::Ok);
}

void CDlgHdoSalinity::OnCancel()
{
    if (m_closing) {
        return;
    }
    RequestClose(CloseRequest::Cancel);
}

void CDlgHdoSalinity::RequestClose(CloseRequest request)
{
    m_closeRequest = request;
    m_closing = true;
    // The value to write is the one shown now, whatever a late reading brings.
    m_valueText = m_edit->text().toStdString();
    SetControlsEnabled(false);
    if (m_pollerFinished) {
        Finish();
        return;
    }
    m_stop = true;
    m_stopTimer->start();
}

void CDlgHdoSalinity::OnReadingMsg()
{
    m_pollerFinished = true;
    if (m_closing) {
        Finish();
    }
}

void CDlgHdoSalinity::OnStopTimer()
{
    // The read in flight ends within the link's time-out; until then the user sees that
    // the program waits.
    if (!m_waitCursor) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_waitCursor = true;
    }
}

void CDlgHdoSalinity::RestoreCursor()
{
    if (m_waitCursor) {
        QApplication::restoreOverrideCursor();
        m_waitCursor = false;
    }
}

void CDlgHdoSalinity::Finish()
{
    m_stopTimer->stop();
    StopPoller();  // it has posted its end, so it has ended or is about to
    RestoreCursor();
    if (m_closeRequest == CloseRequest::Cancel) {
        done(kIdCancel);
        return;
    }
    int code = 0;
    try {
        CBusyGuard busy(GetMainFrame());
        std::thread writer([this, &code] { code = HdoSalinityWriteThread(); });
        writer.join();
    } catch (const std::system_error&) {
        ShowText(kStrSalinitySystemFailure, 0, true);
        done(kIdOk);
        return;
    }
    if (code != 0) {
        ShowText(kStrSalinityWriteFailed, code & 0xFFFF, false);
    }
    done(kIdOk);
}

int CDlgHdoSalinity::HdoSalinityWriteThread()
{
    double value = 0.0;
    if (m_session == nullptr || m_writer == nullptr || !ReadSalinity(m_valueText, value)) {
        return 0;
    }
    const auto salinity = static_cast<float>(value);
    if (IsAdapterSensor(m_parameterId)) {
        SensorConfigRecord config;
        int result = m_session->ReadSensorConfig(&config, nullptr);
        if (result != 0) {
            return result;
        }
        config.values34[kSensorConfigSalinityFloat] = salinity;
        result = m_session->WriteSensorConfig(&config, nullptr);
        if (result != 0) {
            return result;
        }
        m_writer->SetSensorConfig(config);
        return 0;
    }
    int result = m_session->SetCalCoefficient(salinity, nullptr);
    if (result != 0) {
        return result;
    }
    CalCoeffRecord91 set;
    result = m_session->GetCalCoefficients(&set, nullptr);
    if (result != 0) {
        return result;
    }
    m_writer->SetFixedSalinity(salinity);
    return 0;
}

void CDlgHdoSalinity::SetControlsEnabled(bool enabled)
{
    m_retain->setEnabled(enabled);
    m_currentReading->setEnabled(enabled);
    m_userValue->setEnabled(enabled);
    m_edit->setEnabled(enabled && m_choice == kUserValue);
    m_ok->setEnabled(enabled);
}

void CDlgHdoSalinity::ShowText(uint32_t textId, int number, bool error)
{
    if (CSiteFrame* frame = GetMainFrame()) {
        SiteMessage message;
        message.textId = textId;
        message.icon = error ? MessageIcon::Error : MessageIcon::None;
        frame->ShowNumberMessage(message, number);
        return;
    }
    QMessageBox box(error ? QMessageBox::Critical : QMessageBox::NoIcon, windowTitle(),
                    QString::fromStdString(FormatResString(textId, number)), QMessageBox::Ok, this);
    box.exec();
}

int RunHdoSalinityDialog(int parameterId, CQorDevice& device, QWidget* parent)
{
    CDlgHdoSalinity dialog(parameterId, parent);
    dialog.SetDataWriter(&device.GetDataWriter());
    dialog.SetSession(device.GetSession());
    return dialog.DoModal();
}
