#include "site/LFDataFile.h"

#include "site/DataFileSetup.h"
#include "values/UnitCatalog.h"

namespace {

CLowFlowRunProvider* g_provider = nullptr;

} // namespace

void SetLowFlowRunProvider(CLowFlowRunProvider* provider) { g_provider = provider; }

CLowFlowRunProvider* GetLowFlowRunProvider() { return g_provider; }

CLFDataFile::CLFDataFile(std::string_view path) : m_units(GetDataFileReaderSetup().units), m_path(path)
{
    SetFlag(1);
    const size_t slash = m_path.find_last_of('/');
    m_fileName = slash == std::string::npos ? m_path : m_path.substr(slash + 1);
    m_folder = slash == std::string::npos ? std::string("/") : m_path.substr(0, slash) + "/";
    m_companionPath = m_path + ".bin";
}

CLFDataFile::~CLFDataFile()
{
    if (m_openCount > 0 && g_provider != nullptr) {
        g_provider->CloseRun(*this);
    }
}

void CLFDataFile::AddToTree(CSiteTree* tree, TreeItem parentItem, TreeItem insertAfter)
{
    if (GetTreeItem() != kNoTreeItem) {
        return;
    }
    InsertTreeItem(tree, parentItem, insertAfter, kDefaultIconIndex, m_fileName, false);
}

ViewId CLFDataFile::GetViewId(TreeItem item) const
{
    if (item == kNoTreeItem || item != GetTreeItem()) {
        return ViewId::None;
    }
    const int choice = DataFileViewChoice(m_units);
    return choice == 1 ? ViewId::LowFlowGraph : choice == 0 ? ViewId::LowFlowText : ViewId::None;
}

void CLFDataFile::RefreshTreeItem()
{
    if (GetTreeItem() == kNoTreeItem || GetTree() == nullptr) {
        return;
    }
    GetTree()->SetItemImage(GetTreeItem(), kDefaultIconIndex);
    GetTree()->SetItemText(GetTreeItem(), m_fileName);
}

int CLFDataFile::Open()
{
    ++m_openCount;
    if (m_openCount == 1 && g_provider != nullptr) {
        m_reader = g_provider->OpenRun(*this);
    }
    return m_openCount;
}

int CLFDataFile::Close()
{
    if (m_openCount <= 0) {
        return m_openCount;
    }
    --m_openCount;
    if (m_openCount == 0) {
        m_reader = nullptr;
        if (g_provider != nullptr) {
            g_provider->CloseRun(*this);
        }
    }
    return m_openCount;
}
