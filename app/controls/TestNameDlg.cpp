#include "app/controls/TestNameDlg.h"

#include "app/controls/EditTestName.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

CTestNameDlg::CTestNameDlg(int32_t& blockProfileLogName, QWidget* parent)
    : CModalDialog(kTemplateId, QStringLiteral("Set Output Test Name"), parent), m_blockProfileLogName(blockProfileLogName)
{
    auto* label = new QLabel(QStringLiteral("Test Name:   "), this);
    m_name = new CEditTestName(this);
    m_name->setObjectName(QString::number(kIdName));
    m_name->setMaxLength(kMaxNameLength);
    m_name->setMinimumWidth(QFontMetrics(m_name->font()).averageCharWidth() * (kMaxNameLength + 6));
    label->setBuddy(m_name);

    m_dontShow = new QCheckBox(QStringLiteral("Don't show this dialog again"), this);
    m_dontShow->setObjectName(QString::number(kIdDontShow));

    QPushButton* ok = MakeButton(kIdOk, QStringLiteral("OK"), true);
    connect(ok, &QPushButton::clicked, this, [this] { OnOK(); });

    auto* grid = new QGridLayout(this);
    grid->addWidget(label, 0, 0);
    grid->addWidget(m_name, 0, 1);
    grid->addWidget(ok, 0, 2);
    grid->addWidget(m_dontShow, 1, 0, 1, 2);
    grid->setHorizontalSpacing(8);
    grid->setSizeConstraint(QLayout::SetFixedSize);
}

void CTestNameDlg::OnInitDialog()
{
    m_name->setText(m_strTestName);
    m_dontShow->setChecked(m_bDontShowAgain);
    m_name->setFocus();
    m_name->selectAll();
}

void CTestNameDlg::OnOK()
{
    m_bDontShowAgain = m_dontShow->isChecked();
    m_strTestName = m_name->text();
    if (m_strTestName.isEmpty()) {
        m_strTestName = QString::fromLatin1(kDefaultTestName);
    }
    m_blockProfileLogName = m_bDontShowAgain ? 1 : 0;
    done(kIdOk);
}
