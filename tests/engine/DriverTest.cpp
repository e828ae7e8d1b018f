#include "DriverTestSupport.h"
#include "EngineTestSupport.h"
#include "ErrorReport.h"
#include "FfmpegAbilities.h"
#include "TempDir.h"
#include "command.h"
#include "commandManager.h"

#include <QStandardPaths>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

namespace {

namespace fs = std::filesystem;

TEST_F(DriverTest, ThreeItemsConvertWithProgressAfterEach)
{
    for (int i = 0; i < 3; ++i)
        add(clip(), kMp4H264, dir.prefix());
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(progress, (std::vector<int> {33, 66, 100}));
    EXPECT_EQ(finished, std::vector<bool> {false});
    EXPECT_EQ(states(), (std::vector<ItemState> {ItemState::done, ItemState::done, ItemState::done}));
    EXPECT_EQ(
        outputs, (std::vector<std::string> {dir.file("clip.mp4"), dir.file("clip_2.mp4"), dir.file("clip_2_2.mp4")}));
    for (const std::string& output : outputs)
        EXPECT_EQ(probe(output), "mov,mp4,m4a,3gp,3g2,mj2:h264,aac") << output;
    EXPECT_TRUE(driver.Idle());
    EXPECT_EQ(driver.Elapsed(), 0);
    EXPECT_EQ(driver.CurrentIndex(), 0u);
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(isWorking(model.nodeAt(i)->State));

    // A second run converts every item again, into new names.
    finished.clear();
    outputs.clear();
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(outputs.front(), dir.file("clip_2_2_2.mp4"));
}

TEST_F(DriverTest, EveryCatalogueFormatProducesItsContainerAndCodecs)
{
    const std::vector<std::pair<std::string, std::vector<std::string>>> expected = {
        {"mov,mp4,m4a,3gp,3g2,mj2", {"h264", "aac"}},
        {"mov,mp4,m4a,3gp,3g2,mj2", {"hevc", "aac"}},
        {"matroska,webm", {"vp9", "opus"}},
        {"matroska,webm", {"h264", "aac"}},
        {"avi", {"mpeg4", "mp3"}},
        {"mov,mp4,m4a,3gp,3g2,mj2", {"h264", "aac"}},
        {"flv", {"h264", "aac"}},
        {"mpeg", {"mpeg2video", "ac3"}},
        {"gif", {"gif"}},
        {"mp3", {"mp3"}},
        {"mov,mp4,m4a,3gp,3g2,mj2", {"aac"}},
        {"flac", {"flac"}},
        {"ogg", {"opus"}},
        {"wav", {"pcm_s16le"}},
    };
    // The shipped software formats; the hardware ones follow and need a render device.
    ASSERT_EQ(static_cast<int>(expected.size()) + 2, static_cast<int>(catalogue.Formats().size()));
    for (int i = 0; i < static_cast<int>(expected.size()); ++i)
        add(clip(), i, dir.prefix());
    ASSERT_TRUE(runToEnd(300000));
    ASSERT_EQ(outputs.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const std::string found = probe(outputs[i]);
        EXPECT_EQ(found.substr(0, found.find(':')), expected[i].first) << catalogue.Formats()[i];
        for (const std::string& codec : expected[i].second)
            EXPECT_NE(found.find(codec, found.find(':')), std::string::npos) << catalogue.Formats()[i] << ": " << found;
        EXPECT_EQ(model.nodeAt(static_cast<int>(i))->State, ItemState::done) << catalogue.Formats()[i];
    }
}

TEST_F(DriverTest, AwkwardFileNamesConvert)
{
    fs::create_directory(dir.file("out dir"));
    const std::string source = clip("-dash 'apos' \"quote\" caf\xC3\xA9 & more.avi");
    add(source, kMp3, dir.file("out dir") + "/");
    ASSERT_TRUE(runToEnd());
    ASSERT_EQ(outputs.size(), 1u);
    EXPECT_EQ(outputs[0], dir.file("out dir/-dash 'apos' \"quote\" caf\xC3\xA9 & more.mp3"));
    EXPECT_EQ(probe(outputs[0]), "mp3:mp3");
    EXPECT_EQ(driver.commandLineFor(*model.first()).substr(0, driver.FfmpegPath.size() + 8),
        "\"" + driver.FfmpegPath + "\" -i \"/");
}

TEST_F(DriverTest, ExistingFilesAreNeverOverwritten)
{
    writeFileBytes(dir.file("clip.mp3"), "first");
    writeFileBytes(dir.file("clip_2.mp3"), "second");
    add(clip(), kMp3, dir.prefix());
    // Same extension and folder as the source: the source itself is a collision.
    add(clip(), shippedFormat("wav"), dir.prefix());
    writeFileBytes(dir.file("clip.wav"), "source-like");
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(outputs[0], dir.file("clip_2_2.mp3"));
    EXPECT_EQ(outputs[1], dir.file("clip_2.wav"));
    EXPECT_EQ(readFileBytes(dir.file("clip.mp3")), "first");
    EXPECT_EQ(readFileBytes(dir.file("clip_2.mp3")), "second");
    EXPECT_EQ(readFileBytes(dir.file("clip.wav")), "source-like");
}

TEST_F(DriverTest, FailuresMarkTheItemAndTheRunGoesOn)
{
    add(clip(), kMp3, dir.file("no/such/dir/")); // output directory missing
    add(dir.file("missing.avi"), kMp3, dir.prefix()); // source missing
    add(clip(), 99, dir.prefix()); // format outside the catalogue
    add(clip(), kMp3, dir.prefix());
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(
        states(), (std::vector<ItemState> {ItemState::failed, ItemState::failed, ItemState::failed, ItemState::done}));
    EXPECT_EQ(progress, (std::vector<int> {25, 50, 75, 100}));
    EXPECT_EQ(finished, std::vector<bool> {false});
    ASSERT_EQ(errors.size(), 1u) << "only the unknown format is reported; ffmpeg's own failures are not";
    EXPECT_NE(errors[0].find("(number 99) is not in the format catalogue"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir.file("missing.mp3"))) << "a failed item leaves no output behind";

    // Each failed item keeps ffmpeg's last word on it; a done one keeps nothing.
    EXPECT_EQ(model.nodeAt(0)->Failure,
        "Cannot create file \"" + QString::fromStdString(dir.file("no/such/dir/clip.mp3"))
            + "\". No such file or directory");
    EXPECT_EQ(
        model.nodeAt(1)->Failure, QString::fromStdString(dir.file("missing.avi")) + ": No such file or directory");
    EXPECT_EQ(model.nodeAt(2)->Failure, "format number 99 is not in the format catalogue");
    EXPECT_EQ(model.nodeAt(3)->Failure, "");
    // Converted again, the reason of an earlier failure goes.
    model.nodeAt(0)->Item.Path = QString::fromStdString(dir.prefix());
    finished.clear();
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(model.nodeAt(0)->State, ItemState::done);
    EXPECT_EQ(model.nodeAt(0)->Failure, "");
}

TEST_F(DriverTest, MissingFfmpegFailsEveryItemAndReportsEach)
{
    driver.FfmpegPath = dir.file("no-ffmpeg");
    add(clip(), kMp3, dir.prefix());
    add(clip(), kMp3, dir.prefix());
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(states(), (std::vector<ItemState> {ItemState::failed, ItemState::failed}));
    EXPECT_EQ(model.nodeAt(0)->Failure, "ffmpeg could not be started");
    EXPECT_EQ(finished, std::vector<bool> {false});
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0],
        "\"" + dir.file("no-ffmpeg") + "\" -i \"" + clip() + "\" " + catalogue.GetParams(kMp3) + " \""
            + dir.file("clip.mp3") + "\" doesn't exist.");
}

