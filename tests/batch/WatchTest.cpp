// calvera-batch --watch: files dropped into a folder are converted once they are whole.

#include "BatchTestSupport.h"

#include <QElapsedTimer>

#include <csignal>
#include <fstream>
#include <thread>

namespace {

class WatchTest : public QueueTest {
protected:
    WatchTest()
    {
        fs::create_directories(dir.file("in/out"));
        // The output is a copy of the input as it was when ffmpeg read it; each run is counted.
        writeScript(dir.file("ffmpeg"),
            standInArguments() + "echo \"$source\" >> \"" + dir.file("runs") + "\"\ncat \"$source\" > \"$output\"");
    }
    std::vector<std::string> watching(const std::vector<std::string>& options) const
    {
        std::vector<std::string> arguments
            = {CALVERA_BATCH, "--catalogue", CALVERA_CATALOGUE, "--ffmpeg", dir.file("ffmpeg")};
        arguments.insert(arguments.end(), options.begin(), options.end());
        arguments.insert(arguments.end(), {"-f", kMp3, "-o", dir.file("in/out"), "--watch", dir.file("in")});
        return arguments;
    }
    // The inputs ffmpeg ran for, in order.
    std::vector<std::string> runs() const
    {
        std::vector<std::string> names;
        std::istringstream lines(fs::exists(dir.file("runs")) ? readFileBytes(dir.file("runs")) : "");
        for (std::string line; std::getline(lines, line);)
            names.push_back(line);
        return names;
    }
    bool converted(const std::string& output, int timeoutMs = 20000)
    {
        return waitFor([&] { return fs::exists(dir.file("in/out/" + output)); }, timeoutMs);
    }
};

TEST_F(WatchTest, FilesAreConvertedOnceWholeWhereverTheyComeFromAndOutputsAreNeverWatched)
{
    writeFileBytes(dir.file("in/there-before.avi"), "old");
    RunningProgram program(watching({}));
    ASSERT_TRUE(converted("there-before.mp3")) << program.errors();

    // Written slowly: nothing happens until it is closed, then it is converted once, whole.
    {
        std::ofstream slow(dir.file("in/slow.avi"));
        slow << "first half " << std::flush;
        waitFor([] { return false; }, 1500);
        EXPECT_FALSE(fs::exists(dir.file("in/out/slow.mp3"))) << "still being written";
        slow << "second half" << std::flush;
    }
    ASSERT_TRUE(converted("slow.mp3"));
    EXPECT_EQ(readFileBytes(dir.file("in/out/slow.mp3")), "first half second half");

    // Moved in, and in a folder made below.
    writeFileBytes(dir.file("moved.avi"), "moved");
    fs::rename(dir.file("moved.avi"), dir.file("in/moved.avi"));
    fs::create_directories(dir.file("in/sub/deeper"));
    writeFileBytes(dir.file("in/sub/deeper/deep.avi"), "deep");
    ASSERT_TRUE(converted("moved.mp3"));
    ASSERT_TRUE(converted("deep.mp3"));
    // A hidden file (a download's part, say) is not for converting.
    writeFileBytes(dir.file("in/.partial.avi"), "x");

    program.sendSignal(SIGINT);
    EXPECT_EQ(program.finish(), 130);
    const std::vector<std::string> ran = runs();
    EXPECT_EQ(std::set<std::string>(ran.begin(), ran.end()),
        (std::set<std::string> {dir.file("in/there-before.avi"), dir.file("in/slow.avi"), dir.file("in/moved.avi"),
            dir.file("in/sub/deeper/deep.avi")}));
    EXPECT_EQ(ran.size(), 4u) << "each once; the outputs in in/out were never taken for inputs";
    EXPECT_NE(program.output().find("4 converted"), std::string::npos) << program.output();
}

TEST_F(WatchTest, WithAJournalARestartConvertsNothingAgainAndNewOnlyLeavesTheOldAlone)
{
    writeFileBytes(dir.file("in/a.avi"), "a");
    writeFileBytes(dir.file("in/b.avi"), "b");
    const std::string journal = dir.file("watch.journal");
    {
        RunningProgram first(watching({"--journal", journal, "-j", "2"}));
        ASSERT_TRUE(converted("a.mp3"));
        ASSERT_TRUE(converted("b.mp3"));
        first.sendSignal(SIGTERM);
        EXPECT_EQ(first.finish(), 128 + SIGTERM);
    }
    EXPECT_EQ(runs().size(), 2u);
    {
        RunningProgram again(watching({"--journal", journal, "--progress=json"}));
        ASSERT_TRUE(again.waitForOutput("\"event\":\"watch\""));
        writeFileBytes(dir.file("in/c.avi"), "c");
        ASSERT_TRUE(converted("c.mp3"));
        again.sendSignal(SIGINT);
        again.finish();
    }
    EXPECT_EQ(runs().size(), 3u) << "a and b were not converted again";
    EXPECT_FALSE(fs::exists(dir.file("in/out/a_2.mp3")));

    // Without a journal, --new-only: the files there at the start stay as they are.
    RunningProgram fresh(watching({"--new-only", "--progress=json"}));
    ASSERT_TRUE(fresh.waitForOutput("\"event\":\"watch\""));
    writeFileBytes(dir.file("in/d.avi"), "d");
    ASSERT_TRUE(converted("d.mp3"));
    fresh.sendSignal(SIGINT);
    fresh.finish();
    EXPECT_EQ(runs().size(), 4u);
}

TEST_F(WatchTest, AFolderThatCannotBeWatchedIsBadUsage)
{
    RunningProgram program({CALVERA_BATCH, "--catalogue", CALVERA_CATALOGUE, "--ffmpeg", dir.file("ffmpeg"), "-f", kMp3,
        "--watch", dir.file("none")});
    EXPECT_EQ(program.finish(), 2);
    EXPECT_NE(program.errors().find("cannot watch \"" + dir.file("none") + "/\""), std::string::npos)
        << program.errors();

    // Outputs into the watched folder itself would never be taken in: said at once.
    RunningProgram itself({CALVERA_BATCH, "--catalogue", CALVERA_CATALOGUE, "--ffmpeg", dir.file("ffmpeg"), "-f", kMp3,
        "-o", dir.file("in"), "--watch", dir.file("in")});
    EXPECT_EQ(itself.finish(), 2);
    EXPECT_TRUE(itself.errors().starts_with(
        "calvera-batch: the output folder " + dir.file("in") + "/ is the watched folder, whose outputs"))
        << itself.errors();
}

TEST_F(WatchTest, AWatchedFolderThatGoesAwayEndsTheProgramWithAFailure)
{
    RunningProgram program(watching({}));
    writeFileBytes(dir.file("in/a.avi"), "a");
    ASSERT_TRUE(converted("a.mp3")) << program.errors();
    fs::remove_all(dir.file("in"));
    EXPECT_EQ(program.finish(), 1) << "a service manager sees it fail and may start it again";
    EXPECT_NE(
        program.errors().find("the watched folder " + dir.file("in") + "/ is gone: watching ends"), std::string::npos)
        << program.errors();
}

} // namespace
