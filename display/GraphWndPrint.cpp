// Printing one plot window, and drawing a window into a rectangle of any device (a page,
// an image) with the device's metrics and fonts.

#include "display/GraphWnd.h"

#include "resources/StringTable.h"

#include <QImage>
#include <QImageReader>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

namespace {

CGraphWnd::PrintDialogHook& Hook()
{
    static CGraphWnd::PrintDialogHook hook;
    return hook;
}

// The banner printed above a single graph, drawn at the size it is printed.
QImage LoadBanner(int width, int height)
{
    QImageReader reader(QStringLiteral(":/images/graph_banner.svg"));
    reader.setScaledSize(QSize(width, height));
    return reader.read();
}

} // namespace

void CGraphWnd::SetPrintDialogHook(PrintDialogHook hook) { Hook() = std::move(hook); }

bool CGraphWnd::RunPrintDialog(QPrinter& printer, QWidget* parent)
{
    if (Hook()) {
        return Hook()(printer, parent);
    }
    // No selection and no page range; the copies are the printer driver's. Printing to a
    // PDF file stays offered: it is this platform's print to file.
    QPrintDialog dialog(&printer, parent);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    return dialog.exec() == QDialog::Accepted;
}

void CGraphWnd::ShowStopMessage(uint32_t textId)
{
    QMessageBox box(QMessageBox::Critical, QString(), QString::fromUtf8(GetResString(textId)), QMessageBox::Ok, this);
    box.exec();
}

void CGraphWnd::Print()
{
    QPrinter printer(QPrinter::HighResolution);
    if (!RunPrintDialog(printer, this)) {
        return;
    }
    PrintOn(printer);
}

void CGraphWnd::PrintOn(QPrinter& printer)
{
    printer.setDocName(QStringLiteral("Wellvox®: Chart"));
    // Half an inch from each edge of the printable area.
    const int mx = printer.logicalDpiX() / 2;
    const int my = printer.logicalDpiY() / 2;
    const int right = printer.width() - mx;
    const int bottom = printer.height() - my;
    QPainter painter;
    if (!painter.begin(&printer)) {
        ShowStopMessage(kStrPrintInitFailed);
        Recalc();
        return;
    }
    // The first page starts with the document: a printer in error has not started it.
    if (printer.printerState() == QPrinter::Error) {
        ShowStopMessage(kStrPrintPageFailed);
        printer.abort();
        painter.end();
        Recalc();
        return;
    }
    const int w = (right - mx) / 2;
    const int h = w * 163 / 1200;
    // A banner that cannot be made is left out.
    if (w > 0 && h > 0) {
        const QImage banner = LoadBanner(w, h);
        if (!banner.isNull()) {
            painter.drawImage(QRect(mx, my, w, h), banner);
        }
    }
    DrawTo(&painter, printer, mx, my + h + 100, right, bottom);
    painter.end();
    Recalc();
}

void CGraphWnd::DrawTo(QPainter* painter, QPaintDevice& device, int left, int top, int right, int bottom)
{
    if (painter == nullptr) {
        return;
    }
    // The largest centred rectangle of aspect 2:1.
    if (2 * (bottom - top) < right - left) {
        const int inset = ((right - left) - 2 * (bottom - top)) / 2;
        left += inset;
        right -= inset;
    } else {
        const int inset = ((bottom - top) - (right - left) / 2) / 2;
        top += inset;
        bottom -= inset;
    }
    const QRect client(left, top, right - left, bottom - top);
    // The printing flag and the screen layout come back on every way out.
    struct Restore {
        CGraphWnd& window;
        QPainter& painter;
        ~Restore()
        {
            window.m_printing = false;
            painter.restore();
            window.Recalc();
        }
    };
    painter->save();
    m_printing = true;
    Restore restore{*this, *painter};
    painter->setClipRect(client);
    LayOut(device, client);
    DrawAll(*painter, device, client, false);
}
