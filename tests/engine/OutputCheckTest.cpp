#include "DriverTestSupport.h"
#include "OutputCheck.h"
#include "ProgressReader.h"
#include "RunningProgram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

TEST(OutputCheck, ReadsFfmpegsTimeSyntax)
{
    const std::vector<std::pair<std::string, double>> times = {{"5", 5}, {"1.5", 1.5}, {"00:01:02.5", 62.5},
        {"01:02", 62}, {"500ms", 0.5}, {"2s", 2}, {"1500000us", 1.5}, {"-1", -1}, {"abc", -1}, {"", -1}, {"5x", -1}};
    for (const auto& [text, seconds] : times)
        EXPECT_DOUBLE_EQ(OutputCheck::parseDuration(text), seconds) << text;
    EXPECT_EQ(OutputCheck::clock(9.81), "00:00:09.8");
    EXPECT_EQ(OutputCheck::clock(3725.04), "01:02:05.0");
}

// "HH:MM:SS.cc", as ffmpeg's status lines give a time.
std::string statusTime(double seconds)
{
    char text[32];
    const long long hundredths = std::llround(seconds * 100);
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%02lld", hundredths / 360000, hundredths / 6000 % 60,
        hundredths / 100 % 60, hundredths % 100);
    return text;
}

// What ffmpeg tells of one conversion: an input of 100 s, outputs with or
// without video, and a last status line at written seconds.
OutputCheck::Verdict judged(const std::vector<std::string>& inputParams, const std::vector<std::string>& params,
    double written, bool video = true, const std::vector<std::string>& extraLines = {})
{
    OutputCheck check(inputParams, params);
    ProgressReader progress;
    std::vector<std::string> lines = {
        "Input #0, avi, from 'file:/v/clip.avi':", "  Duration: 00:01:40.00, start: 0.000000, bitrate: 500 kb/s",
        "  Stream #0:0: Video: mpeg4 (Simple Profile), yuv420p, 160x120, 10 fps", "Output #0, mp4, to 'file:/o.mp4':",
        video ? "  Stream #0:0: Video: h264, yuv420p, 160x120, q=2-31" : "  Stream #0:0: Audio: mp3, 44100 Hz"};
    lines.insert(lines.end(), extraLines.begin(), extraLines.end());
    if (written >= 0)
        lines.push_back(
            "frame=  100 fps=50 q=-1.0 size=100kB time=" + statusTime(written) + " bitrate=1kbits/s speed=5x");
    for (const std::string& line : lines) {
        check.read(line);
        progress.read(line);
    }
    return check.verdict(progress.progress());
}

TEST(OutputCheck, TheExpectedLengthFollowsTheEntrysTimingOptions)
{
    struct Case {
        std::vector<std::string> inputParams;
        std::vector<std::string> params;
        double expected; // -1: unchecked, the length cannot be told
    };
    const std::vector<Case> cases = {
        {{}, {}, 100},
        {{"-ss", "10"}, {}, 90},
        {{}, {"-t", "5"}, 5},
        {{"-ss", "10", "-to", "30"}, {}, 20},
        {{}, {"-ss", "95", "-t", "10"}, 5},
        {{"-t", "00:00:30"}, {"-ss", "10"}, 20},
        {{}, {"-vf", "scale=320:-2", "-r", "30"}, 100},
        {{}, {"-vf", "setpts=0.5*PTS"}, -1},
        {{}, {"-filter:a", "atempo=2.0"}, -1},
        {{}, {"-filter_complex", "[0:v]trim=0:5[v]"}, -1},
        {{"-sseof", "-5"}, {}, -1},
        {{"-r", "30"}, {}, -1},
        {{}, {"-frames:v", "1"}, -1},
        {{}, {"-shortest"}, -1},
    };
    for (const Case& item : cases) {
        const double length = std::max(item.expected, 50.0);
        const OutputCheck::Verdict verdict = judged(item.inputParams, item.params, length);
        const std::string what = ::testing::PrintToString(item.inputParams) + ::testing::PrintToString(item.params);
        EXPECT_EQ(verdict.inputSeconds, item.expected) << what;
        EXPECT_EQ(verdict.checked, item.expected >= 0) << what;
        EXPECT_EQ(verdict.failure, "") << what;
    }
}

