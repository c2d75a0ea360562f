#include "platform/OleDateTime.h"

#include <gtest/gtest.h>

namespace {

using wv::OleDateTime;

TEST(OleDateTimeParse, ReadsTheWholeTextByTheFormat)
{
    OleDateTime v;
    EXPECT_TRUE(v.ParseFormatted("2010-03-01 14:30:05", "%Y-%m-%d %H:%M:%S"));
    EXPECT_EQ(v, OleDateTime(2010, 3, 1, 14, 30, 5));
    EXPECT_TRUE(v.ParseFormatted("14:30:05  ", "%H:%M:%S")); // blanks may follow
    EXPECT_EQ(v, OleDateTime(1899, 12, 30, 14, 30, 5));      // the zero date
    EXPECT_TRUE(v.ParseFormatted("03/01/2010", "%m/%d/%Y"));
    EXPECT_EQ(v, OleDateTime(2010, 3, 1, 0, 0, 0));
    for (const char* bad : {"03/01/2010x", "02/30/2010", "13/01/2010", "", "03/01/0099"}) {
        v = OleDateTime(2000, 1, 1, 0, 0, 0);
        EXPECT_FALSE(v.ParseFormatted(bad, "%m/%d/%Y")) << bad;
        EXPECT_FALSE(v.IsValid()) << bad;
    }
    EXPECT_FALSE(v.ParseFormatted(std::string("03/01/2010\0", 11), "%m/%d/%Y"));
}

TEST(OleDateTimeParse, TheCLocaleFormsKeepTheCentury)
{
    // The tests run in the C locale, whose own date form has a two-digit year.
    EXPECT_EQ(wv::LocaleDateFormat(), "%m/%d/%Y");
    EXPECT_EQ(wv::LocaleTimeFormat(), "%H:%M:%S");
}

} // namespace