// A stand-in ffmpeg: sources named "slow" write part of their output and then
// hang; others finish at once.
class StoppingTest : public DriverTest {
protected:
    StoppingTest()
    {
        writeScript(dir.file("fake-ffmpeg"),
            standInArguments()
                + "case \"$source\" in *slow*) echo $$ > \"$source.pid\"; echo partial > \"$output\";"
                  " exec sleep 60;; esac\n"
                  "echo done > \"$output\"");
        driver.FfmpegPath = dir.file("fake-ffmpeg");
    }
    static long slowPid(const std::string& source) { return pidWrittenTo(source + ".pid"); }
};

TEST_F(StoppingTest, StopDuringSecondItemMarksItStopped)
{
    add(dir.file("a.avi"), kMp3, dir.prefix());
    JobListModel::Node* slow = add(dir.file("slow.avi"), kMp3, dir.prefix());
    add(dir.file("c.avi"), kMp3, dir.prefix());
    std::vector<JobListModel::Node*> started;
    QObject::connect(&driver, &TCommand::itemStarted, [&](JobListModel::Node* node) { started.push_back(node); });
    std::vector<std::int64_t> ticks;
    QObject::connect(&driver, &TCommand::OnTick, [&](QTimer*) { ticks.push_back(driver.Elapsed()); });

    driver.Start();
    const long pid = slowPid(dir.file("slow.avi"));
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(waitFor([&] { return !ticks.empty(); }));
    EXPECT_EQ(ticks.front(), 1);
    EXPECT_EQ(slow->Item.ActivityPos, 1u);
    EXPECT_EQ(slow->State, ItemState::converting);
    EXPECT_EQ(driver.CurrentIndex(), 1u);
    driver.Stop();
    EXPECT_FALSE(driver.Idle()) << "stopping until the child's end is reported";
    ASSERT_TRUE(waitFor([&] { return !finished.empty(); }));

    EXPECT_EQ(finished, std::vector<bool> {true});
    EXPECT_EQ(progress, (std::vector<int> {33, 66}));
    EXPECT_EQ(states(), (std::vector<ItemState> {ItemState::done, ItemState::stopped, ItemState::waiting}));
    EXPECT_EQ(slow->Failure, "stopped");
    EXPECT_EQ(started.size(), 2u);
    EXPECT_FALSE(isWorking(slow->State));
    EXPECT_EQ(slow->Item.ActivityPos, 0u);
    EXPECT_TRUE(fs::exists(dir.file("a.mp3")));
    EXPECT_FALSE(fs::exists(dir.file("slow.mp3"))) << "the partial output of a stopped item is removed";
    EXPECT_TRUE(waitFor([&] { return !processRuns(pid); }));
    EXPECT_TRUE(driver.Idle());
    EXPECT_EQ(driver.Elapsed(), 0);
}

