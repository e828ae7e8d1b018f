// Skipping what needs no converting: the judgement on measured files, and
// second runs with the real ffmpeg over outputs of a first.
#include "DriverTestSupport.h"
#include "RunningProgram.h"
#include "SkipCheck.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

namespace {

namespace fs = std::filesystem;
using Kind = MediaStream::Kind;

MediaStream streamOf(Kind kind, const std::string& codec)
{
    MediaStream stream;
    stream.kind = kind;
    stream.codec = codec;
    stream.seconds = 1;
    if (kind == Kind::video)
        stream.pixelFormat = "yuv420p";
    else
        stream.sampleRate = 48000, stream.channels = 2;
    return stream;
}

MediaContents fileOf(const std::string& format, const std::string& brand, std::vector<MediaStream> streams)
{
    MediaContents contents;
    contents.answer = MediaContents::Answer::measured;
    contents.format = format;
    contents.brand = brand;
    contents.seconds = 1;
    contents.streams = std::move(streams);
    return contents;
}

const std::string kMovFamily = "mov,mp4,m4a,3gp,3g2,mj2";

// The shipped entry that makes ext, as the lane gets it.
struct Entry {
    std::vector<std::string> inputParams;
    std::vector<std::string> params;
    std::string ext;
};
Entry shipped(const std::string& ext)
{
    static const TCommandManager catalogue(CALVERA_CATALOGUE);
    const int index = formatIndexOf(catalogue, ext);
    return {splitCommandLine(catalogue.GetInputParams(index)), splitCommandLine(catalogue.GetParams(index)), ext};
}

std::string sameReason(const MediaContents& input, const Entry& entry, std::int64_t sizeLimit = 0)
{
    return SkipCheck::alreadySame(input, entry.inputParams, entry.params, entry.ext, sizeLimit).english;
}

TEST(SkipCheck, TheProbeTellsCodecsTagsPixelsSoundAndBrand)
{
    const MediaContents probed = MediaContents::fromProbeJson(R"({"streams":[
        {"codec_name":"h264","codec_type":"video","codec_tag_string":"avc1","pix_fmt":"yuv420p"},
        {"codec_name":"opus","codec_type":"audio","codec_tag_string":"[0][0][0][0]","sample_rate":"48000","channels":2}],
        "format":{"format_name":"mov,mp4,m4a,3gp,3g2,mj2","tags":{"major_brand":"isom"}}})");
    ASSERT_EQ(probed.streams.size(), 2u);
    EXPECT_EQ(probed.brand, "isom");
    EXPECT_EQ(probed.streams[0].codec, "h264");
    EXPECT_EQ(probed.streams[0].codecTag, "avc1");
    EXPECT_EQ(probed.streams[0].pixelFormat, "yuv420p");
    EXPECT_EQ(probed.streams[1].codec, "opus");
    EXPECT_EQ(probed.streams[1].codecTag, "") << "an unset tag is no tag";
    EXPECT_EQ(probed.streams[1].sampleRate, 48000);
    EXPECT_EQ(probed.streams[1].channels, 2);
    const MediaContents listed = MediaContents::fromFfmpegListing(
        {"Input #0, matroska,webm, from 'file:/v/a.mkv':", "  Duration: 00:00:01.00, start: 0.000000, bitrate: 80 kb/s",
            "  Stream #0:0: Video: vp9 (Profile 0), yuv420p(tv), 320x240, 25 fps",
            "  Stream #0:1(eng): Audio: opus, 48000 Hz, stereo, fltp (default)"});
    ASSERT_EQ(listed.streams.size(), 2u);
    EXPECT_EQ(listed.streams[0].codec, "vp9");
    EXPECT_EQ(listed.streams[1].codec, "opus");
}

