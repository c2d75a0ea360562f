#include "app/controls/DlgAcceptCancel.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

CDlgAcceptCancel::CDlgAcceptCancel(const QString& message, const QString& caption, QWidget* parent)
    : CModalDialog(kTemplateId, caption, parent), m_strMessage(message), m_strCaption(caption)
{
    m_message = new QPlainTextEdit(this);
    m_message->setObjectName(QString::number(kIdMessage));
    m_message->setReadOnly(true);
    m_message->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_message->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_message->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    const QFontMetrics metrics(font());
    m_message->setFixedSize(metrics.averageCharWidth() * 60, metrics.lineSpacing() * 8);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(MakeEndButton(kIdOk, QStringLiteral("Accept"), kIdOk, true));
    buttons->addWidget(MakeEndButton(kIdCancel, QStringLiteral("Cancel"), kIdCancel, false));
    buttons->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_message);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CDlgAcceptCancel::OnInitDialog()
{
    m_message->setPlainText(m_strMessage);
    setWindowTitle(m_strCaption);
}
