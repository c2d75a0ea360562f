// The low-flow worker's messages posted from another thread reach the application's
// signals and its profile handler on the user-interface thread, in order, only once the
// event loop runs; without a handler they are dropped after the signals.

#include "app/ProfileRelay.h"
#include "app/WellvoxApp.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <string>
#include <thread>
#include <vector>

namespace {

struct RecordingHandler : CProfileHandler {
    void OnProfileState(uintptr_t wparam, intptr_t lparam) override { Add("A", wparam, lparam); }
    void OnProfileStatus(uintptr_t wparam, intptr_t lparam) override { Add("U", wparam, lparam); }
    void Add(const char* kind, uintptr_t wparam, intptr_t lparam)
    {
        got.push_back(kind + std::to_string(wparam) + ":" + std::to_string(lparam));
    }
    std::vector<std::string> got;
};

TEST(ProfileRelayTest, WorkerMessagesReachSignalsAndHandlerOnTheUserInterfaceThread)
{
    CWellvoxApp app;
    ASSERT_NE(GetDefaultProfileNotifyTarget(), nullptr);
    RecordingHandler handler;
    app.SetProfileHandler(&handler);
    RecordingHandler signalled;
    QObject::connect(&app, &CWellvoxApp::ProfileState,
                     [&](uintptr_t w, intptr_t l) { signalled.OnProfileState(w, l); });
    QObject::connect(&app, &CWellvoxApp::ProfileStatus,
                     [&](uintptr_t w, intptr_t l) { signalled.OnProfileStatus(w, l); });

    const auto post = [] {
        CProfileNotifyTarget* target = GetDefaultProfileNotifyTarget();
        target->PostProfileState(1, 10);
        target->PostProfileStatus(0, 20);
        target->PostProfileStatus(1, 21);
        target->PostProfileState(0, 11);
    };
    std::thread worker(post);
    worker.join();
    EXPECT_TRUE(handler.got.empty());  // queued until the event loop runs
    QCoreApplication::processEvents();
    const std::vector<std::string> expected{"A1:10", "U0:20", "U1:21", "A0:11"};
    EXPECT_EQ(handler.got, expected);
    EXPECT_EQ(signalled.got, expected);

    app.SetProfileHandler(nullptr);
    std::thread again(post);
    again.join();
    QCoreApplication::processEvents();
    EXPECT_EQ(handler.got.size(), 4u);
    EXPECT_EQ(signalled.got.size(), 8u);
}

TEST(ProfileRelayTest, TheApplicationLeavesNoTargetBehind)
{
    {
        CWellvoxApp app;
        EXPECT_NE(GetDefaultProfileNotifyTarget(), nullptr);
    }
    EXPECT_EQ(GetDefaultProfileNotifyTarget(), nullptr);
}

} // namespace
