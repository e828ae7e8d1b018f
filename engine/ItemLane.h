#pragma once

#include "DosCommand.h"
#include "FfmpegAbilities.h"
#include "FitPasses.h"
#include "ItemData.h"
#include "ItemLog.h"
#include "MediaProbe.h"
#include "OutputCheck.h"
#include "SkipCheck.h"
#include "ProgressReader.h"
#include "TemporaryOutput.h"
#include "Wording.h"

#include <QObject>

#include <functional>

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
    // Not converted, and rightly so: its output is there already, or its
    // input is what its entry would make; reason says which.
    bool skipped = false;
    std::int64_t sizeLimit = 0; // the job's, in bytes; 0: none
    std::int64_t size = -1; // the output's bytes, when measured
    int passes = 0; // the encodes ffmpeg ran for it (two passes and any retries)

    // How its output was checked before it was published: its streams measured
    // against the input's, and perhaps also decoded whole.
    enum class Check { none, streams, decode };
    Check checked = Check::none;
    // Converted without a check of its streams: why, in English and in the user's language.
    std::string uncheckedWhy;
    std::string uncheckedWhyShown;
    double inputSeconds = -1; // the longest stream the output should hold, when known
    double outputSeconds = -1; // the longest it holds, when measured
    int decodeErrors = 0; // errors ffmpeg's demuxer and decoders logged: damaged input
    std::vector<OutputCheck::StreamCheck> streams; // each compared stream

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
// its streams measured against the input's, or also by decoding it whole
// with the same ffmpeg.
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
    std::int64_t sizeLimit = 0; // the most bytes its output may take; 0: no limit
    // Before ffmpeg starts, the item is skipped when an output under its own
    // name (plainOutput, never "_2") is there, whole and newer than the
    // input, or when its input is already what the entry makes (SkipCheck).
    bool skipExisting = false;
    bool skipSame = false;
    std::string plainOutput;
    std::string plainOutputShown; // relative to the output folder: "Season 1/E01.mp4"
};

// The ffmpeg a lane runs, as the lane sees it: what it can make, one run at
// a time, its lines and its end, and holding it. The real one runs ffmpeg
// through the console process runner; tests put a stand-in in its place.
class LaneFfmpeg {
public:
    virtual ~LaneFfmpeg() = default;
    // Calls done with what the job's ffmpeg can make, from the event loop,
    // never inside the call.
    virtual void whenAbilitiesKnown(const ItemJob& job, std::function<void(const FfmpegProbe::Answer&)> done) = 0;
    // Runs arguments; every line comes through lineRead, then the end through ended.
    virtual void run(const std::vector<std::string>& arguments, const std::string& commandLine) = 0;
    // Ends the run; its end still comes, with kStillActive.
    virtual void stop() = 0;
    // Holds the running process (and what it started), or lets it go on.
    virtual void hold(bool held) = 0;
    virtual bool running() const = 0;

    // Measuring a file in the background (MediaProbe): held, let go, and
    // ended with no answer when the handle goes.
    class Measure {
    public:
        virtual ~Measure() = default;
        virtual void hold(bool held) = 0;
    };
    // Measures file with the job's ffmpeg (or the ffprobe beside it); done
    // comes from the event loop, unless the handle went first.
    virtual std::unique_ptr<Measure> measure(
        const ItemJob& job, const std::string& file, std::function<void(const MediaContents&)> done)
        = 0;

    // The runner behind it, for the driver's events that name one; null for a stand-in.
    virtual TDosCommand* runner() { return nullptr; }

    std::function<void(const std::string& line)> lineRead;
    std::function<void(std::uint32_t exitCode)> ended;
};

// The real ffmpeg, through a TDosCommand and the job's probe of its abilities.
std::unique_ptr<LaneFfmpeg> makeRealFfmpeg();

// What one lane holds open while its item converts: ffmpeg's output pipe, a
// handle on its process, the reader's wake-up, the log and the lock of the
// private folder.
inline constexpr int kDescriptorsPerLane = 5;

// ffmpeg's name for a local file: with the file protocol, a name is never
// taken for a URL or, with a leading "-", for an option.
std::string localFile(const std::string& path);

// ffmpeg's argument vector for one item: never overwriting, every name a
// local file. output is where ffmpeg is to create the file.
std::vector<std::string> ffmpegArguments(const ItemJob& job, const std::string& output);
// The same with other parameters after -i than the job's (a pass of a
// size-limited item); an empty output when params name their outputs themselves.
std::vector<std::string> ffmpegArguments(
    const ItemJob& job, const std::vector<std::string>& params, const std::string& output);

