#pragma once

#include "TemporaryOutput.h"

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>

// A journal that cannot be used: missing rights, another run holds it, or a
// file that is not a journal. Nothing was written to it.
class JournalError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A record of the items a run ended, kept in a file so that a later run over
// the same queue can pass over what was converted, or convert only what was
// not. One line per ended item, appended and put on the disk as the item
// ends; each line carries a checksum, so a line cut short by a crash or
// written over by anything else is passed over rather than believed. A run
// holds its journal locked from its start to its end: a second run given the
// same journal is refused instead of converting everything again.
//
// Before a converted item's file takes its name, a "publishing" line says
// which file is to have which name, so that a run resumed after a crash at
// that moment finds the file under its name and counts it as converted
// instead of converting it again into a second copy.
class RunJournal final {
public:
    // skipped: not converted, and needing no converting (its output was there, or its input in its form).
    enum class Outcome { converted, failed, stopped, skipped };

    // What identifies an item across runs of the same queue: its input,
    // format and output folder, and which of the items equal in these it is
    // (from 0, in queue order), so that inserting or moving items changes
    // nothing. The position is read only from journals of the layout before
    // this one, whose lines named items by it.
    //
    // A file that appeared in a watched folder is known also by its size and
    // modification time then: written anew it is a new item, unchanged it is
    // the item converted before, whatever its occurrence.
    struct Key {
        int position = 0; // in the queue, from 0
        int occurrence = 0;
        int format = 0;
        std::string input;
        std::string outputDir; // as the item gives it; empty for the default folder
        std::int64_t size = -1; // -1: not known by its contents
        std::int64_t modifiedNs = 0; // since the epoch
    };

    // How many items the journal knows, by how they last ended.
    struct Tally {
        int converted = 0;
        int failed = 0;
        int stopped = 0;
        int skipped = 0;
        int unfinished = 0; // started, and never ended
        int total() const { return converted + failed + stopped + skipped + unfinished; }
    };

    // Opens the journal and locks it for this object's life, creating it
    // (with its header) when missing or empty, and reads what it holds, in
    // time linear in its size. A file without a header of this layout or
    // the one before is taken only when it holds whole lines of the first
    // layout and nothing else. Raises JournalError when it cannot be used,
    // and leaves the file as it was then.
    explicit RunJournal(const std::string& path);
    ~RunJournal();
    RunJournal(const RunJournal&) = delete;
    RunJournal& operator=(const RunJournal&) = delete;

    // How the item last ended according to the journal, if it ever did.
    std::optional<Outcome> lastOutcome(const Key& key) const;
    // True when the item was started and never ended since (a crash, kill -9).
    bool unfinished(const Key& key) const;
    Tally tally() const;
    // Says, on the disk, that the item has started.
    // Raises std::runtime_error when it could not be written whole.
    void recordStarted(const Key& key);
    // Says, on the disk, that file is about to be published as wanted.
    // Raises std::runtime_error when it could not be written whole.
    void recordPublishing(const Key& key, const std::string& wanted, const FileIdentity& file);
    // Appends the item's line and returns once it is on the disk. Raises
    // std::runtime_error when it could not be written whole.
    // file: the published output's identity, for a converted item.
    void record(const Key& key, Outcome outcome, const std::string& output,
        const std::optional<FileIdentity>& file = std::nullopt);

    // Lines passed over when reading: cut short, or not the journal's own.
    int damagedLines() const { return m_damaged; }
    // Items whose publishing a crash cut short, found under their names when opening.
    int foundPublished() const { return m_foundPublished; }
    const std::string& path() const { return m_path; }

    // One line read back: an item's outcome, or the publishing of its file.
    struct Line {
        Key key;
        std::optional<Outcome> outcome; // none for a publishing or started line
        bool started = false;
        std::string name; // the output, or the name a file is about to have
        std::string time;
        std::optional<FileIdentity> file;
        int layout = 3; // 1: the item is named by its position; 2: without size and time
    };

    // One journal line, with its newline, as this layout writes it.
    static std::string lineFor(const Key& key, Outcome outcome, const std::string& output, const std::string& time,
        const std::optional<FileIdentity>& file = std::nullopt);
    // A line of this layout or of an earlier one; nothing when it is not a whole line of any.
    static std::optional<Line> parseLine(const std::string& line);

    // The first line of every journal.
    static constexpr const char* kHeader = "# Calvera run journal, layout 3";
    // That of the layout before, whose items had no size and time.
    static constexpr const char* kHeaderBefore = "# Calvera run journal, layout 2";
    // Journals grow by a line an item; one this large is not Calvera's.
    static constexpr std::int64_t kMaxBytes = 256ll << 20;

private:
    // What the journal says of one item so far.
    struct Entry {
        std::optional<Outcome> outcome;
        std::int64_t endedAt = 0; // the last outcome's time, in seconds since the epoch
        bool started = false; // after the last outcome
        std::optional<std::pair<std::string, FileIdentity>> publishing; // after the last outcome
    };
    const Entry* find(const Key& key) const;
    void read();
    void resolvePublishing();
    void append(const std::string& line);

    std::string m_path;
    int m_fd = -1;
    int m_damaged = 0;
    int m_foundPublished = 0;
    std::map<std::string, Entry> m_items; // by identity
    std::map<std::string, Outcome> m_byPosition; // lines of the layout before, by position and identity
};
