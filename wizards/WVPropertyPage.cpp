#include "wizards/WVPropertyPage.h"

#include "foundation/NumberText.h"
#include "resources/StringTable.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QTreeWidget>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

void SetWidgetText(QWidget* item, const QString& text)
{
    if (auto* edit = qobject_cast<QLineEdit*>(item)) {
        // A program-set text longer than the typing limit is kept whole.
        if (edit->maxLength() < text.size()) {
            edit->setMaxLength(static_cast<int>(text.size()));
        }
        edit->setText(text);
    } else if (auto* label = qobject_cast<QLabel*>(item)) {
        label->setText(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(item)) {
        button->setText(text);
    } else if (auto* combo = qobject_cast<QComboBox*>(item)) {
        if (combo->isEditable()) {
            combo->setEditText(text);
        } else {
            combo->setCurrentIndex(combo->findText(text, Qt::MatchFixedString));
        }
    } else if (auto* group = qobject_cast<QGroupBox*>(item)) {
        group->setTitle(text);
    } else if (item != nullptr) {
        item->setWindowTitle(text);
    }
}

QString WidgetText(const QWidget* item)
{
    if (auto* edit = qobject_cast<const QLineEdit*>(item)) {
        return edit->text();
    }
    if (auto* label = qobject_cast<const QLabel*>(item)) {
        return label->text();
    }
    if (auto* button = qobject_cast<const QAbstractButton*>(item)) {
        return button->text();
    }
    if (auto* combo = qobject_cast<const QComboBox*>(item)) {
        return combo->currentText();
    }
    if (auto* group = qobject_cast<const QGroupBox*>(item)) {
        return group->title();
    }
    return item != nullptr ? item->windowTitle() : QString();
}

// A whole text read as a signed integer, as a dialog item's number is read: blanks
// around it, an optional sign, digits, within the int range. Nothing else is a number.
bool ParseItemInt(const QString& text, int& value)
{
    const std::string s = text.trimmed().toStdString();
    if (s.empty()) {
        return false;
    }
    size_t i = (s[0] == '-' || s[0] == '+') ? 1 : 0;
    if (i == s.size()) {
        return false;
    }
    long long n = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') {
            return false;
        }
        n = n * 10 + (s[i] - '0');
        if (n > static_cast<long long>(INT_MAX) + 1) {
            return false;
        }
    }
    n = s[0] == '-' ? -n : n;
    if (n < INT_MIN || n > INT_MAX) {
        return false;
    }
    value = static_cast<int>(n);
    return true;
}

void SelectAll(QWidget* item)
{
    if (auto* edit = qobject_cast<QLineEdit*>(item)) {
        edit->selectAll();
    }
}

int StateImageOf(const QTreeWidgetItem* row)
{
    const QVariant state = row->data(0, Qt::CheckStateRole);
    if (!state.isValid()) {
        return 0;
    }
    return state.toInt() == Qt::Checked ? 2 : 1;
}

void SetStateImage(QTreeWidgetItem* row, int image)
{
    if (image == 2) {
        row->setCheckState(0, Qt::Checked);
    } else if (image == 1) {
        row->setCheckState(0, Qt::Unchecked);
    } else {
        row->setData(0, Qt::CheckStateRole, QVariant());
    }
}

constexpr int kImageRole = Qt::UserRole + 1;

// A picker format turned into Qt's notation: "tt" (and "t") become the AM/PM marker.
QString PickerFormat(std::string_view format)
{
    QString out;
    bool quoted = false;
    for (size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c == '\'') {
            quoted = !quoted;
            out += QLatin1Char(c);
        } else if (!quoted && c == 't') {
            const bool twice = i + 1 < format.size() && format[i + 1] == 't';
            out += twice ? QStringLiteral("AP") : QStringLiteral("A");
            i += twice ? 1 : 0;
        } else {
            out += QLatin1Char(c);
        }
    }
    return out;
}

