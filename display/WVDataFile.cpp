#include "display/WVDataFile.h"

#include "datafiles/DeviceImageFileService.h"
#include "display/BaroCorrectionRunner.h"
#include "display/ViewOptionsRunner.h"
#include "foundation/Registry.h"
#include "platform/ProgramHome.h"
#include "platform/SafeFile.h"
#include "resources/StringTable.h"
#include "site/DataFile.h"
#include "site/QorSite.h"
#include "site/SiteFrame.h"
#include "site/WVDoc.h"
#include "values/BaroCompensator.h"

#include <QApplication>
#include <QPushButton>
#include <QtGlobal>

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

constexpr std::string_view kBaroSection = "BaroVorna";
// The prefix of the program's temporary compensated files.
constexpr const char* kTempPrefix = "wvb";
constexpr size_t kCopyBlock = 2000;

// The word the saved copy's name carries for a (category, unit) pair of the dialog.
uint32_t UnitWordId(int category, int unit)
{
    struct Word {
        int category;
        int unit;
        uint32_t textId;
    };
    static constexpr std::array<Word, 7> kWords{{{6, 0, kStrBaroWordPsi},
                                                  {6, 3, kStrBaroWordKpa},
                                                  {9, 1, kStrBaroWordInHg},
                                                  {9, 2, kStrBaroWordBars},
                                                  {9, 3, kStrBaroWordMbar},
                                                  {9, 4, kStrBaroWordCmH2O},
                                                  {9, 5, kStrBaroWordMmHg}}};
    for (const Word& word : kWords) {
        if (word.category == category && word.unit == unit) {
            return word.textId;
        }
    }
    return 0;
}

bool IsLevelLoggerType(uint8_t type) { return type == 21 || type == 22 || type == 23 || type == 26 || type == 27; }

void ShowMessage(uint32_t textId, uint32_t captionId, MessageIcon icon, std::string detail = {})
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

// The permissions a new file gets from this process (0666 less the umask).
mode_t NewFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Writes all of size bytes; false on any short or failed write.
bool WriteAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

CWVDataFile::CWVDataFile(const ViewTemplate& layout, QWidget* parent) : CWVView(layout, parent) {}

CWVDataFile::~CWVDataFile()
{
    // The derived views have deleted their windows already; nothing uses the files now.
    DeleteCompensatedFile();
    if (m_current != nullptr && m_readerHeld) {
        m_current->CloseReader();
    }
    m_readerHeld = false;
    m_current = nullptr;
}

CDataFile* CWVDataFile::GetSelectedDataFile() const
{
    return static_cast<CDataFile*>(GetSelectedNodeOfType(NodeType::DataFile));
}

CDataFile* CWVDataFile::AttachDataFile()
{
    if (m_current == nullptr) {
        if (CDataFile* node = GetSelectedDataFile()) {
            ShowFile(node);
        }
    }
    return m_current;
}

void CWVDataFile::ShowFile(CDataFile* file)
{
    CloseCurrentReader();
    m_current = file;
    m_fileChanged = true;
    OpenCurrentReader();
}

void CWVDataFile::CloseCurrentReader()
{
    DropFileUse();
    if (m_current != nullptr && m_readerHeld) {
        m_current->CloseReader();
    }
    m_readerHeld = false;
}

void CWVDataFile::OpenCurrentReader()
{
    if (m_current != nullptr && !m_readerHeld) {
        m_current->OpenReader();
        m_readerHeld = true;
    }
}

std::string CWVDataFile::GetTitle() const
{
    if (m_current == nullptr) {
        return {};
    }
    std::string title = m_current->GetTitle() + " ";
    if (m_compensated != nullptr) {
        title += GetResString(kStrBaroAdjusted);
    }
    return title;
}

void CWVDataFile::ReleaseDataFile() { CloseCurrentReader(); }

void CWVDataFile::ReloadDataFile() { OpenCurrentReader(); }

void CWVDataFile::UpdateViews()
{
    if (CWVDoc* doc = GetDocument()) {
        doc->UpdateOtherViews();
    } else {
        OnUpdate();
    }
}

bool CWVDataFile::IsBaroCorrectionAvailable() { return static_cast<bool>(GetBaroCorrectionRunner()); }

bool CWVDataFile::HandlesCommand(uint32_t command) const
{
    return command == kBaroVornaCommand && IsBaroCorrectionAvailable();
}

void CWVDataFile::OnViewCommand(uint32_t command)
{
    if (command == kBaroVornaCommand) {
        OnBaroVorna();
    }
}

void CWVDataFile::OnBaroVorna()
{
    if (!IsBaroCompensable(GetSelectedDataFile())) {
        ShowMessage(kStrBaroNotCompensable, kStrProgramCaption, MessageIcon::Information);
        return;
    }
    if (RunBaroCompensation(this)) {
        UpdateViews();
    }
}