// One lane of a run: converts one item at a time, from its start to its end,
// and is the one place where an item's state moves on: each change is told
// through stateChanged. Its end is told in one way only, always from the
// event loop (never from inside a call to it), whatever ended the item:
// ffmpeg's exit, Stop, or a failure before ffmpeg ran.
//
//   waiting -> starting -> converting -> (measuring) -> (checking) -> publishing -> done | failed | stopped
//   waiting -> starting -> publishing -> skipped
//
// starting waits for the ffmpeg's abilities (asked in the background) and,
// when the job asks to skip what needs no converting, for the measures that
// tell (the input's, and an existing output's); measuring waits for the input's and the output's streams
// to be measured (the input's is asked while ffmpeg converts) and compares
// them; checking decodes the output whole when asked to;
// publishing puts the output on the disk and gives it its name (on the disk
// worker when that waits for the disk). Starting, converting and checking
// may be paused (and measuring), and resume returns to the state paused from; publishing
// runs on to the end, paused or not. A lane is used for item after item.
class ItemLane final : public QObject {
    Q_OBJECT

public:
    ItemLane(DiskWorker& worker, std::unique_ptr<LaneFfmpeg> ffmpeg = makeRealFfmpeg(), QObject* parent = nullptr);
    ~ItemLane() override;

    // Takes the next item, waiting; it starts with start(). Only when no item works.
    void assign(ItemJob job);
    void start();
    // Ends the item as stopped, unless it is being published already.
    void stop();
    // Holds ffmpeg (SIGSTOP to its process group) and resume lets it go on
    // (SIGCONT); a lane paused before ffmpeg runs starts it only on resume.
    void pause();
    void resume();

    ItemState state() const { return m_state; }
    // Whether an item is assigned and has not ended.
    bool busy() const { return m_job.item && (m_state == ItemState::waiting || isWorking(m_state)); }
    const void* item() const { return m_job.item; }
    // The runner of the item's ffmpeg, for the events that name one; null without one.
    TDosCommand* runner() { return m_ffmpeg->runner(); }

signals:
    // Every change of the item's state, as it happens.
    void stateChanged(ItemState state);
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
        long long decodedFrames = -1; // the decoding check's last frame count
        // What the input and the output hold, measured by children of their own.
        std::unique_ptr<LaneFfmpeg::Measure> inputMeasure;
        std::unique_ptr<LaneFfmpeg::Measure> outputMeasure;
        std::optional<MediaContents> input;
        std::optional<MediaContents> output;
        // An output already under the item's own name, measured to tell whether it is whole.
        std::optional<SkipCheck::Existing> existingFile; // newer than the input and within the limit
        std::unique_ptr<LaneFfmpeg::Measure> existingMeasure;
        std::optional<MediaContents> existing;
        bool weighing = false; // the measures that decide about skipping were asked
        OutputCheck::Verdict verdict;
        bool stopRequested = false;
        bool abilitiesKnown = false; // and usable: ffmpeg may be started
        ItemState pausedFrom = ItemState::converting;
        // A size-limited item's encodes.
        std::optional<FitPasses> fit;
    };

    void setState(ItemState state);
    // Converting, checking, or paused from one of them: whose end ffmpeg's end is.
    bool inState(ItemState state) const;
    void abilitiesKnown(const FfmpegProbe::Answer& answer);
    // Before launch: ends the item as skipped when it needs no converting,
    // once what tells is measured; else launches.
    void weigh();
    // Why the item needs no converting, from what weigh measured; empty when it does.
    Wording skipReason();
    void launch();
    // Runs ffmpeg with params after -i, writing output; what the user is shown names the item's files.
    void runFfmpeg(const std::vector<std::string>& params, const std::string& output, const std::string& note);
    // A size-limited item moves on: plans its encodes once its input is
    // measured and runs the next one, unless held or one runs.
    void fitStep();
    void runEncode();
    // The end of a size-limited item's encode that ffmpeg finished: false
    // when another encode follows, true when the item goes on as any other.
    bool fitEncodeEnded(ItemOutcome& outcome, bool held);
    // ffmpeg's progress, across a size-limited item's encodes.
    ItemProgress progressNow() const;
    void lineHandler(const std::string& line, TOutputType type);
    void ffmpegEnded(std::uint32_t exitCode);
    // Measures a file in the background into the run's input or output.
    std::unique_ptr<LaneFfmpeg::Measure> measure(const std::string& file, std::optional<MediaContents> ItemRun::*into);
    // Measures the output (and the input, unless asked already), held when the run is.
    void startMeasuring(bool held);
    // Compares the output with the input once both are measured.
    void judge();
    void holdMeasures(bool held);
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
    ItemState m_state = ItemState::waiting;
    ItemJob m_job;
    ItemRun m_run;
    // Counts the items taken, so that news of an earlier item never reaches a later one.
    std::uint64_t m_generation = 0;
    // Declared after the item's temporary output, so that ffmpeg is ended
    // before anything it writes is removed.
    std::unique_ptr<LaneFfmpeg> m_ffmpeg;
};
