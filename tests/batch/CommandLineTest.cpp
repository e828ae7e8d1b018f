#include "BatchCommandLine.h"
#include "BatchConsole.h"
#include "BatchRun.h"
#include "TempDir.h"
#include "UsageError.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(CommandLine, OptionsTakeEveryGnuForm)
{
    for (const std::vector<std::string>& forms : std::vector<std::vector<std::string>> {
             {"--jobs=2", "--format=9", "--output=/o", "a.avi"},
             {"--jobs", "2", "--format", "9", "--output", "/o", "a.avi"},
             {"-j2", "-f9", "-o/o", "a.avi"},
             {"-j", "2", "-f", "9", "-o", "/o", "a.avi"},
         }) {
        const BatchOptions options = parseBatchCommandLine(forms);
        EXPECT_EQ(options.jobs, 2) << forms[0];
        ASSERT_EQ(options.sources.size(), 1u) << forms[0];
        EXPECT_EQ(options.sources[0].formatIndex, 9) << forms[0];
        EXPECT_EQ(options.sources[0].outputDir, "/o/") << forms[0];
    }
    const BatchOptions combined = parseBatchCommandLine({"-nqv", "-f", "1", "a.avi"});
    EXPECT_TRUE(combined.dryRun);
    EXPECT_TRUE(combined.quiet);
    EXPECT_TRUE(combined.verbose);
    const BatchOptions modes = parseBatchCommandLine({"--verify=decode", "--progress=json", "-f", "1", "a.avi"});
    EXPECT_EQ(modes.verification, Verification::decode);
    EXPECT_TRUE(modes.jsonProgress);
    EXPECT_EQ(parseBatchCommandLine({"--verify", "none", "-f", "1", "a.avi"}).verification, Verification::none);
}

TEST(CommandLine, FormatAndFolderApplyToTheFilesAfterThemAndDoubleDashEndsOptions)
{
    const BatchOptions options = parseBatchCommandLine(
        {"-f", "1", "/v/a.avi", "-o", "/out", "/v/b.avi", "jobs.qfl", "-f", "2", "/v/c.avi", "--", "-d.avi", "--x"});
    ASSERT_EQ(options.sources.size(), 6u);
    const auto& s = options.sources;
    EXPECT_EQ(s[0].formatIndex, 1);
    EXPECT_EQ(s[0].outputDir, "");
    EXPECT_EQ(s[1].outputDir, "/out/");
    EXPECT_TRUE(s[2].isListFile);
    EXPECT_EQ(s[3].formatIndex, 2);
    EXPECT_EQ(s[3].outputDir, "/out/");
    EXPECT_TRUE(s[4].path.ends_with("/-d.avi")) << "after --, a dash starts a name";
    EXPECT_TRUE(s[5].path.ends_with("/--x"));
    EXPECT_EQ(options.outputDirs, std::vector<std::string> {"/out/"});
}

TEST(CommandLine, NamesFromFilesTakeTheFormatInForceWhereTheOptionStands)
{
    TempDir dir;
    writeFileBytes(dir.file("lines"), "/v/one.avi\n\n/v/two words.avi\njobs.qfl\n");
    writeFileBytes(dir.file("nuls"), std::string("/v/new\nline.avi\0/v/-dash.avi\0", 30));
    const BatchOptions options = parseBatchCommandLine(
        {"-f", "3", "--files-from", dir.file("lines"), "-f", "4", "-o", "/o", "--files0-from=" + dir.file("nuls")});
    ASSERT_EQ(options.sources.size(), 5u);
    EXPECT_EQ(options.sources[0].path, "/v/one.avi");
    EXPECT_EQ(options.sources[1].path, "/v/two words.avi");
    EXPECT_EQ(options.sources[1].formatIndex, 3);
    EXPECT_TRUE(options.sources[2].isListFile);
    EXPECT_EQ(options.sources[3].path, "/v/new\nline.avi");
    EXPECT_EQ(options.sources[3].formatIndex, 4);
    EXPECT_EQ(options.sources[4].outputDir, "/o/");
    EXPECT_EQ(usageError({"-f", "3", "--files-from", dir.file("missing")}).find("cannot read the names in"), 0u);
}

TEST(CommandLine, MistakesAreToldPlainly)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> mistakes = {
        {{"--bogus"}, "unknown option --bogus"},
        {{"-x"}, "unknown option -x"},
        {{"-f"}, "option -f needs a value"},
        {{"--format"}, "option --format needs a value"},
        {{"--format=", "a.avi"}, "option --format needs a value"},
        {{"-o", "", "-f", "1", "a.avi"}, "option -o needs a value"},
        {{"-j", "two", "-f", "1", "a.avi"}, "-j needs a whole number, not 'two'"},
        {{"--jobs=-1", "-f", "1", "a.avi"}, "--jobs needs a number of at least 0, not -1"},
        {{"--verify=maybe", "-f", "1", "a.avi"}, "--verify takes none, duration or decode, not 'maybe'"},
        {{"--progress=text", "-f", "1", "a.avi"}, "--progress takes json or lines, not 'text'"},
        {{"--ver"}, "option --ver is ambiguous: it may be --verify, --verbose, --version"},
        {{"--files", "x"}, "option --files is ambiguous: it may be --files-from, --files0-from"},
        {{"--dry-run=x", "-f", "1", "a.avi"}, "option --dry-run takes no value, not 'x'"},
        {{"--dry=", "-f", "1", "a.avi"}, "option --dry-run takes no value, not ''"},
        {{"--bogus=3"}, "unknown option --bogus"},
        {{"--new-only", "-f", "1", "a.avi"}, "--new-only needs --watch DIR"},
        {{"--watch", "/w"}, "no format for --watch /w: give -f INDEX before it"},
        {{"a.avi"}, "no format for a.avi: give -f INDEX before the files"},
        {{}, "nothing to convert: give list files, or -f INDEX and files"},
    };
    for (const auto& [arguments, message] : mistakes)
        EXPECT_EQ(usageError(arguments), message);
    EXPECT_EQ(usageError({"--help"}), "(accepted)");
    EXPECT_EQ(usageError({"--verb", "--vers"}), "(accepted)") << "an abbreviation that names one option";
    EXPECT_TRUE(parseBatchCommandLine({"--progress=lines", "-f", "1", "a.avi"}).endLinesOnly);
}

TEST(CommandLine, DryRunWordsAreQuotedForAShellOnlyWhenTheyNeedIt)
{
    EXPECT_EQ(shellQuoted("file:/v/clip.avi"), "file:/v/clip.avi");
    EXPECT_EQ(shellQuoted("-c:a"), "-c:a");
    EXPECT_EQ(shellQuoted(""), "''");
    EXPECT_EQ(shellQuoted("a b"), "'a b'");
    EXPECT_EQ(shellQuoted("it's"), "'it'\\''s'");
    EXPECT_EQ(shellQuoted("$HOME `id`"), "'$HOME `id`'");
}

TEST(Console, TheLiveLineIsCutToTheTerminalsColumnsKeepingCharactersWhole)
{
    EXPECT_EQ(BatchConsole::cutToWidth("abcdef", 4), "abcd");
    EXPECT_EQ(BatchConsole::cutToWidth("abc", 10), "abc");
    EXPECT_EQ(BatchConsole::cutToWidth("caf\xC3\xA9s", 4), "caf\xC3\xA9") << "é is one column of two bytes";
    EXPECT_EQ(BatchConsole::cutToWidth("a\xE6\x97\xA5\xE6\x9C\xAC", 4), "a\xE6\x97\xA5") << "wide letters take two";
}

} // namespace
