#pragma once

#include <QObject>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

enum TOutputType { otEntireLine, otBeginningOfLine };
enum TReturnCode { rcCRLF, rcLF };

// Show modes and creation flags of a console window; kept for callers that
// set them, without effect on Linux.
enum TShowWindow {
    swHIDE = 0,
    swMAXIMIZE = 3,
    swMINIMIZE = 6,
    swRESTORE = 9,
    swSHOW = 5,
    swSHOWDEFAULT = 10,
    swSHOWMAXIMIZED = 3,
    swSHOWMINIMIZED = 2,
    swSHOWMINNOACTIVE = 7,
    swSHOWNA = 8,
    swSHOWNOACTIVATE = 4,
    swSHOWNORMAL = 1,
};
enum TCreationFlag : std::uint32_t {
    fCREATE_DEFAULT_ERROR_MODE = 0x04000000,
    fCREATE_NEW_CONSOLE = 0x10,
    fCREATE_NEW_PROCESS_GROUP = 0x200,
    fCREATE_SEPARATE_WOW_VDM = 0x800,
    fCREATE_SHARED_WOW_VDM = 0x1000,
    fCREATE_SUSPENDED = 0x4,
    fCREATE_UNICODE_ENVIRONMENT = 0x400,
    fDEBUG_PROCESS = 0x1,
    fDEBUG_ONLY_THIS_PROCESS = 0x2,
    fDETACHED_PROCESS = 0x8,
};

class TCreatePipeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
class TCreateProcessError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Exit code reported for a child ended by Stop or a time limit.
inline constexpr std::uint32_t kStillActive = 259;
// Exit code reported when the child could not be started.
inline constexpr std::uint32_t kCannotStart = 127;

// Splits a command line at blanks; a double-quoted run is one argument
// without its quotes.
std::vector<std::string> splitCommandLine(const std::string& commandLine);

// Seconds since the child started and since its last output, for the time limits.
class TProcessTimer final : public QObject {
    Q_OBJECT

public:
    explicit TProcessTimer(QObject* owner);
    void StartCounting();
    void NoteOutput() { SinceLastOutput = 0; }
    void StopCounting();

    std::atomic<std::int32_t> SinceBeginning {0};
    std::atomic<std::int32_t> SinceLastOutput {0};

private:
    QTimer m_timer;
};

class TDosThread;

// Runs one console program as a child in its own process group, with its
// standard output and error in one pipe and its input at end-of-file, cuts
// what it writes into lines, and reports each line and the end of the run on
// the main thread. The reading happens on a thread of its own that sleeps in
// poll() until the child writes, ends or is stopped.
class TDosCommand final : public QObject {
    Q_OBJECT

public:
    using TNewLineEvent = std::function<void(TDosCommand* Sender, const std::string& NewLine, TOutputType OutputType)>;
    using TTerminateEvent = std::function<void(TDosCommand* Sender, std::uint32_t ExitCode)>;

    explicit TDosCommand(QObject* owner = nullptr);
    ~TDosCommand() override;

    // Does nothing when CommandLine is empty; otherwise detaches any earlier
    // run and starts a new one. Returns at once.
    void Execute();
    // Asks the attached run to end its child and detaches it; returns at once.
    // The run still reports its end through OnTerminated, with 259.
    void Stop();

    bool isRunning() const { return m_reader != nullptr; }
    // Sends signal to the attached run's child and everything in its process
    // group (SIGSTOP and SIGCONT pause and resume it); false when there is no
    // child to signal.
    bool signalChild(int signal);
    TReturnCode OutputReturnCode() const { return m_outputReturnCode; }
    TProcessTimer* timer() const { return m_timer.get(); }

    std::string CommandLine;
    // The child's argument vector; when empty, CommandLine split at blanks.
    std::vector<std::string> Arguments;
    TNewLineEvent OnNewLine;
    TTerminateEvent OnTerminated;
    bool InputToOutput = false;
    std::int32_t MaxTimeAfterBeginning = 0;
    std::int32_t MaxTimeAfterLastOutput = 0;
    TShowWindow ShowWindow = swHIDE;
    TCreationFlag CreationFlag = fCREATE_NEW_CONSOLE;
    TReturnCode ReturnCode = rcCRLF;
    std::uint32_t Priority = 32;

private:
    friend class TDosThread;
    // One request of a reader to run something on the main thread, and how
    // the reader learns that it has run.
    struct HandOverCompletion {
        std::mutex mutex;
        std::condition_variable changed;
        bool done = false;
    };
    struct HandOver {
        const std::function<void()>& work;
        std::shared_ptr<HandOverCompletion> completion;
    };
    // Frees the readers whose runs are over.
    void releaseEndedReaders();
    // Readers hand their events to the main thread through this queue; the
    // main thread's mailbox wakes its event loop, so a runner holds no
    // descriptor of its own.
    void enqueueHandOver(HandOver* request);
    void runHandOvers();

    std::unique_ptr<TProcessTimer> m_timer;
    TDosThread* m_reader = nullptr;
    // Every reader that has not ended yet, attached or not.
    std::vector<std::unique_ptr<TDosThread>> m_readers;
    TReturnCode m_outputReturnCode = rcCRLF;
    std::mutex m_handOverMutex;
    std::deque<HandOver*> m_handOvers;
    std::shared_ptr<bool> m_alive; // false once destroyed, for work that destroys it
};
