// Second runs of calvera-batch with --skip-existing and --skip-same: what
// they tell in JSON, on the terminal and in a journal, with the real ffmpeg.
#include "BatchTestSupport.h"
#include "MeasureCache.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

namespace {

class SkipBatchTest : public BatchTest {
protected:
    SkipBatchTest()
    {
        fs::create_directory(dir.file("out"));
        for (const char* name : {"a", "b", "c"})
            makeClip(dir.file(std::string(name) + ".avi"), 0.4);
    }
    std::vector<std::string> run(const std::vector<std::string>& options) const
    {
        std::vector<std::string> arguments = batch(options);
        arguments.insert(arguments.end(), {"-j", "2", "-f", kMp3, "-o", dir.file("out")});
        for (const char* name : {"a", "b", "c"})
            arguments.push_back(dir.file(std::string(name) + ".avi"));
        return arguments;
    }
    // The JSON events of a run, of one kind.
    static std::vector<QJsonObject> events(const std::string& output, const char* kind)
    {
        std::vector<QJsonObject> found;
        std::istringstream lines(output);
        for (std::string line; std::getline(lines, line);) {
            const QJsonObject event = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
            if (event.value("event").toString() == kind)
                found.push_back(event);
        }
        return found;
    }
    int filesOut() const
    {
        return static_cast<int>(std::distance(fs::directory_iterator(dir.file("out")), fs::directory_iterator()));
    }
};

TEST_F(SkipBatchTest, ASecondRunSkipsEveryItemAndSaysSoInJsonAndOnTheTerminal)
{
    RunningProgram first(run({}));
    ASSERT_EQ(first.finish(), 0) << first.errors();
    ASSERT_EQ(filesOut(), 3);

    RunningProgram json(run({"--skip-existing", "--progress=json"}));
    ASSERT_EQ(json.finish(), 0) << json.errors();
    const std::vector<QJsonObject> ends = events(json.output(), "end");
    ASSERT_EQ(ends.size(), 3u) << json.output();
    for (const QJsonObject& end : ends) {
        const std::string name = fs::path(end.value("input").toString().toStdString()).stem().string();
        EXPECT_EQ(end.value("outcome").toString(), "skipped") << name;
        EXPECT_EQ(end.value("reason").toString().toStdString(), "already converted: " + name + ".mp3");
        EXPECT_TRUE(end.value("exit_code").isNull());
        EXPECT_TRUE(end.value("checked").isNull());
        EXPECT_EQ(end.value("output").toString().toStdString(), dir.file("out/" + name + ".mp3"));
    }
    const std::vector<QJsonObject> summary = events(json.output(), "summary");
    ASSERT_EQ(summary.size(), 1u);
    EXPECT_EQ(summary[0].value("skipped").toInt(), 3);
    EXPECT_EQ(summary[0].value("converted").toInt(), 0);
    EXPECT_EQ(summary[0].value("failed").toInt(), 0);

    RunningProgram terminal(run({"--skip-existing"}));
    ASSERT_EQ(terminal.finish(), 0) << terminal.errors();
    const std::string said = terminal.output();
    EXPECT_NE(said.find("skipped exit -   " + dir.file("out/a.mp3") + "\n       already converted: a.mp3\n"),
        std::string::npos)
        << said;
    EXPECT_NE(said.find("0 converted, 3 skipped, 0 failed, 0 stopped\n"), std::string::npos) << said;
    EXPECT_EQ(filesOut(), 3) << "nothing converted again";

    // Quiet, a skipped item is nothing gone wrong: the summary alone.
    RunningProgram quiet(run({"--skip-existing", "-q"}));
    ASSERT_EQ(quiet.finish(), 0);
    EXPECT_EQ(quiet.output().find("skipped exit"), std::string::npos) << quiet.output();
}

TEST_F(SkipBatchTest, ASecondRunMeasuresNothingItMeasuredBeforeButWhatChangedSince)
{
    const std::string ffprobe = QStandardPaths::findExecutable("ffprobe").toStdString();
    if (ffprobe.empty())
        GTEST_SKIP() << "no ffprobe";
    if (!MeasureCache::fileStamp(dir.file("a.avi")))
        GTEST_SKIP() << "the temporary folder's file system keeps no change times that kept measures trust";
    // The real programs, behind an ffprobe that writes down what it is asked.
    fs::create_directory(dir.file("bin"));
    fs::create_symlink(QStandardPaths::findExecutable("ffmpeg").toStdString(), dir.file("bin/ffmpeg"));
    writeScript(dir.file("bin/ffprobe"),
        "for file; do :; done\necho \"$file\" >> '" + dir.file("asked") + "'\nexec '" + ffprobe + "' \"$@\"");
    auto withProber = [&](std::vector<std::string> arguments) {
        arguments[4] = dir.file("bin/ffmpeg");
        return arguments;
    };
    auto asked = [&] {
        std::vector<std::string> files;
        if (!fs::exists(dir.file("asked")))
            return files;
        std::istringstream lines(readFileBytes(dir.file("asked")));
        for (std::string line; std::getline(lines, line);)
            files.push_back(fs::path(line).filename().string());
        fs::remove(dir.file("asked"));
        return files;
    };
    // Long enough for a cut to be more than the check's tolerance.
    makeClip(dir.file("b.avi"), 2);
    RunningProgram first(withProber(run({})));
    ASSERT_EQ(first.finish(), 0) << first.errors();
    EXPECT_EQ(asked().size(), 6u) << "each input and each output measured";

    RunningProgram second(withProber(run({"--skip-existing"})));
    ASSERT_EQ(second.finish(), 0) << second.errors();
    EXPECT_NE(second.output().find("0 converted, 3 skipped"), std::string::npos) << second.output();
    EXPECT_EQ(asked(), std::vector<std::string>()) << "everything was measured by the first run";

    // An output written again in place, shorter, after it was measured: measured again, and converted again.
    ASSERT_EQ(runProgram({"ffmpeg", "-v", "error", "-i", dir.file("b.avi"), "-t", "0.1", dir.file("short.mp3")}), 0);
    writeFileBytes(dir.file("out/b.mp3"), readFileBytes(dir.file("short.mp3")));
    RunningProgram third(withProber(run({"--skip-existing"})));
    ASSERT_EQ(third.finish(), 0) << third.errors();
    EXPECT_NE(third.output().find("1 converted, 2 skipped"), std::string::npos) << third.output();
    const std::vector<std::string> again = asked();
    EXPECT_EQ(std::count(again.begin(), again.end(), "b.mp3"), 1) << testing::PrintToString(again);
    EXPECT_EQ(std::count(again.begin(), again.end(), "a.avi"), 0) << testing::PrintToString(again);
}

TEST_F(SkipBatchTest, AJournalRecordsSkippedItemsAsDoneForAResumeAndARetry)
{
    RunningProgram first(run({}));
    ASSERT_EQ(first.finish(), 0) << first.errors();
    // One output gone: that item converts, the other two are skipped.
    fs::remove(dir.file("out/b.mp3"));
    const std::string journal = dir.file("run.journal");
    RunningProgram skipping(run({"--skip-existing", "--journal", journal}));
    ASSERT_EQ(skipping.finish(), 0) << skipping.errors();
    EXPECT_NE(skipping.output().find("1 converted, 2 skipped, 0 failed, 0 stopped"), std::string::npos)
        << skipping.output();
    std::istringstream lines(readFileBytes(journal));
    int skippedLines = 0;
    for (std::string line; std::getline(lines, line);)
        skippedLines += line.starts_with("skipped\t") ? 1 : 0;
    EXPECT_EQ(skippedLines, 2) << readFileBytes(journal);

    // Resumed, without --skip-existing: the skipped items are done.
    RunningProgram resumed(run({"--journal", journal}));
    EXPECT_EQ(resumed.finish(), 0);
    EXPECT_NE(resumed.errors().find("nothing to convert"), std::string::npos) << resumed.errors();
    RunningProgram retry(run({"--journal", journal, "--retry-failed"}));
    EXPECT_EQ(retry.finish(), 0);
    EXPECT_NE(retry.errors().find("1 converted, 2 skipped, 0 failed"), std::string::npos) << retry.errors();
    EXPECT_EQ(filesOut(), 3);
}

TEST_F(SkipBatchTest, SkipSameLeavesAnInputAlreadyInTheFormatAndConvertsTheRest)
{
    // MP3 made from a, and queued again for the MP3 entry beside b.
    RunningProgram first(batch({"-f", kMp3, "-o", dir.file("out"), dir.file("a.avi")}));
    ASSERT_EQ(first.finish(), 0) << first.errors();
    fs::create_directory(dir.file("again"));
    RunningProgram same(batch({"--skip-same", "--progress=json", "-f", kMp3, "-o", dir.file("again"),
        dir.file("out/a.mp3"), dir.file("b.avi")}));
    ASSERT_EQ(same.finish(), 0) << same.errors();
    const std::vector<QJsonObject> ends = events(same.output(), "end");
    ASSERT_EQ(ends.size(), 2u);
    EXPECT_EQ(ends[0].value("outcome").toString(), "skipped");
    EXPECT_EQ(ends[0].value("reason").toString(), "already MP3 with MP3");
    EXPECT_EQ(ends[1].value("outcome").toString(), "converted") << "an AVI is no MP3";
    EXPECT_FALSE(fs::exists(dir.file("again/a.mp3")));
    EXPECT_TRUE(fs::exists(dir.file("again/b.mp3")));
}

} // namespace
