#include "RunJournal.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace {

using Outcome = RunJournal::Outcome;

TEST(RunJournal, ItemsAreKnownAgainByPositionInputFormatAndFolderWhateverTheirNames)
{
    TempDir dir;
    const RunJournal::Key awkward {3, 9, "/v/tab\there\nnew%line 100%.avi", "/out/\r/"};
    const RunJournal::Key plain {0, 0, "/v/a.avi", ""};
    {
        RunJournal journal(dir.file("journal"));
        EXPECT_FALSE(journal.lastOutcome(plain));
        journal.record(plain, Outcome::failed, "/videos/a.mp3");
        journal.record(awkward, Outcome::converted, "/out/\r/tab\there.mp4");
        journal.record(plain, Outcome::converted, "/videos/a.mp3");
    }
    const std::string text = readFileBytes(dir.file("journal"));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3) << "one line an item, names escaped";

    const RunJournal again(dir.file("journal"));
    EXPECT_EQ(again.damagedLines(), 0);
    EXPECT_EQ(again.lastOutcome(plain), Outcome::converted) << "the latest line holds";
    EXPECT_EQ(again.lastOutcome(awkward), Outcome::converted);
    for (const RunJournal::Key& other : {RunJournal::Key {1, 0, "/v/a.avi", ""}, RunJournal::Key {0, 1, "/v/a.avi", ""},
             RunJournal::Key {0, 0, "/v/b.avi", ""}, RunJournal::Key {0, 0, "/v/a.avi", "/elsewhere/"}})
        EXPECT_FALSE(again.lastOutcome(other)) << other.position << other.format << other.input << other.outputDir;
}

TEST(RunJournal, LinesCutShortOrChangedAreNeverBelieved)
{
    TempDir dir;
    const RunJournal::Key a {0, 0, "/v/a.avi", ""};
    const RunJournal::Key b {1, 0, "/v/b.avi", ""};
    const RunJournal::Key c {2, 0, "/v/c.avi", ""};
    std::string good = RunJournal::lineFor(b, Outcome::converted, "/v/b.mp3", "2026-12-08T07:00:00Z");
    std::string changed = RunJournal::lineFor(c, Outcome::failed, "/v/c.mp3", "2026-12-08T07:00:00Z");
    changed.replace(0, 6, "conver"); // "failed" made "conver…": its checksum no longer fits
    const std::string cut = RunJournal::lineFor(a, Outcome::converted, "/v/a.mp3", "2026-12-08T07:00:01Z");
    writeFileBytes(dir.file("journal"), good + changed + std::string(16, '\0') + "\n" + cut.substr(0, cut.size() / 2));
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
    EXPECT_THROW(RunJournal(dir.path().string()), std::runtime_error);
    EXPECT_THROW(RunJournal("/dev/null"), std::runtime_error);
}

} // namespace
