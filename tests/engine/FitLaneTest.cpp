// A size-limited item in a lane: its input measured, two passes, retries and
// their end, with a stand-in ffmpeg that writes what each test tells it;
// then with the real ffmpeg on clips of unlike content.
#include "DiskWorker.h"
#include "DosCommand.h"
#include "DriverTestSupport.h"
#include "EngineTestSupport.h"
#include "ItemLane.h"
#include "RunningProgram.h"
#include "TempDir.h"
#include "commandManager.h"

#include <QCoreApplication>
#include <QObject>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <optional>

namespace {

namespace fs = std::filesystem;
using S = ItemState;

// ffmpeg as the lane sees it: each run recorded; it ends when the test says,
// writing its output (and a first pass's log) of the size the test queued.
class SizedFfmpeg final : public LaneFfmpeg {
public:
    void whenAbilitiesKnown(const ItemJob&, std::function<void(const FfmpegProbe::Answer&)> done) override
    {
        QTimer::singleShot(0, [done = std::move(done)] { done(nullptr); });
    }
    void run(const std::vector<std::string>& arguments, const std::string&) override
    {
        runs.push_back(arguments);
        m_running = true;
    }
    void stop() override
    {
        QTimer::singleShot(0, [this] { end(kStillActive); });
    }
    void hold(bool held) override { holds.push_back(held); }
    bool running() const override { return m_running; }

    class Handle final : public Measure {
    public:
        void hold(bool) override { }
    };
    // Every file measured holds ten seconds of picture and sound.
    std::unique_ptr<Measure> measure(
        const ItemJob&, const std::string& file, std::function<void(const MediaContents&)> done) override
    {
        measured.push_back(file);
        QTimer::singleShot(0, [done = std::move(done)] {
            MediaContents contents;
            contents.answer = MediaContents::Answer::measured;
            contents.seconds = 10;
            for (const MediaStream::Kind kind : {MediaStream::Kind::video, MediaStream::Kind::sound}) {
                MediaStream stream;
                stream.kind = kind;
                stream.seconds = 10;
                contents.streams.push_back(stream);
            }
            done(contents);
        });
        return std::make_unique<Handle>();
    }

    // The run ends; with 0 it has written its output, of the next queued size (or a small one).
    void end(std::uint32_t exitCode)
    {
        if (!m_running)
            return;
        if (exitCode == 0) {
            const std::vector<std::string>& arguments = runs.back();
            std::size_t bytes = 1000;
            if (!sizes.empty()) {
                bytes = sizes.front();
                sizes.pop_front();
            }
            // Every output: the sound beside a first pass, and the picture (or the whole) of the size queued.
            for (std::size_t i = 1; i < arguments.size(); ++i) {
                if (arguments[i].starts_with("file:") && arguments[i - 1] != "-i") {
                    const bool sound = arguments[i].find("output.sound.") != std::string::npos;
                    std::ofstream(arguments[i].substr(5)) << std::string(sound ? 1000 : bytes, 'v');
                }
            }
            const auto log = std::find(arguments.begin(), arguments.end(), "-passlogfile");
            if (log != arguments.end())
                std::ofstream(*(log + 1) + "-0.log") << "stats";
            lineRead("video:1kB audio:0kB subtitle:0kB other streams:0kB global headers:0kB muxing overhead: 1.0%");
        }
        m_running = false;
        ended(exitCode);
    }

    std::vector<std::vector<std::string>> runs;
    std::vector<std::string> measured;
    std::vector<bool> holds;
    std::deque<std::size_t> sizes;

private:
    bool m_running = false;
};

bool holds(const std::vector<std::string>& words, const std::vector<std::string>& run)
{
    return std::search(words.begin(), words.end(), run.begin(), run.end()) != words.end();
}

class FitLaneTest : public testing::Test {
protected:
    FitLaneTest()
        : catalogue(CALVERA_CATALOGUE)
        , worker(&context)
    {
        auto standIn = std::make_unique<SizedFfmpeg>();
        ffmpeg = standIn.get();
        lane.emplace(worker, std::move(standIn));
        QObject::connect(&*lane, &ItemLane::stateChanged, [this](ItemState state) { states.push_back(state); });
        QObject::connect(&*lane, &ItemLane::ended, [this](const ItemOutcome& outcome) { ended = outcome; });
        QObject::connect(&*lane, &ItemLane::progressed, [this](const ItemProgress& progress) {
            if (progress.passes > 0)
                passesShown.push_back({progress.pass, progress.passes});
        });
    }

