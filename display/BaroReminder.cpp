#include "display/BaroReminder.h"

#include "app/AppPreferences.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CBaroReminder::CBaroReminder(QWidget* parent) : CModalDialog(kTemplateId, QStringLiteral("Barometric Correction"), parent)
{
    auto* temporary = new QLabel(
        QStringLiteral("The barometric correction process creates a temporary view of the corrected data for the "
                       "file.  If you select another file in the tree the corrected data will be released."),
        this);
    auto* permanent = new QLabel(
        QStringLiteral("If you wish to create a permanent record of the corrected data, please check the create new "
                       "file check box in the Barometric Correction dialog box."),
        this);
    for (QLabel* label : {temporary, permanent}) {
        label->setWordWrap(true);
        label->setFixedWidth(360);
    }
    m_dontRemind = new QCheckBox(QStringLiteral("Do not remind me again."), this);
    m_dontRemind->setObjectName(QString::number(kIdDontRemind));
    QPushButton* ok = MakeButton(kIdOk, QStringLiteral("OK"), true);
    connect(ok, &QPushButton::clicked, this, &CBaroReminder::OnOK);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_dontRemind);
    bottom->addStretch(1);
    bottom->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(temporary);
    layout->addSpacing(6);
    layout->addWidget(permanent);
    layout->addSpacing(10);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CBaroReminder::OnOK()
{
    if (m_dontRemind->isChecked()) {
        SetBaroReminderBlocked(true);
    }
    done(kIdOk);
}
