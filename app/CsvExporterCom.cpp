#include "app/CsvExporterCom.h"

#include "app/WVFrame.h"
#include "foundation/Registry.h"
#include "site/DataFile.h"
#include "datafiles/TestFileReader.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QFileDialog>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>

#include <filesystem>
#include <optional>

namespace {

QString Qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

constexpr const char* kSection = "AutoCSV";
constexpr const char* kEnabled = "Enabled";
constexpr const char* kTemplate = "Export Template";
constexpr const char* kTemplateFilter = "Template Files (*.bft);;All Files (*)";
constexpr const char* kDataFilter = "Test Data Files (*.bin);;All Files (*)";
constexpr const char* kCsvFilter = "CSV Files (*.csv);;All Files (*)";

struct SeparatorChoice {
    char separator;
    const char* text;
};
constexpr SeparatorChoice kSeparators[] = {{',', "Comma"}, {';', "Semicolon"}, {'\t', "Tab"}};

// The channel list's text: "all" or the codes separated by blanks.
QString ChannelsText(const CsvTemplate& tpl)
{
    if (tpl.allChannels) {
        return QStringLiteral("all");
    }
    QStringList codes;
    for (const uint8_t code : tpl.channelCodes) {
        codes << QString::number(code);
    }
    return codes.join(QLatin1Char(' '));
}

} // namespace

// ---- Template dialog ----

