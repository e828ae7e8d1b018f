// A second run of calvera-batch with --skip-existing over 1,000 items
// converted before (copies of one small clip, converted once with the real
// ffmpeg, and of its output): the time per skipped item, the measuring of
// the input and of the output there included (target: under 50 ms), with
// -j 1 and with one lane per core as a user would ask (-j 0). Beside it, as
// the floor that Calvera's own work comes on top of: the same two ffprobe
// questions per item (input and output, asked at once, as the lane asks
// them), run by this bench alone for 100 items.

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
    QDir().mkpath(dir.filePath("in"));
    QDir().mkpath(dir.filePath("out"));
    const QString clip = dir.filePath("clip.avi");
    if (!run(ffmpeg,
            {"-v", "error", "-f", "lavfi", "-i", "testsrc=duration=2:size=320x240:rate=25", "-f", "lavfi", "-i",
                "sine=duration=2", "-c:v", "mpeg4", "-c:a", "pcm_s16le", clip})) {
        return 1;
    }
    const QStringList common = {
        "--catalogue", programFolder() + "command", "--ffmpeg", ffmpeg, "-q", "-f", format, "-o", dir.filePath("out")};
    if (!run(programFolder() + "calvera-batch", common + QStringList {clip}))
        return 1;
    const QString converted = dir.filePath("out/clip.mp4");
    // The inputs first, their outputs after them: each output is newer than its input.
    QStringList inputs;
    for (int i = 0; i < kItems; ++i) {
        inputs << dir.filePath(QString("in/clip%1.avi").arg(i, 4, 10, QChar('0')));
        QFile::copy(clip, inputs.back());
    }
    QThread::msleep(20);
    for (int i = 0; i < kItems; ++i)
        QFile::copy(converted, dir.filePath(QString("out/clip%1.mp4").arg(i, 4, 10, QChar('0'))));

    std::printf("a second run over %d converted items (2 s H.264/AAC MP4 outputs of 2 s clips), %d cores\n", kItems,
        QThread::idealThreadCount());
    const QString ffprobe = QStandardPaths::findExecutable("ffprobe");
    if (!ffprobe.isEmpty())
        std::printf("ffprobe alone, input and output at once: %.1f ms per item (the floor)\n",
            probeFloor(ffprobe, clip, converted, 100));
    for (const QString jobs : {"1", "0"}) {
        QElapsedTimer timer;
        timer.start();
        const std::optional<QString> said
            = run(programFolder() + "calvera-batch", QStringList {"--skip-existing", "-j", jobs} + common + inputs);
        const double ms = static_cast<double>(timer.elapsed());
        const QString expected = QString("0 converted, %1 skipped, 0 failed").arg(kItems);
        if (!said || !said->contains(expected)) {
            std::fprintf(stderr, "bench_skip: not every item was skipped:\n%s\n", qPrintable(said.value_or("")));
            return 1;
        }
        const double perItem = ms / kItems;
        std::printf("-j %s: %.0f ms in all, %.1f ms per skipped item (target: under 50 ms) %s\n", qPrintable(jobs), ms,
            perItem, perItem < 50 ? "ok" : "OVER");
    }
    return 0;
}