TEST_F(StoppingTest, StopDuringLastItemStillReportsStopped)
{
    add(dir.file("a.avi"), kMp3, dir.prefix());
    add(dir.file("slow.avi"), kMp3, dir.prefix());
    driver.Start();
    ASSERT_GT(slowPid(dir.file("slow.avi")), 0);
    driver.Stop();
    ASSERT_TRUE(waitFor([&] { return !finished.empty(); }));
    EXPECT_EQ(finished, std::vector<bool> {true});
    EXPECT_EQ(progress, (std::vector<int> {50, 100}));
    EXPECT_EQ(states(), (std::vector<ItemState> {ItemState::done, ItemState::stopped}));
}

TEST_F(StoppingTest, DestroyingTheDriverDuringARunEndsFfmpegSilently)
{
    add(dir.file("slow.avi"), kMp3, dir.prefix());
    long pid = 0;
    {
        TCommandManager ownCatalogue(CALVERA_CATALOGUE);
        JobListModel ownModel;
        TItemData item;
        item.FileName = QString::fromStdString(dir.file("slow.avi"));
        item.FormatIndex = kMp3;
        item.Path = QString::fromStdString(dir.prefix());
        ownModel.append(item);
        TCommand doomed(ownModel, ownCatalogue);
        doomed.FfmpegPath = dir.file("fake-ffmpeg");
        QObject::connect(
            &doomed, &TCommand::OnFinished, [this](TDosCommand*, bool stopped) { finished.push_back(stopped); });
        doomed.Start();
        pid = slowPid(dir.file("slow.avi"));
        ASSERT_GT(pid, 0);
        ASSERT_TRUE(waitFor([&] { return !temporariesIn(dir.prefix()).empty(); }));
    }
    EXPECT_FALSE(processRuns(pid)) << "ended with the driver";
    EXPECT_TRUE(temporariesIn(dir.prefix()).empty()) << "its partial output is removed";
    EXPECT_FALSE(fs::exists(dir.file("slow.mp3")));
    processPendingEvents(); // the runner waited for its reader
    EXPECT_TRUE(finished.empty());
}

