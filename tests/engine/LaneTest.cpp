// One item's life in a lane, with a stand-in for ffmpeg that does exactly
// what each test tells it, when it tells it.
#include "DiskWorker.h"
#include "DosCommand.h"
#include "EngineTestSupport.h"
#include "ItemLane.h"
#include "TempDir.h"
#include "commandManager.h"

#include <QCoreApplication>
#include <QObject>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <optional>

namespace {

namespace fs = std::filesystem;
using S = ItemState;

// ffmpeg as the lane sees it: runs are recorded, and lines and ends come
// when the test says, from the event loop as the real runner's do.
class StandInFfmpeg final : public LaneFfmpeg {
public:
    void whenAbilitiesKnown(const ItemJob&, std::function<void(const FfmpegProbe::Answer&)> done) override
    {
        m_abilities = std::move(done);
    }
    void run(const std::vector<std::string>& arguments, const std::string&) override
    {
        runs.push_back(arguments);
        m_running = true;
    }
    void stop() override
    {
        ++stops;
        QTimer::singleShot(0, [this] { end(kStillActive); });
    }
    void hold(bool held) override { holds.push_back(held); }
    bool running() const override { return m_running; }

    // A measure the test answers with measured(), unless it was held or let go by then.
    struct PendingMeasure {
        std::string file;
        std::function<void(const MediaContents&)> done;
        bool held = false;
        bool gone = false;
    };
    class Handle final : public Measure {
    public:
        explicit Handle(std::shared_ptr<PendingMeasure> pending)
            : m_pending(std::move(pending))
        { }
        ~Handle() override { m_pending->gone = true; }
        void hold(bool held) override { m_pending->held = held; }

    private:
        std::shared_ptr<PendingMeasure> m_pending;
    };
    std::unique_ptr<Measure> measure(
        const ItemJob&, const std::string& file, std::function<void(const MediaContents&)> done) override
    {
        measures.push_back(std::make_shared<PendingMeasure>(PendingMeasure {file, std::move(done)}));
        return std::make_unique<Handle>(measures.back());
    }
    // Every measure asked, neither held nor let go, says the file holds a
    // second of picture; the output's, unless playable, that it is unreadable.
    void measured(bool outputPlayable = true)
    {
        MediaContents contents;
        contents.answer = MediaContents::Answer::measured;
        contents.seconds = 1;
        MediaStream video;
        video.kind = MediaStream::Kind::video;
        video.seconds = 1;
        video.frames = 25;
        video.frameRate = 25;
        video.constantRate = true;
        contents.streams.push_back(video);
        MediaContents unreadable;
        unreadable.answer = MediaContents::Answer::unreadable;
        for (const std::shared_ptr<PendingMeasure>& pending : std::vector(measures)) {
            if (pending->done && !pending->held && !pending->gone) {
                auto done = std::move(pending->done);
                pending->done = nullptr;
                const bool output = pending->file.find(TemporaryOutput::kPrefix) != std::string::npos;
                done(output && !outputPlayable ? unreadable : contents);
            }
        }
    }
    std::vector<std::shared_ptr<PendingMeasure>> measures;

    bool asked() const { return static_cast<bool>(m_abilities); }
    // What ffmpeg can make is known: nothing ruled out.
    void answer()
    {
        auto done = std::move(m_abilities);
        m_abilities = nullptr;
        done(nullptr);
    }
    void say(const std::string& line) { lineRead(line); }
    // The run ends; a conversion that succeeds has written its output.
    void end(std::uint32_t exitCode)
    {
        if (!m_running)
            return;
        if (exitCode == 0 && runs.back().back().starts_with("file:"))
            writeFileBytes(runs.back().back().substr(5), "a converted file");
        m_running = false;
        ended(exitCode);
    }

