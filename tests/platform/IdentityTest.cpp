#include "platform/Identity.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace {

TEST(Identity, VersionTextComesFromTheBuild)
{
    std::string v = wv::ProgramVersionText();
    EXPECT_TRUE(std::regex_match(v, std::regex(R"(\d+\.\d+\.\d+\.\d+)"))) << v;
}

TEST(Identity, AccountNamesAreQualifiedByTheirDomain)
{
    struct Case {
        const char* login;
        const char* defaultDomain;
        const char* expected;
    };
    const Case cases[] = {
        {"OFFICE\\tech1", "host", "OFFICE\\tech1"},
        {"tech1@office.example", "host", "office.example\\tech1"},
        {"a@b@corp", "host", "corp\\a@b"},
        {"tech1", "fieldpc", "fieldpc\\tech1"},
        {"tech1", "", ""},
        {"", "fieldpc", ""},
        // A bare '@' at either end is part of the name.
        {"@tech1", "pc", "pc\\@tech1"},
        {"tech1@", "pc", "pc\\tech1@"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(wv::QualifiedAccountName(c.login, c.defaultDomain), c.expected) << c.login;
}

TEST(Identity, TheLocalDomainIsTheNisDomainOrTheShortHostName)
{
    std::string domain = wv::LocalDomainName();
    EXPECT_FALSE(domain.empty());
    EXPECT_NE(domain, "(none)");
    EXPECT_EQ(domain.find('.'), std::string::npos) << "expected a short host name or NIS domain: " << domain;
}

TEST(Identity, TheLogonAccountCarriesTheLocalDomain)
{
    std::string account = wv::LogonAccountName();
    ASSERT_FALSE(account.empty());
    size_t slash = account.find('\\');
    ASSERT_NE(slash, std::string::npos) << account;
    EXPECT_GT(account.size(), slash + 1);
}

TEST(Identity, WorkgroupIsReadFromTheGlobalSection)
{
    const char* config =
        "# comment\n"
        "[homes]\n"
        "   workgroup = NOTTHIS\n"
        "[ Global ]\n"
        "; workgroup = COMMENTED\n"
        "   server string = field pc\r\n"
        "   WorkGroup =  FIELDTEAM \r\n"
        "[printers]\n"
        "workgroup = NOREITHER\n";
    EXPECT_EQ(wv::WorkgroupFromSmbConfig(config), "FIELDTEAM");
    EXPECT_EQ(wv::WorkgroupFromSmbConfig("[global]\nsecurity = user\n"), "");
    EXPECT_EQ(wv::WorkgroupFromSmbConfig(""), "");
    EXPECT_EQ(wv::WorkgroupFromSmbConfig("workgroup = OUTSIDE\n"), "");
}

} // namespace
