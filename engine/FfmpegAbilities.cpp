#include "FfmpegAbilities.h"

#include "DosCommand.h"

#include <QStandardPaths>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// A real ffmpeg lists its encoders in a few tens of milliseconds; a program
// that does not answer in this time is taken as one that cannot tell.
constexpr auto kAnswerTime = std::chrono::seconds(2);
constexpr std::size_t kMaxAnswer = 4 << 20;

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
    if (!whole)
        ::kill(-pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    return whole && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? answer : std::string();
}

bool namesEncoder(const std::string& option)
{
    return option == "-c" || option.starts_with("-c:") || option == "-codec" || option.starts_with("-codec:")
        || option == "-vcodec" || option == "-acodec" || option == "-scodec";
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
    const std::pair<long, long> stamp(status.st_mtim.tv_sec, status.st_mtim.tv_nsec);

    static std::mutex guard;
    static std::map<std::string, std::pair<std::pair<long, long>, std::shared_ptr<const FfmpegAbilities>>> known;
    const std::lock_guard<std::mutex> lock(guard);
    auto& [knownStamp, abilities] = known[program];
    if (!abilities || knownStamp != stamp) {
        auto asked = std::make_shared<FfmpegAbilities>();
        asked->encoders = parseList(answerOf(program, "-encoders"));
        asked->muxers = parseList(answerOf(program, "-muxers"));
        knownStamp = stamp;
        abilities = std::move(asked);
    }
    return abilities;
}
