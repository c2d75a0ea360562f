// The site view and the connection view driven through the window by their controls' ids:
// the connection list, Add through the connection wizard (with a full site), Delete with
// its progress, the new-site request, the connection's fields by kind, Edit and Delete,
// and the tree's context menu acting through the same views.

#include "tests/app/AppFixture.h"
#include "tests/app/ConnWizardScripts.h"

#include "app/CommandIds.h"
#include "app/WVConnectionView.h"
#include "app/WVSiteView.h"
#include "foundation/Registry.h"
#include "resources/StringTable.h"
#include "site/QorConnection.h"
#include "site/QorSite.h"
#include "tests/support/ScopedEnv.h"
#include "wizards/ConnWiz.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <fstream>
#include <string>
#include <vector>

namespace {

using wvtest::AppFixture;
using wvtest::FinishWizard;

CConnectionInfo Info(const std::string& name, uint16_t kind, uint8_t port = 0, uint16_t baud = 9600)
{
    CConnectionInfo info;
    info.name = name;
    info.kind = kind;
    info.port = port;
    info.baud = baud;
    return info;
}

class SiteViewTest : public AppFixture {
protected:
    SiteViewTest()
    {
        // One serial device, COM1, for the wizard's port page.
        std::ofstream(devDir_ / "ttyS0") << "";
    }

    CQorSite& Site() { return *Doc().GetSite(); }
    // Adds a connection to the site and its item to the tree, as a loaded site has them.
    CQorConnection& Add(const CConnectionInfo& info, bool network = false)
    {
        EXPECT_EQ(Site().AddConnection(info, network), 0);
        Site().RefreshTreeItem();
        return *Site().GetConnection(Site().GetConnectionCount() - 1);
    }
    // Starts with the startup's connection request answered (cancelled) and the site shown.
    void StartShown()
    {
        Start();
        Pump();
        ASSERT_EQ(wizardsSeen, 1);
    }
    CWVSiteView* SiteView() { return dynamic_cast<CWVSiteView*>(Frame().GetFormView()); }
    CWVConnectionView* ConnectionView() { return dynamic_cast<CWVConnectionView*>(Frame().GetFormView()); }
    QWidget* Control(uint32_t id) { return Frame().GetFormView()->FindControl(id); }
    void Press(uint32_t id)
    {
        auto* button = qobject_cast<QPushButton*>(Control(id));
        ASSERT_NE(button, nullptr) << id;
        ASSERT_TRUE(button->isEnabled()) << id;
        QTest::mouseClick(button, Qt::LeftButton);
    }
    QString Text(uint32_t id)
    {
        auto* label = qobject_cast<QLabel*>(Control(id));
        return label != nullptr ? label->text() : QStringLiteral("<none>");
    }
    std::vector<std::string> Rows(int column)
    {
        std::vector<std::string> rows;
        QTreeWidget* list = Frame().GetFormView()->GetList();
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            rows.push_back(list->topLevelItem(i)->text(column).toStdString());
        }
        return rows;
    }
    std::vector<std::string> ConnectionNames()
    {
        std::vector<std::string> names;
        for (int i = 0; i < Site().GetConnectionCount(); ++i) {
            names.push_back(Site().GetConnection(i)->GetName());
        }
        return names;
    }
    // Runs a tree context-menu command on the selected node as the user would.
    void MenuCommand(uint32_t id)
    {
        std::unique_ptr<QMenu> menu(Tree().BuildContextMenu());
        ASSERT_NE(menu, nullptr);
        auto* action = menu->findChild<QAction*>(QString::number(id));
        ASSERT_NE(action, nullptr) << id;
        ASSERT_TRUE(action->isEnabled()) << id;
        action->trigger();
    }

    const std::filesystem::path devDir_ = wvtest::MadeFolder(home_.Root() / "dev");
    wvtest::ScopedEnv devEnv_{"WELLVOX_DEV_DIR", devDir_.string()};
};

