// One item's fault fails that item, never the run; a crash leaves nothing
// behind that the next run does not clear or finish.

#include "BatchTestSupport.h"
#include "TemporaryOutput.h"

#include <csignal>
#include <fstream>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

namespace {

TEST_F(QueueTest, AFifoAnUnnamableFileALoopingLinkOrAnUnknownFormatFailsOnlyItsItem)
{
    standIn("");
    writeFileBytes(dir.file("a.avi"), "a");
    writeFileBytes(dir.file("b.avi"), "b");
    ASSERT_EQ(::mkfifo(dir.file("pipe.avi").c_str(), 0600), 0);
    const std::vector<std::string> base
        = {CALVERA_BATCH, "--catalogue", CALVERA_CATALOGUE, "--ffmpeg", dir.file("ffmpeg"), "-o", dir.file("out")};
    for (const char* jobs : {"1", "2"}) {
        std::vector<std::string> arguments = base;
        arguments.insert(
            arguments.end(), {"-j", jobs, "-f", kMp3, dir.file("a.avi"), dir.file("pipe.avi"), dir.file("b.avi")});
        RunningProgram program(arguments);
        EXPECT_EQ(program.finish(), 1) << "-j " << jobs << ": the FIFO neither holds nor ends the run";
        EXPECT_NE(program.output().find("failed exit -   " + dir.file("out/pipe.mp3")), std::string::npos)
            << program.output();
        EXPECT_NE(
            program.output().find("\"" + dir.file("pipe.avi") + "\" is a FIFO, not a regular file"), std::string::npos)
            << program.output();
        EXPECT_TRUE(outputs().contains("b.mp3"));
        fs::remove_all(dir.file("out"));
        fs::create_directory(dir.file("out"));
    }

    // From a pipe of names: one not UTF-8, a link that loops, and a good one.
    fs::create_symlink(dir.file("loop.avi"), dir.file("loop.avi"));
    writeFileBytes(dir.file("caf\xE9.avi"), "x");
    const std::string names = dir.file("caf\xE9.avi") + '\0' + dir.file("loop.avi") + '\0' + dir.file("a.avi") + '\0';
    writeFileBytes(dir.file("names"), names);
    std::vector<std::string> listed = base;
    listed.insert(listed.end(), {"-f", kMp3, "--files0-from", dir.file("names")});
    RunningProgram fromList(listed);
    EXPECT_EQ(fromList.finish(), 1);
    EXPECT_NE(fromList.errors().find("is not valid UTF-8"), std::string::npos) << fromList.errors();
    EXPECT_NE(fromList.output().find("Too many levels of symbolic links"), std::string::npos) << fromList.output();
    EXPECT_EQ(outputs(), std::set<std::string> {"a.mp3"});
    EXPECT_NE(fromList.output().find("2 failed"), std::string::npos) << fromList.output();
    // The unnamable one has an outcome line of its own, like the looping link: a log or a script
    // reading standard output sees every item end, and JSON has an end event for each.
    EXPECT_NE(fromList.output().find("(not run) " + dir.file("caf")), std::string::npos) << fromList.output();
    std::vector<std::string> asJson = listed;
    asJson.insert(asJson.begin() + 1, "--progress=json");
    RunningProgram json(asJson);
    EXPECT_EQ(json.finish(), 1);
    std::size_t ends = 0;
    for (std::size_t at = json.output().find("\"event\":\"end\""); at != std::string::npos;
         at = json.output().find("\"event\":\"end\"", at + 1))
        ++ends;
    EXPECT_EQ(ends, 3U) << json.output();
    EXPECT_NE(json.output().find("\"items\":3"), std::string::npos) << json.output();
    fs::remove_all(dir.file("out"));
    fs::create_directory(dir.file("out"));

    // A format the catalogue lacks: that item fails, the others convert, and -s saves every item.
    std::vector<std::string> unknown = base;
    unknown.insert(unknown.end(), {"-f", "999", dir.file("a.avi"), "-f", kMp3, dir.file("b.avi")});
    RunningProgram outside(unknown);
    EXPECT_EQ(outside.finish(), 1);
    EXPECT_NE(outside.output().find("format number 999 is not in the format catalogue"), std::string::npos)
        << outside.output();
    EXPECT_NE(outside.output().find("(not run) " + dir.file("a.avi")), std::string::npos) << outside.output();
    EXPECT_TRUE(outputs().contains("b.mp3"));
    unknown.insert(unknown.end(), {"-s", dir.file("saved.qfl")});
    EXPECT_EQ(runProgram(unknown), 0);
    const std::string saved = readFileBytes(dir.file("saved.qfl"));
    EXPECT_NE(saved.find("<format>999</format>"), std::string::npos) << saved;
    EXPECT_NE(saved.find("b.avi"), std::string::npos) << saved;
}

TEST_F(QueueTest, AnFfmpegKilledBySignalSaysSoAndAJournalRefusedMakesNoFolder)
{
    standIn("echo '    encoder         : Lavf60.16.100' >&2\nkill -9 $$");
    RunningProgram killed(run({}, {"a"}));
    EXPECT_EQ(killed.finish(), 1);
    EXPECT_NE(killed.output().find("ffmpeg was killed by signal 9"), std::string::npos) << killed.output();
    EXPECT_EQ(killed.output().find("encoder"), std::string::npos) << killed.output();

    writeFileBytes(dir.file("notes.txt"), "remember the milk");
    RunningProgram refused({CALVERA_BATCH, "--catalogue", CALVERA_CATALOGUE, "--ffmpeg", dir.file("ffmpeg"),
        "--journal", dir.file("notes.txt"), "-f", kMp3, "-o", dir.file("new/folder"), dir.file("a.avi")});
    EXPECT_EQ(refused.finish(), 2);
    EXPECT_NE(refused.errors().find("is not a journal of Calvera's"), std::string::npos) << refused.errors();
    EXPECT_EQ(readFileBytes(dir.file("notes.txt")), "remember the milk");
    EXPECT_FALSE(fs::exists(dir.file("new"))) << "nothing made for a run that never ran";
}

TEST_F(QueueTest, AfterACrashRetryingFinishesWhatWasCutShortAndEveryPrivateFolderIsSwept)
{
    // "slow" hangs (its private folder made) until the flag "fast" exists.
    standIn("case \"$source\" in *slow*) [ -e \"" + dir.file("fast") + "\" ] || { echo $$ > \"" + dir.file("pid")
        + "\"; exec sleep 60; };; esac");
    const std::vector<std::string> names = {"a", "slow", "d"};
    const std::string journal = dir.file("run.journal");
    {
        RunningProgram killed(run({"--journal", journal}, names));
        ASSERT_TRUE(waitFor([&] { return fs::exists(dir.file("pid")); }));
        killed.sendSignal(SIGKILL);
        killed.finish();
    }
    const std::vector<std::string> left = temporariesIn(dir.file("out"));
    ASSERT_EQ(left.size(), 1u) << "the crash left slow's private folder";
    // The lock went with the process; older than the few seconds a run takes to lock a folder it made.
    const timespec old[2] = {{1000, 0}, {1000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (left[0] + "/" + TemporaryOutput::kMarker).c_str(), old, 0), 0);

    // Nothing to do for a: still, the folder is swept.
    RunningProgram nothing(run({"--journal", journal}, {"a"}));
    EXPECT_EQ(nothing.finish(), 0);
    EXPECT_NE(nothing.errors().find("nothing to convert"), std::string::npos) << nothing.errors();
    EXPECT_TRUE(temporariesIn(dir.file("out")).empty()) << "swept at the start of a run with nothing to do";

    writeFileBytes(dir.file("fast"), "");
    RunningProgram retry(run({"--journal", journal, "--retry-failed"}, names));
    ASSERT_EQ(retry.finish(), 0) << retry.errors();
    EXPECT_EQ(donePaths(retry.output()), std::vector<std::string> {dir.file("out/slow.mp3")})
        << "started and never ended: retried; d never started";

    RunningProgram again(run({"--journal", journal, "--retry-failed"}, names));
    EXPECT_EQ(again.finish(), 0);
    EXPECT_NE(again.errors().find(
                  "the journal holds 2 items: 2 converted, 0 skipped, 0 failed, 0 stopped, 0 started and never ended"),
        std::string::npos)
        << again.errors();

    // A converted line names the published file by device and inode.
    struct stat published { };
    ASSERT_EQ(::stat(dir.file("out/slow.mp3").c_str(), &published), 0);
    EXPECT_NE(readFileBytes(journal).find(
                  "\t" + std::to_string(published.st_dev) + ":" + std::to_string(published.st_ino) + "\t"),
        std::string::npos)
        << readFileBytes(journal);
}

TEST_F(QueueTest, OutputsInASetgidFolderKeepItsGroup)
{
    if (::geteuid() != 0) {
        std::cout << "not root: cannot give the folder another group; skipped\n";
        return;
    }
    standIn("");
    const gid_t media = 4242;
    ASSERT_EQ(::chown(dir.file("out").c_str(), 0, media), 0);
    ASSERT_EQ(::chmod(dir.file("out").c_str(), 02775), 0);
    ASSERT_EQ(runProgram(run({}, {"a"})), 0);
    writeFileBytes(dir.file("out/touched"), "");
    struct stat output { };
    struct stat touched { };
    ASSERT_EQ(::stat(dir.file("out/a.mp3").c_str(), &output), 0);
    ASSERT_EQ(::stat(dir.file("out/touched").c_str(), &touched), 0);
    EXPECT_EQ(output.st_gid, media);
    EXPECT_EQ(output.st_gid, touched.st_gid) << "as a file made in the folder";
}

} // namespace
