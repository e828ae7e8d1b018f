#include "DosCommand.h"

#include "ErrorReport.h"
#include "ThreadMailbox.h"

#include <QCoreApplication>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// A line longer than this is cut there: what follows up to its end is
// dropped, so a child that never ends its line costs time and memory in
// proportion to what it wrote, not to the square of it.
constexpr std::size_t kMaxLineBytes = 64 * 1024;

std::string missing(const std::string& commandLine)
{
    return QCoreApplication::translate("TDosCommand", "%1 doesn't exist.")
        .arg(QString::fromStdString(commandLine))
        .toStdString();
}

std::string noPipe(int error)
{
    return QCoreApplication::translate("TDosCommand", "Cannot create a pipe for the child's output. %1")
        .arg(QString::fromLocal8Bit(std::strerror(error)))
        .toStdString();
}

std::string unexpected()
{
    return QCoreApplication::translate("TDosCommand", "An unexpected error occurred.").toStdString();
}

void closeFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

int openPidFd(pid_t pid)
{
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    errno = ENOSYS;
    return -1;
#endif
}

// The program a child runs: a name with a "/" as it is, any other name
// looked up on PATH, as a shell would. Empty when there is no such program.
std::string findProgram(const std::string& name)
{
    if (name.empty())
        return {};
    if (name.find('/') != std::string::npos)
        return name;
    const char* path = std::getenv("PATH");
    std::string directories = path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= directories.size()) {
        const std::size_t end = std::min(directories.find(':', start), directories.size());
        std::string directory = directories.substr(start, end - start);
        const std::string candidate = (directory.empty() ? "." : directory) + "/" + name;
        struct stat info { };
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

// True once the child has ended, without reaping it: while it is a zombie its
// pid, and so its process group id, cannot be taken by another process.
bool childHasEnded(pid_t pid)
{
    siginfo_t info {};
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
}

struct DeliveryScope {
    explicit DeliveryScope(bool& flag)
        : m_flag(flag)
    {
        m_flag = true;
    }
    ~DeliveryScope() { m_flag = false; }
    bool& m_flag;
};

} // namespace

std::vector<std::string> splitCommandLine(const std::string& commandLine)
{
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    for (char c : commandLine) {
        if (c == '"') {
            quoted = !quoted;
            inArgument = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inArgument)
                arguments.push_back(std::move(current));
            current.clear();
            inArgument = false;
        } else {
            current.push_back(c);
            inArgument = true;
        }
    }
    if (inArgument)
        arguments.push_back(std::move(current));
    return arguments;
}

// ---------------------------------------------------------------- timer

TProcessTimer::TProcessTimer(QObject* owner)
    : QObject(owner)
{
    connect(&m_timer, &QTimer::timeout, this, [this] {
        ++SinceBeginning;
        ++SinceLastOutput;
    });
}

void TProcessTimer::StartCounting()
{
    SinceBeginning = 0;
    SinceLastOutput = 0;
    m_timer.start(1000);
}

void TProcessTimer::StopCounting()
{
    m_timer.stop();
}

// ---------------------------------------------------------------- reader

// One run of a child: started from the runner, read on a thread of its own
// that is joined when the run is released.
class TDosThread final {
public:
    TDosThread(TDosCommand& owner)
        : m_owner(owner)
        , m_commandLine(owner.CommandLine)
        , m_arguments(owner.Arguments.empty() ? splitCommandLine(owner.CommandLine) : owner.Arguments)
        , m_onNewLine(owner.OnNewLine)
        , m_onTerminated(owner.OnTerminated)
        , m_maxTimeAfterBeginning(owner.MaxTimeAfterBeginning)
        , m_maxTimeAfterLastOutput(owner.MaxTimeAfterLastOutput)
        , m_showWindow(owner.ShowWindow)
        , m_creationFlag(owner.CreationFlag)
        , m_priority(owner.Priority)
        , m_timer(owner.timer())
        , m_stopFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
    { }

    ~TDosThread()
    {
        wait();
        if (m_thread.joinable())
            m_thread.join();
        closeFd(m_stopFd);
    }
    TDosThread(const TDosThread&) = delete;
    TDosThread& operator=(const TDosThread&) = delete;

