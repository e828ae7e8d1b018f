#include "BatchConsole.h"
#include "EngineTestSupport.h"
#include "RunningProgram.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

constexpr int kMp3 = 9;

class BatchTest : public testing::Test {
protected:
    BatchTest() { makeClip(dir.file("clip.avi")); }

    // calvera-batch with the shipped catalogue and the system's ffmpeg.
    std::vector<std::string> batch(std::vector<std::string> arguments) const
    {
        arguments.insert(arguments.begin(), {CALVERA_BATCH, "--catalogue", CALVERA_CATALOGUE, "--ffmpeg", "ffmpeg"});
        return arguments;
    }

    TempDir dir;
};

TEST_F(BatchTest, DryRunPrintsOneCommandLinePerItemAndRunsNothing)
{
    writeFileBytes(dir.file("clip.mp3"), "exists");
    RunningProgram program(batch({"-n", "-f", std::to_string(kMp3), "-o", dir.path().string(), dir.file("clip.avi"),
        "-f", "0", dir.file("clip.avi")}));
    ASSERT_EQ(program.finish(), 0) << program.errors();
    const std::string mp3Params = "-vn -c:a libmp3lame -q:a 2";
    EXPECT_EQ(program.output(),
        "\"ffmpeg\" -i \"" + dir.file("clip.avi") + "\" " + mp3Params + " \"" + dir.file("clip_2.mp3") + "\"\n"
            + "\"ffmpeg\" -i \"" + dir.file("clip.avi") + "\" "
            + "-c:v libx264 -preset medium -crf 23 -pix_fmt yuv420p -c:a aac -b:a 160k "
              "-movflags +faststart \""
            + dir.file("clip.mp4") + "\"\n");
    EXPECT_FALSE(fs::exists(dir.file("clip_2.mp3")));
}

TEST_F(BatchTest, ConvertsFilesAndListFilesInTheOrderGiven)
{
    // A list saved by one call and converted by the next, around a file given directly.
    ASSERT_EQ(
        runProgram(batch({"-s", dir.file("jobs.qfl"), "-f", "11", "-o", dir.path().string(), dir.file("clip.avi")})),
        0);
    EXPECT_NE(readFileBytes(dir.file("jobs.qfl")).find("<format>11</format>"), std::string::npos);

    RunningProgram program(
        batch({"-f", std::to_string(kMp3), "-o", dir.path().string(), dir.file("clip.avi"), dir.file("jobs.qfl")}));
    ASSERT_EQ(program.finish(), 0) << program.errors();
    EXPECT_EQ(program.output(),
        "[1/2] " + dir.file("clip.avi") + "\ndone   exit 0   " + dir.file("clip.mp3") + "\n[2/2] "
            + dir.file("clip.avi") + "\ndone   exit 0   " + dir.file("clip.flac") + "\n");
    EXPECT_EQ(probe(dir.file("clip.mp3")), "mp3:mp3");
    EXPECT_EQ(probe(dir.file("clip.flac")), "flac:flac");
}

TEST_F(BatchTest, ExitStatusTellsFailureFromBadUsage)
{
    // An output directory that does not exist fails the item, not the run.
    RunningProgram failing(batch({"-f", std::to_string(kMp3), "-o", dir.file("missing"), dir.file("clip.avi"), "-o",
        dir.path().string(), dir.file("clip.avi")}));
    EXPECT_EQ(failing.finish(), 1);
    EXPECT_NE(failing.output().find("failed exit "), std::string::npos);
    EXPECT_NE(failing.output().find("done   exit 0   " + dir.file("clip.mp3")), std::string::npos);

    const std::vector<std::pair<std::vector<std::string>, std::string>> usage = {
        {{}, "nothing to convert"},
        {{dir.file("clip.avi")}, "give -f INDEX before the files"},
        {{"-f", "99", dir.file("clip.avi")}, "format index 99 is not in the catalogue"},
        {{"-f", "x1", dir.file("clip.avi")}, "format index 'x1' is not a number"},
        {{"--bogus"}, "unknown option --bogus"},
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
        std::to_string(kMp3), "-o", dir.path().string(), dir.file("clip.avi"), dir.file("clip.avi")});
    ASSERT_TRUE(program.waitForOutput("[1/2]"));
    long ffmpeg = 0;
    ASSERT_TRUE(waitFor([&] {
        std::ifstream in(dir.file("ffmpeg.pid"));
        return static_cast<bool>(in >> ffmpeg) && !temporariesIn(dir.prefix()).empty();
    }));
    program.sendSignal(SIGINT);
    EXPECT_EQ(program.finish(), 130);
    EXPECT_EQ(program.output().find("[2/2]"), std::string::npos) << "the rest is not started";
    EXPECT_NE(program.output().find("failed exit 259 " + dir.file("clip.mp3")), std::string::npos) << program.output();
    EXPECT_FALSE(processRuns(ffmpeg));
    EXPECT_TRUE(temporariesIn(dir.prefix()).empty()) << "the stopped item's partial output is removed";
    EXPECT_FALSE(fs::exists(dir.file("clip.mp3")));
}

TEST(BatchConsole, ElapsedTimeKeepsCountingHours)
{
    EXPECT_EQ(BatchConsole::elapsedText(0), "00:00:00");
    EXPECT_EQ(BatchConsole::elapsedText(3 * 3600 + 25 * 60 + 7), "03:25:07");
    EXPECT_EQ(BatchConsole::elapsedText(125 * 3600 + 59), "125:00:59");
}

} // namespace
