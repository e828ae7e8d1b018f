// The watch folder measured in the process:
//  1. a burst of N small files (default 20,000) written into the watched
//     folder as fast as one thread can: how many are told and how many per
//     second, from the first write to the last told (goal: every one; an
//     overflow of the kernel's queue is made good by looking again);
//  2. the watcher's CPU while nothing happens, over a tree of 10,000 files in
//     100 folders, for S seconds (default 60; goal: under 0.05 % of a core).
// bench_watch [N [S]] shortens either.

#include "FolderWatch.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

void writeFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, "x", 1) != 1) {
        std::perror(path.c_str());
        std::exit(1);
    }
    ::close(fd);
}

double cpuSeconds()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void burst(int files)
{
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/in";
    ::mkdir(folder.c_str(), 0755);
    FolderWatch watch(FolderWatch::Settings {folder, {}, false, 0, {}});
    int told = 0;
    int warnings = 0;
    QElapsedTimer clock;
    qint64 lastTold = 0;
    QObject::connect(&watch, &FolderWatch::fileComplete, [&](const std::string&) {
        ++told;
        lastTold = clock.elapsed();
        if (told == files)
            QCoreApplication::quit();
    });
    QObject::connect(&watch, &FolderWatch::warning, [&](const std::string& text) {
        ++warnings;
        std::printf("  warning: %s\n", text.c_str());
    });
    watch.start();
    clock.start();
    std::thread writer([&] {
        for (int i = 0; i < files; ++i)
            writeFile(folder + "/burst-" + std::to_string(i) + ".avi");
    });
    // Not waited for longer than a minute after the last write.
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, [] { QCoreApplication::quit(); });
    giveUp.start(60000 + files);
    QCoreApplication::exec();
    writer.join();
    std::printf("burst: %d of %d files told in %.2f s: %.0f files/s (%d warning(s))\n", told, files,
        static_cast<double>(lastTold) / 1000, told * 1000.0 / static_cast<double>(std::max<qint64>(1, lastTold)),
        warnings);
}

void idle(int seconds)
{
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/tree";
    ::mkdir(folder.c_str(), 0755);
    for (int f = 0; f < 100; ++f) {
        const std::string sub = folder + "/folder-" + std::to_string(f);
        ::mkdir(sub.c_str(), 0755);
        for (int i = 0; i < 100; ++i)
            writeFile(sub + "/file-" + std::to_string(i) + ".avi");
    }
    FolderWatch watch(FolderWatch::Settings {folder, {}, false, 5000, {}});
    watch.start();
    // What starting cost is not counted: the events of the start settle first.
    QTimer::singleShot(1000, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    const double before = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(seconds * 1000, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    const double used = cpuSeconds() - before;
    const double wall = static_cast<double>(clock.elapsed()) / 1000;
    std::printf("idle: %.4f s of CPU over %.1f s watching 10,000 files in 101 folders: %.4f %% of a core "
                "(goal: under 0.05 %%)\n",
        used, wall, 100 * used / wall);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int files = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 60;
    burst(std::max(1, files));
    idle(std::max(1, seconds));
    return 0;
}
