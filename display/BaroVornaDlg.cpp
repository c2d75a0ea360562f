#include "display/BaroVornaDlg.h"

#include "app/AppPreferences.h"
#include "app/WVFrame.h"
#include "display/BaroCorrectionRunner.h"
#include "display/BaroDialogSupport.h"
#include "display/BaroReminder.h"
#include "platform/ProgramHome.h"
#include "resources/StringTable.h"
#include "values/BaroCompensator.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <cmath>
#include <numbers>

namespace {

QString Res(uint32_t id) { return QString::fromStdString(std::string(GetResString(id))); }
QString Id(int id) { return QString::number(id); }

constexpr int kPictureWidth = 96;
constexpr int kPictureHeight = 160;

} // namespace

const CBaroVornaDlg::UnitEntry CBaroVornaDlg::kUnitEntries[7] = {
    {kStrUnitPsi, 6, 0, 7.0, 16.5, kStrRangePsi},
    {kStrUnitKpa, 6, 3, 48.3, 113.7, kStrRangeKpa},
    {kStrUnitMbar, 9, 3, 483, 1137, kStrRangeMbar},
    {kStrUnitBar, 9, 2, 0.483, 1.137, kStrRangeBar},
    {kStrUnitInHg, 9, 1, 14.3, 33.5, kStrRangeInHg},
    {kStrUnitMmHg, 9, 5, 363, 853, kStrRangeMmHg},
    {kStrUnitCmH2O, 9, 4, 493, 1160, kStrRangeCmH2O},
};

CBaroVornaDlg::CBaroVornaDlg(QWidget* parent)
    : CModalDialog(kTemplateId, QStringLiteral("Barometric Correction"), parent)
{
    m_none = new QRadioButton(QStringLiteral("None"), this);
    m_none->setObjectName(Id(kIdNone));
    m_byValue = new QRadioButton(QStringLiteral("Value"), this);
    m_byValue->setObjectName(Id(kIdValue));
    m_byFile = new QRadioButton(QStringLiteral("File"), this);
    m_byFile->setObjectName(Id(kIdFile));
    m_sources = new QButtonGroup(this);
    m_sources->addButton(m_none, kSourceNone);
    m_sources->addButton(m_byValue, kSourceValue);
    m_sources->addButton(m_byFile, kSourceFile);

    m_valueEdit = new QLineEdit(this);
    m_valueEdit->setObjectName(Id(kIdFixedValue));
    m_units = new QComboBox(this);
    m_units->setObjectName(Id(kIdUnits));
    m_units->setEditable(false);
    m_reference = new QComboBox(this);
    m_reference->setObjectName(Id(kIdReference));
    m_reference->setEditable(true);
    m_reference->setInsertPolicy(QComboBox::NoInsert);
    m_reference->setMinimumWidth(300);
    m_browse = MakeButton(kIdBrowse, QStringLiteral("Browse..."), false);
    m_note = new QLabel(
        QStringLiteral("Fill in the value fields above for data points outside of the time range of the reference file."),
        this);
    m_note->setObjectName(Id(kIdOutsideNote));
    m_note->setWordWrap(true);
    m_newFileBox = new QCheckBox(QStringLiteral("Also create a new file that contains the corrected data."), this);
    m_newFileBox->setObjectName(Id(kIdNewFile));

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("bitmap%1").arg(kBitmapId));
    picture->setPixmap(DrawBarometerPicture(kPictureWidth, kPictureHeight));
    picture->setAlignment(Qt::AlignTop);

    auto* grid = new QGridLayout;
    grid->addWidget(m_none, 0, 0);
    grid->addWidget(m_byValue, 1, 0);
    auto* valueRow = new QHBoxLayout;
    valueRow->addWidget(m_valueEdit, 1);
    valueRow->addWidget(m_units, 2);
    grid->addLayout(valueRow, 1, 1);
    grid->addWidget(m_byFile, 2, 0);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(m_reference, 1);
    fileRow->addWidget(m_browse);
    grid->addLayout(fileRow, 2, 1);
    grid->addWidget(m_note, 3, 1);
    grid->setColumnStretch(1, 1);

    m_ok = MakeButton(kIdOk, QStringLiteral("OK"), true);
    QPushButton* cancel = MakeEndButton(kIdCancel, QStringLiteral("Cancel"), kIdCancel, false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(cancel);

    auto* right = new QVBoxLayout;
    right->addLayout(grid);
    right->addSpacing(8);
    right->addWidget(m_newFileBox);
    right->addStretch(1);
    right->addLayout(buttons);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(picture);
    layout->addLayout(right, 1);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_sources, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked && !m_filling) {
            OnSourceChanged();
        }
    });
    connect(m_valueEdit, &QLineEdit::textChanged, this, [this] {
        if (!m_filling) {
            UpdateOkButton();
        }
    });
    connect(m_units, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_filling) {
            OnUnitChosen();
        }
    });
    connect(m_reference, &QComboBox::editTextChanged, this, [this] {
        if (!m_filling) {
            UpdateOkButton();
        }
    });
    connect(m_browse, &QPushButton::clicked, this, &CBaroVornaDlg::OnBrowse);
    connect(m_ok, &QPushButton::clicked, this, &CBaroVornaDlg::OnOK);
}

