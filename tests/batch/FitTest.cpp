#include "BatchCommandLine.h"
#include "BatchConsole.h"
#include "BatchRun.h"
#include "ItemLane.h"
#include "RunningProgram.h"
#include "TempDir.h"
#include "UsageError.h"
#include "command.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

TEST(FitOption, AppliesToTheFilesAfterItUntilTurnedOff)
{
    TempDir dir;
    writeFileBytes(dir.file("names"), "/v/listed.avi\n");
    const BatchOptions options = parseBatchCommandLine(
        {"-f", "1", "/v/a.avi", "--fit=25M", "/v/b.avi", "--fit", "700KiB", "--files-from", dir.file("names"),
            "--fit=1.5G", "jobs.qfl", "/v/c.avi", "--fit=0", "/v/d.avi", "--fit=1000", "--watch", "/in"});
    ASSERT_EQ(options.sources.size(), 6u);
    const auto& s = options.sources;
    EXPECT_EQ(s[0].sizeLimit, 0) << "before --fit, no limit";
    EXPECT_EQ(s[1].sizeLimit, 25'000'000) << "M is decimal";
    EXPECT_EQ(s[2].path, "/v/listed.avi");
    EXPECT_EQ(s[2].sizeLimit, 700 * 1024) << "KiB is binary, and names read from a file take it too";
    EXPECT_TRUE(s[3].isListFile);
    EXPECT_EQ(s[3].sizeLimit, 0) << "a list file's items keep their own";
    EXPECT_EQ(s[4].sizeLimit, 1'500'000'000);
    EXPECT_EQ(s[5].sizeLimit, 0) << "--fit=0 turns it off";
    EXPECT_EQ(options.watchSizeLimit, 1000) << "plain bytes, in force where --watch stands";
}

TEST(FitOption, ASizeThatDoesNotReadIsAUsageError)
{
    for (const std::string given : {"25Q", "-5M", "1e6", "M", "2.5", "99999999999999999999", "25 M", "0.0000001K"}) {
        const std::string said = usageError({"-f", "1", "--fit=" + given, "a.avi"});
        EXPECT_EQ(said.find("--fit needs a size such as 25M"), 0u) << given << ": " << said;
        EXPECT_NE(said.find("'" + given + "'"), std::string::npos) << "it names what was given: " << said;
    }
    EXPECT_EQ(usageError({"-f", "1", "--fit=", "a.avi"}), "option --fit needs a value");
    EXPECT_EQ(usageError({"-f", "1", "a.avi", "--fit"}), "option --fit needs a value");
    // The same exit status as any other mistake of the command line.
    RunningProgram program({CALVERA_BATCH, "-f", "1", "--fit=lots", "a.avi"});
    EXPECT_EQ(program.finish(), kBadUsage);
    EXPECT_NE(program.errors().find("--fit needs a size"), std::string::npos) << program.errors();
}

TEST(FitOption, TheQueueAndASavedListKeepTheLimit)
{
    TempDir dir;
    const std::string list = dir.file("saved.qfl");
    {
        BatchQueue queue;
        buildQueue(
            parseBatchCommandLine({"-f", "1", "--fit=25M", dir.file("a.avi"), "--fit=0", dir.file("b.avi")}), queue);
        ASSERT_EQ(queue.model.count(), 2);
        EXPECT_EQ(queue.model.nodeAt(0)->Item.SizeLimit, 25'000'000);
        EXPECT_EQ(queue.model.nodeAt(1)->Item.SizeLimit, 0);
        queue.lists.ExportToFile(list);
    }
    BatchQueue again;
    buildQueue(parseBatchCommandLine({list}), again);
    ASSERT_EQ(again.model.count(), 2);
    EXPECT_EQ(again.model.nodeAt(0)->Item.SizeLimit, 25'000'000) << "-s keeps the limit";
    EXPECT_EQ(again.model.nodeAt(1)->Item.SizeLimit, 0);
}

ItemOutcome limitedOutcome()
{
    ItemOutcome outcome;
    outcome.converted = true;
    outcome.ffmpegRan = true;
    outcome.source = "/v/clip.avi";
    outcome.output = "/out/clip.mp4";
    outcome.checked = ItemOutcome::Check::streams;
    outcome.sizeLimit = 25'000'000;
    outcome.size = 24'391'000;
    outcome.passes = 2;
    return outcome;
}

// What the console prints on standard output for act.
std::string printed(const BatchConsole::Options& options, const std::function<void(BatchConsole&)>& act)
{
    testing::internal::CaptureStdout();
    {
        BatchConsole console(3, options);
        act(console);
    }
    return testing::internal::GetCapturedStdout();
}

TEST(FitReport, TheEndEventCarriesTheSizesAndPasses)
{
    BatchConsole::Options options;
    options.json = true;
    ItemOutcome unlimited = limitedOutcome();
    unlimited.sizeLimit = 0;
    unlimited.size = -1;
    unlimited.passes = 1;
    const std::string text = printed(options, [&](BatchConsole& console) {
        console.itemFinished(0, limitedOutcome());
        console.itemFinished(1, unlimited);
    });
    const std::size_t newline = text.find('\n');
    ASSERT_NE(newline, std::string::npos) << text;
    const QJsonObject limited = QJsonDocument::fromJson(QByteArray::fromStdString(text.substr(0, newline))).object();
    EXPECT_EQ(limited["event"].toString(), "end");
    EXPECT_EQ(limited["size_limit"].toInteger(), 25'000'000);
    EXPECT_EQ(limited["size"].toInteger(), 24'391'000);
    EXPECT_EQ(limited["passes"].toInt(), 2);
    const QJsonObject plain = QJsonDocument::fromJson(QByteArray::fromStdString(text.substr(newline + 1))).object();
    ASSERT_TRUE(plain.contains("size_limit"));
    EXPECT_TRUE(plain["size_limit"].isNull()) << "no limit is null";
    EXPECT_TRUE(plain["size"].isNull()) << "a size not measured is null";
    EXPECT_EQ(plain["passes"].toInt(), 1);
}

TEST(FitReport, TheLineAndTheSummarySayHowCloseItCame)
{
    RunSummary run;
    run.converted = 2;
    run.fitted = 1;
    ItemOutcome unlimited = limitedOutcome();
    unlimited.sizeLimit = 0;
    const std::string text = printed({}, [&](BatchConsole& console) {
        console.itemFinished(0, limitedOutcome());
        console.itemFinished(1, unlimited);
        console.finish(run);
    });
    EXPECT_NE(text.find("/out/clip.mp4 (24.3 MB of 25.0 MB)\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("MB of", text.find("MB of") + 1), std::string::npos) << "only the limited item: " << text;
    EXPECT_NE(text.find("2 converted (1 within the size limit), 0 failed, 0 stopped"), std::string::npos) << text;

    BatchConsole::Options json;
    json.json = true;
    const std::string summary = printed(json, [&](BatchConsole& console) { console.finish(run); });
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(summary)).object()["fitted"].toInt(), 1) << summary;
}

TEST(FitReport, TheLiveLineSaysWhichPass)
{
    BatchConsole::Options options;
    options.liveLine = true;
    options.startLines = false;
    testing::internal::CaptureStderr();
    {
        BatchConsole console(1, options);
        console.itemStarted(0, "/v/clip.avi");
        ItemProgress progress;
        progress.fraction = 0.25;
        progress.pass = 1;
        progress.passes = 2;
        console.itemProgress(0, progress, -1);
        progress.pass = 2;
        console.itemProgress(0, progress, -1);
        progress.pass = 0;
        progress.passes = 0;
        console.itemProgress(0, progress, -1);
    }
    const std::string shown = testing::internal::GetCapturedStderr();
    const std::size_t first = shown.find("clip.avi pass 1 of 2 [");
    const std::size_t second = shown.find("clip.avi pass 2 of 2 [");
    ASSERT_NE(first, std::string::npos) << shown;
    ASSERT_NE(second, std::string::npos) << shown;
    EXPECT_LT(first, second);
    EXPECT_NE(shown.find("clip.avi [", second), std::string::npos) << "one pass says none: " << shown;
}

} // namespace
