// What scripts and services rely on: exit statuses they can trust, messages
// that say what went wrong, and output they can read.

#include "BatchCommandLine.h"
#include "BatchTestSupport.h"
#include "RunningProgram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The longest line of text, in characters.
int widestLine(const std::string& text)
{
    int widest = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        int columns = 0;
        for (const char c : line)
            columns += (static_cast<unsigned char>(c) & 0xC0) == 0x80 ? 0 : 1;
        widest = std::max(widest, columns);
    }
    return widest;
}

// The same command with its standard output on /dev/full, as on a full disk.
std::vector<std::string> ontoAFullDisk(const std::vector<std::string>& command)
{
    std::vector<std::string> shell = {"/bin/sh", "-c", "exec \"$@\" > /dev/full", "sh"};
    shell.insert(shell.end(), command.begin(), command.end());
    return shell;
}

TEST_F(BatchTest, AnAnswerThatCannotBeWrittenEndsWithStatusTwoAndTheReason)
{
    const std::vector<std::vector<std::string>> answers = {
        batch({"--help"}),
        batch({"--version"}),
        batch({"--formats"}),
        batch({"--formats", "--progress=json"}),
        batch({"-n", "-f", kMp3, dir.file("clip.avi")}),
        batch({"--progress=json", "-f", kMp3, "-o", dir.file("out"), dir.file("clip.avi")}),
        batch({"-f", kMp3, "-o", dir.file("out"), dir.file("clip.avi")}),
    };
    for (const std::vector<std::string>& answer : answers) {
        RunningProgram program(ontoAFullDisk(answer));
        EXPECT_EQ(program.finish(), 2) << answer[5];
        EXPECT_NE(program.errors().find("calvera-batch: cannot write to standard output: No space left on device\n"),
            std::string::npos)
            << answer[5] << ": " << program.errors();
    }
    // The run itself went on: its output is whole, only the telling of it was lost.
    EXPECT_TRUE(fs::exists(dir.file("out/clip.mp3")));
    RunningProgram written(batch({"--version"}));
    EXPECT_EQ(written.finish(), 0);
    for (const char* option : {"--version", "--help"}) {
        RunningProgram window(ontoAFullDisk({CALVERA_WINDOW, option}));
        EXPECT_EQ(window.finish(), 2) << option;
        EXPECT_EQ(window.errors(), "calvera: cannot write to standard output: No space left on device\n") << option;
    }
}

TEST_F(BatchTest, AMissingInputFailsItsOwnItemWhileTheOthersConvert)
{
    RunningProgram program(batch({"--progress=lines", "-f", kMp3, "-o", dir.file("out"), dir.file("clip.avi"),
        dir.file("gone.avi"), dir.file("clip.avi")}));
    EXPECT_EQ(program.finish(), 1) << program.errors();
    EXPECT_EQ(
        donePaths(program.output()), (std::vector<std::string> {dir.file("out/clip.mp3"), dir.file("out/clip_2.mp3")}));
    EXPECT_NE(program.output().find(dir.file("gone.avi") + ": No such file or directory"), std::string::npos)
        << program.output();
    EXPECT_NE(program.output().find("2 converted, 1 failed, 0 stopped"), std::string::npos) << program.output();
    // A missing list file is still a mistake of the command line, told before anything runs.
    RunningProgram list(batch({dir.file("gone.qfl"), "-f", kMp3, dir.file("clip.avi")}));
    EXPECT_EQ(list.finish(), 2);
    EXPECT_EQ(list.output(), "");
}

TEST_F(QueueTest, ProgressLinesTellEachItemOnceAsItEnds)
{
    standIn("");
    RunningProgram program(run({"--progress=lines"}, {"one", "two"}));
    ASSERT_EQ(program.finish(), 0) << program.errors();
    EXPECT_EQ(program.output(),
        "done   exit 0   " + dir.file("out/one.mp3") + " (unchecked: the input could not be measured)\n"
            + "done   exit 0   " + dir.file("out/two.mp3") + " (unchecked: the input could not be measured)\n"
            + "2 converted (2 unchecked), 0 failed, 0 stopped\noutput folder: " + dir.file("out/") + "\n");
    EXPECT_EQ(program.errors(), "");
}

