#include "EngineTestSupport.h"

#include "commandManager.h"

#include "RunningProgram.h"

#include <QTimer>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

void processPendingEvents()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool waitFor(const std::function<bool()>& done, int timeoutMs)
{
    // A heartbeat so that the loop below wakes up to look at the clock.
    QTimer heartbeat;
    heartbeat.start(20);
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

std::string fakeChild()
{
    return CALVERA_FAKE_CHILD;
}

void makeClip(const std::string& path, double seconds)
{
    const std::string duration = std::to_string(seconds);
    const int code = runProgram(
        {"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=duration=" + duration + ":size=160x120:rate=10",
            "-f", "lavfi", "-i", "sine=duration=" + duration, "-c:v", "mpeg4", "-c:a", "pcm_s16le", path});
    if (code != 0)
        throw std::runtime_error("cannot make clip " + path);
}

std::string probe(const std::string& path)
{
    std::string output;
    runProgram({"ffprobe", "-v", "error", "-show_entries", "format=format_name:stream=codec_name", "-of",
                   "default=noprint_wrappers=1:nokey=1", path},
        &output);
    // Streams come first, then the container.
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < output.size()) {
        const std::size_t end = output.find('\n', start);
        const std::string line = output.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty())
            lines.push_back(line);
        start = end == std::string::npos ? output.size() : end + 1;
    }
    if (lines.empty())
        return {};
    std::string result = lines.back() + ":";
    for (std::size_t i = 0; i + 1 < lines.size(); ++i)
        result += (i ? "," : "") + lines[i];
    return result;
}

void writeScript(const std::string& path, const std::string& body)
{
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    std::filesystem::permissions(path,
        std::filesystem::perms::owner_all | std::filesystem::perms::group_read | std::filesystem::perms::others_read);
}

long pidWrittenTo(const std::string& file)
{
    long pid = 0;
    waitFor([&] { return static_cast<bool>(std::ifstream(file) >> pid); });
    return pid;
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

char processState(long pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const std::size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() ? line[close + 2] : '?';
}

bool processGroupHeld(long group)
{
    bool anyStopped = false;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line))
            continue;
        // "pid (comm) state ppid pgrp ..."
        const auto close = line.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream rest(line.substr(close + 2));
        char state = 0;
        long parent = 0;
        long pgrp = 0;
        if (!(rest >> state >> parent >> pgrp) || pgrp != group || state == 'Z')
            continue;
        if (state != 'T' && state != 't' && state != 'D')
            return false;
        anyStopped = anyStopped || state == 'T' || state == 't';
    }
    return anyStopped;
}

std::string standInArguments()
{
    // Asked for its encoders or muxers, it says nothing: every format stays available.
    return "case \"$1\" in -hide_banner) exit 0;; esac\n"
           "source=; output=; next=\n"
           "for argument; do\n"
           "  [ \"$next\" = source ] && source=${argument#file:}\n"
           "  next=; [ \"$argument\" = -i ] && next=source\n"
           "  output=${argument#file:}\n"
           "done\n";
}

std::vector<std::string> temporariesIn(const std::string& directory)
{
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(directory, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(".calvera-", 0) == 0)
            found.push_back(entry.path().string());
    }
    return found;
}

int formatIndexOf(const TCommandManager& catalogue, const std::string& extension)
{
    for (int i = 0; i < static_cast<int>(catalogue.Formats().size()); ++i) {
        if (catalogue.GetExt(i) == extension)
            return i;
    }
    throw std::runtime_error("no catalogue entry makes ." + extension + " files");
}

int shippedFormat(const std::string& extension)
{
    static const TCommandManager shipped(CALVERA_SHIPPED_CATALOGUE);
    return formatIndexOf(shipped, extension);
}

void PrintTo(ItemState state, std::ostream* out)
{
    static const char* const names[]
        = {"waiting", "starting", "converting", "paused", "checking", "publishing", "done", "failed", "stopped"};
    const auto index = static_cast<std::size_t>(state);
    *out << (index < std::size(names) ? names[index] : "?");
}
