// calvera-batch: Calvera's conversion without a window, for scripts and ssh
// sessions. It uses the same catalogue, job list, list files, naming and
// driver as the window.

#include "BatchCommandLine.h"
#include "BatchConsole.h"
#include "ErrorReport.h"
#include "FfmpegAbilities.h"
#include "JobListModel.h"
#include "ProgramDir.h"
#include "RunJournal.h"
#include "StopSignals.h"
#include "command.h"
#include "commandManager.h"
#include "itemManager.h"
#include "saveManager.h"
#include "treeManager.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <unordered_set>
#include <unistd.h>

namespace {

constexpr int kAllConverted = 0;
constexpr int kSomeFailed = 1;
constexpr int kBadUsage = 2;

void fail(const std::string& message)
{
    std::fprintf(stderr, "calvera-batch: %s\n", message.c_str());
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("calvera-batch");

    BatchOptions options;
    try {
        options = parseBatchCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const BatchUsageError& e) {
        fail(std::string(e.what()) + "\nTry 'calvera-batch --help' for more information.");
        return kBadUsage;
    }
    if (options.version) {
        std::printf("calvera-batch %s\n", CALVERA_VERSION);
        return kAllConverted;
    }
    if (options.help) {
        std::fputs(kBatchUsage, stdout);
        return kAllConverted;
    }

    const std::string cataloguePath = options.catalogue.empty() ? programDirectory() + "command" : options.catalogue;
    // The catalogue next to the program may be missing (an empty catalogue);
    // one the user names must exist.
    std::error_code ec;
    if (!options.catalogue.empty() && !std::filesystem::exists(cataloguePath, ec)) {
        fail("cannot read the catalogue \"" + cataloguePath + "\": No such file or directory");
        return kBadUsage;
    }
    std::unique_ptr<TCommandManager> catalogue;
    try {
        // The user's own entries follow the shipped ones; a catalogue named on the command line stands alone.
        catalogue = std::make_unique<TCommandManager>(
            cataloguePath, options.catalogue.empty() ? TCommandManager::userCataloguePath() : std::string());
    } catch (const std::exception& e) {
        fail("cannot read the catalogue \"" + cataloguePath + "\": " + e.what());
        return kBadUsage;
    }
    if (options.listFormats) {
        const FfmpegProbe::Answer abilities
            = FfmpegProbe::of(options.ffmpeg.empty() ? defaultFfmpegPath() : options.ffmpeg)->wait();
        for (int i = 0; i < static_cast<int>(catalogue->Formats().size()); ++i) {
            const std::string why = catalogue->whyUnavailable(i, abilities.get());
            const std::string origin
                = !why.empty() ? "unavailable: " + why : (catalogue->isUserEntry(i) ? "user" : "shipped");
            std::printf("%d\t%s\t%s\t%s\t%s\n", i, catalogue->formatName(i).c_str(), catalogue->GetExt(i).c_str(),
                catalogue->GetParams(i).c_str(), origin.c_str());
        }
        if (options.sources.empty())
            return kAllConverted;
    }

    // The queue, built the way the window builds it: files through the
    // staging list, list files through the list file import.
    JobListModel model;
    TItemManager staging;
    TTreeManager tree(model, staging);
    TSaveManager lists(model);
    for (const BatchOptions::Source& source : options.sources) {
        std::error_code ec;
        if (!std::filesystem::exists(source.path, ec)) {
            fail(source.path + ": No such file or directory");
            return kBadUsage;
        }
        if (source.isListFile) {
            try {
                lists.ImportFromFile(source.path);
            } catch (const std::exception& e) {
                fail(source.path + ": " + e.what());
                return kBadUsage;
            }
            continue;
        }
        if (!catalogue->isValidIndex(source.formatIndex)) {
            fail("format index " + std::to_string(source.formatIndex) + " is not in the catalogue \"" + cataloguePath
                + "\", which lists " + std::to_string(catalogue->Formats().size()) + " formats (see --formats)");
            return kBadUsage;
        }
        staging.AddItem(source.path, source.formatIndex, source.outputDir);
        tree.AddItems({QString::fromStdString(source.path)});
    }

    TCommand driver(model, *catalogue);
    if (!options.ffmpeg.empty())
        driver.FfmpegPath = options.ffmpeg;
    driver.Jobs = options.jobs > 0 ? options.jobs : QThread::idealThreadCount();

    int status = kAllConverted;
    if (!options.saveList.empty()) {
        try {
            lists.ExportToFile(options.saveList);
        } catch (const std::exception& e) {
            fail(e.what());
            status = kSomeFailed;
        }
    }
    if (options.dryRun) {
        for (int row = options.shard; row < model.count(); row += options.shards) {
            const JobListModel::Node& node = *model.nodeAt(row);
            if (catalogue->isValidIndex(node.Item.FormatIndex)) {
                std::printf("%s\n", driver.commandLineFor(node).c_str());
            } else {
                fail("item " + std::to_string(row + 1) + " (" + node.Item.FileName.toStdString() + "): format index "
                    + std::to_string(node.Item.FormatIndex) + " is not in the catalogue");
                status = kSomeFailed;
            }
        }
    }
    if (options.dryRun || !options.saveList.empty())
        return status;
    if (model.count() == 0) {
        fail("the list files hold no items");
        return kAllConverted;
    }

    // What this run converts: its shard of the queue, less what the journal
    // says is done (or, retrying, only what it says did not convert).
    std::unique_ptr<RunJournal> journal;
    if (!options.journal.empty()) {
        try {
            journal = std::make_unique<RunJournal>(options.journal);
        } catch (const std::exception& e) {
            fail(e.what());
            return kBadUsage;
        }
        if (journal->damagedLines() > 0)
            fail("the journal \"" + options.journal + "\" has " + std::to_string(journal->damagedLines())
                + " damaged line(s); they were passed over");
        // An item recorded as converted has its file on the disk first.
        driver.Durable = true;
    }
    const auto keyOf = [&model](const JobListModel::Node& node) {
        return RunJournal::Key {model.indexOf(&node), node.Item.FormatIndex, node.Item.FileName.toStdString(),
            node.Item.Path.toStdString()};
    };
    std::unordered_set<const JobListModel::Node*> wanted;
    for (int row = options.shard; row < model.count(); row += options.shards) {
        const JobListModel::Node* node = model.nodeAt(row);
        if (journal) {
            const std::optional<RunJournal::Outcome> last = journal->lastOutcome(keyOf(*node));
            const bool converted = last == RunJournal::Outcome::converted;
            if (options.retryFailed ? (!last || converted) : converted)
                continue;
        }
        wanted.insert(node);
    }

    const BatchConsole::Mode mode = options.jsonProgress ? BatchConsole::Mode::json
        : ::isatty(STDOUT_FILENO) == 1                   ? BatchConsole::Mode::terminal
                                                         : BatchConsole::Mode::plain;
    BatchConsole console(model.count(), mode);
    setErrorReporter([&console](const std::string& message) { console.error(message); });
    bool anyFailed = false;
    int stopSignal = 0;
    QObject::connect(&driver, &TCommand::itemStarted,
        [&](JobListModel::Node* node) { console.itemStarted(model.indexOf(node), node->Item.FileName.toStdString()); });
    QObject::connect(&driver, &TCommand::itemProgress, [&](JobListModel::Node* node, const ItemProgress& progress) {
        console.itemProgress(model.indexOf(node), progress, driver.runSecondsLeft());
    });
    QObject::connect(&driver, &TCommand::itemFinished, [&](JobListModel::Node* node, const ItemOutcome& outcome) {
        anyFailed = anyFailed || !outcome.converted;
        console.itemFinished(model.indexOf(node), outcome);
        if (!journal || !node)
            return;
        try {
            journal->record(keyOf(*node),
                outcome.converted     ? RunJournal::Outcome::converted
                    : outcome.stopped ? RunJournal::Outcome::stopped
                                      : RunJournal::Outcome::failed,
                outcome.output);
        } catch (const std::exception& e) {
            console.error(e.what());
            anyFailed = true;
        }
    });
    driver.OnTick = [&](QTimer*) { console.tick(driver.Elapsed(), driver.runSecondsLeft()); };
    QObject::connect(&driver, &TCommand::runFinished, [] { QCoreApplication::exit(); });
    const StopSignalWatch stopSignals([&](int signal) {
        if (stopSignal == 0) {
            stopSignal = signal;
            console.error("interrupted: stopping the conversion");
            driver.Stop();
        }
    });

    if (wanted.empty()) {
        console.error(journal ? "nothing to convert: the journal records no item of this run as still to do"
                              : "nothing to convert in this shard");
        console.finish(driver.lastRun());
        setErrorReporter(nullptr);
        return kAllConverted;
    }
    driver.Start([&wanted](const JobListModel::Node& node) { return wanted.contains(&node); });
    QCoreApplication::exec();
    console.finish(driver.lastRun());
    setErrorReporter(nullptr);
    if (stopSignal)
        return 128 + stopSignal;
    return anyFailed ? kSomeFailed : kAllConverted;
}
