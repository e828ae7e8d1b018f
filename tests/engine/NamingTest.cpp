#include "EngineTestSupport.h"
#include "RunningProgram.h"
#include "TempDir.h"
#include "TemporaryOutput.h"
#include "overwriteManager.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <ctime>
#include <filesystem>
#include <iostream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

TEST(TemporaryOutput, IsAPrivateFolderAndPublishedUnderTheFirstFreeName)
{
    TempDir dir;
    std::string published;
    std::string folder;
    {
        TemporaryOutput output(dir.file("clip.mp4"));
        folder = output.folder();
        EXPECT_EQ(temporariesIn(dir.prefix()), std::vector<std::string> {folder.substr(0, folder.size() - 1)});
        EXPECT_TRUE(extractFileName(folder.substr(0, folder.size() - 1)).starts_with(".calvera-"));
        EXPECT_EQ((std::filesystem::status(folder).permissions() & std::filesystem::perms::all),
            std::filesystem::perms::owner_all)
            << "nobody else writes into it";
        EXPECT_EQ(extractFileExt(output.path()), ".mp4") << "ffmpeg picks the muxer by it";
        EXPECT_FALSE(std::filesystem::exists(output.path())) << "ffmpeg creates the file itself";
        EXPECT_FALSE(output.identity());
        writeFileBytes(output.path(), "ours");
        EXPECT_TRUE(output.identity());
        EXPECT_EQ(output.size(), 4);
        // Another program takes the wanted name while ffmpeg writes.
        writeFileBytes(dir.file("clip.mp4"), "theirs");
        published = output.publish(dir.file("clip.mp4"));
        EXPECT_FALSE(std::filesystem::exists(folder)) << "the folder goes once the file is out";
    }
    EXPECT_EQ(published, dir.file("clip_2.mp4"));
    EXPECT_EQ(contents(dir.file("clip.mp4")), "theirs");
    EXPECT_EQ(contents(published), "ours") << "published, and kept when the object goes";
    EXPECT_TRUE(temporariesIn(dir.prefix()).empty());

    EXPECT_THROW(TemporaryOutput(dir.file("missing/clip.mp4")), TOutputFileError);
}

