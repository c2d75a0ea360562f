#pragma once
// CWVView: the base of every right-hand form view, and itself the empty view.
//
// A form view is a scrolling widget built from a template: a caption drawn in a band at
// its top, an optional report list (object name "1244") and up to four command buttons
// (object names "1" to "4" at first) whose ids and captions follow the state of the node
// shown. Controls are addressed by their ids, which are their object names; an operation
// on an id the template does not have does nothing.

#include <QScrollArea>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

class QTreeWidget;
class QWidget;
class CWVDoc;
class CQorView;
enum class NodeType : int32_t;

// What a view's template holds.
struct ViewTemplate {
    uint32_t id = 135;        // the template's id (the view's ViewId)
    bool hasList = false;     // report list 1244
    int buttonCount = 0;      // command buttons 1 to buttonCount (at most 4)
    int width = 260;          // the template's size
    int height = 80;
};

class CWVView : public QScrollArea {
    Q_OBJECT
public:
    static constexpr int kButtonSlots = 4;
    static constexpr int kMaxCellChars = 199;
    // Height of the caption band drawn at the top of the form.
    static constexpr int kCaptionBand = 34;

    explicit CWVView(const ViewTemplate& layout = {}, QWidget* parent = nullptr);
    ~CWVView() override;

    uint32_t GetTemplateId() const { return m_template.id; }
    void SetDocument(CWVDoc* doc) { m_doc = doc; }
    CWVDoc* GetDocument() const { return m_doc; }
    // The document's selected node when it is of the given type, else null.
    CQorView* GetSelectedNodeOfType(NodeType type) const;

    // ---- Own virtual operations ----
    // Stores the widths of the list's columns in the registry; the base stores nothing.
    virtual void SaveColumnWidths() {}
    // The caption text of the node shown; the base has none.
    virtual std::string GetTitle() const { return {}; }
    // Closes / reopens the data file the view holds; the base holds none.
    virtual void ReleaseDataFile() {}
    virtual void ReloadDataFile() {}
    // Sets the scrollable size of the form.
    virtual void UpdateScrollSizes(int width, int height);
    // Whether the view carries out the command (tree and menu commands forwarded to it);
    // the empty view carries out none.
    virtual bool HandlesCommand(uint32_t /*command*/) const { return false; }
    // Carries out a command forwarded to the view (only those HandlesCommand accepts).
    virtual void OnViewCommand(uint32_t /*command*/) {}
    // The document changed: read the node again. The base has nothing to show.
    virtual void OnUpdate() {}

    // The initial update: records the template's size, ends the pending layout, updates.
    virtual void OnInitialUpdate();

    // ---- Report list ----
    // Empties list 1244 (rows and columns), full-row selection on. Nothing without a list.
    void ResetList();
    // Inserts a column; with a section, its width is "Col<index>" of that registry section
    // (the default when missing or unusable). Returns the column's index, 0 without a list.
    int InsertColumn(int index, std::string_view header, Qt::Alignment alignment, int defaultWidth,
                     std::string_view section = {});
    int InsertColumnId(int index, uint32_t headerId, Qt::Alignment alignment, int defaultWidth,
                       std::string_view section = {});
    // Column 0 inserts a row at row; other columns set that cell. Fits the column to its
    // contents and header. Returns the row, 0 without a list.
    int AddListItem(int row, int column, std::string_view text);
    QTreeWidget* GetList() const { return m_list; }

    // ---- Controls ----
    QWidget* FindControl(uint32_t id) const;
    void EnableControl(uint32_t id, bool enable);
    void ShowControl(uint32_t id, bool show, bool enable);

    // ---- Command buttons ----
    int GetButtonId(int slot) const;
    int GetButtonCaptionId(int slot) const;
    void SetButton(int slot, uint32_t id, uint32_t captionId);
    void ChangeButton(uint32_t currentId, uint32_t newId, uint32_t captionId);

    // ---- Layout ----
    bool IsLayoutPending() const { return m_layoutPending; }
    void GrowControl(uint32_t id, int newWidth, int newHeight);
    void MoveControlDown(uint32_t id);
    int GetWidthChange() const { return m_widthChange; }
    int GetHeightChange() const { return m_heightChange; }

    void SetCaption(std::string_view caption);
    const std::string& GetCaption() const { return m_caption; }
    // The form's widget, parent of the template's controls.
    QWidget* GetForm() const { return m_form; }

signals:
    // A command button was pressed; carries its current id.
    void ButtonCommand(uint32_t id);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Draws the caption band on the form.
    void DrawCaption(QWidget* form);

private:
    ViewTemplate m_template;
    CWVDoc* m_doc = nullptr;
    QWidget* m_form = nullptr;
    QTreeWidget* m_list = nullptr;
    std::array<int, kButtonSlots> m_buttonIds{1, 2, 3, 4};
    std::array<int, kButtonSlots> m_captionIds{1, 2, 3, 4};
    int m_lastWidth = 0;
    int m_lastHeight = 0;
    bool m_layoutPending = true;
    int m_widthChange = 0;
    int m_heightChange = 0;
    std::string m_caption;
};