QDateTime ToQDateTime(const wv::OleDateTime& value)
{
    if (!value.IsValid()) {
        return {};
    }
    return QDateTime(QDate(value.GetYear(), value.GetMonth(), value.GetDay()),
                     QTime(value.GetHour(), value.GetMinute(), value.GetSecond()));
}

} // namespace

bool IsSignOnlyText(std::string_view text)
{
    return text == "-" || text == "+" || text == "." || text == "-." || text == "+.";
}

CWVPropertyPage::CWVPropertyPage(int templateId, QWidget* parent) : CWizardPage(templateId, parent) {}

CWVPropertyPage::~CWVPropertyPage() = default;

void CWVPropertyPage::BeginWaitCursor()
{
    if (GetSheet() != nullptr) {
        GetSheet()->SetBusy(true);
    }
}

void CWVPropertyPage::EndWaitCursor()
{
    if (GetSheet() != nullptr) {
        GetSheet()->SetBusy(false);
    }
}

void CWVPropertyPage::DisableSheet()
{
    if (GetSheet() != nullptr) {
        GetSheet()->SetSheetEnabled(false);
    }
}

void CWVPropertyPage::EnableSheet()
{
    if (GetSheet() != nullptr) {
        GetSheet()->SetSheetEnabled(true);
    }
}

void CWVPropertyPage::SetSheetTitleId(uint32_t stringId)
{
    if (GetSheet() != nullptr) {
        GetSheet()->SetTitle(Q(GetResString(stringId)), 0);
    }
}

// ---- Any item --------------------------------------------------------------------------

void CWVPropertyPage::HideItem(int id)
{
    if (QWidget* item = Item(id)) {
        item->hide();
    }
}

void CWVPropertyPage::ShowItem(int id)
{
    if (QWidget* item = Item(id)) {
        item->show();
    }
}

void CWVPropertyPage::DisableItem(int id)
{
    if (QWidget* item = Item(id)) {
        item->setEnabled(false);
    }
}

void CWVPropertyPage::EnableItem(int id)
{
    if (QWidget* item = Item(id)) {
        item->setEnabled(true);
    }
}

void CWVPropertyPage::SetItemTextFormatted(int id, std::string_view format, double value)
{
    SetWidgetText(Item(id), Q(FormatDoubleC(value, format)));
}

void CWVPropertyPage::SetItemTextId(int id, uint32_t stringId) { SetWidgetText(Item(id), Q(GetResString(stringId))); }

std::string CWVPropertyPage::GetItemTextString(int id) const { return WidgetText(Item(id)).toStdString(); }

int CWVPropertyPage::GetItemInt(int id) const
{
    int value = 0;
    return ParseItemInt(WidgetText(Item(id)), value) ? value : 0;
}

QRect CWVPropertyPage::GetItemRect(int id) const
{
    QWidget* item = Item(id);
    if (item == nullptr) {
        return {};
    }
    return QRect(item->mapTo(this, QPoint(0, 0)), item->size());
}

// ---- Edits -----------------------------------------------------------------------------

void CWVPropertyPage::LimitItemText(int id, int n)
{
    if (auto* edit = ItemAs<QLineEdit>(id)) {
        edit->setMaxLength(n > 0 ? n : 32767);
    }
}

void CWVPropertyPage::SetItemTextLimited(int id, int n, std::string_view text)
{
    LimitItemText(id, n);
    if (auto* edit = ItemAs<QLineEdit>(id)) {
        SetWidgetText(edit, Q(text));
    }
}

void CWVPropertyPage::SetItemIntLimited(int id, int n, int value)
{
    SetItemTextLimited(id, n, std::to_string(value));
}

void CWVPropertyPage::SetItemTextFormat(int id, int n, std::string_view format, double value)
{
    SetItemTextLimited(id, n, FormatDoubleC(value, format));
}