// An exFAT volume through FUSE, which has neither an exclusive rename nor
// hard links: an 8 MiB image on a loop device, mounted while this lives.
class FuseExfatVolume final {
public:
    explicit FuseExfatVolume(const TempDir& dir)
        : m_path(dir.file("stick"))
    {
        if (::geteuid() != 0) {
            m_why = "mounting needs root";
            return;
        }
        std::filesystem::create_directory(m_path);
        const std::string image = dir.file("stick.img");
        writeFileBytes(image, "");
        std::filesystem::resize_file(image, 8 << 20);
        if (runProgram({"sh", "-c", "mkfs.exfat \"$0\" >/dev/null 2>&1", image}) != 0) {
            m_why = "no mkfs.exfat (exfatprogs)";
            return;
        }
        if (runProgram({"losetup", "-f", "--show", image}, &m_device) != 0) {
            m_why = "no loop device";
            return;
        }
        m_device.erase(m_device.find_last_not_of('\n') + 1);
        m_mounted = runProgram({"sh", "-c", "mount.exfat-fuse \"$0\" \"$1\" 2>/dev/null", m_device, m_path}) == 0;
        if (!m_mounted)
            m_why = "no mount.exfat-fuse (exfat-fuse) or no /dev/fuse";
    }
    ~FuseExfatVolume()
    {
        if (m_mounted)
            runProgram({"umount", m_path});
        if (!m_device.empty())
            runProgram({"losetup", "-d", m_device});
    }
    bool mounted() const { return m_mounted; }
    const std::string& why() const { return m_why; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
    std::string m_device;
    bool m_mounted = false;
    std::string m_why;
};

TEST(TemporaryOutput, WithoutAnExclusiveRenameOrHardLinksItIsStillPublishedUnderAFreeName)
{
    TempDir dir;
    const FuseExfatVolume stick(dir);
    if (!stick.mounted())
        GTEST_SKIP() << "no FUSE exFAT volume: " << stick.why();
    const std::string wanted = stick.file("clip.mp4");
    writeFileBytes(wanted, "theirs");
    std::vector<std::string> published;
    for (const bool durable : {false, true}) {
        TemporaryOutput output(wanted);
        writeFileBytes(output.path(), durable ? "durable" : "plain");
        published.push_back(output.publish(wanted, durable));
    }
    EXPECT_EQ(published, (std::vector<std::string> {stick.file("clip_2.mp4"), stick.file("clip_2_2.mp4")}));
    EXPECT_EQ(contents(wanted), "theirs") << "nothing overwritten";
    EXPECT_EQ(contents(stick.file("clip_2.mp4")), "plain");
    EXPECT_EQ(contents(stick.file("clip_2_2.mp4")), "durable");
    EXPECT_TRUE(temporariesIn(stick.file("")).empty());
}

TEST(TemporaryOutput, RemovesOnlyWhatIsInItsOwnFolder)
{
    TempDir dir;
    {
        TemporaryOutput output(dir.file("a.mp3"));
        writeFileBytes(output.path(), "partial");
        writeFileBytes(output.folder() + "output0.ts", "a piece");
    }
    EXPECT_TRUE(temporariesIn(dir.prefix()).empty()) << "an unpublished output goes with its folder";

    // Something else now has the folder's name: nothing of it is touched.
    std::string folder;
    {
        TemporaryOutput output(dir.file("a.mp3"));
        folder = output.folder();
        writeFileBytes(output.path(), "ours");
        std::filesystem::rename(folder, dir.file("moved"));
        std::filesystem::create_directory(folder);
        writeFileBytes(folder + "output.mp3", "not ours");
        EXPECT_FALSE(output.identity());
        EXPECT_THROW(output.publish(dir.file("a.mp3")), TOutputFileError);
    }
    EXPECT_EQ(contents(folder + "output.mp3"), "not ours");
    EXPECT_FALSE(std::filesystem::exists(dir.file("a.mp3")));
}

TEST(TemporaryOutput, ADurablePublishSyncsTheFileThenItsFolderAndAPlainOneNeither)
{
    TempDir dir;
    SyncRecorder syncs;
    std::string file;
    {
        TemporaryOutput output(dir.file("clip.mp4"));
        writeFileBytes(output.path(), "ours");
        file = std::filesystem::canonical(output.path()).string();
        output.sync(dir.file("clip.mp4"));
        EXPECT_EQ(output.publish(dir.file("clip.mp4"), true), dir.file("clip.mp4"));
    }
    const std::string folder = std::filesystem::canonical(dir.prefix()).string();
    EXPECT_EQ(syncs.paths(), (std::vector<std::string> {file, folder}))
        << "the data before the name, the name in the folder it was given";
    EXPECT_EQ(contents(dir.file("clip.mp4")), "ours");

    {
        TemporaryOutput output(dir.file("plain.mp4"));
        writeFileBytes(output.path(), "ours");
        output.publish(dir.file("plain.mp4"));
    }
    EXPECT_EQ(syncs.paths().size(), 2u) << "nothing waits for the disk unless asked";
}

TEST(TemporaryOutput, AFailedSyncOfTheFileOrOfItsFolderSaysWhyAndLeavesNothingPublished)
{
    const std::string ioError = Wording::systemError(EIO).shown;
    for (const bool failTheFolder : {false, true}) {
        SCOPED_TRACE(failTheFolder ? "the folder's sync fails" : "the file's sync fails");
        TempDir dir;
        SyncRecorder syncs;
        syncs.failIf = [&](const std::string& path) { return failTheFolder != path.ends_with("output.mp4"); };
        // The wanted name is taken, so the file goes under the next one; what is
        // under the wanted name stays as it is whatever happens.
        writeFileBytes(dir.file("clip.mp4"), "theirs");
        {
            TemporaryOutput output(dir.file("clip.mp4"));
            writeFileBytes(output.path(), "ours");
            try {
                // As an item ends: its data on the disk, then its name.
                output.sync(dir.file("clip.mp4"));
                output.publish(dir.file("clip.mp4"), true);
                ADD_FAILURE() << "published as durable though the disk refused";
            } catch (const TOutputFileError& error) {
                const std::string message = error.what();
                EXPECT_NE(message.find(ioError), std::string::npos) << message;
                EXPECT_NE(message.find(failTheFolder ? "clip_2.mp4" : "clip.mp4"), std::string::npos) << message;
            }
            EXPECT_EQ(syncs.paths().size(), failTheFolder ? 2u : 1u) << "nothing is published after a failed sync";
            EXPECT_FALSE(std::filesystem::exists(dir.file("clip_2.mp4"))) << "no name leads to the output";
            EXPECT_TRUE(output.identity()) << "the output is back in the private folder";
        }
        EXPECT_EQ(contents(dir.file("clip.mp4")), "theirs");
        EXPECT_FALSE(std::filesystem::exists(dir.file("clip_2.mp4")));
        EXPECT_TRUE(temporariesIn(dir.prefix()).empty()) << "and goes with it";
    }
}

TEST(TemporaryOutput, TheSweepTakesOnlyCalverasOwnUnlockedOldLeftovers)
{
    TempDir dir;
    const auto age = [](const std::string& path) {
        const timespec old[2] = {{1000, 0}, {1000, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), old, AT_SYMLINK_NOFOLLOW), 0) << path;
    };
    namespace fs = std::filesystem;
    // As Calvera makes them: the folder 0700, its marker empty and 0600, old files 0600.
    const auto folderWith = [&](const std::string& name, bool marker, const std::string& inside = "output.mp4") {
        fs::create_directory(dir.file(name));
        fs::permissions(dir.file(name), fs::perms::owner_all);
        writeFileBytes(dir.file(name + "/" + inside), "x");
        if (marker) {
            writeFileBytes(dir.file(name + "/" + TemporaryOutput::kMarker), "");
            fs::permissions(
                dir.file(name + "/" + TemporaryOutput::kMarker), fs::perms::owner_read | fs::perms::owner_write);
            age(dir.file(name + "/" + TemporaryOutput::kMarker));
        }
        return dir.file(name);
    };
    const auto fileOf = [&](const std::string& name, fs::perms rights) {
        writeFileBytes(dir.file(name), "");
        fs::permissions(dir.file(name), rights);
        age(dir.file(name));
        return dir.file(name);
    };
    const fs::perms privateFile = fs::perms::owner_read | fs::perms::owner_write;
    const fs::perms usersFile = privateFile | fs::perms::group_read | fs::perms::others_read;
    const std::string crashed = folderWith(".calvera-Crash1", true); // its lock went with the process
    const std::string unmarked = folderWith(".calvera-nomark", false);
    const std::string longer = folderWith(".calvera-toolong", true);
    const std::string photos = folderWith(".calvera-photos", true, "beach.jpg"); // a user's, marker and all
    const std::string oldFile = fileOf(".calvera-Ab12cd.mp4", privateFile); // what earlier versions left
    const std::string backup = fileOf(".calvera-backup.mp4", usersFile); // a user's, named alike
    const std::string otherExtension = fileOf(".calvera-Ab12cd.txt", privateFile);
    const std::string notes = fileOf(".calvera-notes.txt", privateFile);
    const std::string freshFile = dir.file(".calvera-fresh1.mp4");
    writeFileBytes(freshFile, "");
    // A link to a folder elsewhere is never followed.
    TempDir elsewhere;
    writeFileBytes(elsewhere.file(TemporaryOutput::kMarker), "");
    age(elsewhere.file(TemporaryOutput::kMarker));
    std::filesystem::create_directory_symlink(elsewhere.path(), dir.file(".calvera-Linked"));
    TemporaryOutput live(dir.file("live.mp4"));
    writeFileBytes(live.path(), "being written");
    age(live.folder() + TemporaryOutput::kMarker);

