// The budget of a size limit and the encodes it plans, from the entry and
// the input as measured; nothing runs.
#include "DosCommand.h"
#include "SizeFit.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// What a clip of seconds holds: picture at 25 frames a second, and sound unless told otherwise.
MediaContents clipOf(double seconds, bool picture = true, bool sound = true)
{
    MediaContents contents;
    contents.answer = MediaContents::Answer::measured;
    contents.seconds = seconds;
    if (picture) {
        MediaStream video;
        video.kind = MediaStream::Kind::video;
        video.seconds = seconds;
        video.frameRate = 25;
        contents.streams.push_back(video);
    }
    if (sound) {
        MediaStream audio;
        audio.kind = MediaStream::Kind::sound;
        audio.seconds = seconds;
        audio.bitRate = 256000;
        contents.streams.push_back(audio);
    }
    return contents;
}

SizeFit fitOf(
    const std::string& params, const std::string& output = "/out/clip.mp4", const std::string& inputParams = {})
{
    return SizeFit(splitCommandLine(inputParams), splitCommandLine(params), output);
}

bool holds(const std::vector<std::string>& words, const std::vector<std::string>& run)
{
    return std::search(words.begin(), words.end(), run.begin(), run.end()) != words.end();
}

const std::string kMp4 = "-c:v libx264 -preset medium -crf 23 -pix_fmt yuv420p -c:a aac -b:a 160k -movflags +faststart";
constexpr std::int64_t kMB = 1000000;

TEST(SizeFitTest, TheVideoTakesTheLimitLessTheSoundTheContainerAndAMargin)
{
    const SizeFit fit = fitOf(kMp4);
    ASSERT_EQ(fit.way(), SizeFit::Way::twoPasses);
    const SizeFit::Budget budget = fit.budget(clipOf(60), 25 * kMB);
    ASSERT_TRUE(budget.failure.empty()) << budget.failure.english;
    EXPECT_EQ(budget.encodes, 2);
    EXPECT_EQ(budget.soundBitrate, 160000) << "the entry's -b:a";
    EXPECT_EQ(budget.soundStreams, 1);
    // 25 MB less the margin over a minute, less the sound: about 3.09 Mbit/s, less the container's packets.
    const double whole = 25e6 * (1 - SizeFit::kMargin) * 8 / 60 - 160000;
    EXPECT_LT(budget.videoBitrate, whole);
    EXPECT_GT(budget.videoBitrate, whole * 0.99);
    // What it plans adds up to the limit less the margin, never more.
    const double planned = (budget.videoBitrate + budget.soundBitrate) * 60.0 / 8 + budget.overhead;
    EXPECT_LE(planned, 25e6 * (1 - SizeFit::kMargin) + 1);
    EXPECT_GT(planned, 25e6 * (1 - SizeFit::kMargin) * 0.999);
}

TEST(SizeFitTest, SoundThatSetsAQualityIsBudgetedAt128kAndGivenThatBitrate)
{
    const SizeFit fit = fitOf("-c:v mpeg4 -q:v 4 -c:a libmp3lame -q:a 4", "/out/clip.avi");
    ASSERT_EQ(fit.way(), SizeFit::Way::twoPasses);
    const SizeFit::Budget budget = fit.budget(clipOf(60), 25 * kMB);
    EXPECT_EQ(budget.soundBitrate, SizeFit::kSoundBitrate);
    const std::vector<std::string> params = fit.outputParams(budget, "/out/.calvera-x/output.passlog");
    EXPECT_TRUE(holds(params, {"-b:a", "128000"}));
    EXPECT_FALSE(holds(params, {"-q:a"})) << "the quality gives way to the bitrate";
    EXPECT_FALSE(holds(params, {"-q:v"}));
    EXPECT_TRUE(holds(params, {"-b:v", std::to_string(budget.videoBitrate)}));
    EXPECT_TRUE(holds(params, {"-pass", "2", "-passlogfile", "/out/.calvera-x/output.passlog"}));

    // An entry with no word on the sound at all is budgeted the same.
    EXPECT_EQ(fitOf("-c:v libx264").budget(clipOf(60), 25 * kMB).soundBitrate, SizeFit::kSoundBitrate);
    // Copied sound takes what the input's stream states.
    EXPECT_EQ(fitOf("-c:v libx264 -c:a copy").budget(clipOf(60), 25 * kMB).soundBitrate, 256000);
    // An input without sound, or an entry that drops it, has none to budget.
    EXPECT_EQ(fitOf(kMp4).budget(clipOf(60, true, false), 25 * kMB).soundStreams, 0);
    EXPECT_EQ(fitOf(kMp4 + " -an").budget(clipOf(60), 25 * kMB).soundStreams, 0);
}