TEST_F(SiteViewTest, ListsTheConnectionsWithTheirStateAndStoredColumnWidths)
{
    WriteRegDword(CWVSiteView::kColumnSection, "Col1", 222);
    StartShown();
    Add(Info("North & South", kConnectionDirect, 2));
    Add(Info("Dial", kConnectionModem, 0));
    Add(Info("Air", kConnectionRadio, 1));
    Doc().UpdateOtherViews();

    CWVSiteView* view = SiteView();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->objectName(), "121");
    EXPECT_EQ(view->GetCaption(), "Site Information");
    QTreeWidget* list = view->GetList();
    EXPECT_EQ(list->headerItem()->text(0), "Connection Type and Name");
    EXPECT_EQ(list->headerItem()->text(1), "Connection Status");
    EXPECT_EQ(Rows(0), (std::vector<std::string>{"Direct - North & South", "Modem - Dial",
                                                 "Spread Spectrum Radio - Air"}));
    EXPECT_EQ(Rows(1), (std::vector<std::string>{"Disconnected", "Disconnected", "Disconnected"}));
    // Column 1's stored width, widened only to fit its contents.
    EXPECT_GE(list->columnWidth(1), 222);
    EXPECT_EQ(qobject_cast<QPushButton*>(Control(CWVSiteView::kAddButton))->text(), "Add...");
    EXPECT_EQ(qobject_cast<QPushButton*>(Control(CWVSiteView::kDeleteButton))->text(), "Delete");
    EXPECT_TRUE(Control(CWVSiteView::kAddButton)->isEnabled());
    EXPECT_FALSE(Control(CWVSiteView::kDeleteButton)->isEnabled());

    // A selected row enables Delete; every update greys it again.
    list->topLevelItem(1)->setSelected(true);
    EXPECT_TRUE(Control(CWVSiteView::kDeleteButton)->isEnabled());
    Doc().UpdateOtherViews();
    EXPECT_FALSE(Control(CWVSiteView::kDeleteButton)->isEnabled());

    // Leaving the view stores the widths.
    list->setColumnWidth(0, 301);
    Site().GetConnection(0)->SelectTreeItem();
    EXPECT_EQ(ReadRegDword(CWVSiteView::kColumnSection, "Col0", 0), 301u);
}

TEST_F(SiteViewTest, AddRunsTheWizardAndSelectsTheNewConnection)
{
    StartShown();
    wizardScripts.push_back(FinishWizard("Creek & Co", false));
    Press(CWVSiteView::kAddButton);
    ASSERT_EQ(wizardsSeen, 2);
    ASSERT_EQ(Site().GetConnectionCount(), 1);
    CQorConnection& added = *Site().GetConnection(0);
    EXPECT_EQ(added.GetName(), "Creek & Co");
    EXPECT_EQ(added.GetPortText(), "COM1");
    EXPECT_EQ(added.GetBaudText(), "19200");
    EXPECT_TRUE(Doc().IsModified());
    // The new item is selected and the pane shows its connection view.
    EXPECT_EQ(Tree().GetSelectedItem(), added.GetTreeItem());
    EXPECT_EQ(Tree().ItemOf(added.GetTreeItem())->text(0).toStdString(), "Creek & Co");
    ASSERT_NE(ConnectionView(), nullptr);
    EXPECT_EQ(Text(CWVConnectionView::kNameValue), "Creek & Co");

    // Cancel adds nothing.
    Site().SelectTreeItem();
    Pump();
    Press(CWVSiteView::kAddButton);
    EXPECT_EQ(wizardsSeen, 3);
    EXPECT_EQ(Site().GetConnectionCount(), 1);
    EXPECT_NE(SiteView(), nullptr);
}

