#include "EngineTestSupport.h"
#include "TempDir.h"
#include "TemporaryOutput.h"
#include "overwriteManager.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

TEST(Naming, NamePartsUseOnlySlashes)
{
    EXPECT_EQ(extractFileName("/home/u/clip.avi"), "clip.avi");
    EXPECT_EQ(extractFileName("clip.avi"), "clip.avi");
    EXPECT_EQ(extractFileName("/a:b/c:d.avi"), "c:d.avi") << "a colon is an ordinary character";
    EXPECT_EQ(extractFileExt("/dir.v2/clip"), "");
    EXPECT_EQ(changeFileExt("clip.avi", ".mp4"), "clip.mp4");
    EXPECT_EQ(changeFileExt("my.home.video.mpg", ".mp4"), "my.home.video.mp4");
    EXPECT_EQ(changeFileExt("clip", ".mp4"), "clip.mp4");
    EXPECT_EQ(changeFileExt(".avi", ".mp4"), ".mp4");
    EXPECT_EQ(changeFileExt("/dir.v2/clip", ".mp4"), "/dir.v2/clip.mp4");
}

TEST(Naming, CollisionsGrowOneSuffixAtATime)
{
    TempDir dir;
    const TOverwriteManager manager;
    EXPECT_EQ(manager.GetUniqueFileName(dir.file("clip.mp4")), dir.file("clip.mp4"));
    writeFileBytes(dir.file("clip.mp4"), "1");
    writeFileBytes(dir.file("clip_2.mp4"), "2");
    EXPECT_EQ(manager.GetUniqueFileName(dir.file("clip.mp4")), dir.file("clip_2_2.mp4"));

    writeFileBytes(dir.file("clip"), "");
    EXPECT_EQ(manager.GetUniqueFileName(dir.file("clip")), dir.file("clip_2"));

    std::filesystem::create_directory(dir.file("folder.mp4"));
    EXPECT_EQ(manager.GetUniqueFileName(dir.file("folder.mp4")), dir.file("folder.mp4"))
        << "a directory is no collision";

    std::filesystem::create_symlink(dir.file("nowhere"), dir.file("dangling.mp4"));
    EXPECT_EQ(manager.GetUniqueFileName(dir.file("dangling.mp4")), dir.file("dangling_2.mp4"))
        << "ffmpeg would write through a dangling link";
}

TEST(Naming, TheSearchForAFreeNameIsBounded)
{
    // A name cut by a NUL names the same existing file whatever is appended.
    TempDir dir;
    writeFileBytes(dir.file("c"), "");
    const std::string cut = dir.file("c") + std::string("\0.mp4", 5);
    EXPECT_THROW(TOverwriteManager().GetUniqueFileName(cut), ENoFreeNameError);
}

std::string contents(const std::string& path)
{
    return std::filesystem::exists(path) ? readFileBytes(path) : "(none)";
}

TEST(TemporaryOutput, IsHiddenPrivateAndPublishedUnderTheFirstFreeName)
{
    TempDir dir;
    std::string published;
    {
        TemporaryOutput output(dir.file("clip.mp4"));
        const std::string temporary = output.path();
        EXPECT_EQ(temporariesIn(dir.prefix()), std::vector<std::string> {temporary});
        EXPECT_TRUE(extractFileName(temporary).starts_with(".calvera-"));
        EXPECT_EQ(extractFileExt(temporary), ".mp4") << "ffmpeg picks the muxer by it";
        writeFileBytes(temporary, "ours");
        // Another program takes the wanted name while ffmpeg writes.
        writeFileBytes(dir.file("clip.mp4"), "theirs");
        published = output.publish(dir.file("clip.mp4"));
        EXPECT_FALSE(std::filesystem::exists(temporary));
    }
    EXPECT_EQ(published, dir.file("clip_2.mp4"));
    EXPECT_EQ(contents(dir.file("clip.mp4")), "theirs");
    EXPECT_EQ(contents(published), "ours") << "published, and kept when the object goes";
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(std::filesystem::status(published).permissions(), std::filesystem::perms(0666 & ~mask))
        << "the permissions ffmpeg would have given its own file";

    EXPECT_THROW(TemporaryOutput(dir.file("missing/clip.mp4")), TOutputFileError);
}

TEST(TemporaryOutput, RemovesOnlyItsOwnFile)
{
    TempDir dir;
    {
        TemporaryOutput output(dir.file("a.mp3"));
        writeFileBytes(output.path(), "partial");
    }
    EXPECT_TRUE(temporariesIn(dir.prefix()).empty()) << "an unpublished temporary goes with its object";

    std::string replaced;
    {
        TemporaryOutput output(dir.file("a.mp3"));
        replaced = output.path();
        // Something else now has the temporary's name.
        writeFileBytes(dir.file("other"), "not ours");
        std::filesystem::rename(dir.file("other"), replaced);
        EXPECT_FALSE(output.intact());
        EXPECT_THROW(output.publish(dir.file("a.mp3")), TOutputFileError);
    }
    EXPECT_EQ(contents(replaced), "not ours");
    EXPECT_FALSE(std::filesystem::exists(dir.file("a.mp3")));
}

TEST(TemporaryOutput, StaleOnesGoOnlyWhenUnlockedAndOld)
{
    TempDir dir;
    const auto age = [](const std::string& path) {
        const timespec old[2] = {{1000, 0}, {1000, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
    };
    // What a crashed run leaves: a temporary whose lock went with the process.
    std::string crashed;
    {
        TemporaryOutput output(dir.file("crashed.mp4"));
        crashed = dir.file(".calvera-crash1.mp4");
        std::filesystem::copy_file(output.path(), crashed);
    }
    age(crashed);
    const std::string fresh = dir.file(".calvera-fresh1.mp4");
    writeFileBytes(fresh, "");
    const std::string users = dir.file(".calvera.mp4");
    writeFileBytes(users, "");
    age(users);
    TemporaryOutput live(dir.file("live.mp4"));
    age(live.path());

    EXPECT_EQ(TemporaryOutput::removeStale(dir.prefix()), 1);
    EXPECT_FALSE(std::filesystem::exists(crashed));
    EXPECT_TRUE(std::filesystem::exists(fresh)) << "it may be a live run's, not locked yet";
    EXPECT_TRUE(std::filesystem::exists(users)) << "not a name Calvera makes";
    EXPECT_TRUE(live.intact()) << "locked by a live run";
}

} // namespace
