// The window's thread while the Add Files dialog opens, with an ffmpeg that
// never answers the questions for its encoders and muxers: the longest time
// the event loop did not run (target: at most 50 ms), against the time the
// question itself takes (the probe's deadline), which the window used to wait.
// Then, while a dropped tree of many files (empty stand-ins; 100,000 unless
// the first argument says otherwise) is searched: the longest stall until
// the Add Files dialog comes with what was found (target: at most 100 ms),
// and the one that shows the dialog with every file listed.

#include "FfmpegAbilities.h"
#include "Fonts.h"
#include "SystemDialogs.h"
#include "command.h"
#include "mainForm.h"
#include "uihook.h"

#include <QApplication>
#include <QDialog>
#include <QListWidget>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The file chooser picks one file; nothing else is asked.
class OneFile final : public SystemDialogs {
public:
    explicit OneFile(QString file)
        : m_file(std::move(file))
    { }
    QString getOpenFileName(QWidget*, const QString&, const QString&) override { return {}; }
    QStringList getOpenFileNames(QWidget*, const QString&, const QString&) override { return {m_file}; }
    QString getSaveFileName(QWidget*, const QString&, const QString&) override { return {}; }
    QString getExistingDirectory(QWidget*, const QString&, const QString&) override { return {}; }
    bool openUrl(const QString&) override { return false; }

private:
    QString m_file;
};

} // namespace

int main(int argc, char* argv[])
{
    QTemporaryDir dir;
    // The window finds this ffmpeg on PATH: it answers no question about itself.
    QFile silent(dir.filePath("ffmpeg"));
    silent.open(QIODevice::WriteOnly);
    silent.write("#!/bin/sh\ncase \"$1\" in -hide_banner) exec sleep 60;; esac\nexit 1\n");
    silent.close();
    silent.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    qputenv("PATH", dir.path().toUtf8() + ":" + qgetenv("PATH"));
    for (const char* variable : {"XDG_STATE_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME"})
        qputenv(variable, dir.path().toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    installFontFallbacks();
    OneFile chooser(dir.filePath("clip.avi"));
    SystemDialogs::replace(&chooser);
    TmainDlg window;
    window.show();
    QApplication::processEvents();

    // The longest gap between the ticks of a 1 ms timer while the dialog opens and closes.
    QElapsedTimer sinceTick;
    qint64 longest = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] { longest = std::max(longest, sinceTick.restart()); });
    QTimer closer;
    bool shown = false;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            shown = true;
            dialog->close();
        }
    });
    QElapsedTimer opening;
    QTimer::singleShot(0, [&] {
        sinceTick.start();
        heartbeat.start(1);
        closer.start(20);
        opening.start();
        window.controller()->btnAddClick(nullptr);
        heartbeat.stop();
        closer.stop();
        QApplication::quit();
    });
    QApplication::exec();
    const double openMs = opening.nsecsElapsed() / 1e6;

    QElapsedTimer asking;
    asking.start();
    FfmpegProbe::of("ffmpeg")->wait();
    const double probeMs = asking.nsecsElapsed() / 1e6;
    std::printf("Add Files dialog with an ffmpeg that does not answer: %s, open for %.0f ms; the window's longest "
                "stall %lld ms (target <= 50), against %.0f ms for the question the window no longer waits for\n",
        shown ? "shown" : "NOT SHOWN", openMs, static_cast<long long>(longest), probeMs);

    // A tree of seasons, each of a thousand videos, and a note beside one in ten of them.
    const int files = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;
    const QByteArray tree = dir.filePath("tree").toUtf8();
    ::mkdir(tree.constData(), 0755);
    for (int i = 0; i < files; ++i) {
        const QByteArray folder = tree + "/Season " + QByteArray::number(i / 1000);
        if (i % 1000 == 0)
            ::mkdir(folder.constData(), 0755);
        const QByteArray name = folder + "/E" + QByteArray::number(i % 1000);
        ::close(::open(name + ".mkv", O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
        if (i % 10 == 0)
            ::close(::open(name + ".txt", O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    }
    qint64 searchLongest = 0;
    qint64 showLongest = 0;
    int listed = 0;
    bool searched = false;
    QElapsedTimer searching;
    double searchMs = 0;
    QTimer watcher;
    heartbeat.disconnect();
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const qint64 gap = sinceTick.restart();
        // The gap that ends with the dialog up holds the hand-over (the found files
        // listed in the dialog), not the search.
        if (QApplication::activeModalWidget() || searched)
            showLongest = std::max(showLongest, gap);
        else
            searchLongest = std::max(searchLongest, gap);
    });
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (searched)
            return;
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            searched = true;
            searchMs = searching.nsecsElapsed() / 1e6;
            listed = dialog->findChild<QListWidget*>() ? dialog->findChild<QListWidget*>()->count() : -1;
            dialog->reject();
            QTimer::singleShot(50, [] { QApplication::quit(); });
        }
    });
    QTimer::singleShot(0, [&] {
        sinceTick.start();
        heartbeat.start(1);
        watcher.start(1);
        searching.start();
        window.controller()->openFiles({QString::fromUtf8(tree)});
    });
    QApplication::exec();
    heartbeat.stop();
    watcher.stop();
    std::printf("a dropped tree of %d videos (and %d other files): searched in %.0f ms, the window's longest stall "
                "meanwhile %lld ms (target <= 100); the Add Files dialog listing all %d shown after a stall of %lld "
                "ms\n",
        files, (files + 9) / 10, searchMs, static_cast<long long>(searchLongest), listed,
        static_cast<long long>(showLongest));

    SystemDialogs::replace(nullptr);
    return shown && searched && searchLongest <= 100 ? 0 : 1;
}
