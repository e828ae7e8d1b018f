// What following a real conversion costs the program: the parent's CPU time
// (the main thread and the reader, progress reading, the log and the row's
// repaint requests included) as a share of the wall time, while the shipped
// MP4 format converts a generated 720p clip for half a minute or more.
// Target: at most 0.5 %.

#include "JobListModel.h"
#include "command.h"
#include "commandManager.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>

namespace {

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 90;
    QTemporaryDir dir;
    const QString clip = dir.filePath("clip.avi");
    const QString ffmpeg = QStandardPaths::findExecutable("ffmpeg");
    QProcess::execute(ffmpeg,
        {"-v", "error", "-y", "-f", "lavfi", "-i", QString("testsrc2=size=1280x720:rate=30:duration=%1").arg(seconds),
            "-f", "lavfi", "-i", QString("sine=duration=%1").arg(seconds), "-c:v", "mpeg4", "-q:v", "5", "-c:a",
            "pcm_s16le", clip});

    TCommandManager catalogue(QCoreApplication::applicationDirPath().toStdString() + "/../program/command");
    int mp4 = -1;
    for (int i = 0; i < static_cast<int>(catalogue.Formats().size()) && mp4 < 0; ++i) {
        if (catalogue.GetExt(i) == "mp4")
            mp4 = i;
    }
    if (mp4 < 0) {
        std::fprintf(stderr, "no MP4 format in the catalogue next to the program\n");
        return 1;
    }
    JobListModel model;
    TItemData item;
    item.FileName = clip;
    item.FormatIndex = mp4;
    item.Path = dir.path() + "/";
    model.append(item);
    TCommand driver(model, catalogue);
    driver.FfmpegPath = ffmpeg.toStdString();
    driver.LogFolder = dir.filePath("logs").toStdString();
    int progressEvents = 0;
    bool converted = false;
    bool done = false;
    QObject::connect(&driver, &TCommand::itemProgress, [&] { ++progressEvents; });
    QObject::connect(&driver, &TCommand::itemFinished,
        [&](JobListModel::Node*, const ItemOutcome& outcome) { converted = outcome.converted; });
    QObject::connect(&driver, &TCommand::runFinished, [&] { done = true; });

    QElapsedTimer wall;
    wall.start();
    const double cpuBefore = cpuSeconds();
    driver.Start();
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double cpu = cpuSeconds() - cpuBefore;
    const double elapsed = wall.elapsed() / 1e3;
    std::printf("following a %.1f s conversion (%s, %d progress events): parent CPU %.3f s, %.3f%% of the wall time "
                "(target at most 0.5%%)\n",
        elapsed, converted ? "converted" : "FAILED", progressEvents, cpu, 100 * cpu / elapsed);
    return converted ? 0 : 1;
}
