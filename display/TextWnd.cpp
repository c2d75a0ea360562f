#include "display/TextWnd.h"

#include "datafiles/TestFileReader.h"
#include "display/GraphWnd.h"
#include "display/WVDataFile.h"
#include "resources/StringTable.h"
#include "site/DataFile.h"
#include "site/SiteFrame.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPrinter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>

namespace {

QString Qs(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// Courier New 9 points for the device, any fixed-pitch font where it is missing.
QFont ReportFont(QPaintDevice* device)
{
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setWeight(QFont::Normal);
    font.setPixelSize(std::max(1, 9 * (device != nullptr ? device->logicalDpiY() : 96) / 72));
    return font;
}

void ShowStop(uint32_t textId)
{
    if (CSiteFrame* frame = GetMainFrame()) {
        SiteMessage message;
        message.textId = textId;
        message.icon = MessageIcon::Error;
        frame->ShowMessage(message);
    }
}

} // namespace

CTextWnd::CTextWnd(CWVDataFile& owner) : m_owner(owner)
{
    setFrameShape(QFrame::Box);
    viewport()->setAutoFillBackground(true);
    QPalette palette = viewport()->palette();
    palette.setColor(QPalette::Window, Qt::white);
    viewport()->setPalette(palette);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_font = ReportFont(viewport());
    const QFontMetrics metrics(m_font, viewport());
    m_charWidth = std::max(1, metrics.averageCharWidth());
    m_lineHeight = std::max(1, metrics.height() + std::max(0, metrics.leading()));
    m_ascent = metrics.ascent();
    // Dragging the vertical thumb moves nothing until it is let go; the horizontal one tracks.
    QScrollBar* vbar = verticalScrollBar();
    QScrollBar* hbar = horizontalScrollBar();
    auto request = [](int action, bool vertical, ScrollRequest& out) {
        switch (action) {
        case QAbstractSlider::SliderSingleStepSub: out = kLineUp; return true;
        case QAbstractSlider::SliderSingleStepAdd: out = kLineDown; return true;
        case QAbstractSlider::SliderPageStepSub: out = kPageUp; return true;
        case QAbstractSlider::SliderPageStepAdd: out = kPageDown; return true;
        case QAbstractSlider::SliderToMinimum: out = kTop; return true;
        case QAbstractSlider::SliderToMaximum: out = kBottom; return true;
        case QAbstractSlider::SliderMove: out = kThumbTrack; return !vertical;
        default: return false;
        }
    };
    connect(vbar, &QAbstractSlider::actionTriggered, this, [this, vbar, request](int action) {
        ScrollRequest r{};
        if (request(action, true, r)) {
            OnVScroll(r);
        }
        vbar->setSliderPosition(GetVertPos());
    });
    connect(vbar, &QAbstractSlider::sliderReleased, this, [this, vbar] { OnVScroll(kThumbPosition, vbar->sliderPosition()); });
    connect(hbar, &QAbstractSlider::actionTriggered, this, [this, hbar, request](int action) {
        ScrollRequest r{};
        if (request(action, false, r)) {
            OnHScroll(r, hbar->sliderPosition());
        }
        hbar->setSliderPosition(GetHorzPos());
    });
}

CTextWnd::~CTextWnd() = default;

void CTextWnd::Create(QWidget* placeholder)
{
    QWidget* parent = placeholder->parentWidget();
    const QRect geometry = placeholder->geometry();
    const QString id = placeholder->objectName();
    delete placeholder;
    setParent(parent);
    setObjectName(id);
    setGeometry(geometry);
    show();
}

int CTextWnd::GetVertPos() const { return m_file != nullptr ? m_file->GetTextLine() : 0; }

int CTextWnd::GetHorzPos() const { return m_file != nullptr ? m_file->GetTextColumn() : 0; }

void CTextWnd::SetVertPos(int position)
{
    if (m_file != nullptr) {
        m_file->SetTextPosition(position, m_file->GetTextColumn());
    }
}

void CTextWnd::SetHorzPos(int position)
{
    if (m_file != nullptr) {
        m_file->SetTextPosition(m_file->GetTextLine(), position);
    }
}

void CTextWnd::Drop()
{
    m_file = nullptr;
    m_reader = nullptr;
    m_lineCount = 0;
    m_vertRange = 0;
    m_horzRange = 0;
    viewport()->update();
}

bool CTextWnd::LineSource(int line, std::string& text) { return m_reader != nullptr && m_reader->GetLine(line, text); }

void CTextWnd::Refresh()
{
    m_file = m_owner.GetDataFile();
    m_reader = m_file != nullptr ? m_file->GetReader() : nullptr;
    ReportLineCounts counts;
    // A closed reader, or one that cannot count its lines, shows an empty window.
    if (m_reader != nullptr && (m_reader->IsClosed() || m_reader->GetLineCounts(counts) != 0)) {
        m_reader = nullptr;
    }
    if (m_reader == nullptr) {
        m_lineCount = 0;
        m_vertRange = 0;
        m_horzRange = 0;
        verticalScrollBar()->setRange(0, 0);
        horizontalScrollBar()->setRange(0, 0);
        viewport()->update();
        return;
    }
    m_lineCount = counts.total;
    m_firstTitle = counts.firstTitle;
    m_lastTitle = counts.headerLines;
    std::string titles;
    LineSource(m_lastTitle, titles);
    m_bandRows = m_lastTitle - m_firstTitle + 1;
    m_bandHeight = (m_lastTitle - m_firstTitle) * m_lineHeight;
    m_textWidth = m_charWidth * std::max<int>(kMinTextChars, static_cast<int>(titles.size()));
    const int clientWidth = viewport()->width();
    const int clientHeight = viewport()->height();
    m_vertRange = std::max(0, m_lineCount + 4 - clientHeight / m_lineHeight);
    m_horzRange = std::max(0, (m_textWidth - clientWidth) / m_charWidth + 4);
    if (GetVertPos() > m_vertRange) {
        SetVertPos(m_vertRange);
    }
    if (GetHorzPos() > m_horzRange) {
        SetHorzPos(m_horzRange);
    }
    QScrollBar* vbar = verticalScrollBar();
    vbar->setRange(0, m_vertRange);
    vbar->setPageStep(std::max(1, clientHeight / m_lineHeight));
    vbar->setValue(GetVertPos());
    QScrollBar* hbar = horizontalScrollBar();
    hbar->setRange(0, m_horzRange);
    hbar->setPageStep(8);
    hbar->setValue(GetHorzPos());
    viewport()->update();
}

void CTextWnd::Update()
{
    Refresh();
    viewport()->repaint();
}

void CTextWnd::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    Refresh();
}

