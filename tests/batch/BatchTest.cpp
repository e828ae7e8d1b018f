#include "BatchTestSupport.h"
#include "ClockText.h"
#include "overwriteManager.h"
#include "EngineTestSupport.h"
#include "RunningProgram.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST_F(BatchTest, DryRunPrintsOneShellCommandPerItemAndRunsNothing)
{
    writeFileBytes(dir.file("clip.mp3"), "exists");
    RunningProgram program(batch({"-n", "-f", kMp3, "-o", dir.path().string(), dir.file("clip.avi"), "-f",
        std::to_string(shippedFormat("mp4")), dir.file("clip.avi")}));
    ASSERT_EQ(program.finish(), 0) << program.errors();
    EXPECT_EQ(program.output(),
        "ffmpeg -n -loglevel level+info -i file:" + dir.file("clip.avi") + " -vn -c:a libmp3lame -q:a 2 file:"
            + dir.file("clip_2.mp3") + "\nffmpeg -n -loglevel level+info -i file:" + dir.file("clip.avi")
            + " -c:v libx264 -preset medium -crf 23 -pix_fmt yuv420p -c:a aac -b:a 160k -movflags +faststart file:"
            + dir.file("clip.mp4") + "\n");
    EXPECT_FALSE(fs::exists(dir.file("clip_2.mp3")));
}

TEST_F(BatchTest, DryRunLinesGiveAShellTheArgumentsTheRunGivesFfmpeg)
{
    // A stand-in that records its arguments, a NUL after each.
    writeScript(dir.file("recorder"),
        "case \"$1\" in -hide_banner) exit 0;; esac\nprintf '%s\\0' \"$@\" >> \"" + dir.file("arguments")
            + "\"\nfor argument; do output=${argument#file:}; done\necho x > \"$output\"");
    const std::string awkward = dir.file("-dash $HOME `id` 'single' \"double\"\nnew line.avi");
    writeFileBytes(awkward, "");
    fs::create_directory(dir.file("out"));
    const std::vector<std::string> queue = {CALVERA_BATCH, "--catalogue", CALVERA_CATALOGUE, "--ffmpeg",
        dir.file("recorder"), "-f", kMp3, "-o", dir.file("out"), "--", awkward};
    std::vector<std::string> dryRun = queue;
    dryRun.insert(dryRun.begin() + 1, "-n");
    RunningProgram printed(dryRun);
    ASSERT_EQ(printed.finish(), 0) << printed.errors();
    ASSERT_EQ(runProgram({"/bin/sh", "-c", printed.output()}), 0) << printed.output();
    const std::string evaluated = readFileBytes(dir.file("arguments"));
    fs::remove(dir.file("arguments"));
    fs::remove(dir.file("out/") + extractFileName(changeFileExt(awkward, ".mp3")));
    RunningProgram converted(queue);
    ASSERT_EQ(converted.finish(), 0) << converted.errors();
    std::string ran = readFileBytes(dir.file("arguments"));
    // The run wrote into its private folder; the dry run names the file it became.
    const std::size_t last = ran.rfind("file:", ran.size() - 2);
    ran = ran.substr(0, last) + "file:" + dir.file("out/") + extractFileName(changeFileExt(awkward, ".mp3")) + '\0';
    EXPECT_EQ(evaluated, ran) << "quoted, so the shell expands nothing and splits nothing";
}

TEST_F(BatchTest, ConvertsFilesAndListFilesInTheOrderGiven)
{
    // A list saved by one call and converted by the next, around a file given directly.
    ASSERT_EQ(runProgram(batch({"-s", dir.file("jobs.qfl"), "-f", std::to_string(shippedFormat("flac")), "-o",
                  dir.path().string(), dir.file("clip.avi")})),
        0);
    EXPECT_NE(
        readFileBytes(dir.file("jobs.qfl")).find("<format>" + std::to_string(shippedFormat("flac")) + "</format>"),
        std::string::npos);

    RunningProgram program(batch({"-f", kMp3, "-o", dir.path().string(), dir.file("clip.avi"), dir.file("jobs.qfl")}));
    ASSERT_EQ(program.finish(), 0) << program.errors();
    EXPECT_EQ(program.output(),
        "[1/2] " + dir.file("clip.avi") + "\ndone   exit 0   " + dir.file("clip.mp3") + "\n[2/2] "
            + dir.file("clip.avi") + "\ndone   exit 0   " + dir.file("clip.flac") + "\n"
            + "2 converted, 0 failed, 0 stopped\noutput folder: " + dir.prefix() + "\n");
    EXPECT_EQ(probe(dir.file("clip.mp3")), "mp3:mp3");
    EXPECT_EQ(probe(dir.file("clip.flac")), "flac:flac");
}

