#pragma once

#include <sys/types.h>

#include <stdexcept>
#include <string>

class TOutputFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The private file that ffmpeg writes one item's output into: hidden, in the
// output directory, created exclusively and locked for as long as this object
// lives. Only an item that succeeded publishes it, under the first name that is
// free at that moment; anything else removes it. Nothing here ever removes or
// replaces a file by its name alone: a file is removed only while the name
// still leads to the very file this object created.
class TemporaryOutput final {
public:
    // Creates ".calvera-XXXXXX" with the extension of wanted in wanted's
    // directory. Raises TOutputFileError, naming wanted, when the directory
    // cannot take it.
    explicit TemporaryOutput(const std::string& wanted);
    // Removes the temporary unless it was published.
    ~TemporaryOutput();
    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;

    const std::string& path() const { return m_path; }
    // Bytes written into the temporary so far.
    off_t size() const;
    // True while the temporary's name still leads to this object's file.
    bool intact() const;

    // Gives the temporary the name wanted, or when that is taken the next name
    // by the never-overwrite rule, and returns the name it got. Raises
    // TOutputFileError when no name could be taken.
    // When durable, the file's data and its new name are on the disk before this returns.
    std::string publish(const std::string& wanted, bool durable = false);
    // Removes the temporary now, if it is still this object's file.
    void discard();

    // Removes the temporaries that an ended Calvera left in directory: files
    // named like ours, not locked by a live one and untouched for a while.
    // Returns how many went.
    static int removeStale(const std::string& directory);

    static constexpr const char* kPrefix = ".calvera-";

private:
    std::string m_path;
    int m_fd = -1; // holds the lock
    dev_t m_device = 0;
    ino_t m_inode = 0;
    bool m_published = false;
};
