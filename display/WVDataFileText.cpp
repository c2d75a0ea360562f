#include "display/WVDataFileText.h"

#include "app/WVFrame.h"
#include "datafiles/TestFileReader.h"
#include "display/TextWnd.h"
#include "display/ViewOptionsRunner.h"
#include "resources/StringTable.h"
#include "site/DataFile.h"
#include "site/DataFileSetup.h"
#include "site/SiteFrame.h"
#include "values/UnitCatalog.h"

#include <QDesktopServices>
#include <QEvent>
#include <QFileDialog>
#include <QResizeEvent>
#include <QUrl>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace {

CWVDataFileText::SavePathHook& SaveHook()
{
    static CWVDataFileText::SavePathHook hook;
    return hook;
}

CWVDataFileText::OpenerHook& OpenHook()
{
    static CWVDataFileText::OpenerHook hook;
    return hook;
}

void ShowMessage(uint32_t textId, uint32_t captionId, MessageIcon icon, std::string detail)
{
    if (CSiteFrame* frame = GetMainFrame()) {
        SiteMessage message;
        message.textId = textId;
        message.captionId = captionId;
        message.icon = icon;
        message.detail = std::move(detail);
        frame->ShowMessage(message);
    }
}

} // namespace

void CWVDataFileText::SetSavePathHook(SavePathHook hook) { SaveHook() = std::move(hook); }

void CWVDataFileText::SetOpenerHook(OpenerHook hook) { OpenHook() = std::move(hook); }

CWVDataFileText::CWVDataFileText(QWidget* parent)
    : CWVDataFile(ViewTemplate{kTemplateId, false, 2, kTemplateWidth, kTemplateHeight}, parent)
{
    // The template: the report's placeholder (281 x 183 dialog units), two buttons below it.
    auto* placeholder = new QWidget(GetForm());
    placeholder->setObjectName(QString::number(kPlaceholder));
    placeholder->setGeometry(6, 6, 422, 297);
    if (QWidget* button = FindControl(1)) {
        button->setGeometry(12, 321, 124, 20);
    }
    if (QWidget* button = FindControl(2)) {
        button->setGeometry(144, 321, 124, 20);
    }
    GetForm()->installEventFilter(this);
    connect(this, &CWVView::ButtonCommand, this, [this](uint32_t id) {
        if (id == kGraphButton) {
            OnGraph();
        } else if (id == kViewOptionsButton) {
            OnViewOptions();
        }
    });
}

CWVDataFileText::~CWVDataFileText()
{
    // The window goes before the files it reads.
    delete m_text;
    m_text = nullptr;
}

void CWVDataFileText::OnInitialUpdate()
{
    m_text = new CTextWnd(*this);
    if (QWidget* placeholder = FindControl(kPlaceholder)) {
        m_text->Create(placeholder);
    }
    SetButton(1, kGraphButton, kStrButtonGraph);
    SetButton(2, kViewOptionsButton, kStrButtonViewOptions);
    CWVDataFile::OnInitialUpdate();
    OnSize(GetForm()->width(), GetForm()->height());
}

void CWVDataFileText::OnUpdate()
{
    if (m_text == nullptr) {
        return;
    }
    AttachDataFile();
    ClearFileChanged();
    m_text->Update();
    SetCaption(GetTitle());
    EnableControl(kViewOptionsButton, static_cast<bool>(GetViewOptionsRunner()));
}

void CWVDataFileText::UpdateScrollSizes(int width, int height)
{
    if (width >= 260 && height >= 80) {
        CWVDataFile::UpdateScrollSizes(width, height);
    }
}

void CWVDataFileText::DropFileUse()
{
    if (m_text != nullptr) {
        m_text->Drop();
    }
}

bool CWVDataFileText::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == GetForm() && event->type() == QEvent::Resize) {
        const auto* resize = static_cast<QResizeEvent*>(event);
        OnSize(resize->size().width(), resize->size().height());
    }
    return CWVDataFile::eventFilter(watched, event);
}

void CWVDataFileText::OnSize(int width, int height)
{
    if (IsLayoutPending() || m_text == nullptr) {
        return;
    }
    QWidget* first = FindControl(static_cast<uint32_t>(GetButtonId(1)));
    // The caption band stays above the report.
    const int top = kCaptionBand + 5;
    const int bottom = first != nullptr ? height - 2 * first->height() - 8 : height - 48;
    const int x = m_text->x();
    m_text->setGeometry(x, top, std::max(width - 2 * x, 0), std::max(bottom - kCaptionBand, 0));
    PlaceButtons(height);
}

void CWVDataFileText::OnGraph()
{
    if (CUnitCategory* category = GetDataFileReaderSetup().units->FindCategory(kUnitCategoryDataFileView)) {
        category->SelectUnit(1);
    }
    if (auto* frame = dynamic_cast<CWVFrame*>(GetMainFrame())) {
        frame->PostSwitchView(ViewId::DataFileGraph);
    }
}

void CWVDataFileText::OnViewOptions()
{
    if (RunViewOptions(true) && m_text != nullptr) {
        m_text->Update();
    }
}

bool CWVDataFileText::HandlesCommand(uint32_t command) const
{
    return command == kSaveReport || command == kExportExcel || command == kPrintReport ||
           CWVDataFile::HandlesCommand(command);
}

void CWVDataFileText::OnViewCommand(uint32_t command)
{
    if (!OnFileCommand(command)) {
        CWVDataFile::OnViewCommand(command);
    }
}

bool CWVDataFileText::OnFileCommand(uint32_t command)
{
    switch (command) {
    case kSaveReport: SaveReport(); return true;
    case kExportExcel: ExportToExcel(); return true;
    case kPrintReport:
        if (m_text != nullptr) {
            m_text->Print();
        }
        return true;
    default: return false;
    }
}

void CWVDataFileText::SaveReport()
{
    CDataFile* file = GetDataFile();
    CTestFileReader* reader = file != nullptr ? file->GetReader() : nullptr;
    if (reader == nullptr) {
        return;
    }
    std::optional<std::string> path;
    if (SaveHook()) {
        path = SaveHook()(this);
    } else {
        QFileDialog dialog(this);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("txt"));
        dialog.setNameFilter(QStringLiteral("Text Files (*.txt)"));
        dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
            path = dialog.selectedFiles().front().toStdString();
        }
    }
    if (!path || path->empty()) {
        return;
    }
    if (reader->WriteReport(*path, false) != 0) {
        ShowMessage(kStrFileSaveFailed, 0, MessageIcon::Error, *path);
        return;
    }
    CDataFile::RewriteFile(*path);
}

void CWVDataFileText::ExportToExcel()
{
    CDataFile* file = GetDataFile();
    CTestFileReader* reader = file != nullptr ? file->GetReader() : nullptr;
    if (reader == nullptr) {
        return;
    }
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
    if (ec) {
        return;
    }
    std::string path = (folder / "wvrXXXXXX.xls").string();
    const int fd = ::mkstemps(path.data(), 4);
    if (fd < 0) {
        return;
    }
    ::close(fd);
    if (reader->WriteReport(path, true) != 0) {
        std::filesystem::remove(path, ec);
        ShowMessage(kStrFileSaveFailed, 0, MessageIcon::Error, path);
        return;
    }
    CDataFile::RewriteFile(path);
    LaunchExcel(path);
}

bool CWVDataFileText::LaunchExcel(const std::string& path)
{
    const bool opened = OpenHook() ? OpenHook()(path)
                                   : QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
    if (!opened) {
        ShowMessage(0, kStrExcelFailed, MessageIcon::Warning, path);
    }
    return opened;
}
