#include "FfmpegAbilities.h"

#include "DosCommand.h"
#include "ProgramDir.h"

#include <QStandardPaths>

#include <chrono>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

// A real ffmpeg lists its encoders in a few tens of milliseconds; a program
// that does not answer in this time is taken as one that cannot tell.
constexpr auto kAnswerTime = std::chrono::seconds(2);
constexpr std::size_t kMaxAnswer = 4 << 20;
constexpr std::time_t kCacheSeconds = 24 * 60 * 60;

// The program's standard output for these arguments, or empty when it could
// not be started or did not end in time. It runs in "/" with no input, so a
// program that is not ffmpeg cannot take the arguments for file names here.
std::string answerOf(const std::string& program, const char* question)
{
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addchdir_np(&actions, "/");
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Its own process group, so a program that starts others loses them all at the deadline.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    std::string hideBanner = "-hide_banner";
    std::string asked = question;
    std::string name = program;
    char* argv[] = {name.data(), hideBanner.data(), asked.data(), nullptr};
    pid_t pid = -1;
    const int spawned = ::posix_spawnp(&pid, program.c_str(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(pipeEnds[1]);
    if (spawned != 0) {
        ::close(pipeEnds[0]);
        return {};
    }

    std::string answer;
    bool whole = false;
    const auto deadline = std::chrono::steady_clock::now() + kAnswerTime;
    for (;;) {
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd readable {pipeEnds[0], POLLIN, 0};
        const int ready = ::poll(&readable, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        char buffer[65536];
        const ssize_t got = ::read(pipeEnds[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            whole = got == 0;
            break;
        }
        answer.append(buffer, static_cast<std::size_t>(got));
        if (answer.size() > kMaxAnswer)
            break;
    }
    ::close(pipeEnds[0]);
    // A program that closed its output need not have ended: it gets the rest of the time.
    int status = 0;
    for (;;) {
        const pid_t ended = ::waitpid(pid, &status, WNOHANG);
        if (ended == pid)
            break;
        if (ended < 0 && errno != EINTR)
            return {};
        if (!whole || std::chrono::steady_clock::now() >= deadline) {
            ::kill(-pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
            return {};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return whole && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? answer : std::string();
}

bool namesEncoder(const std::string& option)
{
    return option == "-c" || option.starts_with("-c:") || option == "-codec" || option.starts_with("-codec:")
        || option == "-vcodec" || option == "-acodec" || option == "-scodec";
}

// What an ffmpeg was last found to have, kept between runs: ffmpeg takes a
// quarter of a second to start twice, a run of short clips feels it.
struct Stamp {
    long seconds = 0;
    long nanoseconds = 0;
    long long size = 0;
    bool operator==(const Stamp&) const = default;
};

std::string cacheFile(const std::string& program)
{
    const std::string folder = userFolder("XDG_CACHE_HOME", ".cache");
    if (folder.empty())
        return {};
    char name[40];
    std::snprintf(name, sizeof name, "ffmpeg-%016zx", std::hash<std::string> {}(program));
    return folder + name;
}

std::string stampLine(const std::string& program, const Stamp& stamp)
{
    return program + '\t' + std::to_string(stamp.seconds) + '\t' + std::to_string(stamp.nanoseconds) + '\t'
        + std::to_string(stamp.size);
}

std::shared_ptr<FfmpegAbilities> readCache(const std::string& program, const Stamp& stamp)
{
    // ffmpeg's libraries can change under an unchanged program (another
    // libavcodec build): what was found is believed for a day at most.
    const std::string file = cacheFile(program);
    struct stat cached { };
    if (file.empty() || ::stat(file.c_str(), &cached) != 0 || std::time(nullptr) - cached.st_mtime > kCacheSeconds)
        return nullptr;
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line) || line != stampLine(program, stamp))
        return nullptr;
    auto abilities = std::make_shared<FfmpegAbilities>();
    while (std::getline(in, line)) {
        if (line.starts_with("E "))
            abilities->encoders.insert(line.substr(2));
        else if (line.starts_with("M "))
            abilities->muxers.insert(line.substr(2));
    }
    if (abilities->encoders.empty() || abilities->muxers.empty())
        return nullptr;
    return abilities;
}

// Written whole under another name and renamed, so a reader never sees half.
void writeCache(const std::string& program, const Stamp& stamp, const FfmpegAbilities& abilities)
{
    const std::string file = cacheFile(program);
    if (file.empty())
        return;
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ec);
    const std::string partial = file + ".part" + std::to_string(::getpid());
    {
        std::ofstream out(partial, std::ios::trunc);
        out << stampLine(program, stamp) << '\n';
        for (const std::string& encoder : abilities.encoders)
            out << "E " << encoder << '\n';
        for (const std::string& muxer : abilities.muxers)
            out << "M " << muxer << '\n';
        if (!out.flush())
            ec = std::make_error_code(std::errc::io_error);
    }
    if (ec || ::rename(partial.c_str(), file.c_str()) != 0)
        ::unlink(partial.c_str());
}

} // namespace

std::set<std::string> FfmpegAbilities::parseList(const std::string& answer)
{
    std::set<std::string> names;
    std::istringstream lines(answer);
    std::string line;
    bool listing = false;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string flags, name;
        if (!(words >> flags))
            continue;
        if (!listing) {
            listing = flags.find_first_not_of('-') == std::string::npos && flags.size() >= 2 && !(words >> name);
            continue;
        }
        // One name a line, though a line of -formats may list several with commas.
        std::istringstream list(words >> name ? name : std::string());
        for (std::string one; std::getline(list, one, ',');)
            if (!one.empty())
                names.insert(one);
    }
    return names;
}

std::string FfmpegAbilities::whyCannotWrite(const std::string& params) const
{
    const std::vector<std::string> words = splitCommandLine(params);
    for (std::size_t i = 0; i + 1 < words.size(); ++i) {
        const std::string& value = words[i + 1];
        if (namesEncoder(words[i]) && value != "copy" && !encoders.empty() && !encoders.contains(value))
            return "the installed ffmpeg has no encoder \"" + value + "\"";
        if (words[i] == "-f" && !muxers.empty() && !muxers.contains(value))
            return "the installed ffmpeg has no muxer \"" + value + "\"";
    }
    return {};
}

std::shared_ptr<const FfmpegAbilities> FfmpegAbilities::of(const std::string& ffmpegPath)
{
    const QString found = ffmpegPath.find('/') == std::string::npos
        ? QStandardPaths::findExecutable(QString::fromStdString(ffmpegPath))
        : QString::fromStdString(ffmpegPath);
    struct stat status { };
    if (found.isEmpty() || ::stat(found.toLocal8Bit().constData(), &status) != 0)
        return std::make_shared<const FfmpegAbilities>();
    const std::string program = found.toStdString();
    const Stamp stamp {status.st_mtim.tv_sec, status.st_mtim.tv_nsec, static_cast<long long>(status.st_size)};

    static std::mutex guard;
    static std::map<std::string, std::pair<Stamp, std::shared_ptr<const FfmpegAbilities>>> known;
    const std::lock_guard<std::mutex> lock(guard);
    auto& [knownStamp, abilities] = known[program];
    if (abilities && knownStamp == stamp)
        return abilities;
    std::shared_ptr<FfmpegAbilities> asked = readCache(program, stamp);
    if (!asked) {
        // Both questions at once: each costs an ffmpeg start.
        asked = std::make_shared<FfmpegAbilities>();
        std::string muxers;
        std::thread askMuxers([&] { muxers = answerOf(program, "-muxers"); });
        asked->encoders = parseList(answerOf(program, "-encoders"));
        askMuxers.join();
        asked->muxers = parseList(muxers);
        // Only a whole answer is kept for later runs; a silent ffmpeg is asked again next time.
        if (!asked->encoders.empty() && !asked->muxers.empty())
            writeCache(program, stamp, *asked);
    }
    knownStamp = stamp;
    abilities = std::move(asked);
    return abilities;
}