void CWVPropertyPage::SetItemIntIfChanged(int id, int value, int focusId)
{
    auto* edit = ItemAs<QLineEdit>(id);
    if (edit == nullptr) {
        return;
    }
    int shown = 0;
    if (ParseItemInt(edit->text(), shown) && shown == value) {
        return;
    }
    Updating([&] {
        SetWidgetText(edit, QString::number(value));
        if (id == focusId) {
            SelectAll(edit);
        }
    });
}

void CWVPropertyPage::UpdateNumericItem(int id, double value, std::string_view format, int focusId)
{
    auto* edit = ItemAs<QLineEdit>(id);
    if (edit == nullptr) {
        return;
    }
    const std::string text = edit->text().toStdString();
    if (IsSignOnlyText(text)) {
        return;
    }
    double scanned = 0.0;
    const int fields = ScanItem(text, scanned);
    const std::string formatted = FormatDoubleC(value, format);
    if (fields == 1 && FormatDoubleC(scanned, format) == formatted) {
        return;
    }
    Updating([&] {
        SetWidgetText(edit, Q(formatted));
        if (id == focusId) {
            SelectAll(edit);
        }
    });
}

// ---- Reading numbers ---------------------------------------------------------------------

int CWVPropertyPage::ScanItem(std::string_view text, double& value)
{
    size_t start = 0;
    while (start < text.size() && (text[start] == ' ' || (text[start] >= '\t' && text[start] <= '\r'))) {
        ++start;
    }
    if (start == text.size()) {
        scanCount_ = -1; // input ended before the conversion
        return scanCount_;
    }
    size_t consumed = 0;
    const double number = ParseDoubleC(text.substr(start), &consumed);
    if (consumed == 0) {
        scanCount_ = 0;
        return scanCount_;
    }
    value = number;
    scanCount_ = 1;
    return scanCount_;
}

int CWVPropertyPage::ScanDouble(std::string_view text, double& value)
{
    double scanned = 0.0;
    const int fields = ScanItem(text, scanned);
    if (fields != -1 && fields != 0) {
        value = scanned;
    }
    return fields;
}

int CWVPropertyPage::ScanFloat(std::string_view text, float& value) const
{
    size_t start = 0;
    while (start < text.size() && (text[start] == ' ' || (text[start] >= '\t' && text[start] <= '\r'))) {
        ++start;
    }
    if (start == text.size()) {
        return -1;
    }
    size_t consumed = 0;
    const double number = ParseDoubleC(text.substr(start), &consumed);
    if (consumed == 0) {
        return 0;
    }
    value = static_cast<float>(number);
    return 1;
}

// ---- Combo boxes -------------------------------------------------------------------------

void CWVPropertyPage::ResetCombo(int id)
{
    if (auto* combo = ItemAs<QComboBox>(id)) {
        combo->clear();
    }
}

int CWVPropertyPage::AddComboString(int id, std::string_view text)
{
    auto* combo = ItemAs<QComboBox>(id);
    if (combo == nullptr) {
        return -1;
    }
    // Appending must not select: a list box selects nothing until told to.
    const int selected = combo->currentIndex();
    combo->addItem(Q(text));
    if (selected == -1 && combo->currentIndex() != -1) {
        combo->setCurrentIndex(-1);
    }
    return combo->count() - 1;
}

int CWVPropertyPage::AddComboStringId(int id, uint32_t stringId) { return AddComboString(id, GetResString(stringId)); }

void CWVPropertyPage::SetComboItemData(int id, int row, intptr_t data)
{
    auto* combo = ItemAs<QComboBox>(id);
    if (combo != nullptr && row >= 0 && row < combo->count()) {
        combo->setItemData(row, QVariant::fromValue<qlonglong>(data));
    }
}

intptr_t CWVPropertyPage::GetComboItemData(int id, int row) const
{
    auto* combo = ItemAs<QComboBox>(id);
    if (combo == nullptr || row < 0 || row >= combo->count()) {
        return -1;
    }
    return static_cast<intptr_t>(combo->itemData(row).toLongLong());
}