TEST_F(BatchTest, SaveListReplacesOnlyAListAndLeavesAnythingElseAsItIs)
{
    const std::string clip = dir.file("clip.avi");
    const std::string video = readFileBytes(clip);
    writeFileBytes(dir.file("old.qfl"), "<list><item><filename>/v/old.avi</filename><format>0</format></item></list>");
    ASSERT_EQ(runProgram(batch({"-s", dir.file("old.qfl"), "-f", kMp3, clip})), 0);
    EXPECT_NE(readFileBytes(dir.file("old.qfl")).find(clip), std::string::npos) << "a list is written over";

    fs::create_symlink(dir.file("old.qfl"), dir.file("link.qfl"));
    const struct {
        std::string target;
        std::string why;
    } refused[] = {
        {clip, "it is not a Calvera list"}, // the video itself, named by mistake
        {dir.file("link.qfl"), "it is not a regular file"},
        {dir.path().string(), "it is not a regular file"},
    };
    const std::string kept = readFileBytes(dir.file("old.qfl"));
    for (const auto& [target, why] : refused) {
        RunningProgram program(batch({"-s", target, "-f", kMp3, clip}));
        EXPECT_EQ(program.finish(), 2) << target;
        EXPECT_EQ(program.errors(), "calvera-batch: -s will not write over \"" + target + "\": " + why + "\n");
    }
    EXPECT_EQ(readFileBytes(clip), video);
    EXPECT_EQ(readFileBytes(dir.file("old.qfl")), kept) << "nor through a link";
}

TEST_F(BatchTest, ExitStatusTellsFailureFromBadUsage)
{
    // A failing item fails the run, not the others: an input that is no video.
    writeFileBytes(dir.file("broken.avi"), "not a video");
    RunningProgram failing(
        batch({"-f", kMp3, "-o", dir.path().string(), dir.file("broken.avi"), dir.file("clip.avi")}));
    EXPECT_EQ(failing.finish(), 1);
    EXPECT_NE(failing.output().find("failed exit "), std::string::npos);
    EXPECT_NE(failing.output().find("done   exit 0   " + dir.file("clip.mp3")), std::string::npos);

    // A missing output folder is made, with its parents, before the run; one that cannot be is bad usage.
    RunningProgram making(batch({"-f", kMp3, "-o", dir.file("new/deeper"), dir.file("clip.avi")}));
    EXPECT_EQ(making.finish(), 0) << making.errors();
    EXPECT_TRUE(fs::exists(dir.file("new/deeper/clip.mp3")));
    RunningProgram unmakeable(batch({"-f", kMp3, "-o", dir.file("clip.avi/inside"), dir.file("clip.avi")}));
    EXPECT_EQ(unmakeable.finish(), 2);
    EXPECT_NE(unmakeable.errors().find("cannot make the output folder \"" + dir.file("clip.avi/inside/") + "\""),
        std::string::npos)
        << unmakeable.errors();
    EXPECT_EQ(unmakeable.output(), "") << "nothing ran";
    RunningProgram onAFile(batch({"-f", kMp3, "-o", dir.file("clip.avi"), dir.file("clip.avi")}));
    EXPECT_EQ(onAFile.finish(), 2);
    EXPECT_EQ(onAFile.errors(),
        "calvera-batch: cannot make the output folder \"" + dir.file("clip.avi/") + "\": it is not a folder\n");

    const std::vector<std::pair<std::vector<std::string>, std::string>> usage = {
        {{}, "nothing to convert"},
        {{dir.file("clip.avi")}, "give -f INDEX before the files"},
        {{"-f", "x1", dir.file("clip.avi")}, "format index 'x1' is not a number"},
        {{"--bogus"}, "unknown option --bogus"},
        {{"-j", "two", "-f", kMp3, dir.file("clip.avi")}, "-j needs a whole number, not 'two'"},
        {{"--shard", "3/3", "-f", kMp3, dir.file("clip.avi")}, "K must be below N"},
        {{"--shard", "1", "-f", kMp3, dir.file("clip.avi")}, "--shard needs K/N"},
        {{"--shard", "0/0", "-f", kMp3, dir.file("clip.avi")}, "--shard needs a number of at least 1"},
        {{"--retry-failed", "-f", kMp3, dir.file("clip.avi")}, "--retry-failed needs --journal FILE"},
        {{dir.file("none.qfl")}, dir.file("none.qfl") + ": No such file or directory"},
    };
    for (const auto& [arguments, message] : usage) {
        RunningProgram program(batch(arguments));
        EXPECT_EQ(program.finish(), 2) << message;
        EXPECT_NE(program.errors().find(message), std::string::npos) << program.errors();
    }

    writeFileBytes(dir.file("bad.qfl"), "<list><item><filename>a</filename><format>abc</format><path/></item>");
    RunningProgram unreadable(batch({dir.file("bad.qfl")}));
    EXPECT_EQ(unreadable.finish(), 2);
    EXPECT_EQ(unreadable.errors(),
        "calvera-batch: " + dir.file("bad.qfl") + ": Invalid XML Element: Unexpected end of data\n");
}

