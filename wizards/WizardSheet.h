#pragma once
// The navigation model that both wizard sheets share: up to 15 pages shown one at a time
// in a modal dialog, Back / Next / Finish / Cancel, the button codes, navigation codes,
// Enter, titles, the busy state with its cursors, and the focus move after a page switch.
// CWxPropertySheet and CWVPropertySheet are thin classes on top of it.

#include <QCursor>
#include <QDialog>
#include <QPointer>
#include <QRect>
#include <QString>

#include <array>
#include <optional>
#include <utility>
#include <vector>

class QPushButton;
class CWizardPage;

// Modal results and the ids of the sheet's own buttons (their object names).
constexpr int kIdCancel = 2;
constexpr int kIdWizBack = 12323;
constexpr int kIdWizNext = 12324;
constexpr int kIdWizFinish = 12325;
// The hidden static item of a page that carries its title.
constexpr int kIdPageTitle = 1433;

constexpr int kMaxWizardPages = 15;

// The result of a page's OnWizardNext / OnWizardBack: -1 stay on this page, 0 the
// neighbouring page in AddPage order, any other value the template id of the page to go to.
using PageNavCode = int;
constexpr PageNavCode kNavStay = -1;
constexpr PageNavCode kNavNeighbour = 0;

// The argument of SetWizardButtons: bits 1 Back, 2 Next, 4 Finish, 8 Finish shown disabled.
using WizardButtonCode = int;
constexpr WizardButtonCode kWizBack = 1;
constexpr WizardButtonCode kWizNext = 2;
constexpr WizardButtonCode kWizFinish = 4;
constexpr WizardButtonCode kWizDisabledFinish = 8;

// Navigation direction of GetTargetPage.
constexpr int kDirectionBack = 0;
constexpr int kDirectionNext = 1;

// What a button code asks for: Back enabled or not, and which button takes the shared
// Next/Finish place (Next mode 1 Next, 0 Finish) and whether it is enabled.
struct WizardButtonState {
    bool backEnabled = false;
    int nextMode = 1;
    bool placeEnabled = false;
};

// The effect of code given the current Next mode; none for the codes that change nothing
// (7 and anything outside 0..10).
std::optional<WizardButtonState> ResolveWizardButtons(WizardButtonCode code, int currentNextMode);

// The index that a navigation code leads to from current among pageIds (the pages' template
// ids in AddPage order), for direction 0 (Back) or 1 (Next).
int ResolveTargetPage(int current, const std::vector<int>& pageIds, int direction, PageNavCode code);

// Dialog units of a widget's font turned into pixels, as dialog templates are laid out:
// a horizontal unit is a quarter of the average character width, a vertical one an eighth
// of the character height.
QRect DialogUnitsToPixels(const QWidget* widget, int x, int y, int cx, int cy);

class CWizardSheet : public QDialog {
    Q_OBJECT

public:
    ~CWizardSheet() override;

    // Appends a page while fewer than 15 are held; returns the new count (0 for a null page,
    // 15 when the page is dropped because the sheet is full).
    int AddPage(CWizardPage* page);

    // Opens the sheet, runs it modally and returns the modal result: 12325 after Finish,
    // 2 after Cancel, Esc or the close box, and 2 at once when the sheet has no page.
    int DoModal();

    void SetWizardButtons(WizardButtonCode code);
    // Shows Next and hides Finish (mode 1) or the reverse (mode 0), enables or disables the
    // shown one, and records the mode.
    void ShowNextOrFinish(int nextMode, bool enable);
    // Style 0 sets the caption to text, style 1 to "Properties for " followed by text; any
    // other style changes nothing.
    void SetTitle(const QString& text, int style);
    // The index that a navigation code leads to from the current page.
    int GetTargetPage(int direction, PageNavCode code) const;
    // Shows the page at index, hides the current one, copies the new page's title into the
    // caption, posts the focus move and activates the page.
    void SetActivePage(int index);

    // The busy flag with its cursor; SetSheetEnabled disables or enables the whole window.
    void SetBusy(bool busy);
    void SetSheetEnabled(bool enabled);

    int GetPageCount() const { return pageCount_; }
    CWizardPage* GetPage(int index) const;
    int GetCurrentIndex() const { return current_; }
    int GetPreviousIndex() const { return previous_; }
    int GetTargetIndex() const { return target_; }
    int GetNextMode() const { return nextMode_; }
    bool IsBusy() const { return busy_ != 0; }
    int GetTemplateId() const { return templateId_; }

    QPushButton* BackButton() const { return back_; }
    QPushButton* NextButton() const { return next_; }
    QPushButton* FinishButton() const { return finish_; }
    QPushButton* CancelButton() const { return cancel_; }

    // Button handlers; Enter follows Next when it is enabled, else Finish when that is.
    void OnBack();
    void OnNext();
    void OnFinish();
    void OnOK();
    // The cancel path of Cancel, Esc and the close box; ends with 2.
    virtual void OnCancel();
    // Focus to the first tab stop of the page just shown (posted after every switch).
    int OnAfterPageChange();

protected:
    // templateId 267 for most sheets, 382 for the low-flow sheet ("&Finish" there).
    CWizardSheet(QWidget* parent, int startIndex, int templateId);

    // Opening: creates every page hidden, fixes the start index and shows it. False when
    // there is no page (the sheet then ends with 2).
    virtual bool OnInitDialog();
    // Runs when the modal loop has ended and the window goes.
    virtual void OnDestroyWindow() {}
    void UpdateTitle();

    void reject() override;
    void accept() override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void OnSetCursor();

    std::array<CWizardPage*, kMaxWizardPages> pages_{};
    int pageCount_ = 0;
    int current_ = 0;
    int previous_ = 0;
    int target_ = 0;
    int nextMode_ = 1;
    int busy_ = 0;
    QCursor waitCursor_{Qt::WaitCursor};
    QCursor arrowCursor_{Qt::ArrowCursor};
    int templateId_;
    bool pagesCreated_ = false;
    // Children with a cursor of their own, given the wait cursor while busy.
    std::vector<std::pair<QPointer<QWidget>, QCursor>> overriddenCursors_;

    QPushButton* back_;
    QPushButton* next_;
    QPushButton* finish_;
    QPushButton* cancel_;
};
