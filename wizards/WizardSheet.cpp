#include "wizards/WizardSheet.h"

#include "wizards/WizardPage.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>

namespace {

// The sheet template: 314 x 244 dialog units, the separator line, and the buttons with
// Next and Finish in the same place so that only one shows at a time.
constexpr int kSheetWidth = 314;
constexpr int kSheetHeight = 244;
// Pages sit at the top left of the client area, above the separator line.
constexpr int kPageX = 7;
constexpr int kPageY = 7;

QPushButton* MakeButton(QWidget* sheet, int id, const QString& text, int x)
{
    auto* button = new QPushButton(text, sheet);
    button->setObjectName(QString::number(id));
    button->setGeometry(DialogUnitsToPixels(sheet, x, 224, 50, 14));
    // Enter is the sheet's (Next or Finish), never a focused button's.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

// A radio button of an exclusive group that is not the checked one: tabbing into a group
// lands on its checked button.
bool IsUncheckedGroupMember(QWidget* widget)
{
    auto* radio = qobject_cast<QRadioButton*>(widget);
    if (radio == nullptr || radio->isChecked()) {
        return false;
    }
    if (QButtonGroup* group = radio->group(); group != nullptr) {
        return group->checkedButton() != nullptr;
    }
    return false;
}

} // namespace

std::optional<WizardButtonState> ResolveWizardButtons(WizardButtonCode code, int currentNextMode)
{
    if (code < 0 || code > 10 || code == 7) {
        return std::nullopt;
    }
    WizardButtonState state;
    state.backEnabled = (code & kWizBack) != 0;
    switch (code) {
    case 0:
    case 1:
        state.nextMode = currentNextMode;
        state.placeEnabled = false;
        break;
    case 2:
    case 3:
        state.nextMode = 1;
        state.placeEnabled = true;
        break;
    case 4:
    case 5:
    case 6:
        state.nextMode = 0;
        state.placeEnabled = true;
        break;
    default: // 8, 9, 10
        state.nextMode = 0;
        state.placeEnabled = false;
        break;
    }
    return state;
}

int ResolveTargetPage(int current, const std::vector<int>& pageIds, int direction, PageNavCode code)
{
    const int count = static_cast<int>(pageIds.size());
    if (code == kNavStay) {
        return current;
    }
    if (code == kNavNeighbour) {
        if (direction == kDirectionNext) {
            return current + 1 < count ? current + 1 : current;
        }
        if (direction == kDirectionBack) {
            return current > 0 ? current - 1 : 0;
        }
        return current;
    }
    for (int i = 0; i < count; ++i) {
        if (pageIds[static_cast<size_t>(i)] == code) {
            return i;
        }
    }
    return current;
}

QRect DialogUnitsToPixels(const QWidget* widget, int x, int y, int cx, int cy)
{
    const QFontMetrics metrics(widget->font());
    // The average width of the 52 letters, rounded as the dialog manager rounds it.
    const int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const int baseX = (letters / 26 + 1) / 2;
    const int baseY = metrics.height();
    auto px = [&](int units) { return units * baseX / 4; };
    auto py = [&](int units) { return units * baseY / 8; };
    return QRect(px(x), py(y), px(cx), py(cy));
}

CWizardSheet::CWizardSheet(QWidget* parent, int startIndex, int templateId)
    : QDialog(parent), templateId_(templateId)
{
    // The start index is compared unsigned: a negative one is as out of range as 15.
    current_ = static_cast<unsigned>(startIndex) < static_cast<unsigned>(kMaxWizardPages) ? startIndex : 0;
    setObjectName(QString::number(templateId));
    setFixedSize(DialogUnitsToPixels(this, 0, 0, kSheetWidth, kSheetHeight).size());

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(DialogUnitsToPixels(this, 7, 216, 301, 1).adjusted(0, 0, 0, 1));

    back_ = MakeButton(this, kIdWizBack, QStringLiteral("< &Back"), 151);
    next_ = MakeButton(this, kIdWizNext, QStringLiteral("&Next >"), 201);
    finish_ = MakeButton(this, kIdWizFinish, templateId == 382 ? QStringLiteral("&Finish") : QStringLiteral("Finish"), 201);
    cancel_ = MakeButton(this, kIdCancel, QStringLiteral("Cancel"), 257);
    connect(back_, &QPushButton::clicked, this, &CWizardSheet::OnBack);
    connect(next_, &QPushButton::clicked, this, &CWizardSheet::OnNext);
    connect(finish_, &QPushButton::clicked, this, &CWizardSheet::OnFinish);
    connect(cancel_, &QPushButton::clicked, this, &CWizardSheet::OnCancel);
    // The template shows Next and Finish in the same place; Next mode starts at 1.
    finish_->hide();
    OnSetCursor();
}

CWizardSheet::~CWizardSheet() = default;

int CWizardSheet::AddPage(CWizardPage* page)
{
    if (page == nullptr) {
        return 0;
    }
    if (pageCount_ < kMaxWizardPages) {
        pages_[static_cast<size_t>(pageCount_++)] = page;
    }
    return pageCount_;
}

CWizardPage* CWizardSheet::GetPage(int index) const
{
    return index >= 0 && index < pageCount_ ? pages_[static_cast<size_t>(index)] : nullptr;
}

int CWizardSheet::DoModal()
{
    if (!OnInitDialog()) {
        setResult(kIdCancel);
        return kIdCancel;
    }
    const int result = exec();
    OnDestroyWindow();
    return result;
}

bool CWizardSheet::OnInitDialog()
{
    if (pageCount_ == 0) {
        return false;
    }
    if (!pagesCreated_) {
        pagesCreated_ = true;
        const QRect area = DialogUnitsToPixels(this, kPageX, kPageY, 300, 200);
        for (int i = 0; i < pageCount_; ++i) {
            CWizardPage* page = pages_[static_cast<size_t>(i)];
            page->hide();
            page->setParent(this);
            page->setObjectName(QString::number(page->GetPageId() & 0xFFFF));
            page->move(area.topLeft());
            page->OnInitDialog();
        }
    }
    if (current_ >= pageCount_) {
        current_ = 0;
    }
    // The start page is shown without hiding a page first.
    CWizardPage* start = pages_[static_cast<size_t>(current_)];
    for (int i = 0; i < pageCount_; ++i) {
        pages_[static_cast<size_t>(i)]->setVisible(i == current_);
    }
    previous_ = current_;
    UpdateTitle();
    QMetaObject::invokeMethod(this, [this] { OnAfterPageChange(); }, Qt::QueuedConnection);
    start->OnSetActive();
    return true;
}

void CWizardSheet::SetActivePage(int index)
{
    if (index < 0 || index >= pageCount_) {
        return;
    }
    pages_[static_cast<size_t>(current_)]->hide();
    pages_[static_cast<size_t>(index)]->show();
    previous_ = current_;
    current_ = index;
    UpdateTitle();
    QMetaObject::invokeMethod(this, [this] { OnAfterPageChange(); }, Qt::QueuedConnection);
    pages_[static_cast<size_t>(index)]->OnSetActive();
}

void CWizardSheet::UpdateTitle()
{
    CWizardPage* page = GetPage(current_);
    if (page == nullptr) {
        return;
    }
    if (auto* title = page->ItemAs<QLabel>(kIdPageTitle); title != nullptr) {
        setWindowTitle(title->text());
    }
}

int CWizardSheet::GetTargetPage(int direction, PageNavCode code) const
{
    std::vector<int> ids;
    ids.reserve(static_cast<size_t>(pageCount_));
    for (int i = 0; i < pageCount_; ++i) {
        ids.push_back(pages_[static_cast<size_t>(i)]->GetPageId());
    }
    return ResolveTargetPage(current_, ids, direction, code);
}

void CWizardSheet::OnBack()
{
    CWizardPage* page = GetPage(current_);
    if (page == nullptr) {
        return;
    }
    target_ = GetTargetPage(kDirectionBack, page->OnWizardBack());
    SetActivePage(target_);
}

void CWizardSheet::OnNext()
{
    CWizardPage* page = GetPage(current_);
    if (page == nullptr) {
        return;
    }
    target_ = GetTargetPage(kDirectionNext, page->OnWizardNext());
    SetActivePage(target_);
}

void CWizardSheet::OnFinish()
{
    CWizardPage* page = GetPage(current_);
    if (page != nullptr && page->OnWizardFinish() != 0) {
        done(kIdWizFinish);
    }
}

void CWizardSheet::OnOK()
{
    if (next_->isEnabled()) {
        OnNext();
    } else if (finish_->isEnabled()) {
        OnFinish();
    }
}

void CWizardSheet::OnCancel() { done(kIdCancel); }

void CWizardSheet::reject() { OnCancel(); }

void CWizardSheet::accept() { OnOK(); }

void CWizardSheet::keyPressEvent(QKeyEvent* event)
{
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            OnOK();
            return;
        }
        if (event->key() == Qt::Key_Escape) {
            OnCancel();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

void CWizardSheet::closeEvent(QCloseEvent* event)
{
    // A busy sheet is disabled: no button, key or close reaches it.
    event->ignore();
    if (isEnabled()) {
        OnCancel();
    }
}

int CWizardSheet::OnAfterPageChange()
{
    cancel_->setFocus(Qt::OtherFocusReason);
    // The pages follow the sheet's buttons in the tab order: the tab stop after Cancel is
    // the first of the page shown, or, when it has none, the sheet's first button again.
    for (QWidget* w = cancel_->nextInFocusChain(); w != nullptr && w != cancel_; w = w->nextInFocusChain()) {
        if (w->window() != this || !w->isVisibleTo(this) || !w->isEnabled() ||
            (w->focusPolicy() & Qt::TabFocus) == 0 || IsUncheckedGroupMember(w)) {
            continue;
        }
        w->setFocus(Qt::TabFocusReason);
        break;
    }
    return 0;
}

void CWizardSheet::SetWizardButtons(WizardButtonCode code)
{
    const std::optional<WizardButtonState> state = ResolveWizardButtons(code, nextMode_);
    if (!state) {
        return;
    }
    back_->setEnabled(state->backEnabled);
    ShowNextOrFinish(state->nextMode, state->placeEnabled);
}

void CWizardSheet::ShowNextOrFinish(int nextMode, bool enable)
{
    QPushButton* shown = nextMode != 0 ? next_ : finish_;
    QPushButton* hidden = nextMode != 0 ? finish_ : next_;
    hidden->hide();
    hidden->setEnabled(false);
    shown->show();
    shown->setEnabled(enable);
    nextMode_ = nextMode != 0 ? 1 : 0;
}

void CWizardSheet::SetTitle(const QString& text, int style)
{
    if (style == 0) {
        setWindowTitle(text);
    } else if (style == 1) {
        setWindowTitle(QStringLiteral("Properties for ") + text);
    }
}

void CWizardSheet::SetBusy(bool busy)
{
    busy_ = busy ? 1 : 0;
    OnSetCursor();
}

void CWizardSheet::SetSheetEnabled(bool enabled) { setEnabled(enabled); }

void CWizardSheet::OnSetCursor()
{
    // Every cursor request inside the sheet shows the sheet's cursor: the wait cursor while
    // busy, even over controls with a cursor of their own (an edit's I-beam), the arrow
    // otherwise.
    if (busy_ != 0) {
        setCursor(waitCursor_);
        if (overriddenCursors_.empty()) {
            for (QWidget* child : findChildren<QWidget*>()) {
                if (child->testAttribute(Qt::WA_SetCursor)) {
                    overriddenCursors_.emplace_back(child, child->cursor());
                    child->setCursor(waitCursor_);
                }
            }
        }
    } else {
        setCursor(arrowCursor_);
        for (auto& [child, cursor] : overriddenCursors_) {
            if (child) {
                child->setCursor(cursor);
            }
        }
        overriddenCursors_.clear();
    }
}