TEST_F(BatchTest, InterruptStopsTheRunAndLeavesNothingRunning)
{
    writeScript(dir.file("slow-ffmpeg"),
        standInArguments() + "echo $$ > \"" + dir.file("ffmpeg.pid") + "\"\necho partial > \"$output\"\nexec sleep 60");
    RunningProgram program({CALVERA_BATCH, "--catalogue", CALVERA_CATALOGUE, "--ffmpeg", dir.file("slow-ffmpeg"), "-f",
        kMp3, "-o", dir.path().string(), dir.file("clip.avi"), dir.file("clip.avi")});
    ASSERT_TRUE(program.waitForOutput("[1/2]"));
    long ffmpeg = 0;
    ASSERT_TRUE(
        waitFor([&] { return (ffmpeg = pidIn(dir.file("ffmpeg.pid"))) > 0 && !temporariesIn(dir.prefix()).empty(); }));
    program.sendSignal(SIGINT);
    EXPECT_EQ(program.finish(), 130);
    EXPECT_EQ(program.output().find("[2/2]"), std::string::npos) << "the rest is not started";
    EXPECT_NE(program.output().find("stopped exit 259 " + dir.file("clip.mp3")), std::string::npos) << program.output();
    EXPECT_FALSE(processRuns(ffmpeg));
    EXPECT_TRUE(temporariesIn(dir.prefix()).empty()) << "the stopped item's partial output is removed";
    EXPECT_FALSE(fs::exists(dir.file("clip.mp3")));
}

TEST_F(BatchTest, AReaderThatGoesAwayStopsTheRunAsCtrlCDoes)
{
    // Two at once: the reader goes once both ffmpegs run; a ends a second later, while b is still being written.
    writeScript(dir.file("two-ffmpeg"),
        standInArguments() + "echo $$ >> \"" + dir.file("ffmpeg.pids")
            + "\"\necho partial > \"$output\"\ncase \"$source\" in *a.avi) sleep 1;; *) sleep 60;; esac\n");
    writeFileBytes(dir.file("a.avi"), "a");
    writeFileBytes(dir.file("b.avi"), "b");
    const std::string command = "\"$0\" --catalogue \"$1\" --ffmpeg \"$2\" -j 2 -f " + std::string(kMp3)
        + " -o \"$3\" \"$4\" \"$5\" | { head -n 1 >/dev/null; until [ \"$(wc -l < \"$6\")\" = 2 ]; do sleep 0.05; "
          "done; }"
          "; exit ${PIPESTATUS[0]}";
    RunningProgram program({"/bin/bash", "-c", command, CALVERA_BATCH, CALVERA_CATALOGUE, dir.file("two-ffmpeg"),
        dir.path().string(), dir.file("a.avi"), dir.file("b.avi"), dir.file("ffmpeg.pids")});
    EXPECT_EQ(program.finish(), 128 + SIGPIPE) << program.errors();
    std::ifstream pids(dir.file("ffmpeg.pids"));
    int started = 0;
    for (long pid = 0; pids >> pid; ++started)
        EXPECT_TRUE(waitFor([&] { return !processRuns(pid); })) << pid;
    EXPECT_EQ(started, 2);
    EXPECT_TRUE(temporariesIn(dir.prefix()).empty()) << "b's private folder is removed as for Ctrl-C";
    EXPECT_FALSE(fs::exists(dir.file("b.mp3")));
}

