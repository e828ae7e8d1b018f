// Work handed to the main thread from others, and from the disk worker.

#include "DiskWorker.h"
#include "EngineTestSupport.h"
#include "ThreadMailbox.h"

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <numeric>
#include <thread>

namespace {

TEST(ThreadMailbox, CallsFromManyThreadsRunOnItsThreadEachOnceInTheOrderEachThreadPostedThem)
{
    ThreadMailbox mailbox;
    constexpr int kThreads = 4;
    constexpr int kCalls = 500;
    std::vector<std::vector<int>> seen(kThreads);
    int offThread = 0;
    const std::thread::id main = std::this_thread::get_id();
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < kCalls; ++i) {
                mailbox.post([&, t, i] {
                    offThread += std::this_thread::get_id() == main ? 0 : 1;
                    seen[static_cast<std::size_t>(t)].push_back(i);
                });
            }
        });
    }
    for (std::thread& poster : posters)
        poster.join();
    ASSERT_TRUE(waitFor([&] {
        return std::all_of(seen.begin(), seen.end(), [](const auto& calls) { return calls.size() == kCalls; });
    }));
    EXPECT_EQ(offThread, 0);
    for (const std::vector<int>& calls : seen)
        EXPECT_TRUE(std::is_sorted(calls.begin(), calls.end()));
}

TEST(ThreadMailbox, ACallThatEndsTheMailboxStopsTheRestAndWhatWaitsIsDropped)
{
    auto mailbox = std::make_unique<ThreadMailbox>();
    int ran = 0;
    mailbox->post([&] {
        ++ran;
        mailbox.reset();
    });
    mailbox->post([&] { ++ran; });
    waitFor([] { return false; }, 200);
    EXPECT_EQ(ran, 1);
}

// CPU time this thread has used so far.
std::chrono::nanoseconds threadCpuTime()
{
    timespec now {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

TEST(ThreadMailbox, AnIdleMailboxLetsItsThreadSleep)
{
    // Once a call is delivered, the wake-up it came with must be used up;
    // one left behind makes the event loop wake again and again and the
    // thread spin on nothing. Over two seconds of an event loop with nothing
    // to do, the thread may use a few wake-ups' worth of CPU, not more.
    ThreadMailbox mailbox;
    bool delivered = false;
    mailbox.post([&] { delivered = true; });
    ASSERT_TRUE(waitFor([&] { return delivered; }));
    // An event loop that one timer ends, so nothing else wakes it.
    QEventLoop idle;
    QTimer::singleShot(2000, &idle, &QEventLoop::quit);
    const std::chrono::nanoseconds before = threadCpuTime();
    idle.exec();
    const auto used = std::chrono::duration_cast<std::chrono::microseconds>(threadCpuTime() - before);
    RecordProperty("cpu_us", static_cast<int>(used.count()));
    EXPECT_LT(used, std::chrono::milliseconds(5)) << used.count() << " µs of CPU in 2 s of waiting";
    // And the mailbox still wakes its thread for the next call.
    delivered = false;
    mailbox.post([&] { delivered = true; });
    EXPECT_TRUE(waitFor([&] { return delivered; }));
}

TEST(DiskWorker, JobsRunInOrderOffTheMainThreadAndTheirDonePartsOnIt)
{
    QObject context;
    std::vector<int> done;
    std::atomic<int> onMain = 0;
    const std::thread::id main = std::this_thread::get_id();
    {
        DiskWorker worker(&context);
        for (int i = 0; i < 50; ++i) {
            worker.post([&, i] { onMain += std::this_thread::get_id() == main ? 1 : 0; },
                [&, i] { done.push_back(std::this_thread::get_id() == main ? i : -1); });
        }
        ASSERT_TRUE(waitFor([&] { return done.size() == 50; }));
    }
    EXPECT_EQ(onMain, 0);
    std::vector<int> expected(50);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(done, expected);
}

} // namespace
