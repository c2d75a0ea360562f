// The About box: its texts and version, the link to the maker, and Release Notes opening
// readme.txt of the program home through the desktop's opener.

#include "app/controls/AboutDlg.h"
#include "app/controls/StaticLink.h"
#include "foundation/AppUtils.h"
#include "platform/Process.h"
#include "resources/StringTable.h"
#include "tests/controls/ControlsTestSupport.h"
#include "tests/support/Files.h"
#include "tests/support/TempHome.h"

#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using wvtest::Click;
using wvtest::RunModal;

std::vector<std::string> LabelTexts(const QWidget& dialog)
{
    std::vector<std::string> texts;
    for (const QLabel* label : dialog.findChildren<QLabel*>()) {
        texts.push_back(label->text().toStdString());
    }
    return texts;
}

TEST(AboutDlg, ShowsTheProductTheVersionAndTheMakersAddress)
{
    CAboutDlg about;
    EXPECT_EQ(about.objectName().toStdString(), "100");
    const int result = RunModal(about, [&] {
        EXPECT_EQ(about.windowTitle().toStdString(), "About Wellvox\u00AE");
        const std::vector<std::string> texts = LabelTexts(about);
        for (const char* text : {"Wellvox\u00AE 4", "Instrument Control Software", "Version"}) {
            EXPECT_NE(std::find(texts.begin(), texts.end(), text), texts.end()) << text;
        }
        auto* version = about.ItemAs<QLabel>(2023);
        ASSERT_NE(version, nullptr);
        EXPECT_EQ(version->text().toStdString(), GetProgramVersion());
        auto* link = about.ItemAs<CStaticLink>(1367);
        ASSERT_NE(link, nullptr);
        EXPECT_EQ(link->text().toStdString(), GetResString(kStrMakerWebAddress));
        EXPECT_FALSE(link->IsVisited());
        EXPECT_EQ(about.ItemAs<QPushButton>(1441)->text().toStdString(), "Release Notes...");
        ASSERT_NE(about.ItemAs<QPushButton>(1), nullptr);
        EXPECT_TRUE(about.ItemAs<QPushButton>(1)->isDefault());
        Click(about.ItemAs<QPushButton>(1));
    });
    EXPECT_EQ(result, 1);
}

// A program home whose path holds blanks, and an opener that writes down its arguments.
class ReleaseNotesTest : public ::testing::Test {
protected:
    ReleaseNotesTest()
    {
        fs::create_directories(home_);
        WriteOpener(0);
    }
    ~ReleaseNotesTest() override { wv::SetDesktopOpener({}); }

    void WriteOpener(int exitCode)
    {
        const fs::path script = dir_.Path() / "opener";
        wvtest::WriteAll(script, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> '" + log_.string() +
                                     "'; done\nexit " + std::to_string(exitCode) + "\n");
        ::chmod(script.c_str(), 0755);
        wv::SetDesktopOpener(script.string());
    }
    std::string Log() const { return wvtest::ReadText(log_).value_or(""); }

    wvtest::TempDir dir_{"about"};
    fs::path home_ = dir_.Path() / "Program Home" / "with blanks";
    wvtest::ScopedEnv homeEnv_{"WELLVOX_HOME", home_.string()};
    fs::path log_ = dir_.Path() / "opened.txt";
};

TEST_F(ReleaseNotesTest, OpensTheReadmeOfTheProgramHomeAsOneArgumentAndTheDialogStaysOpen)
{
    wvtest::WriteAll(home_ / "readme.txt", "Release notes\n");
    CAboutDlg about;
    const int result = RunModal(about, [&] {
        Click(about.ItemAs<QPushButton>(1441));
        EXPECT_EQ(Log(), (home_ / "readme.txt").string() + "\n");
        EXPECT_TRUE(about.isVisible());
        EXPECT_EQ(QApplication::activeModalWidget(), &about);
        Click(about.ItemAs<QPushButton>(1));
    });
    EXPECT_EQ(result, 1);
}

TEST_F(ReleaseNotesTest, AFailedOpenReportsNothing)
{
    // No readme.txt: the opener is still asked (it reports the missing file itself) and fails.
    WriteOpener(2);
    CAboutDlg about;
    const int result = RunModal(about, [&] {
        Click(about.ItemAs<QPushButton>(1441));
        EXPECT_EQ(Log(), (home_ / "readme.txt").string() + "\n");
        EXPECT_EQ(QApplication::activeModalWidget(), &about);
        QTest::keyClick(&about, Qt::Key_Escape);
    });
    EXPECT_EQ(result, 2);
}

} // namespace
