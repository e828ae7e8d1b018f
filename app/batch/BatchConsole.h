#pragma once

#include <QJsonObject>

#include <chrono>
#include <cstdint>
#include <map>
#include <string>

struct ItemOutcome;
struct ItemProgress;
struct RunSummary;

// What calvera-batch shows while it converts. On a terminal, one live line
// for the first running item (index, name, a bar, speed, the time left for
// the item and the run, and how many others run with it), redrawn in place; on anything else, plain lines. After
// every item its outcome line, with the reason and the log of a failure
// under it; at the end a summary. In JSON mode standard output carries one
// JSON object per line and nothing else.
class BatchConsole final {
public:
    enum class Mode { plain, terminal, json };

    // With a journal, each item's end says whether it could be recorded.
    BatchConsole(int itemCount, Mode mode, bool journal = false);

    // index: the item's 0-based place in the whole queue.
    void itemStarted(int index, const std::string& source);
    void itemProgress(int index, const ItemProgress& progress, std::int64_t runSecondsLeft);
    void itemFinished(int index, const ItemOutcome& outcome);
    void tick(std::int64_t elapsedSeconds, std::int64_t runSecondsLeft);
    void error(const std::string& message);
    // notRecorded: converted items the journal could not record.
    void finish(const RunSummary& run, int notRecorded = 0);

private:
    void drawStatus();
    void clearStatus();
    void json(const std::string& object);

    struct Running {
        std::string source;
        double fraction = -1;
        double position = 0;
        double speed = 0;
        double itemLeft = -1;
    };

    const int m_itemCount;
    const Mode m_mode;
    const bool m_journal;
    std::map<int, Running> m_running; // by index
    std::int64_t m_elapsed = 0;
    std::int64_t m_runLeft = -1;
    bool m_statusShown = false;
    // When each item last had a progress event, to send at most one a second.
    std::map<int, std::chrono::steady_clock::time_point> m_lastProgress;
};

// One JSON object on one line, without its newline.
std::string jsonLine(const QJsonObject& object);