TEST(SkipCheck, AnInputIsTheSameOnlyInTheEntrysContainerWithTheCodecsItNames)
{
    const MediaContents mp4 = fileOf(kMovFamily, "isom", {streamOf(Kind::video, "h264"), streamOf(Kind::sound, "aac")});
    EXPECT_EQ(sameReason(mp4, shipped("mp4")), "already MP4 with H.264 and AAC");
    EXPECT_EQ(sameReason(mp4, shipped("webm")), "") << "another container and codecs";
    EXPECT_EQ(sameReason(mp4, shipped("mkv")), "") << "the codecs alone are not enough";
    EXPECT_EQ(sameReason(mp4, shipped("mov")), "") << "MP4 and MOV share a demuxer, not a brand";
    MediaContents mov = mp4;
    mov.brand = "qt  ";
    EXPECT_EQ(sameReason(mov, shipped("mov")), "already MOV with H.264 and AAC");
    EXPECT_EQ(sameReason(mov, shipped("mp4")), "");
    MediaContents unbranded = mp4;
    unbranded.brand.clear();
    EXPECT_EQ(sameReason(unbranded, shipped("mp4")), "") << "a brand not told is no match";

    // What the entry asks beyond the codec: the MP4 entry's -pix_fmt yuv420p, the FLV entry's -ar 44100.
    MediaContents fullColour = mp4;
    fullColour.streams[0].pixelFormat = "yuv444p";
    EXPECT_EQ(sameReason(fullColour, shipped("mp4")), "");
    const MediaContents flv = fileOf("flv", "", {streamOf(Kind::video, "h264"), streamOf(Kind::sound, "aac")});
    EXPECT_EQ(sameReason(flv, shipped("flv")), "") << "48000 samples a second, the entry makes 44100";
    MediaContents flv44 = flv;
    flv44.streams[1].sampleRate = 44100;
    EXPECT_EQ(sameReason(flv44, shipped("flv")), "already FLV with H.264 and AAC");
    MediaContents hevc = fileOf(kMovFamily, "isom", {streamOf(Kind::video, "hevc"), streamOf(Kind::sound, "aac")});
    hevc.streams[0].codecTag = "hev1";
    const Entry h265 {{}, {"-c:v", "libx265", "-tag:v", "hvc1", "-c:a", "aac"}, "mp4"};
    EXPECT_EQ(sameReason(hevc, h265), "") << "the entry asks for the hvc1 tag";
    hevc.streams[0].codecTag = "hvc1";
    EXPECT_EQ(sameReason(hevc, h265), "already MP4 with H.265 and AAC");
}

TEST(SkipCheck, NeverSameWithALimitFiltersTimingDefaultCodecsOrStreamsFfmpegWouldDrop)
{
    const MediaContents mp4 = fileOf(kMovFamily, "isom", {streamOf(Kind::video, "h264"), streamOf(Kind::sound, "aac")});
    const Entry plain {{}, {"-c:v", "libx264", "-crf", "23", "-c:a", "aac", "-b:a", "160k"}, "mp4"};
    ASSERT_EQ(sameReason(mp4, plain), "already MP4 with H.264 and AAC");
    EXPECT_EQ(sameReason(mp4, plain, 25'000'000), "") << "a size limit";
    for (const std::vector<std::string>& extra : std::vector<std::vector<std::string>> {{"-vf", "scale=-2:720"},
             {"-af", "volume=2"}, {"-filter_complex", "[0:v]null"}, {"-filter:v", "fps=10"}, {"-s", "640x480"},
             {"-r", "25"}, {"-t", "60"}, {"-ss", "5"}, {"-to", "10"}, {"-map", "0"}, {"-shortest"}}) {
        Entry changed = plain;
        changed.params.insert(changed.params.begin(), extra.begin(), extra.end());
        EXPECT_EQ(sameReason(mp4, changed), "") << extra.front();
    }
    EXPECT_EQ(sameReason(mp4, Entry {{"-t", "60"}, plain.params, "mp4"}), "") << "timing before -i";
    EXPECT_EQ(sameReason(mp4, Entry {{}, {"-c:v", "libx264"}, "mp4"}), "") << "the sound left to ffmpeg's default";
    EXPECT_EQ(sameReason(mp4, Entry {{}, {"-c:v", "libx264", "-c:a", "libfoo"}, "mp4"}), "") << "an unknown encoder";
    EXPECT_EQ(sameReason(mp4, Entry {{}, {"-c:v:0", "libx264", "-c:a", "aac"}, "mp4"}), "") << "a stream by number";
    EXPECT_EQ(sameReason(mp4, Entry {{}, {"-an", "-c:v", "libx264"}, "mp4"}), "") << "the sound would be dropped";
    EXPECT_EQ(sameReason(mp4, Entry {{}, {"-c:v", "libx264", "-c:a", "aac", "-f", "mov"}, "mp4"}), "")
        << "-f says the container";
    MediaContents twoVoices = mp4;
    twoVoices.streams.push_back(streamOf(Kind::sound, "aac"));
    EXPECT_EQ(sameReason(twoVoices, plain), "") << "ffmpeg keeps one sound stream of two";
    MediaContents unknown = mp4;
    unknown.answer = MediaContents::Answer::unknown;
    EXPECT_EQ(sameReason(unknown, plain), "");
    MediaContents unnamed = mp4;
    unnamed.streams[1].codec.clear();
    EXPECT_EQ(sameReason(unnamed, plain), "");
}

