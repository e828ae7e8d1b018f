#include "BatchRun.h"
#include "ProgramDir.h"
#include "EngineTestSupport.h"
#include "TempDir.h"
#include "command.h"
#include "commandManager.h"

#include <gtest/gtest.h>

#include <iostream>

#include <QThread>

#include <climits>
#include <cstdlib>

#include <sys/resource.h>

namespace {

namespace fs = std::filesystem;

BatchOptions::Source mediaFile(const std::string& path, int format, const std::string& outputDir = {})
{
    BatchOptions::Source source;
    source.path = path;
    source.formatIndex = format;
    source.outputDir = outputDir;
    return source;
}

// Runs a step that is to end the invocation; what it ended with.
template <typename Step> BatchExit exitOf(Step step)
{
    try {
        step();
    } catch (const BatchExit& exit) {
        return exit;
    }
    return BatchExit {-1, "it went on"};
}

TEST(BatchSteps, CataloguesTheShippedOneWhichMustBeThere)
{
    TempDir dir;
    BatchOptions options;
    options.catalogue = CALVERA_CATALOGUE;
    EXPECT_EQ(loadCatalogues(options)->Formats().size(), 16u);

    options.catalogue = dir.file("missing");
    const BatchExit missing = exitOf([&] { loadCatalogues(options); });
    EXPECT_EQ(missing.status, kBadUsage);
    EXPECT_NE(missing.message.find("cannot read the catalogue \"" + dir.file("missing") + "\""), std::string::npos);

    // Without --catalogue the one next to the program is read, and must be there too: this test program
    // has none beside it. (The user's own entries following it, and a cut one left out, are tried with
    // the real program in UserCatalogueTest.)
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir.path().string()));
    std::filesystem::create_directories(dir.file("calvera"));
    writeFileBytes(dir.file("calvera/command"), "<commands><command><format>x</format><params>-c copy");
    options.catalogue.clear();
    const BatchExit lonely = exitOf([&] { loadCatalogues(options); });
    qputenv("XDG_CONFIG_HOME", saved);
    EXPECT_EQ(lonely.status, kBadUsage);
    EXPECT_NE(lonely.message.find("cannot read the catalogue \"" + programDirectory() + "command\""), std::string::npos)
        << lonely.message;
}

TEST(BatchSteps, TheQueueKeepsTheOrderGivenAndRefusesWhatCannotBeQueued)
{
    TempDir dir;
    writeFileBytes(dir.file("a.avi"), "");
    writeFileBytes(dir.file("b.avi"), "");
    BatchOptions options;
    options.sources = {mediaFile(dir.file("a.avi"), 3, dir.prefix()), mediaFile(dir.file("b.avi"), 9)};
    BatchQueue queue;
    buildQueue(options, queue);
    ASSERT_EQ(queue.model.count(), 2);
    EXPECT_EQ(queue.model.nodeAt(0)->Item.FormatIndex, 3);
    EXPECT_EQ(queue.model.nodeAt(0)->Item.Path.toStdString(), dir.prefix());
    EXPECT_EQ(queue.model.nodeAt(1)->Item.FileName.toStdString(), dir.file("b.avi"));

    // A missing input is queued, to fail as its own item; a missing list file is refused.
    options.sources = {mediaFile(dir.file("none.avi"), 3)};
    BatchQueue missing;
    buildQueue(options, missing);
    EXPECT_EQ(missing.model.count(), 1);
    BatchOptions::Source list;
    list.isListFile = true;
    list.path = dir.file("none.qfl");
    options.sources = {list};
    BatchQueue missingList;
    EXPECT_EQ(exitOf([&] { buildQueue(options, missingList); }).message,
        dir.file("none.qfl") + ": No such file or directory");
    // A format the catalogue lacks, a name that is not UTF-8, a link that loops: the item's own failures.
    fs::create_symlink(dir.file("loop"), dir.file("loop"));
    options.sources
        = {mediaFile(dir.file("a.avi"), 16), mediaFile(dir.file("loop"), 3), mediaFile(dir.file("caf\xE9.avi"), 3)};
    options.sources.back().refused = "not UTF-8";
    BatchQueue outside;
    buildQueue(options, outside);
    ASSERT_EQ(outside.model.count(), 2);
    EXPECT_EQ(outside.model.nodeAt(0)->Item.FormatIndex, 16);
    ASSERT_EQ(outside.refused.size(), 1u);
    EXPECT_EQ(outside.refused[0].reason, "not UTF-8");
}