TEST_F(BatchTest, HostileInputIsBadUsageAndRefusedAtOnce)
{
    writeFileBytes(dir.file("nul.qfl"),
        "<list><item><filename>" + dir.file("clip.avi") + "&#256;x</filename><format>" + kMp3
            + "</format><path/></item></list>");
    ASSERT_EQ(::mkfifo(dir.file("fifo.qfl").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", dir.file("zero.qfl"));
    const std::string clip = dir.file("clip.avi");
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"-f", kMp3, "-o", "", clip}, "option -o needs a value"},
        {{"-s", "", "-f", kMp3, clip}, "option -s needs a value"},
        {{"-f", "", clip}, "option -f needs a value"},
        {{dir.file("zero.qfl")}, "Cannot open file \"" + dir.file("zero.qfl") + "\". It is not a regular file."},
        {{dir.file("fifo.qfl")}, "Cannot open file \"" + dir.file("fifo.qfl") + "\". It is not a regular file."},
        {{dir.file("nul.qfl")}, "Item 1 of \"" + dir.file("nul.qfl") + "\" has a NUL character in its file name."},
    };
    for (const auto& [arguments, message] : refused) {
        RunningProgram program(batch(arguments));
        EXPECT_EQ(program.finish(), 2) << message;
        EXPECT_NE(program.errors().find(message), std::string::npos) << program.errors();
    }
    // Options whose empty value would otherwise mean "the default", and a catalogue that never ends.
    for (const auto& arguments : std::vector<std::vector<std::string>> {
             {CALVERA_BATCH, "--catalogue", "", "-l"}, {CALVERA_BATCH, "--ffmpeg", "", "-f", kMp3, clip}}) {
        RunningProgram program(arguments);
        EXPECT_EQ(program.finish(), 2) << arguments[1];
        EXPECT_NE(program.errors().find("needs a value"), std::string::npos) << program.errors();
    }
    QElapsedTimer clock;
    clock.start();
    RunningProgram zero({CALVERA_BATCH, "--catalogue", "/dev/zero", "-l"});
    EXPECT_EQ(zero.finish(), 2);
    EXPECT_LT(clock.elapsed(), 20000) << "not read to its end, which never comes";
    EXPECT_NE(zero.errors().find("It is not a regular file."), std::string::npos) << zero.errors();
}

TEST_F(BatchTest, TwoRunsAtOnceNeverShareOrLoseAnOutput)
{
    // A stand-in that takes a little while and marks each output as its own.
    writeScript(dir.file("stand-in"), standInArguments() + "sleep 0.02\necho \"$$\" > \"$output\"");
    const std::vector<std::string> arguments
        = {CALVERA_BATCH, "--catalogue", CALVERA_CATALOGUE, "--ffmpeg", dir.file("stand-in"), "-f", kMp3, "-o",
            dir.file("out"), dir.file("clip.avi"), dir.file("clip.avi"), dir.file("clip.avi")};
    for (int trial = 0; trial < 20; ++trial) {
        fs::remove_all(dir.file("out"));
        fs::create_directory(dir.file("out"));
        RunningProgram first(arguments);
        RunningProgram second(arguments);
        ASSERT_EQ(first.finish(), 0) << first.output() << first.errors();
        ASSERT_EQ(second.finish(), 0) << second.output() << second.errors();
        std::vector<std::string> done = donePaths(first.output());
        const std::vector<std::string> secondDone = donePaths(second.output());
        done.insert(done.end(), secondDone.begin(), secondDone.end());
        ASSERT_EQ(done.size(), 6u) << first.output() << second.output();
        std::set<std::string> distinct(done.begin(), done.end());
        EXPECT_EQ(distinct.size(), 6u) << "trial " << trial;
        std::set<std::string> contents;
        for (const std::string& path : done) {
            ASSERT_TRUE(fs::exists(path)) << path;
            contents.insert(readFileBytes(path));
        }
        EXPECT_EQ(contents.size(), 6u) << "every file is one ffmpeg run's own";
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("out")), fs::directory_iterator()), 6)
            << "no temporary is left";
    }
}

TEST_F(BatchTest, TwoRealConversionsAtOnceMakeTwoFiles)
{
    RunningProgram first(batch({"-f", kMp3, "-o", dir.path().string(), dir.file("clip.avi")}));
    RunningProgram second(batch({"-f", kMp3, "-o", dir.path().string(), dir.file("clip.avi")}));
    ASSERT_EQ(first.finish(), 0) << first.errors();
    ASSERT_EQ(second.finish(), 0) << second.errors();
    std::vector<std::string> done = donePaths(first.output() + second.output());
    std::sort(done.begin(), done.end());
    EXPECT_EQ(done, (std::vector<std::string> {dir.file("clip.mp3"), dir.file("clip_2.mp3")}));
    for (const std::string& path : done)
        EXPECT_EQ(probe(path), "mp3:mp3") << path;
}