void CBaroVornaDlg::SetSettings(CBaroCompensator& job)
{
    m_job = &job;
    m_source = job.GetMode();
    m_value = job.GetFixedValue();
    m_referencePath = job.GetBaroFilePath();
    m_category = job.GetFixedCategory();
    m_unit = job.GetFixedUnit();
}

void CBaroVornaDlg::SetReferenceChecks(std::function<bool(const std::string&)> isValid, std::function<void()> release,
                                       std::function<void()> reload)
{
    m_isValidReference = std::move(isValid);
    m_releaseDataFile = std::move(release);
    m_reloadDataFile = std::move(reload);
}

void CBaroVornaDlg::OnInitDialog()
{
    m_filling = true;
    m_units->clear();
    int selected = 0;
    for (int i = 0; i < static_cast<int>(std::size(kUnitEntries)); ++i) {
        const UnitEntry& entry = kUnitEntries[i];
        m_units->addItem(Res(entry.textId), i);
        if (entry.category == m_category && entry.unit == m_unit) {
            selected = i;
        }
    }
    m_units->setCurrentIndex(selected);
    m_valueEdit->setText(FormatNumberShortest(m_value));
    m_reference->clear();
    if (!m_referencePath.empty()) {
        m_reference->addItem(QString::fromStdString(m_referencePath));
        m_reference->setCurrentIndex(0);
    }
    m_reference->setEditText(QString::fromStdString(m_referencePath));
    // A stored source of no known kind shows as no correction.
    if (m_source < kSourceNone || m_source > kSourceFile) {
        m_source = kSourceNone;
    }
    m_sources->button(m_source)->setChecked(true);
    m_newFileBox->setChecked(m_newFile);
    m_filling = false;
    OnSourceChanged();
}

QString CBaroVornaDlg::FormatNumberShortest(double value) { return wvbaro::FormatNumber("%.15g", value); }

void CBaroVornaDlg::ReadControls()
{
    m_source = m_sources->checkedId() < 0 ? kSourceNone : m_sources->checkedId();
    if (const std::optional<double> value = wvbaro::ParseNumber(m_valueEdit->text())) {
        m_value = *value;
    }
    const int index = m_units->currentIndex();
    if (index >= 0 && index < static_cast<int>(std::size(kUnitEntries))) {
        m_category = kUnitEntries[index].category;
        m_unit = kUnitEntries[index].unit;
    }
    m_referencePath = m_reference->currentText().toStdString();
    m_newFile = m_newFileBox->isChecked();
}

void CBaroVornaDlg::EnableControls()
{
    const bool value = m_source != kSourceNone;
    const bool file = m_source == kSourceFile;
    m_valueEdit->setEnabled(value);
    m_units->setEnabled(value);
    m_reference->setEnabled(file);
    m_browse->setEnabled(file);
    m_note->setEnabled(file);
}

void CBaroVornaDlg::UpdateOkButton()
{
    // Every condition of the chosen source, whichever control changed.
    const int source = m_sources->checkedId();
    bool ok = true;
    if (source == kSourceValue || source == kSourceFile) {
        ok = m_units->currentIndex() >= 0 && !m_valueEdit->text().isEmpty();
    }
    if (source == kSourceFile) {
        ok = ok && !m_reference->currentText().isEmpty();
    }
    m_ok->setEnabled(ok);
}

void CBaroVornaDlg::OnSourceChanged()
{
    ReadControls();
    EnableControls();
    UpdateOkButton();
}

void CBaroVornaDlg::OnUnitChosen()
{
    UpdateOkButton();
    CheckValue();
}

bool CBaroVornaDlg::CheckValue()
{
    const int index = m_units->currentIndex();
    if (index < 0 || index >= static_cast<int>(std::size(kUnitEntries))) {
        return false;
    }
    const UnitEntry& entry = kUnitEntries[index];
    // Text that is no finite number is outside every range.
    const std::optional<double> value = wvbaro::ParseNumber(m_valueEdit->text());
    if (value && *value >= entry.low && *value <= entry.high) {
        return true;
    }
    SiteMessage message;
    message.textId = entry.rangeMessageId;
    message.captionId = kStrUnitsOutOfRange;
    message.icon = MessageIcon::Warning;
    wvbaro::ShowMessage(this, message, GetResString(entry.rangeMessageId));
    m_valueEdit->setFocus();
    return false;
}

namespace {

std::string InvalidReferenceText(const std::string& path)
{
    std::string text(GetResString(kStrInvalidReferenceFile));
    if (const size_t at = text.find("%s"); at != std::string::npos) {
        text.replace(at, 2, path);
    }
    return text;
}

void ShowInvalidReference(QWidget* parent, const std::string& path)
{
    SiteMessage message;
    message.textId = kStrInvalidReferenceFile;
    message.captionId = kStrInvalidReferenceCaption;
    message.icon = MessageIcon::Warning;
    message.detail = path;
    wvbaro::ShowMessage(parent, message, InvalidReferenceText(path));
}

} // namespace