    void start()
    {
        m_thread = std::thread([this] {
            run();
            std::unique_lock lock(m_finishedMutex);
            m_finished = true;
            m_finishedChanged.notify_all();
            if (m_orphaned) {
                lock.unlock();
                delete this;
            }
        });
    }
    // Lets the thread free this reader when its run is over: for a reader
    // whose owner goes while the reader waits for one of its own hand-overs,
    // which makes waiting for it here impossible.
    void orphan()
    {
        const std::lock_guard lock(m_finishedMutex);
        if (m_finished) {
            m_thread.join();
            delete this;
            return;
        }
        m_thread.detach();
        m_orphaned = true;
    }
    // Waits until the run is over; false when the time ran out first.
    bool wait(int timeoutMs = -1)
    {
        if (m_finished || timeoutMs == 0)
            return m_finished;
        std::unique_lock lock(m_finishedMutex);
        const auto finished = [this] { return m_finished.load(); };
        if (timeoutMs < 0) {
            m_finishedChanged.wait(lock, finished);
            return true;
        }
        return m_finishedChanged.wait_until(
            lock, std::chrono::system_clock::now() + std::chrono::milliseconds(timeoutMs), finished);
    }

    void requestTerminate()
    {
        m_terminate = true;
        if (m_stopFd >= 0) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const ssize_t n = ::write(m_stopFd, &one, sizeof one);
        }
    }
    bool terminateRequested() const { return m_terminate; }
    // Signals the child's process group while the child is not reaped, so
    // that its group id cannot belong to another process by then.
    bool signalGroup(int signal)
    {
        const std::lock_guard lock(m_childMutex);
        return !m_reaped && m_pid > 0 && ::kill(-m_pid, signal) == 0;
    }
    // From now on nothing is delivered to the owner.
    void ownerGone() { m_ownerGone = true; }
    // True while a hand-over of this reader runs on the main thread.
    bool inDelivery() const { return m_inDelivery; }

    // Starts the child from the calling thread, so it runs while the reader
    // thread is still being set up; an error is kept for the reader to report.
    void startChild()
    {
        try {
            spawnChild(m_pid, m_outputFd);
        } catch (const std::exception& e) {
            m_startError = e.what();
        }
    }

    void run();

private:
    struct Piece {
        std::string text;
        TOutputType type;
        TReturnCode returnCode;
    };

    friend class TDosCommand;
    void spawnChild(pid_t& pid, int& outputFd);
    // Runs work on the main thread and waits until it has run.
    void handOver(const std::function<void()>& work);
    // Reads what is waiting; false when nothing was.
    bool readOnce(int fd, std::vector<char>& buffer, bool& endOfOutput);
    void cutLines(const char* data, std::size_t n);
    void deliverPieces();
    void deliverEnd(std::uint32_t exitCode, const std::string& error);
    // An exception out of the owner's handler: reported like every error of
    // the runner, the first one of a run only, so a throwing line handler
    // cannot bury the user in messages.
    void reportHandlerError(const std::string& message);
    bool timeLimitPassed() const;

    TDosCommand& m_owner;
    const std::string m_commandLine;
    const std::vector<std::string> m_arguments;
    const TDosCommand::TNewLineEvent m_onNewLine;
    const TDosCommand::TTerminateEvent m_onTerminated;
    const std::int32_t m_maxTimeAfterBeginning;
    const std::int32_t m_maxTimeAfterLastOutput;
    const TShowWindow m_showWindow;
    const TCreationFlag m_creationFlag;
    const std::uint32_t m_priority;
    TProcessTimer* const m_timer;

    int m_stopFd;
    std::mutex m_childMutex; // guards the child's reaping against signalGroup
    bool m_reaped = false;
    pid_t m_pid = -1;
    int m_outputFd = -1;
    std::string m_startError;
    std::atomic<bool> m_terminate {false};
    std::atomic<bool> m_ownerGone {false};
    // Shared with the main thread, which may still be signalling it when this reader ends.
    const std::shared_ptr<TDosCommand::HandOverCompletion> m_handOverCompletion
        = std::make_shared<TDosCommand::HandOverCompletion>();
    std::thread m_thread;
    std::mutex m_finishedMutex;
    std::atomic<bool> m_finished {false}; // the run is over; the thread only has to return
    std::condition_variable m_finishedChanged;
    bool m_orphaned = false; // under m_finishedMutex
    bool m_inDelivery = false; // main thread only
    bool m_handlerFailed = false; // main thread only
    std::string m_carried;
    bool m_lineCut = false; // the carried line reached kMaxLineBytes; the rest of it is dropped
    bool m_previousEndedWithCR = false;
    std::vector<Piece> m_pieces;
};