TEST_F(BatchTest, FfmpegDiesWithAKilledBatch)
{
    writeScript(dir.file("slow-ffmpeg"),
        standInArguments() + "echo $$ > \"" + dir.file("ffmpeg.pid") + "\"\necho partial > \"$output\"\nexec sleep 60");
    RunningProgram program({CALVERA_BATCH, "--catalogue", CALVERA_CATALOGUE, "--ffmpeg", dir.file("slow-ffmpeg"), "-f",
        kMp3, "-o", dir.path().string(), dir.file("clip.avi")});
    long ffmpeg = 0;
    ASSERT_TRUE(
        waitFor([&] { return (ffmpeg = pidIn(dir.file("ffmpeg.pid"))) > 0 && !temporariesIn(dir.prefix()).empty(); }));
    program.sendSignal(SIGKILL);
    EXPECT_EQ(program.finish(), 128 + SIGKILL);
    EXPECT_TRUE(waitFor([&] { return !processRuns(ffmpeg); })) << "ffmpeg does not outlive calvera-batch";
    EXPECT_FALSE(fs::exists(dir.file("clip.mp3"))) << "nothing under the output's name";
}

TEST_F(BatchTest, AFullDiskFailsTheItemAndLeavesNothing)
{
    const FullDisk disk(dir.file("full"));
    if (!disk.mounted())
        GTEST_SKIP() << "mounting a small tmpfs needs root; CI runs this as root";
    makeClip(dir.file("long.avi"), 5.0);
    RunningProgram program(batch({"-f", kMp3, "-o", dir.file("full"), dir.file("long.avi")}));
    EXPECT_EQ(program.finish(), 1) << program.output();
    EXPECT_NE(program.output().find("failed exit 0   " + dir.file("full/long.mp3")), std::string::npos)
        << program.output();
    EXPECT_NE(program.output().find("No space left on device"), std::string::npos) << program.output();
    EXPECT_EQ(fs::directory_iterator(dir.file("full")), fs::directory_iterator()) << "nothing is left on the disk";
}

TEST_F(BatchTest, AFailedItemSaysWhyAndWhereItsLogIsAndTheRunSumsUp)
{
    writeFileBytes(dir.file("broken.avi"), "not a video");
    RunningProgram program(
        batch({"-f", kMp3, "-o", dir.path().string(), dir.file("broken.avi"), dir.file("clip.avi")}));
    EXPECT_EQ(program.finish(), 1);
    const std::string& out = program.output();
    const std::string failed = "failed exit 1   " + dir.file("broken.mp3") + "\n       " + dir.file("broken.avi")
        + ": Invalid data found when processing input\n       log: ";
    ASSERT_NE(out.find(failed), std::string::npos) << out;
    const std::size_t logStart = out.find(failed) + failed.size();
    const std::string log = out.substr(logStart, out.find('\n', logStart) - logStart);
    EXPECT_NE(readFileBytes(log).find("Invalid data found"), std::string::npos) << log;
    EXPECT_TRUE(out.ends_with("1 converted, 1 failed, 0 stopped\nfailed: " + dir.file("broken.avi")
        + "\noutput folder: " + dir.prefix() + "\n"))
        << out;
}

