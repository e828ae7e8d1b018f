#include "DosCommand.h"
#include "EngineTestSupport.h"
#include "ErrorReport.h"
#include "ProcessInfo.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <memory>

namespace {

struct Line {
    std::string text;
    TOutputType type;
    TReturnCode returnCode;
    bool operator==(const Line&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Line& line)
{
    return out << "{\"" << line.text << "\", " << (line.type == otEntireLine ? "entire" : "start") << ", "
               << (line.returnCode == rcCRLF ? "CRLF" : "LF") << "}";
}

// Records everything a runner reports.
struct Recorder {
    std::vector<Line> lines;
    std::vector<std::uint32_t> ends;

    void attach(TDosCommand& runner)
    {
        runner.OnNewLine = [this](TDosCommand* sender, const std::string& text, TOutputType type) {
            lines.push_back({text, type, type == otEntireLine ? sender->OutputReturnCode() : rcCRLF});
        };
        runner.OnTerminated = [this](TDosCommand*, std::uint32_t code) { ends.push_back(code); };
    }
};

std::vector<Line> run(std::vector<std::string> arguments, std::uint32_t* exitCode = nullptr)
{
    TDosCommand runner;
    Recorder recorder;
    recorder.attach(runner);
    arguments.insert(arguments.begin(), fakeChild());
    runner.Arguments = arguments;
    runner.CommandLine = "fake child";
    runner.Execute();
    EXPECT_TRUE(waitFor([&] { return !recorder.ends.empty(); }));
    processPendingEvents(); // nothing may follow the end
    EXPECT_EQ(recorder.ends.size(), 1u);
    if (exitCode && !recorder.ends.empty())
        *exitCode = recorder.ends.front();
    return recorder.lines;
}

TEST(Runner, CutsLinesAtEveryLineEndAcrossReads)
{
    const std::vector<std::pair<std::vector<std::string>, std::vector<Line>>> cases = {
        {{"bytes", "a\\r\\nb\\r\\n", "0"}, {{"a", otEntireLine, rcCRLF}, {"b", otEntireLine, rcCRLF}}},
        {{"bytes", "a\\rb\\n", "0"}, {{"a", otEntireLine, rcLF}, {"b", otEntireLine, rcLF}}},
        {{"chunks", "150", "abc", "def\\r\\n"}, {{"abc", otBeginningOfLine, rcCRLF}, {"abcdef", otEntireLine, rcCRLF}}},
        {{"chunks", "150", "a\\r", "\\nb\\n"}, {{"a", otEntireLine, rcLF}, {"b", otEntireLine, rcLF}}},
        {{"bytes", "\\r\\n\\r\\n", "0"}, {{"", otEntireLine, rcCRLF}, {"", otEntireLine, rcCRLF}}},
        {{"bytes", "n\\0u\\0l\\n", "0"}, {{"nul", otEntireLine, rcLF}}},
        {{"bytes", "tail", "0"}, {{"tail", otBeginningOfLine, rcCRLF}, {"tail", otBeginningOfLine, rcCRLF}}},
        {{"bytes", "50%\\r60%\\r", "0"}, {{"50%", otEntireLine, rcLF}, {"60%", otEntireLine, rcLF}}},
    };
    for (const auto& [arguments, expected] : cases)
        EXPECT_EQ(run(arguments), expected) << arguments[1];
}

TEST(Runner, ALineWithoutEndIsCutAtItsLimitAndTheNextLineIsWhole)
{
    const std::vector<Line> lines = run({"long-line", "20"});
    ASSERT_GE(lines.size(), 2u);
    const auto entire
        = std::find_if(lines.begin(), lines.end(), [](const Line& line) { return line.type == otEntireLine; });
    ASSERT_NE(entire, lines.end());
    EXPECT_EQ(entire->text, std::string(64 * 1024, 'x')) << "cut at 64 KiB";
    for (auto piece = lines.begin(); piece != entire; ++piece)
        EXPECT_LE(piece->text.size(), 64u * 1024) << "its beginnings are cut there too";
    EXPECT_EQ(lines.back(), (Line {"end", otEntireLine, rcLF}));
}

TEST(Runner, SignalsReachTheWholeProcessGroupWhileTheChildLives)
{
    TempDir dir;
    const std::string pidFile = dir.file("grandchild.pid");
    TDosCommand runner;
    Recorder recorder;
    recorder.attach(runner);
    EXPECT_FALSE(runner.signalChild(SIGSTOP)) << "nothing runs";
    runner.Arguments = {fakeChild(), "grandchild", pidFile};
    runner.CommandLine = "fake child";
    runner.Execute();
    const long grandchild = pidWrittenTo(pidFile);
    ASSERT_GT(grandchild, 0);
    ASSERT_TRUE(runner.signalChild(SIGSTOP));
    EXPECT_TRUE(waitFor([&] { return processState(grandchild) == 'T'; })) << "held with its parent";
    ASSERT_TRUE(runner.signalChild(SIGCONT));
    EXPECT_TRUE(waitFor([&] { return processState(grandchild) != 'T'; }));
    // A held child still ends at Stop.
    runner.signalChild(SIGSTOP);
    runner.Stop();
    ASSERT_TRUE(waitFor([&] { return !recorder.ends.empty(); }));
    EXPECT_EQ(recorder.ends.front(), kStillActive);
    EXPECT_TRUE(waitFor([&] { return !processRuns(grandchild); }));
    EXPECT_FALSE(runner.signalChild(SIGCONT)) << "nothing left to signal";
}

TEST(Runner, ReportsTheChildsExitCode)
{
    std::uint32_t code = 0;
    run({"bytes", "", "3"}, &code);
    EXPECT_EQ(code, 3u);
    run({"bytes", "x\\n", "0"}, &code);
    EXPECT_EQ(code, 0u);
}

TEST(Runner, PassesArgumentsIntact)
{
    const std::vector<std::string> awkward = {"with blanks", "\"double\" quotes", "it's", "caf\xC3\xA9", "-dash", ""};
    std::vector<std::string> arguments = {"args"};
    arguments.insert(arguments.end(), awkward.begin(), awkward.end());
    const std::vector<Line> lines = run(arguments);
    ASSERT_EQ(lines.size(), awkward.size());
    for (std::size_t i = 0; i < awkward.size(); ++i)
        EXPECT_EQ(lines[i].text, awkward[i]);

    EXPECT_EQ(splitCommandLine("\"/usr/bin/ff mpeg\" -i \"a b.avi\"  -c:v  x \"\""),
        (std::vector<std::string> {"/usr/bin/ff mpeg", "-i", "a b.avi", "-c:v", "x", ""}));
}

TEST(Runner, EmptyCommandLineDoesNothing)
{
    TDosCommand runner;
    Recorder recorder;
    recorder.attach(runner);
    runner.Execute();
    EXPECT_FALSE(runner.isRunning());
    processPendingEvents();
    EXPECT_TRUE(recorder.ends.empty());
}

TEST(Runner, StopEndsTheWholeProcessGroupAndReports259)
{
    TempDir dir;
    const std::string pidFile = dir.file("grandchild.pid");
    TDosCommand runner;
    Recorder recorder;
    recorder.attach(runner);
    runner.Arguments = {fakeChild(), "grandchild", pidFile};
    runner.CommandLine = "grandchild";
    runner.Execute();
    const long grandchild = pidWrittenTo(pidFile);
    ASSERT_GT(grandchild, 0);
    ASSERT_TRUE(processRuns(grandchild));
    runner.Stop();
    EXPECT_FALSE(runner.isRunning()) << "Stop detaches at once";
    ASSERT_TRUE(waitFor([&] { return !recorder.ends.empty(); }));
    EXPECT_EQ(recorder.ends, std::vector<std::uint32_t> {kStillActive});
    EXPECT_TRUE(waitFor([&] { return !processRuns(grandchild); }));
}

TEST(Runner, ChildThatIgnoresTermIsStillEnded)
{
    TDosCommand runner;
    Recorder recorder;
    recorder.attach(runner);
    runner.Arguments = {fakeChild(), "ignore-term", "60"};
    runner.CommandLine = "stubborn";
    runner.Execute();
    ASSERT_TRUE(waitFor([&] { return !recorder.lines.empty(); })) << "it ignores SIGTERM from now on";
    runner.Stop();
    ASSERT_TRUE(waitFor([&] { return !recorder.ends.empty(); }));
    EXPECT_EQ(recorder.ends.front(), kStillActive);
}

TEST(Runner, ExecuteDuringARunDetachesTheEarlierOne)
{
    TDosCommand runner;
    Recorder recorder;
    recorder.attach(runner);
    runner.Arguments = {fakeChild(), "sleep", "60"};
    runner.CommandLine = "first";
    runner.Execute();
    runner.Arguments = {fakeChild(), "bytes", "second\\n", "4"};
    runner.CommandLine = "second";
    runner.Execute();
    ASSERT_TRUE(waitFor([&] { return recorder.ends.size() == 2; }));
    std::vector<std::uint32_t> ends = recorder.ends;
    std::sort(ends.begin(), ends.end());
    EXPECT_EQ(ends, (std::vector<std::uint32_t> {4, kStillActive}));
    EXPECT_EQ(recorder.lines, (std::vector<Line> {{"second", otEntireLine, rcLF}}));
}

TEST(Runner, TimeLimitAfterLastOutputEndsASilentChild)
{
    TDosCommand runner;
    Recorder recorder;
    recorder.attach(runner);
    runner.MaxTimeAfterLastOutput = 1;
    runner.Arguments = {fakeChild(), "sleep", "60"};
    runner.CommandLine = "silent";
    QElapsedTimer clock;
    clock.start();
    runner.Execute();
    ASSERT_TRUE(waitFor([&] { return !recorder.ends.empty(); }, 30000)) << "well before the child's 60 s";
    EXPECT_EQ(recorder.ends.front(), kStillActive);
    EXPECT_GE(clock.elapsed(), 1900) << "ended only after the second tick";
}

TEST(Runner, MissingProgramReportsOnceAndEndsTheRun)
{
    std::vector<std::string> reported;
    setErrorReporter([&](const std::string& message) { reported.push_back(message); });
    TDosCommand runner;
    Recorder recorder;
    recorder.attach(runner);
    runner.CommandLine = "\"/no/such/ffmpeg\" -i \"a.avi\"";
    runner.Execute();
    ASSERT_TRUE(waitFor([&] { return !recorder.ends.empty() && !reported.empty(); }));
    setErrorReporter(nullptr);
    EXPECT_NE(recorder.ends.front(), 0u);
    EXPECT_TRUE(recorder.lines.empty());
    EXPECT_EQ(reported, std::vector<std::string> {"\"/no/such/ffmpeg\" -i \"a.avi\" doesn't exist."});
}

TEST(Runner, DestructionDuringARunEndsTheChildAndReportsNothing)
{
    TempDir dir;
    const std::string pidFile = dir.file("grandchild.pid");
    Recorder recorder;
    long grandchild = 0;
    {
        TDosCommand runner;
        recorder.attach(runner);
        runner.Arguments = {fakeChild(), "grandchild", pidFile};
        runner.CommandLine = "doomed";
        runner.Execute();
        grandchild = pidWrittenTo(pidFile);
        ASSERT_GT(grandchild, 0);
    }
    processPendingEvents(); // the runner waited for its reader
    EXPECT_TRUE(recorder.ends.empty());
    EXPECT_TRUE(waitFor([&] { return !processRuns(grandchild); }));
}

TEST(Runner, HandlerThatDestroysTheRunnerIsSafe)
{
    const int threadsBefore = threadCount();
    auto runner = std::make_unique<TDosCommand>();
    int lines = 0;
    runner->OnNewLine = [&](TDosCommand*, const std::string&, TOutputType) {
        ++lines;
        runner.reset();
    };
    runner->Arguments = {fakeChild(), "chunks", "100", "one\\n", "two\\n", "three\\n"};
    runner->CommandLine = "chatty";
    runner->Execute();
    ASSERT_TRUE(waitFor([&] { return !runner; }));
    // The reader, left to end by itself, delivers nothing more on its way out.
    ASSERT_TRUE(waitFor([&] { return threadCount() <= threadsBefore; }));
    processPendingEvents();
    EXPECT_EQ(lines, 1);
}

TEST(Runner, FloodOfOutputArrivesCompleteAndInOrder)
{
    TDosCommand runner;
    long long expected = 0;
    bool inOrder = true;
    bool ended = false;
    runner.OnNewLine = [&](TDosCommand*, const std::string& text, TOutputType type) {
        if (type != otEntireLine)
            return;
        inOrder = inOrder && text == "line " + std::to_string(expected);
        ++expected;
    };
    runner.OnTerminated = [&](TDosCommand*, std::uint32_t) { ended = true; };
    runner.Arguments = {fakeChild(), "flood", "20"};
    runner.CommandLine = "flood";
    runner.Execute();
    ASSERT_TRUE(waitFor([&] { return ended; }, 180000));
    EXPECT_TRUE(inOrder);
    EXPECT_GT(expected, 1000000);
}

TEST(Runner, EndComesAtOnceWhileAGrandchildHoldsThePipe)
{
    TempDir dir;
    // One grandchild stays in the child's process group, one leaves it; both keep the pipe open.
    writeScript(dir.file("leaver"),
        "sleep 30 & echo $! > \"" + dir.file("group.pid")
            + "\"\n"
              "setsid sleep 30 & echo $! > \""
            + dir.file("session.pid")
            + "\"\n"
              "echo bye\nexit 4");
    TDosCommand runner;
    Recorder recorder;
    recorder.attach(runner);
    runner.Arguments = {dir.file("leaver")};
    runner.CommandLine = "leaver";
    runner.Execute();
    // Well before the 30 s that the grandchildren hold the pipe.
    ASSERT_TRUE(waitFor([&] { return !recorder.ends.empty(); }, 15000))
        << "the end does not wait for what the child left running";
    EXPECT_EQ(recorder.ends.front(), 4u);
    EXPECT_EQ(recorder.lines, (std::vector<Line> {{"bye", otEntireLine, rcLF}}));
    const long inGroup = pidWrittenTo(dir.file("group.pid"));
    const long inSession = pidWrittenTo(dir.file("session.pid"));
    EXPECT_TRUE(waitFor([&] { return !processRuns(inGroup); }, 10000)) << "its own group is ended with it";
    if (inSession > 0)
        ::kill(static_cast<pid_t>(inSession), SIGKILL);
}

TEST(Runner, ThreadsDoNotGrowWithTheNumberOfRuns)
{
    // Runs started one after another from the end of the previous one, as the
    // driver does. How many readers overlap for a moment depends on how the
    // machine schedules them; what must not happen is that any stays once its
    // run is over. So the threads are counted after the runs, once the
    // readers had the time to end, and must come back to what they were,
    // after a few runs as after ten times as many.
    TDosCommand runner;
    int ended = 0;
    int wanted = 0;
    runner.OnTerminated = [&](TDosCommand* sender, std::uint32_t) {
        if (++ended < wanted)
            sender->Execute();
    };
    runner.Arguments = {"/bin/false"};
    runner.CommandLine = "false";
    const int before = threadCount();
    const auto runAndSettle = [&](int runs) {
        wanted += runs;
        runner.Execute();
        if (!waitFor([&] { return ended == wanted; }, 120000))
            return false;
        // One more thread than before at most, for anything Qt or the C
        // library starts once and keeps; one per run would be many more.
        return waitFor([&] { return threadCount() <= before + 1; }, 30000);
    };
    constexpr int kRuns = 20;
    EXPECT_TRUE(runAndSettle(kRuns)) << threadCount() << " threads after " << ended << " runs, " << before
                                     << " before them";
    EXPECT_TRUE(runAndSettle(10 * kRuns))
        << threadCount() << " threads after " << ended << " runs, " << before << " before them";
}

TEST(Runner, AThrowingHandlerIsReportedOnceAndTheReadingGoesOn)
{
    std::vector<std::string> reported;
    setErrorReporter([&](const std::string& message) { reported.push_back(message); });
    TDosCommand runner;
    int lines = 0;
    bool ended = false;
    runner.OnNewLine = [&](TDosCommand*, const std::string&, TOutputType type) {
        if (type != otEntireLine)
            return;
        ++lines;
        throw std::runtime_error("handler failed at line " + std::to_string(lines));
    };
    runner.OnTerminated = [&](TDosCommand*, std::uint32_t) { ended = true; };
    runner.Arguments = {fakeChild(), "bytes", "a\\nb\\nc\\n", "0"};
    runner.CommandLine = "three lines";
    runner.Execute();
    ASSERT_TRUE(waitFor([&] { return ended; }));
    setErrorReporter(nullptr);
    EXPECT_EQ(lines, 3);
    EXPECT_EQ(reported, std::vector<std::string> {"handler failed at line 1"});
}

} // namespace