TEST(SizeFitTest, TheEntrysTimingOptionsNarrowTheLength)
{
    EXPECT_DOUBLE_EQ(fitOf(kMp4).budget(clipOf(60), 25 * kMB).seconds, 60);
    EXPECT_DOUBLE_EQ(fitOf(kMp4 + " -t 20", "/out/clip.mp4", "-ss 10").budget(clipOf(60), 25 * kMB).seconds, 20);
    EXPECT_DOUBLE_EQ(fitOf(kMp4, "/out/clip.mp4", "-ss 45").budget(clipOf(60), 25 * kMB).seconds, 15);
    // Half the length leaves twice the bitrate for the same limit.
    const SizeFit::Budget whole = fitOf(kMp4).budget(clipOf(60), 25 * kMB);
    const SizeFit::Budget half = fitOf(kMp4 + " -t 30").budget(clipOf(60), 25 * kMB);
    EXPECT_GT(half.videoBitrate, 2 * whole.videoBitrate);
}

TEST(SizeFitTest, ALimitTooSmallOrALengthUnknownFailsWithTheReason)
{
    const SizeFit::Budget small = fitOf(kMp4).budget(clipOf(5400), 25 * kMB);
    const std::string start = "25.0 MB is too small for 01:30:00 (needs at least ";
    ASSERT_EQ(small.failure.english.substr(0, start.size()), start) << small.failure.english;
    // 32 kbit/s of video and 160 kbit/s of sound for 90 minutes: about 130 MB.
    const std::string needed = small.failure.english.substr(start.size());
    EXPECT_GE(std::stod(needed), 129.6) << needed;
    EXPECT_LT(std::stod(needed), 140) << needed;
    EXPECT_TRUE(needed.ends_with(" MB)"));
    // Just enough for the least video bitrate is not too small.
    const double least = std::stod(needed) * 1e6;
    EXPECT_TRUE(fitOf(kMp4).budget(clipOf(5400), static_cast<std::int64_t>(least)).failure.empty());

    MediaContents unknown = clipOf(60);
    unknown.seconds = -1;
    for (MediaStream& stream : unknown.streams)
        stream.seconds = -1;
    EXPECT_EQ(fitOf(kMp4).budget(unknown, 25 * kMB).failure.english,
        "the input's length could not be measured, so no bitrate can be aimed at");
    EXPECT_FALSE(fitOf(kMp4).budget(MediaContents {}, 25 * kMB).failure.empty()) << "nothing measured";
}

TEST(SizeFitTest, EntriesThatCannotAimAtABitrateAreRefused)
{
    const std::vector<std::pair<SizeFit, std::string>> refused = {
        {fitOf("-vf fps=10,scale=480:-2:flags=lanczos -loop 0 -an", "/out/clip.gif"),
            "a size limit needs an encoder that aims at a bitrate; gif does not"},
        {fitOf("-c copy", "/out/clip.mkv"), "a size limit cannot be met while the video is copied as it is"},
        {fitOf("-c:v copy -c:a aac", "/out/clip.mkv"), "a size limit cannot be met while the video is copied as it is"},
        {fitOf("-c:v ffv1 -c:a aac", "/out/clip.mkv"),
            "a size limit needs an encoder that aims at a bitrate; ffv1 does not"},
        {fitOf("-c:v libx264 -qp 0", "/out/clip.mkv"), "a size limit cannot be met by a lossless encode"},
        {fitOf("-c:v libx264 -x264-params keyint=50:qp=0", "/out/clip.mkv"),
            "a size limit cannot be met by a lossless encode"},
        {fitOf("-c:v libx264 -x264opts crf=0", "/out/clip.mkv"), "a size limit cannot be met by a lossless encode"},
        {fitOf("-c:v libx264 -c:a pcm_s16le", "/out/clip.mov"),
            "a size limit needs an encoder that aims at a bitrate; pcm_s16le does not"},
        {fitOf("-vn -c:a flac", "/out/clip.flac"),
            "a size limit needs an encoder that aims at a bitrate; flac does not"},
        {fitOf("-vn -c:a pcm_s16le", "/out/clip.wav"),
            "a size limit needs an encoder that aims at a bitrate; pcm_s16le does not"},
        {fitOf("-vn -c:a copy", "/out/clip.m4a"), "a size limit cannot be met while the sound is copied as it is"},
    };
    for (const auto& [fit, why] : refused) {
        EXPECT_EQ(fit.way(), SizeFit::Way::refused) << why;
        EXPECT_EQ(fit.refusal().english, why);
        EXPECT_EQ(fit.budget(clipOf(60), 25 * kMB).failure.english, why) << "the budget says it too";
    }
    EXPECT_EQ(fitOf("-c:v libx264 -crf 23 -c:a aac").way(), SizeFit::Way::twoPasses) << "not every crf is lossless";
    EXPECT_EQ(fitOf("-c:v libx264 -x264-params qp=05:crf=20 -c:a aac").way(), SizeFit::Way::twoPasses);
}

