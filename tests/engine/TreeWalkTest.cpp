#include "TempDir.h"
#include "TreeWalk.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

class TreeWalkTest : public testing::Test {
protected:
    // Empty stand-ins of the named files, their folders made.
    void make(std::initializer_list<const char*> names) const
    {
        for (const char* name : names) {
            fs::create_directories(fs::path(dir.file(name)).parent_path());
            writeFileBytes(dir.file(name), "");
        }
    }
    // The files found under root, as paths below it, each with its subfolder after a "|".
    std::vector<std::string> found(const std::string& root, const TreeWalk::Rules& rules = {}) const
    {
        const std::string base = dir.file(root) + "/";
        std::vector<std::string> names;
        for (const TreeWalk::File& file : TreeWalk::files(dir.file(root), rules).files) {
            EXPECT_TRUE(file.path.starts_with(base)) << file.path;
            names.push_back(file.path.substr(base.size()) + "|" + file.subfolder);
        }
        return names;
    }

    TempDir dir;
};

TEST_F(TreeWalkTest, TakesVideoAndSoundFilesByExtensionInBytewiseOrderOfPath)
{
    make({"tree/b.mkv", "tree/a.avi", "tree/Z.mp4", "tree/a/x.webm", "tree/a.b/y.ogv", "tree/S 2/E01.mts",
        "tree/S 1/E01.m2ts", "tree/S 1/deep/er/c.3gp", "tree/notes.txt", "tree/noext", "tree/song.FLAC",
        "tree/Mixed.Mp4", "tree/clip.M4V", "tree/é.ts"});
    EXPECT_EQ(found("tree"),
        (std::vector<std::string> {"Mixed.Mp4|", "S 1/E01.m2ts|S 1", "S 1/deep/er/c.3gp|S 1/deep/er", "S 2/E01.mts|S 2",
            "Z.mp4|", "a.avi|", "a.b/y.ogv|a.b", "a/x.webm|a", "b.mkv|", "clip.M4V|", "song.FLAC|", "é.ts|"}))
        << "bytewise: capitals before small letters, \".\" before \"/\"; an extension in any case";
}

TEST_F(TreeWalkTest, HiddenInProgressAndExcludedNamesAreLeftOutIncludedOnesTakenInstead)
{
    make({"tree/a.avi", "tree/.hidden.avi", "tree/.cache/b.avi", "tree/c.avi.part", "tree/~d.avi", "tree/e.tmp",
        "tree/Extras/f.avi", "tree/S1/Extras/g.avi", "tree/S1/h.avi", "tree/S1/sample.avi", "tree/S1/i.dv"});
    EXPECT_EQ(found("tree"),
        (std::vector<std::string> {
            "Extras/f.avi|Extras", "S1/Extras/g.avi|S1/Extras", "S1/h.avi|S1", "S1/sample.avi|S1", "a.avi|"}));
    TreeWalk::Rules rules;
    rules.excluded = {"Extras", "sample.*"};
    EXPECT_EQ(found("tree", rules), (std::vector<std::string> {"S1/h.avi|S1", "a.avi|"}))
        << "a name pattern leaves out files and whole folders at any depth";
    rules.excluded = {"S1/Extras"};
    EXPECT_EQ(found("tree", rules),
        (std::vector<std::string> {"Extras/f.avi|Extras", "S1/h.avi|S1", "S1/sample.avi|S1", "a.avi|"}))
        << "a pattern with a \"/\" is matched against the path below the root";
    rules.excluded = {"sample.*"};
    rules.included = {"*.dv", "h.*"};
    EXPECT_EQ(found("tree", rules), (std::vector<std::string> {"S1/h.avi|S1", "S1/i.dv|S1"}))
        << "included patterns take the place of the extensions; excluded and hidden ones still leave out";
    rules.included = {".hidden.avi", "*.part"};
    EXPECT_TRUE(found("tree", rules).empty()) << "hidden and in-progress names are never taken";
}

