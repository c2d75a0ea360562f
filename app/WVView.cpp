#include "app/WVView.h"

#include "app/CommandIds.h"
#include "site/WVDoc.h"
#include "site/QorView.h"
#include "foundation/Registry.h"
#include "resources/StringTable.h"

#include <QEvent>
#include <QFont>
#include <QHeaderView>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QTreeWidget>

#include <algorithm>

namespace {

constexpr int kCaptionBand = CWVView::kCaptionBand;
constexpr int kMaxColumnWidth = 2000;
constexpr int kButtonWidth = 90;
constexpr int kButtonHeight = 26;

QString Qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QString CaptionOf(uint32_t captionId)
{
    // Until a view gives a button its real caption, the button shows its slot number.
    return HasResString(captionId) ? Qs(GetResString(captionId)) : QString::number(captionId);
}

} // namespace

CWVView::CWVView(const ViewTemplate& layout, QWidget* parent) : QScrollArea(parent), m_template(layout)
{
    setObjectName(QString::number(layout.id));
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    m_form = new QWidget;
    m_form->setObjectName(QStringLiteral("form"));
    m_form->setAutoFillBackground(true);
    m_form->installEventFilter(this);
    if (layout.hasList) {
        m_list = new QTreeWidget(m_form);
        m_list->setObjectName(QString::number(wvcmd::kReportList));
        m_list->setRootIsDecorated(false);
        m_list->setGeometry(8, kCaptionBand + 6, layout.width - 16, layout.height - kCaptionBand - 50);
    }
    const int buttons = std::clamp(layout.buttonCount, 0, kButtonSlots);
    for (int slot = 1; slot <= buttons; ++slot) {
        auto* button = new QPushButton(QString::number(slot), m_form);
        button->setObjectName(QString::number(slot));
        button->setGeometry(8 + (slot - 1) * (kButtonWidth + 8), layout.height - kButtonHeight - 8, kButtonWidth,
                            kButtonHeight);
        connect(button, &QPushButton::clicked, this, [this, button] {
            emit ButtonCommand(button->objectName().toUInt());
        });
    }
    setWidget(m_form);
    m_form->setMinimumSize(layout.width, layout.height);
}

CWVView::~CWVView() = default;

void CWVView::OnInitialUpdate()
{
    m_lastWidth = m_template.width;
    m_lastHeight = m_template.height;
    m_layoutPending = false;
    OnUpdate();
}

void CWVView::UpdateScrollSizes(int width, int height) { m_form->setMinimumSize(std::max(width, 0), std::max(height, 0)); }

void CWVView::resizeEvent(QResizeEvent* event)
{
    UpdateScrollSizes(event->size().width(), event->size().height());
    QScrollArea::resizeEvent(event);
}

bool CWVView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_form && event->type() == QEvent::Paint) {
        DrawCaption(m_form);
        return false;
    }
    return QScrollArea::eventFilter(watched, event);
}

void CWVView::DrawCaption(QWidget* form)
{
    if (m_caption.empty()) {
        return;
    }
    QPainter painter(form);
    // White text needs a dark ground: the caption sits on a band of the highlight colour.
    painter.fillRect(QRect(0, 0, form->width(), kCaptionBand), form->palette().color(QPalette::Highlight));
    QString family = Qs(GetResString(kStrCaptionFont));
    QFont font(family.remove(QStringLiteral(" Bold")), 18, QFont::Bold);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.setBackgroundMode(Qt::TransparentMode);
    const QFontMetrics metrics(font);
    painter.drawText(4, 4 + metrics.ascent(), Qs(m_caption));
}

void CWVView::SetCaption(std::string_view caption)
{
    m_caption = caption;
    m_form->update();
}

// ---- Report list ----

void CWVView::ResetList()
{
    if (m_list == nullptr) {
        return;
    }
    m_list->clear();
    m_list->setColumnCount(0);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setAllColumnsShowFocus(true);
}

int CWVView::InsertColumn(int index, std::string_view header, Qt::Alignment alignment, int defaultWidth,
                          std::string_view section)
{
    if (m_list == nullptr) {
        return 0;
    }
    int width = defaultWidth;
    if (!section.empty()) {
        const uint32_t stored = ReadRegDword(section, "Col" + std::to_string(index), static_cast<uint32_t>(defaultWidth));
        // A stored width that no screen could show is a damaged value: the default wins.
        width = stored <= kMaxColumnWidth ? static_cast<int>(stored) : defaultWidth;
    }
    const int count = m_list->columnCount();
    const int at = std::clamp(index, 0, count);
    QTreeWidgetItem* headerItem = m_list->headerItem();
    m_list->setColumnCount(count + 1);
    for (int column = count; column > at; --column) {
        headerItem->setText(column, headerItem->text(column - 1));
        headerItem->setTextAlignment(column, Qt::Alignment(headerItem->textAlignment(column - 1)));
        m_list->setColumnWidth(column, m_list->columnWidth(column - 1));
    }
    // Cells of rows already in the list move right with their columns.
    for (int row = 0; row < m_list->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = m_list->topLevelItem(row);
        for (int column = count; column > at; --column) {
            item->setText(column, item->text(column - 1));
            item->setTextAlignment(column, Qt::Alignment(item->textAlignment(column - 1)));
        }
        item->setText(at, QString());
        item->setTextAlignment(at, alignment);
    }
    headerItem->setText(at, Qs(header));
    headerItem->setTextAlignment(at, alignment);
    m_list->setColumnWidth(at, width);
    return at;
}