TEST_F(BatchTest, JsonProgressIsOneEventALineInOrder)
{
    makeClip(dir.file("long.avi"), 80.0); // some seconds of VP9: several status lines
    writeFileBytes(dir.file("broken.avi"), "not a video");
    RunningProgram program(batch({"--progress=json", "-f", std::to_string(shippedFormat("webm")), "-o",
        dir.path().string(), dir.file("long.avi"), dir.file("broken.avi")}));
    EXPECT_EQ(program.finish(), 1);
    std::vector<QJsonObject> events;
    std::istringstream lines(program.output());
    for (std::string line; std::getline(lines, line);) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << "not JSON: " << line;
        events.push_back(document.object());
    }
    ASSERT_GE(events.size(), 5u) << program.output();
    std::vector<std::string> kinds;
    for (const QJsonObject& event : events)
        kinds.push_back(event["event"].toString().toStdString());
    EXPECT_EQ(kinds.front(), "start");
    EXPECT_EQ(events.front()["item"].toInt(), 0);
    EXPECT_EQ(kinds.back(), "summary");
    const auto firstEnd = std::find(kinds.begin(), kinds.end(), "end");
    ASSERT_NE(firstEnd, kinds.end());
    EXPECT_EQ(
        std::vector<std::string>(firstEnd, kinds.end()), (std::vector<std::string> {"end", "start", "end", "summary"}));

    double lastPercent = -1;
    int progressEvents = 0;
    int estimates = 0;
    for (const QJsonObject& event : events) {
        if (event["event"] != "progress")
            continue;
        ++progressEvents;
        EXPECT_EQ(event["item"].toInt(), 0);
        EXPECT_GE(event["percent"].toDouble(), lastPercent) << "rising";
        lastPercent = event["percent"].toDouble();
        // ffmpeg's first status line may not know its speed yet: then there is no time left either.
        if (event["eta_s"].isNull())
            continue;
        ++estimates;
        EXPECT_LT(event["eta_s"].toDouble(), 60) << "a sane time left for a clip that takes seconds";
        EXPECT_GT(event["speed"].toDouble(), 0);
    }
    EXPECT_GE(progressEvents, 1);
    EXPECT_GE(estimates, 1);
    const QJsonObject& converted = *(events.end() - 4);
    EXPECT_EQ(converted["outcome"], "converted");
    EXPECT_EQ(converted["exit_code"], 0);
    EXPECT_EQ(converted["output"].toString().toStdString(), dir.file("long.webm"));
    // Measured stream by stream: 80 s of picture at 10 frames a second, and of sound.
    EXPECT_EQ(converted["checked"], "streams");
    const QJsonArray streams = converted["streams"].toArray();
    ASSERT_EQ(streams.size(), 2) << program.output();
    EXPECT_EQ(streams[0]["kind"], "video");
    EXPECT_NEAR(streams[0]["expected_s"].toDouble(), 80, 0.2);
    EXPECT_NEAR(streams[0]["written_s"].toDouble(), 80, 0.2);
    EXPECT_EQ(streams[0]["expected_frames"], 800);
    EXPECT_NEAR(streams[0]["written_frames"].toInt(), 800, 1);
    EXPECT_EQ(streams[1]["kind"], "sound");
    EXPECT_FALSE(streams[1].toObject().contains("written_frames"));
    EXPECT_NEAR(streams[1]["written_s"].toDouble(), 80, 0.2);
    const QJsonObject& failed = *(events.end() - 2);
    EXPECT_EQ(failed["item"].toInt(), 1);
    EXPECT_EQ(failed["outcome"], "failed");
    EXPECT_EQ(failed["reason"].toString().toStdString(),
        dir.file("broken.avi") + ": Invalid data found when processing input");
    EXPECT_TRUE(fs::exists(failed["log"].toString().toStdString()));
    EXPECT_TRUE(failed["checked"].isNull());
    EXPECT_TRUE(failed["streams"].toArray().isEmpty());
    const QJsonObject& summary = events.back();
    EXPECT_EQ(summary["converted"], 1);
    EXPECT_EQ(summary["failed"], 1);
    EXPECT_EQ(summary["stopped"], 0);
    EXPECT_EQ(summary["failed_inputs"].toArray().at(0).toString().toStdString(), dir.file("broken.avi"));
}

TEST_F(BatchTest, FormatsSayWhereEachEntryComesFromAndWhyItCannotBeMade)
{
    // An ffmpeg without libx265 that counts how often it is asked, and a user's catalogue with one entry.
    writeScript(dir.file("ffmpeg"),
        "echo \"$2\" >> \"" + dir.file("asked")
            + "\"\n"
              "case \"$2\" in -encoders) printf ' ------\\n V....D libx264 x\\n A....D aac x\\n A....D libmp3lame "
              "x\\n';;\n"
              "  -muxers) printf ' --\\n  E mp4 x\\n  E mp3 x\\n';; esac\n");
    fs::create_directories(dir.file("config/calvera"));
    writeFileBytes(dir.file("config/calvera/command"),
        "<commands><command><format>Phone</format><params>-c:v libx264</params><ext>mp4</ext></command></commands>");
    RunningProgram program({"/usr/bin/env", "XDG_CONFIG_HOME=" + dir.file("config"), CALVERA_BATCH, "--ffmpeg",
        dir.file("ffmpeg"), "--formats"});
    ASSERT_EQ(program.finish(), 0) << program.errors();
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(program.output());
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> columns;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');)
            columns.push_back(cell);
        rows.push_back(columns);
    }
    ASSERT_EQ(rows.size(), 17u);
    EXPECT_EQ(rows[0],
        (std::vector<std::string> {"0", "MP4 video (H.264 + AAC)", "mp4",
            "-c:v libx264 -preset medium -crf 23 -pix_fmt yuv420p -c:a aac -b:a 160k -movflags +faststart",
            "shipped"}));
    EXPECT_EQ(rows[1].at(4), "unavailable: the installed ffmpeg has no encoder \"libx265\"");
    EXPECT_EQ(rows[16], (std::vector<std::string> {"16", "Phone", "mp4", "-c:v libx264", "user"}));

    // The next run takes the lists from the cache; another ffmpeg under the same name is asked again.
    const auto asked = [&] {
        const std::string text = readFileBytes(dir.file("asked"));
        return std::count(text.begin(), text.end(), '\n');
    };
    EXPECT_EQ(asked(), 2);
    RunningProgram again({CALVERA_BATCH, "--ffmpeg", dir.file("ffmpeg"), "--formats"});
    ASSERT_EQ(again.finish(), 0);
    EXPECT_EQ(again.output(), program.output().substr(0, program.output().rfind("16\t")));
    EXPECT_EQ(asked(), 2);
    std::ofstream(dir.file("ffmpeg"), std::ios::app) << "# another build\n";
    RunningProgram changed({CALVERA_BATCH, "--ffmpeg", dir.file("ffmpeg"), "--formats"});
    ASSERT_EQ(changed.finish(), 0);
    EXPECT_EQ(asked(), 4);

    // A day later the same ffmpeg is asked again: its libraries may have changed under it.
    for (const auto& entry : fs::directory_iterator(qEnvironmentVariable("XDG_CACHE_HOME").toStdString() + "/calvera"))
        fs::last_write_time(entry.path(), fs::last_write_time(entry.path()) - std::chrono::hours(25));
    RunningProgram dayLater({CALVERA_BATCH, "--ffmpeg", dir.file("ffmpeg"), "--formats"});
    ASSERT_EQ(dayLater.finish(), 0);
    EXPECT_EQ(asked(), 6);
}