void CWVPropertyPage::SetComboCurSel(int id, int row)
{
    if (auto* combo = ItemAs<QComboBox>(id)) {
        combo->setCurrentIndex(row >= 0 && row < combo->count() ? row : -1);
    }
}

int CWVPropertyPage::GetComboCurSel(int id) const
{
    auto* combo = ItemAs<QComboBox>(id);
    return combo != nullptr ? combo->currentIndex() : -1;
}

int CWVPropertyPage::GetComboCount(int id) const
{
    auto* combo = ItemAs<QComboBox>(id);
    return combo != nullptr ? combo->count() : -1;
}

int CWVPropertyPage::SelectComboString(int id, std::string_view text)
{
    auto* combo = ItemAs<QComboBox>(id);
    if (combo == nullptr) {
        return -1;
    }
    const QString prefix = Q(text);
    for (int row = 0; row < combo->count(); ++row) {
        if (combo->itemText(row).startsWith(prefix, Qt::CaseInsensitive)) {
            combo->setCurrentIndex(row);
            return row;
        }
    }
    return -1;
}

// ---- List boxes ------------------------------------------------------------------------

int CWVPropertyPage::AddListString(int id, std::string_view text)
{
    auto* list = ItemAs<QListWidget>(id);
    if (list == nullptr) {
        return -1;
    }
    list->addItem(Q(text));
    return list->count() - 1;
}

void CWVPropertyPage::SetListItemData(int id, int row, intptr_t data)
{
    auto* list = ItemAs<QListWidget>(id);
    if (list != nullptr && row >= 0 && row < list->count()) {
        list->item(row)->setData(Qt::UserRole, QVariant::fromValue<qlonglong>(data));
    }
}

intptr_t CWVPropertyPage::GetListItemData(int id, int row) const
{
    auto* list = ItemAs<QListWidget>(id);
    if (list == nullptr || row < 0 || row >= list->count()) {
        return -1;
    }
    return static_cast<intptr_t>(list->item(row)->data(Qt::UserRole).toLongLong());
}

int CWVPropertyPage::GetListCurSel(int id) const
{
    auto* list = ItemAs<QListWidget>(id);
    return list != nullptr ? list->currentRow() : -1;
}

// ---- List views ------------------------------------------------------------------------

int CWVPropertyPage::InsertListColumn(int id, int column, std::string_view heading, int format, int width, int)
{
    auto* view = ItemAs<QTreeWidget>(id);
    if (view == nullptr || column < 0) {
        return -1;
    }
    QTreeWidgetItem* header = view->headerItem();
    // A new view shows one unnamed column; the inserted columns are counted apart.
    const int old = view->property("wvColumnCount").toInt();
    view->setProperty("wvColumnCount", old + 1);
    const int at = column < old ? column : old;
    view->setColumnCount(old + 1);
    // Cells right of the new column move one place right.
    for (int c = old; c > at; --c) {
        header->setText(c, header->text(c - 1));
        header->setTextAlignment(c, Qt::Alignment(header->textAlignment(c - 1)));
        view->setColumnWidth(c, view->columnWidth(c - 1));
        for (int r = 0; r < view->topLevelItemCount(); ++r) {
            QTreeWidgetItem* row = view->topLevelItem(r);
            row->setText(c, row->text(c - 1));
        }
    }
    for (int r = 0; r < view->topLevelItemCount(); ++r) {
        view->topLevelItem(r)->setText(at, QString());
    }
    const Qt::Alignment align = format == kListColumnRight    ? Qt::AlignRight
                                : format == kListColumnCenter ? Qt::AlignHCenter
                                                              : Qt::AlignLeft;
    header->setText(at, Q(heading));
    header->setTextAlignment(at, align | Qt::AlignVCenter);
    view->setColumnWidth(at, width);
    view->setRootIsDecorated(false);
    return at;
}