TEST_F(SiteViewTest, ASixteenthConnectionGreysAddAndASeventeenthIsRefused)
{
    StartShown();
    for (int i = 0; i < CQorSite::kMaxConnections - 1; ++i) {
        Add(Info("C" + std::to_string(i), kConnectionDirect, static_cast<uint8_t>(i)));
    }
    Doc().UpdateOtherViews();
    ASSERT_NE(SiteView(), nullptr);
    EXPECT_TRUE(Control(CWVSiteView::kAddButton)->isEnabled());

    // The site fills up while the wizard is open: the add is refused after Finish, with a
    // message, and nothing is selected, modified or searched.
    Doc().SetModifiedFlag(false);
    wizardScripts.push_back([this](CWizardSheet& sheet) {
        Add(Info("Late", kConnectionDirect, 40));
        FinishWizard("Seventeenth", true)(sheet);
    });
    Press(CWVSiteView::kAddButton);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].textId, kStrSiteFull);
    EXPECT_EQ(Frame().lastMessageText, "Error #6121-A site holds at most 16 connections!\n"
                                       "Delete a connection before adding another.");
    EXPECT_EQ(Site().GetConnectionCount(), CQorSite::kMaxConnections);
    EXPECT_EQ(Site().GetConnection(15)->GetName(), "Late");
    EXPECT_EQ(Tree().GetSelectedItem(), Site().GetTreeItem());
    EXPECT_FALSE(Doc().IsModified());
    Pump();
    EXPECT_FALSE(Site().GetConnection(15)->IsOpen());

    // At sixteen, Add is greyed; the tree's Add tells the user without opening the wizard.
    Doc().UpdateOtherViews();
    EXPECT_FALSE(Control(CWVSiteView::kAddButton)->isEnabled());
    const int wizards = wizardsSeen;
    MenuCommand(wvcmd::kTreeAddConnection);
    EXPECT_EQ(wizardsSeen, wizards);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].textId, kStrSiteFull);

    // Deleting one enables Add again at the next update.
    Site().RemoveConnection(Site().GetConnection(0));
    Doc().UpdateOtherViews();
    EXPECT_TRUE(Control(CWVSiteView::kAddButton)->isEnabled());
}

TEST_F(SiteViewTest, DeleteRemovesTheSelectedRowsCountingThemInTheStatusBar)
{
    StartShown();
    for (const char* name : {"A", "B", "C", "D", "E"}) {
        Add(Info(name, kConnectionDirect, 3));
    }
    Doc().UpdateOtherViews();
    QTreeWidget* list = SiteView()->GetList();

    // The status pane is painted at once on every change: record what it shows then.
    auto* pane = Frame().findChild<QLabel*>(QStringLiteral("pane0"));
    std::vector<std::string> statuses;
    std::vector<int> progress;
    struct Recorder : QObject {
        std::function<void()> onPaint;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Paint) {
                onPaint();
            }
            return false;
        }
    } recorder;
    recorder.onPaint = [&] {
        const std::string text = pane->text().toStdString();
        if (statuses.empty() || statuses.back() != text) {
            statuses.push_back(text);
        }
    };
    pane->installEventFilter(&recorder);
    // The progress bar is made when first needed: its values are recorded from then on.
    struct BarWatch : QObject {
        std::vector<int>* values = nullptr;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::ChildPolished) {
                auto* child = static_cast<QChildEvent*>(event)->child();
                if (auto* bar = qobject_cast<QProgressBar*>(child)) {
                    QObject::connect(bar, &QProgressBar::valueChanged, this, [this](int value) { values->push_back(value); });
                }
            }
            return false;
        }
    } barWatch;
    barWatch.values = &progress;
    QLabel* progressPane = Frame().findChild<QLabel*>(QStringLiteral("pane1"));
    ASSERT_NE(progressPane, nullptr);
    progressPane->installEventFilter(&barWatch);

    struct Case {
        const char* what;
        MessageAnswer answer;
        std::vector<std::string> left;
    };
    const Case cases[] = {
        {"No keeps them", MessageAnswer::No, {"A", "B", "C", "D", "E"}},
        {"Yes deletes the second and the fourth", MessageAnswer::Yes, {"A", "C", "E"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        messages.clear();
        statuses.clear();
        progress.clear();
        list->clearSelection();
        list->topLevelItem(3)->setSelected(true);
        list->topLevelItem(1)->setSelected(true);
        answers = {c.answer};
        Press(CWVSiteView::kDeleteButton);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].textId, kStrDeleteConnectionsPrompt);
        EXPECT_EQ(messages[0].captionId, kStrDeleteConnections);
        EXPECT_EQ(messages[0].buttons, MessageButtons::YesNo);
        EXPECT_EQ(ConnectionNames(), c.left);
    }
    pane->removeEventFilter(&recorder);
    progressPane->removeEventFilter(&barWatch);
    EXPECT_EQ(statuses, (std::vector<std::string>{"Deleting Connection 1 of 2...", "Deleting Connection 2 of 2...",
                                                  "Ready"}));
    EXPECT_EQ(progress, (std::vector<int>{50, 100}));
    EXPECT_TRUE(Doc().IsModified());
    EXPECT_EQ(Rows(0), (std::vector<std::string>{"Direct - A", "Direct - C", "Direct - E"}));
    EXPECT_EQ(ChildTexts(Site().GetTreeItem()).size(), 5u); // two folders and three connections
    EXPECT_FALSE(Frame().IsBusy());
    EXPECT_EQ(Frame().findChild<QProgressBar*>(QString::number(wvcmd::kProgressBar)), nullptr);
}

