#include "RunJournal.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using Outcome = RunJournal::Outcome;
using Key = RunJournal::Key;

std::string header()
{
    return std::string(RunJournal::kHeader) + "\n";
}

TEST(RunJournal, ItemsAreKnownAgainByInputFormatFolderAndOccurrenceWhateverTheirPlace)
{
    TempDir dir;
    const Key awkward {3, 0, 9, "/v/tab\there\nnew%line 100%.avi", "/out/\r/"};
    const Key plain {0, 0, 0, "/v/a.avi", ""};
    {
        RunJournal journal(dir.file("journal"));
        EXPECT_FALSE(journal.lastOutcome(plain));
        journal.record(plain, Outcome::failed, "/videos/a.mp3");
        journal.record(awkward, Outcome::converted, "/out/\r/tab\there.mp4");
        journal.record(plain, Outcome::converted, "/videos/a.mp3");
    }
    const std::string text = readFileBytes(dir.file("journal"));
    EXPECT_TRUE(text.starts_with(header())) << "a journal says what it is";
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4) << "a header, then one line an item, names escaped";

    const RunJournal again(dir.file("journal"));
    EXPECT_EQ(again.damagedLines(), 0);
    EXPECT_EQ(again.lastOutcome(plain), Outcome::converted) << "the latest line holds";
    EXPECT_EQ(again.lastOutcome(Key {7, 0, 9, awkward.input, awkward.outputDir}), Outcome::converted)
        << "an item moved in the queue is the same item";
    for (const Key& other : {Key {0, 1, 0, "/v/a.avi", ""}, Key {0, 0, 1, "/v/a.avi", ""},
             Key {0, 0, 0, "/v/b.avi", ""}, Key {0, 0, 0, "/v/a.avi", "/elsewhere/"}})
        EXPECT_FALSE(again.lastOutcome(other)) << other.occurrence << other.format << other.input << other.outputDir;
}

TEST(RunJournal, ARunHoldsItsJournalAndASecondIsRefusedAtOnce)
{
    TempDir dir;
    const RunJournal first(dir.file("journal"));
    try {
        const RunJournal second(dir.file("journal"));
        FAIL() << "two runs shared a journal";
    } catch (const JournalError& error) {
        EXPECT_EQ(std::string(error.what()), "the journal \"" + dir.file("journal") + "\" is in use by another run");
    }
}

TEST(RunJournal, AFileThatIsNoJournalIsRefusedAndLeftAsItWas)
{
    TempDir dir;
    const std::string list = "<list>\n<item><filename>/v/a.avi</filename><format>0</format><path/></item>\n</list>\n";
    writeFileBytes(dir.file("jobs.qfl"), list);
    EXPECT_THROW(RunJournal(dir.file("jobs.qfl")), JournalError);
    EXPECT_EQ(readFileBytes(dir.file("jobs.qfl")), list);

    writeFileBytes(dir.file("empty"), "");
    EXPECT_NO_THROW(RunJournal(dir.file("empty"))) << "an empty file is a new journal";
    EXPECT_EQ(readFileBytes(dir.file("empty")), header());

    // Sparse: a quarter of a gibibyte and one byte costs no disk.
    {
        std::ofstream(dir.file("huge")) << header();
    }
    ASSERT_EQ(::truncate(dir.file("huge").c_str(), RunJournal::kMaxBytes + 1), 0);
    EXPECT_THROW(RunJournal(dir.file("huge")), JournalError);

    EXPECT_THROW(RunJournal(dir.path().string()), JournalError);
    EXPECT_THROW(RunJournal("/dev/null"), JournalError);
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    EXPECT_THROW(RunJournal(dir.file("fifo")), JournalError) << "refused, not waited on";
}