bool CWVDataFile::RunBaroWizard(QWidget* parent)
{
    if (!IsBaroCompensable(GetSelectedDataFile())) {
        ShowMessage(kStrBaroNotCompensable, kStrProgramCaption, MessageIcon::Information);
        return false;
    }
    return RunBaroCompensation(parent);
}

bool CWVDataFile::RunBaroCompensation(QWidget* parent)
{
    CDataFile* node = GetSelectedDataFile();
    const BaroCorrectionRunner& runner = GetBaroCorrectionRunner();
    if (node == nullptr || !runner) {
        return false;
    }
    CBaroCompensator job(DeviceImageFileService());
    LoadBaroSettings(job);
    BaroCorrectionRequest request{job, true, [](const std::string& path) { return IsValidBaroReference(path); },
                                  [this] { ReleaseDataFile(); }, [this] { ReloadDataFile(); }};
    if (!runner(parent, request)) {
        return false;
    }
    SaveBaroSettings(job);
    if (job.GetMode() == kBaroModeOwnValue) {
        if (m_compensated == nullptr) {
            return false;
        }
        DeleteCompensatedFile();
        ShowFile(node);
        return true;
    }
    m_sourcePath = node->GetPath();
    const std::string target = MakeTempFileName();
    std::unique_ptr<CDataFile> copy;
    if (!target.empty()) {
        job.SetTargetPath(target);
        job.SetSourcePath(m_sourcePath);
        QApplication::setOverrideCursor(Qt::WaitCursor);
        CloseCurrentReader();
        if (job.Run()) {
            copy = std::make_unique<CDataFile>(target);
        } else {
            // A failed run leaves no empty file behind, so nothing can save it as data.
            std::error_code ec;
            std::filesystem::remove(target, ec);
        }
        QApplication::restoreOverrideCursor();
    }
    // The old copy (and its temporary file) goes once the new run is over.
    DeleteCompensatedFile();
    CloseCurrentReader();
    m_compensated = std::move(copy);
    m_tempPath = m_compensated != nullptr ? target : std::string();
    ShowFile(m_compensated != nullptr ? m_compensated.get() : node);
    if (request.newFile) {
        SaveCompensatedFile(job);
    }
    return true;
}

void CWVDataFile::CloseFiles()
{
    DeleteCompensatedFile();
    CloseCurrentReader();
    m_current = nullptr;
}

void CWVDataFile::OpenFile(const std::string& path)
{
    if (path.empty()) {
        return;
    }
    auto file = std::make_unique<CDataFile>(path);
    DeleteCompensatedFile();
    CloseCurrentReader();
    m_tempPath = path;
    m_compensated = std::move(file);
    ShowFile(m_compensated.get());
}

std::string CWVDataFile::CopyCompensatedFile()
{
    if (m_compensated == nullptr) {
        return {};
    }
    const std::string name = MakeTempFileName();
    if (name.empty()) {
        return {};
    }
    // The reader only reads its file, so the copy is made while it stays open.
    if (!CopyFile(m_tempPath, name)) {
        std::error_code ec;
        std::filesystem::remove(name, ec);
        return {};
    }
    return name;
}

void CWVDataFile::DeleteCompensatedFile()
{
    if (m_compensated != nullptr && m_current == m_compensated.get()) {
        CloseCurrentReader();
        m_current = nullptr;
    }
    m_compensated.reset();
    if (!m_tempPath.empty()) {
        std::error_code ec;
        // A file already gone is no error.
        if (!std::filesystem::remove(m_tempPath, ec) && ec) {
            qWarning("Wellvox: cannot delete the temporary file %s: %s", m_tempPath.c_str(), ec.message().c_str());
        }
        m_tempPath.clear();
    }
}

std::string CWVDataFile::MakeTempFileName()
{
    std::string pattern = (wv::ProgramHome() / (std::string(kTempPrefix) + "XXXXXX.tmp")).string();
    const int fd = ::mkstemps(pattern.data(), 4);
    if (fd < 0) {
        return {};
    }
    ::close(fd);
    return pattern;
}

bool CWVDataFile::CopyFile(const std::string& source, const std::string& destination)
{
    std::FILE* in = source.empty() ? nullptr : wv::OpenRegularFileStream(source, "rb");
    if (in == nullptr) {
        ShowMessage(kStrNoSourceFile, kStrBaroSaveCaption, MessageIcon::Error);
        return false;
    }
    // The copy grows beside the destination and takes its name only when complete.
    std::string temp = destination + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        std::fclose(in);
        ShowMessage(kStrNoDestinationFile, kStrBaroSaveCaption, MessageIcon::Error);
        return false;
    }
    bool ok = ::fchmod(fd, NewFileMode()) == 0;
    std::array<char, kCopyBlock> block{};
    while (ok) {
        const size_t n = std::fread(block.data(), 1, block.size(), in);
        if (n > 0 && !WriteAll(fd, block.data(), n)) {
            ok = false;
        }
        if (n < block.size()) {
            ok = ok && std::ferror(in) == 0;
            break;
        }
    }
    std::fclose(in);
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    std::error_code ec;
    if (ok) {
        std::filesystem::rename(temp, destination, ec);
        ok = !ec;
    }
    if (!ok) {
        std::filesystem::remove(temp, ec);
    }
    return ok;
}