TEST_F(StoppingTest, RemovingTheRunningNodeStopsTheRun)
{
    add(dir.file("slow.avi"), kMp3, dir.prefix());
    add(dir.file("b.avi"), kMp3, dir.prefix());
    driver.Start();
    ASSERT_GT(slowPid(dir.file("slow.avi")), 0);
    model.remove(model.first());
    ASSERT_TRUE(waitFor([&] { return !finished.empty(); }));
    EXPECT_EQ(finished, std::vector<bool> {true});
    EXPECT_EQ(states(), std::vector<ItemState> {ItemState::waiting});
}

// A stand-in ffmpeg made of the given shell lines, which see $source and $output.
class StandInTest : public DriverTest {
protected:
    void standIn(const std::string& body)
    {
        writeScript(dir.file("stand-in"), standInArguments() + body);
        driver.FfmpegPath = dir.file("stand-in");
    }
};

TEST_F(StandInTest, AFileMadeUnderTheOutputNameDuringTheRunSurvives)
{
    // Another program writes the wanted name while ffmpeg runs; ffmpeg then
    // succeeds for the first item and fails for the second.
    standIn("echo theirs > \"" + dir.file("clip.mp3")
        + "\"\necho ours > \"$output\"\n"
          "case \"$source\" in *fail*) exit 1;; esac");
    add(clip(), kMp3, dir.prefix());
    add(clip("fail.avi"), kMp3, dir.prefix());
    writeFileBytes(dir.file("fail.mp3"), "a file of the user's");
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(states(), (std::vector<ItemState> {ItemState::done, ItemState::failed}));
    EXPECT_EQ(outputs, (std::vector<std::string> {dir.file("clip_2.mp3"), dir.file("fail_2.mp3")}));
    EXPECT_EQ(readFileBytes(dir.file("clip.mp3")), "theirs\n");
    EXPECT_EQ(readFileBytes(dir.file("clip_2.mp3")), "ours\n");
    EXPECT_EQ(readFileBytes(dir.file("fail.mp3")), "a file of the user's");
    EXPECT_FALSE(fs::exists(dir.file("fail_2.mp3")));
    EXPECT_TRUE(temporariesIn(dir.prefix()).empty());
}

TEST_F(StandInTest, AnExitCodeOfZeroIsNotEnoughForSuccess)
{
    // As ffmpeg 5.1 does on a full disk: the error, a cut file, and 0.
    standIn("case \"$source\" in\n"
            "  *full*) echo cut > \"$output\"; echo \"Error writing trailer of file:$output: No space left on "
            "device\"; exit 0;;\n"
            "  *empty*) exit 0;;\n"
            "esac\necho whole > \"$output\"");
    add(clip("full.avi"), kMp3, dir.prefix());
    add(clip("empty.avi"), kMp3, dir.prefix());
    add(clip("whole.avi"), kMp3, dir.prefix());
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(states(), (std::vector<ItemState> {ItemState::failed, ItemState::failed, ItemState::done}));
    EXPECT_EQ(model.nodeAt(0)->Failure.toStdString(),
        "Error writing trailer of " + dir.file("full.mp3") + ": No space left on device")
        << "the reason names the output as the user knows it";
    EXPECT_EQ(model.nodeAt(1)->Failure, "ffmpeg wrote no output");
    EXPECT_FALSE(fs::exists(dir.file("full.mp3")));
    EXPECT_FALSE(fs::exists(dir.file("empty.mp3")));
    EXPECT_EQ(readFileBytes(dir.file("whole.mp3")), "whole\n");
    EXPECT_TRUE(temporariesIn(dir.prefix()).empty());
}