int CWVPropertyPage::InsertListColumnId(int id, int column, uint32_t stringId, int format, int width, int subItem)
{
    return InsertListColumn(id, column, GetResString(stringId), format, width, subItem);
}

int CWVPropertyPage::InsertListItem(int id, unsigned mask, int row, std::string_view text, unsigned state,
                                    unsigned stateMask, int image, intptr_t itemData)
{
    auto* view = ItemAs<QTreeWidget>(id);
    if (view == nullptr) {
        return -1;
    }
    const int at = row < 0 ? 0 : (row > view->topLevelItemCount() ? view->topLevelItemCount() : row);
    auto* item = new QTreeWidgetItem();
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    view->insertTopLevelItem(at, item);
    if ((view->property("wvExtendedStyle").toUInt() & kListStyleCheckBoxes) != 0) {
        SetStateImage(item, 1);
    }
    if ((mask & kListItemText) != 0) {
        item->setText(0, Q(text));
    }
    if ((mask & kListItemParam) != 0) {
        item->setData(0, Qt::UserRole, QVariant::fromValue<qlonglong>(itemData));
    }
    if ((mask & kListItemImage) != 0) {
        item->setData(0, kImageRole, image);
    }
    if ((mask & kListItemState) != 0) {
        if ((stateMask & kListStateImageMask) != 0) {
            SetStateImage(item, static_cast<int>((state & kListStateImageMask) >> 12));
        }
        if ((stateMask & kListStateSelected) != 0) {
            item->setSelected((state & kListStateSelected) != 0);
        }
    }
    return at;
}

void CWVPropertyPage::SetListItemText(int id, int row, int subItem, std::string_view text)
{
    auto* view = ItemAs<QTreeWidget>(id);
    if (view == nullptr || row < 0 || row >= view->topLevelItemCount() || subItem < 0 ||
        subItem >= view->columnCount()) {
        return;
    }
    view->topLevelItem(row)->setText(subItem, Q(text));
}

void CWVPropertyPage::SetListExtendedStyle(int id, unsigned style)
{
    auto* view = ItemAs<QTreeWidget>(id);
    if (view == nullptr) {
        return;
    }
    view->setProperty("wvExtendedStyle", style);
    view->setAllColumnsShowFocus((style & kListStyleFullRowSelect) != 0);
    view->setStyleSheet((style & kListStyleGridLines) != 0 ? QStringLiteral("QTreeView::item { border: 1px solid #d0d0d0; }")
                                                           : QString());
    if ((style & kListStyleCheckBoxes) != 0) {
        for (int r = 0; r < view->topLevelItemCount(); ++r) {
            if (StateImageOf(view->topLevelItem(r)) == 0) {
                SetStateImage(view->topLevelItem(r), 1);
            }
        }
    }
}

void CWVPropertyPage::SetListColumnWidth(int id, int column, int width)
{
    auto* view = ItemAs<QTreeWidget>(id);
    if (view == nullptr || column < 0 || column >= view->columnCount()) {
        return;
    }
    const auto cx = static_cast<int16_t>(static_cast<uint16_t>(width & 0xFFFF));
    if (cx == kListWidthAutoSize || cx == kListWidthAutoSizeHeader) {
        view->resizeColumnToContents(column);
        if (cx == kListWidthAutoSizeHeader) {
            const int heading = view->fontMetrics().horizontalAdvance(view->headerItem()->text(column)) + 12;
            view->setColumnWidth(column, std::max(view->columnWidth(column), heading));
        }
        return;
    }
    view->setColumnWidth(column, cx);
}

void CWVPropertyPage::SetListCheck(int id, int row, bool on)
{
    auto* view = ItemAs<QTreeWidget>(id);
    if (view != nullptr && row >= 0 && row < view->topLevelItemCount()) {
        SetStateImage(view->topLevelItem(row), on ? 2 : 1);
    }
}

