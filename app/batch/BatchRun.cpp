#include "BatchRun.h"

#include "BatchConsole.h"
#include "BatchTrees.h"
#include "ErrorReport.h"
#include "FolderWatch.h"
#include "FfmpegAbilities.h"
#include "ProgramDir.h"
#include "StandardOutput.h"
#include "StopSignals.h"
#include "TreeWalk.h"
#include "Wording.h"
#include "command.h"
#include "commandManager.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <map>
#include <tuple>

namespace {

QString text(const std::string& value)
{
    return QString::fromStdString(value);
}

// A message in the user's language, its %1, %2 … filled with arguments as they are.
std::string said(const char* source, const std::vector<std::string>& arguments = {})
{
    return wording::filled(QCoreApplication::translate("BatchRun", source).toStdString(), arguments);
}

RunJournal::Outcome journalOutcome(const ItemOutcome& outcome)
{
    return outcome.converted ? RunJournal::Outcome::converted
        : outcome.stopped    ? RunJournal::Outcome::stopped
        : outcome.skipped    ? RunJournal::Outcome::skipped
                             : RunJournal::Outcome::failed;
}

constexpr const char* kCannotReadCatalogue = QT_TRANSLATE_NOOP("BatchRun", "cannot read the catalogue \"%1\": %2");

} // namespace

BatchQueue::BatchQueue()
    : tree(model, staging)
    , lists(model)
{ }

std::string cataloguePath(const BatchOptions& options)
{
    return options.catalogue.empty() ? programDirectory() + "command" : options.catalogue;
}

std::unique_ptr<TCommandManager> loadCatalogues(const BatchOptions& options)
{
    const std::string path = cataloguePath(options);
    // The catalogue must be there, also the one next to the program: without it the user's own entries
    // would take the shipped numbers, and every -f and list file would mean another format.
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        throw BatchExit {kBadUsage, said(kCannotReadCatalogue, {path, std::strerror(ENOENT)})};
    std::unique_ptr<TCommandManager> catalogue;
    try {
        catalogue = std::make_unique<TCommandManager>(path);
    } catch (const std::exception& error) {
        throw BatchExit {kBadUsage, said(kCannotReadCatalogue, {path, error.what()})};
    }
    // A catalogue named on the command line stands alone.
    if (options.catalogue.empty()) {
        catalogue->LoadUserEntries(TCommandManager::userCataloguePath());
        if (!catalogue->userCatalogueError().empty())
            reportWarning(catalogue->userCatalogueError());
    }
    return catalogue;
}

void printFormats(const TCommandManager& catalogue, const std::string& ffmpeg, bool json)
{
    const FfmpegProbe::Answer abilities = FfmpegProbe::of(ffmpeg)->wait();
    for (int i = 0; i < static_cast<int>(catalogue.Formats().size()); ++i) {
        const std::string why = catalogue.whyUnavailable(i, abilities.get());
        const std::string origin = catalogue.isUserEntry(i) ? "user" : "shipped";
        if (json) {
            std::printf("%s\n",
                jsonLine({{"event", "format"}, {"index", i}, {"name", text(catalogue.formatName(i))},
                             {"extension", text(catalogue.GetExt(i))}, {"params", text(catalogue.GetParams(i))},
                             {"origin", text(origin)}, {"unavailable", why.empty() ? QJsonValue() : text(why)}})
                    .c_str());
            continue;
        }
        std::printf("%d\t%s\t%s\t%s\t%s\n", i, catalogue.formatName(i).c_str(), catalogue.GetExt(i).c_str(),
            catalogue.GetParams(i).c_str(), why.empty() ? origin.c_str() : ("unavailable: " + why).c_str());
    }
    standardOutput::flush();
}

void buildQueue(const BatchOptions& options, BatchQueue& queue)
{
    for (const BatchOptions::Source& source : withTreesWalked(options)) {
        if (!source.refused.empty()) {
            queue.refused.push_back({source.path, source.refused});
            continue;
        }
        // A missing list file is a mistake of the command line. Anything else by
        // that name (a FIFO, a link that loops), and a missing input too, is the
        // item's to fail when it is converted, so that one file gone since
        // `find` costs only itself.
        struct stat named { };
        if (source.isListFile && ::lstat(source.path.c_str(), &named) != 0)
            throw BatchExit {kBadUsage, source.path + ": " + std::strerror(ENOENT)};
        if (source.isListFile) {
            try {
                queue.lists.ImportFromFile(source.path);
            } catch (const std::exception& error) {
                throw BatchExit {kBadUsage, source.path + ": " + error.what()};
            }
            continue;
        }
        queue.staging.AddItem(source.path, source.formatIndex, source.outputDir);
        queue.staging.SetSizeLimit(queue.staging.Count() - 1, source.sizeLimit);
        if (!source.subfolder.empty())
            queue.staging.SetSubfolder(0, source.subfolder);
        queue.tree.AddItems({QString::fromStdString(source.path)});
    }
}