    std::vector<std::vector<std::string>> runs;
    std::vector<bool> holds;
    int stops = 0;

private:
    std::function<void(const FfmpegProbe::Answer&)> m_abilities;
    bool m_running = false;
};

// Writes down, in one list with the syncs, what the lane tells its recorder.
class ListRecorder final : public ItemRecorder {
public:
    explicit ListRecorder(std::function<void(const std::string&)> note)
        : m_note(std::move(note))
    { }
    void publishing(const void*, const FileIdentity&, const std::string&) override { m_note("publishing"); }
    bool ended(const void*, const ItemOutcome& outcome) override
    {
        m_note(outcome.converted ? "ended converted" : "ended failed");
        return true;
    }

private:
    std::function<void(const std::string&)> m_note;
};

class LaneTest : public testing::Test {
protected:
    LaneTest()
        : catalogue(CALVERA_CATALOGUE)
        , worker(&context)
    {
        auto standIn = std::make_unique<StandInFfmpeg>();
        ffmpeg = standIn.get();
        lane.emplace(worker, std::move(standIn));
        QObject::connect(&*lane, &ItemLane::stateChanged, [this](ItemState state) { states.push_back(state); });
        QObject::connect(&*lane, &ItemLane::ended, [this](const ItemOutcome& outcome) { ended = outcome; });
        QObject::connect(&*lane, &ItemLane::progressed,
            [this](const ItemProgress& progress) { checkingShown.push_back(progress.checking); });
    }

    void start(Verification verification = Verification::duration, ItemRecorder* recorder = nullptr)
    {
        ItemJob job;
        job.recorder = recorder;
        job.durable = recorder != nullptr;
        job.item = this;
        job.catalogue = &catalogue;
        job.formatIndex = shippedFormat("mp4");
        job.ffmpeg = "ffmpeg";
        job.source = dir.file("clip.avi");
        job.outputPath = dir.file("clip.mp4");
        job.verification = verification;
        lane->assign(std::move(job));
        lane->start();
    }
    // Started, its abilities known, ffmpeg converting.
    void startConverting(Verification verification = Verification::duration)
    {
        start(verification);
        QCoreApplication::processEvents();
        ffmpeg->answer();
        ASSERT_EQ(lane->state(), S::converting);
    }
    // Converted, its output measured against its input.
    void startMeasuring(Verification verification = Verification::duration)
    {
        startConverting(verification);
        ffmpeg->end(0);
        ASSERT_EQ(lane->state(), S::measuring);
    }
    // Converted, measured, its output being decoded.
    void startChecking()
    {
        startMeasuring(Verification::decode);
        ffmpeg->measured();
        ASSERT_EQ(lane->state(), S::checking);
        ASSERT_EQ(ffmpeg->runs.size(), 2u);
    }
    bool endTold()
    {
        return waitFor([this] { return ended.has_value(); }, 5000);
    }
    bool published() const { return fs::exists(dir.file("clip.mp4")); }

