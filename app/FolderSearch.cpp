#include "FolderSearch.h"

#include "ThreadMailbox.h"

#include "TreeWalk.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>

const QStringList& addExtensions()
{
    static const QStringList extensions = [] {
        QStringList list;
        for (const std::string& extension : videoExtensions())
            list << QString::fromStdString(extension);
        return list;
    }();
    return extensions;
}

FilesToAdd filesToAdd(const QStringList& dropped, const QString& passedOver, const std::atomic<bool>* cancelled)
{
    FilesToAdd found;
    TreeWalk::Rules rules;
    if (!passedOver.isEmpty())
        rules.passedOver.push_back(QFile::encodeName(passedOver).toStdString());
    for (const QString& path : dropped) {
        if (!QFileInfo(path).isDir()) {
            found.files << path;
            found.subfolders << QString();
            continue;
        }
        TreeWalk::Found tree;
        try {
            tree = TreeWalk::files(QFile::encodeName(path).toStdString(), rules, cancelled);
        } catch (const std::exception&) {
            continue;
        }
        for (const TreeWalk::File& file : tree.files) {
            found.files << QFile::decodeName(QByteArray::fromStdString(file.path));
            found.subfolders << QFile::decodeName(QByteArray::fromStdString(file.subfolder));
        }
    }
    return found;
}

FolderSearch::FolderSearch() = default;

FolderSearch::~FolderSearch()
{
    cancel();
}

void FolderSearch::search(
    const QStringList& paths, const QString& passedOver, std::function<void(const FilesToAdd& found)> found)
{
    QThread* thread = QThread::create([paths, passedOver, found = std::move(found), cancelled = m_cancelled] {
        FilesToAdd files = filesToAdd(paths, passedOver, cancelled.get());
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
