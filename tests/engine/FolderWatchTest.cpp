#include "EngineTestSupport.h"
#include "FolderWatch.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

class FolderWatchTest : public testing::Test {
protected:
    FolderWatchTest() { fs::create_directories(dir.file("in/out")); }
    std::unique_ptr<FolderWatch> watching(bool includeExisting, bool lookOnly = false)
    {
        auto watch = std::make_unique<FolderWatch>(
            dir.file("in"), std::vector<std::string> {dir.file("in/out")}, includeExisting);
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

} // namespace
