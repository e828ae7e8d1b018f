// The process runner and the driver against plain system calls, in one run:
//  1. parent CPU while a silent child runs, against a 1 ms polling loop;
//  2. 500 sequential no-op children through runner and driver, against a
//     posix_spawn + waitpid loop;
//  3. a child writing about 200 MB of short lines: all delivered, in order;
//  4. 10,000 failing children through the driver: the threads held;
//  5. one line of 20 MB and of 80 MB without a line end: the time grows with
//     the size, not its square.

#include "DosCommand.h"
#include "JobListModel.h"
#include "command.h"
#include "commandManager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Sleeps in the event loop until done is set by one of its events.
void runUntil(const bool& done)
{
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

pid_t spawn(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
    return pid;
}

void silentChild()
{
    constexpr int kSeconds = 5;
    TDosCommand runner;
    bool done = false;
    runner.OnTerminated = [&](TDosCommand*, std::uint32_t) { done = true; };
    runner.Arguments = {"/bin/sleep", std::to_string(kSeconds)};
    runner.CommandLine = "/bin/sleep";
    QElapsedTimer wall;
    wall.start();
    const double cpuBefore = cpuSeconds();
    runner.Execute();
    runUntil(done);
    const double runnerCpu = cpuSeconds() - cpuBefore;
    const double runnerWall = wall.elapsed() / 1e3;

    // The same child watched by a loop that sleeps 1 ms per cycle.
    wall.restart();
    const double pollBefore = cpuSeconds();
    const pid_t pid = spawn({"/bin/sleep", std::to_string(kSeconds)});
    while (waitpid(pid, nullptr, WNOHANG) == 0)
        usleep(1000);
    const double pollCpu = cpuSeconds() - pollBefore;
    const double pollWall = wall.elapsed() / 1e3;

    std::printf("silent child, %d s:      runner %.4f%% of wall time in parent CPU, 1 ms polling loop %.4f%%\n",
        kSeconds, 100 * runnerCpu / runnerWall, 100 * pollCpu / pollWall);
}

// A job list of items in.0.avi, in.1.avi, … with a one-entry catalogue, all in a temporary folder.
struct NoOpQueue {
    explicit NoOpQueue(int items)
    {
        std::ofstream(prefix + "command") << "<c><e><format>none</format><params>-n</params><ext>out</ext></e></c>";
        catalogue.Load(prefix + "command");
        for (int i = 0; i < items; ++i) {
            TItemData item;
            item.FileName = QString::fromStdString(prefix + "in" + std::to_string(i) + ".avi");
            item.Path = QString::fromStdString(prefix);
            model.append(item);
        }
    }
    QTemporaryDir dir;
    const std::string prefix = dir.path().toStdString() + "/";
    TCommandManager catalogue {""};
    JobListModel model;
};

void sequentialChildren()
{
    constexpr int kChildren = 500;
    NoOpQueue queue(kChildren);
    const std::string& prefix = queue.prefix;
    TCommand driver(queue.model, queue.catalogue);
    driver.FfmpegPath = "/bin/true";
    bool done = false;
    QObject::connect(&driver, &TCommand::OnFinished, [&](TDosCommand*, bool) { done = true; });

    // Best of three runs of each, taken in turns.
    double driverSeconds = 1e9;
    double plainSeconds = 1e9;
    for (int round = 0; round < 3; ++round) {
        QElapsedTimer clock;
        clock.start();
        done = false;
        driver.Start();
        runUntil(done);
        driverSeconds = std::min(driverSeconds, clock.nsecsElapsed() / 1e9);

        clock.restart();
        for (int i = 0; i < kChildren; ++i) {
            const std::string source = prefix + "in" + std::to_string(i) + ".avi";
            waitpid(spawn({"/bin/true", "-i", source, "-n", prefix + "in" + std::to_string(i) + ".out"}), nullptr, 0);
        }
        plainSeconds = std::min(plainSeconds, clock.nsecsElapsed() / 1e9);
    }
    std::printf("%d no-op children:       driver %.1f ms, posix_spawn + waitpid %.1f ms, ratio %.2f\n", kChildren,
        driverSeconds * 1e3, plainSeconds * 1e3, driverSeconds / plainSeconds);
}

void floodOfLines()
{
    constexpr long long kLines = 25000000; // about 214 MB with their line ends
    TDosCommand runner;
    long long expected = 1;
    long long bytes = 0;
    bool inOrder = true;
    bool done = false;
    runner.OnNewLine = [&](TDosCommand*, const std::string& line, TOutputType type) {
        if (type != otEntireLine)
            return;
        inOrder = inOrder && std::stoll(line) == expected;
        ++expected;
        bytes += static_cast<long long>(line.size()) + 1;
    };
    runner.OnTerminated = [&](TDosCommand*, std::uint32_t) { done = true; };
    runner.Arguments = {"/usr/bin/seq", "1", std::to_string(kLines)};
    runner.CommandLine = "seq";
    QElapsedTimer clock;
    clock.start();
    runner.Execute();
    runUntil(done);
    const double seconds = clock.nsecsElapsed() / 1e9;
    std::printf("%.0f MB of short lines:   %lld lines, %s, %.0f MB/s\n", bytes / 1e6, expected - 1,
        (inOrder && expected - 1 == kLines) ? "all in order" : "LOST OR REORDERED", bytes / 1e6 / seconds);
}

// Seconds to read one line of megabytes "x" with no line end until the last.
double endlessLine(int megabytes)
{
    TDosCommand runner;
    bool done = false;
    std::size_t longest = 0;
    runner.OnNewLine
        = [&](TDosCommand*, const std::string& line, TOutputType) { longest = std::max(longest, line.size()); };
    runner.OnTerminated = [&](TDosCommand*, std::uint32_t) { done = true; };
    runner.Arguments = {"/bin/sh", "-c", "head -c " + std::to_string(megabytes * 1000000) + " /dev/zero | tr '\\0' x"};
    runner.CommandLine = "one long line";
    QElapsedTimer clock;
    clock.start();
    runner.Execute();
    runUntil(done);
    return clock.nsecsElapsed() / 1e9;
}

void longLines()
{
    const double twenty = endlessLine(20);
    const double eighty = endlessLine(80);
    std::printf("one line without an end: 20 MB %.2f s, 80 MB %.2f s, ratio %.2f (linear: about 4)\n", twenty, eighty,
        eighty / twenty);
}

int threadCount()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Threads:", 0) == 0)
            return std::stoi(line.substr(8));
    }
    return -1;
}

void threadsHeld()
{
    constexpr int kItems = 10000;
    NoOpQueue queue(kItems);
    TCommand driver(queue.model, queue.catalogue);
    driver.FfmpegPath = "/bin/false";
    bool done = false;
    int most = 0;
    int ended = 0;
    QObject::connect(&driver, &TCommand::itemFinished, [&] {
        if (++ended % 100 == 0)
            most = std::max(most, threadCount());
    });
    QObject::connect(&driver, &TCommand::OnFinished, [&](TDosCommand*, bool) { done = true; });
    const int before = threadCount();
    driver.Start();
    runUntil(done);
    std::printf("%d failing children:   threads before %d, at most %d during the run, %d after\n", kItems, before, most,
        threadCount());
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    // An argument picks one part: silent, children, lines, threads or long.
    const QString only = argc > 1 ? QString(argv[1]) : QString();
    if (only.isEmpty() || only == "silent")
        silentChild();
    if (only.isEmpty() || only == "children")
        sequentialChildren();
    if (only.isEmpty() || only == "lines")
        floodOfLines();
    if (only.isEmpty() || only == "threads")
        threadsHeld();
    if (only.isEmpty() || only == "long")
        longLines();
    return 0;
}
