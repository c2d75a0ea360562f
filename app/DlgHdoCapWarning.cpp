#include "app/DlgHdoCapWarning.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <string>

CDlgHdoCapWarning::CDlgHdoCapWarning(std::string_view format, int days, QWidget* parent)
    : CModalDialog(kTemplateId, QStringLiteral("HDO Foil Cap"), parent), m_shortTime(days < kShortTimeDays)
{
    std::string text(format);
    if (const size_t at = text.find("%d"); at != std::string::npos) {
        text.replace(at, 2, std::to_string(days));
    }
    m_message = QString::fromStdString(text);

    auto* message = new QPlainTextEdit(this);
    message->setObjectName(QString::number(kIdMessage));
    message->setReadOnly(true);
    // The text's line ends are "\r\n"; the edit breaks lines at "\n".
    message->setPlainText(QString(m_message).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    message->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    message->setFixedSize(360, 100);

    auto* prompt = new QLabel(QStringLiteral("Please remind me again in:"), this);
    prompt->setObjectName(QString::number(kIdPrompt));
    m_interval = new QComboBox(this);
    m_interval->setObjectName(QString::number(kIdInterval));
    connect(m_interval, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) {
            m_remindIndex = index;
        }
    });
    auto* remind = new QHBoxLayout;
    remind->addWidget(prompt);
    remind->addWidget(m_interval);
    remind->addStretch();

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(MakeEndButton(kIdOk, QStringLiteral("OK"), kIdOk, true));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(message);
    layout->addLayout(remind);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CDlgHdoCapWarning::OnInitDialog()
{
    const QSignalBlocker quiet(m_interval);
    m_interval->clear();
    m_interval->addItems({QStringLiteral("1 day"), QStringLiteral("5 days"), QStringLiteral("10 days"),
                          QStringLiteral("15 days"), QStringLiteral("30 days")});
    // An index the list does not have (a damaged setting) reminds after a day.
    if (m_shortTime || m_remindIndex < 0 || m_remindIndex >= kIntervals) {
        m_remindIndex = 0;
    }
    m_interval->setCurrentIndex(m_remindIndex);
    m_interval->setEnabled(!m_shortTime);
}
