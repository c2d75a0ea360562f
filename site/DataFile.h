#pragma once
// CDataFile: a test data file of the Data folder in the navigation tree (node type 9, image
// 24). It tells the file's kind by its first byte, owns the reader of that kind and names the
// view that shows it; the data-file views also make stand-alone ones for other files.
//
// Kind by the first byte: 2 → 1, 17 or 18 → 2 (both read by CTestFileReaderLegacy), 'd' → 3
// (CTestFileReaderD), 'f' → 4 (CTestFileReaderF); any other byte, or a file that cannot be
// opened (only regular files are), → 0 without a reader. The reader's identity read gives
// the device type and serial number (0 when it fails). The reader keeps its file open only
// between the first OpenReader and the matching last CloseReader.

#include "site/DataFileSetup.h"
#include "site/QorView.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class CTestFileReader;
class CUnitCatalog;

class CDataFile : public CQorView {
public:
    // The file at path, with the readers' setup handed over by the program.
    explicit CDataFile(std::string_view path);
    CDataFile(std::string_view path, const DataFileReaderSetup& setup);
    ~CDataFile() override;

    // Inserts its item (image 24, its label), the parent not expanded.
    void AddToTree(CSiteTree* tree, TreeItem parentItem, TreeItem insertAfter) override;
    // For its own item: ViewId::DataFileGraph when the "Data File View" unit is 1,
    // ViewId::DataFileText when it is 0, else ViewId::None.
    ViewId GetViewId(TreeItem item) const override;
    // Sets image 24 and the label on its item.
    void RefreshTreeItem() override;
    NodeType GetNodeType() const override { return NodeType::DataFile; }

    uint8_t GetDeviceType() const { return m_deviceType; }
    uint32_t GetSerialNumber() const { return m_serialNumber; }
    CTestFileReader* GetReader() const { return m_reader.get(); }
    // Counts the opens; the first opens the reader on the path and gives its result (0 when
    // there is no reader). Later calls only count and give 0.
    int OpenReader();
    // Counts an open back (nothing below 0); the last closes the reader.
    void CloseReader();
    int GetOpenCount() const { return m_openCount; }
    // The reader's pressure-channel barometric mode: 0 none, 1 gauge, 2 absolute.
    uint8_t GetPressureMode() const;
    // The title without its "SN%05d " prefix (serial and blank) when it begins with its own
    // serial number's; otherwise the whole title.
    std::string GetLabel() const;

    int GetKind() const { return m_kind; }
    const std::string& GetPath() const { return m_path; }
    const std::string& GetTitle() const { return m_title; }
    const std::string& GetFolder() const { return m_folder; }

    // The text view's place in the report: first line and first character shown (from 1).
    int GetTextLine() const { return m_textLine; }
    int GetTextColumn() const { return m_textColumn; }
    void SetTextPosition(int line, int column)
    {
        m_textLine = line;
        m_textColumn = column;
    }

    // Replaces the file at path with its content up to its first zero byte, through a
    // temporary file renamed over it (the saved text report's cleanup). 0, or the errno
    // that stopped it; the file is then unchanged.
    static int RewriteFile(const std::string& path);

private:
    CUnitCatalog* m_units = nullptr;
    std::string m_path;
    std::string m_title;
    std::string m_folder;
    int m_kind = 0;
    uint8_t m_deviceType = 0;
    uint32_t m_serialNumber = 0;
    int m_openCount = 0;
    std::unique_ptr<CTestFileReader> m_reader;
    int m_textLine = 1;
    int m_textColumn = 1;
};
