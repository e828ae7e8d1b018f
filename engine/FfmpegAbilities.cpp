#include "FfmpegAbilities.h"

#include "DosCommand.h"
#include "ThreadMailbox.h"
#include "ProgramDir.h"

#include <QCoreApplication>
#include <QStandardPaths>

#include <atomic>

#include <chrono>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <poll.h>
#include <optional>
#include <sys/eventfd.h>
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
std::atomic<long long> deadlineMs {2000};
constexpr std::size_t kMaxAnswer = 4 << 20;
constexpr std::time_t kWholeAnswerSeconds = 24 * 60 * 60;
constexpr std::time_t kFailedAnswerSeconds = 60 * 60;

// The program's standard output for these arguments, or empty when it could
// not be started, did not end in time or was cancelled. It runs in "/" with
// no input, so a program that is not ffmpeg cannot take the arguments for
// file names here.
std::string answerOf(const std::string& program, const char* question, int cancelFd)
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
    bool cancelled = false;
    const auto deadline = std::chrono::steady_clock::now() + FfmpegProbe::deadline();
    const auto timeLeft = [&deadline] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
            .count();
    };
    for (;;) {
        const long long left = timeLeft();
        if (left <= 0)
            break;
        pollfd ready[2] = {{pipeEnds[0], POLLIN, 0}, {cancelFd, POLLIN, 0}};
        const int count = ::poll(ready, 2, static_cast<int>(left));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0 || (ready[1].revents & POLLIN)) {
            cancelled = count > 0;
            break;
        }
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
        if (!whole || cancelled || timeLeft() <= 0) {
            ::kill(-pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
            return {};
        }
        pollfd cancel {cancelFd, POLLIN, 0};
        if (::poll(&cancel, 1, 2) > 0)
            cancelled = true;
    }
    return whole && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? answer : std::string();
}

bool namesEncoder(const std::string& option)
{
    return option == "-c" || option.starts_with("-c:") || option == "-codec" || option.starts_with("-codec:")
        || option == "-vcodec" || option == "-acodec" || option == "-scodec";
}

std::string cacheFile(const std::string& program)
{
    const std::string folder = userFolder("XDG_CACHE_HOME", ".cache");
    if (folder.empty())
        return {};
    char name[40];
    std::snprintf(name, sizeof name, "ffmpeg-%016zx", std::hash<std::string> {}(program));
    return folder + name;
}

// What an answer is kept with: the program as it was when asked.
std::string stampOf(const std::string& program, const struct stat& status)
{
    return program + '\t' + std::to_string(status.st_mtim.tv_sec) + '\t' + std::to_string(status.st_mtim.tv_nsec) + '\t'
        + std::to_string(status.st_size);
}

bool isWhole(const FfmpegAbilities& abilities)
{
    return !abilities.encoders.empty() && !abilities.muxers.empty();
}

std::shared_ptr<FfmpegAbilities> readCache(const std::string& program, const std::string& stamp)
{
    const std::string file = cacheFile(program);
    struct stat cached { };
    if (file.empty() || ::stat(file.c_str(), &cached) != 0)
        return nullptr;
    const std::optional<std::string> text = readUserFile(file, kMaxAnswer);
    if (!text)
        return nullptr;
    std::istringstream in(*text);
    std::string line;
    std::string kind;
    if (!std::getline(in, line) || line != stamp || !std::getline(in, kind) || (kind != "whole" && kind != "partial"))
        return nullptr;
    const std::time_t age = std::time(nullptr) - cached.st_mtime;
    if (age > (kind == "whole" ? kWholeAnswerSeconds : kFailedAnswerSeconds))
        return nullptr;
    auto abilities = std::make_shared<FfmpegAbilities>();
    while (std::getline(in, line)) {
        if (line.starts_with("E "))
            abilities->encoders.insert(line.substr(2));
        else if (line.starts_with("M "))
            abilities->muxers.insert(line.substr(2));
    }
    if ((kind == "whole") != isWhole(*abilities))
        return nullptr;
    return abilities;
}

// Written whole under another name and renamed, so a reader never sees half;
// never over anything but a cache file.
void writeCache(const std::string& program, const std::string& stamp, const FfmpegAbilities& abilities)
{
    const std::string file = cacheFile(program);
    if (file.empty())
        return;
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ec);
    struct stat existing { };
    if (::lstat(file.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode))
        return;
    std::string text = stamp + '\n' + (isWhole(abilities) ? "whole" : "partial") + '\n';
    for (const std::string& encoder : abilities.encoders)
        text += "E " + encoder + '\n';
    for (const std::string& muxer : abilities.muxers)
        text += "M " + muxer + '\n';
    const std::string partial = file + ".part" + std::to_string(::getpid());
    const int fd = ::open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    if (!written || ::rename(partial.c_str(), file.c_str()) != 0)
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