TEST_F(TreeWalkTest, LinksBelowTheRootAreNeverFollowedAndEachFileIsTakenOnceUnderItsOwnFolder)
{
    make({"tree/S1/a.avi", "tree/S2/b.avi", "outside/secret.avi", "outside/more/c.avi"});
    fs::create_directory_symlink("..", dir.file("tree/S1/up"));
    fs::create_directory_symlink(dir.file("tree"), dir.file("tree/S2/root"));
    fs::create_directory_symlink("S1", dir.file("tree/again"));
    fs::create_directory_symlink(dir.file("outside"), dir.file("tree/away"));
    fs::create_directory_symlink("../outside/more", dir.file("tree/S2/more"));
    fs::create_symlink(dir.file("outside/secret.avi"), dir.file("tree/secret.avi"));
    fs::create_symlink("S2/b.avi", dir.file("tree/b-link.avi"));
    fs::create_symlink("nowhere.avi", dir.file("tree/broken.avi"));
    // A link whose name sorts before its folder's must not give that folder's files its name.
    fs::create_directory_symlink("S2", dir.file("tree/A-link"));
    EXPECT_EQ(found("tree"), (std::vector<std::string> {"S1/a.avi|S1", "S2/b.avi|S2"}))
        << "loops are not followed round, nothing outside taken, each file once under its own folder";

    // A tree given through a link is walked as its own.
    fs::create_directory_symlink(dir.file("tree"), dir.file("alias"));
    EXPECT_EQ(found("alias").size(), 2u);
}

TEST_F(TreeWalkTest, PassedOverFoldersUnreadableOnesAndAMissingRoot)
{
    make({"tree/a.avi", "tree/out/a.mp4", "tree/locked/b.avi"});
    TreeWalk::Rules rules;
    rules.passedOver = {dir.file("tree/out/"), dir.file("not/there")};
    ::chmod(dir.file("tree/locked").c_str(), 0);
    const TreeWalk::Found tree = TreeWalk::files(dir.file("tree"), rules);
    ::chmod(dir.file("tree/locked").c_str(), 0755);
    ASSERT_FALSE(tree.files.empty());
    EXPECT_EQ(tree.files[0].path, dir.file("tree/a.avi"));
    if (::geteuid() != 0) {
        EXPECT_EQ(tree.files.size(), 1u) << "the output folder inside the tree is not entered";
        EXPECT_EQ(tree.unreadable, (std::vector<std::string> {dir.file("tree/locked") + "/"}));
    } else {
        EXPECT_EQ(tree.files.size(), 2u) << "root reads a folder without permissions; the output folder is passed";
    }

    EXPECT_THROW(TreeWalk::files(dir.file("missing"), {}), std::runtime_error);
    EXPECT_THROW(TreeWalk::files(dir.file("tree/a.avi"), {}), std::runtime_error);
    try {
        TreeWalk::files(dir.file("tree/a.avi"), {});
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(
            std::string(error.what()), "cannot read the folder \"" + dir.file("tree/a.avi") + "\": it is not a folder");
    }

    const std::atomic<bool> cancelled = true;
    EXPECT_TRUE(TreeWalk::files(dir.file("tree"), {}, &cancelled).files.empty());
}

TEST(Subfolder, OnlyARelativePathOfNamedPartsIsSafe)
{
    for (const char* safe : {"", "S1", "Season 1/Disc 2", "a..b/.c", "..."})
        EXPECT_TRUE(isSafeSubfolder(safe)) << safe;
    for (const char* unsafe : {"/", "/etc", "..", "../x", "a/../b", "a/..", "a//b", "a/", "/a", ".", "a/./b"})
        EXPECT_FALSE(isSafeSubfolder(unsafe)) << unsafe;
    EXPECT_FALSE(isSafeSubfolder(std::string("a\0b", 3)));
}

} // namespace