TEST_F(StandInTest, FfmpegGetsEveryNameAsALocalFile)
{
    standIn("printf '%s\\n' \"$@\" > \"" + dir.file("arguments") + "\"\necho x > \"$output\"");
    fs::create_directory(dir.file("out"));
    // A name that ffmpeg would fetch, and a folder without its separator.
    add("http://127.0.0.1:9/clip.avi", kMp3, dir.file("out"));
    ASSERT_TRUE(runToEnd());
    std::ifstream in(dir.file("arguments"));
    std::vector<std::string> arguments;
    for (std::string line; std::getline(in, line);)
        arguments.push_back(line);
    const std::string cwd = fs::current_path().string();
    ASSERT_GE(arguments.size(), 6u);
    EXPECT_EQ(arguments[0], "-n") << "ffmpeg overwrites nothing, whatever the entry names";
    EXPECT_EQ(arguments[1], "-loglevel");
    EXPECT_EQ(arguments[2], "level+info") << "each line tells its level";
    EXPECT_EQ(arguments[3], "-i");
    EXPECT_EQ(arguments[4], "file:" + cwd + "/http://127.0.0.1:9/clip.avi");
    EXPECT_TRUE(arguments.back().starts_with("file:" + dir.file("out/.calvera-"))) << arguments.back();
    EXPECT_EQ(outputs, std::vector<std::string> {dir.file("out/clip.mp3")});
    EXPECT_TRUE(fs::exists(dir.file("out/clip.mp3")));
    EXPECT_EQ(driver.commandLineFor(*model.first()),
        "\"" + driver.FfmpegPath + "\" -i \"http://127.0.0.1:9/clip.avi\" " + catalogue.GetParams(kMp3) + " \""
            + dir.file("out/clip_2.mp3") + "\"")
        << "the shown command line keeps its form";
}

TEST_F(StandInTest, AFormatTheInstalledFfmpegCannotWriteFailsAtOnceAndItIsAskedOncePerVersion)
{
    // This ffmpeg has the MP3 encoder and muxer only, and counts how often it is asked.
    const std::string lists = "case \"$2\" in\n"
                              "  -encoders) echo asked >> \""
        + dir.file("asked")
        + "\"\n"
          "    printf 'Encoders:\\n ------\\n A....D libmp3lame  MP3\\n'; exit 0;;\n"
          "  -muxers) printf 'File formats:\\n --\\n  E mp3  MP3\\n'; exit 0;;\n"
          "esac\n";
    writeScript(dir.file("stand-in"),
        lists + standInArguments() + "echo run >> \"" + dir.file("runs") + "\"\necho x > \"$output\"");
    driver.FfmpegPath = dir.file("stand-in");
    add(clip(), kMp4H264, dir.prefix());
    add(clip(), kMp3, dir.prefix());
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(states(), (std::vector<ItemState> {ItemState::failed, ItemState::done}));
    EXPECT_EQ(model.nodeAt(0)->Failure.toStdString(),
        "the format \"" + catalogue.formatName(kMp4H264)
            + "\" is unavailable: the installed ffmpeg has no encoder \"libx264\"");
    EXPECT_EQ(readFileBytes(dir.file("runs")), "run\n") << "only the MP3 item ran ffmpeg";
    EXPECT_EQ(catalogue.whyUnavailable(kMp3, FfmpegProbe::of(driver.FfmpegPath)->wait().get()), "");
    EXPECT_EQ(readFileBytes(dir.file("asked")), "asked\n");

    // Another ffmpeg under the same name (a new modification time) is asked again.
    fs::last_write_time(dir.file("stand-in"), fs::last_write_time(dir.file("stand-in")) + std::chrono::seconds(5));
    EXPECT_NE(catalogue.whyUnavailable(kMp4H264, FfmpegProbe::of(driver.FfmpegPath)->wait().get()), "");
    EXPECT_EQ(readFileBytes(dir.file("asked")), "asked\nasked\n");
}