void CTextWnd::paintEvent(QPaintEvent* event)
{
    Refresh();
    QPainter painter(viewport());
    painter.setFont(m_font);
    painter.setPen(Qt::black);
    Paint(painter, event->rect().top(), event->rect().bottom() + 1);
}

void CTextWnd::Paint(QPainter& painter, int top, int bottom)
{
    m_painted.clear();
    if (m_reader == nullptr) {
        return;
    }
    // Rows of filtered channels depend on the rows read before them.
    m_reader->ResetFilters();
    const int V = GetVertPos();
    const int H = GetHorzPos();
    const int first = std::max(0, top / m_lineHeight + V - 1);
    const int last = std::min(m_lineCount, bottom / m_lineHeight + V);
    const int x = (1 - H) * m_charWidth;
    std::string text;
    std::string title;
    for (int n = std::max(0, first - kPrimingLines) + 1; n <= last; ++n) {
        if (!LineSource(n, text)) {
            text.clear();
        }
        const int y = (n - V) * m_lineHeight;
        if (y <= 0) {
            continue;
        }
        const std::string* shown = &text;
        // Once scrolled past the first title line, the title lines stay on top.
        if (V > m_firstTitle && y <= m_bandHeight) {
            if (!LineSource(m_firstTitle + y / m_lineHeight, title)) {
                title.clear();
            }
            shown = &title;
        }
        painter.drawText(x, y + m_ascent, Qs(*shown));
        m_painted.push_back(*shown);
    }
}

void CTextWnd::OnVScroll(ScrollRequest request, int thumb)
{
    const int position = GetVertPos();
    const int page = std::max(1, viewport()->height() / m_lineHeight);
    int change = 0;
    switch (request) {
    case kLineUp: change = -1; break;
    case kLineDown: change = 1; break;
    case kPageUp: change = -page; break;
    case kPageDown: change = page; break;
    case kThumbPosition: change = thumb - position; break;
    case kTop: change = -position; break;
    case kBottom: change = m_vertRange - position; break;
    case kThumbTrack: return;
    }
    const int target = std::clamp(position + change, 0, m_vertRange);
    if (target == position || m_file == nullptr) {
        return;
    }
    SetVertPos(target);
    verticalScrollBar()->setValue(target);
    // The title band depends on the position, so the whole window is drawn anew.
    viewport()->update();
}

