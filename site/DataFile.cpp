#include "site/DataFile.h"

#include "comm/TestFileFormat.h"
#include "datafiles/TestFileReaderD.h"
#include "datafiles/TestFileReaderF.h"
#include "datafiles/TestFileReaderLegacy.h"
#include "foundation/AppUtils.h"
#include "foundation/StringUtils.h"
#include "platform/SafeFile.h"
#include "site/DataFileSetup.h"
#include "values/UnitCatalog.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint64_t kRewriteLimit = 256ull << 20;

} // namespace

CDataFile::CDataFile(std::string_view path) : CDataFile(path, GetDataFileReaderSetup()) {}

CDataFile::CDataFile(std::string_view path, const DataFileReaderSetup& setup)
{
    m_units = setup.units != nullptr ? setup.units : GetDataFileReaderSetup().units;
    m_path = path;
    const size_t slash = m_path.find_last_of('/');
    m_title = slash == std::string::npos ? m_path : m_path.substr(slash + 1);
    m_folder = slash == std::string::npos ? std::string() : m_path.substr(0, slash);
    // Only a regular file is opened (a FIFO or device named *.bin never blocks); one that
    // cannot be opened keeps its name for its item and gets kind 0.
    if (UniqueFile file{FileOpen(m_path, "rb")}) {
        uint8_t first = 0;
        if (FileRead(&first, 1, 1, file.get()) == 1) {
            m_kind = TestDataFileKind(first);
        }
    }
    switch (m_kind) {
    case kTestFileKindLegacy:
    case kTestFileKindLegacyPrefixed:
        m_reader = std::make_unique<CTestFileReaderLegacy>(*m_units, setup.version, &setup.filter);
        break;
    case kTestFileKindLevel:
        m_reader = std::make_unique<CTestFileReaderD>(*m_units, setup.version, &setup.filter);
        break;
    case kTestFileKindSonde:
        m_reader = std::make_unique<CTestFileReaderF>(*m_units, setup.version, &setup.filter);
        break;
    default:
        break;
    }
    if (m_reader != nullptr && m_reader->ReadIdentity(m_path, m_deviceType, m_serialNumber) != 0) {
        m_deviceType = 0;
        m_serialNumber = 0;
    }
}

CDataFile::~CDataFile() = default;

void CDataFile::AddToTree(CSiteTree* tree, TreeItem parentItem, TreeItem insertAfter)
{
    InsertTreeItem(tree, parentItem, insertAfter, kDefaultIconIndex, GetLabel(), false);
}

ViewId CDataFile::GetViewId(TreeItem item) const
{
    if (item == kNoTreeItem || item != GetTreeItem()) {
        return ViewId::None;
    }
    const int choice = DataFileViewChoice(m_units);
    return choice == 1 ? ViewId::DataFileGraph : choice == 0 ? ViewId::DataFileText : ViewId::None;
}

void CDataFile::RefreshTreeItem()
{
    if (GetTreeItem() == kNoTreeItem || GetTree() == nullptr) {
        return;
    }
    GetTree()->SetItemImage(GetTreeItem(), kDefaultIconIndex);
    GetTree()->SetItemText(GetTreeItem(), GetLabel());
}

int CDataFile::OpenReader()
{
    ++m_openCount;
    if (m_openCount == 1 && m_reader != nullptr) {
        return m_reader->Open(m_path);
    }
    return 0;
}

void CDataFile::CloseReader()
{
    if (m_openCount <= 0) {
        return;
    }
    --m_openCount;
    if (m_openCount == 0 && m_reader != nullptr) {
        m_reader->Close();
    }
}

uint8_t CDataFile::GetPressureMode() const { return m_reader != nullptr ? m_reader->GetPressureMode() : 0; }

std::string CDataFile::GetLabel() const
{
    char prefix[16] = {};
    std::snprintf(prefix, sizeof prefix, "SN%5.5u", static_cast<unsigned>(m_serialNumber));
    const size_t n = std::strlen(prefix);
    // The test data files are named "SN%05d " with the serial, then the rest; a title
    // without the blank after its serial shows whole.
    if (m_title.size() > n && m_title.compare(0, n, prefix) == 0 && m_title[n] == ' ') {
        return m_title.substr(n + 1);
    }
    return m_title;
}

int CDataFile::RewriteFile(const std::string& path)
{
    std::string text;
    if (const int error = wv::ReadRegularFile(path, text, kRewriteLimit); error != 0) {
        return error;
    }
    const size_t zero = text.find('\0');
    if (zero != std::string::npos) {
        text.resize(zero);
    }
    return wv::WriteFileAtomically(path, text);
}
