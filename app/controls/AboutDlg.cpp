#include "app/controls/AboutDlg.h"

#include "app/controls/StaticLink.h"
#include "foundation/AppUtils.h"
#include "platform/ProgramHome.h"
#include "resources/StringTable.h"

#include <QFont>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString Qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

} // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : CModalDialog(kTemplateId, QStringLiteral("About Wellvox\u00AE"), parent)
{
    // The program icon, as the main window shows it.
    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/images/wellvox.svg")).pixmap(48, 48));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    auto* product = new QLabel(QStringLiteral("Wellvox\u00AE 4"), this);
    QFont bold = product->font();
    bold.setBold(true);
    product->setFont(bold);
    auto* description = new QLabel(QStringLiteral("Instrument Control Software"), this);
    auto* versionLabel = new QLabel(QStringLiteral("Version"), this);
    m_version = new QLabel(this);
    m_version->setObjectName(QString::number(kIdVersion));
    m_version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_link = new CStaticLink(this);
    m_link->setObjectName(QString::number(kIdLink));
    m_link->setText(Qs(GetResString(kStrMakerWebAddress)));

    QPushButton* ok = MakeEndButton(kIdOk, QStringLiteral("OK"), kIdOk, true);
    QPushButton* notes = MakeButton(kIdReleaseNotes, QStringLiteral("Release Notes..."), false);
    connect(notes, &QPushButton::clicked, this, [this] { OnReleaseNotes(); });

    auto* texts = new QGridLayout;
    texts->addWidget(product, 0, 0, 1, 2);
    texts->addWidget(description, 1, 0, 1, 2);
    texts->addWidget(versionLabel, 2, 0);
    texts->addWidget(m_version, 2, 1);
    texts->addWidget(m_link, 3, 0, 1, 2);
    texts->setColumnStretch(1, 1);
    texts->setHorizontalSpacing(12);
    texts->setVerticalSpacing(6);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(notes);
    buttons->addStretch();

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addSpacing(8);
    layout->addLayout(texts, 1);
    layout->addSpacing(16);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CAboutDlg::OnInitDialog()
{
    m_version->setText(QString::fromStdString(GetProgramVersion()));
}

void CAboutDlg::OnReleaseNotes()
{
    ShellOpen(wv::ResolveProgramPath("readme.txt").string(), {});
}
