#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class JobListModel;
class TSaveManager;

// Keeps the job list in queue.qfl in Calvera's state folder
// ($XDG_STATE_HOME/calvera/), so that the next start finds it, each item with
// its last outcome (TSaveManager::QueueText). While it lives it holds an
// exclusive lock on window.lock beside it: a second window finds the lock
// taken, starts empty and never writes the file. A change is written a
// moment after it happens, a burst of them as one write, by a thread of its
// own, since every write is synced to the disk before it replaces the old
// file. A file that cannot be read is set aside under a dated name, never
// removed; one that is no regular file (a FIFO) is passed over unread.
class QueueKeeper final : public QObject {
    Q_OBJECT

public:
    QueueKeeper(JobListModel& jobs, TSaveManager& lists, const QString& folder);
    // Writes the list as it is (finish) and lets the lock go.
    ~QueueKeeper() override;
    QueueKeeper(const QueueKeeper&) = delete;
    QueueKeeper& operator=(const QueueKeeper&) = delete;

    // Takes the lock and, with restore, appends the kept list to the job list;
    // from then on changes are written. What the user should be told (a
    // second window, a file set aside), or nothing.
    QString start(bool restore);
    // Writes the list from now on (at once), or no more, removing the file:
    // the Option page's "Start with an empty list".
    void setKeeping(bool keep);
    // Writes the list as it is now and returns once it is on the disk.
    void flush();
    // The same, and nothing is written after it: Calvera is quitting, and a
    // run that ends as it quits leaves its items as they were at that moment.
    void finish();

    // Holds the lock: the one window that keeps the list.
    bool holdsLock() const { return m_lockFd >= 0; }
    bool keeping() const { return m_keeping; }
    // Files written so far.
    int writes() const;
    QString queuePath() const { return m_folder + "queue.qfl"; }
    QString lockPath() const { return m_folder + "window.lock"; }

    // A burst of changes within this is written once.
    static constexpr int kPauseMs = 300;

private:
    class Writer;
    bool takeLock();
    QString restore();
    QString setAside(const QString& why);
    void changed();
    void post();

    JobListModel& m_jobs;
    TSaveManager& m_lists;
    const QString m_folder;
    int m_lockFd = -1;
    bool m_keeping = false;
    QByteArray m_lastPosted;
    QTimer m_pause;
    std::unique_ptr<Writer> m_writer;
};
