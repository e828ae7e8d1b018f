// Queueing a tree of many files (empty stand-ins; 100,000 unless the first
// argument says otherwise) the way calvera-batch -r does: the walk alone and
// the whole queue built in this process, then calvera-batch itself, its time
// and peak memory, for a dry run (-n: every item planned and printed) and for
// a saved list (-s). Targets: under 10 s and 300 MB.

#include "BatchCommandLine.h"
#include "BatchRun.h"
#include "TreeWalk.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// A tree of seasons of a thousand videos each, and a note beside one in ten of them.
void makeTree(const std::string& root, int files)
{
    ::mkdir(root.c_str(), 0755);
    for (int i = 0; i < files; ++i) {
        const std::string folder = root + "/Season " + std::to_string(i / 1000);
        if (i % 1000 == 0)
            ::mkdir(folder.c_str(), 0755);
        const std::string name = folder + "/E" + std::to_string(i % 1000);
        ::close(::open((name + ".mkv").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
        if (i % 10 == 0)
            ::close(::open((name + ".txt").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    }
}

struct ChildRun {
    int status = -1;
    double seconds = 0;
    long maxRssKb = 0;
};

// Runs the program with standard output to /dev/null: its exit status, time and peak memory.
ChildRun runChild(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    QElapsedTimer clock;
    clock.start();
    pid_t child = -1;
    ChildRun run;
    if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return run;
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    struct rusage usage { };
    ::wait4(child, &status, 0, &usage);
    run.seconds = clock.nsecsElapsed() / 1e9;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.maxRssKb = usage.ru_maxrss;
    return run;
}

long ownMaxRssKb()
{
    struct rusage usage { };
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int files = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;
    QTemporaryDir dir;
    const std::string root = dir.filePath("tree").toStdString();
    const std::string out = dir.filePath("out").toStdString();
    QElapsedTimer clock;
    clock.start();
    makeTree(root, files);
    std::printf("made a tree of %d empty videos and %d other files in %.1f s\n", files, (files + 9) / 10,
        clock.nsecsElapsed() / 1e9);

    clock.restart();
    const std::size_t found = TreeWalk::files(root, {}).files.size();
    std::printf("walk: %zu files taken in %.0f ms\n", found, clock.nsecsElapsed() / 1e6);

    const long before = ownMaxRssKb();
    clock.restart();
    {
        const BatchOptions options = parseBatchCommandLine({"-f", "0", "-o", out, "-r", root});
        BatchQueue queue;
        buildQueue(options, queue);
        std::printf("queue built in this process: %d items in %.0f ms, peak memory %ld MB (%ld MB before)\n",
            queue.model.count(), clock.nsecsElapsed() / 1e6, ownMaxRssKb() / 1024, before / 1024);
    }

    bool within = true;
    for (const char* mode : {"-n", "-s"}) {
        std::vector<std::string> arguments = {CALVERA_BATCH, "--catalogue", CALVERA_CATALOGUE, "--ffmpeg", "ffmpeg"};
        arguments.push_back(mode);
        if (std::string(mode) == "-s")
            arguments.push_back(dir.filePath("tree.qfl").toStdString());
        arguments.insert(arguments.end(), {"-f", "0", "-o", out, "-r", root});
        const ChildRun run = runChild(arguments);
        std::printf("calvera-batch %s -r: exit %d, %.2f s, peak memory %ld MB (targets: 10 s, 300 MB)\n", mode,
            run.status, run.seconds, run.maxRssKb / 1024);
        within = within && run.status == 0 && run.seconds < 10 && run.maxRssKb < 300 * 1024;
    }
    return within ? 0 : 1;
}
