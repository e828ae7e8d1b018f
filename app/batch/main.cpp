// calvera-batch: Calvera's conversion without a window, for scripts and ssh
// sessions. It uses the same catalogue, job list, list files, naming and
// driver as the window.

#include "BatchCommandLine.h"
#include "BatchConsole.h"
#include "BatchRun.h"
#include "ErrorReport.h"
#include "FfmpegAbilities.h"
#include "ProgramDir.h"
#include "RunJournal.h"
#include "SimpleXML.h"
#include "StandardOutput.h"
#include "Translations.h"
#include "command.h"
#include "commandManager.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <set>
#include <sys/stat.h>
#include <memory>

namespace {

BatchOptions parseOptions(int argc, char* argv[])
{
    try {
        return parseBatchCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const BatchUsageError& error) {
        throw BatchExit {kBadUsage,
            std::string(error.what()) + "\n"
                + QCoreApplication::translate("calvera-batch", "Try 'calvera-batch --help' for more information.")
                      .toStdString()};
    }
}

std::unique_ptr<RunJournal> openJournal(const BatchOptions& options)
{
    if (options.journal.empty())
        return nullptr;
    try {
        auto journal = std::make_unique<RunJournal>(options.journal);
        if (journal->damagedLines() > 0)
            reportWarning(QCoreApplication::translate("calvera-batch",
                "the journal \"%1\" has %n damaged line(s); they were passed over", nullptr, journal->damagedLines())
                              .arg(QString::fromStdString(options.journal))
                              .toStdString());
        return journal;
    } catch (const JournalError& error) {
        throw BatchExit {kBadUsage, error.what()};
    }
}

BatchConsole::Options consoleOptions(const BatchOptions& options, bool journal)
{
    BatchConsole::Options console = BatchConsole::optionsForThisProcess();
    console.json = options.jsonProgress;
    if (options.endLinesOnly) {
        console.startLines = false;
        console.liveLine = false;
        console.oneLinePerItem = true;
    }
    console.quiet = options.quiet;
    console.verbose = options.verbose;
    console.journal = journal;
    return console;
}

// -s writes a list file, replacing only a list: anything else under its name
// (a video given as the list's name by mistake, a link, a FIFO) stays as it is.
void checkListTarget(const std::string& path)
{
    struct stat info { };
    if (::lstat(path.c_str(), &info) != 0)
        return;
    const auto refuse = [&path](const char* why) {
        return BatchExit {kBadUsage,
            QCoreApplication::translate("calvera-batch", "-s will not write over \"%1\": %2")
                .arg(QString::fromStdString(path), QCoreApplication::translate("calvera-batch", why))
                .toStdString()};
    };
    if (!S_ISREG(info.st_mode))
        throw refuse(QT_TRANSLATE_NOOP("calvera-batch", "it is not a regular file"));
    TJclSimpleXML existing;
    try {
        existing.LoadFromFile(path);
    } catch (const std::exception&) {
        throw refuse(QT_TRANSLATE_NOOP("calvera-batch", "it is not a Calvera list"));
    }
    if (existing.Root().Name() != "list")
        throw refuse(QT_TRANSLATE_NOOP("calvera-batch", "it is not a Calvera list"));
}

int convert(const BatchOptions& options)
{
    const std::unique_ptr<TCommandManager> catalogue = loadCatalogues(options);
    const std::string ffmpeg = options.ffmpeg.empty() ? defaultFfmpegPath() : options.ffmpeg;
    // Asked from the start, so that the answer is there when the first item wants it.
    FfmpegProbe::of(ffmpeg);
    if (options.listFormats) {
        printFormats(*catalogue, ffmpeg, options.jsonProgress);
        if (options.sources.empty())
            return kAllConverted;
    }

    BatchQueue queue;
    buildQueue(options, queue);
    TCommand driver(queue.model, *catalogue);
    driver.FfmpegPath = ffmpeg;
    driver.Verify = options.verification;
    driver.Flat = options.flat;
    driver.SkipExisting = options.skipExisting;
    driver.SkipSame = options.skipSame;
    std::string lowered;
    driver.Jobs = jobsWithinMeans(options.jobs, lowered);
    if (!lowered.empty())
        reportWarning(lowered);
    const std::vector<int> positions = shardPositions(queue.model.count(), options.shard, options.shards);

    // A file that could not be an item fails on its own; the rest runs, is listed or saved.
    int status = queue.refused.empty() ? kAllConverted : kSomeFailed;
    for (const BatchQueue::Refused& refused : queue.refused)
        reportError("calvera-batch: " + refused.reason);
    if (!options.saveList.empty()) {
        checkListTarget(options.saveList);
        try {
            queue.lists.ExportToFile(options.saveList);
        } catch (const std::exception& error) {
            reportError(std::string("calvera-batch: ") + error.what());
            status = kSomeFailed;
        }
    }
    if (options.dryRun)
        status = std::max(status, printCommands(driver, queue, positions, options.jsonProgress));
    if (options.dryRun || !options.saveList.empty())
        return status;
    const bool watching = !options.watch.empty();
    if (queue.model.count() == 0 && !watching) {
        const bool trees = std::any_of(options.sources.begin(), options.sources.end(),
            [](const BatchOptions::Source& source) { return source.isTree; });
        if (queue.refused.empty())
            reportError("calvera-batch: "
                + (trees ? QCoreApplication::translate("calvera-batch", "the folders and list files hold no items")
                         : QCoreApplication::translate("calvera-batch", "the list files hold no items"))
                      .toStdString());
        return status;
    }

    // The journal first: a refused journal leaves no folder made.
    const std::unique_ptr<RunJournal> journal = openJournal(options);
    makeOutputFolders(options);
    // What ended runs left (a crash, kill -9) goes at the start, and what this one leaves at its end.
    const std::set<std::string> outputFolders = knownOutputFolders(options, queue.model);
    sweepOutputFolders(outputFolders, catalogue->extensions());
    const auto selection = selectItems(queue.model, positions, journal.get(), options.retryFailed);
    std::unique_ptr<JournalRecorder> recorder;
    if (journal) {
        recorder = std::make_unique<JournalRecorder>(*journal, journalKeys(queue.model));
        driver.Recorder = recorder.get();
        // An item recorded as converted has its file on the disk first.
        driver.Durable = true;
    }
    // A file that could not join the queue is an item of the run all the same: it is counted and ends
    // at once, with a line (and a JSON end event) of its own, after the queue's places.
    const int refusedCount = static_cast<int>(queue.refused.size());
    BatchConsole console(queue.model.count() + refusedCount, consoleOptions(options, journal != nullptr));
    for (int i = 0; i < refusedCount; ++i) {
        ItemOutcome refused;
        refused.source = queue.refused[static_cast<std::size_t>(i)].name;
        refused.reason = refused.reasonShown = queue.refused[static_cast<std::size_t>(i)].reason;
        console.itemFinished(queue.model.count() + i, refused);
    }
    int ran = kAllConverted;
    if (watching) {
        const Watching watch {options, journal.get(), recorder.get()};
        ran = exitStatus(runQueue(driver, queue, selection, console, &watch));
    } else if (selection.empty()) {
        console.error(!journal
                ? QCoreApplication::translate("calvera-batch", "nothing to convert in this shard").toStdString()
                : options.retryFailed ? nothingLeftToRetry(*journal)
                                      : QCoreApplication::translate("calvera-batch",
                                          "nothing to convert: the journal records no item of this run as still to do")
                                            .toStdString());
        console.finish(withRefused(driver.lastRun(), queue));
    } else {
        ran = exitStatus(runQueue(driver, queue, selection, console));
    }
    sweepOutputFolders(outputFolders, catalogue->extensions());
    return ran == kAllConverted ? status : ran;
}

int run(int argc, char* argv[])
{
    try {
        const BatchOptions options = parseOptions(argc, argv);
        if (options.version) {
            std::printf("calvera-batch %s\n", CALVERA_VERSION);
            return kAllConverted;
        }
        if (options.help) {
            standardOutput::write(batchUsage(helpWidth()));
            return kAllConverted;
        }
        return convert(options);
    } catch (const BatchExit& exit) {
        if (!exit.message.empty())
            std::fprintf(stderr, "calvera-batch: %s\n", exit.message.c_str());
        return exit.status;
    }
}

// What could not be written to standard output makes the answer incomplete: a script must not take it
// for whole. A signal that ended the run (a reader gone away: 141) is the truer status and stays.
int checkedOutput(int status)
{
    if (standardOutput::flush() || status > 128)
        return status;
    std::fprintf(stderr, "calvera-batch: %s\n",
        QCoreApplication::translate("calvera-batch", "cannot write to standard output: %1")
            .arg(QString::fromStdString(standardOutput::failure()))
            .toStdString()
            .c_str());
    return kBadUsage;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("calvera-batch");
    const Translations translations;
    return checkedOutput(run(argc, argv));
}