CDlgCsvTemplate::CDlgCsvTemplate(const CsvTemplate& tpl, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("csvTemplate"));
    setWindowTitle(QStringLiteral("CSV Export Template"));
    auto* form = new QFormLayout(this);
    separator = new QComboBox(this);
    separator->setObjectName(QStringLiteral("separator"));
    for (const SeparatorChoice& choice : kSeparators) {
        separator->addItem(QString::fromUtf8(choice.text), QVariant(static_cast<int>(choice.separator)));
        if (choice.separator == tpl.separator) {
            separator->setCurrentIndex(separator->count() - 1);
        }
    }
    form->addRow(QStringLiteral("Separator:"), separator);
    dateTimeFormat = new QLineEdit(Qs(tpl.dateTimeFormat), this);
    dateTimeFormat->setObjectName(QStringLiteral("dateTimeFormat"));
    form->addRow(QStringLiteral("Date and time format (empty: no column):"), dateTimeFormat);
    elapsed = new QCheckBox(QStringLiteral("Elapsed time column"), this);
    elapsed->setObjectName(QStringLiteral("elapsed"));
    elapsed->setChecked(tpl.elapsedColumn);
    form->addRow(elapsed);
    header = new QCheckBox(QStringLiteral("Header lines (model, serial number, test, start)"), this);
    header->setObjectName(QStringLiteral("header"));
    header->setChecked(tpl.headerBlock);
    form->addRow(header);
    units = new QCheckBox(QStringLiteral("Units in the column headings"), this);
    units->setObjectName(QStringLiteral("units"));
    units->setChecked(tpl.unitsInHeadings);
    form->addRow(units);
    channels = new QLineEdit(ChannelsText(tpl), this);
    channels->setObjectName(QStringLiteral("channels"));
    form->addRow(QStringLiteral("Channels (\"all\" or channel codes):"), channels);
    folder = new QLineEdit(Qs(tpl.outputFolder), this);
    folder->setObjectName(QStringLiteral("folder"));
    form->addRow(QStringLiteral("Output folder (empty: beside the data file):"), folder);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("1"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("2"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

bool CDlgCsvTemplate::Read(CsvTemplate& tpl) const
{
    CsvTemplate read;
    read.separator = static_cast<char>(separator->currentData().toInt());
    read.dateTimeFormat = dateTimeFormat->text().toStdString();
    read.elapsedColumn = elapsed->isChecked();
    read.headerBlock = header->isChecked();
    read.unitsInHeadings = units->isChecked();
    read.outputFolder = folder->text().trimmed().toStdString();
    const QString list = channels->text().trimmed();
    if (list.compare(QStringLiteral("all"), Qt::CaseInsensitive) == 0 || list.isEmpty()) {
        read.allChannels = true;
    } else {
        read.allChannels = false;
        for (const QString& part : list.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            bool ok = false;
            const uint value = part.toUInt(&ok);
            if (!ok || value > 255) {
                return false;
            }
            read.channelCodes.push_back(static_cast<uint8_t>(value));
        }
    }
    tpl = std::move(read);
    return true;
}

void CDlgCsvTemplate::accept()
{
    CsvTemplate tpl;
    if (!Read(tpl)) {
        // The channel list must be "all" or channel codes: the dialog stays open.
        channels->setFocus();
        channels->selectAll();
        return;
    }
    QDialog::accept();
}

// ---- The exporter ----

std::optional<std::string> CsvExporterCom::AskPath(bool save, const std::string& start, const char* filter)
{
    if (m_frame != nullptr && m_frame->fileResponder) {
        return m_frame->fileResponder(save, start);
    }
    const QString path = save ? QFileDialog::getSaveFileName(m_frame, QString(), Qs(start), QString::fromUtf8(filter))
                              : QFileDialog::getOpenFileName(m_frame, QString(), Qs(start), QString::fromUtf8(filter));
    if (path.isEmpty()) {
        return std::nullopt;
    }
    return path.toStdString();
}

void CsvExporterCom::ShowFailure(const std::string& text)
{
    if (m_frame != nullptr) {
        SiteMessage message;
        message.icon = MessageIcon::Error;
        message.detail = text;
        m_frame->ShowMessage(message);
    } else {
        QMessageBox::critical(nullptr, QStringLiteral("CSV Export"), Qs(text));
    }
}

int CsvExporterCom::EditTemplate(const std::string& templatePath)
{
    CsvTemplate tpl;
    if (LoadCsvTemplate(templatePath, tpl) != 0) {
        ShowFailure("The CSV export template " + templatePath + " could not be read.");
        return kFailed;
    }
    CDlgCsvTemplate dialog(tpl, m_frame);
    if (dialog.exec() != QDialog::Accepted || !dialog.Read(tpl)) {
        return kCancelled;
    }
    if (SaveCsvTemplate(templatePath, tpl) != 0) {
        ShowFailure("The CSV export template " + templatePath + " could not be written.");
        return kFailed;
    }
    return 0;
}

int CsvExporterCom::NewTemplate(std::string& templatePath)
{
    CsvTemplate tpl;
    CDlgCsvTemplate dialog(tpl, m_frame);
    if (dialog.exec() != QDialog::Accepted || !dialog.Read(tpl)) {
        return kCancelled;
    }
    std::optional<std::string> path = AskPath(true, "Template.bft", kTemplateFilter);
    if (!path || path->empty()) {
        return kCancelled;
    }
    if (std::filesystem::path(*path).extension().empty()) {
        *path += ".bft";
    }
    if (SaveCsvTemplate(*path, tpl) != 0) {
        ShowFailure("The CSV export template " + *path + " could not be written.");
        return kFailed;
    }
    templatePath = *path;
    return 0;
}

int CsvExporterCom::Export(const std::string& dataPath, const std::string& templatePath, const std::string& csvPath,
                           std::string& error)
{
    CsvTemplate tpl;
    if (LoadCsvTemplate(templatePath, tpl) != 0) {
        error = "The template " + templatePath + " could not be read.";
        return kFailed;
    }
    CDataFile file(dataPath);
    if (file.GetReader() == nullptr || file.OpenReader() != 0) {
        error = "The file is not a test data file, or it could not be read.";
        file.CloseReader();
        return kFailed;
    }
    const std::string out = csvPath.empty() ? CsvOutputPath(dataPath, tpl) : csvPath;
    const int status = WriteCsv(*file.GetReader(), tpl, out);
    file.CloseReader();
    switch (status) {
    case 0: return 0;
    case kCsvErrNoChannels: error = "The template selects none of the file's channels."; break;
    case kCsvErrWrite: error = "The file " + out + " could not be written."; break;
    default: error = "A sample could not be read (error " + std::to_string(status) + ")."; break;
    }
    return kFailed;
}

int CsvExporterCom::ExportFile(const std::string& dataPath, const std::string& templatePath)
{
    std::string error;
    const int status = Export(dataPath, templatePath, {}, error);
    if (status != 0) {
        ShowFailure("The CSV export of " + dataPath + " failed.\n" + error);
    }
    return status;
}

int CsvExporterCom::ManualExport()
{
    const std::optional<std::string> data = AskPath(false, {}, kDataFilter);
    if (!data || data->empty()) {
        return kCancelled;
    }
    const std::optional<std::string> tplPath = AskPath(false, GetAutoCsvTemplate(), kTemplateFilter);
    if (!tplPath || tplPath->empty()) {
        return kCancelled;
    }
    CsvTemplate tpl;
    const std::string suggested = LoadCsvTemplate(*tplPath, tpl) == 0 ? CsvOutputPath(*data, tpl) : *data + ".csv";
    const std::optional<std::string> csv = AskPath(true, suggested, kCsvFilter);
    if (!csv || csv->empty()) {
        return kCancelled;
    }
    std::string error;
    const int status = Export(*data, *tplPath, *csv, error);
    if (status != 0) {
        ShowFailure("The CSV export of " + *data + " failed.\n" + error);
    }
    return status;
}

// ---- Settings and the offer ----

bool IsAutoCsvEnabled() { return GetProfileInt(kSection, kEnabled, 0) != 0; }

std::string GetAutoCsvTemplate() { return GetProfileString(kSection, kTemplate, ""); }

int SaveAutoCsvSettings(bool enabled, const std::string& templatePath)
{
    if (!WriteProfileInt(kSection, kEnabled, enabled ? 1 : 0)) {
        return 1;
    }
    if (!templatePath.empty() && !WriteProfileString(kSection, kTemplate, templatePath)) {
        return 1;
    }
    return 0;
}

void OfferAutoCsvExport(CWVFrame* frame, const std::string& dataPath)
{
    const std::string templatePath = GetAutoCsvTemplate();
    if (!IsAutoCsvEnabled() || templatePath.empty()) {
        return;
    }
    SiteMessage ask;
    ask.icon = MessageIcon::Question;
    ask.buttons = MessageButtons::YesNo;
    ask.defaultAnswer = MessageAnswer::Yes;
    ask.detail = "The data has been downloaded to file:\n" + dataPath + "\n\n" +
                 "The Auto-Export to CSV feature is enabled.\n\n" +
                 "Do you wish to export the downloaded data to CSV using template file:\n" + templatePath;
    if (frame == nullptr || frame->ShowMessage(ask) == MessageAnswer::No) {
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::string error;
    const int status = CsvExporterCom::Export(dataPath, templatePath, {}, error);
    QApplication::restoreOverrideCursor();
    if (status != 0) {
        CsvExporterCom(frame).ShowFailure("The CSV export of " + dataPath + " failed.\n" + error);
    }
}

bool IsAutoCsvExporterAvailable()
{
    // The exporter is built in: the probe's answer is fixed for the process.
    static const bool available = true;
    return available;
}