std::vector<int> shardPositions(int count, int shard, int shards)
{
    std::vector<int> positions;
    // 64 bits: adding N to a position near the end cannot overflow.
    for (std::int64_t position = shard; position < count; position += shards)
        positions.push_back(static_cast<int>(position));
    return positions;
}

int printCommands(const TCommand& driver, const BatchQueue& queue, const std::vector<int>& positions, bool json)
{
    int status = kAllConverted;
    for (const int row : positions) {
        const JobListModel::Node& node = *queue.model.nodeAt(row);
        try {
            // A size-limited item's passes, each a line of its own.
            const std::vector<std::vector<std::string>> passes = driver.passArgumentsFor(node);
            for (std::size_t pass = 0; pass < passes.size(); ++pass) {
                const std::vector<std::string>& arguments = passes[pass];
                // One form for people and programs alike: a line a shell runs as Calvera would.
                std::string line;
                for (const std::string& argument : arguments)
                    line += (line.empty() ? "" : " ") + shellQuoted(argument);
                if (!json) {
                    standardOutput::write(line + '\n');
                    continue;
                }
                QJsonArray given;
                for (const std::string& argument : arguments)
                    given.append(text(argument));
                QJsonObject event {{"event", "command"}, {"item", row}, {"input", node.Item.FileName},
                    {"command_line", text(line)}, {"arguments", given}};
                if (passes.size() > 1) {
                    event.insert("pass", static_cast<int>(pass + 1));
                    event.insert("passes", static_cast<int>(passes.size()));
                }
                standardOutput::write(jsonLine(event) + '\n');
            }
        } catch (const std::exception& error) {
            reportError(said(QT_TRANSLATE_NOOP("BatchRun", "item %1 (%2): %3"),
                {std::to_string(row + 1), node.Item.FileName.toStdString(), error.what()}));
            status = kSomeFailed;
        }
    }
    standardOutput::flush();
    return status;
}

std::optional<RunJournal::Key> journalKeyForWatched(
    const JobListModel& model, const std::string& input, int format, const std::string& outputDir)
{
    struct stat status { };
    if (::stat(input.c_str(), &status) != 0)
        return std::nullopt;
    RunJournal::Key key {model.count(), 0, format, input, outputDir};
    key.size = status.st_size;
    key.modifiedNs = status.st_mtim.tv_sec * 1000000000ll + status.st_mtim.tv_nsec;
    return key;
}

std::unordered_map<const JobListModel::Node*, RunJournal::Key> journalKeys(const JobListModel& model)
{
    std::unordered_map<const JobListModel::Node*, RunJournal::Key> keys;
    std::map<std::tuple<std::string, int, std::string>, int> seen;
    for (int row = 0; row < model.count(); ++row) {
        const JobListModel::Node* node = model.nodeAt(row);
        RunJournal::Key key {
            row, 0, node->Item.FormatIndex, node->Item.FileName.toStdString(), node->Item.Path.toStdString()};
        key.occurrence = seen[{key.input, key.format, key.outputDir}]++;
        keys.emplace(node, std::move(key));
    }
    return keys;
}

std::unordered_set<const JobListModel::Node*> selectItems(
    const JobListModel& model, const std::vector<int>& positions, const RunJournal* journal, bool retryFailed)
{
    const auto keys = journal ? journalKeys(model) : std::unordered_map<const JobListModel::Node*, RunJournal::Key>();
    std::unordered_set<const JobListModel::Node*> wanted;
    for (const int row : positions) {
        const JobListModel::Node* node = model.nodeAt(row);
        if (journal) {
            const RunJournal::Key& key = keys.at(node);
            const std::optional<RunJournal::Outcome> last = journal->lastOutcome(key);
            // Skipped is done as much as converted: its output is there, or it needs none.
            const bool done = last == RunJournal::Outcome::converted || last == RunJournal::Outcome::skipped;
            // Retrying: what failed, was stopped, or was cut short by a crash (started and never ended).
            if (retryFailed ? !journal->unfinished(key) && (!last || done) : done && !journal->unfinished(key))
                continue;
        }
        wanted.insert(node);
    }
    return wanted;
}

