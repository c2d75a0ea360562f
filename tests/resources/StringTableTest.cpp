#include "resources/StringTable.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(StringTable, HoldsTheTextsAsTheProgramShowsThem)
{
    struct Case {
        uint32_t id;
        const char* text;
    };
    const Case cases[] = {
        {61207, "Home"},
        {33231, "Opening a new document will cause your open connection(s) to be closed.\nDo you wish to continue?"},
        {33232, "Create New Site"},
        {33233, "Invalid Wellvox\xC2\xAE Document!"},
        {33234, "Open File"},
        {33235, "The current site has been modified.\nDo you wish to save modifications before continuing?"},
        {33236, "Save Site"},
        {33035, "On-Line (%d) : "},
        {33535, "COM%1"},
        {33092, "Unknown"},
        {33055, "Direct"},
        {33056, "Modem"},
        {33057, "Spread Spectrum Radio"},
        {33241, "Data"},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(HasResString(c.id)) << c.id;
        EXPECT_EQ(GetResString(c.id), c.text) << c.id;
    }
}

TEST(StringTable, AnUnknownIdGivesNothing)
{
    EXPECT_FALSE(HasResString(0));
    EXPECT_FALSE(HasResString(65534));
    EXPECT_TRUE(GetResString(65534).empty());
    EXPECT_TRUE(FormatResString(65534, 5).empty());
}

TEST(StringTable, FillsItsFormats)
{
    EXPECT_EQ(FormatResString(kStrOnLinePrefix, 3), "On-Line (3) : ");
    EXPECT_EQ(FormatResString(kStrOnLinePrefix, -12), "On-Line (-12) : ");
    EXPECT_EQ(FormatResString(kStrComPort, "12"), "COM12");
    // A text without the placeholder stays as it is.
    EXPECT_EQ(FormatResString(kStrHomeSite, 7), "Home");
    EXPECT_EQ(FormatResString(kStrHomeSite, "x"), "Home");
    // The argument is inserted as it is, even when it looks like a placeholder.
    EXPECT_EQ(FormatResString(kStrComPort, "%1"), "COM%1");
}

} // namespace