TEST(OutputCheck, AShortOutputFailsWithVideoOrDamageElseItIsUnchecked)
{
    EXPECT_EQ(
        judged({}, {}, 69.8).failure, "the output holds 00:01:09.8 of 00:01:40.0: the input is damaged or ends early");
    // One per cent, and never less than half a second.
    EXPECT_TRUE(judged({}, {}, 99.0).failure.empty());
    EXPECT_FALSE(judged({}, {}, 98.9).failure.empty());
    EXPECT_TRUE(judged({}, {"-t", "10"}, 9.5).failure.empty());
    EXPECT_FALSE(judged({}, {"-t", "10"}, 9.4).failure.empty());
    EXPECT_TRUE(judged({}, {}, 120).checked) << "a longer output is no failure";

    // Sound may be shorter than picture: unless ffmpeg reported damage.
    const OutputCheck::Verdict sound = judged({}, {}, 69.8, false);
    EXPECT_EQ(sound.failure, "");
    EXPECT_FALSE(sound.checked);
    EXPECT_EQ(sound.uncheckedWhy, "its sound is shorter than the input, which may be so");
    const OutputCheck::Verdict damaged = judged({}, {}, 69.8, false,
        {"file:/v/clip.avi: corrupt input packet in stream 1",
            "Error while decoding stream #0:1: Invalid data found when processing input",
            "[mov,mp4,m4a,3gp,3g2,mj2 @ 0x1] stream 1, offset 0x223ca: partial file"});
    EXPECT_NE(damaged.failure, "");
    EXPECT_EQ(damaged.decodeErrors, 3);

    EXPECT_EQ(judged({}, {}, -1).uncheckedWhy, "ffmpeg did not tell how much it wrote");
}

TEST(OutputCheck, NoLengthAnEstimatedOneOrAStillPictureIsUnchecked)
{
    for (const std::vector<std::string>& lines : std::vector<std::vector<std::string>> {
             {"Input #0, h264, from 'file:/v/raw.h264':", "  Duration: N/A, bitrate: N/A"},
             {"Input #0, mpeg, from 'file:/v/x.mpg':",
                 "[mpeg @ 0x1] Estimating duration from bitrate, this may be inaccurate",
                 "  Duration: 00:00:10.00, start: 0.5, bitrate: 10 kb/s"},
             {"Input #0, png_pipe, from 'file:/v/still.png':", "  Duration: N/A, bitrate: N/A"},
             {"Input #0, image2, from 'file:/v/still.jpg':", "  Duration: 00:00:00.04, start: 0, bitrate: 1 kb/s"},
         }) {
        OutputCheck check({}, {});
        ProgressReader progress;
        for (const std::string& line : lines) {
            check.read(line);
            progress.read(line);
        }
        check.read("frame=    1 fps=0 q=-1.0 size=1kB time=00:00:00.04 bitrate=1kbits/s speed=1x");
        progress.read("frame=    1 fps=0 q=-1.0 size=1kB time=00:00:00.04 bitrate=1kbits/s speed=1x");
        const OutputCheck::Verdict verdict = check.verdict(progress.progress());
        EXPECT_FALSE(verdict.checked) << lines[0];
        EXPECT_EQ(verdict.failure, "") << lines[0];
        EXPECT_NE(verdict.uncheckedWhy, "") << lines[0];
    }
}

// Clips made by the real ffmpeg, converted by the real ffmpeg.
class WholeOutputTest : public DriverTest {
protected:
    // A 10 s MP4 with its index first, and a copy cut in the middle as a broken download is.
    void makeHalfMp4()
    {
        ASSERT_EQ(runProgram({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                      "testsrc=duration=10:size=160x120:rate=10", "-f", "lavfi", "-i", "sine=duration=10", "-c:v",
                      "libx264", "-c:a", "aac", "-movflags", "+faststart", dir.file("whole.mp4")}),
            0);
        const std::string whole = readFileBytes(dir.file("whole.mp4"));
        writeFileBytes(dir.file("half.mp4"), whole.substr(0, whole.size() / 2));
    }
};

TEST_F(WholeOutputTest, ACutInputFailsAndLeavesNothingWhileTheWholeOneConvertsChecked)
{
    makeHalfMp4();
    add(dir.file("half.mp4"), kMp3, dir.prefix());
    add(dir.file("whole.mp4"), kMp3, dir.prefix());
    ASSERT_TRUE(runToEnd());
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_FALSE(outcomes[0].converted);
    EXPECT_TRUE(outcomes[0].reason.starts_with("the output holds 00:00:0")) << outcomes[0].reason;
    EXPECT_TRUE(outcomes[0].reason.ends_with(" of 00:00:10.0: the input is damaged or ends early"))
        << outcomes[0].reason;
    EXPECT_GT(outcomes[0].decodeErrors, 0);
    EXPECT_FALSE(fs::exists(dir.file("half.mp3")));
    EXPECT_TRUE(temporariesIn(dir.prefix()).empty());
    EXPECT_TRUE(outcomes[1].converted);
    EXPECT_EQ(outcomes[1].checked, ItemOutcome::Check::duration);
    EXPECT_NEAR(outcomes[1].inputSeconds, 10, 0.1);
    EXPECT_NEAR(outcomes[1].outputSeconds, 10, 0.2);
    EXPECT_EQ(outcomes[1].decodeErrors, 0);
    EXPECT_EQ(driver.lastRun().unchecked, 0);
}