TEST(Help, IsWrappedToEightyColumnsInEveryLanguageAndNamesEveryExitStatus)
{
    for (const char* language : {"LANGUAGE=en", "LANGUAGE=de"}) {
        RunningProgram help({"/usr/bin/env", language, CALVERA_BATCH, "--help"});
        ASSERT_EQ(help.finish(), 0) << language;
        EXPECT_LE(widestLine(help.output()), 80) << language << "\n" << help.output();
        for (const char* status : {"129", "130", "141", "143"})
            EXPECT_NE(help.output().find(status), std::string::npos) << language << ": " << status;
    }
    RunningProgram english({CALVERA_BATCH, "--help"});
    ASSERT_EQ(english.finish(), 0);
    EXPECT_EQ(english.output(), wrappedToColumns(kBatchUsage, 80));
}

TEST(Help, OnATerminalIsWrappedToItsWidthUpToEightyColumns)
{
    if (!fs::exists("/usr/bin/script")) {
        std::cout << "skipped: script(1) (util-linux), which gives a program a terminal, is not installed\n";
        return;
    }
    for (const int columns : {50, 200}) {
        RunningProgram help({"/usr/bin/script", "-qec",
            "stty cols " + std::to_string(columns) + " rows 20; exec " + CALVERA_BATCH + " --help", "/dev/null"});
        ASSERT_EQ(help.finish(), 0);
        std::string output = help.output();
        std::erase(output, '\r');
        // Wrapped to the width, not far short of it.
        EXPECT_LE(widestLine(output), std::min(columns, 80)) << output;
        EXPECT_GT(widestLine(output), std::min(columns, 80) - 10) << output;
    }
}

TEST(Help, WrapsAtSpacesUnderTheSecondColumnOfATable)
{
    EXPECT_EQ(wrappedToColumns("short\n", 10), "short\n");
    EXPECT_EQ(wrappedToColumns("one two three four\n", 9), "one two\nthree\nfour\n");
    EXPECT_EQ(wrappedToColumns("  -x, --ex     does this and that too\n", 30),
        "  -x, --ex     does this and\n               that too\n");
    // A word wider than the room stays whole on a line of its own.
    EXPECT_EQ(wrappedToColumns("a verylongword b", 6), "a\nverylongword\nb");
    // A second column past the middle would leave no room: a short indent instead.
    EXPECT_EQ(wrappedToColumns("  usage line          the words of it\n", 30),
        "  usage line          the\n      words of it\n");
    EXPECT_EQ(wrappedToColumns("caf\xC3\xA9 caf\xC3\xA9\n", 9), "caf\xC3\xA9 caf\xC3\xA9\n") << "é is one column";
}

TEST(Window, ReadsItsOptionsBeforeItNeedsADisplayAndSaysInOneLineThatThereIsNone)
{
    const std::vector<std::string> noDisplay = {"/usr/bin/env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u",
        "QT_QPA_PLATFORM", "LANGUAGE=en", CALVERA_WINDOW};
    std::vector<std::string> bogus = noDisplay;
    bogus.push_back("--bogus");
    RunningProgram mistaken(bogus);
    EXPECT_EQ(mistaken.finish(), 2);
    EXPECT_EQ(mistaken.errors(), "calvera: unknown option --bogus\nTry 'calvera --help' for more information.\n");

    RunningProgram window(noDisplay);
    EXPECT_EQ(window.finish(), 1) << "not an abort";
    EXPECT_EQ(window.errors(),
        "calvera: no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is set); calvera-batch "
        "converts without one\n");
    EXPECT_EQ(window.output(), "");
}

} // namespace
