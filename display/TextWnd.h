#pragma once
// CTextWnd: the text report of a test data file in a fixed-pitch font, scrolled by lines and
// characters, with the column-title lines kept at the top while the data rows scroll past
// them. The scroll positions live in the shown CDataFile, so they survive a new view on the
// same file. Lines come from LineSource, which derived windows may replace.

#include <QAbstractScrollArea>
#include <QFont>

#include <string>
#include <vector>

class CDataFile;
class CTestFileReader;
class CWVDataFile;
class QPainter;

class CTextWnd : public QAbstractScrollArea {
    Q_OBJECT
public:
    // Scroll requests, as the scroll bars and keys give them.
    enum ScrollRequest { kLineUp, kLineDown, kPageUp, kPageDown, kThumbPosition, kThumbTrack, kTop, kBottom };
    // The narrowest text width, in characters.
    static constexpr int kMinTextChars = 57;
    // Lines read before the first visible one so the report's moving averages start right.
    static constexpr int kPrimingLines = 40;

    explicit CTextWnd(CWVDataFile& owner);
    ~CTextWnd() override;

    // Takes the placeholder's parent, geometry and object name, deletes it and shows itself
    // in its place.
    void Create(QWidget* placeholder);
    // Reads the owner's current file again: counts, ranges, positions; repaints later.
    void Refresh();
    // Refresh and repaint at once.
    void Update();
    // Forgets the file and its reader until the next refresh.
    void Drop();

    void OnVScroll(ScrollRequest request, int thumb = 0);
    void OnHScroll(ScrollRequest request, int thumb = 0);

    // Prints the whole report (one page per page-full of lines).
    void Print();
    // The first line of each printed page for lineCount lines of lineHeight, starting at
    // top and never passing limit; at least one (empty) page.
    static std::vector<int> PaginateReport(int lineCount, int lineHeight, int top, int limit);

    // ---- State (read by the tests) ----
    CTestFileReader* GetReader() const { return m_reader; }
    int GetCharWidth() const { return m_charWidth; }
    int GetLineHeight() const { return m_lineHeight; }
    int GetLineCount() const { return m_lineCount; }
    int GetFirstTitleLine() const { return m_firstTitle; }
    int GetLastTitleLine() const { return m_lastTitle; }
    int GetBandRows() const { return m_bandRows; }
    int GetBandHeight() const { return m_bandHeight; }
    int GetTextWidth() const { return m_textWidth; }
    int GetVertRange() const { return m_vertRange; }
    int GetHorzRange() const { return m_horzRange; }
    int GetVertPos() const;
    int GetHorzPos() const;
    const QFont& GetFont() const { return m_font; }
    // The text of the rows shown at the window's top, as the last paint drew them.
    const std::vector<std::string>& GetPaintedRows() const { return m_painted; }

protected:
    // One report line with tabs expanded; false when it does not exist.
    virtual bool LineSource(int line, std::string& text);
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void SetVertPos(int position);
    void SetHorzPos(int position);
    void Paint(QPainter& painter, int top, int bottom);

    CWVDataFile& m_owner;
    CDataFile* m_file = nullptr;
    CTestFileReader* m_reader = nullptr;
    QFont m_font;
    int m_charWidth = 0;
    int m_lineHeight = 1;
    int m_ascent = 0;
    int m_horzRange = 0;
    int m_vertRange = 0;
    int m_textWidth = 0;
    int m_lineCount = 0;
    int m_lastTitle = 0;
    int m_firstTitle = 0;
    int m_bandHeight = 0;
    int m_bandRows = 0;
    std::vector<std::string> m_painted;
};
