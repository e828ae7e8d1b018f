#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

// ffmpeg's whole output of one item in one run, kept in a file of its own so
// that a failure can be looked into afterwards: "<date>_<time>_<input>.log" in
// the logs folder, the input's name shortened in the middle where the whole
// name would not fit the file system. A log that cannot be made is no error:
// nothing is kept, and error() says why.
class ItemLog final {
public:
    // Writes the command line first.
    ItemLog(const std::string& folder, const std::string& input, const std::string& commandLine);
    ~ItemLog();
    ItemLog(const ItemLog&) = delete;
    ItemLog& operator=(const ItemLog&) = delete;

    void write(std::string_view line);
    // Empty when no log is kept.
    const std::string& path() const { return m_path; }
    // Why no log is kept, when one was asked for; empty otherwise.
    const std::string& error() const { return m_error; }

    // $XDG_STATE_HOME/calvera/logs/, by default ~/.local/state/calvera/logs/.
    static std::string defaultFolder();
    // Removes the oldest logs until those left take at most keepBytes; only
    // files named as logs are named here are counted or removed.
    static void prune(const std::string& folder, std::uintmax_t keepBytes);
    // True for "<YYYY-MM-DD>_<HH-MM-SS>_<input>.log".
    static bool isLogName(const std::string& name);

    // What one log may hold: a run that prints an error per frame stops being logged here.
    static constexpr std::uintmax_t kMaxBytes = 8u << 20;
    // What all logs together may hold after pruning.
    static constexpr std::uintmax_t kMaxTotalBytes = 64u << 20;

private:
    std::FILE* m_file = nullptr;
    std::string m_path;
    std::string m_error;
    std::uintmax_t m_written = 0;
};