TEST(SkipCheck, SoundOnlyCopiesAndMatroskaByItsDocType)
{
    MediaStream cover = streamOf(Kind::video, "mjpeg");
    cover.still = true;
    const MediaContents mp3 = fileOf("mp3", "", {streamOf(Kind::sound, "mp3"), cover});
    EXPECT_EQ(sameReason(mp3, shipped("mp3")), "already MP3 with MP3") << "a cover picture is no moving stream";
    EXPECT_EQ(sameReason(mp3, shipped("flac")), "");
    const MediaContents video = fileOf("mp3", "", {streamOf(Kind::sound, "mp3"), streamOf(Kind::video, "h264")});
    EXPECT_EQ(sameReason(video, shipped("mp3")), "") << "-vn would drop a moving picture";

    MediaContents webm = fileOf("matroska,webm", "webm", {streamOf(Kind::video, "vp9"), streamOf(Kind::sound, "opus")});
    EXPECT_EQ(sameReason(webm, shipped("webm")), "already WebM with VP9 and Opus");
    EXPECT_EQ(sameReason(webm, Entry {{}, {"-c", "copy"}, "mkv"}), "") << "a WebM DocType is no MKV";
    webm.brand = "matroska";
    EXPECT_EQ(sameReason(webm, shipped("webm")), "") << "an MKV holding VP9 and Opus is no WebM";
    EXPECT_EQ(sameReason(webm, Entry {{}, {"-c", "copy"}, "mkv"}), "already MKV with VP9 and Opus");
    EXPECT_TRUE(SkipCheck::needsDocType(webm));
    EXPECT_FALSE(SkipCheck::needsDocType(mp3));

    // An EBML header as ffmpeg writes it: version, lengths, DocType, its versions.
    std::string head("\x1A\x45\xDF\xA3\xA3", 5);
    head += std::string("\x42\x86\x81\x01\x42\xF7\x81\x01\x42\xF2\x81\x04\x42\xF3\x81\x08", 16);
    head += std::string("\x42\x82\x88", 3) + "matroska";
    head += std::string("\x42\x87\x81\x04\x42\x85\x81\x02", 8);
    head += std::string("\x18\x53\x80\x67", 4);
    EXPECT_EQ(SkipCheck::matroskaDocType(head), "matroska");
    EXPECT_EQ(SkipCheck::matroskaDocType(head.substr(0, 26)), "") << "cut inside the DocType";
    EXPECT_EQ(SkipCheck::matroskaDocType("RIFF....AVI LIST"), "");
    EXPECT_EQ(SkipCheck::matroskaDocType(""), "");
}

