#include "EngineTestSupport.h"
#include "ItemLog.h"
#include "saveManager.h"
#include "ProgressReader.h"
#include "TempDir.h"
#include "command.h"
#include "commandManager.h"

#include <QStandardPaths>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

TEST(ProgressReader, ReadsTheInputsLengthAndTheStatusLines)
{
    ProgressReader reader;
    EXPECT_FALSE(reader.read("Input #0, avi, from 'clip.avi':"));
    EXPECT_TRUE(reader.read("  Duration: 00:01:40.00, start: 0.000000, bitrate: 841 kb/s"));
    EXPECT_FALSE(reader.read("  Duration: 00:00:05.00, start: 0.000000")) << "a second input is not the first";
    EXPECT_FALSE(reader.read("Output #0, mp4, to 'out.mp4':"));
    EXPECT_EQ(reader.progress().duration, 100.0);
    EXPECT_EQ(reader.progress().fraction, -1) << "nothing converted is said yet";

    EXPECT_TRUE(
        reader.read("frame=  250 fps= 50 q=28.0 size=     256kB time=00:00:25.00 bitrate= 84kbits/s speed= 2.5x"));
    EXPECT_DOUBLE_EQ(reader.progress().position, 25.0);
    EXPECT_DOUBLE_EQ(reader.progress().speed, 2.5);
    EXPECT_DOUBLE_EQ(reader.progress().fraction, 0.25);
    EXPECT_DOUBLE_EQ(reader.progress().secondsLeft, 30.0) << "75 s of input at 2.5 times real time";
    // Audio only, the speed not known yet: the fraction still moves.
    EXPECT_TRUE(reader.read("size=     512kB time=00:00:50.00 bitrate= 84kbits/s speed=N/A"));
    EXPECT_DOUBLE_EQ(reader.progress().fraction, 0.5);
    EXPECT_TRUE(
        reader.read("frame= 1001 fps= 50 q=-1.0 Lsize=  1024kB time=00:01:40.04 bitrate= 84kbits/s speed=2.5x"));
    EXPECT_DOUBLE_EQ(reader.progress().fraction, 1.0) << "never past the end";
    EXPECT_FALSE(reader.read("video:900kB audio:100kB subtitle:0kB"));

    reader.reset();
    EXPECT_FALSE(reader.read("  Duration: N/A, start: 0.000000, bitrate: N/A"));
    EXPECT_TRUE(reader.read("frame=   50 fps=0.0 q=-0.0 Lsize=N/A time=00:00:02.00 bitrate=N/A speed= 165x"));
    EXPECT_EQ(reader.progress().fraction, -1) << "a live input: time and speed, no percentage";
    EXPECT_DOUBLE_EQ(reader.progress().position, 2.0);
    EXPECT_DOUBLE_EQ(reader.progress().speed, 165.0);
    EXPECT_EQ(reader.progress().secondsLeft, -1);

    EXPECT_EQ(ProgressReader::parseClock("125:00:01.50"), 125 * 3600 + 1.5);
    EXPECT_LT(ProgressReader::parseClock("N/A"), 0);
    EXPECT_LT(ProgressReader::parseClock("-00:00:00.05"), 0);
}

TEST(ItemLog, KeepsEveryLineAndIsPrunedOldestFirst)
{
    TempDir dir;
    std::string first;
    {
        ItemLog log(dir.prefix(), "/v/clip.avi", "\"ffmpeg\" -i \"/v/clip.avi\"");
        first = log.path();
        log.write("line one");
        log.write("frame=   50 time=00:00:02.00");
    }
    EXPECT_TRUE(extractFileName(first).ends_with("_clip.avi.log")) << first;
    EXPECT_EQ(readFileBytes(first), "\"ffmpeg\" -i \"/v/clip.avi\"\nline one\nframe=   50 time=00:00:02.00\n");
    std::string second;
    {
        ItemLog log(dir.prefix(), "/v/clip.avi", "again");
        second = log.path();
    }
    EXPECT_NE(second, first) << "two runs in one second keep two logs";
    fs::last_write_time(first, fs::file_time_type::clock::now() - std::chrono::hours(1));
    ItemLog::prune(dir.prefix(), fs::file_size(second));
    EXPECT_FALSE(fs::exists(first)) << "the oldest goes first";
    EXPECT_TRUE(fs::exists(second));

    const ItemLog none("", "/v/clip.avi", "x");
    EXPECT_TRUE(none.path().empty());
}