    void start(const std::string& extension = "mp4", std::int64_t limit = 1000000, bool skipSame = false)
    {
        ItemJob job;
        job.item = this;
        job.catalogue = &catalogue;
        job.formatIndex = shippedFormat(extension);
        job.ffmpeg = "ffmpeg";
        job.source = dir.file("clip.avi");
        job.outputPath = dir.file("clip." + extension);
        job.params = splitCommandLine(catalogue.GetParams(job.formatIndex));
        job.logFolder = dir.file("logs");
        job.sizeLimit = limit;
        job.skipSame = skipSame;
        lane->assign(std::move(job));
        lane->start();
    }
    // Runs the event loop until ffmpeg runs for the nth time.
    bool runsFor(std::size_t count)
    {
        return waitFor([&] { return ffmpeg->runs.size() >= count && ffmpeg->running(); }, 5000);
    }
    bool endTold()
    {
        return waitFor([this] { return ended.has_value(); }, 5000);
    }
    std::string logText() const
    {
        std::ifstream file(ended->log);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }

    TempDir dir;
    TCommandManager catalogue;
    QObject context;
    DiskWorker worker;
    SizedFfmpeg* ffmpeg = nullptr;
    std::optional<ItemLane> lane;
    std::vector<ItemState> states;
    std::vector<std::pair<int, int>> passesShown;
    std::optional<ItemOutcome> ended;
};

TEST_F(FitLaneTest, TheInputIsMeasuredFirstThenTwoPassesRunAsOneItem)
{
    start();
    ASSERT_TRUE(runsFor(1));
    ASSERT_EQ(ffmpeg->measured.size(), 1u) << "the budget needs the input's length";
    EXPECT_EQ(ffmpeg->measured[0], dir.file("clip.avi"));
    const std::vector<std::string> first = ffmpeg->runs[0];
    const std::string pass1 = *std::find_if(first.begin(), first.end(),
        [](const std::string& word) { return word.find("output.pass1.") != std::string::npos; });
    EXPECT_TRUE(holds(first, {"-an", "-pass", "1", "-passlogfile"}));
    const std::string folder = fs::path(pass1.substr(5)).parent_path().string();
    EXPECT_TRUE(fs::path(folder).filename().string().starts_with(".calvera-")) << "in the item's private folder";
    EXPECT_EQ(fs::path(pass1).filename(), "output.pass1.mp4") << "written with the second pass's muxer";
    EXPECT_EQ(*(std::find(first.begin(), first.end(), "-passlogfile") + 1), folder + "/output.passlog");
    EXPECT_FALSE(holds(first, {"-f", "null"}));
    EXPECT_FALSE(holds(first, {"-crf"}));
    EXPECT_TRUE(holds(first, {"-vn", "file:" + folder + "/output.sound.mp4"})) << "the sound beside, to be measured";
    EXPECT_EQ(lane->state(), S::converting);

    ffmpeg->end(0);
    ASSERT_EQ(ffmpeg->runs.size(), 2u);
    const std::vector<std::string> second = ffmpeg->runs[1];
    EXPECT_TRUE(holds(second, {"-pass", "2", "-passlogfile", folder + "/output.passlog"}));
    EXPECT_TRUE(holds(second, {"-b:a", "160000"}));
    EXPECT_EQ(fs::path(second.back()).filename(), "output.mp4");
    EXPECT_FALSE(fs::exists(folder + "/output.pass1.mp4")) << "the first pass's file goes at once";
    EXPECT_FALSE(fs::exists(folder + "/output.sound.mp4"));
    ffmpeg->sizes = {900000};
    ffmpeg->end(0);
    ASSERT_TRUE(endTold());
    EXPECT_TRUE(ended->converted) << ended->reason;
    EXPECT_EQ(ended->sizeLimit, 1000000);
    EXPECT_EQ(ended->size, 900000);
    EXPECT_EQ(ended->passes, 2);
    EXPECT_EQ(fs::file_size(dir.file("clip.mp4")), 900000u);
    EXPECT_FALSE(fs::exists(folder)) << "nothing of the passes is left";
    EXPECT_EQ(states, (std::vector<ItemState> {S::starting, S::converting, S::measuring, S::publishing, S::done}));
    ASSERT_FALSE(passesShown.empty());
    EXPECT_EQ(passesShown.front(), (std::pair {1, 2}));
    EXPECT_EQ(passesShown.back(), (std::pair {2, 2}));
    const std::string log = logText();
    EXPECT_NE(log.find("pass 1 of 2"), std::string::npos);
    EXPECT_NE(log.find("pass 2 of 2"), std::string::npos);
    EXPECT_NE(log.find("-pass 2"), std::string::npos) << "both passes' commands are logged";
}

TEST_F(FitLaneTest, AnInputMeasuredBeforeLaunchStartsTheFirstPassAtOnce)
{
    // --skip-same measures the input before ffmpeg may start (and never skips a limited item):
    // the budget has its length already, and no later answer comes to start the passes.
    start("mp4", 1000000, true);
    ASSERT_TRUE(runsFor(1)) << "the first pass waits for nothing";
    EXPECT_EQ(ffmpeg->measured.size(), 1u) << "the input is measured once";
    EXPECT_TRUE(holds(ffmpeg->runs[0], {"-pass", "1"}));
    ffmpeg->end(0);
    ffmpeg->end(0);
    ASSERT_TRUE(endTold());
    EXPECT_TRUE(ended->converted) << ended->reason;
    EXPECT_EQ(ended->passes, 2);
}

TEST_F(FitLaneTest, AnOutputOverTheLimitIsEncodedAgainAtALowerBitrate)
{
    start();
    ASSERT_TRUE(runsFor(1));
    ffmpeg->sizes = {5000, 1100000, 950000};
    ffmpeg->end(0);
    ffmpeg->end(0);
    ASSERT_EQ(ffmpeg->runs.size(), 3u) << "the second pass again";
    const auto rate = [](const std::vector<std::string>& run) {
        return std::stoll(*(std::find(run.begin(), run.end(), "-b:v") + 1));
    };
    EXPECT_LT(rate(ffmpeg->runs[2]), rate(ffmpeg->runs[1]) * 0.92) << "scaled down by what was missed";
    EXPECT_TRUE(holds(ffmpeg->runs[2], {"-pass", "2"})) << "the first pass's log serves again";
    ffmpeg->end(0);
    ASSERT_TRUE(endTold());
    EXPECT_TRUE(ended->converted) << ended->reason;
    EXPECT_EQ(ended->size, 950000);
    EXPECT_EQ(ended->passes, 3);
    EXPECT_EQ(fs::file_size(dir.file("clip.mp4")), 950000u);
    EXPECT_NE(logText().find("1.1 MB is over 1.0 MB: encoding again at video "), std::string::npos) << logText();
    EXPECT_EQ(passesShown.back(), (std::pair {3, 3}));
}

TEST_F(FitLaneTest, AnOutputStillOverAfterTwoRetriesFailsAndNothingIsPublished)
{
    start();
    ASSERT_TRUE(runsFor(1));
    ffmpeg->sizes = {5000, 1300000, 1200000, 1100000};
    for (int i = 0; i < 4; ++i)
        ffmpeg->end(0);
    ASSERT_TRUE(endTold());
    EXPECT_EQ(ffmpeg->runs.size(), 4u) << "two passes and two retries";
    EXPECT_FALSE(ended->converted);
    EXPECT_EQ(ended->reason, "could not fit into 1.0 MB: 1.1 MB at the lowest bitrate tried");
    EXPECT_EQ(ended->passes, 4);
    EXPECT_EQ(lane->state(), S::failed);
    EXPECT_FALSE(fs::exists(dir.file("clip.mp4")));
    EXPECT_TRUE(temporariesIn(dir.prefix()).empty());
    EXPECT_NE(logText().find("(retry 2 of 2)"), std::string::npos);
}

TEST_F(FitLaneTest, APauseBetweenThePassesHoldsTheSecondUntilResume)
{
    start();
    ASSERT_TRUE(runsFor(1));
    lane->pause();
    ffmpeg->end(0);
    QCoreApplication::processEvents();
    EXPECT_EQ(ffmpeg->runs.size(), 1u) << "no pass starts while the run is held";
    EXPECT_EQ(lane->state(), S::paused);
    lane->resume();
    EXPECT_EQ(ffmpeg->runs.size(), 2u);
    EXPECT_EQ(lane->state(), S::converting);
    EXPECT_TRUE(holds(ffmpeg->runs[1], {"-pass", "2"}));
    ffmpeg->end(0);
    ASSERT_TRUE(endTold());
    EXPECT_TRUE(ended->converted);
}

TEST_F(FitLaneTest, StopBetweenThePassesLeavesNothingBehind)
{
    start();
    ASSERT_TRUE(runsFor(1));
    const std::string folder = fs::path(ffmpeg->runs[0].back().substr(5)).parent_path().string();
    ASSERT_TRUE(folder.find(".calvera-") != std::string::npos);
    lane->pause();
    ffmpeg->end(0);
    ASSERT_TRUE(fs::exists(folder + "/output.passlog-0.log")) << "the first pass left its log";
    lane->stop();
    ASSERT_TRUE(endTold());
    EXPECT_TRUE(ended->stopped);
    EXPECT_FALSE(ended->converted);
    EXPECT_EQ(ended->passes, 1);
    EXPECT_EQ(ffmpeg->runs.size(), 1u);
    EXPECT_FALSE(fs::exists(folder)) << "its pass log went with the private folder";
    EXPECT_TRUE(temporariesIn(dir.prefix()).empty());
    EXPECT_FALSE(fs::exists(dir.file("clip.mp4")));
}

TEST_F(FitLaneTest, StopWhileTheSecondPassRunsEndsTheItemStopped)
{
    start();
    ASSERT_TRUE(runsFor(1));
    ffmpeg->end(0);
    lane->stop();
    ASSERT_TRUE(endTold());
    EXPECT_TRUE(ended->stopped);
    EXPECT_EQ(ffmpeg->runs.size(), 2u);
    EXPECT_TRUE(temporariesIn(dir.prefix()).empty());
}

TEST_F(FitLaneTest, AnEntryThatCannotFitOrALimitTooSmallFailsBeforeFfmpegRuns)
{
    start("gif");
    ASSERT_TRUE(endTold());
    EXPECT_FALSE(ended->converted);
    EXPECT_EQ(ended->reason, "a size limit needs an encoder that aims at a bitrate; gif does not");
    EXPECT_TRUE(ffmpeg->measured.empty()) << "refused at once, nothing measured";
    EXPECT_EQ(ended->passes, 0);
    EXPECT_EQ(ended->sizeLimit, 1000000);

    ended.reset();
    start("mp4", 100000);
    ASSERT_TRUE(endTold());
    EXPECT_FALSE(ended->converted);
    EXPECT_EQ(ended->reason.substr(0, 36), "100.0 kB is too small for 00:00:10 (") << ended->reason;
    EXPECT_TRUE(ffmpeg->runs.empty());
    EXPECT_TRUE(temporariesIn(dir.prefix()).empty());
}

// The real ffmpeg on short clips of a still picture, motion and noise.
class RealFitTest : public DriverTest {
protected:
    std::string lavfiClip(const std::string& name, const std::string& source)
    {
        const std::string path = dir.file(name + ".mkv");
        const int code = runProgram({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", source, "-f", "lavfi", "-i",
            "sine=frequency=440:duration=3", "-t", "3", "-c:v", "mpeg4", "-q:v", "2", "-c:a", "pcm_s16le", path});
        if (code != 0)
            throw std::runtime_error("cannot make clip " + path);
        return path;
    }
    // Whether this machine's ffmpeg has the encoder; says why the test skipped when not.
    bool hasEncoder(const std::string& encoder)
    {
        std::string listing;
        runProgram({"ffmpeg", "-hide_banner", "-encoders"}, &listing);
        return listing.find(" " + encoder + " ") != std::string::npos;
    }
};

TEST_F(RealFitTest, ClipsOfUnlikeContentFitTheirLimitOnX264AndVp9)
{
    for (const std::string encoder : {"libx264", "libvpx-vp9", "libopus"})
        if (!hasEncoder(encoder))
            GTEST_SKIP() << "this ffmpeg has no " << encoder << " encoder";
    const std::vector<std::string> clips = {
        lavfiClip("still", "color=c=0x3060a0:s=320x180:r=25:d=3,drawbox=x=40:y=40:w=80:h=60:c=yellow:t=fill"),
        lavfiClip("motion", "testsrc2=s=320x180:r=25:d=3"),
        lavfiClip("noise", "color=c=gray:s=320x180:r=25:d=3,noise=alls=80:allf=t"),
    };
    constexpr std::int64_t kLimit = 200000;
    for (const int format : {kMp4H264, shippedFormat("webm")})
        for (const std::string& clip : clips)
            add(clip, format, dir.prefix())->Item.SizeLimit = kLimit;
    driver.Jobs = 2;
    ASSERT_TRUE(runToEnd(600000));
    ASSERT_EQ(outcomes.size(), 6u);
    for (const ItemOutcome& outcome : outcomes) {
        SCOPED_TRACE(outcome.output);
        EXPECT_TRUE(outcome.converted) << outcome.reason << " (log " << outcome.log << ")";
        if (!outcome.converted)
            continue;
        EXPECT_EQ(outcome.sizeLimit, kLimit);
        EXPECT_GE(outcome.passes, 2);
        EXPECT_LE(outcome.size, kLimit);
        EXPECT_EQ(static_cast<std::int64_t>(fs::file_size(outcome.output)), outcome.size);
        EXPECT_EQ(outcome.checked, ItemOutcome::Check::streams) << "checked as any other output";
    }
    // Motion and noise use what the limit gives them: within a quarter of it.
    for (const ItemOutcome& outcome : outcomes) {
        if (outcome.converted && outcome.output.find("still") == std::string::npos) {
            EXPECT_GT(outcome.size, kLimit * 3 / 4) << outcome.output;
        }
    }
    EXPECT_TRUE(temporariesIn(dir.prefix()).empty());
}

TEST_F(RealFitTest, AnImpossibleLimitFailsAndADryRunShowsBothPasses)
{
    const std::string clip = lavfiClip("motion", "testsrc2=s=320x180:r=25:d=3");
    JobListModel::Node* tiny = add(clip, kMp4H264, dir.prefix());
    tiny->Item.SizeLimit = 30000;
    ASSERT_TRUE(runToEnd(120000));
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_FALSE(outcomes[0].converted);
    EXPECT_EQ(outcomes[0].reason.substr(0, 34), "30.0 kB is too small for 00:00:03 ") << outcomes[0].reason;

    tiny->Item.SizeLimit = 2000000;
    const std::vector<std::vector<std::string>> passes = driver.passArgumentsFor(*tiny);
    ASSERT_EQ(passes.size(), 2u);
    EXPECT_TRUE(holds(passes[0], {"-pass", "1", "-passlogfile", dir.file("motion.mp4") + ".passlog"}));
    EXPECT_TRUE(holds(passes[0], {"file:" + dir.file("motion.pass1.mp4")}));
    EXPECT_EQ(passes[0].back(), "file:" + dir.file("motion.sound.mp4"));
    EXPECT_TRUE(holds(passes[1], {"-pass", "2"}));
    EXPECT_EQ(passes[1].back(), "file:" + dir.file("motion.mp4"));
    const auto rate = std::find(passes[1].begin(), passes[1].end(), "-b:v");
    ASSERT_NE(rate, passes[1].end());
    // 2 MB over 3 s, less 160 kbit/s of sound: about 5 Mbit/s.
    EXPECT_GT(std::stoll(*(rate + 1)), 4500000);
    EXPECT_LT(std::stoll(*(rate + 1)), 5200000);
    tiny->Item.SizeLimit = 0;
    const std::vector<std::vector<std::string>> plain = {driver.argumentsFor(*tiny)};
    EXPECT_EQ(driver.passArgumentsFor(*tiny), plain) << "no limit: one line as ever";
}

} // namespace