TEST(SkipCheck, AnExistingOutputIsDoneOnlyWholeNewerWithinTheLimitAndOfTheEntrysCodecs)
{
    OutputCheck::Verdict whole;
    whole.checked = true;
    const SkipCheck::Existing newer {"Season 1/E01.mp4", 1000, true};
    const MediaContents h264
        = fileOf(kMovFamily, "isom", {streamOf(Kind::video, "h264"), streamOf(Kind::sound, "aac")});
    const std::vector<std::string> mp4 = shipped("mp4").params;
    const auto judged = [&](const OutputCheck::Verdict& verdict, const SkipCheck::Existing& existing,
                            std::int64_t limit, const std::vector<std::string>& params = {}) {
        return SkipCheck::alreadyConverted(verdict, existing, limit, h264, params.empty() ? mp4 : params).english;
    };
    EXPECT_EQ(judged(whole, newer, 0), "already converted: Season 1/E01.mp4");
    EXPECT_EQ(judged(whole, newer, 1000), "already converted: Season 1/E01.mp4") << "a limit it keeps";
    EXPECT_EQ(judged(whole, newer, 999), "") << "over its limit";
    EXPECT_EQ(judged(whole, {"E01.mp4", 1000, false}, 0), "") << "older than the input";
    OutputCheck::Verdict cut = whole;
    cut.failure = "the output's video holds 00:00:00.3 of 00:00:01.0";
    EXPECT_EQ(judged(cut, newer, 0), "");
    OutputCheck::Verdict unjudged;
    unjudged.uncheckedWhy = "the entry changes the timing";
    EXPECT_EQ(judged(unjudged, newer, 0), "") << "not proven whole";
    // Another entry of the same extension: an H.264 file is no H.265 or Opus conversion.
    EXPECT_EQ(judged(whole, newer, 0, {"-c:v", "libx265", "-c:a", "aac"}), "");
    EXPECT_EQ(judged(whole, newer, 0, {"-vcodec", "libx264", "-acodec", "libopus"}), "");
    EXPECT_EQ(judged(whole, newer, 0, {"-c", "copy"}), "already converted: Season 1/E01.mp4") << "a copy is any codec";
    EXPECT_EQ(judged(whole, newer, 0, {"-c:v", "someencoder", "-b:v", "1M"}), "already converted: Season 1/E01.mp4")
        << "an encoder not known here proves nothing";
}

// Second runs over the outputs of a first, with the system's ffmpeg.
class SkipRunTest : public DriverTest {
protected:
    SkipRunTest()
    {
        // Short clips, each conversion a moment; long enough that a cut one is short by more than the tolerance.
        for (const char* name : {"a.avi", "b.avi", "c.avi"})
            makeClip(dir.file(name), 1.5);
        fs::create_directories(dir.file("out/Season 1"));
    }
    // Queued as a tree's items: their outputs go to out/Season 1.
    void queueClips(int format)
    {
        for (const char* name : {"a.avi", "b.avi", "c.avi"}) {
            JobListModel::Node* node = add(dir.file(name), format, dir.file("out"));
            node->Item.Subfolder = "Season 1";
        }
    }
    void runAgain()
    {
        finished.clear();
        outcomes.clear();
        ASSERT_TRUE(runToEnd());
    }
    int filesIn(const std::string& folder) const
    {
        int count = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.file(folder)))
            ++count;
        return count;
    }
};

TEST_F(SkipRunTest, ASecondRunWithSkipExistingConvertsNothingAndCountsEveryItemSkipped)
{
    queueClips(kMp4H264);
    ASSERT_TRUE(runToEnd());
    ASSERT_EQ(driver.lastRun().converted, 3) << (outcomes.empty() ? "" : outcomes[0].reason);
    driver.SkipExisting = true;
    runAgain();
    EXPECT_EQ(driver.lastRun().skipped, 3);
    EXPECT_EQ(driver.lastRun().converted, 0);
    EXPECT_EQ(driver.lastRun().failed, 0);
    EXPECT_EQ(states(), std::vector<ItemState>(3, ItemState::skipped));
    ASSERT_EQ(outcomes.size(), 3u);
    EXPECT_EQ(outcomes[0].reason, "already converted: Season 1/a.mp4");
    EXPECT_EQ(outcomes[0].output, dir.file("out/Season 1/a.mp4"));
    EXPECT_FALSE(outcomes[0].ffmpegRan);
    EXPECT_EQ(model.nodeAt(0)->Failure.toStdString(), "already converted: Season 1/a.mp4") << "the row's hint";
    EXPECT_EQ(filesIn("out/Season 1"), 3) << "nothing written";
    EXPECT_EQ(progress.back(), 100);
}

