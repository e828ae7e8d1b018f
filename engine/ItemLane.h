#pragma once

#include "DosCommand.h"
#include "FfmpegAbilities.h"
#include "ItemData.h"
#include "ItemLog.h"
#include "OutputCheck.h"
#include "ProgressReader.h"
#include "TemporaryOutput.h"
#include "Wording.h"

#include <QObject>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class DiskWorker;
class TCommandManager;

// How one item ended.
struct ItemOutcome {
    bool converted = false;
    bool stopped = false; // ended by Stop, not by a failure of its own
    std::uint32_t exitCode = 0; // ffmpeg's, 259 when stopped
    bool ffmpegRan = false; // false: it ended before ffmpeg was started, and exitCode means nothing
    std::string source;
    // The published file when converted, else the name it would have had.
    std::string output;
    // Why it was not converted: in English (for JSON) and in the user's language.
    std::string reason;
    std::string reasonShown;
    std::string log; // ffmpeg's whole output, where it was kept; empty when it was not
    bool recorded = true; // false when the run's record of it (a journal) could not be written

    // How its output was checked before it was published.
    enum class Check { none, duration, decode };
    Check checked = Check::none;
    // Converted without a check of its length: why, in English and in the user's language.
    std::string uncheckedWhy;
    std::string uncheckedWhyShown;
    double inputSeconds = -1; // what the output should hold, when known
    double outputSeconds = -1; // what ffmpeg says it wrote, when it said
    int decodeErrors = 0; // lines where ffmpeg reported damaged input

    // Both forms of each, from one Wording.
    void setReason(const Wording& why)
    {
        reason = why.english;
        reasonShown = why.shown;
    }
    void setUncheckedWhy(const Wording& why)
    {
        uncheckedWhy = why.english;
        uncheckedWhyShown = why.shown;
    }
};

// How much an item's output is checked before it is published: not at all,
// its length against the input's (what ffmpeg printed anyway), or also by
// decoding it whole with the same ffmpeg.
enum class Verification { none, duration, decode };

// Keeps a record of what becomes of each item, told on the disk worker in
// the order things happen, so that a record can go to the disk without any
// lane waiting for it. item identifies the item, as its job named it.
class ItemRecorder {
public:
    virtual ~ItemRecorder() = default;
    // A converted item's file, on the disk, is about to be published as
    // wanted (or, when that is taken by then, under the next free name).
    virtual void publishing(const void* item, const FileIdentity& file, const std::string& wanted) = 0;
    // The item has ended; false when that could not be recorded.
    virtual bool ended(const void* item, const ItemOutcome& outcome) = 0;
};

// What a lane needs to convert one item.
struct ItemJob {
    const void* item = nullptr; // the item, for the recorder
    Wording failure; // when set, the item fails at once with this reason
    const TCommandManager* catalogue = nullptr;
    int formatIndex = 0;
    std::shared_ptr<FfmpegProbe> probe; // the abilities of ffmpeg, asked in the background
    std::string ffmpeg;
    std::string source;
    std::string outputPath; // the name wanted; the next free one is taken at publishing
    std::string commandLine; // as shown to the user
    std::vector<std::string> inputParams; // before -i
    std::vector<std::string> params;
    std::string logFolder; // empty: no log
    bool durable = false; // the file and its name are on the disk before the item ends
    ItemRecorder* recorder = nullptr;
    Verification verification = Verification::duration;
};

// What one lane holds open while its item converts: ffmpeg's output pipe, a
// handle on its process, the reader's wake-up, the log and the lock of the
// private folder.
inline constexpr int kDescriptorsPerLane = 5;

// ffmpeg's argument vector for one item: never overwriting, every name a
// local file. output is where ffmpeg is to create the file.
std::vector<std::string> ffmpegArguments(const ItemJob& job, const std::string& output);

// One lane of a run: converts one item at a time, from its start to its end,
// through explicit states, and tells its end in one way only, always from
// the event loop (never from inside a call to it), whatever ended the item:
// ffmpeg's exit, Stop, or a failure before ffmpeg ran.
//
//   queued -> starting -> running <-> paused -> (checking <-> paused) -> publishing -> ended
//
// starting waits for the ffmpeg's abilities (asked in the background) and
// for nothing else; checking decodes the output whole when asked to;
// publishing puts the output on the disk and gives it its name (on the disk
// worker when that waits for the disk). A lane is used for item after item.
class ItemLane final : public QObject {
    Q_OBJECT

public:
    enum class State { queued, starting, running, paused, checking, publishing, ended };

    ItemLane(DiskWorker& worker, QObject* parent = nullptr);
    ~ItemLane() override;

    // Takes the next item; it starts with start(). Only when ended.
    void assign(ItemJob job);
    void start();
    // Ends the item as stopped, unless it is being published already.
    void stop();
    // Holds ffmpeg (SIGSTOP to its process group) and resume lets it go on
    // (SIGCONT); a lane paused before ffmpeg runs starts it only on resume.
    void pause();
    void resume();

    State state() const { return m_state; }
    const void* item() const { return m_job.item; }
    // The runner of the item's ffmpeg, for the events that name one.
    TDosCommand& runner() { return m_runner; }

signals:
    // When ffmpeg says how far it has come.
    void progressed(const ItemProgress& progress);
    // Each whole line ffmpeg writes, as it wrote it.
    void outputLine(const std::string& line);
    void ended(const ItemOutcome& outcome);

private:
    // What the lane knows of the item it converts; a fresh one for each item.
    struct ItemRun {
        std::unique_ptr<TemporaryOutput> temporary;
        std::unique_ptr<ItemLog> log;
        ProgressReader progress;
        std::string lastLine; // ffmpeg's last non-empty line
        std::string writeError; // a line where ffmpeg says it could not write, which it may still end with 0
        // ffmpeg's file arguments, and the user's names for them.
        std::vector<std::pair<std::string, std::string>> shownNames;
        std::optional<OutputCheck> check;
        ItemOutcome outcome; // what is known of its end while its output is decoded
        std::string checkError; // the decoding check's first error
        bool stopRequested = false;
        bool pauseRequested = false;
        State pausedFrom = State::running;
    };

    void abilitiesKnown(const FfmpegProbe::Answer& answer);
    void launch();
    void lineHandler(const std::string& line, TOutputType type);
    void ffmpegEnded(std::uint32_t exitCode);
    // Decodes the output whole with the same ffmpeg; its end comes through ffmpegEnded.
    void startChecking();
    void checkEnded(std::uint32_t exitCode);
    // The line with the names ffmpeg was given turned into the user's names for them.
    std::string shown(const std::string& line) const;
    // Why the item failed, from what ffmpeg said and how it ended.
    Wording failureText(std::uint32_t exitCode) const;
    // The item's outcome before anything is known of it: not converted, under its planned name.
    ItemOutcome outcomeSoFar() const;
    ItemOutcome stoppedOutcome() const;
    // The one way an item ends: it is recorded (and, converted, published) on
    // the disk worker, and ended() follows from the event loop.
    void finish(ItemOutcome outcome);

    DiskWorker& m_worker;
    State m_state = State::ended;
    ItemJob m_job;
    ItemRun m_run;
    // Counts the items taken, so that news of an earlier item never reaches a later one.
    std::uint64_t m_generation = 0;
    // Declared after the item's temporary output, so that ffmpeg is ended
    // before anything it writes is removed.
    TDosCommand m_runner;
};