TEST_F(StandInTest, InputParametersGoBeforeTheInputAndUnavailableFormatsNeverRunFfmpeg)
{
    standIn("printf '%s\\n' \"$@\" >> \"" + dir.file("arguments") + "\"\necho x > \"$output\"");
    writeFileBytes(dir.file("mine"),
        "<c><e><format>Cut</format><inputparams>-ss 5</inputparams><params>-c:a copy</params><ext>mka</ext></e>"
        "<e><format>GPU</format><params>-c:v h264_vaapi</params><ext>mp4</ext></e></c>");
    const TCommandManager own(dir.file("mine"));
    JobListModel jobs;
    TItemData item;
    item.FileName = QString::fromStdString(clip());
    item.Path = QString::fromStdString(dir.prefix());
    jobs.append(item);
    item.FormatIndex = 1;
    jobs.append(item);
    TCommand ownDriver(jobs, own);
    ownDriver.FfmpegPath = dir.file("stand-in");
    bool ended = false;
    QObject::connect(&ownDriver, &TCommand::runFinished, [&] { ended = true; });
    EXPECT_EQ(ownDriver.commandLineFor(*jobs.first()),
        "\"" + dir.file("stand-in") + "\" -ss 5 -i \"" + clip() + "\" -c:a copy \"" + dir.file("clip.mka") + "\"");
    ownDriver.Start();
    ASSERT_TRUE(waitFor([&] { return ended; }));
    std::ifstream in(dir.file("arguments"));
    std::vector<std::string> arguments;
    for (std::string line; std::getline(in, line);)
        arguments.push_back(line);
    ASSERT_GE(arguments.size(), 7u);
    EXPECT_EQ(std::vector<std::string>(arguments.begin(), arguments.begin() + 6),
        (std::vector<std::string> {"-n", "-loglevel", "level+info", "-ss", "5", "-i"}))
        << "one run only: the unavailable format never reached ffmpeg";
    EXPECT_EQ(jobs.nodeAt(0)->State, ItemState::done);
    if (!fs::exists("/dev/dri")) {
        EXPECT_EQ(jobs.nodeAt(1)->State, ItemState::failed);
        EXPECT_EQ(jobs.nodeAt(1)->Failure,
            "the format \"GPU\" is unavailable: it needs a VAAPI render device, and /dev/dri has none");
        EXPECT_EQ(std::count(arguments.begin(), arguments.end(), "-n"), 1);
    }
}

} // namespace

namespace {

// Two lanes and a stand-in whose items say they started, then wait for leave
// to write their output, or hang when named "slow".
class SimultaneousTest : public StandInTest {
protected:
    SimultaneousTest()
    {
        standIn("echo $$ > \"$source.started\"\n"
                "case \"$source\" in *slow*) echo partial > \"$output\"; exec sleep 60;; esac\n"
                "while [ ! -e \""
            + dir.file("leave") + "\" ]; do sleep 0.02; done\necho \"$source\" > \"$output\"");
        driver.Jobs = 2;
        QObject::connect(
            &driver, &TCommand::itemStarted, [this](JobListModel::Node* node) { started.push_back(node); });
    }
    bool startedFile(const std::string& name) const { return fs::exists(dir.file(name + ".started")); }