void CTextWnd::OnHScroll(ScrollRequest request, int thumb)
{
    const int position = GetHorzPos();
    int change = 0;
    switch (request) {
    case kLineUp: change = -1; break;
    case kLineDown: change = 1; break;
    case kPageUp: change = -8; break;
    case kPageDown: change = 8; break;
    case kThumbTrack: change = thumb - position; break;
    case kTop: change = -position; break;
    case kBottom: change = m_horzRange - position; break;
    case kThumbPosition: return;
    }
    const int target = std::clamp(position + change, 0, m_horzRange);
    if (target == position || m_file == nullptr) {
        return;
    }
    SetHorzPos(target);
    horizontalScrollBar()->setValue(target);
    viewport()->scroll(-(target - position) * m_charWidth, 0);
}

void CTextWnd::wheelEvent(QWheelEvent* event)
{
    const int steps = event->angleDelta().y() / 40;
    for (int i = 0; i < std::abs(steps); ++i) {
        OnVScroll(steps > 0 ? kLineUp : kLineDown);
    }
    event->accept();
}

void CTextWnd::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Up: OnVScroll(kLineUp); break;
    case Qt::Key_Down: OnVScroll(kLineDown); break;
    case Qt::Key_PageUp: OnVScroll(kPageUp); break;
    case Qt::Key_PageDown: OnVScroll(kPageDown); break;
    case Qt::Key_Home: OnVScroll(kTop); break;
    case Qt::Key_End: OnVScroll(kBottom); break;
    case Qt::Key_Left: OnHScroll(kLineUp); break;
    case Qt::Key_Right: OnHScroll(kLineDown); break;
    default: QAbstractScrollArea::keyPressEvent(event); return;
    }
}

std::vector<int> CTextWnd::PaginateReport(int lineCount, int lineHeight, int top, int limit)
{
    std::vector<int> pages{1};
    int y = top;
    for (int line = 1; line <= lineCount; ++line) {
        // A page that cannot hold one line still takes one, so printing always moves on.
        if (y + lineHeight > limit && y != top) {
            pages.push_back(line);
            y = top;
        }
        y += lineHeight;
    }
    return pages;
}

void CTextWnd::Print()
{
    Refresh();
    QPrinter printer(QPrinter::HighResolution);
    if (!CGraphWnd::RunPrintDialog(printer, this)) {
        return;
    }
    printer.setDocName(QStringLiteral("Wellvox®: Chart"));
    QPainter painter;
    if (!painter.begin(&printer)) {
        ShowStop(kStrPrintInitFailed);
        return;
    }
    if (printer.printerState() == QPrinter::Error) {
        ShowStop(kStrPrintPageFailed);
        printer.abort();
        painter.end();
        return;
    }
    const int mx = printer.logicalDpiX() / 2;
    const int my = printer.logicalDpiY() / 2;
    const QFont font = ReportFont(&printer);
    painter.setFont(font);
    const QFontMetrics metrics(font, &printer);
    const int lineHeight = std::max(1, metrics.height() + std::max(0, metrics.leading()));
    const int limit = printer.height() - my;
    if (m_reader != nullptr) {
        m_reader->ResetFilters();
    }
    const std::vector<int> pages = PaginateReport(m_reader != nullptr ? m_lineCount : 0, lineHeight, my, limit);
    std::string text;
    for (size_t page = 0; page < pages.size(); ++page) {
        if (page > 0 && !printer.newPage()) {
            ShowStop(kStrPrintPageFailed);
            printer.abort();
            painter.end();
            return;
        }
        const int end = page + 1 < pages.size() ? pages[page + 1] : (m_reader != nullptr ? m_lineCount + 1 : 1);
        int y = my;
        for (int line = pages[page]; line < end; ++line) {
            if (!LineSource(line, text)) {
                text.clear();
            }
            painter.drawText(mx, y + metrics.ascent(), Qs(text));
            y += lineHeight;
        }
    }
    painter.end();
}
