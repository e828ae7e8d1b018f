#include "QueueKeeper.h"

#include "ProgramDir.h"

#include "JobListModel.h"
#include "SimpleXML.h"
#include "UserFiles.h"
#include "saveManager.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// Writes the latest text it was given, one file at a time, off the window's thread.
class QueueKeeper::Writer final {
public:
    explicit Writer(QString path)
        : m_path(std::move(path))
        , m_thread([this] { run(); })
    { }

    ~Writer()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }

    // Replaces what waits to be written, if anything still does.
    void post(QByteArray bytes)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_pending = std::move(bytes);
        }
        m_wake.notify_all();
    }

    // Returns once what was posted is written.
    void wait()
    {
        std::unique_lock lock(m_mutex);
        m_wake.wait(lock, [this] { return !m_pending && !m_busy; });
    }

    int written() const { return m_written; }

private:
    void run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_pending || m_stop; });
            if (!m_pending)
                return;
            const QByteArray bytes = std::move(*m_pending);
            m_pending.reset();
            m_busy = true;
            lock.unlock();
            try {
                writeFileAtomically(m_path, bytes);
                ++m_written;
            } catch (const std::exception& error) {
                // The list is still on screen and the next change tries again.
                qWarning("Calvera: %s",
                    qPrintable(QueueKeeper::tr("the list is not kept: %1").arg(QString::fromStdString(error.what()))));
            }
            lock.lock();
            m_busy = false;
            m_wake.notify_all();
        }
    }

    const QString m_path;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<QByteArray> m_pending;
    bool m_busy = false;
    bool m_stop = false;
    std::atomic<int> m_written = 0;
    std::thread m_thread; // last: it starts once the rest is ready
};

QueueKeeper::QueueKeeper(JobListModel& jobs, TSaveManager& lists, const QString& folder)
    : m_jobs(jobs)
    , m_lists(lists)
    , m_folder(folder.endsWith('/') ? folder : folder + '/')
{
    m_pause.setSingleShot(true);
    m_pause.setInterval(kPauseMs);
    connect(&m_pause, &QTimer::timeout, this, [this] { post(); });
    for (const auto signal : {&JobListModel::rowsInserted, &JobListModel::rowsRemoved})
        connect(&m_jobs, signal, this, [this] { changed(); });
    connect(&m_jobs, &JobListModel::rowsMoved, this, [this] { changed(); });
    connect(&m_jobs, &JobListModel::modelReset, this, [this] { changed(); });
    connect(&m_jobs, &JobListModel::dataChanged, this, [this] { changed(); });
}

QueueKeeper::~QueueKeeper()
{
    finish();
    m_writer.reset();
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

int QueueKeeper::writes() const
{
    return m_writer ? m_writer->written() : 0;
}

QString QueueKeeper::start(bool restore)
{
    QDir().mkpath(m_folder);
    if (!takeLock()) {
        return restore ? tr("Another Calvera window is open, and it keeps the list for the next start. This window "
                            "starts with an empty list, and its list is not kept.")
                       : QString();
    }
    m_writer = std::make_unique<Writer>(queuePath());
    const QString told = restore ? this->restore() : QString();
    // What is in the list now is what the file holds.
    m_lastPosted = QByteArray::fromStdString(m_lists.QueueText());
    m_keeping = restore;
    return told;
}

bool QueueKeeper::takeLock()
{
    const QByteArray path = QFile::encodeName(lockPath());
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    struct stat info { };
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        qWarning("Calvera: %s",
            qPrintable(tr("the list is not kept: %1 cannot be used as a lock").arg(QFile::decodeName(path))));
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_lockFd = fd;
    return true;
}

QString QueueKeeper::restore()
{
    const std::string path = queuePath().toStdString();
    switch (checkUserFile(path)) {
    case UserFileKind::Missing: return {};
    case UserFileKind::Refused:
        // Not Calvera's to replace: the list is not kept.
        m_writer.reset();
        return tr("The list cannot be kept for the next start: %1 is not a regular file. This window starts with an "
                  "empty list, and its list is not kept.")
            .arg(queuePath());
    case UserFileKind::Regular: break;
    }
    const std::optional<std::string> text = readUserFile(path, static_cast<std::size_t>(TJclSimpleXML::kMaxFileBytes));
    if (!text)
        return setAside(tr("it is larger than Calvera ever writes it, or it cannot be read"));
    try {
        m_lists.RestoreQueue(*text, queuePath().toStdString());
    } catch (const std::exception& error) {
        return setAside(QString::fromStdString(error.what()));
    }
    return {};
}

QString QueueKeeper::setAside(const QString& why)
{
    const QString stamp = QDateTime::currentDateTime().toString("yyyy-MM-ddTHH-mm-ss");
    QString aside = queuePath() + ".damaged-" + stamp;
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = queuePath() + ".damaged-" + stamp + "-" + QString::number(n);
    if (::rename(QFile::encodeName(queuePath()).constData(), QFile::encodeName(aside).constData()) != 0) {
        // Never written over: this window does not keep its list then.
        m_writer.reset();
        return tr("The list kept from the last time cannot be read (%1), nor set aside: %2. This window starts with an "
                  "empty list, and its list is not kept.")
            .arg(why, QString::fromLocal8Bit(std::strerror(errno)));
    }
    return tr(
        "The list kept from the last time cannot be read (%1). It was set aside as %2, and Calvera starts with an "
        "empty list.")
        .arg(why, aside);
}

void QueueKeeper::setKeeping(bool keep)
{
    if (!m_writer || keep == m_keeping)
        return;
    m_keeping = keep;
    if (keep) {
        m_lastPosted.clear();
        post();
        return;
    }
    m_pause.stop();
    m_writer->wait();
    QFile::remove(queuePath());
}

void QueueKeeper::changed()
{
    if (m_keeping && !m_pause.isActive())
        m_pause.start();
}

void QueueKeeper::post()
{
    if (!m_keeping || !m_writer)
        return;
    QByteArray text = QByteArray::fromStdString(m_lists.QueueText());
    if (text == m_lastPosted)
        return;
    m_lastPosted = text;
    m_writer->post(std::move(text));
}

void QueueKeeper::flush()
{
    m_pause.stop();
    post();
    if (m_writer)
        m_writer->wait();
}

void QueueKeeper::finish()
{
    flush();
    m_keeping = false;
}
