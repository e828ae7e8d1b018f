#pragma once

#include "Wording.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

// What an installed ffmpeg can write, as it lists it with -encoders and
// -muxers. A kind it did not answer for (no answer in time, no list in the
// answer) is unknown, and an unknown kind rules nothing out.
struct FfmpegAbilities {
    std::set<std::string> encoders;
    std::set<std::string> muxers;

    // Empty when the ffmpeg can write what these output parameters ask for
    // (their -c/-codec/-vcodec/-acodec/-scodec encoders and -f muxer), else why not.
    Wording cannotWrite(const std::string& params) const;
    // The same in English alone.
    std::string whyCannotWrite(const std::string& params) const;

    // The names in ffmpeg's "-encoders" or "-muxers" answer: the second word of
    // each line after the line of dashes. Empty when there is no such list.
    static std::set<std::string> parseList(const std::string& answer);
};

// Asks one ffmpeg (a path, or a name looked up on PATH, as it is now: its
// modification time and size) for its abilities once, on a thread of its
// own, so that no caller ever waits for a program that may not answer.
// Answers are kept for later runs in $XDG_CACHE_HOME/calvera/: a whole one
// for a day (ffmpeg's libraries can change under an unchanged program), a
// failed or late one for an hour, so that a silent ffmpeg costs its deadline
// once, not at every start.
class FfmpegProbe final {
public:
    using Answer = std::shared_ptr<const FfmpegAbilities>;

    // The probe of that ffmpeg, started when there is none for it as it is now. Thread-safe.
    static std::shared_ptr<FfmpegProbe> of(const std::string& ffmpegPath);
    ~FfmpegProbe();
    FfmpegProbe(const FfmpegProbe&) = delete;
    FfmpegProbe& operator=(const FfmpegProbe&) = delete;

    // The answer, or null while ffmpeg is being asked.
    Answer answer() const;
    // Waits for the answer: at most the deadline and a moment.
    Answer wait() const;
    // Runs done with the answer on the application's main thread, queued
    // even when the answer is known already, so it never runs inside the caller.
    void whenAnswered(std::function<void(const Answer&)> done);

    // How long ffmpeg has for each question (2 s); tests shorten it.
    static void setDeadline(std::chrono::milliseconds deadline);
    static std::chrono::milliseconds deadline();

private:
    explicit FfmpegProbe(std::string program);
    void ask(const std::string& cacheStamp);
    void deliver(const std::function<void(const Answer&)>& done) const;

    const std::string m_program;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_answered;
    Answer m_answer; // under m_mutex
    std::vector<std::function<void(const Answer&)>> m_waiting; // under m_mutex
    int m_cancelFd = -1; // ends the asking when the probe goes
    std::thread m_thread;
};
