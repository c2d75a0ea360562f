#include "platform/Clock.h"
#include "platform/Pump.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(Clock, SystemClockIsMonotonicAndSleeps)
{
    wv::SystemClock clock;
    uint64_t a = clock.NowMs();
    clock.SleepMs(20);
    uint64_t b = clock.NowMs();
    EXPECT_GE(b - a, 20u);
}

TEST(Clock, ManualClockMovesOnlyWhenTold)
{
    wv::ManualClock clock(500);
    wv::ScopedClock scoped(clock);
    EXPECT_EQ(wv::GetClock().NowMs(), 500u);
    wv::GetClock().SleepMs(250);
    EXPECT_EQ(clock.NowMs(), 750u);
    clock.Advance(10);
    EXPECT_EQ(wv::GetClock().NowMs(), 760u);
    EXPECT_TRUE(wv::GetClock().IsSimulated());
}

TEST(Clock, ScopedClockRestoresTheSystemClock)
{
    {
        wv::ManualClock clock;
        wv::ScopedClock scoped(clock);
    }
    EXPECT_FALSE(wv::GetClock().IsSimulated());
}

TEST(Pump, HookRunsOnlyOnTheInstallingThread)
{
    int calls = 0;
    wv::SetPumpHook([&] { ++calls; return true; });
    EXPECT_TRUE(wv::PumpOnce());
    bool fromWorker = true;
    std::thread([&] { fromWorker = wv::PumpOnce(); }).join();
    EXPECT_FALSE(fromWorker);
    EXPECT_EQ(calls, 1);
    wv::SetPumpHook({});
    EXPECT_FALSE(wv::PumpOnce());
    EXPECT_EQ(calls, 1);
}

} // namespace
