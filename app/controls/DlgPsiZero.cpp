#include "app/controls/DlgPsiZero.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

CDlgPsiZero::CDlgPsiZero(QWidget* parent) : CModalDialog(kTemplateId, QStringLiteral("Pressure Calibrate"), parent)
{
    m_zero = new QRadioButton(QStringLiteral("Zero"), this);
    m_zero->setObjectName(QString::number(kIdZero));
    m_reset = new QRadioButton(QStringLiteral("Reset"), this);
    m_reset->setObjectName(QString::number(kIdReset));
    // A choice by mouse or by the arrow keys.
    connect(m_zero, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            m_zeroChosen = 1;
        }
    });
    connect(m_reset, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            m_zeroChosen = 0;
        }
    });

    auto* choices = new QVBoxLayout;
    choices->addWidget(m_zero);
    choices->addWidget(m_reset);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(MakeEndButton(kIdOk, QStringLiteral("OK"), kIdOk, true));
    buttons->addWidget(MakeEndButton(kIdCancel, QStringLiteral("Cancel"), kIdCancel, false));
    buttons->addStretch();

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(choices);
    layout->addSpacing(24);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CDlgPsiZero::OnInitDialog()
{
    // What shows is what OK reports: the dialog opens on Zero.
    m_zero->setChecked(true);
    m_zeroChosen = 1;
}
