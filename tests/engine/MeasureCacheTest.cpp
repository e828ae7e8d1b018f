// Measures kept between runs: found again only for the same file as it was,
// measured by the same program; moved along with a rename; never an answer
// when damaged; pruned after a month; and, through MediaProbe, a measure that
// starts no ffprobe at all, held by a pause like a running one.
#include "EngineTestSupport.h"
#include "MeasureCache.h"
#include "MediaProbe.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Change times are taken from a clock that moves in ticks of a few
// milliseconds: a change this much later always has a later one.
void waitForTheNextTick()
{
    std::this_thread::sleep_for(30ms);
}

void setModified(const std::string& path, std::chrono::seconds ago)
{
    const struct timespec when {
        std::time(nullptr) - ago.count(), 0
    };
    const struct timespec times[2] = {when, when};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

struct timespec modifiedOf(const std::string& path)
{
    struct stat info { };
    ::lstat(path.c_str(), &info);
    return info.st_mtim;
}

// The cache's entries: every file in its folder but the pruning mark.
std::vector<std::string> entries()
{
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(MeasureCache::folder(), ec)) {
        if (entry.path().filename() != ".pruned")
            found.push_back(entry.path().string());
    }
    return found;
}

// Kept measures are trusted on a few file systems only: elsewhere there is nothing to test.
bool changeTimesTrustedIn(const std::string& folder)
{
    writeFileBytes(folder + "/probe", "");
    return MeasureCache::fileStamp(folder + "/probe").has_value();
}

class MeasureCacheTest : public testing::Test {
protected:
    MeasureCacheTest() { writeFileBytes(file, "a media file"); }
    void SetUp() override
    {
        if (!changeTimesTrustedIn(dir.path().string()))
            GTEST_SKIP() << "the temporary folder's file system keeps no change times that kept measures trust";
    }
    std::string stamp() const { return MeasureCache::fileStamp(file).value_or(""); }

    const TemporaryStateHome home;
    TempDir dir;
    const std::string file = dir.file("clip.mkv");
    const std::string prober = "/usr/bin/ffprobe\t1:2 3 4.0 5.0";
    const std::string answer = "{\n  \"streams\": []\n}\n";
};

TEST_F(MeasureCacheTest, AMeasureIsFoundOnlyForTheFileAsItWasAndTheProgramThatTookIt)
{
    const std::string before = stamp();
    ASSERT_FALSE(before.empty());
    EXPECT_EQ(MeasureCache::recall(before, prober), std::nullopt);
    MeasureCache::keep(before, prober, answer);
    EXPECT_EQ(MeasureCache::recall(before, prober), answer);
    EXPECT_EQ(MeasureCache::recall(before, prober + "1"), std::nullopt) << "another ffprobe";

    // Written again in place, as long as it was and with its old time put back: its change time tells.
    waitForTheNextTick();
    const struct timespec modified = modifiedOf(file);
    writeFileBytes(file, "A media file");
    const struct timespec times[2] = {modified, modified};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    EXPECT_NE(stamp(), before);
    EXPECT_EQ(MeasureCache::recall(stamp(), prober), std::nullopt);

    // Another file under the same name.
    MeasureCache::keep(stamp(), prober, answer);
    const std::string other = dir.file("other.mkv");
    writeFileBytes(other, "A media file");
    fs::rename(other, file);
    EXPECT_EQ(MeasureCache::recall(stamp(), prober), std::nullopt);

    EXPECT_EQ(MeasureCache::fileStamp(dir.path().string()), std::nullopt) << "a folder is no file";
    EXPECT_EQ(MeasureCache::fileStamp(dir.file("missing")), std::nullopt);
    // A file system not known to keep change times of its own: nothing is kept for its files.
    EXPECT_EQ(MeasureCache::fileStamp("/proc/self/status"), std::nullopt);
}

TEST_F(MeasureCacheTest, AProgramIsOneProgramHoweverItIsNamed)
{
    fs::create_directory(dir.file("bin"));
    writeScript(dir.file("bin/ffprobe"), "exit 0");
    fs::create_symlink(dir.file("bin/ffprobe"), dir.file("linked"));
    const std::optional<std::string> stamp = MeasureCache::programStamp(dir.file("bin/ffprobe"));
    ASSERT_TRUE(stamp.has_value());
    for (const std::string& name : {dir.file("bin//ffprobe"), dir.file("bin/../bin/ffprobe"), dir.file("linked")})
        EXPECT_EQ(MeasureCache::programStamp(name), stamp) << name;
    waitForTheNextTick();
    writeScript(dir.file("bin/ffprobe"), "exit 1");
    EXPECT_NE(MeasureCache::programStamp(dir.file("bin/ffprobe")), stamp) << "written again";
    EXPECT_EQ(MeasureCache::programStamp(dir.file("bin/none")), std::nullopt);
}

