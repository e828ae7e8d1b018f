#pragma once

#include "BatchCommandLine.h"
#include "ItemLane.h"
#include "JobListModel.h"
#include "RunJournal.h"
#include "command.h"
#include "itemManager.h"
#include "saveManager.h"
#include "treeManager.h"

#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class BatchConsole;
class TCommand;
class TCommandManager;

// The steps of one calvera-batch invocation, each on its own so that it can
// be tested without starting the program.

inline constexpr int kAllConverted = 0;
inline constexpr int kSomeFailed = 1;
inline constexpr int kBadUsage = 2;

// What ends the invocation before or instead of a run: its exit status and,
// unless empty, what it says on standard error.
struct BatchExit {
    int status = kBadUsage;
    std::string message;
};

// The queue, built the way the window builds its list: files through the
// staging list, list files through the list file import.
struct BatchQueue {
    BatchQueue();
    // A file that could not join the queue: it fails on its own.
    struct Refused {
        std::string name;
        std::string reason;
    };
    std::vector<Refused> refused;
    JobListModel model;
    TItemManager staging;
    TTreeManager tree;
    TSaveManager lists;
};

// The catalogue file in use: --catalogue's, or `command` next to the program.
std::string cataloguePath(const BatchOptions& options);

// The catalogue named with --catalogue alone, or the shipped one followed by
// the user's own entries; own entries that cannot be read are left out with a
// warning. Raises BatchExit when the catalogue itself cannot be read.
std::unique_ptr<TCommandManager> loadCatalogues(const BatchOptions& options);

// --formats: one line per entry (index, name, extension, parameters, where
// it comes from or why it is unavailable), or one JSON object per entry.
void printFormats(const TCommandManager& catalogue, const std::string& ffmpeg, bool json);

// Queues what the command line names, in order. Raises BatchExit for a list
// file that is missing or cannot be read. A file whose name cannot be an item
// is kept among the refused; a missing input, and an item whose format is not
// in the catalogue, are queued, and fail when their turn comes.
void buildQueue(const BatchOptions& options, BatchQueue& queue);

// The positions of shard K of N in a queue of count items: those p with p mod N = K.
std::vector<int> shardPositions(int count, int shard, int shards);

// -n: the ffmpeg command of every item at positions, as the run would give
// it (the output's final name in place of the private file ffmpeg writes),
// quoted for a POSIX shell, or one JSON object per item. Returns the exit status.
int printCommands(const TCommand& driver, const BatchQueue& queue, const std::vector<int>& positions, bool json);

// How the journal knows each item of the queue, by its node.
std::unordered_map<const JobListModel::Node*, RunJournal::Key> journalKeys(const JobListModel& model);

// The items a run converts: those at positions, less what the journal says
// is converted or, retrying, only what it says failed or was stopped.
std::unordered_set<const JobListModel::Node*> selectItems(
    const JobListModel& model, const std::vector<int>& positions, const RunJournal* journal, bool retryFailed);

// A word quoted for a POSIX shell: as it is when nothing in it is special,
// else in single quotes, with '\'' for a single quote.
std::string shellQuoted(const std::string& word);

// Makes every output folder named with -o that is missing, with its parents.
// Raises BatchExit when one cannot be made.
void makeOutputFolders(const BatchOptions& options);

// -j as asked (0: one per core), within what the machine allows; warning
// says why when it was lowered.
int jobsWithinMeans(int asked, std::string& warning);

// How the journal knows a file that appeared in a watched folder: by its
// name, format, output folder, and its size and modification time now.
// Nothing when the file is gone.
std::optional<RunJournal::Key> journalKeyForWatched(
    const JobListModel& model, const std::string& input, int format, const std::string& outputDir);

// Writes the journal's lines for the driver, on its disk worker.
class JournalRecorder final : public ItemRecorder {
public:
    JournalRecorder(RunJournal& journal, std::unordered_map<const JobListModel::Node*, RunJournal::Key> keys);
    // An item that joined the queue.
    void add(const JobListModel::Node* item, RunJournal::Key key);
    // The key of the item about to join the queue, which a running run may
    // start as it joins, before add is called.
    void expect(RunJournal::Key key);
    // The item has started: a crash from now on leaves it unfinished.
    void started(const JobListModel::Node* item);
    void publishing(const void* item, const FileIdentity& file, const std::string& wanted) override;
    bool ended(const void* item, const ItemOutcome& outcome) override;

private:
    RunJournal& m_journal;
    std::mutex m_mutex; // the keys are read on the disk worker
    std::unordered_map<const JobListModel::Node*, RunJournal::Key> m_keys;
    std::unordered_map<const void*, FileIdentity> m_published; // the file each item is publishing
    std::optional<RunJournal::Key> m_expected;
};

// Every output folder the run knows of: each item's, each -o, the watch's.
std::set<std::string> knownOutputFolders(const BatchOptions& options, const JobListModel& model);

// Removes what ended runs left in the folders: private folders and temporaries.
void sweepOutputFolders(const std::set<std::string>& folders, const std::set<std::string>& extensions);

// The summary with the files that could not be items counted as failed.
RunSummary withRefused(RunSummary summary, const BatchQueue& queue);

// What --retry-failed says when the journal leaves nothing to do: how many
// items it holds and how they ended.
std::string nothingLeftToRetry(const RunJournal& journal);

// What a run came to, for the exit status.
struct RunResult {
    int failed = 0; // failed or stopped
    int notRecorded = 0; // converted, but the journal does not say so
    int stopSignal = 0; // the signal that stopped the run, if one did
    bool watchLost = false; // the watched folder went away
};

// A folder whose new files join the queue (--watch), with the journal that
// knows what was converted already, if there is one.
struct Watching {
    const BatchOptions& options;
    RunJournal* journal = nullptr;
    JournalRecorder* recorder = nullptr;
};

// Converts the selected items, showing the run on the console, until the
// last ends or a stop signal (Ctrl-C, SIGTERM, SIGHUP) has ended them; with a
// watched folder, also every file that appears in it, until a stop signal.
RunResult runQueue(TCommand& driver, BatchQueue& queue, const std::unordered_set<const JobListModel::Node*>& selection,
    BatchConsole& console, const Watching* watching = nullptr);

// 0 when every item was converted and recorded, 1 otherwise, 128 + the
// signal when one stopped the run.
int exitStatus(const RunResult& result);
