#pragma once
// CLFDataFile: a saved low-flow run (".flo") of the low-flow folder in the navigation tree
// (node type 11, image 24, flag 1, label its file name). It names the low-flow view that
// shows it and keeps the low-flow text window's scroll positions.
//
// Opening a run (its settings, the test data it carries, the reports) belongs to the
// low-flow sampling part, which the node reaches through CLowFlowRunProvider. Without a
// provider a run opens with nothing extracted: the open count runs, and there is no reader.

#include "site/QorView.h"

#include <string>
#include <string_view>

class CLFDataFile;
class CTestFileReader;
class CUnitCatalog;

// What opens and closes a low-flow run for its node.
class CLowFlowRunProvider {
public:
    virtual ~CLowFlowRunProvider() = default;
    // The first open of the node: loads the run, extracts its test data into the companion
    // file and gives the reader opened on it (null when nothing could be extracted).
    virtual CTestFileReader* OpenRun(CLFDataFile& file) = 0;
    // The last close: closes the reader and deletes the companion file.
    virtual void CloseRun(CLFDataFile& file) = 0;
};

// The provider of every low-flow node, or null; borrowed, set by the program.
void SetLowFlowRunProvider(CLowFlowRunProvider* provider);
CLowFlowRunProvider* GetLowFlowRunProvider();

class CLFDataFile : public CQorView {
public:
    explicit CLFDataFile(std::string_view path);
    ~CLFDataFile() override;

    // Inserts its item once (image 24, the file name), no children.
    void AddToTree(CSiteTree* tree, TreeItem parentItem, TreeItem insertAfter) override;
    // For its own item: ViewId::LowFlowText when the "Data File View" unit is 0,
    // ViewId::LowFlowGraph when it is 1, else ViewId::None.
    ViewId GetViewId(TreeItem item) const override;
    void RefreshTreeItem() override;
    NodeType GetNodeType() const override { return NodeType::LowFlowFile; }

    // Counts the opens; the first asks the provider for the run. Returns the new count.
    int Open();
    // With no open outstanding: the count (0), nothing else. Otherwise counts one back; the
    // last hands the run back to the provider. Returns the remaining count.
    int Close();
    CTestFileReader* GetReader() const { return m_reader; }
    int GetOpenCount() const { return m_openCount; }

    const std::string& GetFilePath() const { return m_path; }
    const std::string& GetFileName() const { return m_fileName; }
    // The folder with a '/' at its end, and the companion test data file (the path + ".bin").
    const std::string& GetFolder() const { return m_folder; }
    const std::string& GetCompanionPath() const { return m_companionPath; }

    int GetVerticalScroll() const { return m_verticalScroll; }
    int GetHorizontalScroll() const { return m_horizontalScroll; }
    void SetScrollPositions(int vertical, int horizontal)
    {
        m_verticalScroll = vertical;
        m_horizontalScroll = horizontal;
    }

private:
    CUnitCatalog* m_units = nullptr;
    std::string m_path;
    std::string m_fileName;
    std::string m_folder;
    std::string m_companionPath;
    int m_openCount = 0;
    CTestFileReader* m_reader = nullptr;
    int m_verticalScroll = 1;
    int m_horizontalScroll = 1;
};
