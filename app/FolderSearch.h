#pragma once

#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class QThread;

// The files of a drop, and beside each its folder below the dropped folder it
// was found in (TItemData::Subfolder): empty for a file dropped alone.
struct FilesToAdd {
    QStringList files;
    QStringList subfolders;
};

// Looks through dropped folders for the files a tree walk takes (TreeWalk:
// the Add filter's extensions, hidden names and links out of the folder
// left out, the output folder passed over), each drop on a thread of its
// own (a big folder takes seconds, and the window goes on meanwhile), and
// hands what it found to the main thread. A later drop does not cancel an
// earlier one; cancel() or the search's end does, and then no files come in.
class FolderSearch final {
public:
    FolderSearch();
    // Cancels what is still being searched and waits for its threads.
    ~FolderSearch();
    FolderSearch(const FolderSearch&) = delete;
    FolderSearch& operator=(const FolderSearch&) = delete;

    // Searches paths (folders and files alike), never entering passedOver
    // (the output folder); found runs on the main thread with the files,
    // unless cancelled by then.
    void search(
        const QStringList& paths, const QString& passedOver, std::function<void(const FilesToAdd& found)> found);
    void cancel();

private:
    std::vector<std::unique_ptr<QThread>> m_threads;
    std::shared_ptr<std::atomic<bool>> m_cancelled = std::make_shared<std::atomic<bool>>(false);
};

// The extensions the Add filter lists, without the dot, in lower case.
const QStringList& addExtensions();

// Dropped paths as files to add: a folder gives the files a tree walk takes
// in it and below, sorted by path, each with its folder below the dropped
// one; anything else stays as it is. A folder that cannot be read gives
// nothing. The search ends early once cancelled is set.
FilesToAdd filesToAdd(
    const QStringList& dropped, const QString& passedOver = {}, const std::atomic<bool>* cancelled = nullptr);