TEST_F(WholeOutputTest, TimingOptionsPicturesAndShortSoundAreJudgedRight)
{
    writeFileBytes(dir.file("mine"),
        "<c><e><format>First seconds</format><params>-t 5 -c:v libx264 -c:a aac</params>"
        "<ext>mp4</ext></e></c>");
    catalogue.LoadUserEntries(dir.file("mine"));
    const int firstSeconds = static_cast<int>(catalogue.Formats().size()) - 1;
    // Four seconds of picture and two of sound.
    ASSERT_EQ(runProgram({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=duration=4:size=160x120:rate=10",
                  "-f", "lavfi", "-i", "sine=duration=2", "-c:v", "mpeg4", "-c:a", "pcm_s16le", dir.file("short.avi")}),
        0);
    ASSERT_EQ(runProgram({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=duration=3:size=160x120:rate=10",
                  "-c:v", "libx264", "-f", "h264", dir.file("raw.h264")}),
        0);
    add(clip("ten.avi"), firstSeconds, dir.prefix());
    add(clip(), shippedFormat("gif"), dir.prefix());
    add(dir.file("short.avi"), kMp4H264, dir.prefix());
    add(dir.file("short.avi"), kMp3, dir.prefix());
    add(dir.file("raw.h264"), kMp4H264, dir.prefix());
    ASSERT_TRUE(runToEnd(300000));
    ASSERT_EQ(outcomes.size(), 5u);
    const std::vector<ItemOutcome::Check> checks = {ItemOutcome::Check::duration, ItemOutcome::Check::duration,
        ItemOutcome::Check::duration, ItemOutcome::Check::none, ItemOutcome::Check::none};
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        EXPECT_TRUE(outcomes[i].converted) << i << ": " << outcomes[i].reason;
        EXPECT_EQ(outcomes[i].checked, checks[i]) << i << ": " << outcomes[i].uncheckedWhy;
    }
    EXPECT_EQ(outcomes[3].uncheckedWhy, "its sound is shorter than the input, which may be so");
    EXPECT_EQ(outcomes[4].uncheckedWhy, "ffmpeg did not tell the input's length");
    EXPECT_EQ(driver.lastRun().unchecked, 2);
}

TEST_F(WholeOutputTest, TheDecodeCheckFailsABrokenOutputAndStopDuringItLeavesNothing)
{
    // Converting, it writes what is no MP3 and says all went well; checking is the real ffmpeg's.
    writeScript(dir.file("stand-in"),
        standInArguments() + "case \"$1\" in -nostdin) [ -e \"" + dir.file("hold")
            + "\" ] && exec sleep 60; exec ffmpeg \"$@\";; esac\n"
              "echo 'not an mp3 at all' > \"$output\"");
    driver.FfmpegPath = dir.file("stand-in");
    driver.Verify = Verification::decode;
    std::vector<bool> checking;
    QObject::connect(&driver, &TCommand::itemProgress,
        [&](JobListModel::Node*, const ItemProgress& progress) { checking.push_back(progress.checking); });
    add(clip(), kMp3, dir.prefix());
    ASSERT_TRUE(runToEnd());
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_FALSE(outcomes[0].converted);
    EXPECT_NE(outcomes[0].reason.find("[mp3 @ "), std::string::npos) << "ffmpeg's first error: " << outcomes[0].reason;
    EXPECT_EQ(outcomes[0].reason.find(".calvera-"), std::string::npos) << "never the private file's name";
    EXPECT_TRUE(std::find(checking.begin(), checking.end(), true) != checking.end()) << "the row shows checking";
    EXPECT_FALSE(fs::exists(dir.file("clip.mp3")));
    EXPECT_TRUE(temporariesIn(dir.prefix()).empty());

    writeFileBytes(dir.file("hold"), "");
    outcomes.clear();
    finished.clear();
    checking.clear();
    driver.Start();
    ASSERT_TRUE(waitFor([&] { return std::find(checking.begin(), checking.end(), true) != checking.end(); }));
    driver.Stop();
    ASSERT_TRUE(waitFor([&] { return !finished.empty(); }));
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_TRUE(outcomes[0].stopped);
    EXPECT_TRUE(temporariesIn(dir.prefix()).empty()) << "the stopped check leaves nothing";
    EXPECT_FALSE(fs::exists(dir.file("clip.mp3")));
}

} // namespace