int CWVPropertyPage::GetListCheck(int id, int row) const
{
    auto* view = ItemAs<QTreeWidget>(id);
    if (view == nullptr || row < 0 || row >= view->topLevelItemCount()) {
        return -1;
    }
    return StateImageOf(view->topLevelItem(row)) - 1;
}

intptr_t CWVPropertyPage::GetListViewItemData(int id, int row) const
{
    auto* view = ItemAs<QTreeWidget>(id);
    if (view == nullptr || row < 0 || row >= view->topLevelItemCount()) {
        return 0;
    }
    return static_cast<intptr_t>(view->topLevelItem(row)->data(0, Qt::UserRole).toLongLong());
}

int CWVPropertyPage::GetListViewItemCount(int id) const
{
    auto* view = ItemAs<QTreeWidget>(id);
    return view != nullptr ? view->topLevelItemCount() : 0;
}

int CWVPropertyPage::GetListStringWidth(int id, std::string_view text) const
{
    auto* view = ItemAs<QTreeWidget>(id);
    return view != nullptr ? view->fontMetrics().horizontalAdvance(Q(text)) : 0;
}

int CWVPropertyPage::GetListStringWidthId(int id, uint32_t stringId) const
{
    return GetListStringWidth(id, GetResString(stringId));
}

// ---- Date-time pickers -------------------------------------------------------------------

void CWVPropertyPage::SetDateTimeFormat(int id, std::string_view format)
{
    if (auto* picker = ItemAs<QDateTimeEdit>(id)) {
        picker->setDisplayFormat(PickerFormat(format));
    }
}

void CWVPropertyPage::SetDateTimeRange(int id, const wv::OleDateTime& min, const wv::OleDateTime& max)
{
    auto* picker = ItemAs<QDateTimeEdit>(id);
    const QDateTime low = ToQDateTime(min);
    const QDateTime high = ToQDateTime(max);
    if (picker != nullptr && low.isValid() && high.isValid()) {
        picker->setDateTimeRange(low, high);
    }
}

void CWVPropertyPage::SetDateTime(int id, const wv::OleDateTime& value)
{
    auto* picker = ItemAs<QDateTimeEdit>(id);
    const QDateTime when = ToQDateTime(value);
    if (picker != nullptr && when.isValid()) {
        Updating([&] { picker->setDateTime(when); });
    }
}

bool CWVPropertyPage::GetDateTime(int id, wv::OleDateTime& value) const
{
    auto* picker = ItemAs<QDateTimeEdit>(id);
    if (picker == nullptr) {
        return false;
    }
    const QDateTime when = picker->dateTime();
    wv::OleDateTime result;
    if (!result.SetDateTime(when.date().year(), when.date().month(), when.date().day(), when.time().hour(),
                            when.time().minute(), when.time().second())) {
        return false;
    }
    value = result;
    return true;
}

// ---- Progress bars and pictures ------------------------------------------------------------

void CWVPropertyPage::SetProgress(int id, int position)
{
    if (auto* bar = ItemAs<QProgressBar>(id)) {
        bar->setValue(position);
    }
}

void CWVPropertyPage::SetItemBitmap(QPixmap& bitmap, int id, int bitmapId)
{
    auto* label = ItemAs<QLabel>(id);
    if (label == nullptr) {
        return;
    }
    bitmap.load(QStringLiteral(":/bitmaps/%1.png").arg(bitmapId));
    label->setPixmap(bitmap);
}

void CWVPropertyPage::PaintBigText(QPainter& painter, int points, const QColor& colour, std::string_view text,
                                   const QRect& rect)
{
    QFont font(Q(GetResString(kStrBigTextFont)));
    font.setStyleHint(QFont::SansSerif);
    font.setBold(true);
    font.setPixelSize(std::max(1, points * logicalDpiY() / 72));
    painter.save();
    painter.setFont(font);
    painter.setPen(colour);
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, Q(text));
    painter.restore();
}
