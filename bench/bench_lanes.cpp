// calvera-batch's lanes measured from outside, against baselines run in the
// same process, with stand-in ffmpegs (shell scripts) so that ffmpeg's own
// work does not hide Calvera's:
//  1. -j 64 over items that wait: the threads and descriptors calvera-batch
//     holds (targets: at most 70 threads, at most 5 descriptors per running
//     item, counted against -j 1 with one running);
//  2. an ffmpeg that never answers the questions for its encoders and
//     muxers: from the start to the first conversion, the first time (target:
//     the 2 s deadline + 0.2 s) and once the failed answer is cached (target:
//     0.2 s);
//  3. the cost of an item, one after another, against a shell loop that runs
//     the same stand-in and keeps a log per item (target: at most 1.15x),
//     from the best of three rounds of 300 items and of one.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <limits>

namespace {

QString batchProgram()
{
    return QCoreApplication::applicationDirPath() + "/../program/calvera-batch";
}

QString catalogue()
{
    return QCoreApplication::applicationDirPath() + "/../program/command";
}

void writeScript(const QString& path, const QString& body)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(("#!/bin/sh\n" + body + "\n").toUtf8());
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// The stand-in's last argument, without ffmpeg's file protocol.
const QString kOutputOf = "for argument; do output=${argument#file:}; done\n";

QStringList inputs(const QTemporaryDir& dir, int count)
{
    QDir().mkpath(dir.filePath("in"));
    QStringList files;
    for (int i = 0; i < count; ++i) {
        files << dir.filePath(QString("in/clip%1.avi").arg(i, 3, 10, QChar('0')));
        QFile file(files.back());
        file.open(QIODevice::WriteOnly);
        file.write("v");
    }
    return files;
}

// A fresh output folder and state, cache and config folders of its own.
QProcessEnvironment freshEnvironment(const QTemporaryDir& dir, const QString& name)
{
    const QString home = dir.filePath("home-" + name);
    QDir(home).removeRecursively();
    QDir().mkpath(home);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* variable : {"XDG_STATE_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME"})
        environment.insert(variable, home);
    return environment;
}

QStringList batchArguments(const QString& ffmpeg, const QString& output, const QStringList& files, int jobs)
{
    QStringList arguments
        = {"--catalogue", catalogue(), "--ffmpeg", ffmpeg, "-j", QString::number(jobs), "-f", "9", "-o", output};
    return arguments + files;
}

int entriesIn(const QString& folder)
{
    return static_cast<int>(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size());
}

// 1. Threads and descriptors of calvera-batch while `running` items wait.
struct Held {
    int threads = 0;
    int descriptors = 0;
};

Held heldWhileWaiting(const QTemporaryDir& dir, int running)
{
    const QString go = dir.filePath("go");
    QFile::remove(go);
    writeScript(dir.filePath("waiting-ffmpeg"),
        "case \"$1\" in -hide_banner) exit 0;; esac\n" + kOutputOf + "while [ ! -e '" + go
            + "' ]; do sleep 0.1; done\necho x > \"$output\"");
    const QString output = dir.filePath("out-held");
    QDir(output).removeRecursively();
    QDir().mkpath(output);
    QProcess batch;
    batch.setProcessEnvironment(freshEnvironment(dir, "held"));
    batch.setStandardOutputFile(QProcess::nullDevice());
    batch.start(batchProgram(), batchArguments(dir.filePath("waiting-ffmpeg"), output, inputs(dir, running), running));
    batch.waitForStarted();
    const QString proc = "/proc/" + QString::number(batch.processId());
    // Every item running: a private folder each, and the thread count settled.
    QElapsedTimer clock;
    clock.start();
    while (entriesIn(output) < running && clock.elapsed() < 60000)
        QThread::msleep(20);
    QThread::msleep(500);
    const Held held {entriesIn(proc + "/task"), entriesIn(proc + "/fd")};
    QFile(go).open(QIODevice::WriteOnly);
    batch.waitForFinished(120000);
    return held;
}