TEST(RunJournal, AJournalOfTheLayoutBeforeIsReadByPosition)
{
    // What the journal looked like before it had a header: the item's position second.
    const auto oldLine = [](const std::string& outcome, int position, const std::string& input) {
        // Seven fields under their CRC-32.
        const std::string body = outcome + "\t" + std::to_string(position) + "\t0\t" + input + "\t\t/o.mp3\tT";
        std::uint32_t crc = 0xFFFFFFFFu;
        for (const char c : body) {
            crc ^= static_cast<unsigned char>(c);
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
        }
        char checksum[16];
        std::snprintf(checksum, sizeof checksum, "%08x", crc ^ 0xFFFFFFFFu);
        return body + "\t" + checksum + "\n";
    };
    TempDir dir;
    writeFileBytes(dir.file("old"), oldLine("converted", 0, "/v/a.avi") + oldLine("failed", 1, "/v/b.avi"));
    {
        RunJournal journal(dir.file("old"));
        EXPECT_EQ(journal.damagedLines(), 0);
        EXPECT_EQ(journal.lastOutcome(Key {0, 0, 0, "/v/a.avi", ""}), Outcome::converted);
        EXPECT_EQ(journal.lastOutcome(Key {1, 0, 0, "/v/b.avi", ""}), Outcome::failed);
        EXPECT_FALSE(journal.lastOutcome(Key {1, 0, 0, "/v/a.avi", ""})) << "there, an item was its position";
        journal.record(Key {1, 0, 0, "/v/b.avi", ""}, Outcome::converted, "/o.mp3");
    }
    const RunJournal again(dir.file("old"));
    EXPECT_EQ(again.lastOutcome(Key {1, 0, 0, "/v/b.avi", ""}), Outcome::converted) << "new lines follow old ones";
    EXPECT_EQ(again.lastOutcome(Key {0, 0, 0, "/v/a.avi", ""}), Outcome::converted);
}

TEST(RunJournal, LinesCutShortOrChangedAreNeverBelieved)
{
    TempDir dir;
    const Key a {0, 0, 0, "/v/a.avi", ""};
    const Key b {1, 0, 0, "/v/b.avi", ""};
    const Key c {2, 0, 0, "/v/c.avi", ""};
    std::string good = RunJournal::lineFor(b, Outcome::converted, "/v/b.mp3", "2026-12-08T07:00:00Z");
    std::string changed = RunJournal::lineFor(c, Outcome::failed, "/v/c.mp3", "2026-12-08T07:00:00Z");
    changed.replace(0, 6, "conver"); // "failed" made "conver…": its checksum no longer fits
    const std::string cut = RunJournal::lineFor(a, Outcome::converted, "/v/a.mp3", "2026-12-08T07:00:01Z");
    writeFileBytes(
        dir.file("journal"), header() + good + changed + std::string(16, '\0') + "\n" + cut.substr(0, cut.size() / 2));
    {
        RunJournal journal(dir.file("journal"));
        EXPECT_EQ(journal.damagedLines(), 3);
        EXPECT_EQ(journal.lastOutcome(b), Outcome::converted);
        EXPECT_FALSE(journal.lastOutcome(c));
        EXPECT_FALSE(journal.lastOutcome(a)) << "half a line is no line";
        journal.record(a, Outcome::stopped, "/v/a.mp3");
    }
    const RunJournal again(dir.file("journal"));
    EXPECT_EQ(again.lastOutcome(a), Outcome::stopped) << "a line after a cut one starts on its own";
    EXPECT_EQ(again.damagedLines(), 3);

    EXPECT_FALSE(RunJournal::parseLine(good.substr(0, good.size() - 1))) << "no newline";
    EXPECT_TRUE(RunJournal::parseLine(good));
}

