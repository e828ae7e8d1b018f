#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

// A record of the items a run ended, kept in a file so that a later run over
// the same queue can pass over what was converted, or convert only what was
// not. One line per ended item, appended and put on the disk as the item
// ends; each line carries a checksum, so a line cut short by a crash or
// written over by anything else is passed over rather than believed.
class RunJournal final {
public:
    enum class Outcome { converted, failed, stopped };

    // What identifies an item across runs of the same queue.
    struct Key {
        int position = 0; // in the queue, from 0
        int format = 0;
        std::string input;
        std::string outputDir; // as the item gives it; empty for the default folder
    };

    // Opens the journal, creating it when missing, and reads what it holds.
    // Raises std::runtime_error when it cannot be read or written.
    explicit RunJournal(const std::string& path);
    ~RunJournal();
    RunJournal(const RunJournal&) = delete;
    RunJournal& operator=(const RunJournal&) = delete;

    // How the item last ended according to the journal, if it ever did.
    std::optional<Outcome> lastOutcome(const Key& key) const;
    // Appends the item's line and returns once it is on the disk. Raises
    // std::runtime_error when it could not be written whole.
    void record(const Key& key, Outcome outcome, const std::string& output);

    // Lines passed over when reading: cut short, or not the journal's own.
    int damagedLines() const { return m_damaged; }
    const std::string& path() const { return m_path; }

    // One journal line, with its newline; the same line read back.
    static std::string lineFor(const Key& key, Outcome outcome, const std::string& output, const std::string& time);
    static std::optional<std::pair<Key, Outcome>> parseLine(const std::string& line);

private:
    static std::string identity(const Key& key);

    std::string m_path;
    int m_fd = -1;
    int m_damaged = 0;
    std::map<std::string, Outcome> m_last;
};