TEST_F(SiteViewTest, DoubleClickingARowSelectsThatConnectionInTheTree)
{
    StartShown();
    Add(Info("First", kConnectionDirect, 0));
    CQorConnection& second = Add(Info("Second", kConnectionRadio, 1));
    Doc().UpdateOtherViews();
    QPointer<CWVView> siteView = SiteView();
    QTreeWidget* list = siteView->GetList();
    QTreeWidgetItem* row = list->topLevelItem(1);
    Pump();
    // A double click is a click followed by the second press.
    const QPoint at = list->visualItemRect(row).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    // The folders before the connections do not shift the row.
    EXPECT_EQ(Tree().GetSelectedItem(), second.GetTreeItem());
    ASSERT_NE(ConnectionView(), nullptr);
    EXPECT_EQ(ConnectionView()->GetCaption(), "Spread Spectrum Radio");
    // The site view whose list asked for the switch is retired, and goes at the top level.
    EXPECT_FALSE(siteView.isNull());
    Pump();
    EXPECT_TRUE(siteView.isNull());
    EXPECT_EQ(Frame().RetiredViewCount(), 0u);
}

TEST_F(SiteViewTest, TheListFillsThePaneEachTimeTheSiteViewIsShown)
{
    StartShown();
    CQorConnection& connection = Add(Info("Line", kConnectionDirect, 0));
    // The template keeps 8 pixels beside the list and 84 above and below it; the buttons
    // sit 8 pixels above the view's bottom.
    auto expectFilled = [this](const char* when) {
        SCOPED_TRACE(when);
        CWVSiteView* view = SiteView();
        ASSERT_NE(view, nullptr);
        ASSERT_GT(view->width(), CWVSiteView::kTemplateWidth);
        ASSERT_GT(view->height(), CWVSiteView::kTemplateHeight);
        const QRect list = view->GetList()->geometry();
        EXPECT_EQ(list.width(), view->width() - 16);
        EXPECT_EQ(list.height(), view->height() - 84);
        EXPECT_EQ(Control(CWVSiteView::kAddButton)->geometry().bottom() + 1, view->height() - 8);
    };
    expectFilled("at start");
    for (const QSize size : {QSize(760, 520), QSize(700, 480)}) {
        connection.SelectTreeItem();
        Pump();
        ASSERT_NE(ConnectionView(), nullptr);
        // The window changes size while another view is shown.
        Frame().resize(size);
        Pump();
        Site().SelectTreeItem();
        Pump();
        expectFilled("after a switch back");
    }
}

