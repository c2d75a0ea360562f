#pragma once
// Runs code that might block for ever on a FIFO, so that a test of it fails instead of
// hanging. Opening a FIFO waits for the other end: a reader for a writer, a writer for a
// reader. The code runs on a thread of its own; when it has not finished within the
// limit, the FIFO's other end is opened (a reader that is drained, and a writer closed at
// once), which lets a blocked open return and a blocked read see the end of the data,
// and the thread is joined.
//
// The limit is reached only when the code under test is at fault; code that returns at
// once is waited for no longer than it takes.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <thread>

namespace wvtest {

// True when work returned within limit. Otherwise a test failure is recorded, the FIFO
// at fifo is opened from the other side until work has returned, and false is returned.
inline bool FinishesWithoutBlocking(const std::filesystem::path& fifo, const std::function<void()>& work,
                                    std::chrono::seconds limit = std::chrono::seconds(10))
{
    std::promise<void> finished;
    std::future<void> done = finished.get_future();
    std::thread worker([&work, &finished] {
        work();
        finished.set_value();
    });
    if (done.wait_for(limit) == std::future_status::ready) {
        worker.join();
        return true;
    }
    ADD_FAILURE() << "blocked for " << limit.count() << " s on " << fifo;
    // A reader of our own releases every open for writing; with it open, a writer of our
    // own releases an open for reading, whose reads see the end once that writer goes.
    // The writer comes and goes again until work is done, for each open that follows.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    char sink[4096];
    do {
        if (const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC); writer >= 0) {
            ::close(writer);
        }
        if (reader >= 0) {
            while (::read(reader, sink, sizeof sink) > 0) {
            }
        }
    } while (done.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready);
    worker.join();
    if (reader >= 0) {
        ::close(reader);
    }
    return false;
}

} // namespace wvtest