TEST(RunJournal, AFilePublishedJustBeforeACrashIsFoundUnderItsName)
{
    TempDir dir;
    const Key published {0, 0, 0, "/v/a.avi", ""};
    const Key second {0, 0, 0, "/v/b.avi", ""};
    const Key notYet {0, 0, 0, "/v/c.avi", ""};
    const auto made = [&](const std::string& name) {
        writeFileBytes(dir.file(name), "converted");
        struct stat status { };
        ::stat(dir.file(name).c_str(), &status);
        return FileIdentity {status.st_dev, status.st_ino};
    };
    {
        RunJournal journal(dir.file("journal"));
        journal.recordPublishing(published, dir.file("a.mp3"), made("made-a"));
        journal.recordPublishing(second, dir.file("b.mp3"), made("made-b"));
        journal.recordPublishing(notYet, dir.file("c.mp3"), made("made-c"));
    }
    // The crash came after two renames, before the items' lines.
    std::filesystem::rename(dir.file("made-a"), dir.file("a.mp3"));
    writeFileBytes(dir.file("b.mp3"), "someone else's");
    std::filesystem::rename(dir.file("made-b"), dir.file("b_2.mp3"));
    {
        const RunJournal resumed(dir.file("journal"));
        EXPECT_EQ(resumed.foundPublished(), 2);
        EXPECT_EQ(resumed.lastOutcome(published), Outcome::converted);
        EXPECT_EQ(resumed.lastOutcome(second), Outcome::converted) << "under the next free name";
        EXPECT_FALSE(resumed.lastOutcome(notYet)) << "never published: it converts again";
    }
    const RunJournal later(dir.file("journal"));
    EXPECT_EQ(later.foundPublished(), 0) << "what was found is recorded";
    EXPECT_EQ(later.lastOutcome(published), Outcome::converted);
    EXPECT_EQ(later.damagedLines(), 0);
}

// A line under its CRC-32, as any layout writes it.
std::string checksummedLine(const std::string& body)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : body) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    char checksum[16];
    std::snprintf(checksum, sizeof checksum, "%08x", crc ^ 0xFFFFFFFFu);
    return body + "\t" + checksum + "\n";
}

TEST(RunJournal, AWatchedFileIsKnownByItsSizeAndTimeAndTheLayoutBeforeIsStillRead)
{
    TempDir dir;
    Key first {0, 0, 0, "/in/a.avi", "/out/"};
    first.size = 5;
    first.modifiedNs = 1000000000000000000;
    Key rewritten = first;
    rewritten.size = 6;
    rewritten.modifiedNs = 1000000100000000000;
    {
        RunJournal journal(dir.file("journal"));
        journal.record(first, Outcome::converted, "/out/a.mp3", FileIdentity {8, 42});
    }
    const std::string text = readFileBytes(dir.file("journal"));
    EXPECT_NE(text.find("\t5:1000000000000000000\t/out/a.mp3\t"), std::string::npos) << text;
    EXPECT_NE(text.find("\t8:42\t"), std::string::npos) << "a converted line names its file\n" << text;
    {
        const RunJournal journal(dir.file("journal"));
        EXPECT_EQ(journal.lastOutcome(first), Outcome::converted) << "unchanged: never again";
        EXPECT_FALSE(journal.lastOutcome(rewritten)) << "written anew: a new item";
    }

    // The layout before: no size and time; a file changed after its line was written is new.
    const std::string before = std::string(RunJournal::kHeaderBefore) + "\n"
        + checksummedLine("converted\t0\t0\t/in/b.avi\t/out/\t/out/b.mp3\t2001-09-09T01:46:40Z\t-");
    writeFileBytes(dir.file("before"), before);
    Key unchanged {0, 0, 0, "/in/b.avi", "/out/"};
    unchanged.size = 3;
    unchanged.modifiedNs = 999999000000000000; // before the line
    Key changed = unchanged;
    changed.modifiedNs = 1000000500000000000; // after it
    Key plain {0, 0, 0, "/in/b.avi", "/out/"};
    {
        RunJournal journal(dir.file("before"));
        EXPECT_EQ(journal.damagedLines(), 0);
        EXPECT_EQ(journal.lastOutcome(plain), Outcome::converted);
        EXPECT_EQ(journal.lastOutcome(unchanged), Outcome::converted);
        EXPECT_FALSE(journal.lastOutcome(changed));
        journal.record(changed, Outcome::failed, "/out/b.mp3");
    }
    const RunJournal again(dir.file("before"));
    EXPECT_EQ(again.lastOutcome(changed), Outcome::failed) << "lines of this layout follow those of the one before";
    EXPECT_EQ(again.lastOutcome(plain), Outcome::converted);
}

