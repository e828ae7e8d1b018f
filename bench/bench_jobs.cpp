// Simultaneous conversions against their baselines, in one run: ten generated
// 5-second 320x240 clips converted with the shipped MP4 format by
// calvera-batch -j 1, by calvera-batch -j 2, and by xargs -P2 running the same
// ffmpeg command lines (from calvera-batch -n). Each is timed a few times in
// turn and the best time of each kept (five rounds unless told).
// Targets: -j 2 at most 1.05x the xargs time and at most 0.75x the -j 1 time.
// Also timed: -j 1 and -j 2 with --verify=none (the streams check measures
// each input and output with ffprobe), and -j 1 with --verify=decode (its cost,
// as a ratio).
//
// "bench_jobs check" times only the streams check: -j 2 with it and with
// --verify=none, three runs each in turn, and gives the medians' ratio
// (target <= 1.05).

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <vector>

namespace {

QString batchProgram()
{
    return QCoreApplication::applicationDirPath() + "/../program/calvera-batch";
}

int mp4Index()
{
    QProcess formats;
    formats.start(batchProgram(), {"--formats"});
    formats.waitForFinished();
    for (const QString& line : QString::fromUtf8(formats.readAllStandardOutput()).split('\n')) {
        const QStringList columns = line.split('\t');
        if (columns.size() >= 3 && columns[2] == "mp4")
            return columns[0].toInt();
    }
    return -1;
}

// Runs a program to its end in a fresh, empty output folder; its wall time in seconds.
double timed(const QString& program, const QStringList& arguments, const QString& folder, const QByteArray& input = {})
{
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    QProcess process;
    // What the programs say goes nowhere, for all three alike.
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(-1);
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    if (process.exitCode() != 0) {
        std::fprintf(stderr, "%s failed with %d\n", qPrintable(program), process.exitCode());
        std::exit(1);
    }
    return seconds;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const bool checkOnly = argc > 1 && QString(argv[1]) == "check";
    const int rounds = argc > 1 && !checkOnly ? std::max(1, std::atoi(argv[1])) : 5;
    const QString ffmpeg = QStandardPaths::findExecutable("ffmpeg");
    const int mp4 = mp4Index();
    if (ffmpeg.isEmpty() || mp4 < 0) {
        std::fprintf(stderr, "bench_jobs needs ffmpeg on PATH and an MP4 format in the catalogue\n");
        return 1;
    }
    QTemporaryDir dir;
    QStringList clips;
    for (int i = 0; i < 10; ++i) {
        clips << dir.filePath(QString("clip%1.avi").arg(i));
        QProcess::execute(ffmpeg,
            {"-v", "error", "-y", "-f", "lavfi", "-i", QString("testsrc2=size=320x240:rate=25:duration=5"), "-f",
                "lavfi", "-i", QString("sine=frequency=%1:duration=5").arg(300 + 50 * i), "-c:v", "mpeg4", "-q:v", "5",
                "-c:a", "pcm_s16le", clips.back()});
    }
    const QString out = dir.filePath("out");
    const auto batch = [&](int jobs, const QString& verify = "duration") {
        return QStringList {"--ffmpeg", ffmpeg, "--verify=" + verify, "-j", QString::number(jobs), "-f",
                   QString::number(mp4), "-o", out}
        + clips;
    };

    if (checkOnly) {
        std::vector<double> with;
        std::vector<double> without;
        for (int round = 0; round < 3; ++round) {
            without.push_back(timed(batchProgram(), batch(2, "none"), out));
            with.push_back(timed(batchProgram(), batch(2), out));
        }
        std::sort(with.begin(), with.end());
        std::sort(without.begin(), without.end());
        std::printf("ten 5 s 320x240 clips to MP4, -j 2, median of 3: %.2f s checked, %.2f s with --verify=none\n",
            with[1], without[1]);
        std::printf("the streams check's cost: %.3f (target <= 1.05)\n", with[1] / without[1]);
        return 0;
    }

    // The same command lines for xargs, each run by sh as calvera-batch -n prints it.
    QDir().mkpath(out);
    QProcess dryRun;
    dryRun.start(batchProgram(), QStringList {"-n"} + batch(1));
    dryRun.waitForFinished(-1);
    const QByteArray commandLines = dryRun.readAllStandardOutput();

    double j1 = std::numeric_limits<double>::max();
    double j2 = j1;
    double xargs = j1;
    double j1Unchecked = j1;
    double j2Unchecked = j1;
    double j1Decoded = j1;
    for (int round = 0; round < rounds; ++round) {
        xargs = std::min(xargs, timed("xargs", {"-P2", "-d", "\n", "-n1", "sh", "-c"}, out, commandLines));
        j2 = std::min(j2, timed(batchProgram(), batch(2), out));
        j1 = std::min(j1, timed(batchProgram(), batch(1), out));
        j2Unchecked = std::min(j2Unchecked, timed(batchProgram(), batch(2, "none"), out));
        j1Unchecked = std::min(j1Unchecked, timed(batchProgram(), batch(1, "none"), out));
        j1Decoded = std::min(j1Decoded, timed(batchProgram(), batch(1, "decode"), out));
    }
    std::printf("ten 5 s 320x240 clips to MP4, best of %d: -j 1 %.2f s, -j 2 %.2f s, xargs -P2 %.2f s\n", rounds, j1,
        j2, xargs);
    std::printf("-j 2 / xargs -P2: %.3f (target <= 1.05)\n", j2 / xargs);
    std::printf("-j 2 / -j 1:      %.3f (target <= 0.75)\n", j2 / j1);
    // What two at once can give on this machine at best: the same ratio for xargs itself.
    std::printf("xargs -P2 / -j 1: %.3f (for reference)\n", xargs / j1);
    // The streams check measures the input while ffmpeg converts and the output after; the decode check
    // runs ffmpeg again over each output.
    std::printf("streams check on / off: -j 1 %.3f, -j 2 %.3f (target <= 1.05)\n", j1 / j1Unchecked, j2 / j2Unchecked);
    std::printf("the decode check's cost, -j 1 with it / without: %.3f\n", j1Decoded / j1);
    return 0;
}
