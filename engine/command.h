#pragma once

#include "DiskWorker.h"
#include "ItemLane.h"
#include "JobListModel.h"
#include "overwriteManager.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <unordered_set>
#include <string>
#include <vector>

class TCommandManager;

// What is worth telling of an item that converted, in the user's language:
// "converted with N decoding errors (see log)", "unchecked: why"; empty for a
// plain success or a failure.
std::string remarkOn(const ItemOutcome& outcome);

// A converted item with a size limit whose output was measured within it.
bool fitsItsLimit(const ItemOutcome& outcome);

// What a run came to: counted as its items end, kept until the next Start.
struct RunSummary {
    int converted = 0;
    int failed = 0;
    int stopped = 0;
    int skipped = 0; // not converted, rightly: done already or already in the entry's form
    int fitted = 0; // converted within their size limit
    int unchecked = 0; // converted without a check of their length
    int decodeErrors = 0; // lines where ffmpeg reported damaged input, in the converted items
    // The items that failed, in the order they were started (the list's
    // order), however their ends came.
    struct Failure {
        std::string source;
        std::string reason; // in English
        std::string reasonShown; // in the user's language
        std::string log; // empty when none was kept
        std::uint64_t started = 0; // the item's place among the run's starts
    };
    std::vector<Failure> failures;
    std::vector<std::string> outputFolders; // of the converted items, in the order first used

    // Adds what another run came to, as if both were one.
    void add(const RunSummary& other);
};

// The conversion driver: walks the job list from its first node to its last,
// runs ffmpeg once per item, up to Jobs items at once, each in a lane of its
// own (ItemLane: runner, output, log, progress), starting them in list
// order. Each node's state is its lane's, told to the job list through
// itemStateChanged; the driver reports progress, a tick per second and the
// end of the run, all through its signals.
//
// Its events keep the form of one item at a time; with several lanes, the
// runner they name is that of the lane whose item ended last, OnOutput's
// value is always 0, and CurrentIndex is the item started last.
class TCommand final : public QObject {
    Q_OBJECT

public:
    // Which nodes a run converts; the others are passed over as if not listed.
    using Selection = std::function<bool(const JobListModel::Node& node)>;

    TCommand(JobListModel& model, const TCommandManager& catalogue, QObject* parent = nullptr);
    ~TCommand() override;

    // Converts every node from the first, or those that wanted selects; does
    // nothing when there is none.
    void Start(const Selection& wanted = {});
    // Ends every running item's ffmpeg; the run then ends as stopped.
    void Stop();
    // Holds every running ffmpeg and starts no item until Resume; the clock
    // and the time left stand still meanwhile.
    void Pause();
    void Resume();
    bool Paused() const { return m_paused; }

    bool Idle() const { return m_idle; }
    bool StopRequested() const { return m_stopRequested; }
    std::int64_t Elapsed() const { return m_elapsed; }
    // The list position of the item started last.
    std::uint32_t CurrentIndex() const { return m_currentIndex; }
    // Items of this run that have ended, and all it converts: ended, running and waiting.
    int FinishedCount() const { return m_finishedItems; }
    int RunItemCount() const;
    // During a run: a running item is ended as stopped while the run goes
    // on; a waiting one is taken out of the run.
    void StopItem(JobListModel::Node* node);
    // During a run: the node joins it, taken in list order.
    void Enqueue(JobListModel::Node* node);
    // The ffmpeg command line, as text, for the item's node as it would run now.
    std::string commandLineFor(const JobListModel::Node& node) const;
    // The arguments ffmpeg would get for the node now, the output's final
    // name in place of the private file it writes. Raises what planning raises.
    std::vector<std::string> argumentsFor(const JobListModel::Node& node) const;
    // Every encode ffmpeg would run for the node now: its arguments as
    // argumentsFor gives them, or a size-limited item's passes at the
    // bitrates its input's length gives (measured here, waited for). Raises
    // what planning raises, and why the item cannot fit its limit.
    std::vector<std::vector<std::string>> passArgumentsFor(const JobListModel::Node& node) const;

    // At most this many items at once, whatever the machine allows.
    static constexpr int kMostLanes = 256;
    // The most items this process can convert at once: what the descriptor
    // limit leaves room for, and no more than kMostLanes.
    static int maxJobs();

    // bin/ffmpeg in the program directory, or ffmpeg from PATH (defaultFfmpegPath), unless changed.
    std::string FfmpegPath;
    // Output directory of items without one of their own; empty unless set.
    std::string GlobalPath;
    // Where each item's log goes; empty keeps no logs.
    std::string LogFolder;
    // How many items may convert at once (at least 1); read when a run starts.
    int Jobs = 1;
    // Outputs are on disk before they are published, so that whoever records
    // an item as converted (a journal) never outlives its file in a power cut.
    bool Durable = false;
    // Told, on the disk worker, what becomes of each item (by its node); none by default.
    ItemRecorder* Recorder = nullptr;
    // How outputs are checked before they are published.
    Verification Verify = Verification::duration;
    // Items from a tree go straight into their output folder, as if each came
    // alone, instead of into their folder's place below it (read when planned).
    bool Flat = false;
    // Items are skipped, not converted, when their output is there already
    // (whole, newer than the input), or when their input is already what
    // their entry makes.
    bool SkipExisting = false;
    bool SkipSame = false;