std::string CWVDataFile::SavedCopyName(const std::string& source, const CBaroCompensator& job)
{
    std::string name = source;
    if (name.size() >= 4) {
        std::string extension = name.substr(name.size() - 4);
        for (char& c : extension) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        if (extension == ".bin") {
            name.resize(name.size() - 4);
        }
    }
    switch (job.GetMode()) {
    case kBaroModeFixed: {
        const uint32_t word = UnitWordId(job.GetFixedCategory(), job.GetFixedUnit());
        char value[64];
        std::snprintf(value, sizeof value, "%5.2f", job.GetFixedValue());
        name.append("_BARO_").append(value).append("_");
        if (word != 0) {
            name.append(GetResString(word));
        }
        return name + ".bin";
    }
    case kBaroModeFile: {
        const std::string& reference = job.GetBaroFilePath();
        const size_t slash = reference.find_last_of('/');
        return name + "_" + (slash == std::string::npos ? reference : reference.substr(slash + 1));
    }
    default: return {};
    }
}

void CWVDataFile::SaveCompensatedFile(const CBaroCompensator& job)
{
    const std::string name = SavedCopyName(m_sourcePath, job);
    if (name.empty()) {
        return;
    }
    if (!CopyFile(m_tempPath, name)) {
        ShowMessage(kStrFileSaveFailed, kStrBaroSaveCaption, MessageIcon::Error);
        return;
    }
    CWVDoc* doc = GetDocument();
    if (doc != nullptr && doc->GetSite() != nullptr) {
        doc->GetSite()->GetDataFolder().FindFile(name);
    }
}

bool CWVDataFile::IsBaroCompensable(const CDataFile* file)
{
    return file != nullptr && file->GetReader() != nullptr && IsLevelLoggerType(file->GetDeviceType()) &&
           file->GetPressureMode() == 2;
}

bool CWVDataFile::IsValidBaroReference(const std::string& path)
{
    const CDataFile file(path);
    if (file.GetReader() == nullptr) {
        return false;
    }
    return file.GetDeviceType() == 28 || IsBaroCompensable(&file);
}

void CWVDataFile::LoadBaroSettings(CBaroCompensator& job)
{
    const std::string fixed = ReadRegString(kBaroSection, "FixedBaro", "8.0");
    job.SetRangeMode(static_cast<int>(ReadRegDword(kBaroSection, "FrameMethod", 0)));
    job.SetMode(static_cast<int>(ReadRegDword(kBaroSection, "ReferenceType", 0)));
    const auto unit = static_cast<int>(ReadRegDword(kBaroSection, "BaroUnits", 0));
    const auto category = static_cast<int>(ReadRegDword(kBaroSection, "BaroUnitType", 6));
    job.SetFixedValue(std::strtod(fixed.c_str(), nullptr), category, unit);
    job.SetBaroFilePath(ReadRegString(kBaroSection, "ReferencePath", ""));
    job.SetSourcePath({});
    job.SetTargetPath({});
}

void CWVDataFile::SaveBaroSettings(const CBaroCompensator& job)
{
    char fixed[64];
    std::snprintf(fixed, sizeof fixed, "%f", job.GetFixedValue());
    WriteRegString(kBaroSection, "FixedBaro", fixed);
    WriteRegDword(kBaroSection, "FrameMethod", static_cast<uint32_t>(job.GetRangeMode()));
    WriteRegDword(kBaroSection, "ReferenceType", static_cast<uint32_t>(job.GetMode()));
    WriteRegDword(kBaroSection, "BaroUnits", static_cast<uint32_t>(job.GetFixedUnit()));
    WriteRegDword(kBaroSection, "BaroUnitType", static_cast<uint32_t>(job.GetFixedCategory()));
    WriteRegString(kBaroSection, "ReferencePath", job.GetBaroFilePath());
}

bool CWVDataFile::RunViewOptions(bool channelSelection)
{
    const ViewOptionsRunner& runner = GetViewOptionsRunner();
    return runner && runner(this, *this, 0, channelSelection) == kViewOptionsFinish;
}

void CWVDataFile::PlaceButtons(int clientHeight)
{
    QWidget* first = FindControl(static_cast<uint32_t>(GetButtonId(1)));
    const int b = first != nullptr ? first->height() : 0;
    const int line = first != nullptr ? clientHeight - 2 * b : clientHeight - 40;
    for (int slot = 1; slot <= 2; ++slot) {
        if (QWidget* button = FindControl(static_cast<uint32_t>(GetButtonId(slot)))) {
            button->move(button->x(), line + button->height() / 2);
        }
    }
}
