// One program version everywhere: the version the program reports, the caption of its
// message boxes and its window title all come from the build's project version.

#include "app/WellvoxApp.h"
#include "foundation/AppUtils.h"
#include "resources/StringTable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The four numbers of a version text, as texts.
std::vector<std::string> NumbersOf(const std::string& version)
{
    std::vector<std::string> numbers;
    size_t start = 0;
    for (;;) {
        const size_t dot = version.find('.', start);
        numbers.push_back(version.substr(start, dot - start));
        if (dot == std::string::npos) {
            return numbers;
        }
        start = dot + 1;
    }
}

TEST(ProgramVersion, CaptionAndTitleShowTheVersionTheProgramReports)
{
    const std::string version = GetProgramVersion();
    const std::vector<std::string> n = NumbersOf(version);
    ASSERT_EQ(n.size(), 4u) << version;
    // Message boxes name the product by major and minor number, the title adds the third.
    EXPECT_EQ(GetResString(kStrProgramCaption), "Wellvox\u00AE " + n[0] + "." + n[1]);
    EXPECT_EQ(CWellvoxApp::BuildAppTitle(version), "Wellvox\u00AE " + n[0] + "." + n[1] + n[2]);
    // This is the product's version 4.0: the caption the program's texts were written with.
    EXPECT_EQ(version, "4.0.0.0");
    EXPECT_EQ(GetResString(kStrProgramCaption), "Wellvox\u00AE 4.0");
    EXPECT_EQ(CWellvoxApp::BuildAppTitle(version), "Wellvox\u00AE 4.00");
}

TEST(ProgramVersion, TheTitleDropsTheFourthNumberAndTheDotBeforeTheThird)
{
    const struct {
        const char* version;
        const char* title;
    } cases[] = {
        {"4.58.18.0", "Wellvox\u00AE 4.5818"},
        {"4.0.0.0", "Wellvox\u00AE 4.00"},
        {"4.1.2.3", "Wellvox\u00AE 4.12"},
        {"0.1.0.0", "Wellvox\u00AE 0.10"},
        {"10.20.30.40", "Wellvox\u00AE 10.2030"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CWellvoxApp::BuildAppTitle(c.version), c.title) << c.version;
    }
}

} // namespace