bool CBaroVornaDlg::CheckReference()
{
    const std::string path = m_reference->currentText().toStdString();
    if (!path.empty() && m_isValidReference && m_isValidReference(path)) {
        return true;
    }
    ShowInvalidReference(this, path);
    m_reference->setFocus();
    return false;
}

void CBaroVornaDlg::OnBrowse()
{
    const std::string start = wv::ResolveProgramPath("Data").string();
    std::optional<std::string> chosen;
    if (auto* frame = dynamic_cast<CWVFrame*>(GetMainFrame())) {
        chosen = frame->AskOpenFilePath(start, "BIN Files (*.bin)", "bin");
    }
    if (!chosen || chosen->empty()) {
        return;
    }
    // The view's own file may be the one chosen: it lets go of it while the file is read.
    if (m_releaseDataFile) {
        m_releaseDataFile();
    }
    const bool valid = m_isValidReference && m_isValidReference(*chosen);
    if (m_reloadDataFile) {
        m_reloadDataFile();
    }
    if (!valid) {
        ShowInvalidReference(this, *chosen);
        return;
    }
    const QString path = QString::fromStdString(*chosen);
    int index = m_reference->findText(path);
    if (index < 0) {
        m_reference->addItem(path);
        index = m_reference->count() - 1;
    }
    m_reference->setCurrentIndex(index);
    m_reference->setEditText(path);
    UpdateOkButton();
}

void CBaroVornaDlg::OnOK()
{
    ReadControls();
    if (m_source == kSourceValue && !CheckValue()) {
        return;
    }
    if (m_source == kSourceFile && (!CheckValue() || !CheckReference())) {
        return;
    }
    if (m_job != nullptr) {
        m_job->SetBaroFilePath(m_referencePath);
        m_job->SetMode(m_source);
        // m_value keeps the last number the edit held; the job's unit is the entry's.
        m_job->SetFixedValue(m_value, m_category, m_unit);
    }
    if (!IsBaroReminderBlocked()) {
        CBaroReminder reminder(this);
        reminder.DoModal();
    }
    done(kIdOk);
}

QPixmap DrawBarometerPicture(int width, int height)
{
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const double side = std::min(width, height) - 8.0;
    const QRectF dial((width - side) / 2.0, 8.0, side, side);
    const QPointF centre = dial.center();
    // Case and face.
    painter.setPen(QPen(QColor(90, 70, 40), 4));
    painter.setBrush(QColor(196, 160, 96));
    painter.drawEllipse(dial);
    const QRectF face = dial.adjusted(7, 7, -7, -7);
    painter.setPen(QPen(QColor(60, 60, 60), 1));
    painter.setBrush(QColor(250, 246, 232));
    painter.drawEllipse(face);
    // Scale: ticks over 270 degrees, from lower left to lower right.
    const double radius = face.width() / 2.0;
    painter.setPen(QPen(QColor(40, 40, 40), 1.2));
    for (int i = 0; i <= 20; ++i) {
        const double angle = (225.0 - 13.5 * i) * std::numbers::pi / 180.0;
        const double inner = radius * (i % 5 == 0 ? 0.72 : 0.82);
        const QPointF direction(std::cos(angle), -std::sin(angle));
        painter.drawLine(centre + direction * inner, centre + direction * radius * 0.92);
    }
    // Pointer towards the upper right ("fair") and its hub.
    const double pointer = 60.0 * std::numbers::pi / 180.0;
    painter.setPen(QPen(QColor(160, 20, 20), 2.5, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(centre, centre + QPointF(std::cos(pointer), -std::sin(pointer)) * radius * 0.8);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(40, 40, 40));
    painter.drawEllipse(centre, 3.5, 3.5);
    // A mercury column below the dial.
    const double top = dial.bottom() + 10.0;
    const QRectF tube(width / 2.0 - 5.0, top, 10.0, height - top - 14.0);
    painter.setPen(QPen(QColor(90, 90, 90), 1));
    painter.setBrush(QColor(235, 240, 245));
    painter.drawRoundedRect(tube, 4, 4);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(150, 155, 165));
    painter.drawRect(QRectF(tube.left() + 2, tube.top() + tube.height() * 0.35, tube.width() - 4,
                            tube.height() * 0.65 - 2));
    painter.drawEllipse(QPointF(width / 2.0, tube.bottom() + 4.0), 7.0, 7.0);
    return pixmap;
}

bool RunBaroCorrectionDialog(QWidget* parent, BaroCorrectionRequest& request)
{
    CBaroVornaDlg dialog(parent);
    dialog.SetSettings(request.job);
    dialog.SetNewFile(request.newFile);
    dialog.SetReferenceChecks(request.isValidReference, request.releaseDataFile, request.reloadDataFile);
    if (dialog.DoModal() != CModalDialog::kIdOk) {
        return false;
    }
    request.newFile = dialog.GetNewFile();
    return true;
}
