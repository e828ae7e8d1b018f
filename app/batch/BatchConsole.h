#pragma once

#include "ItemData.h"

#include <QCoreApplication>
#include <QJsonObject>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

class SignalWatch;
struct ItemOutcome;
struct RunSummary;

// What calvera-batch shows while it converts. On standard output: a line as
// each item starts (unless standard output is a terminal), its outcome line
// as it ends, with the reason and the log of a failure under it, and a
// summary at the end; or, in JSON mode, one JSON object per line and nothing
// else. On standard error, when it is a terminal that can redraw a line: one
// live line for the first running item (index, name, a bar, speed, the time
// left for the item and the run, how many others run with it), cut to the
// terminal's width and redrawn when the terminal changes size; errors and
// warnings there too.
class BatchConsole final {
    Q_DECLARE_TR_FUNCTIONS(BatchConsole)

public:
    struct Options {
        bool json = false;
        bool startLines = true; // "[k/n] name" as each item starts
        bool liveLine = false;
        bool quiet = false; // errors and the summary only
        bool verbose = false; // ffmpeg's own lines on standard error
        bool journal = false; // each item's end says whether it could be recorded
        bool oneLinePerItem = false; // an item's reason, log and notes on its outcome line, not under it
    };
    // What the terminals attached to this process allow.
    static Options optionsForThisProcess();

    BatchConsole(int itemCount, const Options& options);
    ~BatchConsole();
    BatchConsole(const BatchConsole&) = delete;
    BatchConsole& operator=(const BatchConsole&) = delete;

    // Items may join while the run goes on.
    void setItemCount(int itemCount) { m_itemCount = itemCount; }
    // index: the item's 0-based place in the whole queue.
    void itemStarted(int index, const std::string& source);
    void itemProgress(int index, const ItemProgress& progress, std::int64_t runSecondsLeft);
    void itemFinished(int index, const ItemOutcome& outcome);
    void ffmpegLine(int index, const std::string& line);
    void tick(std::int64_t elapsedSeconds, std::int64_t runSecondsLeft);
    void paused(bool paused);
    // A folder is watched from now on; looking: looked through, without change notices.
    void watching(const std::string& folder, bool looking);
    void error(const std::string& message);
    // notRecorded: converted items the journal could not record.
    void finish(const RunSummary& run, int notRecorded = 0);

    // line cut to columns terminal columns, characters kept whole.
    static std::string cutToWidth(const std::string& line, int columns);

private:
    void drawStatus();
    void clearStatus();
    void json(const std::string& object);
    std::string statusText() const;

    struct Running {
        std::string source;
        ItemProgress progress;
    };

    int m_itemCount;
    const Options m_options;
    std::map<int, Running> m_running; // by index
    std::int64_t m_elapsed = 0;
    std::int64_t m_runLeft = -1;
    bool m_paused = false;
    bool m_statusShown = false;
    int m_columns = 80;
    std::unique_ptr<SignalWatch> m_resized;
    // When each item last had a progress event, to send at most one a second.
    std::map<int, std::chrono::steady_clock::time_point> m_lastProgress;
};

// One JSON object on one line, without its newline.
std::string jsonLine(const QJsonObject& object);