    EXPECT_EQ(TemporaryOutput::removeStale(dir.prefix(), {"mp4", "mp3"}), 2);
    EXPECT_FALSE(std::filesystem::exists(crashed));
    EXPECT_FALSE(std::filesystem::exists(oldFile));
    for (const std::string& kept : {unmarked, longer, photos + "/beach.jpg", backup, otherExtension, notes, freshFile})
        EXPECT_TRUE(std::filesystem::exists(kept)) << kept << " is not Calvera's, or may be a live run's";
    EXPECT_TRUE(std::filesystem::exists(elsewhere.file(TemporaryOutput::kMarker)));
    EXPECT_EQ(contents(live.path()), "being written") << "locked by a live run";
}

TEST(TemporaryOutput, InASetgidFolderThePrivateFolderKeepsTheBitAndItsLeftoversAreSweptAfterTenSeconds)
{
    TempDir dir;
    ASSERT_EQ(::chmod(dir.prefix().c_str(), 02775), 0);
    struct stat folder { };
    ASSERT_EQ(::stat(dir.prefix().c_str(), &folder), 0);
    if (!(folder.st_mode & S_ISGID)) {
        std::cout << "this file system keeps no setgid bit on folders; skipped\n";
        return;
    }
    {
        TemporaryOutput output(dir.file("a.mp3"));
        struct stat made { };
        ASSERT_EQ(::stat(output.folder().c_str(), &made), 0);
        EXPECT_EQ(made.st_mode & 07777, 02700u) << "the bit stays, so what is made inside has the folder's group";
        EXPECT_EQ(made.st_gid, folder.st_gid);
    }
    // What a crash leaves: a private folder whose lock is no longer held.
    const auto leftover = [&](const std::string& name, std::time_t age) {
        const std::string folderPath = dir.file(name);
        std::filesystem::create_directory(folderPath);
        EXPECT_EQ(::chmod(folderPath.c_str(), 02700), 0);
        writeFileBytes(folderPath + "/output.mp3", "x");
        writeFileBytes(folderPath + "/" + TemporaryOutput::kMarker, "");
        ::chmod((folderPath + "/" + TemporaryOutput::kMarker).c_str(), 0600);
        const timespec when[2] = {{std::time(nullptr) - age, 0}, {std::time(nullptr) - age, 0}};
        EXPECT_EQ(::utimensat(AT_FDCWD, (folderPath + "/" + TemporaryOutput::kMarker).c_str(), when, 0), 0);
        return folderPath;
    };
    const std::string stale = leftover(".calvera-Stale1", 12);
    const std::string fresh = leftover(".calvera-Fresh1", 2); // a run may be about to lock it
    EXPECT_EQ(TemporaryOutput::removeStale(dir.prefix(), {"mp3"}), 1);
    EXPECT_FALSE(std::filesystem::exists(stale)) << "unlocked and older than ten seconds";
    EXPECT_TRUE(std::filesystem::exists(fresh));
}

} // namespace
