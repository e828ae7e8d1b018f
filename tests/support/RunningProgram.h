#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// A program run by a test, with its output and error captured; posix_spawn
// rather than QProcess, which keeps thread checkers' view of the test intact.
class RunningProgram final {
public:
    explicit RunningProgram(const std::vector<std::string>& arguments);
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    // Reads standard output until it contains text; false when the program
    // ended or the time ran out first.
    bool waitForOutput(const std::string& text, int timeoutMs = 30000);
    void sendSignal(int signal);
    // Waits for the end; the exit code, or 128 + the signal that ended it.
    int finish();

    pid_t pid() const { return m_pid; }
    const std::string& output() const { return m_output; }
    const std::string& errors() const { return m_errors; }

private:
    bool readSome(int timeoutMs);

    pid_t m_pid = -1;
    int m_outputFd = -1;
    int m_errorFd = -1;
    std::string m_output;
    std::string m_errors;
    int m_exitCode = -1;
};

// Runs a program to its end; its exit code, or -1 when it could not start.
int runProgram(const std::vector<std::string>& arguments, std::string* output = nullptr);
