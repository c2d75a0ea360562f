// The program's start hands the channel nodes its unit catalogue and the short-read switch,
// and its end takes the catalogue back.

#include "site/QorChannel.h"
#include "tests/app/AppFixture.h"

#include <gtest/gtest.h>

namespace {

class ChannelSettingsStartTest : public wvtest::AppFixture {};

// The read time-out an empty channel of a sonde gives the test wizard.
int SondeReadTimeout()
{
    const CQorChannel channel;
    return channel.GetReadTimeout(30);
}

TEST_F(ChannelSettingsStartTest, TheStartGivesTheChannelsTheCatalogueAndTheSwitch)
{
    CQorChannel::SetAllow2SecondTest(true);
    Start();
    EXPECT_EQ(CQorChannel::GetUnitCatalog(), &app_->GetPreferences());
    EXPECT_EQ(SondeReadTimeout(), 500);
    app_->ExitInstance();
    app_.reset();
    EXPECT_EQ(CQorChannel::GetUnitCatalog(), nullptr);
}

TEST_F(ChannelSettingsStartTest, TheSwitchInAnyCaseShortensTheChannelReads)
{
    Start({"/allow2secondtest"});
    EXPECT_EQ(SondeReadTimeout(), 200);
    EXPECT_EQ(CQorChannel::GetUnitCatalog(), &app_->GetPreferences());
    app_->ExitInstance();
    app_.reset();
    CQorChannel::SetAllow2SecondTest(false);
}

} // namespace
