// Help > About from the main window: enabled, greyed while the frame is busy, showing the
// About box modally with the program's version and its link to the maker. And the output
// test name's "Don't show this dialog again", kept across a restart in the preferences.

#include "tests/app/AppFixture.h"

#include "app/CommandIds.h"
#include "app/controls/AboutDlg.h"
#include "app/controls/Beep.h"
#include "app/controls/StaticLink.h"
#include "app/controls/TestNameDlg.h"
#include "foundation/AppUtils.h"
#include "resources/StringTable.h"

#include <QAction>
#include <QCheckBox>
#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

#include <string>
#include <vector>

namespace {

using wvtest::AppFixture;

// Takes the maker's web links, so no browser starts.
class WebLinkCatcher : public QObject {
    Q_OBJECT
public:
    WebLinkCatcher() { QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "Open"); }
    ~WebLinkCatcher() override { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); }
    std::vector<QUrl> opened;
public slots:
    void Open(const QUrl& url) { opened.push_back(url); }
};

class AboutBoxTest : public AppFixture {};

TEST_F(AboutBoxTest, HelpAboutIsGreyedOnlyWhileBusy)
{
    Start();
    QAction* about = Frame().Action(wvcmd::kAppAbout);
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isEnabled());
    Frame().BeginBusy();
    Frame().BeginBusy();
    EXPECT_FALSE(about->isEnabled());
    Frame().EndBusy();
    EXPECT_FALSE(about->isEnabled());
    Frame().EndBusy();
    EXPECT_TRUE(about->isEnabled());
}

TEST_F(AboutBoxTest, HelpAboutShowsTheBoxModallyWithTheVersionAndALinkThatTurnsPurple)
{
    Start();
    WebLinkCatcher catcher;
    std::vector<int> beeps;
    wvctl::SetBeepHandler([&beeps](wvctl::BeepKind kind) { beeps.push_back(static_cast<int>(kind)); });
    bool seen = false;
    QTimer::singleShot(0, &Frame(), [&] {
        auto* box = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen = true;
        EXPECT_EQ(box->parentWidget(), &Frame());
        EXPECT_EQ(box->ItemAs<QLabel>(2023)->text().toStdString(), "4.0.0.0");
        EXPECT_EQ(box->ItemAs<QLabel>(2023)->text().toStdString(), GetProgramVersion());
        bool named = false;
        for (const QLabel* label : box->findChildren<QLabel*>()) {
            named = named || label->text() == QStringLiteral("Wellvox\u00AE 4");
        }
        EXPECT_TRUE(named);
        // Idle work waits while the box is open.
        EXPECT_FALSE(CWVFrame::IsTopLevel());

        auto* link = box->ItemAs<CStaticLink>(1367);
        EXPECT_EQ(link->GetTextColor(), QColor(0, 0, 255));
        QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(4, link->height() / 2));
        EXPECT_TRUE(link->IsVisited());
        EXPECT_EQ(link->GetTextColor(), QColor(128, 0, 128));
        QTest::mouseClick(box->ItemAs<QPushButton>(1), Qt::LeftButton);
    });
    Frame().Action(wvcmd::kAppAbout)->trigger();
    wvctl::SetBeepHandler({});
    EXPECT_TRUE(seen);
    ASSERT_EQ(catcher.opened.size(), 1u);
    EXPECT_EQ(catcher.opened[0], QUrl(QString::fromUtf8(GetResString(kStrMakerWebAddress).data())));
    EXPECT_TRUE(beeps.empty());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(AboutBoxTest, TheCommandShowsNothingWhileBusy)
{
    Start();
    bool opened = false;
    QTimer::singleShot(0, &Frame(), [&] {
        if (auto* box = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget())) {
            opened = true;
            box->reject();
        }
    });
    {
        CBusyGuard busy(&Frame());
        Frame().RunCommand(wvcmd::kAppAbout);
    }
    Pump();
    EXPECT_FALSE(opened);
}

TEST_F(AboutBoxTest, TheTestNameDialogsDontShowBoxHoldsAfterARestart)
{
    Start();
    {
        CTestNameDlg dialog(app_->GetPreferences().blockProfileLogName, &Frame());
        ASSERT_TRUE(dialog.ShouldShow());
        QTimer::singleShot(0, &dialog, [&dialog] {
            auto* box = dialog.ItemAs<QCheckBox>(1901);
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
            QTest::mouseClick(dialog.ItemAs<QPushButton>(1), Qt::LeftButton);
        });
        EXPECT_EQ(dialog.DoModal(), 1);
        EXPECT_FALSE(dialog.ShouldShow());
    }
    app_->ExitInstance();
    app_.reset();
    Start();
    CTestNameDlg dialog(app_->GetPreferences().blockProfileLogName, &Frame());
    EXPECT_FALSE(dialog.ShouldShow());
    EXPECT_EQ(dialog.GetTestName(), "Profiler");
}

} // namespace

#include "AboutBoxTest.moc"
