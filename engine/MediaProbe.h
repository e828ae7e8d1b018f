#pragma once

#include "DosCommand.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// One stream of a media file as measured.
struct MediaStream {
    enum class Kind { video, sound, subtitle, other };
    Kind kind = Kind::other;
    double start = 0; // seconds; 0 when not told
    double seconds = -1; // its length from its start; -1 when not told
    long long frames = -1; // packets counted, for video; -1 when not counted
    double frameRate = 0; // the average, frames a second; 0 when not told
    bool constantRate = false; // its average rate is its base rate
    bool still = false; // an attached picture, not a moving one
    std::string codec; // "h264", "aac"; empty when not told
    std::string codecTag; // "avc1", "hvc1"; empty when not told
    std::string pixelFormat; // video: "yuv420p"; empty when not told
    int sampleRate = 0; // sound: samples a second; 0 when not told
    int channels = 0; // sound; 0 when not told
    long long bitRate = -1; // bits a second, as the file states it; -1 when not told
};

// What a media file holds, as ffprobe (or, without one, ffmpeg) tells it.
struct MediaContents {
    enum class Answer {
        measured, // the file was read and its streams are below (perhaps none)
        unreadable, // the program read it and could not make sense of it
        unknown, // no program answered: none could be started, or none in time
    };
    Answer answer = Answer::unknown;
    std::string format; // the demuxer's name, e.g. "matroska,webm"
    std::string brand; // an MP4 family file's major brand ("isom", "qt  "); empty when not told
    double start = 0;
    double seconds = -1; // the container's claimed length from its start; -1 when not told
    std::vector<MediaStream> streams;

    // The moving streams of one kind, in the file's order.
    std::vector<const MediaStream*> ofKind(MediaStream::Kind kind) const;

    // ffprobe's JSON answer to MediaProbe's question.
    static MediaContents fromProbeJson(const std::string& json);
    // ffmpeg's listing of its input ("Input #0, …", "  Duration: …", "  Stream #0:0: Video: …"):
    // kinds, start and the container's length; no frame counts.
    static MediaContents fromFfmpegListing(const std::vector<std::string>& lines);
};

// Measures one media file with a child process: the ffprobe beside the
// ffmpeg in use (its streams' kinds, starts and lengths, video frames counted
// from packets, never decoded) or, where there is none, ffmpeg's own listing
// of its input. Answers on the main thread, once, unless stopped; the child
// runs with a deadline that a pause holds. ffprobe's answers are kept
// between runs (MeasureCache): a file measured before, unchanged since, is
// answered without a child.
class MediaProbe final : public QObject {
    Q_OBJECT

public:
    using Done = std::function<void(const MediaContents&)>;
    // Starts at once.
    MediaProbe(const std::string& ffmpeg, const std::string& file, Done done, QObject* parent = nullptr);
    ~MediaProbe() override;

    // SIGSTOP and SIGCONT to the child, with its deadline held meanwhile.
    void pause();
    void resume();
    // Ends the child; no answer follows.
    void cancel();
    bool answered() const { return m_answered; }

    // The ffprobe beside ffmpeg (a path: in its folder; a name: on PATH), or empty when there is none.
    static std::string ffprobeBeside(const std::string& ffmpeg);
    // Measures file at once, waiting for the answer in an event loop of its own (calvera-batch -n).
    static MediaContents measureNow(const std::string& ffmpeg, const std::string& file);
    // How long the child may take (10 minutes: counting a long film's packets reads it whole); tests shorten it.
    static void setDeadline(std::chrono::milliseconds deadline);

private:
    void ended(std::uint32_t exitCode);
    void tellKept();

    Done m_done;
    bool m_byFfprobe = false;
    bool m_answered = false;
    bool m_timedOut = false;
    bool m_held = false;
    // The file, and what it and ffprobe were when asked: a measure is kept with them.
    std::string m_file;
    std::optional<std::string> m_fileStamp;
    std::optional<std::string> m_proberStamp;
    // The answer found in the cache, told from the event loop.
    std::optional<MediaContents> m_kept;
    std::vector<std::string> m_lines;
    QTimer m_deadline;
    int m_timeLeftMs = 0; // while paused
    TDosCommand m_runner;
};