TEST(SizeFitTest, EachEncoderGetsItsOwnFormOfPasses)
{
    const std::string passLog = "/out/a:b/.calvera-x/output.passlog";
    // libvpx-vp9: its quality and "-b:v 0" give way, and the first pass has no sound.
    const SizeFit vp9 = fitOf("-c:v libvpx-vp9 -crf 32 -b:v 0 -row-mt 1 -c:a libopus -b:a 128k", "/out/clip.webm");
    ASSERT_EQ(vp9.way(), SizeFit::Way::twoPasses);
    const SizeFit::Budget budget = vp9.budget(clipOf(20), 5 * kMB);
    const std::vector<std::string> first
        = vp9.firstPassParams(budget, passLog, "file:/out/pass1.webm", "file:/out/sound.webm");
    // The picture first, then the sound to a file of its own at the second pass's bitrate, so that its size is known.
    EXPECT_TRUE(holds(first, {"-passlogfile", passLog, "file:/out/pass1.webm"}));
    EXPECT_TRUE(holds(first, {"-b:a", "128000", "-vn", "file:/out/sound.webm"}));
    EXPECT_EQ(first.back(), "file:/out/sound.webm");
    EXPECT_FALSE(holds(first, {"-crf"}));
    EXPECT_FALSE(holds(first, {"-b:v", "0"}));
    EXPECT_TRUE(holds(first, {"-row-mt", "1"})) << "the rest of the entry stays";
    EXPECT_TRUE(
        holds(first, {"-b:v", std::to_string(budget.videoBitrate), "-an", "-pass", "1", "-passlogfile", passLog}));
    EXPECT_FALSE(holds(first, {"-maxrate"})) << "two passes hold the average themselves";

    // libx265 takes its passes through -x265-params, its own options kept, the log's name escaped.
    const SizeFit x265
        = fitOf("-c:v libx265 -preset medium -crf 28 -x265-params aq-mode=3 -tag:v hvc1 -c:a aac -b:a 160k");
    ASSERT_EQ(x265.way(), SizeFit::Way::x265Passes);
    const SizeFit::Budget x265Budget = x265.budget(clipOf(20), 5 * kMB);
    const std::vector<std::string> x265First
        = x265.firstPassParams(x265Budget, passLog, "file:/out/pass1.mp4", "file:/out/sound.mp4");
    EXPECT_TRUE(
        holds(x265First, {"-an", "-x265-params", "aq-mode=3:pass=1:stats=/out/a\\:b/.calvera-x/output.passlog"}));
    EXPECT_FALSE(holds(x265First, {"-pass"}));
    EXPECT_FALSE(holds(x265First, {"-crf"}));
    EXPECT_FALSE(holds(
        fitOf(kMp4).firstPassParams(fitOf(kMp4).budget(clipOf(20, true, false), 5 * kMB), passLog, "p", "s"), {"-vn"}))
        << "no sound, no file for it";
    EXPECT_TRUE(holds(x265.outputParams(x265Budget, passLog),
        {"-x265-params", "aq-mode=3:pass=2:stats=/out/a\\:b/.calvera-x/output.passlog"}));
    EXPECT_EQ(std::count(x265First.begin(), x265First.end(), "-x265-params"), 1);

    // libsvtav1 has no working second pass: one encode at the bitrate. It
    // refuses a cap not above its target, so it gets none; other one-pass
    // encoders are bounded by a buffer.
    const SizeFit svt = fitOf("-c:v libsvtav1 -crf 35 -c:a libopus -b:a 96k", "/out/clip.mkv");
    ASSERT_EQ(svt.way(), SizeFit::Way::onePass);
    const SizeFit::Budget svtBudget = svt.budget(clipOf(20), 5 * kMB);
    EXPECT_EQ(svtBudget.encodes, 1);
    const std::string rate = std::to_string(svtBudget.videoBitrate);
    const std::vector<std::string> svtParams = svt.outputParams(svtBudget, passLog);
    EXPECT_TRUE(holds(svtParams, {"-b:v", rate}));
    EXPECT_FALSE(holds(svtParams, {"-maxrate"}));
    EXPECT_FALSE(holds(svtParams, {"-pass"}));
    EXPECT_TRUE(holds(svtParams, {"-b:a", "96000"}));
    const SizeFit nvenc = fitOf("-c:v h264_nvenc -cq 23 -c:a aac", "/out/clip.mp4");
    ASSERT_EQ(nvenc.way(), SizeFit::Way::onePass);
    const SizeFit::Budget nvencBudget = nvenc.budget(clipOf(20), 5 * kMB);
    const std::string nvencRate = std::to_string(nvencBudget.videoBitrate);
    EXPECT_TRUE(holds(nvenc.outputParams(nvencBudget, passLog),
        {"-b:v", nvencRate, "-maxrate", nvencRate, "-bufsize", std::to_string(2 * nvencBudget.videoBitrate)}));

    // The container's own encoder, when the entry names none.
    EXPECT_EQ(fitOf("-b:a 96k", "/out/clip.webm").videoEncoder(), "libvpx-vp9");
    EXPECT_EQ(fitOf("", "/out/clip.avi").way(), SizeFit::Way::twoPasses);
}