Wording FfmpegAbilities::cannotWrite(const std::string& params) const
{
    const std::vector<std::string> words = splitCommandLine(params);
    for (std::size_t i = 0; i + 1 < words.size(); ++i) {
        const std::string& value = words[i + 1];
        if (namesEncoder(words[i]) && value != "copy" && !encoders.empty() && !encoders.contains(value))
            return reason(QT_TRANSLATE_NOOP("Reason", "the installed ffmpeg has no encoder \"%1\""), value);
        if (words[i] == "-f" && !muxers.empty() && !muxers.contains(value))
            return reason(QT_TRANSLATE_NOOP("Reason", "the installed ffmpeg has no muxer \"%1\""), value);
    }
    return {};
}

std::string FfmpegAbilities::whyCannotWrite(const std::string& params) const
{
    return cannotWrite(params).english;
}

void FfmpegProbe::setDeadline(std::chrono::milliseconds deadline)
{
    deadlineMs = deadline.count();
}

std::chrono::milliseconds FfmpegProbe::deadline()
{
    return std::chrono::milliseconds(deadlineMs.load());
}

std::shared_ptr<FfmpegProbe> FfmpegProbe::of(const std::string& ffmpegPath)
{
    // Answers come back through the main thread's mailbox, made here on the asking thread.
    ThreadMailbox::main();
    const QString found = ffmpegPath.find('/') == std::string::npos
        ? QStandardPaths::findExecutable(QString::fromStdString(ffmpegPath))
        : QString::fromStdString(ffmpegPath);
    const std::string program = found.toStdString();
    struct stat status { };
    const bool exists = !program.empty() && ::stat(program.c_str(), &status) == 0;
    const std::string stamp = exists ? stampOf(program, status) : "missing\t" + ffmpegPath;

    static std::mutex guard;
    static std::map<std::string, std::shared_ptr<FfmpegProbe>> probes; // by stamp
    const std::lock_guard lock(guard);
    std::shared_ptr<FfmpegProbe>& probe = probes[stamp];
    if (!probe) {
        probe.reset(new FfmpegProbe(program));
        if (exists) {
            FfmpegProbe* const asking = probe.get();
            probe->m_thread = std::thread([asking, stamp] { asking->ask(stamp); });
        } else {
            // Nothing to ask: a missing ffmpeg fails every item on its own.
            probe->m_answer = std::make_shared<const FfmpegAbilities>();
        }
    }
    return probe;
}

FfmpegProbe::FfmpegProbe(std::string program)
    : m_program(std::move(program))
    , m_cancelFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{ }

FfmpegProbe::~FfmpegProbe()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_cancelFd, &one, sizeof one);
    if (m_thread.joinable())
        m_thread.join();
    ::close(m_cancelFd);
}

void FfmpegProbe::ask(const std::string& stamp)
{
    std::shared_ptr<FfmpegAbilities> asked = readCache(m_program, stamp);
    if (!asked) {
        // Both questions at once: each costs an ffmpeg start.
        asked = std::make_shared<FfmpegAbilities>();
        std::string muxers;
        std::thread askMuxers([&] { muxers = answerOf(m_program, "-muxers", m_cancelFd); });
        asked->encoders = FfmpegAbilities::parseList(answerOf(m_program, "-encoders", m_cancelFd));
        askMuxers.join();
        asked->muxers = FfmpegAbilities::parseList(muxers);
        writeCache(m_program, stamp, *asked);
    }
    std::vector<std::function<void(const Answer&)>> waiting;
    {
        const std::lock_guard lock(m_mutex);
        m_answer = std::move(asked);
        waiting.swap(m_waiting);
    }
    m_answered.notify_all();
    for (const auto& done : waiting)
        deliver(done);
}

FfmpegProbe::Answer FfmpegProbe::answer() const
{
    const std::lock_guard lock(m_mutex);
    return m_answer;
}

FfmpegProbe::Answer FfmpegProbe::wait() const
{
    std::unique_lock lock(m_mutex);
    m_answered.wait(lock, [this] { return m_answer != nullptr; });
    return m_answer;
}

void FfmpegProbe::whenAnswered(std::function<void(const Answer&)> done)
{
    {
        const std::lock_guard lock(m_mutex);
        if (!m_answer) {
            m_waiting.push_back(std::move(done));
            return;
        }
    }
    deliver(done);
}

void FfmpegProbe::deliver(const std::function<void(const Answer&)>& done) const
{
    if (!QCoreApplication::instance())
        return;
    ThreadMailbox::main().post([done, answer = this->answer()] { done(answer); });
}
