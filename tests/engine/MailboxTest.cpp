// Work handed to the main thread from others, and from the disk worker.

#include "DiskWorker.h"
#include "EngineTestSupport.h"
#include "ThreadMailbox.h"

#include <QObject>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
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