    std::vector<JobListModel::Node*> started;
};

TEST_F(SimultaneousTest, ItemsStartInListOrderAsLanesFreeAndTheCountsAndFractionStayRight)
{
    JobListModel::Node* a = add(dir.file("a.avi"), kMp3, dir.prefix());
    JobListModel::Node* b = add(dir.file("b.avi"), kMp3, dir.prefix());
    add(dir.file("c.avi"), kMp3, dir.prefix());
    driver.Start();
    ASSERT_TRUE(waitFor([&] { return startedFile("a.avi") && startedFile("b.avi"); }));
    processPendingEvents();
    EXPECT_FALSE(startedFile("c.avi")) << "two at once, not three";
    EXPECT_EQ(started, (std::vector<JobListModel::Node*> {a, b}));
    EXPECT_EQ(states(), (std::vector<ItemState> {ItemState::converting, ItemState::converting, ItemState::waiting}));
    a->Progress.fraction = 0.5;
    b->Progress.fraction = 0.25;
    EXPECT_DOUBLE_EQ(driver.runFraction(), 0.75 / 3);

    writeFileBytes(dir.file("leave"), "");
    ASSERT_TRUE(waitFor([&] { return !finished.empty(); }));
    EXPECT_EQ(finished, std::vector<bool> {false});
    EXPECT_EQ(started.size(), 3u);
    EXPECT_EQ(progress, (std::vector<int> {33, 66, 100}));
    EXPECT_EQ(states(), (std::vector<ItemState> {ItemState::done, ItemState::done, ItemState::done}));
    for (const char* name : {"a", "b", "c"})
        EXPECT_EQ(readFileBytes(dir.file(std::string(name) + ".mp3")), dir.file(std::string(name) + ".avi\n"));
    EXPECT_EQ(driver.lastRun().converted, 3);
    EXPECT_EQ(driver.FinishedCount(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(isWorking(model.nodeAt(i)->State));
}

TEST_F(SimultaneousTest, ItemsWantingOneNameAtOnceGetTwo)
{
    fs::create_directories(dir.file("one"));
    fs::create_directories(dir.file("two"));
    add(dir.file("one/clip.avi"), kMp3, dir.prefix());
    add(dir.file("two/clip.avi"), kMp3, dir.prefix());
    writeFileBytes(dir.file("leave"), "");
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(states(), (std::vector<ItemState> {ItemState::done, ItemState::done}));
    std::set<std::string> contents {readFileBytes(dir.file("clip.mp3")), readFileBytes(dir.file("clip_2.mp3"))};
    EXPECT_EQ(contents, (std::set<std::string> {dir.file("one/clip.avi\n"), dir.file("two/clip.avi\n")}));
    EXPECT_TRUE(temporariesIn(dir.prefix()).empty());
}

TEST_F(SimultaneousTest, StopEndsEveryRunningItemRemovesWhatTheyWroteAndStartsNoMore)
{
    add(dir.file("slow1.avi"), kMp3, dir.prefix());
    add(dir.file("slow2.avi"), kMp3, dir.prefix());
    add(dir.file("c.avi"), kMp3, dir.prefix());
    driver.Start();
    ASSERT_TRUE(waitFor([&] {
        return temporariesIn(dir.prefix()).size() == 2 && pidIn(dir.file("slow1.avi.started")) > 0
            && pidIn(dir.file("slow2.avi.started")) > 0;
    }));
    driver.Stop();
    ASSERT_TRUE(waitFor([&] { return !finished.empty(); }));
    EXPECT_EQ(finished, std::vector<bool> {true});
    EXPECT_EQ(states(), (std::vector<ItemState> {ItemState::stopped, ItemState::stopped, ItemState::waiting}));
    EXPECT_EQ(model.nodeAt(0)->Failure, "stopped");
    EXPECT_EQ(driver.lastRun().stopped, 2);
    EXPECT_FALSE(startedFile("c.avi"));
    EXPECT_TRUE(temporariesIn(dir.prefix()).empty());
    EXPECT_FALSE(fs::exists(dir.file("slow1.mp3")));
    for (const char* name : {"slow1.avi.started", "slow2.avi.started"}) {
        const long pid = pidIn(dir.file(name));
        EXPECT_GT(pid, 0) << name;
        EXPECT_TRUE(waitFor([&] { return !processRuns(pid); })) << name;
    }
}

TEST_F(SimultaneousTest, ASelectionConvertsOnlyItsItemsAndCountsOnlyThem)
{
    add(dir.file("a.avi"), kMp3, dir.prefix());
    JobListModel::Node* skipped = add(dir.file("b.avi"), kMp3, dir.prefix());
    add(dir.file("c.avi"), kMp3, dir.prefix());
    writeFileBytes(dir.file("leave"), "");
    driver.Start([&](const JobListModel::Node& node) { return &node != skipped; });
    ASSERT_TRUE(waitFor([&] { return !finished.empty(); }));
    EXPECT_EQ(states(), (std::vector<ItemState> {ItemState::done, ItemState::waiting, ItemState::done}));
    EXPECT_EQ(progress, (std::vector<int> {50, 100}));
    EXPECT_FALSE(startedFile("b.avi"));
    EXPECT_EQ(driver.RunItemCount(), 2);

    // A selection of nothing starts nothing.
    finished.clear();
    driver.Start([](const JobListModel::Node&) { return false; });
    EXPECT_TRUE(driver.Idle());
    EXPECT_TRUE(finished.empty());
}

TEST_F(DriverTest, TwoRealConversionsAtOnceMakeWholeFiles)
{
    driver.Jobs = 2;
    for (int i = 0; i < 3; ++i)
        add(clip(), kMp4H264, dir.prefix());
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(states(), (std::vector<ItemState> {ItemState::done, ItemState::done, ItemState::done}));
    ASSERT_EQ(std::set<std::string>(outputs.begin(), outputs.end()).size(), 3u);
    for (const std::string& output : outputs)
        EXPECT_EQ(probe(output), "mov,mp4,m4a,3gp,3g2,mj2:h264,aac") << output;
}

} // namespace