void TDosThread::spawnChild(pid_t& pid, int& outputFd)
{
    const std::string program = m_arguments.empty() ? std::string() : findProgram(m_arguments.front());
    if (program.empty())
        throw TCreateProcessError(missing(m_commandLine));

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        throw TCreatePipeError(noPipe(errno));
    // The child writes its exec error here; a successful exec closes it empty.
    int errorFds[2];
    if (::pipe2(errorFds, O_CLOEXEC) != 0) {
        const int error = errno;
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        throw TCreatePipeError(noPipe(error));
    }

    // Everything the child needs is made before the vfork: between it and
    // exec only async-signal-safe calls are allowed, and no memory is written.
    std::vector<char*> argv;
    for (const std::string& argument : m_arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();

    // No handler of this program may run in the child before exec.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    // vfork: the child borrows this process's memory until exec instead of
    // copying its page tables, which made starting ffmpeg cost more than a
    // shell does. It only makes system calls and never returns from here.
    pid = ::vfork();
    if (pid == 0) {
        struct sigaction defaults { };
        defaults.sa_handler = SIG_DFL;
        for (int signal = 1; signal < NSIG; ++signal)
            ::sigaction(signal, &defaults, nullptr);
        // Its own process group, so Stop can end it with everything it started.
        ::setpgid(0, 0);
        // It dies with this program however the program ends; a parent that
        // is already gone would never send the signal.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(kCannotStart);
        // Input at end-of-file: a child that asks a question gets no answer instead of waiting forever.
        const int input = ::open("/dev/null", O_RDONLY | O_CLOEXEC); // its dup2 copy stays open
        if (input >= 0 && input != STDIN_FILENO)
            ::dup2(input, STDIN_FILENO);
        else if (input == STDIN_FILENO)
            ::fcntl(input, F_SETFD, 0);
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::dup2(pipeFds[1], STDERR_FILENO);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execve(program.c_str(), argv.data(), environ);
        const int error = errno;
        [[maybe_unused]] const ssize_t n = ::write(errorFds[1], &error, sizeof error);
        ::_exit(kCannotStart);
    }
    const int forkError = errno;
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::close(pipeFds[1]);
    ::close(errorFds[1]);
    if (pid < 0) {
        ::close(errorFds[0]);
        ::close(pipeFds[0]);
        throw TCreateProcessError(missing(m_commandLine) + " " + std::strerror(forkError));
    }
    // Set here too, so that a Stop right after the start finds the group.
    ::setpgid(pid, pid);

    int execError = 0;
    ssize_t n = 0;
    while ((n = ::read(errorFds[0], &execError, sizeof execError)) < 0 && errno == EINTR) { }
    ::close(errorFds[0]);
    if (n > 0) {
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) { }
        pid = -1;
        ::close(pipeFds[0]);
        throw TCreateProcessError(missing(m_commandLine));
    }
    outputFd = pipeFds[0];
    ::fcntl(outputFd, F_SETFL, ::fcntl(outputFd, F_GETFL) | O_NONBLOCK);
}

bool TDosThread::timeLimitPassed() const
{
    // The timer belongs to the owner and goes with it.
    if (!m_timer || m_ownerGone)
        return false;
    return (m_maxTimeAfterBeginning > 0 && m_timer->SinceBeginning > m_maxTimeAfterBeginning)
        || (m_maxTimeAfterLastOutput > 0 && m_timer->SinceLastOutput > m_maxTimeAfterLastOutput);
}

bool TDosThread::readOnce(int fd, std::vector<char>& buffer, bool& endOfOutput)
{
    // One read takes everything waiting; the buffer grows to the most ever waiting.
    int waiting = 0;
    if (::ioctl(fd, FIONREAD, &waiting) == 0 && static_cast<std::size_t>(waiting) > buffer.size())
        buffer.resize(static_cast<std::size_t>(waiting));
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n > 0) {
        cutLines(buffer.data(), static_cast<std::size_t>(n));
        deliverPieces();
        return true;
    }
    if (n == 0 || (errno != EAGAIN && errno != EINTR))
        endOfOutput = true;
    return n < 0 && errno == EINTR;
}