int CWVView::InsertColumnId(int index, uint32_t headerId, Qt::Alignment alignment, int defaultWidth,
                            std::string_view section)
{
    return InsertColumn(index, GetResString(headerId), alignment, defaultWidth, section);
}

int CWVView::AddListItem(int row, int column, std::string_view text)
{
    if (m_list == nullptr || column < 0 || column >= std::max(m_list->columnCount(), 1)) {
        return 0;
    }
    // The list keeps at most 199 characters of a cell, cut at a character boundary.
    QString cell = Qs(text);
    if (cell.size() > kMaxCellChars) {
        cell.truncate(kMaxCellChars);
        if (cell.back().isHighSurrogate()) {
            cell.chop(1);
        }
    }
    QTreeWidgetItem* item = nullptr;
    if (column == 0) {
        const int at = std::clamp(row, 0, m_list->topLevelItemCount());
        item = new QTreeWidgetItem;
        m_list->insertTopLevelItem(at, item);
        row = at;
    } else {
        item = m_list->topLevelItem(row);
        if (item == nullptr) {
            return 0;
        }
    }
    item->setText(column, cell);
    item->setTextAlignment(column, Qt::Alignment(m_list->headerItem()->textAlignment(column)));
    m_list->resizeColumnToContents(column);
    const int headerWidth = m_list->header()->sectionSizeHint(column);
    if (m_list->columnWidth(column) < headerWidth) {
        m_list->setColumnWidth(column, headerWidth);
    }
    return row;
}

// ---- Controls ----

QWidget* CWVView::FindControl(uint32_t id) const
{
    return m_form->findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

void CWVView::EnableControl(uint32_t id, bool enable)
{
    if (QWidget* control = FindControl(id)) {
        control->setEnabled(enable);
    }
}

void CWVView::ShowControl(uint32_t id, bool show, bool enable)
{
    if (QWidget* control = FindControl(id)) {
        control->setVisible(show);
        control->setEnabled(show && enable);
    }
}

// ---- Command buttons ----

int CWVView::GetButtonId(int slot) const
{
    return slot >= 1 && slot <= kButtonSlots ? m_buttonIds[static_cast<size_t>(slot - 1)] : -1;
}

int CWVView::GetButtonCaptionId(int slot) const
{
    return slot >= 1 && slot <= kButtonSlots ? m_captionIds[static_cast<size_t>(slot - 1)] : -1;
}

void CWVView::SetButton(int slot, uint32_t id, uint32_t captionId)
{
    if (slot < 1 || slot > kButtonSlots) {
        return;
    }
    const auto index = static_cast<size_t>(slot - 1);
    if (m_buttonIds[index] == static_cast<int>(id) && m_captionIds[index] == static_cast<int>(captionId)) {
        return;
    }
    ChangeButton(static_cast<uint32_t>(m_buttonIds[index]), id, captionId);
}

void CWVView::ChangeButton(uint32_t currentId, uint32_t newId, uint32_t captionId)
{
    if (auto* button = qobject_cast<QPushButton*>(FindControl(currentId))) {
        button->setObjectName(QString::number(newId));
        button->setText(CaptionOf(captionId));
        button->setVisible(true);
        button->setEnabled(true);
    }
    for (size_t i = 0; i < kButtonSlots; ++i) {
        if (m_buttonIds[i] == static_cast<int>(currentId)) {
            m_buttonIds[i] = static_cast<int>(newId);
            m_captionIds[i] = static_cast<int>(captionId);
        }
    }
}

// ---- Layout ----

void CWVView::GrowControl(uint32_t id, int newWidth, int newHeight)
{
    m_widthChange = newWidth - m_lastWidth;
    m_heightChange = newHeight - m_lastHeight;
    m_lastWidth = newWidth;
    m_lastHeight = newHeight;
    if (QWidget* control = FindControl(id)) {
        const QRect r = control->geometry();
        control->setGeometry(r.x(), r.y(), std::max(r.width() + m_widthChange, 0), std::max(r.height() + m_heightChange, 0));
    }
}

void CWVView::MoveControlDown(uint32_t id)
{
    if (QWidget* control = FindControl(id)) {
        control->move(control->x(), control->y() + m_heightChange);
    }
}

CQorView* CWVView::GetSelectedNodeOfType(NodeType type) const
{
    CQorView* node = m_doc != nullptr ? m_doc->GetSelectedNode() : nullptr;
    return node != nullptr && node->GetNodeType() == type ? node : nullptr;
}
