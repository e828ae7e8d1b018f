#include "FolderSearch.h"

#include "ThreadMailbox.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QThread>

const QStringList& addExtensions()
{
    // The specified ten first, then what today's cameras, phones and downloads
    // bring, and the audio the catalogue's audio formats take.
    static const QStringList extensions = {"mpg", "mpeg", "wmv", "avi", "vob", "mov", "mp2", "mpv", "mp4", "flv", "mkv",
        "webm", "m4v", "ts", "m2ts", "mts", "3gp", "ogv", "mp3", "wav", "flac", "m4a", "ogg", "opus"};
    return extensions;
}

QStringList filesToAdd(const QStringList& dropped, const std::atomic<bool>* cancelled)
{
    QStringList files;
    for (const QString& path : dropped) {
        if (!QFileInfo(path).isDir()) {
            files << path;
            continue;
        }
        QStringList found;
        QDirIterator folder(path, QDir::Files | QDir::Readable, QDirIterator::Subdirectories);
        while (folder.hasNext() && !(cancelled && *cancelled)) {
            const QString file = folder.next();
            if (addExtensions().contains(QFileInfo(file).suffix().toLower()))
                found << file;
        }
        found.sort();
        files << found;
    }
    return files;
}

FolderSearch::FolderSearch() = default;

FolderSearch::~FolderSearch()
{
    cancel();
}

void FolderSearch::search(const QStringList& paths, std::function<void(const QStringList& files)> found)
{
    QThread* thread = QThread::create([paths, found = std::move(found), cancelled = m_cancelled] {
        QStringList files = filesToAdd(paths, cancelled.get());
        ThreadMailbox::main().post([found, files = std::move(files), cancelled] {
            if (!*cancelled)
                found(files);
        });
    });
    // Searches that are through are let go as new ones start.
    std::erase_if(m_threads, [](const std::unique_ptr<QThread>& done) { return done->isFinished(); });
    m_threads.emplace_back(thread);
    thread->start();
}

void FolderSearch::cancel()
{
    *m_cancelled = true;
    for (const std::unique_ptr<QThread>& thread : m_threads)
        thread->wait();
    m_threads.clear();
    // Later drops are searched again.
    m_cancelled = std::make_shared<std::atomic<bool>>(false);
}
