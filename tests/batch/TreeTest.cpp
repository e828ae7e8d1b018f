// calvera-batch -r: a tree of folders in gives the same tree out.

#include "BatchCommandLine.h"
#include "BatchTestSupport.h"
#include "BatchTrees.h"

#include <csignal>
#include <set>

namespace {

class TreeTest : public BatchTest {
protected:
    TreeTest() { makeSeasonsTree(dir.path().string()); }
    // Every file below folder (in the test's folder), as paths below it.
    std::set<std::string> filesBelow(const std::string& folder) const { return filesIn(dir.file(folder)); }
};

const std::set<std::string> kTreeOut = {"Season 1/E01.mp3", "Season 2/E01.mp3", "top.mp3"};

TEST_F(TreeTest, TwoSeasonsConvertIntoTheSameTreeAndFlatKeepsTodaysNames)
{
    RunningProgram program(batch({"-f", kMp3, "-o", dir.file("out"), "-r", dir.file("lib")}));
    ASSERT_EQ(program.finish(), 0) << program.errors();
    EXPECT_EQ(donePaths(program.output()),
        (std::vector<std::string> {
            dir.file("out/Season 1/E01.mp3"), dir.file("out/Season 2/E01.mp3"), dir.file("out/top.mp3")}))
        << "in the order of the paths; no link out of the tree or round a loop followed";
    EXPECT_EQ(filesBelow("out"), kTreeOut) << "no _2: each season has its own folder";
    EXPECT_NE(program.output().find("output folder: " + dir.file("out") + "/\n"), std::string::npos);
    EXPECT_EQ(program.output().find("output folder: " + dir.file("out/Season")), std::string::npos)
        << "the summary names the folder the tree went to, not each of its folders\n"
        << program.output();
    EXPECT_TRUE(temporariesIn(dir.file("out/Season 1")).empty());

    RunningProgram flat(batch({"--flat", "-f", kMp3, "-o", dir.file("flat"), "--recursive=" + dir.file("lib")}));
    ASSERT_EQ(flat.finish(), 0) << flat.errors();
    EXPECT_EQ(filesBelow("flat"), (std::set<std::string> {"E01.mp3", "E01_2.mp3", "top.mp3"}));

    // An output folder inside the tree is never taken for part of it, also on a second run.
    for (int run = 0; run < 2; ++run) {
        RunningProgram inside(batch({"-f", kMp3, "-o", dir.file("lib/converted"), "-r", dir.file("lib")}));
        ASSERT_EQ(inside.finish(), 0) << inside.errors();
        EXPECT_EQ(donePaths(inside.output()).size(), 3u) << inside.output();
    }
}

TEST_F(TreeTest, EachTreeTakesTheSettingsInForceAndAListKeepsItsFolders)
{
    // -f and -o where each -r stands, as for a file; includes and excludes for every tree.
    RunningProgram dryRun(batch({"-n", "-f", kMp3, "-o", dir.file("a"), "-r", dir.file("lib/Season 1"), "-f",
        std::to_string(shippedFormat("flac")), "-o", dir.file("b"), "-r", dir.file("lib"), "--exclude", "Season 2",
        "--include", "*.avi", "--include", "*.txt"}));
    ASSERT_EQ(dryRun.finish(), 0) << dryRun.errors();
    const std::string out = dryRun.output();
    const std::size_t first = out.find("file:" + dir.file("a/E01.mp3"));
    const std::size_t second = out.find("'file:" + dir.file("b/Season 1/E01.flac") + "'");
    const std::size_t third = out.find("file:" + dir.file("b/notes.flac"));
    const std::size_t fourth = out.find("file:" + dir.file("b/top.flac"));
    EXPECT_TRUE(first < second && second < third && third < fourth && fourth != std::string::npos)
        << "bytewise: \"Season\" before \"notes\"\n"
        << out;
    EXPECT_EQ(out.find("Season 2"), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(dir.file("b"))) << "a dry run makes no folder";

    // A saved list keeps each item's folder, and converts into the same tree.
    ASSERT_EQ(
        runProgram(batch({"-s", dir.file("tree.qfl"), "-f", kMp3, "-o", dir.file("out"), "-r", dir.file("lib")})), 0);
    const std::string list = readFileBytes(dir.file("tree.qfl"));
    EXPECT_NE(
        list.find("<path>" + dir.file("out") + "/</path>\r\n    <subfolder>Season 2</subfolder>"), std::string::npos)
        << list;
    // A list's output folder is not made (as ever), the folders below it are.
    fs::create_directory(dir.file("out"));
    RunningProgram fromList(batch({dir.file("tree.qfl")}));
    ASSERT_EQ(fromList.finish(), 0) << fromList.errors();
    EXPECT_EQ(filesBelow("out"), kTreeOut);
}

TEST_F(TreeTest, ASubfolderThatWouldLeadOutOfTheOutputFolderFailsItsItemAlone)
{
    fs::create_directories(dir.file("out"));
    std::string items;
    for (const char* subfolder : {"../escaped", "/tmp", "ok/deeper", "a//b"})
        items += "<item><filename>" + dir.file("clip.avi") + "</filename><format>" + kMp3 + "</format><path>"
            + dir.file("out") + "</path><subfolder>" + subfolder + "</subfolder></item>";
    writeFileBytes(dir.file("hostile.qfl"), "<?xml version=\"1.0\"?><list>" + items + "</list>");
    RunningProgram program(batch({"--progress=lines", dir.file("hostile.qfl")}));
    EXPECT_EQ(program.finish(), 1);
    EXPECT_EQ(filesBelow("out"), (std::set<std::string> {"ok/deeper/clip.mp3"}));
    EXPECT_FALSE(fs::exists(dir.file("escaped")));
    EXPECT_NE(program.output().find("the folder \"../escaped\" of \"" + dir.file("clip.avi")
                  + "\" is not a folder below the output folder"),
        std::string::npos)
        << program.output();
    EXPECT_NE(program.output().find("1 converted, 3 failed"), std::string::npos) << program.output();

    // Where a file stands in the way of the folder, the item says so.
    fs::create_directory(dir.file("blocked"));
    writeFileBytes(dir.file("blocked/Season 1"), "a file");
    RunningProgram blocked(batch({"--progress=lines", "-f", kMp3, "-o", dir.file("blocked"), "-r", dir.file("lib")}));
    EXPECT_EQ(blocked.finish(), 1);
    EXPECT_NE(blocked.output().find("cannot make the output folder \"" + dir.file("blocked/Season 1") + "\""),
        std::string::npos)
        << blocked.output();
    EXPECT_TRUE(fs::exists(dir.file("blocked/Season 2/E01.mp3")));
}

TEST_F(TreeTest, WhatCannotBeATreeIsAMistakeOfTheCommandLineAndAnEmptyOneIsSaid)
{
    const auto refused = [&](const std::vector<std::string>& arguments, const std::string& message, int status = 2) {
        RunningProgram program(batch(arguments));
        EXPECT_EQ(program.finish(), status) << message;
        EXPECT_NE(program.errors().find(message), std::string::npos) << program.errors();
    };
    refused({"-f", kMp3, "-r", dir.file("missing")},
        "cannot read the folder \"" + dir.file("missing") + "\": No such file or directory");
    refused({"-f", kMp3, "-r", dir.file("clip.avi")}, "it is not a folder");
    refused({"-r", dir.file("lib")}, "no format for " + dir.file("lib"));
    refused({"--include", "*.avi", "-f", kMp3, dir.file("clip.avi")}, "--include needs -r DIR");
    // Nothing to do is no mistake, as for an empty list file: said, with status 0.
    refused({"-f", kMp3, "-r", dir.file("lib"), "--exclude", "*"}, "the folders and list files hold no items", 0);
    // The tree as its own output folder, or watched as well: each would go wrong without a word.
    refused({"-f", kMp3, "-o", dir.file("lib") + "/", "-r", dir.file("lib")},
        "the output folder " + dir.file("lib") + "/ is the folder -r takes its files from");
    refused({"-f", kMp3, "-o", dir.file("out"), "-r", dir.file("lib"), "--watch", dir.file("lib/../lib")},
        "is both watched and taken with -r");
    // An output folder inside the tree is passed over, and said to be.
    refused({"-n", "-f", kMp3, "-o", dir.file("lib/Season 2"), "-r", dir.file("lib")},
        "the folder " + dir.file("lib/Season 2") + "/ is an output folder; the files in it were passed over", 0);
}

TEST_F(TreeTest, AWatchedTreeKeepsItsFoldersUnlessFlat)
{
    for (const bool flat : {false, true}) {
        const std::string out = dir.file(flat ? "watched-flat" : "watched");
        std::vector<std::string> arguments = {"--settle=0", "-f", kMp3, "-o", out, "--watch", dir.file("lib")};
        if (flat)
            arguments.insert(arguments.begin(), "--flat");
        RunningProgram program(batch(arguments));
        const std::set<std::string> wanted
            = flat ? std::set<std::string> {"E01.mp3", "E01_2.mp3", "top.mp3"} : kTreeOut;
        const bool all = waitFor(
            [&] { return fs::exists(out) && filesBelow(fs::path(out).filename().string()) == wanted; }, 60000);
        program.sendSignal(SIGINT);
        EXPECT_EQ(program.finish(), 130);
        EXPECT_TRUE(all) << program.output() << program.errors();
    }
}

} // namespace

