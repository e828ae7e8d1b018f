#include "TempDir.h"
#include "overwriteManager.h"

#include <gtest/gtest.h>

#include <filesystem>

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

} // namespace