TEST(SizeFitTest, AnEntryOrInputWithoutPictureFitsByItsSoundBitrate)
{
    const SizeFit mp3 = fitOf("-vn -c:a libmp3lame -q:a 2", "/out/clip.mp3");
    ASSERT_EQ(mp3.way(), SizeFit::Way::sound);
    // 1 MB over a minute: about 130 kbit/s.
    const SizeFit::Budget budget = mp3.budget(clipOf(60), kMB);
    ASSERT_TRUE(budget.failure.empty());
    EXPECT_TRUE(budget.soundOnly);
    EXPECT_EQ(budget.encodes, 1);
    EXPECT_GT(budget.soundBitrate, 120000);
    EXPECT_LT(budget.soundBitrate, 1e6 * (1 - SizeFit::kMargin) * 8 / 60);
    const std::vector<std::string> params = mp3.outputParams(budget, "log");
    EXPECT_TRUE(holds(params, {"-b:a", std::to_string(budget.soundBitrate)}));
    EXPECT_FALSE(holds(params, {"-q:a"}));
    EXPECT_FALSE(holds(params, {"-b:v"}));
    // A generous limit gives no more than the encoder takes, nor more than the entry asks.
    EXPECT_EQ(mp3.budget(clipOf(60), 100 * kMB).soundBitrate, 320000);
    EXPECT_EQ(fitOf("-vn -c:a aac -b:a 192k", "/out/clip.m4a").budget(clipOf(60), 100 * kMB).soundBitrate, 192000);
    EXPECT_NE(mp3.budget(clipOf(3600), 10000).failure.english.find("is too small for 01:00:00"), std::string::npos);

    // A video entry given sound alone fits by the sound too.
    const SizeFit::Budget soundAlone = fitOf(kMp4).budget(clipOf(60, false, true), kMB);
    EXPECT_TRUE(soundAlone.soundOnly);
    EXPECT_EQ(soundAlone.encodes, 1);
    EXPECT_FALSE(holds(fitOf(kMp4).outputParams(soundAlone, "log"), {"-pass"}));
}