std::string shellQuoted(const std::string& word)
{
    const bool plain = !word.empty()
        && word.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                  "0123456789_@%+=:,./-")
            == std::string::npos;
    if (plain)
        return word;
    std::string quoted = "'";
    for (const char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

void makeOutputFolders(const BatchOptions& options)
{
    std::vector<std::string> folders = options.outputDirs;
    if (!options.watchOutputDir.empty())
        folders.push_back(options.watchOutputDir);
    for (const std::string& folder : folders) {
        std::error_code ec;
        // A file where the folder should be is said as such, not as the "File exists" of making it.
        std::string bare = folder;
        while (bare.size() > 1 && bare.back() == '/')
            bare.pop_back();
        const bool blocked = std::filesystem::exists(bare, ec) && !std::filesystem::is_directory(bare, ec);
        if (!blocked)
            std::filesystem::create_directories(folder, ec);
        if (blocked || ec || !std::filesystem::is_directory(folder, ec))
            throw BatchExit {kBadUsage,
                said(QT_TRANSLATE_NOOP("BatchRun", "cannot make the output folder \"%1\": %2"),
                    {folder,
                        ec && !blocked ? ec.message() : said(QT_TRANSLATE_NOOP("BatchRun", "it is not a folder"))})};
    }
}

int jobsWithinMeans(int asked, std::string& warning)
{
    const int wanted = asked > 0 ? asked : QThread::idealThreadCount();
    const int most = TCommand::maxJobs();
    if (wanted <= most)
        return wanted;
    warning = most == TCommand::kMostLanes
        ? said(QT_TRANSLATE_NOOP("BatchRun", "-j %1 is more than Calvera converts at once; converting %2 at once"),
            {std::to_string(wanted), std::to_string(most)})
        : said(QT_TRANSLATE_NOOP(
                   "BatchRun", "-j %1 is more than the limit on open files allows here; converting %2 at once"),
            {std::to_string(wanted), std::to_string(most)});
    return most;
}

JournalRecorder::JournalRecorder(
    RunJournal& journal, std::unordered_map<const JobListModel::Node*, RunJournal::Key> keys)
    : m_journal(journal)
    , m_keys(std::move(keys))
{ }

void JournalRecorder::add(const JobListModel::Node* item, RunJournal::Key key)
{
    const std::lock_guard lock(m_mutex);
    m_keys[item] = std::move(key);
    m_expected.reset();
}

void JournalRecorder::expect(RunJournal::Key key)
{
    const std::lock_guard lock(m_mutex);
    m_expected = std::move(key);
}

void JournalRecorder::started(const JobListModel::Node* item)
{
    const std::lock_guard lock(m_mutex);
    auto key = m_keys.find(item);
    if (key == m_keys.end() && m_expected && item->Item.FileName.toStdString() == m_expected->input)
        key = m_keys.emplace(item, *m_expected).first;
    if (key == m_keys.end())
        return;
    // When even this line cannot be written, neither can the item's end: that is where it is told.
    try {
        m_journal.recordStarted(key->second);
    } catch (const std::exception&) { }
}

void JournalRecorder::publishing(const void* item, const FileIdentity& file, const std::string& wanted)
{
    const std::lock_guard lock(m_mutex);
    m_published[item] = file;
    const auto key = m_keys.find(static_cast<const JobListModel::Node*>(item));
    if (key == m_keys.end())
        return;
    // When even this line cannot be written, neither can the item's end: that is where it is told.
    try {
        m_journal.recordPublishing(key->second, wanted, file);
    } catch (const std::exception&) { }
}

bool JournalRecorder::ended(const void* item, const ItemOutcome& outcome)
{
    const std::lock_guard lock(m_mutex);
    const auto key = m_keys.find(static_cast<const JobListModel::Node*>(item));
    if (key == m_keys.end())
        return false;
    const auto published = m_published.find(item);
    const std::optional<FileIdentity> file
        = outcome.converted && published != m_published.end() ? std::optional(published->second) : std::nullopt;
    if (published != m_published.end())
        m_published.erase(published);
    try {
        m_journal.record(key->second, journalOutcome(outcome), outcome.output, file);
        return true;
    } catch (const std::exception& error) {
        reportWarning(error.what());
        return false;
    }
}

bool sameFolder(const std::string& one, const std::string& other)
{
    struct stat first { };
    struct stat second { };
    return ::stat(one.c_str(), &first) == 0 && ::stat(other.c_str(), &second) == 0 && first.st_dev == second.st_dev
        && first.st_ino == second.st_ino;
}

namespace {

// What --watch adds to a run: each complete file that appears joins the queue.
void followFolder(FolderWatch& watch, const Watching& watching, TCommand& driver, BatchQueue& queue,
    BatchConsole& console, const bool& stopping)
{
    const BatchOptions& options = watching.options;
    QObject::connect(&watch, &FolderWatch::fileComplete, [&](const std::string& path) {
        if (stopping)
            return;
        if (!isUtf8(path)) {
            reportWarning(said(
                QT_TRANSLATE_NOOP("BatchRun", "the name %1 is not valid UTF-8; the file was passed over"), {path}));
            return;
        }
        const std::optional<RunJournal::Key> key
            = journalKeyForWatched(queue.model, path, options.watchFormat, options.watchOutputDir);
        if (!key)
            return;
        // Converted before as it is now, maybe before a restart: never again.
        if (watching.journal && watching.journal->lastOutcome(*key) == RunJournal::Outcome::converted)
            return;
        // A running run starts it as it joins: the count and its key are ready before.
        console.setItemCount(queue.model.count() + 1);
        if (watching.recorder)
            watching.recorder->expect(*key);
        queue.staging.AddItem(path, options.watchFormat, options.watchOutputDir);
        queue.staging.SetSizeLimit(queue.staging.Count() - 1, options.watchSizeLimit);
        // A file in a folder below the watched one keeps its place there.
        if (const std::string subfolder = subfolderBelow(options.watch, path); !subfolder.empty())
            queue.staging.SetSubfolder(0, subfolder);
        queue.tree.AddItems({QString::fromStdString(path)});
        JobListModel::Node* const node = queue.model.nodeAt(queue.model.count() - 1);
        if (watching.recorder)
            watching.recorder->add(node, *key);
        // A running run takes it in by itself.
        if (driver.Idle())
            driver.Start([node](const JobListModel::Node& candidate) { return &candidate == node; });
    });
    // Outputs go to a folder that is never watched: the watched folder itself would take nothing in.
    std::string output = options.watchOutputDir.empty() ? defaultOutputFolder() : options.watchOutputDir;
    if (sameFolder(output, options.watch))
        throw BatchExit {kBadUsage,
            said(QT_TRANSLATE_NOOP("BatchRun",
                     "the output folder %1 is the watched folder, whose outputs would be taken in again; "
                     "give -o another folder (one inside it is fine)"),
                {output})};
    QObject::connect(&watch, &FolderWatch::warning, [](const std::string& message) { reportWarning(message); });
    try {
        watch.start();
    } catch (const std::exception& error) {
        throw BatchExit {kBadUsage, error.what()};
    }
    console.watching(options.watch, watch.looking());
}

std::vector<std::string> foldersNotWatched(const BatchOptions& options)
{
    std::vector<std::string> folders = options.outputDirs;
    folders.push_back(options.watchOutputDir.empty() ? defaultOutputFolder() : options.watchOutputDir);
    return folders;
}

} // namespace

RunResult runQueue(TCommand& driver, BatchQueue& queue, const std::unordered_set<const JobListModel::Node*>& selection,
    BatchConsole& console, const Watching* watching)
{
    JournalRecorder* const recorder = dynamic_cast<JournalRecorder*>(driver.Recorder);
    RunResult result;
    RunSummary total;
    bool stopping = false;
    setErrorReporter([&console](const std::string& message) { console.error(message); });
    QObject::connect(&driver, &TCommand::itemStarted, [&](JobListModel::Node* node) {
        if (recorder)
            recorder->started(node);
        console.itemStarted(queue.model.indexOf(node), node->Item.FileName.toStdString());
    });
    QObject::connect(&driver, &TCommand::itemProgress, [&](JobListModel::Node* node, const ItemProgress& progress) {
        console.itemProgress(queue.model.indexOf(node), progress, driver.runSecondsLeft());
    });
    QObject::connect(&driver, &TCommand::itemOutput, [&](JobListModel::Node* node, const std::string& line) {
        console.ffmpegLine(queue.model.indexOf(node), line);
    });
    QObject::connect(&driver, &TCommand::itemFinished, [&](JobListModel::Node* node, const ItemOutcome& outcome) {
        result.failed += outcome.converted || outcome.skipped ? 0 : 1;
        result.notRecorded += outcome.converted && !outcome.recorded ? 1 : 0;
        console.itemFinished(queue.model.indexOf(node), outcome);
    });
    QObject::connect(
        &driver, &TCommand::OnTick, [&](QTimer*) { console.tick(driver.Elapsed(), driver.runSecondsLeft()); });
    // A watched folder keeps the program going from run to run, until a stop signal.
    QObject::connect(&driver, &TCommand::runFinished, [&] {
        total.add(driver.lastRun());
        if (!watching || stopping || result.watchLost)
            QCoreApplication::exit();
    });
    const auto stop = [&](int signal) {
        if (stopping)
            return;
        stopping = true;
        result.stopSignal = signal;
        if (driver.Idle()) {
            QCoreApplication::exit();
            return;
        }
        console.error(said(QT_TRANSLATE_NOOP("BatchRun", "interrupted: stopping the conversion")));
        driver.Stop();
    };
    const StopSignalWatch stopSignals(stop);
    // A reader that went away (| head) ends the run as Ctrl-C does: nothing half-made is left.
    const SignalWatch brokenPipe({SIGPIPE}, stop);
    // Ctrl-Z holds every running ffmpeg (each in a process group of its own,
    // out of the terminal's reach) before this program stops; fg or bg lets them go on.
    const SignalWatch jobControl({SIGTSTP, SIGCONT}, [&](int signal) {
        if (signal == SIGTSTP) {
            driver.Pause();
            console.paused(true);
            ::raise(SIGSTOP);
        } else if (driver.Paused()) {
            driver.Resume();
            console.paused(false);
        }
    });
    std::unique_ptr<FolderWatch> watch;
    if (watching) {
        const BatchOptions& options = watching->options;
        watch = std::make_unique<FolderWatch>(FolderWatch::Settings {options.watch, foldersNotWatched(options),
            !options.newOnly, std::min(options.settleSeconds, 24 * 3600) * 1000, options.excluded});
        followFolder(*watch, *watching, driver, queue, console, stopping);
        // Without its folder, the watch can take nothing more in: what runs ends, then the program.
        QObject::connect(watch.get(), &FolderWatch::folderGone, [&] {
            console.error(said(QT_TRANSLATE_NOOP("BatchRun", "the watched folder %1 is gone: watching ends"),
                {watching->options.watch}));
            result.watchLost = true;
            if (driver.Idle())
                QCoreApplication::exit();
        });
    }
    if (!selection.empty())
        driver.Start([&selection](const JobListModel::Node& node) { return selection.contains(&node); });
    if (!driver.Idle() || watching)
        QCoreApplication::exec();
    result.failed += static_cast<int>(queue.refused.size());
    console.finish(withRefused(total, queue), result.notRecorded);
    setErrorReporter(nullptr);
    return result;
}

std::set<std::string> knownOutputFolders(const BatchOptions& options, const JobListModel& model)
{
    std::set<std::string> folders(options.outputDirs.begin(), options.outputDirs.end());
    if (!options.watch.empty())
        folders.insert(options.watchOutputDir.empty() ? defaultOutputFolder() : options.watchOutputDir);
    for (int row = 0; row < model.count(); ++row) {
        const TItemData& item = model.nodeAt(row)->Item;
        std::string folder = item.Path.toStdString();
        if (folder.empty())
            folder = defaultOutputFolder();
        folders.insert(folder);
        // The folders a tree's outputs go to, where the run puts them.
        const std::string subfolder = item.Subfolder.toStdString();
        if (!options.flat && !subfolder.empty() && isSafeSubfolder(subfolder))
            folders.insert((folder.back() == '/' ? folder : folder + '/') + subfolder + '/');
    }
    return folders;
}

void sweepOutputFolders(const std::set<std::string>& folders, const std::set<std::string>& extensions)
{
    for (const std::string& folder : folders)
        TemporaryOutput::removeStale(folder, extensions);
}

RunSummary withRefused(RunSummary summary, const BatchQueue& queue)
{
    for (const BatchQueue::Refused& refused : queue.refused) {
        ++summary.failed;
        summary.failures.push_back({refused.name, refused.reason, refused.reason, {}, 0});
    }
    return summary;
}

std::string nothingLeftToRetry(const RunJournal& journal)
{
    const RunJournal::Tally tally = journal.tally();
    return said(
        QT_TRANSLATE_NOOP("BatchRun",
            "nothing to convert: none of this run's items is recorded as failed, stopped or unfinished; the "
            "journal holds %1 items: %2 converted, %6 skipped, %3 failed, %4 stopped, %5 started and never ended"),
        {std::to_string(tally.total()), std::to_string(tally.converted), std::to_string(tally.failed),
            std::to_string(tally.stopped), std::to_string(tally.unfinished), std::to_string(tally.skipped)});
}

int exitStatus(const RunResult& result)
{
    if (result.stopSignal)
        return 128 + result.stopSignal;
    return result.failed > 0 || result.notRecorded > 0 || result.watchLost ? kSomeFailed : kAllConverted;
}
