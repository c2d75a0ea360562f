#include "wizards/WizardPage.h"

#include <QLabel>
#include <QLinearGradient>
#include <QPainter>

// ---- Page ------------------------------------------------------------------------------

CWizardPage::CWizardPage(int templateId, QWidget* parent) : QWidget(parent), templateId_(templateId)
{
    hide();
}

CWizardPage::~CWizardPage() = default;

void CWizardPage::OnInitDialog()
{
    sheet_ = qobject_cast<CWizardSheet*>(parentWidget());
    resize(DialogUnitsToPixels(this, 0, 0, 300, 200).size());
}

QWidget* CWizardPage::Item(int id) const
{
    return findChild<QWidget*>(QString::number(id));
}

void CWizardPage::PlaceItem(QWidget* item, int id, int x, int y, int cx, int cy)
{
    if (id >= 0) {
        item->setObjectName(QString::number(id));
    }
    item->setGeometry(DialogUnitsToPixels(this, x, y, cx, cy));
}

void CWizardPage::SetTemplateTitle(const QString& title)
{
    auto* label = new QLabel(title, this);
    label->setObjectName(QString::number(kIdPageTitle));
    label->hide();
}

namespace {

// The picture panel of the setup pages: a water column with a logger hanging in it.
class SidePanel : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r = rect().adjusted(0, 0, -1, -1);
        QLinearGradient sky(r.topLeft(), r.bottomLeft());
        sky.setColorAt(0.0, QColor(214, 230, 245));
        sky.setColorAt(1.0, QColor(180, 205, 230));
        p.fillRect(r, sky);
        const qreal water = r.top() + r.height() * 0.45;
        QLinearGradient deep(QPointF(0, water), r.bottomLeft());
        deep.setColorAt(0.0, QColor(70, 130, 190));
        deep.setColorAt(1.0, QColor(20, 55, 110));
        p.fillRect(QRectF(r.left(), water, r.width(), r.bottom() - water), deep);
        p.setPen(QPen(QColor(235, 245, 255), 1.5));
        for (int i = 0; i < 3; ++i) {
            const qreal y = water + 6 + i * 5;
            const qreal w = r.width() * (0.5 - i * 0.12);
            p.drawLine(QPointF(r.center().x() - w / 2, y), QPointF(r.center().x() + w / 2, y));
        }
        const qreal cx = r.center().x();
        p.setPen(QPen(QColor(60, 60, 60), 1));
        p.drawLine(QPointF(cx, r.top()), QPointF(cx, r.top() + r.height() * 0.7));
        p.setBrush(QColor(240, 240, 240));
        p.drawRoundedRect(QRectF(cx - 5, r.top() + r.height() * 0.7, 10, r.height() * 0.16), 3, 3);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(90, 90, 90), 1));
        p.drawRect(r);
    }
};

} // namespace

void CWizardPage::AddSidePanel(int cx, int cy)
{
    auto* panel = new SidePanel(this);
    panel->setGeometry(DialogUnitsToPixels(this, 0, 0, cx, cy));
}

void CWizardPage::SetWizardButtons(WizardButtonCode code)
{
    if (sheet_ != nullptr) {
        sheet_->SetWizardButtons(code);
    }
}

void CWizardPage::BeginBusy()
{
    if (sheet_ != nullptr) {
        sheet_->SetBusy(true);
        sheet_->SetSheetEnabled(false);
    }
}

void CWizardPage::EndBusy()
{
    if (sheet_ != nullptr) {
        sheet_->SetSheetEnabled(true);
        sheet_->SetBusy(false);
    }
}