TEST_F(QueueTest, TwoAtOnceEachItemEndsWhenItEndsAndTheJsonNamesIt)
{
    // "slow" can only end once "last" has started, which needs the lane "quick" frees.
    standIn("case \"$source\" in\n"
            "  *slow*) while [ ! -e \""
        + dir.file("leave")
        + "\" ]; do sleep 0.02; done;;\n"
          "  *last*) : > \""
        + dir.file("leave") + "\";;\nesac");
    RunningProgram program(run({"-j", "2", "--progress=json"}, {"slow", "quick", "last"}));
    ASSERT_EQ(program.finish(), 0) << program.errors();
    std::vector<std::pair<std::string, int>> events;
    std::istringstream lines(program.output());
    for (std::string line; std::getline(lines, line);) {
        const QJsonObject event = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        if (event["event"] == "start" || event["event"] == "end")
            events.emplace_back(event["event"].toString().toStdString(), event["item"].toInt());
    }
    const auto at = [&](const std::string& kind, int item) {
        return std::find(events.begin(), events.end(), std::make_pair(kind, item)) - events.begin();
    };
    ASSERT_EQ(events.size(), 6u) << program.output();
    EXPECT_LT(at("start", 1), at("end", 0)) << "two ran at once";
    EXPECT_LT(at("end", 1), at("start", 2)) << "the third waited for a free lane";
    EXPECT_LT(at("end", 1), at("end", 0)) << "ends are told as they come";
    EXPECT_EQ(outputs(), (std::set<std::string> {"last.mp3", "quick.mp3", "slow.mp3"}));
}

TEST_F(QueueTest, AJournalSurvivesKill9AndTheNextRunConvertsOnlyWhatIsLeft)
{
    // "slow" hangs until the flag "fast" exists.
    standIn("case \"$source\" in *slow*) [ -e \"" + dir.file("fast") + "\" ] || { echo $$ > \"" + dir.file("pid")
        + "\"; exec sleep 60; };; esac");
    const std::vector<std::string> names = {"a", "b", "slow", "d"};
    const std::string journal = dir.file("run.journal");
    {
        RunningProgram killed(run({"--journal", journal}, names));
        ASSERT_TRUE(waitFor([&] { return fs::exists(dir.file("pid")); }));
        killed.sendSignal(SIGKILL);
        EXPECT_EQ(killed.finish(), 128 + SIGKILL);
    }
    EXPECT_EQ(outputs(), (std::set<std::string> {"a.mp3", "b.mp3"}));

    writeFileBytes(dir.file("fast"), "");
    RunningProgram resumed(run({"--journal", journal}, names));
    ASSERT_EQ(resumed.finish(), 0) << resumed.errors();
    EXPECT_EQ(
        donePaths(resumed.output()), (std::vector<std::string> {dir.file("out/slow.mp3"), dir.file("out/d.mp3")}));
    EXPECT_EQ(outputs(), (std::set<std::string> {"a.mp3", "b.mp3", "slow.mp3", "d.mp3"})) << "no _2 copies";
    EXPECT_EQ(resumed.errors(), "");

    RunningProgram nothingLeft(run({"--journal", journal}, names));
    EXPECT_EQ(nothingLeft.finish(), 0);
    EXPECT_NE(nothingLeft.errors().find("nothing to convert"), std::string::npos);
    EXPECT_EQ(outputs().size(), 4u);
    std::istringstream lines(readFileBytes(journal));
    int outcomes = 0;
    for (std::string line; std::getline(lines, line);)
        outcomes += line.starts_with("converted\t") ? 1 : 0;
    EXPECT_EQ(outcomes, 4) << readFileBytes(journal);
}