TEST_F(MeasureCacheTest, ARenamedFileTakesItsMeasureAlong)
{
    const std::string before = stamp();
    MeasureCache::keep(before, prober, answer);
    waitForTheNextTick();
    const std::string published = dir.file("published.mkv");
    fs::rename(file, published);
    const std::string after = MeasureCache::fileStamp(published).value_or("");
    ASSERT_NE(after, before) << "a rename gives a new change time";
    EXPECT_EQ(MeasureCache::recall(after, prober), std::nullopt);

    MeasureCache::carry(before, after);
    EXPECT_EQ(MeasureCache::recall(after, prober), answer);
    EXPECT_EQ(MeasureCache::recall(before, prober), std::nullopt);
    EXPECT_EQ(entries().size(), 1u) << "moved, not copied";
    // Carrying what was never kept makes nothing.
    MeasureCache::carry(before, after + "x");
    EXPECT_EQ(entries().size(), 1u);

    // Cut right after its rename: the measure of what it was is not carried to what it is.
    const std::string cut = dir.file("cut.mkv");
    writeFileBytes(cut, "a media file, whole");
    const std::string whole = *MeasureCache::fileStamp(cut);
    MeasureCache::keep(whole, prober, answer);
    fs::rename(cut, published);
    fs::resize_file(published, 5);
    const std::string shorter = *MeasureCache::fileStamp(published);
    MeasureCache::carry(whole, shorter);
    EXPECT_EQ(MeasureCache::recall(shorter, prober), std::nullopt);
}

TEST_F(MeasureCacheTest, ADamagedOrForeignEntryIsNoAnswerAndAnUnwritableCacheIsNoError)
{
    const std::string now = stamp();
    MeasureCache::keep(now, prober, answer);
    ASSERT_EQ(entries().size(), 1u);
    const std::string entry = entries().front();
    const std::string whole = readFileBytes(entry);

    const std::string damaged[]
        = {"", whole.substr(0, whole.find('\n')), "garbage\n" + now + "\n" + prober + "\n" + answer,
            // Another file's measure under this one's name.
            "calvera measure 1\n" + now + "9\n" + prober + "\n" + answer};
    for (const std::string& text : damaged) {
        writeFileBytes(entry, text);
        EXPECT_EQ(MeasureCache::recall(now, prober), std::nullopt) << text;
    }
    // Not followed, nor waited on.
    fs::remove(entry);
    writeFileBytes(dir.file("elsewhere"), whole);
    fs::create_symlink(dir.file("elsewhere"), entry);
    EXPECT_EQ(MeasureCache::recall(now, prober), std::nullopt) << "a link";
    fs::remove(entry);
    ASSERT_EQ(::mkfifo(entry.c_str(), 0600), 0);
    EXPECT_EQ(MeasureCache::recall(now, prober), std::nullopt) << "a FIFO";
    MeasureCache::keep(now, prober, answer);
    EXPECT_EQ(fs::status(entry).type(), fs::file_type::fifo) << "nothing but an entry is written over";

    // A file where the folder of the entries should be.
    fs::remove_all(MeasureCache::folder());
    writeFileBytes(MeasureCache::folder().substr(0, MeasureCache::folder().size() - 1), "not a folder");
    MeasureCache::keep(now, prober, answer);
    EXPECT_EQ(MeasureCache::recall(now, prober), std::nullopt);
}

TEST_F(MeasureCacheTest, EntriesUnusedForAMonthArePrunedAndAUsedOneIsRenewed)
{
    const std::string older = dir.file("older.mkv");
    const std::string used = dir.file("used.mkv");
    for (const std::string& name : {older, used})
        writeFileBytes(name, name);
    MeasureCache::keep(stamp(), prober, answer);
    MeasureCache::keep(*MeasureCache::fileStamp(older), prober, answer);
    MeasureCache::keep(*MeasureCache::fileStamp(used), prober, answer);
    // The first entry kept started the day's pruning: it is over before the entries age.
    MeasureCache::waitForPruning();
    ASSERT_EQ(entries().size(), 3u);
    for (const std::string& entry : entries())
        setModified(entry, 31 * 24h);
    // Used now: its month starts again.
    ASSERT_EQ(MeasureCache::recall(*MeasureCache::fileStamp(used), prober), answer);
    // Kept a while ago, within the month.
    MeasureCache::keep(stamp(), prober, answer);
    for (const std::string& entry : entries()) {
        if (std::time(nullptr) - modifiedOf(entry).tv_sec < 60)
            setModified(entry, 29 * 24h);
    }
    // What only looks like an entry, or what a writer that died left of one.
    const std::string folder = MeasureCache::folder();
    const std::string name = fs::path(entries().front()).filename().string();
    for (const std::string& other : {name + "x", name + ".notes", name + ".part12-3"}) {
        writeFileBytes(folder + other, "");
        setModified(folder + other, 31 * 24h);
    }
    EXPECT_EQ(MeasureCache::prune(MeasureCache::kUnusedFor), 2);
    EXPECT_TRUE(fs::exists(folder + name + "x"));
    EXPECT_TRUE(fs::exists(folder + name + ".notes"));
    EXPECT_FALSE(fs::exists(folder + name + ".part12-3"));
    EXPECT_EQ(MeasureCache::recall(*MeasureCache::fileStamp(older), prober), std::nullopt);
    EXPECT_EQ(MeasureCache::recall(*MeasureCache::fileStamp(used), prober), answer);
    EXPECT_EQ(MeasureCache::recall(stamp(), prober), answer);
}