TEST(BatchSteps, ShardsSliceByPositionWithoutOverflow)
{
    EXPECT_EQ(shardPositions(7, 1, 3), (std::vector<int> {1, 4}));
    EXPECT_EQ(shardPositions(3, 0, 1), (std::vector<int> {0, 1, 2}));
    EXPECT_EQ(shardPositions(3, 1, INT_MAX), std::vector<int> {1});
    EXPECT_TRUE(shardPositions(3, INT_MAX - 1, INT_MAX).empty());
    EXPECT_TRUE(shardPositions(0, 0, 1).empty());
}

TEST(BatchSteps, TheJournalSelectsByIdentityAndRetryingTakesWhatDidNotConvert)
{
    TempDir dir;
    JobListModel model;
    for (const auto& [input, format] :
        std::vector<std::pair<std::string, int>> {{"/v/a.avi", 0}, {"/v/b.avi", 0}, {"/v/a.avi", 0}, {"/v/a.avi", 9}}) {
        TItemData item;
        item.FileName = QString::fromStdString(input);
        item.FormatIndex = format;
        model.append(item);
    }
    const auto keys = journalKeys(model);
    std::vector<int> occurrences;
    for (int row = 0; row < model.count(); ++row)
        occurrences.push_back(keys.at(model.nodeAt(row)).occurrence);
    EXPECT_EQ(occurrences, (std::vector<int> {0, 0, 1, 0})) << "the second equal item is another item";

    RunJournal journal(dir.file("journal"));
    journal.record(keys.at(model.nodeAt(0)), RunJournal::Outcome::converted, "/o/a.mp3");
    journal.record(keys.at(model.nodeAt(1)), RunJournal::Outcome::failed, "/o/b.mp3");
    const std::vector<int> all = shardPositions(model.count(), 0, 1);
    EXPECT_EQ(selectItems(model, all, &journal, false),
        (std::unordered_set<const JobListModel::Node*> {model.nodeAt(1), model.nodeAt(2), model.nodeAt(3)}));
    EXPECT_EQ(selectItems(model, all, &journal, true), std::unordered_set<const JobListModel::Node*> {model.nodeAt(1)});
    EXPECT_EQ(selectItems(model, {0, 2}, nullptr, false),
        (std::unordered_set<const JobListModel::Node*> {model.nodeAt(0), model.nodeAt(2)}));
}

// The limit on open files lowered for one test.
class OpenFilesLimit final {
public:
    explicit OpenFilesLimit(rlim_t soft)
    {
        ::getrlimit(RLIMIT_NOFILE, &m_saved);
        rlimit lowered = m_saved;
        lowered.rlim_cur = soft;
        ::setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~OpenFilesLimit() { ::setrlimit(RLIMIT_NOFILE, &m_saved); }

private:
    rlimit m_saved {};
};

TEST(BatchSteps, JobsStayWithinWhatTheDescriptorLimitAllows)
{
    std::string warning;
    EXPECT_EQ(jobsWithinMeans(2, warning), 2);
    EXPECT_EQ(warning, "");
    EXPECT_EQ(jobsWithinMeans(0, warning), std::min(QThread::idealThreadCount(), TCommand::maxJobs()));
    rlimit now {};
    ::getrlimit(RLIMIT_NOFILE, &now);
    const rlim_t enough = 64 + static_cast<rlim_t>(TCommand::kMostLanes) * kDescriptorsPerLane;
    if (now.rlim_max == RLIM_INFINITY || now.rlim_max >= enough) {
        const OpenFilesLimit plenty(enough);
        warning.clear();
        EXPECT_EQ(jobsWithinMeans(100000, warning), TCommand::kMostLanes);
        EXPECT_EQ(warning, "-j 100000 is more than Calvera converts at once; converting 256 at once")
            << "the limit on open files is not what holds it";
    } else {
        std::cout << "the most at once is not checked: the hard limit on open files (" << now.rlim_max << ") is below "
                  << enough << "\n";
    }
    {
        const OpenFilesLimit limit(1024);
        warning.clear();
        const int jobs = jobsWithinMeans(300, warning);
        EXPECT_EQ(jobs, (1024 - 64) / kDescriptorsPerLane);
        EXPECT_NE(warning.find("-j 300 is more than the limit on open files allows here; converting "
                      + std::to_string(jobs) + " at once"),
            std::string::npos)
            << warning;
    }
    const OpenFilesLimit tiny(40);
    EXPECT_EQ(TCommand::maxJobs(), 1) << "one at a time is always allowed";
}

TEST(BatchSteps, TheExitStatusSaysWhatTheSummarySays)
{
    EXPECT_EQ(exitStatus(RunResult {}), kAllConverted);
    EXPECT_EQ(exitStatus(RunResult {1, 0, 0}), kSomeFailed);
    EXPECT_EQ(exitStatus(RunResult {0, 2, 0}), kSomeFailed) << "converted but not recorded";
    EXPECT_EQ(exitStatus(RunResult {1, 0, SIGINT}), 130);
}

} // namespace