    const RunSummary& lastRun() const { return m_summary; }
    // How much of the run is done: finished items plus the running items'
    // parts, over the items of the run; 0..1.
    double runFraction() const;
    // The run's time left, from the time so far and runFraction; -1 until it
    // can be told.
    std::int64_t runSecondsLeft() const;

signals:
    // Any number of listeners (the window, the console, a test) follow a run
    // through these.
    // Each line a running item's ffmpeg writes, with 0.
    void OnOutput(TDosCommand* Sender, std::int32_t Value);
    // After each item: the run's ended items in percent of all its items.
    void OnProgress(TDosCommand* Sender, std::int32_t Percent);
    // Once a run has ended, the driver idle again.
    void OnFinished(TDosCommand* Sender, bool Stopped);
    // Once a second during a run, after Elapsed grew.
    void OnTick(QTimer* Sender);
    // Every change of a node's state, as its lane tells it; the job list
    // shows it by then.
    void itemStateChanged(JobListModel::Node* node, ItemState state);
    // An item was taken from the waiting ones, its lane starting it.
    void itemStarted(JobListModel::Node* node);
    // When ffmpeg says how far a running item has come (about twice a second).
    void itemProgress(JobListModel::Node* node, const ItemProgress& progress);
    // Each line ffmpeg writes for a running item.
    void itemOutput(JobListModel::Node* node, const std::string& line);
    // After each item, its node in its ended state already, before its row
    // tells why it failed or what it made.
    void itemFinished(JobListModel::Node* node, const ItemOutcome& outcome);
    // After OnFinished, once the driver is idle again.
    void runFinished(bool stopped);
    // Pause and Resume.
    void pausedChanged(bool paused);

private:
    struct Plan {
        std::string source;
        std::string outputDir; // ends with "/"; the item's folder below the output folder included
        std::string subfolder; // that folder; empty for none
        std::string outputName;
        std::string outputPath; // unique when planned
        std::string commandLine; // as shown: ffmpeg itself writes into a private folder
        std::vector<std::string> params;
        std::vector<std::string> inputParams; // before -i
    };
    // A lane and the node whose item it converts; null once the node is
    // removed from the list.
    struct Slot {
        std::unique_ptr<ItemLane> lane;
        JobListModel::Node* node = nullptr;
        std::uint64_t started = 0; // its item's place among the run's starts
        std::string subfolder; // its item's folder below its output folder, as planned
    };
    Plan planFor(const JobListModel::Node& node) const;
    // The node's folder below its output folder, checked; empty when flat or none.
    std::string outputSubfolder(const JobListModel::Node& node, const std::string& source, std::size_t limit) const;
    // Makes the plan's folder below its output folder where that output folder is there.
    static void makeSubfolder(const Plan& plan);
    ItemJob jobFor(JobListModel::Node& node);
    // The first waiting item in the list's current order.
    JobListModel::Node* nextWaiting();
    // A lane free for the next item, made while there are fewer than Jobs.
    Slot* idleSlot();
    // Gives the slot's lane the next item, unless the run is stopping, paused or through.
    void startNext(Slot& slot);
    void startIdleLanes();
    // Ends the run, soon, if nothing runs and nothing of it is left to start (or it is stopping).
    void endWhenDone();
    void itemEnded(Slot& slot, const ItemOutcome& outcome);
    // subfolder: the item's folder below its output folder, which the summary names instead.
    void countOutcome(const ItemOutcome& outcome, std::uint64_t started, const std::string& subfolder = {});
    void tickStep();
    bool anyBusy() const;
    void endRun(bool stopped);

    JobListModel& m_model;
    const TCommandManager& m_catalogue;
    TOverwriteManager m_overwriteManager;
    QTimer m_timer;
    // Declared before the lanes, so that it outlives them: what they hand it is finished first.
    DiskWorker m_worker;
    std::vector<std::unique_ptr<Slot>> m_slots;
    ItemLane* m_lastEnded = nullptr; // the lane whose item ended last, for the events
    // The items of this run that have not started, and where in the list the
    // first of them may be (null: look from the top, the list has changed).
    std::unordered_set<const JobListModel::Node*> m_waiting;
    JobListModel::Node* m_cursor = nullptr;
    std::int64_t m_elapsed = 0;
    bool m_idle = true;
    bool m_stopRequested = false;
    bool m_paused = false;
    std::uint32_t m_currentIndex = 0;
    std::set<std::string> m_sweptDirs; // output folders cleared of stale temporaries in this run
    std::set<std::string> m_plainOutputs; // the output names (without "_2") the run's items have planned
    RunSummary m_summary;
    int m_finishedItems = 0; // in this run
    std::uint64_t m_starts = 0; // items started, over every run
};
