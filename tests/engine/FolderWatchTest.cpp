#include "EngineTestSupport.h"
#include "FolderWatch.h"
#include "RunningProgram.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <fcntl.h>

namespace {

namespace fs = std::filesystem;

class FolderWatchTest : public testing::Test {
protected:
    FolderWatchTest() { fs::create_directories(dir.file("in/out")); }
    std::unique_ptr<FolderWatch> watching(bool includeExisting, bool lookOnly = false, int settleMs = 0)
    {
        auto watch = std::make_unique<FolderWatch>(
            FolderWatch::Settings {dir.file("in"), {dir.file("in/out")}, includeExisting, settleMs, {}});
        QObject::connect(
            watch.get(), &FolderWatch::fileComplete, [this](const std::string& path) { told.push_back(path); });
        if (lookOnly)
            watch->lookOnly();
        watch->start();
        return watch;
    }
    bool toldOf(const std::string& name, int timeoutMs = 10000)
    {
        return waitFor([&] { return std::find(told.begin(), told.end(), dir.file(name)) != told.end(); }, timeoutMs);
    }

    TempDir dir;
    std::vector<std::string> told;
};

TEST_F(FolderWatchTest, TellsOfEachFileOnceItIsCompleteAndNeverOfWhatIsPassedOver)
{
    writeFileBytes(dir.file("in/before.avi"), "x");
    const auto watch = watching(true);
    EXPECT_FALSE(watch->looking());
    EXPECT_TRUE(told.empty()) << "a file found by looking is told once it has stood still";
    EXPECT_TRUE(toldOf("in/before.avi"));

    std::ofstream open(dir.file("in/writing.avi"));
    open << "part" << std::flush;
    writeFileBytes(dir.file("in/closed.avi"), "x");
    ASSERT_TRUE(toldOf("in/closed.avi"));
    EXPECT_FALSE(toldOf("in/writing.avi", 1500)) << "still open for writing";
    open.close();
    EXPECT_TRUE(toldOf("in/writing.avi"));

    writeFileBytes(dir.file("elsewhere.avi"), "x");
    fs::rename(dir.file("elsewhere.avi"), dir.file("in/moved.avi"));
    fs::create_directories(dir.file("in/new/deeper"));
    writeFileBytes(dir.file("in/new/deeper/deep.avi"), "x");
    writeFileBytes(dir.file("in/out/output.mp3"), "x");
    writeFileBytes(dir.file("in/.hidden.avi"), "x");
    EXPECT_TRUE(toldOf("in/moved.avi"));
    EXPECT_TRUE(toldOf("in/new/deeper/deep.avi"));
    EXPECT_FALSE(toldOf("in/out/output.mp3", 1500)) << "an output folder inside is never watched";
    EXPECT_FALSE(toldOf("in/.hidden.avi", 100));
    EXPECT_EQ(std::count(told.begin(), told.end(), dir.file("in/closed.avi")), 1) << "told once";

    writeFileBytes(dir.file("in/closed.avi"), "written anew");
    EXPECT_TRUE(waitFor([&] { return std::count(told.begin(), told.end(), dir.file("in/closed.avi")) == 2; }));
}

TEST_F(FolderWatchTest, WithoutChangeNoticesAFileIsCompleteOnceItStandsStillAcrossTwoLooks)
{
    writeFileBytes(dir.file("in/before.avi"), "x");
    const auto watch = watching(false, true);
    EXPECT_TRUE(watch->looking());
    std::ofstream growing(dir.file("in/growing.avi"));
    // It grows more often than the folder is looked through.
    for (int i = 0; i < 8; ++i) {
        growing << "more " << std::flush;
        waitFor([] { return false; }, FolderWatch::kNetworkLookMs / 2);
        EXPECT_TRUE(told.empty()) << "told while it still grows, after " << i;
    }
    EXPECT_TRUE(toldOf("in/growing.avi", 4 * FolderWatch::kNetworkLookMs));
    EXPECT_FALSE(toldOf("in/before.avi", 10)) << "there before, and the old are left alone";
}

TEST_F(FolderWatchTest, AWatchedFolderRemovedOrMovedAwayIsToldOnceAndAMovedSubfolderIsNot)
{
    const struct {
        bool lookOnly;
        bool move;
    } cases[] = {{false, false}, {false, true}, {true, false}};
    for (const auto& [lookOnly, move] : cases) {
        fs::create_directories(dir.file("in/sub"));
        const auto watch = watching(false, lookOnly);
        int gone = 0;
        QObject::connect(watch.get(), &FolderWatch::folderGone, [&gone] { ++gone; });
        if (!lookOnly) {
            fs::rename(dir.file("in/sub"), dir.file("in/moved"));
            waitFor([] { return false; }, 300);
            EXPECT_EQ(gone, 0) << "a subfolder moved inside";
        }
        if (move)
            fs::rename(dir.file("in"), dir.file("away"));
        else
            fs::remove_all(dir.file("in"));
        EXPECT_TRUE(waitFor([&] { return gone > 0; }, 4 * FolderWatch::kNetworkLookMs))
            << "looking " << lookOnly << ", moved " << move;
        waitFor([] { return false; }, lookOnly ? FolderWatch::kNetworkLookMs + 500 : 300);
        EXPECT_EQ(gone, 1) << "told once";
        fs::remove_all(dir.file("away"));
        fs::create_directories(dir.file("in/out"));
    }
}

// An inotify notice as the kernel gives it.
std::string notice(int watch, std::uint32_t mask)
{
    inotify_event event {};
    event.wd = watch;
    event.mask = mask;
    return std::string(reinterpret_cast<const char*>(&event), sizeof event);
}

TEST_F(FolderWatchTest, AnOutputFolderIsPassedOverHoweverItIsSpelt)
{
    // The watched folder through a link, the output folder through another, and a bind mount of it.
    fs::create_directory_symlink(dir.file("in"), dir.file("link"));
    fs::create_directory_symlink(dir.file("in/out"), dir.file("outlink"));
    fs::create_directories(dir.file("in/bound"));
    const bool bound
        = ::geteuid() == 0 && runProgram({"mount", "--bind", dir.file("in/out"), dir.file("in/bound")}) == 0;
    if (!bound)
        std::cout << "not root or no mount: the bind mount is not tried\n";
    {
        FolderWatch watch(FolderWatch::Settings {dir.file("link"), {dir.file("outlink")}, false, 0, {}});
        QObject::connect(&watch, &FolderWatch::fileComplete, [this](const std::string& path) { told.push_back(path); });
        watch.start();
        writeFileBytes(dir.file("in/out/output.mp3"), "x");
        if (bound)
            writeFileBytes(dir.file("in/bound/bound.mp3"), "x");
        writeFileBytes(dir.file("in/input.avi"), "x");
        EXPECT_TRUE(toldOf("link/input.avi"));
        waitFor([] { return false; }, 500);
        EXPECT_EQ(told, std::vector<std::string> {dir.file("link/input.avi")}) << "outputs are never inputs";
    }
    if (bound)
        runProgram({"umount", dir.file("in/bound")});
}

TEST_F(FolderWatchTest, AFileIsCompleteOnlyOnceItStoodUnchangedForTheSettleTimeAfterItsLastClose)
{
    const auto watch = watching(false, false, 5000);
    // Appended in steps, each a close of its own, as a resumed download or "cat >>" does.
    for (int step = 0; step < 4; ++step) {
        std::ofstream(dir.file("in/growing.avi"), std::ios::app) << "step " << step << "\n";
        waitFor([] { return false; }, 300);
    }
    EXPECT_TRUE(told.empty()) << "closed, but not yet unchanged for the settle time";
    ASSERT_TRUE(toldOf("in/growing.avi", 15000));
    EXPECT_EQ(told.size(), 1u) << "told once, whole";
    EXPECT_EQ(fs::file_size(dir.file("in/growing.avi")), 4 * std::string("step 0\n").size());
}

TEST_F(FolderWatchTest, DownloadsAndTemporariesInProgressAndExcludedNamesArePassedOver)
{
    auto watch
        = std::make_unique<FolderWatch>(FolderWatch::Settings {dir.file("in"), {}, false, 0, {"*.nfo", "skip/*"}});
    QObject::connect(
        watch.get(), &FolderWatch::fileComplete, [this](const std::string& path) { told.push_back(path); });
    watch->start();
    fs::create_directories(dir.file("in/skip"));
    for (const char* name : {"film.avi.part", "film.avi.crdownload", "x.tmp", "y.partial", ".hidden.avi", "~lock.avi",
             "about.nfo", "skip/inside.avi"})
        writeFileBytes(dir.file(std::string("in/") + name), "x");
    // The download ends: renamed to its own name, it is converted once.
    fs::rename(dir.file("in/film.avi.part"), dir.file("in/film.avi"));
    ASSERT_TRUE(toldOf("in/film.avi"));
    waitFor([] { return false; }, 500);
    EXPECT_EQ(told, std::vector<std::string> {dir.file("in/film.avi")});

    EXPECT_TRUE(FolderWatch::excludedName("a.PART", "a.PART", {"*.[pP][aA][rR][tT]"}));
    EXPECT_FALSE(FolderWatch::excludedName("a.avi", "sub/a.avi", {"other/*"}));
    EXPECT_TRUE(FolderWatch::excludedName("a.avi", "sub/a.avi", {"sub/*"}));
}

TEST_F(FolderWatchTest, AfterAnOverflowTheFolderIsLookedThroughAgainAndThatIsSaidOnce)
{
    writeFileBytes(dir.file("in/missed.avi"), "x");
    writeFileBytes(dir.file("in/unchanged.avi"), "x");
    const auto watch = watching(false);
    std::vector<std::string> warnings;
    QObject::connect(watch.get(), &FolderWatch::warning, [&](const std::string& text) { warnings.push_back(text); });
    // A change the notices do not tell of, standing for the ones an overflow loses.
    const timespec later[2] = {{2000000000, 0}, {2000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, dir.file("in/missed.avi").c_str(), later, 0), 0);
    waitFor([] { return false; }, 300);
    EXPECT_TRUE(told.empty());
    const std::string overflow = notice(-1, IN_Q_OVERFLOW);
    watch->takeNotices(overflow.data(), overflow.size());
    EXPECT_TRUE(toldOf("in/missed.avi"));
    watch->takeNotices(overflow.data(), overflow.size());
    waitFor([] { return false; }, 300);
    EXPECT_EQ(told, std::vector<std::string> {dir.file("in/missed.avi")}) << "what was told is not told again";
    EXPECT_EQ(warnings, std::vector<std::string> {"too many files at once; looked through the folder again"});
}

TEST_F(FolderWatchTest, ABurstBeyondTheKernelsQueueLosesNoFile)
{
    // The kernel's queue, lowered for the watch's own notices only: it is read when the watch starts.
    const std::string setting = "/proc/sys/fs/inotify/max_queued_events";
    std::string before;
    std::ifstream(setting) >> before;
    if (before.empty() || !std::ofstream(setting, std::ios::out | std::ios::trunc).good()) {
        std::cout << "cannot lower " << setting << " here: the overflow is fed through takeNotices only\n";
        return;
    }
    std::ofstream(setting) << 16;
    const auto watch = watching(false);
    std::ofstream(setting) << before;
    std::vector<std::string> warnings;
    QObject::connect(watch.get(), &FolderWatch::warning, [&](const std::string& text) { warnings.push_back(text); });
    // Written while the watch reads nothing: far more notices than the queue holds.
    for (int i = 0; i < 200; ++i)
        writeFileBytes(dir.file("in/burst-" + std::to_string(i) + ".avi"), "x");
    EXPECT_TRUE(waitFor([&] { return told.size() == 200; }, 20000)) << told.size() << " of 200";
    EXPECT_EQ(warnings.size(), 1u);
}

TEST_F(FolderWatchTest, FoldersBeyondTheLimitOnWatchesAreLookedThroughWithAWarningNamingTheLimit)
{
    fs::create_directories(dir.file("in/a/deeper"));
    FolderWatch watch(FolderWatch::Settings {dir.file("in"), {dir.file("in/out")}, false, 0, {}});
    QObject::connect(&watch, &FolderWatch::fileComplete, [this](const std::string& path) { told.push_back(path); });
    std::vector<std::string> warnings;
    QObject::connect(&watch, &FolderWatch::warning, [&](const std::string& text) { warnings.push_back(text); });
    watch.limitWatches(1);
    watch.start();
    EXPECT_FALSE(watch.looking());
    EXPECT_EQ(watch.unwatchedFolders(), 2);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("fs.inotify.max_user_watches"), std::string::npos) << warnings[0];
    writeFileBytes(dir.file("in/top.avi"), "x");
    writeFileBytes(dir.file("in/a/deeper/deep.avi"), "x");
    fs::create_directories(dir.file("in/a/new"));
    writeFileBytes(dir.file("in/a/new/newer.avi"), "x");
    EXPECT_TRUE(toldOf("in/top.avi"));
    EXPECT_TRUE(toldOf("in/a/deeper/deep.avi", 4 * FolderWatch::kNetworkLookMs));
    EXPECT_TRUE(toldOf("in/a/new/newer.avi", 4 * FolderWatch::kNetworkLookMs));
    EXPECT_EQ(told.size(), 3u);
    EXPECT_EQ(warnings.size(), 1u) << "said once";
}

} // namespace
