#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

// ffmpeg's whole output of one item in one run, kept in a file of its own so
// that a failure can be looked into afterwards: "<date>_<time>_<input>.log" in
// the logs folder. A log that cannot be made is no error: nothing is kept.
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

    // $XDG_STATE_HOME/calvera/logs/, by default ~/.local/state/calvera/logs/.
    static std::string defaultFolder();
    // Removes the oldest logs until those left take at most keepBytes.
    static void prune(const std::string& folder, std::uintmax_t keepBytes);

    // What one log may hold: a run that prints an error per frame stops being logged here.
    static constexpr std::uintmax_t kMaxBytes = 8u << 20;
    // What all logs together may hold after pruning.
    static constexpr std::uintmax_t kMaxTotalBytes = 64u << 20;

private:
    std::FILE* m_file = nullptr;
    std::string m_path;
    std::uintmax_t m_written = 0;
};