TEST_F(QueueTest, RetryingConvertsOnlyWhatFailedOrWasStopped)
{
    standIn("case \"$source\" in *bad*) [ -e \"" + dir.file("mended") + "\" ] || exit 1;; esac");
    const std::vector<std::string> names = {"good", "bad", "fine"};
    const std::string journal = dir.file("run.journal");
    RunningProgram first(run({"--journal", journal, "-j", "2"}, names));
    EXPECT_EQ(first.finish(), 1);
    EXPECT_EQ(outputs(), (std::set<std::string> {"good.mp3", "fine.mp3"}));

    writeFileBytes(dir.file("mended"), "");
    RunningProgram retry(run({"--journal", journal, "--retry-failed"}, names));
    ASSERT_EQ(retry.finish(), 0) << retry.errors();
    EXPECT_EQ(donePaths(retry.output()), std::vector<std::string> {dir.file("out/bad.mp3")});
    RunningProgram again(run({"--journal", journal, "--retry-failed"}, names));
    EXPECT_EQ(again.finish(), 0);
    EXPECT_TRUE(donePaths(again.output()).empty());
    EXPECT_EQ(outputs(), (std::set<std::string> {"good.mp3", "bad.mp3", "fine.mp3"}));
}

TEST_F(QueueTest, ShardsRunningAtOnceConvertEveryItemExactlyOnce)
{
    standIn("");
    std::vector<std::string> names;
    for (int i = 0; i < 7; ++i)
        names.push_back("clip" + std::to_string(i));
    RunningProgram dryRun(run({"-n", "--shard", "1/3"}, names));
    ASSERT_EQ(dryRun.finish(), 0);
    EXPECT_EQ(std::count(dryRun.output().begin(), dryRun.output().end(), '\n'), 2);
    EXPECT_NE(dryRun.output().find("clip1.avi"), std::string::npos);
    EXPECT_NE(dryRun.output().find("clip4.avi"), std::string::npos);

    std::vector<std::unique_ptr<RunningProgram>> shards;
    for (int k = 0; k < 3; ++k)
        shards.push_back(std::make_unique<RunningProgram>(run({"--shard", std::to_string(k) + "/3"}, names)));
    std::vector<std::string> done;
    for (const auto& shard : shards) {
        ASSERT_EQ(shard->finish(), 0) << shard->errors();
        const std::vector<std::string> paths = donePaths(shard->output());
        done.insert(done.end(), paths.begin(), paths.end());
    }
    EXPECT_EQ(done.size(), 7u);
    std::set<std::string> expected;
    for (const std::string& name : names) {
        expected.insert(name + ".mp3");
        EXPECT_EQ(readFileBytes(dir.file("out/" + name + ".mp3")), dir.file(name + ".avi\n"));
    }
    EXPECT_EQ(outputs(), expected);
}

TEST(Programs, AnswerVersionAndHelpWithoutDoingAnything)
{
    for (const char* program : {CALVERA_BATCH, CALVERA_WINDOW}) {
        const std::string name = fs::path(program).filename().string();
        RunningProgram version({program, "--version"});
        EXPECT_EQ(version.finish(), 0) << name;
        EXPECT_EQ(version.output(), name + " " + CALVERA_VERSION + "\n");
        RunningProgram help({program, "--help"});
        EXPECT_EQ(help.finish(), 0) << name;
        EXPECT_TRUE(help.output().starts_with("Usage:")) << help.output();
    }
}

TEST(ClockText, KeepsCountingHours)
{
    EXPECT_EQ(clockText(0), "00:00:00");
    EXPECT_EQ(clockText(3 * 3600 + 25 * 60 + 7), "03:25:07");
    EXPECT_EQ(clockText(125 * 3600 + 59), "125:00:59");
}

} // namespace