TEST(ItemLog, PruningTakesOnlyCalverasOwnLogsNeverALink)
{
    TempDir dir;
    TempDir elsewhere;
    const std::string notes = dir.file("my-notes.log");
    writeFileBytes(notes, std::string(4096, 'n'));
    const std::string target = elsewhere.file("2020-01-01_00-00-00_target.log");
    writeFileBytes(target, std::string(4096, 't'));
    fs::create_symlink(target, dir.file("2020-01-01_00-00-00_link.log"));
    const std::string old = dir.file("2020-01-01_00-00-00_old clip.avi.log");
    writeFileBytes(old, std::string(4096, 'o'));
    fs::last_write_time(old, fs::file_time_type::clock::now() - std::chrono::hours(24));
    std::string kept;
    {
        ItemLog log(dir.prefix(), "/v/new.avi", "x");
        kept = log.path();
    }
    EXPECT_TRUE(ItemLog::isLogName(extractFileName(kept)));
    ItemLog::prune(dir.prefix(), 0);
    EXPECT_FALSE(fs::exists(old));
    EXPECT_FALSE(fs::exists(kept));
    EXPECT_TRUE(fs::exists(notes)) << "the user's own file";
    EXPECT_TRUE(fs::exists(target)) << "what a link leads to";
    EXPECT_TRUE(fs::is_symlink(dir.file("2020-01-01_00-00-00_link.log")));
    for (const char* name :
        {"my-notes.log", "2020-01-01_00-00-00.log", "2020-01-01_00-00-00_x.txt", "20x0-01-01_00-00-00_x.log"})
        EXPECT_FALSE(ItemLog::isLogName(name)) << name;
}

TEST(ItemLog, ALongInputNameIsShortenedToFitKeepingItsStartAndEnd)
{
    TempDir dir;
    // 255 bytes, the most a name may have here; with two-byte letters in the middle.
    std::string name = "start-";
    while (name.size() < 251 - 8)
        name += "\xC3\xA9";
    name += "-end.avi";
    ASSERT_LE(name.size(), 255u);
    const ItemLog log(dir.prefix(), "/v/" + name, "x");
    ASSERT_FALSE(log.path().empty()) << log.error();
    const std::string kept = extractFileName(log.path());
    EXPECT_LE(kept.size(), 255u);
    EXPECT_TRUE(kept.find("_start-") != std::string::npos) << kept;
    EXPECT_TRUE(kept.ends_with("-end.avi.log")) << kept;
    EXPECT_TRUE(isUtf8(kept)) << "no character is cut in half";
    EXPECT_TRUE(ItemLog::isLogName(kept));
}

// A real conversion of a clip of known length, slow enough to be watched.
TEST(DriverProgress, RisesFromNearZeroToTheEndAndTheRunIsCounted)
{
    TempDir dir;
    makeClip(dir.file("twenty.avi"), 40.0);
    TCommandManager catalogue(CALVERA_CATALOGUE);
    JobListModel model;
    TItemData item;
    item.FileName = QString::fromStdString(dir.file("twenty.avi"));
    item.FormatIndex = shippedFormat("webm");
    item.Path = QString::fromStdString(dir.prefix());
    model.append(item);
    item.FileName = QString::fromStdString(dir.file("missing.avi"));
    model.append(item);
    TCommand driver(model, catalogue);
    driver.FfmpegPath = QStandardPaths::findExecutable("ffmpeg").toStdString();
    driver.LogFolder = dir.file("logs");
    std::vector<double> fractions;
    std::vector<double> runFractions;
    std::vector<ItemOutcome> outcomes;
    bool finished = false;
    QObject::connect(&driver, &TCommand::itemProgress, [&](JobListModel::Node* node, const ItemProgress& progress) {
        EXPECT_EQ(node, model.first());
        EXPECT_EQ(node->Progress.fraction, progress.fraction) << "the node shows what is announced";
        if (progress.fraction >= 0)
            fractions.push_back(progress.fraction);
        runFractions.push_back(driver.runFraction());
    });
    QObject::connect(&driver, &TCommand::itemFinished,
        [&](JobListModel::Node*, const ItemOutcome& outcome) { outcomes.push_back(outcome); });
    QObject::connect(&driver, &TCommand::runFinished, [&] { finished = true; });
    driver.Start();
    ASSERT_TRUE(waitFor([&] { return finished; }, 120000));

    ASSERT_GE(fractions.size(), 2u);
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
    EXPECT_LT(fractions.front(), 0.5);
    EXPECT_GT(fractions.back(), 0.95);
    EXPECT_TRUE(std::is_sorted(runFractions.begin(), runFractions.end()));
    EXPECT_LE(runFractions.back(), 0.5) << "one item of two";
    EXPECT_EQ(model.first()->Progress.fraction, -1) << "an ended item shows no progress";

    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_TRUE(outcomes[0].converted);
    EXPECT_EQ(model.first()->Output.toStdString(), outcomes[0].output);
    EXPECT_FALSE(outcomes[1].converted);
    EXPECT_EQ(outcomes[1].reason, dir.file("missing.avi") + ": No such file or directory");
    ASSERT_FALSE(outcomes[1].log.empty());
    EXPECT_NE(readFileBytes(outcomes[1].log).find("No such file or directory"), std::string::npos);
    EXPECT_EQ(model.nodeAt(1)->Log.toStdString(), outcomes[1].log);

    const RunSummary& run = driver.lastRun();
    EXPECT_EQ(run.converted, 1);
    EXPECT_EQ(run.failed, 1);
    EXPECT_EQ(run.stopped, 0);
    ASSERT_EQ(run.failures.size(), 1u);
    EXPECT_EQ(run.failures[0].source, dir.file("missing.avi"));
    EXPECT_EQ(run.failures[0].reason, dir.file("missing.avi") + ": No such file or directory");
    EXPECT_TRUE(run.failures[0].log.ends_with("_missing.avi.log")) << run.failures[0].log;
    EXPECT_EQ(run.outputFolders, std::vector<std::string> {dir.prefix()});
}

} // namespace