TEST_F(SiteViewTest, ANewSiteAsksForItsFirstConnectionFromTheTopLevelOnly)
{
    // A first start with an empty home: the wizard opens once the window is up.
    Start();
    EXPECT_EQ(wizardsSeen, 0);
    Pump();
    EXPECT_EQ(wizardsSeen, 1);

    // File > New: the site view takes the request during the update and posts it.
    Frame().RunCommand(wvcmd::kFileNew);
    EXPECT_FALSE(Frame().IsNewSite());
    EXPECT_EQ(wizardsSeen, 1);
    Pump();
    EXPECT_EQ(wizardsSeen, 2);

    // A site opened from a file does not ask.
    Add(Info("Kept", kConnectionDirect, 0));
    savePath = (home_.Root() / "Kept.wv4").string();
    Frame().RunCommand(wvcmd::kFileSaveAs);
    Frame().RunCommand(wvcmd::kFileNew);
    Pump();
    EXPECT_EQ(wizardsSeen, 3);
    openPath = savePath;
    Frame().RunCommand(wvcmd::kFileOpen);
    Pump();
    EXPECT_EQ(Site().GetConnectionCount(), 1);
    EXPECT_EQ(wizardsSeen, 3);
}

TEST_F(SiteViewTest, TheConnectionViewShowsTheFieldsOfEachKind)
{
    StartShown();
    CConnectionInfo modem = Info("Dial & Log", kConnectionModem, 4, 2400);
    modem.phoneNumber = "555-0199";
    modem.callTimeout = 0xFFFFFFFBu; // shown as a signed number
    struct Case {
        CConnectionInfo info;
        bool network;
        const char* caption;
        std::string port;
        const char* baud;
        const char* strategy;
        bool modemRows;
        const char* phone;
        const char* seconds;
    };
    // COM1 is the test's serial device (the start-up wizard's port list mapped it) and shows
    // its path; COM3 and COM5 stand for no device yet.
    const std::string com1 = "COM1 (" + (devDir_ / "ttyS0").string() + ")";
    const Case cases[] = {
        {modem, false, "Modem Connection", "COM5", "2400", "Single Device", true, "555-0199", "-5"},
        {Info("A&B", kConnectionDirect, 2, 57600), true, "Direct Connection", "COM3", "57600", "Network", false, "", ""},
        {Info("Air", kConnectionRadio, 0, 9600), false, "Spread Spectrum Radio", com1, "9600", "Single Device", false,
         "", ""},
    };
    // One after the other, so each view also hides or shows what the last one showed.
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        CQorConnection& connection = Add(c.info, c.network);
        connection.SelectTreeItem();
        CWVConnectionView* view = ConnectionView();
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view->objectName(), "111");
        EXPECT_EQ(view->GetCaption(), c.caption);
        EXPECT_EQ(Text(CWVConnectionView::kNameLabel), "Connection Name:");
        // Exactly as typed: no "&" doubled, none taken as a mnemonic.
        EXPECT_EQ(Text(CWVConnectionView::kNameValue).toStdString(), c.info.name);
        EXPECT_EQ(Text(CWVConnectionView::kPortValue).toStdString(), c.port);
        EXPECT_EQ(Text(CWVConnectionView::kBaudValue), c.baud);
        EXPECT_EQ(Text(CWVConnectionView::kStrategyValue), c.strategy);
        for (const uint32_t id : {CWVConnectionView::kPhoneLabel, CWVConnectionView::kPhoneValue,
                                  CWVConnectionView::kCancelCallLabel, CWVConnectionView::kCancelCallValue,
                                  CWVConnectionView::kSecondsLabel}) {
            EXPECT_EQ(Control(id)->isVisibleTo(view), c.modemRows) << id;
        }
        if (c.modemRows) {
            EXPECT_EQ(Text(CWVConnectionView::kPhoneValue), c.phone);
            EXPECT_EQ(Text(CWVConnectionView::kCancelCallValue), c.seconds);
            EXPECT_EQ(Text(CWVConnectionView::kCancelCallLabel), "Cancel call if not connected within");
        }
        EXPECT_EQ(view->GetButtonId(1), 1160);
        EXPECT_EQ(view->GetButtonId(2), 1142);
        EXPECT_EQ(view->GetButtonId(3), 1155);
        EXPECT_EQ(qobject_cast<QPushButton*>(Control(1160))->text(), "Find");
        EXPECT_EQ(qobject_cast<QPushButton*>(Control(1142))->text(), "Edit...");
        EXPECT_EQ(qobject_cast<QPushButton*>(Control(1155))->text(), "Delete");
    }
}