TEST(RunJournal, OnlyAnEmptyFileOrAJournalIsTakenAndReadingStaysLinear)
{
    TempDir dir;
    // A note without a newline, one with lines, one made of a single endless line: refused, unchanged.
    const std::vector<std::string> notJournals
        = {"remember the milk", "line one\nline two\n", std::string(3 << 20, 'x'), "# Calvera run journal\n"};
    for (const std::string& text : notJournals) {
        writeFileBytes(dir.file("notes.txt"), text);
        EXPECT_THROW(RunJournal(dir.file("notes.txt")), JournalError) << text.substr(0, 30);
        EXPECT_EQ(readFileBytes(dir.file("notes.txt")), text) << "left as it was";
    }
    // A large journal is read in time linear in its size: a few megabytes at once.
    std::string big = header();
    for (int i = 0; big.size() < (8u << 20); ++i)
        big += RunJournal::lineFor(
            Key {0, 0, 0, "/v/" + std::to_string(i) + ".avi", ""}, Outcome::converted, "/o.mp3", "T");
    writeFileBytes(dir.file("big"), big);
    const RunJournal journal(dir.file("big"));
    EXPECT_EQ(journal.damagedLines(), 0);
    EXPECT_EQ(journal.lastOutcome(Key {0, 0, 0, "/v/7.avi", ""}), Outcome::converted);
}

TEST(RunJournal, AnItemStartedAndNeverEndedIsUnfinishedAndCounted)
{
    TempDir dir;
    const Key crashed {0, 0, 0, "/v/a.avi", ""};
    const Key ended {1, 0, 0, "/v/b.avi", ""};
    const Key failed {2, 0, 0, "/v/c.avi", ""};
    {
        RunJournal journal(dir.file("journal"));
        journal.recordStarted(crashed);
        journal.recordStarted(ended);
        journal.record(ended, Outcome::converted, "/o/b.mp3");
        journal.recordStarted(failed);
        journal.record(failed, Outcome::failed, "/o/c.mp3");
    }
    const RunJournal journal(dir.file("journal"));
    EXPECT_TRUE(journal.unfinished(crashed));
    EXPECT_FALSE(journal.lastOutcome(crashed));
    EXPECT_FALSE(journal.unfinished(ended));
    EXPECT_FALSE(journal.unfinished(failed));
    const RunJournal::Tally tally = journal.tally();
    EXPECT_EQ(tally.total(), 3);
    EXPECT_EQ(tally.converted, 1);
    EXPECT_EQ(tally.failed, 1);
    EXPECT_EQ(tally.unfinished, 1);
}

TEST(RunJournal, ASkippedItemIsReadBackSkippedAndCountedApart)
{
    TempDir dir;
    const Key skipped {0, 0, 0, "/v/a.avi", "/o/"};
    const Key converted {1, 0, 0, "/v/b.avi", "/o/"};
    {
        RunJournal journal(dir.file("journal"));
        journal.record(skipped, Outcome::skipped, "/o/a.mp3");
        journal.record(converted, Outcome::converted, "/o/b.mp3");
    }
    EXPECT_NE(readFileBytes(dir.file("journal")).find("\nskipped\t"), std::string::npos);
    const RunJournal journal(dir.file("journal"));
    EXPECT_EQ(journal.damagedLines(), 0);
    EXPECT_EQ(journal.lastOutcome(skipped), Outcome::skipped);
    const RunJournal::Tally tally = journal.tally();
    EXPECT_EQ(tally.skipped, 1);
    EXPECT_EQ(tally.converted, 1);
    EXPECT_EQ(tally.total(), 2);
}

} // namespace
