#pragma once

#include <sys/types.h>

#include "Wording.h"

#include <functional>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>

class TOutputFileError : public WordedError {
public:
    using WordedError::WordedError;
};

// Which file a name led to at one moment.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The private place where ffmpeg writes one item's output: a hidden folder
// made with mkdtemp in the output directory, marked as Calvera's by a lock
// file inside it that is held open and locked for as long as this object
// lives (NFS cannot lock a folder). ffmpeg creates the file in there itself,
// so it is never told to overwrite anything. Only an item that succeeded
// publishes the file, under the first name that is free at that moment;
// anything else removes the folder with what ffmpeg wrote into it. Nothing
// here ever removes a file by a name alone: only what is inside the folder
// this object made, while the folder's name still leads to it.
class TemporaryOutput final {
public:
    // Makes ".calvera-XXXXXX/" in wanted's directory. Raises
    // TOutputFileError, naming wanted, when the directory cannot take it.
    explicit TemporaryOutput(const std::string& wanted);
    // Removes the folder and what it holds unless the file was published.
    ~TemporaryOutput();
    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;

    // The file ffmpeg is to create: "output" with wanted's extension, in the folder.
    const std::string& path() const { return m_path; }
    const std::string& folder() const { return m_folder; }
    // Bytes ffmpeg has written so far; 0 before it made the file.
    off_t size() const;
    // The file ffmpeg made, when it is a regular file in the folder.
    std::optional<FileIdentity> identity() const;
    // False once the private folder is gone (its output folder removed, say).
    bool folderIntact() const;

    // Puts the file's data on the disk. Raises TOutputFileError, naming
    // wanted and the system's reason, when the disk refuses.
    void sync(const std::string& wanted) const;
    // Gives the file the name wanted, or when that is taken the next name by
    // the never-overwrite rule, and returns the name it got. Raises
    // TOutputFileError when no name could be taken. When durable, the new
    // name is on the disk (its folder synced) before this returns; when that
    // fails, the file is taken back from the name and TOutputFileError says why.
    std::string publish(const std::string& wanted, bool durable = false);
    // Removes the folder with what it holds now, if it is still this object's.
    void discard();
    // Removes one file ffmpeg wrote in the folder ("output…", a name without
    // a folder), to write it again or because it was only a step on the way.
    void remove(const std::string& name);

    // Removes what an ended Calvera left in directory: its private folders
    // (".calvera-" and six characters, 0700, holding an unlocked, empty 0600
    // lock file and nothing but "output.*" files) and the single-file
    // temporaries of earlier versions (".calvera-", six characters and one
    // of extensions, 0600, unlocked), when they belong to this user and were
    // untouched for a minute. Anything else of such a name is left alone.
    // Returns how many went.
    static int removeStale(const std::string& directory, const std::set<std::string>& extensions);

    // Syncs one descriptor: sync()'s file, then publish()'s folder. ::fsync; a test may put a
    // stand-in here (before the first use, restored after) to see the calls or fail them (-1, errno).
    static std::function<int(int fd)> syncDescriptor;

    static constexpr const char* kPrefix = ".calvera-";
    // The lock file that marks a private folder as Calvera's.
    static constexpr const char* kMarker = ".lock";

private:
    // Moves the file just published under that name back into the folder,
    // if the name still leads to it.
    void takeBack(int folder, const std::string& published, const FileIdentity& file);

    std::string m_folder; // with a trailing "/"
    std::string m_path;
    int m_markerFd = -1; // holds the lock
    FileIdentity m_folderIdentity;
    bool m_published = false;
};
