#pragma once
// A page of a CWVPropertySheet: the shared page plus the dialog-item helpers the setup
// wizards use. Each helper acts on the page's child item with the given id (its object name)
// and does nothing when the page has no such item of the right kind; none shows a message.
//
// The updating flag is set while a helper writes a value into an item, so that the page's
// change handlers can ignore the change they did not make.

#include "wizards/WizardPage.h"

#include "platform/OleDateTime.h"
#include "resources/StringTable.h"

#include <QColor>
#include <QPixmap>
#include <QRect>

#include <cstdint>
#include <string>
#include <string_view>

class QPainter;

// List-view item masks, state bits and extended styles, as the helpers take them.
constexpr unsigned kListItemText = 0x1;
constexpr unsigned kListItemImage = 0x2;
constexpr unsigned kListItemParam = 0x4;
constexpr unsigned kListItemState = 0x8;
constexpr unsigned kListStateSelected = 0x2;
constexpr unsigned kListStateImageMask = 0xF000;
constexpr unsigned kListStyleGridLines = 0x1;
constexpr unsigned kListStyleCheckBoxes = 0x4;
constexpr unsigned kListStyleFullRowSelect = 0x20;
// Column formats.
constexpr int kListColumnLeft = 0;
constexpr int kListColumnRight = 1;
constexpr int kListColumnCenter = 2;
// Column widths that size a column to its contents (without / with its heading).
constexpr int kListWidthAutoSize = -1;
constexpr int kListWidthAutoSizeHeader = -2;


// True when text is exactly "-", "+", ".", "-." or "+.": a number still being typed.
bool IsSignOnlyText(std::string_view text);

class CWVPropertyPage : public CWizardPage {
    Q_OBJECT

public:
    ~CWVPropertyPage() override;

    using CWizardPage::BeginBusy;
    using CWizardPage::EndBusy;
    using CWizardPage::SetWizardButtons;

    // Busy flag and cursor without disabling the sheet; the sheet alone disabled or enabled.
    void BeginWaitCursor();
    void EndWaitCursor();
    void DisableSheet();
    void EnableSheet();
    // The sheet's caption from a string-table text (style 0).
    void SetSheetTitleId(uint32_t stringId);

    bool IsUpdating() const { return updating_ != 0; }

    // ---- Any item ----
    void HideItem(int id);
    void ShowItem(int id);
    void DisableItem(int id);
    void EnableItem(int id);
    void SetItemTextFormatted(int id, std::string_view format, double value);
    void SetItemTextId(int id, uint32_t stringId);
    std::string GetItemTextString(int id) const;
    // The item's text read as a signed integer; 0 when it is no number (or out of range).
    int GetItemInt(int id) const;
    // The item's rectangle in the page's coordinates (empty when there is no item).
    QRect GetItemRect(int id) const;

    // ---- Edits ----
    // Typing is limited to n characters; a longer text set by the program is kept whole.
    void LimitItemText(int id, int n);
    void SetItemTextLimited(int id, int n, std::string_view text);
    void SetItemIntLimited(int id, int n, int value);
    void SetItemTextFormat(int id, int n, std::string_view format, double value);
    // Writes value unless the edit already reads as that signed integer; selects the text
    // when id is focusId.
    void SetItemIntIfChanged(int id, int value, int focusId);
    // Rewrites the edit with value in format unless it holds a sign-only text or already
    // shows the same formatted value; selects the text when id is focusId (0: never).
    void UpdateNumericItem(int id, double value, std::string_view format, int focusId);

    // ---- Reading numbers ----
    // Reads a double as "%lf" does; returns and keeps the number of converted fields
    // (-1 for a text of blanks only, 0 when no number starts it, 1 otherwise).
    int ScanItem(std::string_view text, double& value);
    int GetScanCount() const { return scanCount_; }
    // ScanItem, storing into value only when a field was converted.
    int ScanDouble(std::string_view text, double& value);
    // Reads a float as "%f" does (value set only when converted); keeps no count.
    int ScanFloat(std::string_view text, float& value) const;

    // ---- Combo boxes ----
    void ResetCombo(int id);
    int AddComboString(int id, std::string_view text);
    int AddComboStringId(int id, uint32_t stringId);
    void SetComboItemData(int id, int row, intptr_t data);
    intptr_t GetComboItemData(int id, int row) const;
    void SetComboCurSel(int id, int row);
    int GetComboCurSel(int id) const;
    int GetComboCount(int id) const;
    // Selects the first row that begins with text (ignoring case), searching from the top;
    // returns it, or -1 with the selection unchanged.
    int SelectComboString(int id, std::string_view text);

    // ---- List boxes ----
    int AddListString(int id, std::string_view text);
    void SetListItemData(int id, int row, intptr_t data);
    intptr_t GetListItemData(int id, int row) const;
    int GetListCurSel(int id) const;

    // ---- List views (report style) ----
    int InsertListColumn(int id, int column, std::string_view heading, int format, int width, int subItem);
    int InsertListColumnId(int id, int column, uint32_t stringId, int format, int width, int subItem);
    int InsertListItem(int id, unsigned mask, int row, std::string_view text, unsigned state, unsigned stateMask,
                       int image, intptr_t itemData);
    void SetListItemText(int id, int row, int subItem, std::string_view text);
    void SetListExtendedStyle(int id, unsigned style);
    // width is taken from its low 16 bits, signed (-1 and -2 size to the contents).
    void SetListColumnWidth(int id, int column, int width);
    void SetListCheck(int id, int row, bool on);
    // 1 checked, 0 unchecked, -1 when the row has no check box (or does not exist).
    int GetListCheck(int id, int row) const;
    intptr_t GetListViewItemData(int id, int row) const;
    int GetListViewItemCount(int id) const;
    int GetListStringWidth(int id, std::string_view text) const;
    int GetListStringWidthId(int id, uint32_t stringId) const;

    // ---- Date-time pickers ----
    // format in the picker's notation (d, M, y, h, H, m, s, tt and quoted literals).
    void SetDateTimeFormat(int id, std::string_view format);
    void SetDateTimeRange(int id, const wv::OleDateTime& min, const wv::OleDateTime& max);
    void SetDateTime(int id, const wv::OleDateTime& value);
    // False when there is no picker or its value cannot be represented.
    bool GetDateTime(int id, wv::OleDateTime& value) const;

    // ---- Progress bars and pictures ----
    void SetProgress(int id, int position);
    // Loads bitmap resource bitmapId into bitmap (which keeps it) and shows it in the static
    // item; nothing when the item does not exist.
    void SetItemBitmap(QPixmap& bitmap, int id, int bitmapId);

    // Paints text in a bold sans-serif font of the given point size, transparent, centred on
    // one line in rect. For paint handlers.
    void PaintBigText(QPainter& painter, int points, const QColor& colour, std::string_view text, const QRect& rect);

protected:
    CWVPropertyPage(int templateId, QWidget* parent = nullptr);

    // Runs write with the updating flag set.
    template <typename F>
    void Updating(F&& write)
    {
        const uint8_t old = updating_;
        updating_ = 1;
        write();
        updating_ = old;
    }

private:
    uint8_t updating_ = 0;
    int scanCount_ = -1;
};
