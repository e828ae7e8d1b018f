#include "EngineTestSupport.h"

#include "TemporaryOutput.h"
#include "commandManager.h"

#include "ProcessInfo.h"
#include "RunningProgram.h"

#include <QTimer>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <unistd.h>
#include <utility>
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

void makeSeasonsTree(const std::string& root)
{
    namespace fs = std::filesystem;
    const fs::path at(root);
    fs::create_directories(at / "lib/Season 1");
    fs::create_directories(at / "lib/Season 2");
    fs::create_directories(at / "lib/.thumbnails");
    fs::create_directories(at / "elsewhere");
    makeClip((at / "lib/Season 1/E01.avi").string(), 0.3);
    for (const char* copy : {"lib/Season 2/E01.avi", "lib/top.avi", "lib/.thumbnails/t.avi", "elsewhere/x.avi"})
        fs::copy_file(at / "lib/Season 1/E01.avi", at / copy);
    std::ofstream(at / "lib/notes.txt") << "not a video";
    fs::create_directory_symlink("..", at / "lib/Season 1/back up");
    fs::create_directory_symlink(at / "elsewhere", at / "lib/away");
    fs::create_symlink(at / "elsewhere/x.avi", at / "lib/x.avi");
}

std::set<std::string> filesIn(const std::string& folder)
{
    namespace fs = std::filesystem;
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file())
            names.insert(fs::relative(entry.path(), folder).string());
    }
    return names;
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

long pidIn(const std::string& file)
{
    // Only a whole line counts: a writer caught halfway has given part of the number.
    const std::optional<std::string> text = readWholeFile(file);
    return text && text->ends_with('\n') ? std::atol(text->c_str()) : 0;
}

long pidWrittenTo(const std::string& file)
{
    long pid = 0;
    waitFor([&] { return (pid = pidIn(file)) > 0; });
    return pid;
}

bool processRuns(long pid)
{
    const std::optional<ProcessStat> stat = processStat(pid);
    return stat && stat->state != 'Z';
}

char processState(long pid)
{
    const std::optional<ProcessStat> stat = processStat(pid);
    return stat ? stat->state : '?';
}

bool processGroupHeld(long group)
{
    bool anyStopped = false;
    for (const long pid : processIds()) {
        const std::optional<ProcessStat> stat = processStat(pid);
        if (!stat || stat->group != group || stat->state == 'Z')
            continue;
        if (stat->state != 'T' && stat->state != 't' && stat->state != 'D')
            return false;
        anyStopped = anyStopped || stat->state == 'T' || stat->state == 't';
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
    static const char* const names[] = {"waiting", "starting", "converting", "paused", "measuring", "checking",
        "publishing", "done", "failed", "stopped", "skipped"};
    const auto index = static_cast<std::size_t>(state);
    *out << (index < std::size(names) ? names[index] : "?");
}

SyncRecorder::SyncRecorder()
    : m_previous(std::exchange(TemporaryOutput::syncDescriptor, [this](int fd) {
        char path[PATH_MAX] = {};
        const ssize_t length = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path - 1);
        const std::string name = length > 0 ? std::string(path, static_cast<std::size_t>(length)) : "?";
        std::function<bool(const std::string&)> fail;
        {
            const std::lock_guard lock(m_mutex);
            m_paths.push_back(name);
            fail = failIf;
        }
        if (fail && fail(name)) {
            errno = EIO;
            return -1;
        }
        return 0;
    }))
{ }

SyncRecorder::~SyncRecorder()
{
    TemporaryOutput::syncDescriptor = std::move(m_previous);
}

std::vector<std::string> SyncRecorder::paths() const
{
    const std::lock_guard lock(m_mutex);
    return m_paths;
}