namespace {

TEST(TreeCommandLine, RecursiveTakesTheSettingsInForceLikeAFileAndHasItsLinesInTheHelp)
{
    const BatchOptions options = parseBatchCommandLine({"-f", "3", "-o", "/out", "-r", "/v/tree.qfl", "/v/a.avi",
        "--recursive=/v/other/", "--include", "*.dv", "--include=*.mkv", "--exclude=Extras", "--flat"});
    ASSERT_EQ(options.sources.size(), 3u);
    const auto& s = options.sources;
    EXPECT_TRUE(s[0].isTree);
    EXPECT_FALSE(s[0].isListFile) << "a folder given with -r is a tree whatever its name";
    EXPECT_EQ(s[0].path, "/v/tree.qfl");
    EXPECT_EQ(s[0].formatIndex, 3);
    EXPECT_EQ(s[0].outputDir, "/out/");
    EXPECT_FALSE(s[1].isTree);
    EXPECT_TRUE(s[2].isTree);
    EXPECT_EQ(s[2].path, "/v/other/");
    EXPECT_EQ(options.included, (std::vector<std::string> {"*.dv", "*.mkv"}));
    EXPECT_EQ(options.excluded, (std::vector<std::string> {"Extras"}));
    EXPECT_TRUE(options.flat);
    EXPECT_FALSE(parseBatchCommandLine({"-f", "1", "a.avi"}).flat);

    // One line each in the help's table.
    const std::string help = kBatchUsage;
    for (const char* line : {"\n  -r, --recursive=DIR     queue the video", "\n      --include=GLOB      with -r: ",
             "\n      --flat              put the outputs", "\n      --exclude=GLOB      with --watch or -r: "})
        EXPECT_NE(help.find(line), std::string::npos) << line;
}

TEST(TreeCommandLine, AFilesFolderBelowItsTree)
{
    EXPECT_EQ(subfolderBelow("/w/", "/w/a.avi"), "");
    EXPECT_EQ(subfolderBelow("/w", "/w/S 1/a.avi"), "S 1");
    EXPECT_EQ(subfolderBelow("/w/", "/w/S 1/d/a.avi"), "S 1/d");
    EXPECT_EQ(subfolderBelow("/w/", "/other/a.avi"), "") << "not below: none";
    EXPECT_EQ(subfolderBelow("/w/", "/wx/a.avi"), "");
}

} // namespace
