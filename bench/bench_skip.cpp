// A second run of calvera-batch with --skip-existing over 1,000 items
// converted before (copies of one small clip, all converted by a first run
// with the real ffmpeg): the time per skipped item, the measures of the
// input and of the output there included (target: under 50 ms), with -j 1
// and with one lane per core as a user would ask (-j 0). The first run kept
// what it measured; beside it, the same second run with nothing kept (a new
// cache folder), and the floor of that one: the two ffprobe questions per
// item (input and output, asked at once, as the lane asks them), run by this
// bench alone for 100 items.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <optional>

namespace {

constexpr int kItems = 1000;

QString programFolder()
{
    return QCoreApplication::applicationDirPath() + "/../program/";
}

// Runs a program to its end; its standard output, or nothing when it failed.
std::optional<QString> run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), process.readAllStandardError().constData());
        return std::nullopt;
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The index of the catalogue's first entry making ext.
QString formatMaking(const QString& ext)
{
    const std::optional<QString> formats
        = run(programFolder() + "calvera-batch", {"--catalogue", programFolder() + "command", "--formats"});
    for (const QString& line : formats.value_or(QString()).split('\n')) {
        const QStringList fields = line.split('\t');
        if (fields.size() > 2 && fields[2] == ext)
            return fields[0];
    }
    return {};
}

// ffprobe's question as the lane asks it, for one file.
QStringList probeQuestion(const QString& file)
{
    return {"-v", "quiet", "-count_packets", "-show_entries",
        "stream=codec_type,start_time,duration,nb_read_packets,avg_frame_rate,r_frame_rate,codec_name,codec_tag_string,"
        "pix_fmt,sample_rate,channels:stream_tags=DURATION:stream_disposition=attached_pic:"
        "format=format_name,start_time,duration:format_tags=major_brand",
        "-of", "json", "file:" + file};
}

// Milliseconds per item of asking ffprobe about an input and its output at once, over items.
double probeFloor(const QString& ffprobe, const QString& input, const QString& output, int items)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < items; ++i) {
        QProcess first;
        QProcess second;
        first.start(ffprobe, probeQuestion(input));
        second.start(ffprobe, probeQuestion(output));
        first.waitForFinished(-1);
        second.waitForFinished(-1);
    }
    return static_cast<double>(timer.elapsed()) / items;
}

// Times a run of calvera-batch; its milliseconds per item, or nothing when it did not say expected.
std::optional<double> timedRun(const QStringList& arguments, const QString& expected, int items)
{
    QElapsedTimer timer;
    timer.start();
    const std::optional<QString> said = run(programFolder() + "calvera-batch", arguments);
    const double ms = static_cast<double>(timer.elapsed());
    if (!said || !said->contains(expected)) {
        std::fprintf(stderr, "bench_skip: not \"%s\":\n%s\n", qPrintable(expected), qPrintable(said.value_or("")));
        return std::nullopt;
    }
    return ms / items;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QString ffmpeg = QStandardPaths::findExecutable("ffmpeg");
    const QString format = formatMaking("mp4");
    if (ffmpeg.isEmpty() || format.isEmpty()) {
        std::fprintf(stderr, "bench_skip: needs ffmpeg on PATH and the program folder's catalogue\n");
        return 1;
    }
    QTemporaryDir dir;
    // Kept measures, logs and the like go to this bench's folder, never to the user's.
    for (const char* variable : {"XDG_STATE_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME"})
        qputenv(variable, dir.filePath("home").toUtf8());
    QDir().mkpath(dir.filePath("in"));
    QDir().mkpath(dir.filePath("out"));
    const QString clip = dir.filePath("clip.avi");
    if (!run(ffmpeg,
            {"-v", "error", "-f", "lavfi", "-i", "testsrc=duration=1:size=320x240:rate=25", "-f", "lavfi", "-i",
                "sine=duration=1", "-c:v", "mpeg4", "-c:a", "pcm_s16le", clip})) {
        return 1;
    }
    QStringList inputs;
    for (int i = 0; i < kItems; ++i) {
        inputs << dir.filePath(QString("in/clip%1.avi").arg(i, 4, 10, QChar('0')));
        QFile::copy(clip, inputs.back());
    }
    const QStringList common = {
        "--catalogue", programFolder() + "command", "--ffmpeg", ffmpeg, "-q", "-f", format, "-o", dir.filePath("out")};
    std::printf("%d items (1 s clips made H.264/AAC MP4), %d cores\n", kItems, QThread::idealThreadCount());
    const std::optional<double> first
        = timedRun(QStringList {"-j", "0"} + common + inputs, QString("%1 converted, 0 failed").arg(kItems), kItems);
    if (!first)
        return 1;
    std::printf("the first run, -j 0: %.1f ms per converted item\n", *first);

    const QString skipped = QString("0 converted, %1 skipped, 0 failed").arg(kItems);
    for (const QString jobs : {"1", "0"}) {
        const std::optional<double> perItem
            = timedRun(QStringList {"--skip-existing", "-j", jobs} + common + inputs, skipped, kItems);
        if (!perItem)
            return 1;
        std::printf("a second run, -j %s: %.2f ms per skipped item (target: under 50 ms) %s\n", qPrintable(jobs),
            *perItem, *perItem < 50 ? "ok" : "OVER");
    }

    // The same with nothing kept: every file measured again.
    qputenv("XDG_CACHE_HOME", dir.filePath("empty-cache").toUtf8());
    const std::optional<double> cold
        = timedRun(QStringList {"--skip-existing", "-j", "0"} + common + inputs, skipped, kItems);
    if (!cold)
        return 1;
    std::printf("a second run with no measure kept, -j 0: %.1f ms per skipped item\n", *cold);
    const QString ffprobe = QStandardPaths::findExecutable("ffprobe");
    if (!ffprobe.isEmpty())
        std::printf("ffprobe alone, input and output at once: %.1f ms per item (the floor of that)\n",
            probeFloor(ffprobe, inputs.front(), dir.filePath("out/clip0000.mp4"), 100));
    return 0;
}