void TDosThread::cutLines(const char* data, std::size_t n)
{
    std::string& line = m_carried;
    char last = 0;
    for (std::size_t i = 0; i < n && !m_terminate; ++i) {
        const char c = data[i];
        last = c;
        if (c == 0)
            continue;
        if (c == '\n' && i == 0 && m_previousEndedWithCR)
            continue;
        if (c == '\r' || c == '\n') {
            TReturnCode returnCode = rcLF;
            if (c == '\r' && i + 1 < n && data[i + 1] == '\n') {
                ++i;
                last = '\n';
                returnCode = rcCRLF;
            }
            m_pieces.push_back({line, otEntireLine, returnCode});
            line.clear();
            m_lineCut = false;
            continue;
        }
        if (line.size() < kMaxLineBytes)
            line.push_back(c);
        else
            m_lineCut = true;
    }
    m_previousEndedWithCR = last == '\r';
    // A line cut short was told at its limit already.
    if (!line.empty() && !m_lineCut)
        m_pieces.push_back({line, otBeginningOfLine, rcCRLF});
}

// Hands the pieces of one read to the main thread and waits until they are
// handled; one hand-over per read keeps a chatty child from being throttled
// by a thread switch per line.
void TDosThread::deliverPieces()
{
    if (m_pieces.empty())
        return;
    handOver([this] {
        const DeliveryScope scope(m_inDelivery);
        for (const Piece& piece : m_pieces) {
            if (m_ownerGone || m_terminate)
                break;
            if (m_timer)
                m_timer->NoteOutput();
            if (piece.type == otEntireLine)
                m_owner.m_outputReturnCode = piece.returnCode;
            if (!m_onNewLine)
                continue;
            // A failing handler must not end the reading; it is reported once a run.
            try {
                m_onNewLine(&m_owner, piece.text, piece.type);
            } catch (const std::exception& e) {
                reportHandlerError(e.what());
            } catch (...) {
                reportHandlerError(unexpected());
            }
        }
    });
    m_pieces.clear();
}

void TDosThread::deliverEnd(std::uint32_t exitCode, const std::string& error)
{
    handOver([this, exitCode, &error] {
        if (m_ownerGone)
            return;
        const DeliveryScope scope(m_inDelivery);
        if (m_timer && (m_owner.m_reader == this || m_owner.m_reader == nullptr))
            m_timer->StopCounting();
        // A child that ended by itself leaves the runner idle.
        if (m_owner.m_reader == this)
            m_owner.m_reader = nullptr;
        // Said before the end is reported, so that it comes before whatever the end leads to.
        if (!error.empty())
            reportError(error);
        if (m_onTerminated) {
            try {
                m_onTerminated(&m_owner, exitCode);
            } catch (const std::exception& e) {
                reportHandlerError(e.what());
            } catch (...) {
                reportHandlerError(unexpected());
            }
        }
    });
}

void TDosThread::reportHandlerError(const std::string& message)
{
    if (m_handlerFailed)
        return;
    m_handlerFailed = true;
    reportError(message);
}

void TDosThread::handOver(const std::function<void()>& work)
{
    if (m_ownerGone)
        return;
    m_handOverCompletion->done = false;
    TDosCommand::HandOver request {work, m_handOverCompletion};
    m_owner.enqueueHandOver(&request);
    std::unique_lock lock(m_handOverCompletion->mutex);
    m_handOverCompletion->changed.wait(lock, [this] { return m_handOverCompletion->done; });
}