TEST_F(SkipRunTest, AnOutputAnEarlierItemOfTheRunMadeIsNoProofForALaterOne)
{
    // Two inputs of one name from two folders into one: the second must not take the first's output for its own.
    fs::create_directories(dir.file("x"));
    fs::create_directories(dir.file("y"));
    makeClip(dir.file("x/a.avi"), 1.5);
    makeClip(dir.file("y/a.avi"), 1.5);
    driver.SkipExisting = true;
    add(dir.file("x/a.avi"), kMp4H264, dir.file("flat"));
    add(dir.file("y/a.avi"), kMp4H264, dir.file("flat"));
    fs::create_directories(dir.file("flat"));
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(driver.lastRun().converted, 2);
    EXPECT_EQ(driver.lastRun().skipped, 0);
    EXPECT_TRUE(fs::exists(dir.file("flat/a_2.mp4")));
    // Again: the first is done; the second's name is the first's, so it is converted once more.
    runAgain();
    EXPECT_EQ(driver.lastRun().skipped, 1);
    EXPECT_EQ(driver.lastRun().converted, 1);
}

TEST_F(SkipRunTest, AnOutputThatIsCutOrOlderThanItsInputIsConvertedAgain)
{
    queueClips(kMp4H264);
    ASSERT_TRUE(runToEnd());
    ASSERT_EQ(driver.lastRun().converted, 3);
    // a.mp4 cut to a fifth of its length by a copy; b.mp4 older than its input.
    const std::string cutOutput = dir.file("out/Season 1/a.mp4");
    ASSERT_EQ(
        runProgram({"ffmpeg", "-v", "error", "-i", cutOutput, "-t", "0.3", "-c", "copy", dir.file("cut.mp4")}), 0);
    fs::rename(dir.file("cut.mp4"), cutOutput);
    fs::last_write_time(dir.file("out/Season 1/b.mp4"), fs::last_write_time(dir.file("b.avi")) - std::chrono::hours(1));
    driver.SkipExisting = true;
    runAgain();
    EXPECT_EQ(driver.lastRun().converted, 2);
    EXPECT_EQ(driver.lastRun().skipped, 1);
    EXPECT_EQ(states(), (std::vector<ItemState> {ItemState::done, ItemState::done, ItemState::skipped}));
    ASSERT_EQ(outcomes.size(), 3u);
    EXPECT_EQ(outcomes[0].output, dir.file("out/Season 1/a_2.mp4")) << "nothing is overwritten";
    EXPECT_EQ(outcomes[1].output, dir.file("out/Season 1/b_2.mp4"));
}

TEST_F(SkipRunTest, SkipSameSkipsAnH264AacMp4ForTheMp4EntryAndConvertsItForWebm)
{
    add(clip(), kMp4H264, dir.file("mp4"));
    fs::create_directories(dir.file("mp4"));
    ASSERT_TRUE(runToEnd());
    ASSERT_EQ(driver.lastRun().converted, 1);
    model.clear();
    const std::string mp4 = dir.file("mp4/clip.mp4");
    ASSERT_EQ(probe(mp4).substr(0, probe(mp4).find(':')), kMovFamily);
    fs::create_directories(dir.file("again"));
    add(mp4, kMp4H264, dir.file("again"));
    add(mp4, shippedFormat("webm"), dir.file("again"));
    driver.SkipSame = true;
    runAgain();
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_TRUE(outcomes[0].skipped);
    EXPECT_EQ(outcomes[0].reason, "already MP4 with H.264 and AAC");
    EXPECT_TRUE(outcomes[1].converted) << outcomes[1].reason;
    EXPECT_EQ(driver.lastRun().skipped, 1);
    EXPECT_EQ(driver.lastRun().converted, 1);
    EXPECT_FALSE(fs::exists(dir.file("again/clip.mp4")));
    EXPECT_TRUE(fs::exists(dir.file("again/clip.webm")));
}

} // namespace
