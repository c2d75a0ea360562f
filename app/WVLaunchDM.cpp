#include "app/WVLaunchDM.h"

#include "app/WVFrame.h"
#include "site/DataFile.h"
#include "site/QorSite.h"
#include "site/WVDoc.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QString Qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// Selects the data file's node of path when the Data folder holds it; nothing otherwise.
void SelectExtractedFile(CWVFrame* frame, const std::string& path)
{
    CWVDoc* doc = frame != nullptr ? frame->GetDocument() : nullptr;
    CQorSite* site = doc != nullptr ? doc->GetSite() : nullptr;
    if (site == nullptr) {
        return;
    }
    if (CDataFile* file = site->LookUpDataFile(path)) {
        file->SelectTreeItem();
    }
}

} // namespace

CWVLaunchDM::CWVLaunchDM(CWVFrame* frame, const std::vector<std::string>& paths, QWidget* parent)
    : QDialog(parent != nullptr ? parent : frame), m_frame(frame)
{
    setObjectName(QString::number(kTemplateId));
    setWindowTitle(QStringLiteral("Extract Data"));
    setCursor(Qt::ArrowCursor);
    for (const std::string& path : paths) {
        if (m_paths.size() < kMaxFiles && !path.empty()) {
            m_paths.push_back(path);
        }
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Test data was extracted to the following files:"), this));
    m_list = new QTreeWidget(this);
    m_list->setObjectName(QString::number(kFileList));
    m_list->setHeaderHidden(true);
    m_list->setRootIsDecorated(false);
    m_list->setColumnCount(1);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setAllColumnsShowFocus(true);
    for (const std::string& path : m_paths) {
        auto* item = new QTreeWidgetItem(m_list);
        item->setText(0, Qs(path));
    }
    m_list->resizeColumnToContents(0);
    layout->addWidget(m_list);
    layout->addWidget(new QLabel(QStringLiteral("To view a file immediately select it in the list and press \"View\"."), this));
    auto* buttons = new QHBoxLayout;
    auto* view = new QPushButton(QStringLiteral("&View"), this);
    view->setObjectName(QString::number(kViewButton));
    view->setDefault(true);
    auto* done = new QPushButton(QStringLiteral("Done"), this);
    done->setObjectName(QString::number(kDoneButton));
    // The dialog offers no conversion: the button is there, hidden.
    auto* excel = new QPushButton(QStringLiteral("Convert to &MSExcel"), this);
    excel->setObjectName(QString::number(kExcelButton));
    excel->hide();
    buttons->addWidget(view);
    buttons->addWidget(excel);
    buttons->addStretch();
    buttons->addWidget(done);
    layout->addLayout(buttons);
    resize(520, 260);

    if (m_list->topLevelItemCount() > 0) {
        m_list->setCurrentItem(m_list->topLevelItem(0));
        m_list->topLevelItem(0)->setSelected(true);
    }
    connect(view, &QPushButton::clicked, this, &CWVLaunchDM::OnView);
    connect(done, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &CWVLaunchDM::OnView);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &CWVLaunchDM::OnSelectionChanged);
}

std::string CWVLaunchDM::ChosenPath() const
{
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    QTreeWidgetItem* item = selected.isEmpty() ? m_list->topLevelItem(0) : selected.front();
    if (item == nullptr) {
        return {};
    }
    const int row = m_list->indexOfTopLevelItem(item);
    return row >= 0 && static_cast<size_t>(row) < m_paths.size() ? m_paths[static_cast<size_t>(row)] : std::string();
}

void CWVLaunchDM::OnView()
{
    const std::string path = ChosenPath();
    // The dialog closes first; the selection switches the right-hand view, which runs at
    // the top level once the caller's command has returned.
    accept();
    if (!path.empty() && m_frame != nullptr) {
        CWVFrame* frame = m_frame;
        frame->PostTopLevelWork([frame, path] { SelectExtractedFile(frame, path); });
    }
}

void CWVLaunchDM::OnSelectionChanged()
{
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    if (!selected.isEmpty() && !selected.front()->text(0).isEmpty()) {
        return;
    }
    if (QTreeWidgetItem* first = m_list->topLevelItem(0)) {
        const QSignalBlocker block(m_list);
        m_list->setCurrentItem(first);
        first->setSelected(true);
    }
}
