#include "app/controls/AskDlg.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

CAskDlg::CAskDlg(QWidget* parent) : CModalDialog(kTemplateId, QStringLiteral("Ask Dialog"), parent)
{
    auto* icon = new QLabel(this);
    icon->setObjectName(QString::number(kIdIcon));
    icon->setPixmap(QIcon(QStringLiteral(":/images/dlg_ask.svg")).pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    m_message = new QLabel(QStringLiteral("m_strMessage"), this);
    m_message->setObjectName(QString::number(kIdMessage));
    m_message->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_message->setWordWrap(true);
    m_message->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_message->setMargin(4);
    const QFontMetrics metrics(font());
    m_message->setMinimumSize(metrics.averageCharWidth() * 50, metrics.height() * 4);

    m_dontAsk = new QCheckBox(QStringLiteral("Don't ask me this again."), this);
    m_dontAsk->setObjectName(QString::number(kIdDontAsk));
    // The flag follows the box at once, whatever ends the dialog afterwards.
    connect(m_dontAsk, &QCheckBox::toggled, this, [this](bool checked) { m_bDontAskAgain = checked; });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(MakeEndButton(kIdOk, QStringLiteral("Yes"), kIdYes, true));
    buttons->addWidget(MakeEndButton(kIdNo, QStringLiteral("No"), kIdNo, false));

    auto* grid = new QGridLayout(this);
    grid->addWidget(icon, 0, 0);
    grid->addWidget(m_message, 0, 1);
    grid->addWidget(m_dontAsk, 1, 1);
    grid->addLayout(buttons, 2, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setSizeConstraint(QLayout::SetFixedSize);
}

void CAskDlg::OnInitDialog()
{
    m_message->setText(m_strMessage);
    m_dontAsk->setChecked(m_bDontAskAgain);
    setWindowTitle(m_strCaption);
}
