// What calvera-batch shows on a terminal, read through a pseudo-terminal.

#include "BatchTestSupport.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>

#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>

namespace {

// calvera-batch with its standard error on a terminal of some columns and
// its standard output elsewhere; what the terminal showed.
class Terminal final {
public:
    Terminal(const std::vector<std::string>& arguments, unsigned short columns, const std::string& term,
        const std::string& output)
    {
        winsize size {};
        size.ws_row = 24;
        size.ws_col = columns;
        m_pid = ::forkpty(&m_master, nullptr, nullptr, &size);
        if (m_pid == 0) {
            const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(out, STDOUT_FILENO);
            ::setenv("TERM", term.c_str(), 1);
            std::vector<char*> argv;
            for (const std::string& argument : arguments)
                argv.push_back(const_cast<char*>(argument.c_str()));
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
    }
    ~Terminal()
    {
        if (m_master >= 0)
            ::close(m_master);
    }
    // Reads what the terminal shows until the program ends, calling resize once after the first live line.
    int readToTheEnd(const std::function<void()>& onFirstLine)
    {
        bool resized = false;
        for (;;) {
            pollfd ready {m_master, POLLIN, 0};
            if (::poll(&ready, 1, 30000) <= 0)
                break;
            char buffer[4096];
            const ssize_t got = ::read(m_master, buffer, sizeof buffer);
            if (got <= 0)
                break;
            shown.append(buffer, static_cast<std::size_t>(got));
            if (!resized && shown.find("\r\033[K[") != std::string::npos) {
                resized = true;
                onFirstLine();
            }
        }
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void resize(unsigned short columns)
    {
        winsize size {};
        size.ws_row = 24;
        size.ws_col = columns;
        ::ioctl(m_master, TIOCSWINSZ, &size);
        sizeChangedAt = shown.size();
    }

    std::string shown;
    std::size_t sizeChangedAt = std::string::npos;

private:
    int m_master = -1;
    pid_t m_pid = -1;
};

// The widest live line drawn in text, in characters (the test's names are ASCII).
std::size_t widestLiveLine(const std::string& text)
{
    std::size_t widest = 0;
    const std::string redraw = "\r\033[K";
    for (std::size_t at = text.find(redraw); at != std::string::npos; at = text.find(redraw, at + 1)) {
        const std::size_t start = at + redraw.size();
        const std::size_t end = text.find_first_of("\r\n", start);
        widest = std::max(widest, (end == std::string::npos ? text.size() : end) - start);
    }
    return widest;
}

TEST_F(QueueTest, TheLiveLineGoesToStandardErrorCutToTheTerminalsWidthAndFollowsIt)
{
    // Says its input lasts 10 s and how far it is, ten times a second, for about three seconds.
    standIn("echo '  Duration: 00:00:10.00, start: 0.000000, bitrate: 100 kb/s'\n"
            "for i in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30; do\n"
            "  printf 'frame=%d fps=5 q=1 size=1kB time=00:00:0%d.00 bitrate=1kbits/s speed=3x\\r' $i $((i / 4))\n"
            "  sleep 0.1\n"
            "done");
    const std::vector<std::string> arguments = run({}, {"a-rather-long-clip-name-for-a-narrow-terminal"});
    Terminal terminal(arguments, 40, "xterm", dir.file("stdout"));
    EXPECT_EQ(terminal.readToTheEnd([&] { terminal.resize(70); }), 0) << terminal.shown;
    ASSERT_NE(terminal.sizeChangedAt, std::string::npos) << "a live line was drawn: " << terminal.shown;
    EXPECT_EQ(widestLiveLine(terminal.shown.substr(0, terminal.sizeChangedAt)), 39u)
        << "one column short of the edge, never wrapped";
    EXPECT_EQ(widestLiveLine(terminal.shown.substr(terminal.sizeChangedAt)), 69u) << "redrawn for the new width";
    const std::string outcome = readFileBytes(dir.file("stdout"));
    EXPECT_NE(outcome.find("done   exit 0"), std::string::npos) << "outcome lines stay on standard output";
    EXPECT_EQ(outcome.find("\033[K"), std::string::npos);

    Terminal dumb(arguments, 40, "dumb", dir.file("stdout"));
    EXPECT_EQ(dumb.readToTheEnd([] {}), 0);
    EXPECT_EQ(dumb.shown.find("\033[K"), std::string::npos) << "a dumb terminal cannot redraw a line";
}

TEST_F(QueueTest, BeforeFfmpegSaysHowFarItIsTheLiveLineSaysStartingAndOneItemHasOneTimeLeft)
{
    // Names the input's length, is silent for a moment, then says how far it is.
    standIn("echo '  Duration: 00:00:10.00, start: 0.000000, bitrate: 100 kb/s'\nsleep 1.5\n"
            "for i in $(seq 30); do\n"
            "  printf 'frame=%d fps=5 q=1 size=1kB time=00:00:0%d.00 bitrate=1kbits/s speed=3x\\r' $i $((i / 4))\n"
            "  sleep 0.1\n"
            "done");
    Terminal terminal(run({}, {"clip"}), 200, "xterm", dir.file("stdout"));
    EXPECT_EQ(terminal.readToTheEnd([] {}), 0) << terminal.shown;
    const std::size_t starting = terminal.shown.find("-] starting");
    EXPECT_NE(starting, std::string::npos) << terminal.shown;
    EXPECT_EQ(terminal.shown.find("00:00:00 converted"), std::string::npos) << "reads as if it were done";
    EXPECT_NE(terminal.shown.find("%", starting), std::string::npos) << terminal.shown;
    EXPECT_NE(terminal.shown.find(" left", starting), std::string::npos) << terminal.shown;
    EXPECT_EQ(terminal.shown.find("run "), std::string::npos) << "one item: its own time left only";
}

TEST_F(QueueTest, QuietSaysOnlyWhatWentWrongAndVerboseShowsFfmpegsOwnLines)
{
    standIn("echo 'ffmpeg says hello'\ncase \"$source\" in *bad*) echo 'bad input'; exit 1;; esac");
    RunningProgram quiet(run({"-q"}, {"good", "bad"}));
    EXPECT_EQ(quiet.finish(), 1);
    EXPECT_EQ(quiet.output().find("[1/2]"), std::string::npos);
    EXPECT_EQ(quiet.output().find("done"), std::string::npos);
    EXPECT_NE(
        quiet.output().find("failed exit 1   " + dir.file("out/bad.mp3") + "\n       bad input\n"), std::string::npos)
        << quiet.output();
    EXPECT_NE(quiet.output().find("1 converted (1 unchecked), 1 failed, 0 stopped\nfailed: "), std::string::npos);
    EXPECT_EQ(quiet.errors(), "");

    RunningProgram verbose(run({"--verbose"}, {"good2"}));
    EXPECT_EQ(verbose.finish(), 0);
    EXPECT_NE(verbose.errors().find("[1] ffmpeg says hello\n"), std::string::npos) << verbose.errors();
}

TEST_F(QueueTest, NamesFromStandardInputEndedByNulKeepEveryByte)
{
    standIn("");
    const std::vector<std::string> names = {"new\nline", "-dash", "it's \"quoted\"", "$HOME `id`"};
    std::string list;
    for (const std::string& name : names) {
        writeFileBytes(dir.file(name + ".avi"), "v");
        list += dir.file(name + ".avi") + '\0';
    }
    writeFileBytes(dir.file("names"), list);
    RunningProgram program(
        {"/bin/sh", "-c", "exec \"$0\" --catalogue \"$1\" --ffmpeg \"$2\" -f \"$3\" -o \"$4\" --files0-from - < \"$5\"",
            CALVERA_BATCH, CALVERA_CATALOGUE, dir.file("ffmpeg"), kMp3, dir.file("out"), dir.file("names")});
    ASSERT_EQ(program.finish(), 0) << program.errors();
    std::set<std::string> expected;
    for (const std::string& name : names)
        expected.insert(name + ".mp3");
    EXPECT_EQ(outputs(), expected);
}

} // namespace

namespace {

TEST_F(QueueTest, CtrlZHoldsEveryFfmpegAndFgLetsThemFinishWithThePauseLeftOutOfTheTime)
{
    // Each item takes about two seconds of its own time, says so, and ends
    // only once let go, so that no item can end before the hold reaches it.
    standIn("echo $$ > \"$source.pid\"\n"
            "echo '  Duration: 00:00:02.00, start: 0.000000, bitrate: 100 kb/s'\n"
            "for i in 1 2 3 4 5 6 7 8 9 10; do sleep 0.2; printf 'frame=%d time=00:00:00.%d0 speed=1x\\r' $i $((i - "
            "1)); done\n"
            "until [ -e \""
        + dir.file("go") + "\" ]; do sleep 0.05; done\n");
    // From before the start: the run's own time is within it, however slowly the machine starts it.
    QElapsedTimer wall;
    wall.start();
    RunningProgram program(run({"-j", "2", "--progress=json"}, {"a", "b"}));
    const long a = pidWrittenTo(dir.file("a.avi.pid"));
    const long b = pidWrittenTo(dir.file("b.avi.pid"));
    ASSERT_TRUE(a > 0 && b > 0);
    program.sendSignal(SIGTSTP);
    EXPECT_TRUE(waitFor([&] { return processGroupHeld(a) && processGroupHeld(b); })) << "both ffmpegs held";
    EXPECT_TRUE(waitFor([&] { return processState(program.pid()) == 'T'; })) << "and calvera-batch itself";
    waitFor([] { return false; }, 3000);
    EXPECT_TRUE(processGroupHeld(a)) << "still held";
    writeFileBytes(dir.file("go"), "");
    program.sendSignal(SIGCONT);
    ASSERT_EQ(program.finish(), 0) << program.errors();
    EXPECT_EQ(readFileBytes(dir.file("out/a.mp3")), dir.file("a.avi\n")) << "whole";
    EXPECT_EQ(readFileBytes(dir.file("out/b.mp3")), dir.file("b.avi\n"));
    const std::string summary = program.output().substr(program.output().rfind("{\"converted\""));
    const double elapsed = QJsonDocument::fromJson(QByteArray::fromStdString(summary)).object()["elapsed_s"].toDouble();
    EXPECT_LE(elapsed, wall.elapsed() / 1000.0 - 2.5) << "the three seconds held are not work: " << summary;
    EXPECT_NE(program.output().find("{\"event\":\"pause\"}"), std::string::npos);
    EXPECT_NE(program.output().find("{\"event\":\"resume\"}"), std::string::npos);
}

} // namespace
