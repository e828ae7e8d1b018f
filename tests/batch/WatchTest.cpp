// calvera-batch --watch: files dropped into a folder are converted once they are whole.

#include "BatchTestSupport.h"

#include <QElapsedTimer>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
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
        // Taken at their close unless a test asks for a settle time: a later --settle wins.
        std::vector<std::string> arguments
            = {CALVERA_BATCH, "--catalogue", CALVERA_CATALOGUE, "--ffmpeg", dir.file("ffmpeg"), "--settle=0"};
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
    ASSERT_TRUE(converted("sub/deeper/deep.mp3")) << "a file below keeps its folder in the output folder";
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
        // Each item's counter counts it among the items so far: never [2/1].
        std::istringstream lines(first.output());
        for (std::string line; std::getline(lines, line);) {
            int item = 0;
            int items = 0;
            if (std::sscanf(line.c_str(), "[%d/%d]", &item, &items) == 2) {
                EXPECT_LE(item, items) << line;
            }
        }
        const std::string recorded = readFileBytes(journal);
        EXPECT_EQ(std::count(recorded.begin(), recorded.end(), '\n'), 7) << "header, and started, publishing and "
                                                                            "converted for each\n"
                                                                         << recorded;
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

TEST_F(WatchTest, AnOutputFolderInsideTheWatchedOneIsNeverWatchedHoweverTheWatchedOneIsSpelt)
{
    // The watched folder through a link, the outputs inside it: they must never come back as inputs.
    fs::create_directory_symlink(dir.file("in"), dir.file("link"));
    RunningProgram program({CALVERA_BATCH, "--catalogue", CALVERA_CATALOGUE, "--ffmpeg", dir.file("ffmpeg"),
        "--settle=0", "--progress=json", "-f", kMp3, "-o", dir.file("in/out"), "--watch", dir.file("link")});
    ASSERT_TRUE(program.waitForOutput("\"event\":\"watch\""));
    writeFileBytes(dir.file("in/clip.avi"), "clip");
    ASSERT_TRUE(converted("clip.mp3")) << program.errors();
    waitFor([] { return false; }, 2000);
    program.sendSignal(SIGINT);
    program.finish();
    EXPECT_EQ(runs(), std::vector<std::string> {dir.file("link/clip.avi")}) << "converted once, its output never";

    // The watched folder given as the output folder by another name is refused at once.
    RunningProgram same({CALVERA_BATCH, "--catalogue", CALVERA_CATALOGUE, "--ffmpeg", dir.file("ffmpeg"), "-f", kMp3,
        "-o", dir.file("link"), "--watch", dir.file("in")});
    EXPECT_EQ(same.finish(), 2);
    EXPECT_NE(same.errors().find("is the watched folder"), std::string::npos) << same.errors();
}

TEST_F(WatchTest, AFileAppendedInStepsIsConvertedOnceWholeAndDownloadsInProgressAreNot)
{
    RunningProgram program(watching({"--settle=3", "--progress=json"}));
    ASSERT_TRUE(program.waitForOutput("\"event\":\"watch\""));
    // Each step closes the file, as a resumed download or "cat >>" does.
    for (int step = 0; step < 5; ++step) {
        std::ofstream(dir.file("in/grown.avi"), std::ios::app) << "step " << step << " ";
        waitFor([] { return false; }, 300);
    }
    // A download: in progress under its .part name, then renamed to its own.
    writeFileBytes(dir.file("in/download.avi.part"), "download");
    writeFileBytes(dir.file("in/page.crdownload"), "page");
    fs::rename(dir.file("in/download.avi.part"), dir.file("in/download.avi"));
    ASSERT_TRUE(converted("grown.mp3")) << program.errors();
    ASSERT_TRUE(converted("download.mp3")) << program.errors();
    waitFor([] { return false; }, 1000);
    program.sendSignal(SIGINT);
    program.finish();
    EXPECT_EQ(readFileBytes(dir.file("in/out/grown.mp3")), "step 0 step 1 step 2 step 3 step 4 ");
    const std::vector<std::string> ran = runs();
    EXPECT_EQ(std::multiset<std::string>(ran.begin(), ran.end()),
        (std::multiset<std::string> {dir.file("in/grown.avi"), dir.file("in/download.avi")}));
}

TEST_F(WatchTest, WithAJournalAFileRewrittenWhileStoppedIsConvertedAgainAndAnUnchangedOneIsNot)
{
    writeFileBytes(dir.file("in/a.avi"), "first");
    writeFileBytes(dir.file("in/b.avi"), "b");
    const std::string journal = dir.file("watch.journal");
    {
        RunningProgram first(watching({"--journal", journal}));
        ASSERT_TRUE(converted("a.mp3"));
        ASSERT_TRUE(converted("b.mp3"));
        first.sendSignal(SIGTERM);
        first.finish();
    }
    // Written anew while nothing watched; a later second so that its time differs too.
    const timespec later[2] = {{0, UTIME_OMIT}, {2000000000, 0}};
    writeFileBytes(dir.file("in/a.avi"), "second");
    ASSERT_EQ(::utimensat(AT_FDCWD, dir.file("in/a.avi").c_str(), later, 0), 0);
    for (int restart = 0; restart < 2; ++restart) {
        RunningProgram again(watching({"--journal", journal, "--progress=json"}));
        ASSERT_TRUE(again.waitForOutput("\"event\":\"watch\""));
        if (restart == 0) {
            ASSERT_TRUE(converted("a_2.mp3")) << again.errors();
        }
        waitFor([] { return false; }, 1500);
        again.sendSignal(SIGINT);
        again.finish();
    }
    EXPECT_EQ(readFileBytes(dir.file("in/out/a_2.mp3")), "second");
    EXPECT_EQ(runs().size(), 3u) << "a twice, once for each content; b once; nothing after the second restart";
    const std::string lines = readFileBytes(journal);
    EXPECT_TRUE(lines.starts_with("# Calvera run journal, layout 3\n")) << lines;
    EXPECT_NE(lines.find("\t6:2000000000000000000\t"), std::string::npos) << "size and time of the rewrite\n" << lines;
}

} // namespace
