// The run steered while it converts: items joining, moving, stopped one by
// one, and the whole run held and let go.

#include "DriverTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

// A stand-in ffmpeg that writes its pid beside its source and waits until a
// file named like the source with ".go" exists.
class RunControlTest : public DriverTest {
protected:
    RunControlTest()
    {
        writeScript(dir.file("waiting-ffmpeg"),
            standInArguments()
                + "echo $$ > \"$source.pid\"\n"
                  "while [ ! -e \"$source.go\" ]; do sleep 0.02; done\n"
                  "echo \"$source\" > \"$output\"");
        driver.FfmpegPath = dir.file("waiting-ffmpeg");
        QObject::connect(&driver, &TCommand::itemStarted,
            [this](JobListModel::Node* node) { started.push_back(node->Item.FileName.toStdString()); });
    }
    JobListModel::Node* item(const std::string& name) { return add(dir.file(name), kMp3, dir.prefix()); }
    long pidOf(const std::string& name) { return pidWrittenTo(dir.file(name) + ".pid"); }
    void release(const std::string& name) { writeFileBytes(dir.file(name) + ".go", ""); }
    bool runEnded(int timeoutMs = 30000)
    {
        return waitFor([this] { return !finished.empty(); }, timeoutMs);
    }

    std::vector<std::string> started;
};

TEST_F(RunControlTest, ItemsAddedOrMovedDuringARunAreTakenInTheListsOrder)
{
    item("a.avi");
    item("b.avi");
    driver.Start();
    ASSERT_GT(pidOf("a.avi"), 0);
    EXPECT_EQ(driver.RunItemCount(), 2);
    item("c.avi");
    JobListModel::Node* d = item("d.avi");
    EXPECT_EQ(driver.RunItemCount(), 4) << "added items join the run";
    // d goes before b and c.
    model.move({d}, model.nodeAt(1));
    for (const char* name : {"a.avi", "d.avi", "b.avi", "c.avi"})
        release(name);
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(started,
        (std::vector<std::string> {dir.file("a.avi"), dir.file("d.avi"), dir.file("b.avi"), dir.file("c.avi")}));
    EXPECT_EQ(progress, (std::vector<int> {25, 50, 75, 100}));
    EXPECT_EQ(finished, std::vector<bool> {false});
}

TEST_F(RunControlTest, StoppingOneItemEndsItAloneAndAWaitingOneLeavesTheRun)
{
    item("a.avi");
    JobListModel::Node* b = item("b.avi");
    item("c.avi");
    driver.Start();
    const long a = pidOf("a.avi");
    ASSERT_GT(a, 0);
    driver.StopItem(b);
    EXPECT_EQ(driver.RunItemCount(), 2) << "the waiting item is no longer part of the run";
    driver.StopItem(model.first());
    ASSERT_TRUE(waitFor([&] { return !outcomes.empty(); }));
    EXPECT_TRUE(outcomes[0].stopped);
    EXPECT_TRUE(waitFor([&] { return !processRuns(a); }));
    EXPECT_FALSE(driver.Idle()) << "the run goes on";
    release("c.avi");
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(finished, std::vector<bool> {false});
    EXPECT_EQ(started, (std::vector<std::string> {dir.file("a.avi"), dir.file("c.avi")}));
    EXPECT_EQ(states(), (std::vector<ItemState> {ItemState::stopped, ItemState::waiting, ItemState::done}));
    EXPECT_EQ(driver.lastRun().stopped, 1);
    EXPECT_TRUE(temporariesIn(dir.prefix()).empty());
}

TEST_F(RunControlTest, APausedRunHoldsEveryFfmpegStartsNothingAndItsClockStandsStill)
{
    driver.Jobs = 2;
    item("a.avi");
    item("b.avi");
    item("c.avi");
    driver.Start();
    const long a = pidOf("a.avi");
    const long b = pidOf("b.avi");
    std::vector<bool> pauses;
    QObject::connect(&driver, &TCommand::pausedChanged, [&](bool paused) { pauses.push_back(paused); });
    driver.Pause();
    EXPECT_TRUE(driver.Paused());
    EXPECT_TRUE(waitFor([&] { return processGroupHeld(a) && processGroupHeld(b); })) << "held";
    const std::int64_t elapsed = driver.Elapsed();
    // a's ffmpeg ends while paused (once let go for a moment): its output is measured only on Resume,
    // and c does not start until then.
    release("a.avi");
    ::kill(-static_cast<pid_t>(a), SIGCONT);
    ASSERT_TRUE(waitFor([&] { return !processRuns(a); }));
    waitFor([] { return false; }, 1500);
    EXPECT_TRUE(outcomes.empty()) << "held, its measuring waits";
    EXPECT_EQ(started.size(), 2u) << "no item starts while paused";
    EXPECT_EQ(driver.Elapsed(), elapsed) << "the clock stands still";
    driver.Resume();
    ASSERT_TRUE(waitFor([&] { return outcomes.size() == 1; }));
    EXPECT_TRUE(waitFor([&] { return !processGroupHeld(b); }));
    ASSERT_TRUE(waitFor([&] { return started.size() == 3; }));
    release("b.avi");
    release("c.avi");
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(pauses, (std::vector<bool> {true, false}));
    EXPECT_EQ(states(), (std::vector<ItemState> {ItemState::done, ItemState::done, ItemState::done}));
}

TEST_F(RunControlTest, StopWhilePausedEndsEverythingAndLeavesNothing)
{
    item("a.avi");
    item("b.avi");
    driver.Start();
    const long a = pidOf("a.avi");
    driver.Pause();
    ASSERT_TRUE(waitFor([&] { return processGroupHeld(a); }));
    driver.Stop();
    ASSERT_TRUE(runEnded());
    EXPECT_EQ(finished, std::vector<bool> {true});
    EXPECT_TRUE(waitFor([&] { return !processRuns(a); }));
    EXPECT_TRUE(temporariesIn(dir.prefix()).empty());
    EXPECT_FALSE(driver.Paused());
}

TEST_F(RunControlTest, APausedRunWithNothingConvertingStillEndsByStopOrOnceNothingWaits)
{
    // Stop: the item that ran was stopped alone, one waits.
    item("a.avi");
    item("b.avi");
    driver.Start();
    pidOf("a.avi");
    driver.Pause();
    driver.StopItem(model.nodeAt(0));
    ASSERT_TRUE(waitFor([&] { return outcomes.size() == 1; }));
    driver.Stop();
    ASSERT_TRUE(runEnded(5000)) << "Stop ends a held run with no ffmpeg to wait for";
    EXPECT_EQ(started.size(), 1u);

    // Nothing left: the one waiting item is taken off while the run is held.
    model.clear();
    finished.clear();
    outcomes.clear();
    item("c.avi");
    item("d.avi");
    driver.Start();
    pidOf("c.avi");
    driver.Pause();
    driver.StopItem(model.nodeAt(0));
    ASSERT_TRUE(waitFor([&] { return outcomes.size() == 1; }));
    EXPECT_TRUE(finished.empty()) << "d still waits";
    model.remove(model.nodeAt(1));
    ASSERT_TRUE(runEnded(5000)) << "a held run with nothing left ends by itself";
    EXPECT_FALSE(driver.Paused());
}

} // namespace