void TDosThread::run()
{
    const std::string& error = m_startError;
    std::uint32_t exitCode = error.empty() ? kStillActive : kCannotStart;
    const pid_t pid = m_pid;
    int& outputFd = m_outputFd;
    int pidFd = -1;

    if (pid > 0) {
        pidFd = openPidFd(pid);
        const bool limited = m_maxTimeAfterBeginning > 0 || m_maxTimeAfterLastOutput > 0;
        // Without a pidfd the child's end is noticed by looking every 10 ms.
        const int timeout = pidFd < 0 ? 10 : (limited ? 250 : -1);
        std::vector<char> buffer(1024);
        bool endOfOutput = false;
        bool ended = false;
        for (;;) {
            pollfd fds[3] = {{endOfOutput ? -1 : outputFd, POLLIN, 0}, {pidFd, POLLIN, 0}, {m_stopFd, POLLIN, 0}};
            if (::poll(fds, 3, timeout) < 0 && errno != EINTR)
                break;
            // The end is read before the pipe so that this cycle still takes the child's last words.
            ended = pidFd >= 0 ? (fds[1].revents & POLLIN) != 0 : childHasEnded(pid);
            if (!endOfOutput && (fds[0].revents & (POLLIN | POLLHUP | POLLERR)))
                readOnce(outputFd, buffer, endOfOutput);
            if (ended) {
                // What the child wrote is in the pipe by now. Whatever it left
                // running may hold the pipe open and is ended first, so the
                // drain below stops at the first empty read instead of waiting.
                ::kill(-pid, SIGKILL);
                while (!endOfOutput && !m_terminate && readOnce(outputFd, buffer, endOfOutput)) { }
                break;
            }
            if (m_terminate || timeLimitPassed())
                break;
        }
        if (!m_carried.empty() && !m_terminate) {
            m_pieces.push_back({m_carried, otBeginningOfLine, rcCRLF});
            deliverPieces();
        }
        // Whatever is left of the child's process group goes with it.
        ::kill(-pid, SIGKILL);
        int status = 0;
        {
            const std::lock_guard lock(m_childMutex);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
            m_reaped = true;
        }
        if (ended) {
            if (WIFEXITED(status))
                exitCode = static_cast<std::uint32_t>(WEXITSTATUS(status));
            else if (WIFSIGNALED(status))
                exitCode = 128u + static_cast<std::uint32_t>(WTERMSIG(status));
        }
    }
    closeFd(pidFd);
    closeFd(outputFd);
    deliverEnd(exitCode, error);
}

// ---------------------------------------------------------------- runner

TDosCommand::TDosCommand(QObject* owner)
    : QObject(owner)
    , m_alive(std::make_shared<bool>(true))
{
    // Made here, on the thread its readers hand their events to.
    ThreadMailbox::main();
}

TDosCommand::~TDosCommand()
{
    for (auto& reader : m_readers) {
        reader->ownerGone();
        reader->requestTerminate();
        // Destroyed from one of this reader's own events: it cannot be waited
        // for here, but it delivers nothing more and goes once it has ended.
        if (reader->inDelivery())
            reader.release()->orphan();
    }
    std::erase(m_readers, nullptr);
    // Readers may be waiting for a hand-over; serve those (they deliver
    // nothing now) until every reader has ended.
    for (const auto& reader : m_readers) {
        while (!reader->wait(5))
            runHandOvers();
    }
    m_readers.clear();
    *m_alive = false;
}

void TDosCommand::enqueueHandOver(HandOver* request)
{
    bool wake = false;
    {
        const std::lock_guard lock(m_handOverMutex);
        wake = m_handOvers.empty();
        m_handOvers.push_back(request);
    }
    // One wake-up serves every request queued before it runs.
    if (wake)
        ThreadMailbox::main().post([this, alive = m_alive] {
            if (*alive)
                runHandOvers();
        });
}

void TDosCommand::runHandOvers()
{
    const std::shared_ptr<bool> alive = m_alive;
    for (;;) {
        HandOver* request = nullptr;
        {
            const std::lock_guard lock(m_handOverMutex);
            if (m_handOvers.empty())
                return;
            request = m_handOvers.front();
            m_handOvers.pop_front();
        }
        request->work();
        // The request lives on the reader's stack and is gone once done is
        // seen; the completion is kept alive here for the notify.
        const std::shared_ptr<HandOverCompletion> completion = request->completion;
        {
            const std::lock_guard lock(completion->mutex);
            completion->done = true;
        }
        completion->changed.notify_one();
        // The work may have destroyed this runner; then nothing of it may be touched.
        if (!*alive)
            return;
    }
}

void TDosCommand::Execute()
{
    if (CommandLine.empty())
        return;
    Stop();
    releaseEndedReaders();
    if (!m_timer)
        m_timer = std::make_unique<TProcessTimer>(nullptr);
    auto reader = std::make_unique<TDosThread>(*this);
    TDosThread* started = reader.get();
    m_readers.push_back(std::move(reader));
    m_reader = started;
    m_timer->StartCounting();
    started->startChild();
    started->start();
}

bool TDosCommand::signalChild(int signal)
{
    return m_reader && m_reader->signalGroup(signal);
}

void TDosCommand::Stop()
{
    if (!m_reader)
        return;
    m_reader->requestTerminate();
    m_reader = nullptr;
}

void TDosCommand::releaseEndedReaders()
{
    std::erase_if(m_readers, [this](const std::unique_ptr<TDosThread>& reader) {
        if (!reader->wait(0))
            return false;
        if (m_reader == reader.get())
            m_reader = nullptr;
        return true;
    });
}
