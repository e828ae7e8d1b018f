#pragma once

#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class QThread;

// Looks through dropped folders for the files the Add filter lists, each
// drop on a thread of its own (a big folder takes seconds, and the window
// goes on meanwhile), and hands what it found to the main thread. A later
// drop does not cancel an earlier one; cancel() or the search's end does,
// and then no files come in.
class FolderSearch final {
public:
    FolderSearch();
    // Cancels what is still being searched and waits for its threads.
    ~FolderSearch();
    FolderSearch(const FolderSearch&) = delete;
    FolderSearch& operator=(const FolderSearch&) = delete;

    // Searches paths (folders and files alike); found runs on the main
    // thread with the files, unless cancelled by then.
    void search(const QStringList& paths, std::function<void(const QStringList& files)> found);
    void cancel();

private:
    std::vector<std::unique_ptr<QThread>> m_threads;
    std::shared_ptr<std::atomic<bool>> m_cancelled = std::make_shared<std::atomic<bool>>(false);
};

// The extensions the Add filter lists, without the dot, in lower case.
const QStringList& addExtensions();

// Dropped paths as files to add: a folder gives the files in it (and below)
// that the Add filter lists, sorted; anything else stays as it is. The
// search ends early once cancelled is set.
QStringList filesToAdd(const QStringList& dropped, const std::atomic<bool>* cancelled = nullptr);