// 2. Seconds from calvera-batch's start to its first ffmpeg conversion.
double secondsToFirstConversion(const QTemporaryDir& dir, const QProcessEnvironment& environment)
{
    const QString started = dir.filePath("started");
    QFile::remove(started);
    const QString output = dir.filePath("out-probe");
    QDir(output).removeRecursively();
    QDir().mkpath(output);
    QProcess batch;
    batch.setProcessEnvironment(environment);
    batch.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    batch.start(batchProgram(), batchArguments(dir.filePath("silent-ffmpeg"), output, inputs(dir, 1), 1));
    while (!QFile::exists(started) && clock.elapsed() < 30000)
        QThread::usleep(500);
    const double seconds = clock.nsecsElapsed() / 1e9;
    batch.waitForFinished(30000);
    return seconds;
}

// 3. The best of rounds wall times of a program run to its end.
double bestOf(int rounds, const std::function<void()>& prepare, const QString& program, const QStringList& arguments,
    const QProcessEnvironment& environment)
{
    double best = std::numeric_limits<double>::max();
    for (int round = 0; round < rounds; ++round) {
        prepare();
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        QElapsedTimer clock;
        clock.start();
        process.start(program, arguments);
        process.waitForFinished(600000);
        best = std::min(best, clock.nsecsElapsed() / 1e9);
    }
    return best;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    // "held", "probe" or "items" runs that part alone.
    const QString only = argc > 1 ? argv[1] : "";

    if (only.isEmpty() || only == "held") {
        const Held one = heldWhileWaiting(dir, 1);
        const Held many = heldWhileWaiting(dir, 64);
        const double perItem = (many.descriptors - one.descriptors) / 63.0;
        std::printf("-j 64, every item running: %d threads (target <= 70); %d descriptors, %.2f per running item "
                    "against -j 1 with %d (target <= 5)\n",
            many.threads, many.descriptors, perItem, one.descriptors);
    }
    if (only.isEmpty() || only == "probe") {

        writeScript(dir.filePath("silent-ffmpeg"),
            "case \"$1\" in -hide_banner) exec sleep 60;; esac\n" + kOutputOf + ": > '" + dir.filePath("started")
                + "'\necho x > \"$output\"");
        const QProcessEnvironment probing = freshEnvironment(dir, "probe");
        const double first = secondsToFirstConversion(dir, probing);
        const double cached = secondsToFirstConversion(dir, probing);
        std::printf("an ffmpeg that never answers its probes: first conversion after %.3f s the first time (target "
                    "<= 2.2), %.3f s once its failed answer is cached (target <= 0.2)\n",
            first, cached);
    }
    if (!only.isEmpty() && only != "items")
        return 0;

    // Per item: the time of 300 items less that of one, over 299, so that
    // starting the program (Qt, the catalogue) is not counted as items.
    constexpr int kItems = 300;
    writeScript(dir.filePath("quick-ffmpeg"),
        "case \"$1\" in -hide_banner) exit 0;; esac\n" + kOutputOf + "echo x > \"$output\"");
    const QStringList files = inputs(dir, kItems);
    const QString output = dir.filePath("out-items");
    const QString logs = dir.filePath("logs");
    const auto emptyFolders = [&] {
        for (const QString& folder : {output, logs}) {
            QDir(folder).removeRecursively();
            QDir().mkpath(folder);
        }
    };
    const QProcessEnvironment quick = freshEnvironment(dir, "items");
    const auto batchOf = [&](int count) {
        return bestOf(3, emptyFolders, batchProgram(),
            batchArguments(dir.filePath("quick-ffmpeg"), output, files.mid(0, count), 1), quick);
    };
    const auto loopOf = [&](int count) {
        const QString loop = "for f in '" + files.mid(0, count).join("' '") + "'; do n=${f##*/}; n=${n%.avi}; '"
            + dir.filePath("quick-ffmpeg") + "' -n -i \"file:$f\" -vn -c:a libmp3lame -q:a 2 \"file:" + output
            + "/$n.mp3\" > \"" + logs + "/$n.log\" 2>&1; done";
        return bestOf(3, emptyFolders, "/bin/sh", {"-c", loop}, quick);
    };
    const double batch = (batchOf(kItems) - batchOf(1)) / (kItems - 1);
    const double shell = (loopOf(kItems) - loopOf(1)) / (kItems - 1);
    std::printf("per item, best of 3 (%d items less one): calvera-batch %.2f ms, a shell loop with a log per item "
                "%.2f ms: ratio %.3f (target <= 1.15)\n",
        kItems, batch * 1000, shell * 1000, batch / shell);
    return 0;
}
