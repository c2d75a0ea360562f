// The calibration reports' index in the program: start-up writes a missing one and
// keeps an existing one; Show Calibration Reports writes a missing index before the
// desktop opens it.

#include "tests/app/AppFixture.h"

#include "app/CommandIds.h"
#include "platform/Process.h"
#include "tests/support/Files.h"

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;
using wvtest::AppFixture;
using wvtest::ReadAll;
using wvtest::ReadText;
using wvtest::WriteAll;

class CalReportsTest : public AppFixture {
protected:
    fs::path Index() const { return home_.Path() / "Calibration Reports" / "Index.html"; }

    // An opener that logs the file it is given and whether that file was there.
    void UseLoggingOpener()
    {
        const fs::path opener = home_.Root() / "opener";
        WriteAll(opener, "#!/bin/sh\nif [ -f \"$1\" ]; then s=present; else s=missing; fi\n"
                         "printf '%s %s' \"$s\" \"$1\" > '" + log_.string() + "'\n");
        fs::permissions(opener, fs::perms::owner_all);
        wv::SetDesktopOpener(opener.string());
    }
    void TearDown() override
    {
        wv::SetDesktopOpener({});
        AppFixture::TearDown();
    }

    fs::path log_ = home_.Root() / "opened.txt";
};

} // namespace

TEST_F(CalReportsTest, StartUpWritesAMissingIndex)
{
    WriteAll(wvtest::MadeFolder(home_.Path() / "Calibration Reports" / "SN42") / "SN42 2012-03-08 142501 PH.html", "");
    Start();
    const std::optional<std::string> text = ReadText(Index());
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->rfind("<HTML>\r\n<HEAD>\r\n<TITLE>Index.html</TITLE>", 0), 0u);
    EXPECT_NE(text->find("<a href=\"SN42/SN42%202012-03-08%20142501%20PH.html\">SN42 2012-03-08 142501 PH.html</a>"),
              std::string::npos);
}

TEST_F(CalReportsTest, StartUpKeepsAnExistingIndex)
{
    WriteAll(wvtest::MadeFolder(home_.Path() / "Calibration Reports") / "Index.html", "the user's index");
    Start();
    EXPECT_EQ(ReadAll(Index()), "the user's index");
}

TEST_F(CalReportsTest, ShowCalibrationReportsWritesAMissingIndexFirst)
{
    Start();
    UseLoggingOpener();
    fs::remove_all(home_.Path() / "Calibration Reports");
    Frame().RunCommand(wvcmd::kShowCalReports);
    EXPECT_EQ(ReadAll(log_), "present " + Index().string());
    EXPECT_EQ(ReadAll(Index()).rfind("<HTML>", 0), 0u);

    // An index that is there is opened as it is.
    WriteAll(Index(), "kept");
    fs::remove(log_);
    Frame().RunCommand(wvcmd::kShowCalReport);
    EXPECT_EQ(ReadAll(log_), "present " + Index().string());
    EXPECT_EQ(ReadAll(Index()), "kept");
}