    TempDir dir;
    TCommandManager catalogue;
    QObject context;
    DiskWorker worker;
    StandInFfmpeg* ffmpeg = nullptr;
    std::optional<ItemLane> lane;
    std::vector<ItemState> states;
    std::vector<bool> checkingShown;
    std::optional<ItemOutcome> ended;
};

TEST_F(LaneTest, AnItemGoesThroughEachStateOnceAndItsEndIsToldFromTheEventLoop)
{
    start();
    EXPECT_EQ(lane->state(), S::starting);
    EXPECT_TRUE(ffmpeg->asked()) << "ffmpeg's abilities are asked first";
    EXPECT_TRUE(ffmpeg->runs.empty());
    QCoreApplication::processEvents();
    ffmpeg->answer();
    ASSERT_EQ(ffmpeg->runs.size(), 1u);
    EXPECT_EQ(ffmpeg->runs[0][1], "-n") << "never overwriting";
    ASSERT_EQ(ffmpeg->measures.size(), 1u) << "the input is measured while ffmpeg converts";
    EXPECT_EQ(ffmpeg->measures[0]->file, dir.file("clip.avi"));
    ffmpeg->end(0);
    EXPECT_EQ(lane->state(), S::measuring);
    ASSERT_EQ(ffmpeg->measures.size(), 2u) << "then the output";
    ffmpeg->measured();
    EXPECT_EQ(lane->state(), S::publishing);
    EXPECT_FALSE(ended) << "never told inside the call that ended it";
    ASSERT_TRUE(endTold());
    EXPECT_TRUE(ended->converted);
    EXPECT_EQ(ended->checked, ItemOutcome::Check::streams);
    EXPECT_TRUE(published());
    EXPECT_EQ(states, (std::vector<ItemState> {S::starting, S::converting, S::measuring, S::publishing, S::done}));
    EXPECT_FALSE(lane->busy());
}

TEST_F(LaneTest, ADecodedOutputShorterThanTheInputFails)
{
    startChecking();
    ffmpeg->say("frame=   9 fps=0.0 q=-0.0 size=N/A time=00:00:00.36 bitrate=N/A speed=20x");
    ffmpeg->end(0);
    ASSERT_TRUE(endTold());
    EXPECT_FALSE(ended->converted);
    EXPECT_EQ(ended->reason, "decoding the output gives 9 of 25 video frames");
    EXPECT_FALSE(published());
}

TEST_F(LaneTest, TheDecodeCheckIsAStateOfItsOwnBetweenConvertingAndPublishing)
{
    startChecking();
    EXPECT_EQ(ffmpeg->runs[1][5], "-i");
    ffmpeg->say("frame=  25 fps=0.0 q=-0.0 size=N/A time=00:00:01.00 bitrate=N/A speed=50x");
    ffmpeg->end(0);
    ASSERT_TRUE(endTold());
    EXPECT_TRUE(ended->converted);
    EXPECT_EQ(ended->checked, ItemOutcome::Check::decode);
    EXPECT_EQ(states,
        (std::vector<ItemState> {S::starting, S::converting, S::measuring, S::checking, S::publishing, S::done}));
    ASSERT_FALSE(checkingShown.empty());
    EXPECT_TRUE(checkingShown.back()) << "its progress is the check's";
}

TEST_F(LaneTest, FfmpegFailingFailsTheItemWithItsLastWordsAndPublishesNothing)
{
    startConverting();
    ffmpeg->say("clip.avi: Invalid data found when processing input");
    ffmpeg->end(1);
    ASSERT_TRUE(endTold());
    EXPECT_FALSE(ended->converted);
    EXPECT_FALSE(ended->stopped);
    EXPECT_EQ(ended->reason, "clip.avi: Invalid data found when processing input");
    EXPECT_EQ(lane->state(), S::failed);
    EXPECT_FALSE(published());
}

TEST_F(LaneTest, APauseWhileFfmpegsAbilitiesAreAskedHoldsItsStartUntilResume)
{
    start();
    lane->pause();
    EXPECT_EQ(lane->state(), S::paused);
    QCoreApplication::processEvents();
    ffmpeg->answer();
    EXPECT_TRUE(ffmpeg->runs.empty()) << "ffmpeg does not start while the run is held";
    EXPECT_EQ(lane->state(), S::paused);
    lane->resume();
    EXPECT_EQ(ffmpeg->runs.size(), 1u);
    EXPECT_EQ(lane->state(), S::converting);
    EXPECT_TRUE(ffmpeg->holds.empty()) << "nothing ran that needed holding";
}

TEST_F(LaneTest, AResumeBeforeTheAbilitiesAreKnownWaitsForThem)
{
    start();
    lane->pause();
    lane->resume();
    EXPECT_EQ(lane->state(), S::starting);
    EXPECT_TRUE(ffmpeg->runs.empty());
    QCoreApplication::processEvents();
    ffmpeg->answer();
    EXPECT_EQ(ffmpeg->runs.size(), 1u);
    EXPECT_EQ(states, (std::vector<ItemState> {S::starting, S::paused, S::starting, S::converting}));
}

TEST_F(LaneTest, APauseWhileConvertingHoldsFfmpegAndResumeLetsItGoOn)
{
    startConverting();
    lane->pause();
    EXPECT_EQ(lane->state(), S::paused);
    lane->pause();
    EXPECT_EQ(ffmpeg->holds, std::vector<bool> {true}) << "held once";
    lane->resume();
    EXPECT_EQ(lane->state(), S::converting);
    EXPECT_EQ(ffmpeg->holds, (std::vector<bool> {true, false}));
    ffmpeg->end(0);
    ffmpeg->measured();
    ASSERT_TRUE(endTold());
    EXPECT_TRUE(ended->converted);
}

TEST_F(LaneTest, APauseDuringTheCheckResumesTheCheckNotTheConversion)
{
    startChecking();
    lane->pause();
    EXPECT_EQ(lane->state(), S::paused);
    ffmpeg->say("frame=  10 fps=0.0 q=-0.0 size=N/A time=00:00:00.40 bitrate=N/A speed=20x");
    ASSERT_FALSE(checkingShown.empty());
    EXPECT_TRUE(checkingShown.back()) << "held, its progress is still the check's";
    lane->resume();
    EXPECT_EQ(lane->state(), S::checking);
    ffmpeg->say("frame=  25 fps=0.0 q=-0.0 size=N/A time=00:00:01.00 bitrate=N/A speed=20x");
    ffmpeg->end(0);
    ASSERT_TRUE(endTold());
    EXPECT_EQ(ended->checked, ItemOutcome::Check::decode) << "the end of the check is taken as such";
    EXPECT_EQ(ffmpeg->runs.size(), 2u) << "nothing converted twice";
}

TEST_F(LaneTest, AConversionThatEndsWhilePausedIsMeasuredOnlyOnceLetGo)
{
    startConverting(Verification::decode);
    lane->pause();
    ffmpeg->end(0);
    EXPECT_EQ(lane->state(), S::paused);
    ASSERT_EQ(ffmpeg->measures.size(), 2u);
    EXPECT_TRUE(ffmpeg->measures[0]->held && ffmpeg->measures[1]->held) << "both measures held";
    ffmpeg->measured();
    EXPECT_EQ(lane->state(), S::paused);
    EXPECT_EQ(ffmpeg->runs.size(), 1u) << "no check starts while held";
    lane->resume();
    EXPECT_EQ(lane->state(), S::measuring);
    ffmpeg->measured();
    EXPECT_EQ(lane->state(), S::checking);
    ASSERT_EQ(ffmpeg->runs.size(), 2u);
    ffmpeg->say("frame=  25 fps=0.0 q=-0.0 size=N/A time=00:00:01.00 bitrate=N/A speed=20x");
    ffmpeg->end(0);
    ASSERT_TRUE(endTold());
    EXPECT_TRUE(ended->converted);
}

TEST_F(LaneTest, APauseWhileMeasuringHoldsTheMeasuresAndComparesOnResume)
{
    startMeasuring();
    lane->pause();
    EXPECT_EQ(lane->state(), S::paused);
    EXPECT_TRUE(ffmpeg->measures[1]->held);
    lane->resume();
    EXPECT_EQ(lane->state(), S::measuring);
    EXPECT_FALSE(ffmpeg->measures[1]->held);
    ffmpeg->measured();
    ASSERT_TRUE(endTold());
    EXPECT_TRUE(ended->converted);
}

TEST_F(LaneTest, AnOutputWithNoPlayableStreamFailsAndIsNotPublished)
{
    startMeasuring();
    ffmpeg->measured(false);
    ASSERT_TRUE(endTold());
    EXPECT_FALSE(ended->converted);
    EXPECT_FALSE(ended->stopped);
    EXPECT_EQ(ended->reason, "ffmpeg wrote no playable stream");
    EXPECT_EQ(lane->state(), S::failed);
    EXPECT_FALSE(published());
    EXPECT_TRUE(ffmpeg->measures[0]->gone && ffmpeg->measures[1]->gone) << "its measures go with it";
}

TEST_F(LaneTest, PublishingRunsOnToTheEndPausedOrStopped)
{
    startMeasuring();
    ffmpeg->measured();
    ASSERT_EQ(lane->state(), S::publishing);
    lane->pause();
    lane->stop();
    EXPECT_EQ(lane->state(), S::publishing);
    ASSERT_TRUE(endTold());
    EXPECT_TRUE(ended->converted);
    EXPECT_TRUE(published());
    EXPECT_EQ(ffmpeg->stops, 0);
}

// A durable item: its file is on the disk, then its name in its folder, and
// only then is it recorded as converted; a sync that fails fails the item.
TEST_F(LaneTest, ADurableOutputIsSyncedThenItsFolderThenRecorded)
{
    std::mutex mutex;
    std::vector<std::string> events;
    const auto note = [&](const std::string& event) {
        const std::lock_guard lock(mutex);
        events.push_back(event);
    };
    const auto happened = [&] {
        const std::lock_guard lock(mutex);
        return events;
    };
    std::string failing;
    SyncRecorder syncs;
    syncs.failIf = [&](const std::string& path) {
        const bool folder = fs::path(path) == fs::path(dir.prefix()).parent_path() || path + "/" == dir.prefix();
        note(folder                                                                         ? "sync folder"
                : fs::path(path).parent_path().filename().string().starts_with(".calvera-") ? "sync file"
                                                                                            : "sync " + path);
        return !failing.empty() && happened().back() == failing;
    };
    ListRecorder recorder(note);
    for (const std::string& fails : {std::string(), std::string("sync file"), std::string("sync folder")}) {
        SCOPED_TRACE(fails.empty() ? "nothing fails" : fails + " fails");
        failing = fails;
        {
            const std::lock_guard lock(mutex);
            events.clear();
        }
        ended.reset();
        start(Verification::duration, &recorder);
        QCoreApplication::processEvents();
        ffmpeg->answer();
        ffmpeg->end(0);
        ffmpeg->measured();
        ASSERT_TRUE(endTold());
        if (fails.empty()) {
            EXPECT_EQ(
                happened(), (std::vector<std::string> {"sync file", "publishing", "sync folder", "ended converted"}));
            EXPECT_TRUE(ended->converted);
            EXPECT_TRUE(published());
            fs::remove(dir.file("clip.mp4"));
            continue;
        }
        EXPECT_FALSE(ended->converted);
        EXPECT_NE(ended->reason.find("Input/output error"), std::string::npos) << ended->reason;
        EXPECT_EQ(happened().back(), "ended failed");
        EXPECT_EQ(lane->state(), S::failed);
        EXPECT_FALSE(published()) << "not published as durable when it may not be";
    }
}

// Stop in each state that can be stopped: the item ends stopped (not
// failed), told once, and nothing of it is published.
TEST_F(LaneTest, StopInEachStateEndsTheItemStoppedAndPublishesNothing)
{
    const std::function<void()> reach[] = {
        [this] { start(); },
        [this] { startConverting(); },
        [this] { startChecking(); },
        [this] {
            startConverting();
            lane->pause();
        },
        [this] {
            start();
            lane->pause();
        },
        [this] {
            startChecking();
            lane->pause();
        },
    };
    const char* names[]
        = {"starting", "converting", "checking", "paused converting", "paused starting", "paused checking"};
    for (std::size_t i = 0; i < std::size(reach); ++i) {
        SCOPED_TRACE(names[i]);
        ended.reset();
        states.clear();
        ffmpeg->runs.clear();
        ffmpeg->holds.clear();
        ffmpeg->measures.clear();
        reach[i]();
        if (HasFatalFailure())
            return;
        lane->stop();
        ASSERT_TRUE(endTold());
        EXPECT_TRUE(ended->stopped);
        EXPECT_FALSE(ended->converted);
        EXPECT_EQ(ended->exitCode, kStillActive);
        EXPECT_EQ(lane->state(), S::stopped);
        EXPECT_EQ(states.back(), S::stopped);
        EXPECT_FALSE(published());
        // The abilities of a start stopped while asked come late, and change nothing.
        if (ffmpeg->asked())
            ffmpeg->answer();
        QCoreApplication::processEvents();
        EXPECT_EQ(lane->state(), S::stopped);
    }
}

// Skipping: what decides it is measured before ffmpeg would start, held by a
// pause and let go by Stop like every other measure.
class LaneSkipTest : public LaneTest {
protected:
    // An output under the item's own name beside its input, newer or older than it.
    void startSkipping(bool outputNewer, bool same = false)
    {
        writeFileBytes(dir.file("clip.avi"), "an input");
        writeFileBytes(dir.file("clip.mp4"), "an earlier output");
        const auto input = fs::last_write_time(dir.file("clip.avi"));
        fs::last_write_time(
            dir.file("clip.mp4"), outputNewer ? input + std::chrono::seconds(5) : input - std::chrono::seconds(5));
        ItemJob job;
        job.item = this;
        job.catalogue = &catalogue;
        job.formatIndex = shippedFormat("mp4");
        job.ffmpeg = "ffmpeg";
        job.source = dir.file("clip.avi");
        job.outputPath = dir.file("clip_2.mp4");
        job.skipExisting = !same;
        job.skipSame = same;
        job.plainOutput = dir.file("clip.mp4");
        job.plainOutputShown = "clip.mp4";
        lane->assign(std::move(job));
        lane->start();
        QCoreApplication::processEvents();
        ffmpeg->answer();
    }
};

TEST_F(LaneSkipTest, AWholeNewerOutputIsSkippedBeforeFfmpegAndAPauseHoldsItsMeasures)
{
    startSkipping(true);
    EXPECT_EQ(lane->state(), S::starting);
    ASSERT_EQ(ffmpeg->measures.size(), 2u) << "the input and the output there";
    EXPECT_EQ(ffmpeg->measures[1]->file, dir.file("clip.mp4"));
    lane->pause();
    EXPECT_TRUE(ffmpeg->measures[0]->held && ffmpeg->measures[1]->held);
    ffmpeg->measured();
    EXPECT_EQ(lane->state(), S::paused) << "held measures do not answer";
    lane->resume();
    EXPECT_FALSE(ffmpeg->measures[0]->held || ffmpeg->measures[1]->held);
    ffmpeg->measured();
    ASSERT_TRUE(endTold());
    EXPECT_TRUE(ffmpeg->runs.empty()) << "ffmpeg never ran";
    EXPECT_TRUE(ended->skipped);
    EXPECT_FALSE(ended->converted);
    EXPECT_EQ(ended->reason, "already converted: clip.mp4");
    EXPECT_EQ(ended->output, dir.file("clip.mp4"));
    EXPECT_EQ(lane->state(), S::skipped);
    EXPECT_EQ(states, (std::vector<ItemState> {S::starting, S::paused, S::starting, S::publishing, S::skipped}));
    EXPECT_FALSE(lane->busy());
}

TEST_F(LaneSkipTest, AnOlderOutputIsConvertedUnmeasuredAndStopEndsTheMeasures)
{
    startSkipping(false);
    ASSERT_EQ(lane->state(), S::converting) << "an output older than its input is not measured";
    EXPECT_EQ(ffmpeg->measures.size(), 1u) << "the input's, while ffmpeg converts";

    ended.reset();
    ffmpeg->end(kStillActive);
    ASSERT_TRUE(endTold());
    ended.reset();
    ffmpeg->measures.clear();
    startSkipping(true);
    ASSERT_EQ(ffmpeg->measures.size(), 2u);
    lane->stop();
    ASSERT_TRUE(endTold());
    EXPECT_TRUE(ended->stopped);
    EXPECT_FALSE(ended->skipped);
    EXPECT_TRUE(ffmpeg->measures[0]->gone && ffmpeg->measures[1]->gone) << "Stop lets the measures go";
}

TEST_F(LaneSkipTest, AnInputNotInItsEntrysFormIsConvertedWithItsMeasureServingTheCheck)
{
    startSkipping(false, true);
    ASSERT_EQ(lane->state(), S::starting);
    ASSERT_EQ(ffmpeg->measures.size(), 1u);
    ffmpeg->measured();
    ASSERT_EQ(lane->state(), S::converting) << "a picture of no known codec is not what the MP4 entry makes";
    EXPECT_EQ(ffmpeg->measures.size(), 1u) << "the input is measured once";
    ffmpeg->end(0);
    ASSERT_EQ(lane->state(), S::measuring);
    ffmpeg->measured();
    ASSERT_TRUE(endTold());
    EXPECT_TRUE(ended->converted);
    EXPECT_EQ(ended->checked, ItemOutcome::Check::streams);
}

} // namespace
