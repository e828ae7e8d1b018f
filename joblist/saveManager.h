#pragma once

#include "SimpleXML.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

class JobListModel;

// A list file that cannot be read as a job list (a "format" that is not a
// number, an item without one of its elements).
class EListFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Saves the job list to a list file (.qfl) and appends the items of a list
// file to it. One document serves both, so an export after an import keeps
// that file's declaration and root name.
class TSaveManager final {
public:
    explicit TSaveManager(JobListModel& model);

    // Appends the file's items after the existing ones. A missing file does
    // nothing; a malformed one raises the reader's error before anything is
    // added. Comments, text between items and elements of an item it does
    // not know are passed over; an item's <size> (its size limit in bytes,
    // after <path>, written only when it has one) is read with
    // sizeLimitValue. An item whose
    // format is not a number, or that lacks filename, format or path, stops
    // the import with an error naming it, and the items before it stay. An
    // item's optional <subfolder> (its folder below the tree it was queued
    // from) is taken as written; Export writes it after <path> when set.
    void ImportFromFile(const std::string& path);
    // Writes the whole job list. The old file is replaced only once the new
    // one is complete, so a failed export leaves it as it was.
    void ExportToFile(const std::string& path);

    // The job list as the window keeps it for its next start: the list file
    // layout (a fresh declaration and a <list> root, whatever was imported),
    // each <item> with a <state> after its <path> (or <subfolder>): "done", "failed",
    // "stopped", or "queued" (also for an item converting now, which starts
    // again next time), and a failed one's <reason> after it. Import passes
    // both over and Export never writes them.
    std::string QueueText() const;
    // Appends the items of such a text (path names it in errors; relative
    // names are taken from its folder), each in the state its <state> says
    // (queued without one). Raises EListFileError for a root that is not
    // <list> or an item the import would refuse, the reader's error for text
    // that is no XML; nothing is added then.
    void RestoreQueue(const std::string& text, const std::string& path);

private:
    JobListModel& m_model;
    TJclSimpleXML m_document;
};

// The integer in text, as the list file stores a format index: blanks
// around it and one sign are allowed. Nothing when it is no int.
std::optional<int> parseInteger(std::string_view text);
// The same, raising "'%s' is not a valid integer value" when it is none.
int listFileInteger(const std::string& text);

// A size limit as a list file stores it: decimal bytes, blanks around them
// allowed. 0 (no limit) for anything else: a sign, a negative or fractional
// number, other characters, or more than a signed 64-bit count holds.
std::int64_t sizeLimitValue(std::string_view text);

// True when text is whole UTF-8, the only encoding a name is kept in.
bool isUtf8(const std::string& text);
