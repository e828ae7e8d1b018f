#include "BatchTestSupport.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <climits>
#include <csignal>
#include <fstream>
#include <functional>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

namespace {

// The journal lines that say how items ended, header and publishing lines left out.
int outcomeLines(const std::string& journal)
{
    std::istringstream lines(readFileBytes(journal));
    int count = 0;
    for (std::string line; std::getline(lines, line);)
        count += line.starts_with("converted\t") || line.starts_with("failed\t") || line.starts_with("stopped\t");
    return count;
}

TEST_F(QueueTest, ASecondRunOnTheSameJournalIsRefusedAtOnceAndNothingConvertsTwice)
{
    // The first run's items wait for a flag, so both runs would overlap.
    standIn("while [ ! -e \"" + dir.file("go") + "\" ]; do sleep 0.02; done");
    const std::string journal = dir.file("run.journal");
    RunningProgram first(run({"--journal", journal}, {"d1", "d2", "d3"}));
    ASSERT_TRUE(first.waitForOutput("[1/3]"));
    QElapsedTimer clock;
    clock.start();
    RunningProgram second(run({"--journal", journal}, {"d1", "d2", "d3"}));
    EXPECT_EQ(second.finish(), 2);
    EXPECT_LT(clock.elapsed(), 20000) << "refused, not waited for";
    EXPECT_NE(second.errors().find("is in use by another run"), std::string::npos) << second.errors();
    writeFileBytes(dir.file("go"), "");
    ASSERT_EQ(first.finish(), 0) << first.errors();
    EXPECT_EQ(outputs(), (std::set<std::string> {"d1.mp3", "d2.mp3", "d3.mp3"})) << "no _2 copies";
    EXPECT_EQ(outcomeLines(journal), 3);

    // A lock another program holds is no reason to wait either.
    const int held = ::open(journal.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    clock.restart();
    RunningProgram blocked(run({"--journal", journal}, {"d1"}));
    EXPECT_EQ(blocked.finish(), 2);
    EXPECT_LT(clock.elapsed(), 20000);
    ::close(held);
}

TEST_F(QueueTest, AFileThatIsNoJournalIsRefusedAndLeftUnchanged)
{
    standIn("");
    ASSERT_EQ(runProgram(run({"-s", dir.file("jobs.qfl")}, {"a", "b"})), 0);
    const std::string list = readFileBytes(dir.file("jobs.qfl"));
    RunningProgram program(run({"--journal", dir.file("jobs.qfl")}, {"a"}));
    EXPECT_EQ(program.finish(), 2);
    EXPECT_NE(program.errors().find("is not a journal of Calvera's"), std::string::npos) << program.errors();
    EXPECT_EQ(readFileBytes(dir.file("jobs.qfl")), list);
    EXPECT_TRUE(outputs().empty()) << "nothing ran";
}

TEST_F(QueueTest, InsertingOrReorderingItemsConvertsNothingAgain)
{
    standIn("");
    const std::string journal = dir.file("run.journal");
    ASSERT_EQ(runProgram(run({"--journal", journal}, {"d1", "d2", "d3"})), 0);
    RunningProgram again(run({"--journal", journal}, {"new", "d3", "d1", "d2"}));
    ASSERT_EQ(again.finish(), 0) << again.errors();
    EXPECT_EQ(donePaths(again.output()), std::vector<std::string> {dir.file("out/new.mp3")});
    EXPECT_EQ(outputs(), (std::set<std::string> {"d1.mp3", "d2.mp3", "d3.mp3", "new.mp3"}));

    // The same input twice is two items: the second is new.
    RunningProgram twice(run({"--journal", journal}, {"d1", "d1"}));
    ASSERT_EQ(twice.finish(), 0) << twice.errors();
    EXPECT_EQ(donePaths(twice.output()), std::vector<std::string> {dir.file("out/d1_2.mp3")});
}

TEST_F(QueueTest, ACrashBetweenPublishingAndTheJournalLineLeavesNoSecondCopy)
{
    if (runProgram({"strace", "-V"}) != 0)
        GTEST_SKIP() << "strace is not installed (scripts/bootstrap.sh installs it)";
    standIn("");
    const std::string journal = dir.file("run.journal");
    // The rename is held up right after it took effect, and the run killed there.
    std::vector<std::string> arguments = run({"--journal", journal}, {"a"});
    arguments.insert(arguments.begin(),
        {"strace", "-f", "-qq", "-o", "/dev/null", "-e", "trace=renameat2", "-e",
            "inject=renameat2:delay_exit=20000000"});
    {
        RunningProgram tracer(arguments);
        ASSERT_TRUE(waitFor([&] { return fs::exists(dir.file("out/a.mp3")); }, 20000));
        // calvera-batch first, while the tracer still holds it: it must not go on to write its line.
        runProgram({"pkill", "-KILL", "-P", std::to_string(tracer.pid())});
        tracer.sendSignal(SIGKILL);
        tracer.finish();
    }
    EXPECT_EQ(outcomeLines(journal), 0) << "the crash came before the item's line";
    RunningProgram resumed(run({"--journal", journal}, {"a"}));
    EXPECT_EQ(resumed.finish(), 0) << resumed.errors();
    EXPECT_NE(resumed.errors().find("nothing to convert"), std::string::npos) << resumed.output() << resumed.errors();
    EXPECT_EQ(outputs(), std::set<std::string> {"a.mp3"}) << "no a_2.mp3";
}

TEST_F(QueueTest, AJournalThatCannotBeWrittenSaysSoAndTheExitStatusAgrees)
{
    const FullDisk disk(dir.file("full"));
    if (!disk.mounted())
        GTEST_SKIP() << "mounting a small tmpfs needs root; CI runs this as root";
    standIn("");
    // A journal that fills its last page, on a disk with no page left.
    const std::string journal = dir.file("full/run.journal");
    std::string text = "# Calvera run journal, layout 2\n";
    text += std::string(4096 - text.size() - 1, 'x') + "\n";
    writeFileBytes(journal, text);
    std::ofstream filler(dir.file("full/filler"));
    while (filler << std::string(1024, 'f') && filler.flush()) { }
    RunningProgram program(run({"--journal", journal}, {"a", "b"}));
    EXPECT_EQ(program.finish(), 1) << program.output() << program.errors();
    EXPECT_NE(program.output().find(dir.file("out/a.mp3") + " (not recorded)"), std::string::npos) << program.output();
    EXPECT_NE(
        program.output().find("0 failed, 0 stopped\n2 converted item(s) could not be recorded"), std::string::npos)
        << program.output();
    EXPECT_NE(program.errors().find("No space left on device"), std::string::npos) << program.errors();

    RunningProgram json(run({"--journal", journal, "--progress=json"}, {"c"}));
    EXPECT_EQ(json.finish(), 1);
    EXPECT_NE(json.output().find("\"recorded\":false"), std::string::npos) << json.output();
    EXPECT_NE(json.output().find("\"not_recorded\":1"), std::string::npos) << json.output();
}

// A user's catalogue holding entries in $XDG_CONFIG_HOME/calvera/command.
class UserCatalogueTest : public QueueTest {
protected:
    UserCatalogueTest() { fs::create_directories(dir.file("config/calvera")); }
    std::string catalogue() const { return dir.file("config/calvera/command"); }
    void entries(const std::string& commands) { writeFileBytes(catalogue(), "<commands>" + commands + "</commands>"); }
    // calvera-batch with the shipped catalogue next to it (so the user's follows) and the real ffmpeg.
    std::vector<std::string> withUserCatalogue(const std::vector<std::string>& arguments) const
    {
        std::vector<std::string> all
            = {"/usr/bin/env", "XDG_CONFIG_HOME=" + dir.file("config"), CALVERA_BATCH, "--ffmpeg", "ffmpeg"};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return all;
    }
};

TEST_F(UserCatalogueTest, ABadCatalogueOfYourOwnCostsOnlyItsOwnEntries)
{
    const std::vector<std::function<void()>> spoilers = {
        [&] { writeFileBytes(catalogue(), "<commands><command><format>x</format><params>-c copy"); },
        [&] { fs::create_directory(catalogue()); },
        [&] { ASSERT_EQ(::mkfifo(catalogue().c_str(), 0600), 0); },
    };
    for (const auto& spoil : spoilers) {
        fs::remove_all(catalogue());
        spoil();
        RunningProgram program(withUserCatalogue({"-f", kMp3, "-o", dir.file("out"), dir.file("clip.avi")}));
        EXPECT_EQ(program.finish(), 0) << program.errors();
        EXPECT_NE(program.errors().find("warning: Your own formats in \"" + catalogue() + "\" were left out"),
            std::string::npos)
            << program.errors();
        EXPECT_TRUE(fs::exists(dir.file("out/clip.mp3")));
        fs::remove(dir.file("out/clip.mp3"));

        RunningProgram asksForOwn(withUserCatalogue({"-f", "16", "-o", dir.file("out"), dir.file("clip.avi")}));
        // The item fails on its own, and the warning above says why its format is not there.
        EXPECT_EQ(asksForOwn.finish(), 1);
        EXPECT_NE(asksForOwn.errors().find("were left out"), std::string::npos) << asksForOwn.errors();
        EXPECT_NE(asksForOwn.errors().find("(number 16) is not in the format catalogue"), std::string::npos)
            << asksForOwn.errors();
    }
}

TEST_F(UserCatalogueTest, WithoutTheShippedCatalogueYourOwnEntriesDoNotTakeItsNumbers)
{
    // A program folder that lost its catalogue: the user's entries would become 0, 1, ... and a list
    // naming shipped formats would be converted with them.
    entries("<command><format>Mine</format><params>-c copy</params><ext>mkv</ext></command>");
    fs::create_directories(dir.file("program"));
    fs::copy_file(CALVERA_BATCH, dir.file("program/calvera-batch"));
    const auto lonely = [&](const std::vector<std::string>& arguments) {
        std::vector<std::string> all = {"/usr/bin/env", "XDG_CONFIG_HOME=" + dir.file("config"),
            dir.file("program/calvera-batch"), "--ffmpeg", "ffmpeg"};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return all;
    };
    RunningProgram formats(lonely({"--formats"}));
    EXPECT_EQ(formats.finish(), 2) << formats.output();
    EXPECT_NE(formats.errors().find(dir.file("program/command")), std::string::npos) << formats.errors();
    RunningProgram program(lonely({"-f", "0", "-o", dir.file("out"), dir.file("clip.avi")}));
    EXPECT_EQ(program.finish(), 2) << program.output();
    EXPECT_FALSE(fs::exists(dir.file("out/clip.mkv")));
}

TEST_F(UserCatalogueTest, AnEntryCanNeitherOverwriteAnotherFileNorReadAnotherInput)
{
    const std::string victim = dir.file("victim.mkv");
    writeFileBytes(victim, "precious");
    entries("<command><format>Second output</format><params>-c copy -map 0 " + victim
        + " -c copy</params><ext>mkv</ext></command>"
          "<command><format>Pattern</format><inputparams>-f lavfi -i testsrc</inputparams><params>-c:v "
          "libx264</params><ext>mp4</ext></command>"
          "<command><format>Stream</format><params>-c:v libx264 -f hls</params><ext>m3u8</ext></command>");
    RunningProgram formats(withUserCatalogue({"--formats"}));
    ASSERT_EQ(formats.finish(), 0);
    EXPECT_NE(formats.output().find("\tunavailable: its parameters hold -i, which would make ffmpeg read another "
                                    "input\n"),
        std::string::npos)
        << formats.output();
    EXPECT_NE(formats.output().find("\tunavailable: it writes several files (the \"hls\" muxer)\n"), std::string::npos);

    RunningProgram program(withUserCatalogue({"--progress=json", "-o", dir.file("out"), "-f", "16",
        dir.file("clip.avi"), "-f", "17", dir.file("clip.avi"), "-f", "18", dir.file("clip.avi")}));
    EXPECT_EQ(program.finish(), 1);
    EXPECT_EQ(readFileBytes(victim), "precious") << "ffmpeg overwrites nothing";
    EXPECT_NE(program.output().find("already exists"), std::string::npos) << "ffmpeg's own words" << program.output();
    EXPECT_NE(
        program.output().find("\"outcome\":\"failed\",\"output\":\"" + dir.file("out/clip.mp4")), std::string::npos);
    EXPECT_TRUE(outputs().empty()) << "nothing published";
    EXPECT_TRUE(temporariesIn(dir.file("out")).empty()) << "no pieces left";
}

TEST_F(QueueTest, AFifoAtTheFfmpegListsCacheNeitherHoldsTheRunNorIsReplaced)
{
    standIn("");
    const std::string cache = qEnvironmentVariable("XDG_CACHE_HOME").toStdString() + "/calvera/";
    fs::create_directories(cache);
    char name[40];
    std::snprintf(name, sizeof name, "ffmpeg-%016zx", std::hash<std::string> {}(dir.file("ffmpeg")));
    ASSERT_EQ(::mkfifo((cache + name).c_str(), 0600), 0);
    QElapsedTimer clock;
    clock.start();
    RunningProgram program(run({}, {"a"}));
    EXPECT_EQ(program.finish(), 0);
    EXPECT_LT(clock.elapsed(), 30000);
    EXPECT_NE(program.errors().find("warning: \"" + cache + name + "\" was passed over: it is not a regular file"),
        std::string::npos)
        << program.errors();
    struct stat status { };
    ASSERT_EQ(::lstat((cache + name).c_str(), &status), 0);
    EXPECT_TRUE(S_ISFIFO(status.st_mode)) << "not Calvera's file: left in place";
    fs::remove(cache + name);
}

TEST_F(QueueTest, LongNamesGetALogOrFailBeforeFfmpegRuns)
{
    standIn("echo run >> \"" + dir.file("runs") + "\"");
    const std::string fits = std::string(251, 'a'); // 255 bytes with ".avi", and with ".flac" too many
    RunningProgram program(run({"--progress=json"}, {fits}));
    EXPECT_EQ(program.finish(), 0) << program.errors();
    EXPECT_EQ(program.output().find("\"log\":null"), std::string::npos) << "a 255-byte name gets its log";

    // ".flac" is a byte longer than ".avi".
    RunningProgram longer({CALVERA_BATCH, "--catalogue", CALVERA_CATALOGUE, "--ffmpeg", dir.file("ffmpeg"), "-f",
        std::to_string(shippedFormat("flac")), "-o", dir.file("out"), dir.file(fits + ".avi")});
    EXPECT_EQ(longer.finish(), 1);
    EXPECT_NE(longer.output().find("is longer than the file system allows (255 bytes)"), std::string::npos)
        << longer.output();
    EXPECT_EQ(readFileBytes(dir.file("runs")), "run\n") << "ffmpeg never ran for it";
}

TEST_F(QueueTest, WithJsonStandardOutputHoldsJsonObjectsOnly)
{
    standIn("");
    for (const std::vector<std::string>& options : std::vector<std::vector<std::string>> {
             {"--progress=json", "--formats"}, {"--progress=json", "-n"}, {"--progress=json", "-n", "--formats"}}) {
        RunningProgram program(run(options, {"a", "b"}));
        EXPECT_EQ(program.finish(), 0) << program.errors();
        std::istringstream lines(program.output());
        int objects = 0;
        for (std::string line; std::getline(lines, line); ++objects) {
            QJsonParseError error;
            const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
            EXPECT_EQ(error.error, QJsonParseError::NoError) << line;
            EXPECT_TRUE(document.isObject()) << line;
        }
        EXPECT_GE(objects, 2);
    }
    RunningProgram commands(run({"--progress=json", "-n"}, {"z"}));
    ASSERT_EQ(commands.finish(), 0);
    const QJsonObject command = QJsonDocument::fromJson(QByteArray::fromStdString(commands.output())).object();
    EXPECT_EQ(command["event"], "command");
    EXPECT_EQ(command["input"].toString().toStdString(), dir.file("z.avi"));
    EXPECT_EQ(command["arguments"].toArray().last().toString().toStdString(), "file:" + dir.file("out/z.mp3"));
}

TEST_F(QueueTest, ShardArithmeticCannotOverflow)
{
    standIn("");
    RunningProgram program(run({"-n", "--shard", "1/2147483647"}, {"a", "b", "c"}));
    EXPECT_EQ(program.finish(), 0) << program.errors();
    EXPECT_EQ(std::count(program.output().begin(), program.output().end(), '\n'), 1) << program.output();
    EXPECT_NE(program.output().find("b.avi"), std::string::npos);
}

} // namespace
