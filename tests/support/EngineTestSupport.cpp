#include "EngineTestSupport.h"

#include <QProcess>

#include <filesystem>
#include <fstream>
#include <stdexcept>

bool waitFor(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    return done();
}

std::string fakeChild()
{
    return CALVERA_FAKE_CHILD;
}

void makeClip(const std::string& path, double seconds)
{
    const QString duration = QString::number(seconds);
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg",
        {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=duration=" + duration + ":size=160x120:rate=10", "-f",
            "lavfi", "-i", "sine=duration=" + duration, "-c:v", "mpeg4", "-c:a", "pcm_s16le",
            QString::fromStdString(path)});
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0)
        throw std::runtime_error("cannot make clip " + path);
}

std::string probe(const std::string& path)
{
    QProcess ffprobe;
    ffprobe.start("ffprobe",
        {"-v", "error", "-show_entries", "format=format_name:stream=codec_name", "-of",
            "default=noprint_wrappers=1:nokey=1", QString::fromStdString(path)});
    ffprobe.waitForFinished(60000);
    // Streams come first, then the container.
    QStringList lines = QString::fromUtf8(ffprobe.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    if (lines.isEmpty())
        return {};
    const QString container = lines.takeLast();
    return (container + ":" + lines.join(',')).toStdString();
}

void writeScript(const std::string& path, const std::string& body)
{
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    std::filesystem::permissions(path,
        std::filesystem::perms::owner_all | std::filesystem::perms::group_read | std::filesystem::perms::others_read);
}

bool processRuns(long pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return false;
    const auto close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}
