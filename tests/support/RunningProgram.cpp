#include "RunningProgram.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

RunningProgram::RunningProgram(const std::vector<std::string>& arguments)
{
    int output[2];
    int errors[2];
    if (::pipe2(output, O_CLOEXEC) != 0 || ::pipe2(errors, O_CLOEXEC) != 0)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errors[1], STDERR_FILENO);
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    if (::posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(output[1]);
    ::close(errors[1]);
    m_outputFd = output[0];
    m_errorFd = errors[0];
}

RunningProgram::~RunningProgram()
{
    if (m_pid > 0 && m_exitCode < 0) {
        ::kill(m_pid, SIGKILL);
        finish();
    }
    if (m_outputFd >= 0)
        ::close(m_outputFd);
    if (m_errorFd >= 0)
        ::close(m_errorFd);
}

bool RunningProgram::readSome(int timeoutMs)
{
    pollfd fds[2] = {{m_outputFd, POLLIN, 0}, {m_errorFd, POLLIN, 0}};
    if (::poll(fds, 2, timeoutMs) <= 0)
        return false;
    bool any = false;
    char buffer[4096];
    for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
            continue;
        const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0) {
            (i == 0 ? m_output : m_errors).append(buffer, static_cast<std::size_t>(n));
            any = true;
        } else {
            ::close(fds[i].fd);
            (i == 0 ? m_outputFd : m_errorFd) = -1;
        }
    }
    return any || m_outputFd >= 0 || m_errorFd >= 0;
}

bool RunningProgram::waitForOutput(const std::string& text, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_output.find(text) == std::string::npos) {
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                  .count();
        if (left <= 0 || (m_outputFd < 0 && m_errorFd < 0))
            return false;
        readSome(static_cast<int>(left));
    }
    return true;
}

void RunningProgram::sendSignal(int signal)
{
    if (m_pid > 0)
        ::kill(m_pid, signal);
}

int RunningProgram::finish()
{
    if (m_pid <= 0)
        return -1;
    if (m_exitCode >= 0)
        return m_exitCode;
    while (m_outputFd >= 0 || m_errorFd >= 0)
        readSome(-1);
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) { }
    m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return m_exitCode;
}

int runProgram(const std::vector<std::string>& arguments, std::string* output)
{
    RunningProgram program(arguments);
    const int code = program.finish();
    if (output)
        *output = program.output();
    return code;
}
