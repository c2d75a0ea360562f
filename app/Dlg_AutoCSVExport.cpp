#include "app/Dlg_AutoCSVExport.h"

#include "app/CsvExporterCom.h"
#include "app/WVFrame.h"

#include <QCheckBox>
#include <optional>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

QString Qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QPushButton* MakeButton(QWidget* parent, uint32_t id, const char* text)
{
    auto* button = new QPushButton(QString::fromUtf8(text), parent);
    button->setObjectName(QString::number(id));
    button->setAutoDefault(false);
    return button;
}

} // namespace

CDlg_AutoCSVExport::CDlg_AutoCSVExport(CWVFrame* frame) : QDialog(nullptr), m_frame(frame)
{
    setObjectName(QString::number(kTemplateId));
    setWindowTitle(QStringLiteral("Auto CSV Export"));
    auto* grid = new QGridLayout(this);
    m_enable = new QCheckBox(QStringLiteral("Enable Auto Export To CSV"), this);
    m_enable->setObjectName(QString::number(kEnableCheck));
    grid->addWidget(m_enable, 0, 0, 1, 4);
    grid->addWidget(new QLabel(QStringLiteral("Auto Export Template File"), this), 1, 0, 1, 4);
    m_template = new QLineEdit(this);
    m_template->setObjectName(QString::number(kTemplateEdit));
    m_template->setReadOnly(true);
    m_template->setMinimumWidth(360);
    grid->addWidget(m_template, 2, 0, 1, 4);
    QPushButton* open = MakeButton(this, kOpenButton, "Open");
    QPushButton* create = MakeButton(this, kNewButton, "New");
    m_edit = MakeButton(this, kEditButton, "Edit");
    grid->addWidget(open, 3, 0);
    grid->addWidget(create, 3, 1);
    grid->addWidget(m_edit, 3, 2);
    QPushButton* manual = MakeButton(this, kManualButton, "Manual Export");
    QPushButton* close = MakeButton(this, kCloseButton, "Close");
    close->setDefault(true);
    grid->addWidget(manual, 4, 0, 1, 2);
    grid->addWidget(close, 4, 3);
    connect(open, &QPushButton::clicked, this, &CDlg_AutoCSVExport::OnOpen);
    connect(create, &QPushButton::clicked, this, &CDlg_AutoCSVExport::OnNew);
    connect(m_edit, &QPushButton::clicked, this, &CDlg_AutoCSVExport::OnEdit);
    connect(manual, &QPushButton::clicked, this, &CDlg_AutoCSVExport::OnManualExport);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    m_enable->setChecked(IsAutoCsvEnabled());
    m_template->setText(Qs(GetAutoCsvTemplate()));
    UpdateControls();
}

void CDlg_AutoCSVExport::UpdateControls()
{
    const bool hasTemplate = !m_template->text().isEmpty();
    m_enable->setEnabled(hasTemplate);
    m_edit->setEnabled(hasTemplate);
    if (!hasTemplate) {
        m_enable->setChecked(false);
    }
}

void CDlg_AutoCSVExport::OnOpen()
{
    const std::string current = m_template->text().toStdString();
    std::optional<std::string> chosen;
    if (m_frame != nullptr && m_frame->fileResponder) {
        chosen = m_frame->fileResponder(false, current);
    } else {
        const QString path = QFileDialog::getOpenFileName(this, QString(), Qs(current),
                                                          QStringLiteral("Template Files (*.bft);;All Files (*)"));
        if (!path.isEmpty()) {
            chosen = path.toStdString();
        }
    }
    if (chosen && !chosen->empty()) {
        m_template->setText(Qs(*chosen));
    }
    UpdateControls();
}

void CDlg_AutoCSVExport::OnNew()
{
    std::string path;
    if (CsvExporterCom(m_frame).NewTemplate(path) >= 0) {
        m_template->setText(Qs(path));
    }
    UpdateControls();
}

void CDlg_AutoCSVExport::OnEdit()
{
    CsvExporterCom(m_frame).EditTemplate(m_template->text().toStdString());
}

void CDlg_AutoCSVExport::OnManualExport() { CsvExporterCom(m_frame).ManualExport(); }

void CDlg_AutoCSVExport::done(int result)
{
    // Whatever closed the dialog, the settings are stored.
    SaveAutoCsvSettings(m_enable->isChecked(), m_template->text().toStdString());
    QDialog::done(result);
}