TEST(SizeFitTest, ARetryScalesTheBitrateDownByWhatWasMissed)
{
    const SizeFit fit = fitOf(kMp4);
    const SizeFit::Budget budget = fit.budget(clipOf(60), 25 * kMB);
    // 10 % over: the video, which is what missed, gets at least that much less.
    const std::optional<SizeFit::Budget> next = fit.retried(budget, 27500000, 1);
    ASSERT_TRUE(next);
    EXPECT_LT(next->videoBitrate, budget.videoBitrate * 0.9);
    EXPECT_GT(next->videoBitrate, budget.videoBitrate * 0.8);
    EXPECT_EQ(next->soundBitrate, budget.soundBitrate);
    // Barely over: still lower, by a few percent at least.
    const std::optional<SizeFit::Budget> barely = fit.retried(budget, 25 * kMB + 1, 1);
    ASSERT_TRUE(barely);
    EXPECT_LE(barely->videoBitrate, budget.videoBitrate * 0.97);
    // Below the least bitrate there is nothing left to try.
    EXPECT_FALSE(fit.retried(budget, 10000 * kMB, 1));

    EXPECT_EQ(SizeFit::couldNotFit(25 * kMB, 26300000).english,
        "could not fit into 25.0 MB: 26.3 MB at the lowest bitrate tried");
}

TEST(SizeFitTest, TheFirstPassesFilesTellTheOverheadAndTheSound)
{
    const SizeFit fit = fitOf(kMp4);
    const SizeFit::Budget budget = fit.budget(clipOf(60), 25 * kMB);
    // Muxers that took 400 kB of the first pass's files leave the second less than the table's guess.
    const SizeFit::Budget learned = fit.learned(budget, 400000, -1);
    EXPECT_LT(learned.videoBitrate, budget.videoBitrate);
    EXPECT_NEAR(learned.overhead, 400000 + budget.soundOverhead, 1);
    EXPECT_EQ(fit.learned(budget, -5, -1).videoBitrate, budget.videoBitrate) << "nonsense is passed over";
    // Sound encoded beside the first pass at 10 % under its bitrate leaves that much more to the picture.
    const double sound = 160000.0 * 60 / 8;
    const SizeFit::Budget measured = fit.learned(budget, 400000, sound * 0.9);
    EXPECT_NEAR(measured.overhead, 400000, 1) << "both files' muxers, sound included";
    EXPECT_NEAR(measured.videoBitrate - learned.videoBitrate, (sound * 0.1 + budget.soundOverhead) * 8 / 60, 2);
    const std::optional<SizeFit::Streams> streams = SizeFit::streamsReported(
        "video:551kB audio:347kB subtitle:0kB other streams:0kB global headers:0kB muxing overhead: unknown");
    ASSERT_TRUE(streams);
    EXPECT_EQ(streams->video, 551 * 1024);
    EXPECT_EQ(streams->sound, 347 * 1024);
    EXPECT_FALSE(SizeFit::streamsReported("  Stream #0:1: audio:347kB"));
}

TEST(SizeFitTest, ProgressRunsAcrossBothPassesTheFirstCountingForItsShare)
{
    ItemProgress half;
    half.duration = 10;
    half.position = 5;
    half.fraction = 0.5;
    half.speed = 2;
    half.secondsLeft = 2.5;
    const ItemProgress first = SizeFit::acrossEncodes(half, 1, 2, true);
    EXPECT_EQ(first.pass, 1);
    EXPECT_EQ(first.passes, 2);
    EXPECT_NEAR(first.fraction, 0.5 * SizeFit::kFirstPassShare / (1 + SizeFit::kFirstPassShare), 1e-9);
    // The second pass takes 1 / share as long as the first.
    EXPECT_NEAR(first.secondsLeft, 2.5 + 5 / SizeFit::kFirstPassShare, 1e-9);
    const ItemProgress second = SizeFit::acrossEncodes(half, 2, 2, true);
    EXPECT_NEAR(second.fraction, (SizeFit::kFirstPassShare + 0.5) / (1 + SizeFit::kFirstPassShare), 1e-9);
    EXPECT_NEAR(second.secondsLeft, 2.5, 1e-9);
    const ItemProgress single = SizeFit::acrossEncodes(half, 1, 1, false);
    EXPECT_EQ(single.pass, 0) << "one encode says no pass";
    EXPECT_NEAR(single.fraction, 0.5, 1e-9);
}

} // namespace