TEST_F(SiteViewTest, EditAppliesTheWizardsSettingsAndCancelKeepsThem)
{
    StartShown();
    CQorConnection& connection = Add(Info("Old", kConnectionDirect, 0, 9600), true);
    connection.SelectTreeItem();
    Doc().SetModifiedFlag(false);

    wizardScripts.push_back([](CWizardSheet& sheet) { sheet.OnCancel(); });
    Press(CWVConnectionView::kEditButton);
    EXPECT_EQ(connection.GetName(), "Old");
    EXPECT_FALSE(Doc().IsModified());

    // Through the tree's menu this time: the same operation of the same view.
    wizardScripts.push_back(FinishWizard("Renamed", false));
    MenuCommand(wvcmd::kTreeEditConnection);
    EXPECT_EQ(connection.GetName(), "Renamed");
    // The wizard kept the stored rate and the network search.
    EXPECT_EQ(connection.GetBaud(), 9600);
    EXPECT_TRUE(connection.IsNetworkSearch());
    EXPECT_TRUE(Doc().IsModified());
    EXPECT_EQ(Text(CWVConnectionView::kNameValue), "Renamed");
    EXPECT_EQ(Tree().ItemOf(connection.GetTreeItem())->text(0), "Renamed");
    EXPECT_FALSE(connection.IsOpen());
}

TEST_F(SiteViewTest, DeleteRemovesTheConnectionAndRetiresItsViewUntilTheTopLevel)
{
    StartShown();
    Add(Info("Keep", kConnectionDirect, 0));
    CQorConnection& doomed = Add(Info("Doomed", kConnectionDirect, 1));
    doomed.SelectTreeItem();
    QPointer<CWVView> view = ConnectionView();
    ASSERT_FALSE(view.isNull());
    Doc().SetModifiedFlag(false);

    answers = {MessageAnswer::No};
    Press(CWVConnectionView::kDeleteButton);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].textId, kStrDeleteConnectionPrompt);
    EXPECT_EQ(messages[0].captionId, kStrDeleteConnection);
    EXPECT_EQ(Site().GetConnectionCount(), 2);
    EXPECT_EQ(Frame().GetFormView(), view.data());

    answers = {MessageAnswer::Yes};
    Press(CWVConnectionView::kDeleteButton);
    EXPECT_EQ(ConnectionNames(), (std::vector<std::string>{"Keep"}));
    EXPECT_TRUE(Doc().IsModified());
    EXPECT_FALSE(Frame().IsBusy());
    // The tree selected the site; the view that ran the command still exists, retired.
    EXPECT_EQ(Tree().GetSelectedItem(), Site().GetTreeItem());
    EXPECT_NE(SiteView(), nullptr);
    EXPECT_FALSE(view.isNull());
    EXPECT_GE(Frame().RetiredViewCount(), 1u);
    Pump();
    EXPECT_TRUE(view.isNull());

    // The tree's Delete acts through the view of the selected connection.
    Site().GetConnection(0)->SelectTreeItem();
    answers = {MessageAnswer::Yes};
    MenuCommand(wvcmd::kTreeDeleteConnection);
    EXPECT_EQ(Site().GetConnectionCount(), 0);
    EXPECT_NE(SiteView(), nullptr);
}

} // namespace