TEST_F(MeasureCacheTest, PruningNeverFollowsALinkInPlaceOfTheFolder)
{
    // Someone's folder of files named like entries, as old as unused ones.
    const std::string victim = dir.file("victim/");
    fs::create_directories(victim);
    const std::string name(32, 'a');
    writeFileBytes(victim + name, "someone's");
    setModified(victim + name, 60 * 24h);
    fs::create_directories(fs::path(MeasureCache::folder()).parent_path().parent_path());
    fs::create_directory_symlink(victim, fs::path(MeasureCache::folder()).parent_path());
    EXPECT_EQ(MeasureCache::prune(MeasureCache::kUnusedFor), 0);
    EXPECT_TRUE(fs::exists(victim + name));
}

// MediaProbe with a stand-in ffprobe that counts its runs and tells one video stream of 2 s.
class KeptMeasureTest : public testing::Test {
protected:
    KeptMeasureTest()
    {
        writeScript(dir.file("ffmpeg"), "exit 1");
        prober("");
        writeFileBytes(file, "a clip");
    }
    void SetUp() override
    {
        if (!changeTimesTrustedIn(dir.path().string()))
            GTEST_SKIP() << "the temporary folder's file system keeps no change times that kept measures trust";
    }
    // The stand-in, with shell lines run before it answers ($file is the file measured).
    void prober(const std::string& before)
    {
        writeScript(dir.file("ffprobe"),
            "echo run >> '" + dir.file("runs") + "'\nfor file; do :; done\nfile=${file#file:}\n" + before
                + "\necho '{\"streams\": [{\"codec_type\": \"video\", \"duration\": \"2.0\"}],'\n"
                  "echo '\"format\": {\"format_name\": \"matroska,webm\", \"duration\": \"2.0\"}}'");
    }
    int runs() const
    {
        const std::string text = readFileBytes(dir.file("runs"));
        return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    }
    MediaContents measure() const { return MediaProbe::measureNow(dir.file("ffmpeg"), file); }

    const TemporaryStateHome home;
    TempDir dir;
    const std::string file = dir.file("clip.mkv");
};

TEST_F(KeptMeasureTest, AnUnchangedFileIsMeasuredOnceByTheSameProgram)
{
    const MediaContents first = measure();
    ASSERT_EQ(first.answer, MediaContents::Answer::measured);
    ASSERT_EQ(first.streams.size(), 1u);
    const MediaContents second = measure();
    EXPECT_EQ(runs(), 1);
    EXPECT_EQ(second.answer, MediaContents::Answer::measured);
    EXPECT_EQ(second.format, "matroska,webm");
    ASSERT_EQ(second.streams.size(), 1u);
    EXPECT_EQ(second.streams[0].seconds, 2.0);

    writeFileBytes(file, "a longer clip");
    measure();
    EXPECT_EQ(runs(), 2) << "the file changed";
    prober("# another ffprobe");
    measure();
    EXPECT_EQ(runs(), 3) << "another ffprobe";
    measure();
    EXPECT_EQ(runs(), 3);
}

TEST_F(KeptMeasureTest, AFileThatChangesWhileItIsMeasuredIsMeasuredAgainNextTime)
{
    prober("echo more >> \"$file\"");
    measure();
    measure();
    EXPECT_EQ(runs(), 2);
}

TEST_F(KeptMeasureTest, AKeptAnswerWaitsForAResumeAndNeverComesAfterACancel)
{
    measure();
    ASSERT_EQ(runs(), 1);
    int answers = 0;
    MediaProbe held(dir.file("ffmpeg"), file, [&](const MediaContents&) { ++answers; });
    held.pause();
    MediaProbe cancelled(dir.file("ffmpeg"), file, [&](const MediaContents&) { ++answers; });
    cancelled.cancel();
    processPendingEvents();
    EXPECT_EQ(answers, 0);
    held.resume();
    EXPECT_EQ(answers, 0) << "told from the event loop, never inside resume()";
    EXPECT_TRUE(waitFor([&] { return answers > 0; }, 5000));
    processPendingEvents();
    EXPECT_EQ(answers, 1);
    EXPECT_EQ(runs(), 1);
}

} // namespace
