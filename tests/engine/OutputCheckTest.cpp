#include "DriverTestSupport.h"
#include "MeasureCache.h"
#include "MediaProbe.h"
#include "OutputCheck.h"
#include "RunningProgram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

namespace {

namespace fs = std::filesystem;
using Kind = MediaStream::Kind;

TEST(OutputCheck, ReadsFfmpegsTimeSyntax)
{
    const std::vector<std::pair<std::string, double>> times = {{"5", 5}, {"1.5", 1.5}, {"00:01:02.5", 62.5},
        {"01:02", 62}, {"500ms", 0.5}, {"2s", 2}, {"1500000us", 1.5}, {"-1", -1}, {"abc", -1}, {"", -1}, {"5x", -1}};
    for (const auto& [text, seconds] : times)
        EXPECT_DOUBLE_EQ(OutputCheck::parseDuration(text), seconds) << text;
    EXPECT_EQ(OutputCheck::clock(9.81), "00:00:09.8");
    EXPECT_EQ(OutputCheck::clock(3725.04), "01:02:05.0");
}

TEST(OutputCheck, TakesTheLevelTagOffFfmpegsLines)
{
    struct Case {
        std::string line, level, context, text;
    };
    const std::vector<Case> cases = {
        {"[info] frame=  114 fps=0.0 time=00:00:10.03", "info", "", "frame=  114 fps=0.0 time=00:00:10.03"},
        {"[h264 @ 0x55d8147887c0] [error] error while decoding MB 4 7", "error", "h264",
            "[h264 @ 0x55d8147887c0] error while decoding MB 4 7"},
        {"[matroska,webm @ 0x1] [error] File ended prematurely", "error", "matroska,webm",
            "[matroska,webm @ 0x1] File ended prematurely"},
        {"[warning] x.mkv: corrupt decoded frame in stream 0", "warning", "",
            "x.mkv: corrupt decoded frame in stream 0"},
        // Untagged, or a tag that is no level: as it is.
        {"frame=  1 time=00:00:01.00", "", "", "frame=  1 time=00:00:01.00"},
        {"[mp3 @ 0x1] Header missing", "", "", "[mp3 @ 0x1] Header missing"},
        {"[note] hello", "", "", "[note] hello"},
    };
    for (const Case& item : cases) {
        const OutputCheck::LogLine logged = OutputCheck::untag(item.line);
        EXPECT_EQ(logged.level, item.level) << item.line;
        EXPECT_EQ(logged.context, item.context) << item.line;
        EXPECT_EQ(logged.text, item.text) << item.line;
    }
}

TEST(OutputCheck, CountsTheErrorsOfTheInputsDemuxerAndDecodersOnly)
{
    OutputCheck check({}, {}, "out.mp4");
    for (const char* line :
        {"[info] Input #0, matroska,webm, from 'file:/v/Duration: 00:00:01.00.mkv':",
            "[info]   Stream #0:0 -> #0:0 (h264 (native) -> h264 (libx264))",
            "[info]   Stream #0:1 -> #0:1 (mp3 (mp3float) -> aac (native))", "[info] Output #0, mp4, to 'file:/o.mp4':",
            "[h264 @ 0x1] [error] mb_type 45 in P slice too large at 4 7", // decoder
            "[mp3float @ 0x2] [error] Header missing", // decoder, by its own name
            "[matroska,webm @ 0x3] [error] File ended prematurely", // demuxer
            "[error] Error while decoding stream #0:1: Invalid data found when processing input", // ffmpeg's own
            "[libx264 @ 0x4] [error] an encoder's complaint", // not the input's
            "[mp4 @ 0x5] [error] a muxer's complaint", // nor this
            "[h264 @ 0x1] [warning] a warning", "[h264 @ 0x1] [info] concealing 205 DC, 205 AC, 205 MV errors",
            // ffmpeg's own warnings about the input, by its name
            "[warning] file:/v/Duration: 00:00:01.00.mkv: corrupt input packet in stream 0",
            "[warning] something else: corrupt input packet in stream 0"})
        check.read(OutputCheck::untag(line));
    EXPECT_EQ(check.decodeErrors(), 5);
}

// A file as measured: streams of kind, start, seconds, frames (video) at 25 a second.
MediaContents file(const std::vector<std::tuple<Kind, double, double, long long>>& streams, double claimed = -1,
    const std::string& format = "matroska,webm")
{
    MediaContents contents;
    contents.answer = MediaContents::Answer::measured;
    contents.format = format;
    contents.seconds = claimed;
    for (const auto& [kind, start, seconds, frames] : streams) {
        MediaStream stream;
        stream.kind = kind;
        stream.start = start;
        stream.seconds = seconds;
        stream.frames = frames;
        stream.frameRate = kind == Kind::video ? 25 : 0;
        stream.constantRate = kind == Kind::video;
        contents.streams.push_back(stream);
    }
    return contents;
}

MediaContents tenSeconds()
{
    return file({{Kind::video, 0, 10, 250}, {Kind::sound, 0, 10, -1}}, 10);
}

TEST(OutputCheck, ComparesEachKeptStreamWithTheInputsNarrowedByTheEntry)
{
    struct Case {
        const char* what;
        std::vector<std::string> inputParams;
        std::vector<std::string> params;
        std::string output;
        MediaContents input;
        MediaContents written;
        std::string failure; // "": passes; "unchecked: …": the reason it is unchecked
    };
    const MediaContents whole = tenSeconds();
    const std::vector<Case> cases = {
        {"whole", {}, {}, "o.mp4", whole, tenSeconds(), ""},
        {"one per cent, at least half a second short passes", {}, {}, "o.mp4", whole,
            file({{Kind::video, 0, 9.55, 239}, {Kind::sound, 0, 9.6, -1}}, 9.6), ""},
        {"a longer output is no failure", {}, {}, "o.mp4", whole,
            file({{Kind::video, 0, 12, 300}, {Kind::sound, 0, 12, -1}}, 12), ""},
        {"frames lost behind whole timestamps", {}, {}, "o.mp4", whole,
            file({{Kind::video, 0, 10, 114}, {Kind::sound, 0, 10, -1}}, 10),
            "the output's video holds 00:00:04.6 of 00:00:10.0 (114 of 250 frames)"},
        {"an input whose picture holds fewer frames than it claims is cut", {}, {}, "o.mp4",
            file({{Kind::video, 0, 10, 113}, {Kind::sound, 0, 10, -1}}, 10),
            file({{Kind::video, 0, 4.56, 114}, {Kind::sound, 0, 10, -1}}, 10),
            "the output's video holds 00:00:04.6 of 00:00:10.0 (114 of 250 frames): the input is damaged or cut"},
        {"a short sound", {}, {}, "o.mp4", whole, file({{Kind::video, 0, 10, 250}, {Kind::sound, 0, 4.5, -1}}, 10),
            "the output's sound holds 00:00:04.5 of 00:00:10.0"},
        {"an empty video", {}, {}, "o.mp4", whole, file({{Kind::video, 0, 0, 0}, {Kind::sound, 0, 3, -1}}, 3),
            "the output's video is empty (00:00:10.0 expected)"},
        {"a missing sound", {}, {}, "o.mp4", whole, file({{Kind::video, 0, 10, 250}}, 10), "the output holds no sound"},
        {"no stream", {}, {}, "o.mp4", whole, file({}, -1), "ffmpeg wrote no playable stream"},
        {"-ss and -t", {}, {"-ss", "2", "-t", "3"}, "o.mp4", whole,
            file({{Kind::video, 0, 3, 75}, {Kind::sound, 0, 3, -1}}, 3), ""},
        {"-ss and -t with no frame written", {}, {"-ss", "2", "-t", "3"}, "o.mp4", whole,
            file({{Kind::video, 0, 3, 0}, {Kind::sound, 0, 3, -1}}, 3),
            "the output's video is empty (00:00:03.0 expected)"},
        {"-ss before -i and -to", {"-ss", "4", "-to", "8"}, {}, "o.mp4", whole,
            file({{Kind::video, 0, 4, 100}, {Kind::sound, 0, 4, -1}}, 4), ""},
        {"past the end", {}, {"-ss", "20"}, "o.mp4", whole, file({{Kind::video, 0, 0, 0}}, 0),
            "the entry starts past the input's end (00:00:10.0)"},
        {"a start offset is no length", {}, {}, "o.mp4",
            file({{Kind::video, 4.02, 4, 100}, {Kind::sound, 4.04, 4, -1}}, 4.01, "mov,mp4,m4a,3gp,3g2,mj2"),
            file({{Kind::video, 0, 4, 100}, {Kind::sound, 0, 4, -1}}, 4), ""},
        {"-an keeps the picture only", {}, {"-an"}, "o.gif",
            file({{Kind::video, 0, 4, 100}, {Kind::sound, 0, 10, -1}}, 10), file({{Kind::video, 0, 4, 100}}, 4), ""},
        {"a sound container keeps the sound only", {}, {}, "o.mp3", whole, file({{Kind::sound, 0, 10, -1}}, 10), ""},
        {"every sound-only muxer keeps the sound only (WavPack)", {}, {"-c:a", "wavpack"}, "o.wv", whole,
            file({{Kind::sound, 0, 10, -1}}, 10), ""},
        {"every sound-only muxer keeps the sound only (Core Audio)", {}, {}, "o.CAF", whole,
            file({{Kind::sound, 0, 10, -1}}, 10), ""},
        {"every sound-only muxer keeps the sound only (Sun AU)", {}, {}, "o.au", whole,
            file({{Kind::sound, 0, 10, -1}}, 10), ""},
        {"a picture-only muxer keeps the picture only", {}, {"-c:v", "libvpx"}, "o.ivf", whole,
            file({{Kind::video, 0, 10, 250}}, 10), ""},
        {"a raw stream that tells no length is judged by its frames", {}, {"-c:v", "libx264"}, "o.h264", whole,
            file({{Kind::video, 0, -1, 250}}, -1, "h264"), ""},
        {"a raw stream that tells no length and lacks frames", {}, {"-c:v", "libx264"}, "o.h264", whole,
            file({{Kind::video, 0, -1, 114}}, -1, "h264"),
            "the output's video holds 00:00:04.6 of 00:00:10.0 (114 of 250 frames)"},
        {"a short sound-only output", {}, {"-vn"}, "o.mp3", whole, file({{Kind::sound, 0, 4.5, -1}}, 4.5),
            "the output's sound holds 00:00:04.5 of 00:00:10.0"},
        {"sound the input holds shorter than its picture sets its expectation", {}, {}, "o.mp4",
            file({{Kind::video, 0, 10, 250}, {Kind::sound, 0, 6, -1}}, 10),
            file({{Kind::video, 0, 10, 250}, {Kind::sound, 0, 6, -1}}, 10), ""},
        {"a frame rate the entry changes compares the length only", {}, {"-vf", "fps=10"}, "o.mp4", whole,
            file({{Kind::video, 0, 10, 100}, {Kind::sound, 0, 10, -1}}, 10), ""},
        {"two sound streams, both kept", {}, {"-map", "0"}, "o.mkv",
            file({{Kind::video, 0, 10, 250}, {Kind::sound, 0, 10, -1}, {Kind::sound, 0, 5, -1}}, 10),
            file({{Kind::video, 0, 10, 250}, {Kind::sound, 0, 10, -1}, {Kind::sound, 0, 5, -1}}, 10), ""},
        {"two sound streams, one kept", {}, {}, "o.mp4",
            file({{Kind::video, 0, 10, 250}, {Kind::sound, 0, 10, -1}, {Kind::sound, 0, 5, -1}}, 10), tenSeconds(), ""},
        {"-itsscale", {"-itsscale", "2"}, {}, "o.mp4", whole, tenSeconds(),
            "unchecked: the format's options change the output's length"},
        {"a timing filter", {}, {"-vf", "setpts=0.5*PTS"}, "o.mp4", whole, tenSeconds(),
            "unchecked: the format's options change the output's length"},
        {"a sound filter that changes the rate it plays at", {}, {"-af", "asetrate=88200"}, "o.mp3", whole,
            file({{Kind::sound, 0, 5, -1}}, 5), "unchecked: the format's options change the output's length"},
        {"a sound filter that cuts silence", {}, {"-af", "silenceremove=start_periods=1"}, "o.mp3", whole,
            file({{Kind::sound, 0, 5, -1}}, 5), "unchecked: the format's options change the output's length"},
        {"-shortest", {}, {"-shortest"}, "o.mp4", whole, tenSeconds(),
            "unchecked: the format's options change the output's length"},
        {"a still picture", {}, {}, "o.mp4", file({{Kind::video, 0, 0.04, 1}}, 0.04, "image2"),
            file({{Kind::video, 0, 0.04, 1}}, 0.04), "unchecked: the input is a still picture"},
        {"no length told", {}, {}, "o.mp4", file({{Kind::video, 0, -1, 75}}, -1, "h264"),
            file({{Kind::video, 0, 3, 75}}, 3), "unchecked: the input does not tell its length"},
    };
    for (const Case& item : cases) {
        const OutputCheck check(item.inputParams, item.params, item.output);
        const OutputCheck::Verdict verdict = check.verdict(item.input, item.written);
        if (item.failure.starts_with("unchecked: ")) {
            EXPECT_EQ("unchecked: " + verdict.uncheckedWhy, item.failure) << item.what;
            EXPECT_FALSE(verdict.checked) << item.what;
            EXPECT_EQ(verdict.failure, "") << item.what;
        } else {
            EXPECT_EQ(verdict.failure, item.failure) << item.what;
            EXPECT_TRUE(verdict.checked) << item.what << ": " << verdict.uncheckedWhy;
        }
    }
}

TEST(OutputCheck, AShortSoundWithNoLengthOfItsOwnFailsOnlyWithDamageOrNoPicture)
{
    // The container claims 10 s; the sound tells no length of its own.
    const MediaContents input = file({{Kind::video, 0, 10, 250}, {Kind::sound, 0, -1, -1}}, 10);
    const MediaContents soundOnly = file({{Kind::sound, 0, 7, -1}}, 7);
    const OutputCheck quiet({}, {"-vn"}, "o.mp3");
    const OutputCheck::Verdict mayBe = quiet.verdict(input, soundOnly);
    EXPECT_EQ(mayBe.failure, "");
    EXPECT_EQ(mayBe.uncheckedWhy, "its sound is shorter than the input, which may be so");

    OutputCheck damaged({}, {"-vn"}, "o.mp3");
    damaged.read(OutputCheck::untag("[info] Input #0, matroska,webm, from 'file:/v/x.mkv':"));
    damaged.read(OutputCheck::untag("[matroska,webm @ 0x1] [error] File ended prematurely"));
    EXPECT_EQ(damaged.verdict(input, soundOnly).failure,
        "the output's sound holds 00:00:07.0 of 00:00:10.0: the input is damaged or cut");

    const MediaContents noPicture = file({{Kind::sound, 0, -1, -1}}, 10, "mp3");
    EXPECT_EQ(quiet.verdict(noPicture, soundOnly).failure, "the output's sound holds 00:00:07.0 of 00:00:10.0");
}

TEST(OutputCheck, AnOutputThatCannotBeReadFailsAndOneNotMeasuredIsUnchecked)
{
    const OutputCheck check({}, {}, "o.mp4");
    MediaContents unreadable;
    unreadable.answer = MediaContents::Answer::unreadable;
    EXPECT_EQ(check.verdict(tenSeconds(), unreadable).failure, "ffmpeg wrote no playable stream");
    const MediaContents unknown;
    EXPECT_EQ(check.verdict(tenSeconds(), unknown).uncheckedWhy, "the output could not be measured");
    EXPECT_EQ(check.verdict(unknown, tenSeconds()).uncheckedWhy, "the input could not be measured");
}

TEST(OutputCheck, TheDecodeCheckComparesDecodedLengthAndFrames)
{
    const OutputCheck check({}, {}, "o.mp4");
    const OutputCheck::Verdict verdict = check.verdict(tenSeconds(), tenSeconds());
    ASSERT_TRUE(verdict.checked);
    EXPECT_TRUE(OutputCheck::decodedShortfall(verdict, 10, 250).empty());
    EXPECT_TRUE(OutputCheck::decodedShortfall(verdict, 9.6, 240).empty());
    EXPECT_EQ(
        OutputCheck::decodedShortfall(verdict, 10, 114).english, "decoding the output gives 114 of 250 video frames");
    EXPECT_EQ(
        OutputCheck::decodedShortfall(verdict, 4.5, -1).english, "decoding the output gives 00:00:04.5 of 00:00:10.0");
}

TEST(MediaContents, ReadsFfprobesAnswerAndFfmpegsListing)
{
    // A piece cut by a segment muxer (an MP4 whose length is its timeline's end), and a Matroska
    // file whose streams' lengths are tags that end at their last packet.
    const MediaContents piece = MediaContents::fromProbeJson(R"({"streams": [
        {"codec_type": "video", "r_frame_rate": "25/1", "avg_frame_rate": "25/1", "start_time": "4.022969",
         "duration": "4.000000", "nb_read_packets": "100", "disposition": {"attached_pic": 0}},
        {"codec_type": "audio", "r_frame_rate": "0/0", "avg_frame_rate": "0/0", "start_time": "4.040000",
         "duration": "3.993832", "nb_read_packets": "172", "disposition": {"attached_pic": 0}},
        {"codec_type": "video", "avg_frame_rate": "0/0", "r_frame_rate": "90000/1", "disposition": {"attached_pic": 1}}],
        "format": {"format_name": "mov,mp4,m4a,3gp,3g2,mj2", "start_time": "4.022969", "duration": "8.035000"}})");
    ASSERT_EQ(piece.answer, MediaContents::Answer::measured);
    ASSERT_EQ(piece.streams.size(), 3u);
    EXPECT_NEAR(piece.seconds, 4.01, 0.01);
    EXPECT_EQ(piece.streams[0].kind, Kind::video);
    EXPECT_EQ(piece.streams[0].frames, 100);
    EXPECT_TRUE(piece.streams[0].constantRate);
    EXPECT_DOUBLE_EQ(piece.streams[1].seconds, 3.993832);
    EXPECT_EQ(piece.streams[1].frames, -1) << "packets are counted for video only";
    EXPECT_EQ(piece.ofKind(Kind::video).size(), 1u) << "an attached picture is no moving one";

    const MediaContents tagged = MediaContents::fromProbeJson(R"({"streams": [
        {"codec_type": "video", "avg_frame_rate": "25/1", "r_frame_rate": "25/1", "start_time": "3.000000",
         "nb_read_packets": "125", "tags": {"DURATION": "00:00:08.000000000"}}],
        "format": {"format_name": "matroska,webm", "start_time": "3.000000", "duration": "8.000000"}})");
    ASSERT_EQ(tagged.streams.size(), 1u);
    EXPECT_DOUBLE_EQ(tagged.streams[0].seconds, 5);
    EXPECT_DOUBLE_EQ(tagged.seconds, 5);

    EXPECT_EQ(MediaContents::fromProbeJson("{}").answer, MediaContents::Answer::unreadable);
    EXPECT_EQ(MediaContents::fromProbeJson("not json").answer, MediaContents::Answer::unreadable);

    const MediaContents listed = MediaContents::fromFfmpegListing({"Input #0, mpegts, from 'file:/v/x.ts':",
        "  Metadata:", "    title           : Duration: 00:00:01.00",
        "  Duration: 00:00:10.02, start: 1.400000, bitrate: 5 kb/s", "  Program 1 ",
        "  Stream #0:0[0x100]: Video: h264 (High), yuv420p, 320x240, 25 fps",
        "  Stream #0:1[0x101](eng): Audio: aac (LC), 44100 Hz, mono", "At least one output file must be specified"});
    ASSERT_EQ(listed.answer, MediaContents::Answer::measured);
    EXPECT_EQ(listed.format, "mpegts");
    EXPECT_DOUBLE_EQ(listed.seconds, 10.02) << "a title is no length";
    ASSERT_EQ(listed.streams.size(), 2u);
    EXPECT_EQ(listed.streams[1].kind, Kind::sound);
    EXPECT_EQ(MediaContents::fromFfmpegListing({"file:/v/x: Invalid data found when processing input"}).answer,
        MediaContents::Answer::unreadable);
    EXPECT_EQ(MediaContents::fromFfmpegListing({}).answer, MediaContents::Answer::unknown);
}

// What the check measured, for a failure's message.
std::string told(const ItemOutcome& outcome)
{
    std::string text;
    for (const OutputCheck::StreamCheck& stream : outcome.streams)
        text += (stream.kind == Kind::video ? "video " : "sound ") + std::to_string(stream.writtenSeconds) + " of "
            + std::to_string(stream.expectedSeconds) + " s, " + std::to_string(stream.writtenFrames) + " of "
            + std::to_string(stream.expectedFrames) + " frames; ";
    return text + "decode errors " + std::to_string(outcome.decodeErrors);
}

// Clips made once for all the cases below by the real ffmpeg, 320x240 and at most 10 s.
class MeasuredOutputTest : public DriverTest {
protected:
    static void SetUpTestSuite()
    {
        clips = std::make_unique<TempDir>();
        const auto make = [](const std::vector<std::string>& arguments) {
            std::vector<std::string> command = {"ffmpeg", "-v", "error", "-y"};
            command.insert(command.end(), arguments.begin(), arguments.end());
            made = made && runProgram(command) == 0;
        };
        const std::string picture = "testsrc2=size=320x240:rate=25:duration=";
        const std::vector<std::string> x264 = {"-c:v", "libx264", "-preset", "ultrafast", "-g", "25"};
        const auto with = [](std::vector<std::string> a, const std::vector<std::string>& b) {
            a.insert(a.end(), b.begin(), b.end());
            return a;
        };
        // One key frame in ten seconds, as x264 makes by default, and one a second. The first's title
        // claims a length: no length is read from text.
        make({"-f", "lavfi", "-i", picture + "10", "-f", "lavfi", "-i", "sine=duration=10", "-c:v", "libx264",
            "-preset", "ultrafast", "-c:a", "aac", "-metadata", "title=Duration: 00:00:01.00", clip("ten.mkv")});
        make(with({"-f", "lavfi", "-i", picture + "10", "-f", "lavfi", "-i", "sine=duration=10"},
            with(x264, {"-c:a", "aac", clip("keyframes.mkv")})));
        make(with({"-f", "lavfi", "-i", picture + "10", "-f", "lavfi", "-i", "sine=duration=10"},
            with(x264, {"-c:a", "aac", clip("ten.ts")})));
        make({"-i", clip("ten.mkv"), "-vn", "-c:a", "libmp3lame", clip("ten.mp3")});
        // Pieces of a segment muxer: the second starts at 4 s.
        make(with({"-f", "lavfi", "-i", picture + "10", "-f", "lavfi", "-i", "sine=duration=10"},
            with(x264, {"-c:a", "aac", "-f", "segment", "-segment_time", "4", clip("piece%d.mp4")})));
        make(with({"-f", "lavfi", "-i", picture + "5"}, with(x264, {"-output_ts_offset", "3", clip("offset.mkv")})));
        // Sound that outlasts the picture, and picture that outlasts the sound.
        make(with({"-f", "lavfi", "-i", picture + "4", "-f", "lavfi", "-i", "sine=duration=8"},
            with(x264, {"-c:a", "aac", clip("longsound.mp4")})));
        make(with({"-f", "lavfi", "-i", picture + "8", "-f", "lavfi", "-i", "sine=duration=4"},
            with(x264, {"-c:a", "aac", clip("shortsound.mp4")})));
        // Variable frame rate: the frames' times drift apart.
        make(with({"-f", "lavfi", "-i", picture + "6", "-vf", "setpts='N/25/TB+0.02*sin(N)/TB'", "-fps_mode", "vfr"},
            with(x264, {clip("vfr.mkv")})));
        // Two sound streams and subtitles.
        writeFileBytes(
            clip("words.srt"), "1\n00:00:00,500 --> 00:00:02,000\nhello\n\n2\n00:00:03,000 --> 00:00:04,500\nagain\n");
        make(with({"-f", "lavfi", "-i", picture + "5", "-f", "lavfi", "-i", "sine=duration=5", "-f", "lavfi", "-i",
                      "sine=frequency=880:duration=5", "-i", clip("words.srt"), "-map", "0", "-map", "1", "-map", "2",
                      "-map", "3"},
            with(x264, {"-c:a", "aac", "-c:s", "srt", clip("tracks.mkv")})));
        if (!made)
            return;
        // Damage: 64 KiB of noise at 45 %, and files cut in half.
        for (const char* name : {"ten", "keyframes"}) {
            std::string mkv = readFileBytes(clip(name + std::string(".mkv")));
            std::uint32_t noise = 28;
            for (std::size_t at = mkv.size() * 45 / 100, end = std::min(mkv.size(), at + 65536); at < end; ++at) {
                noise = noise * 1103515245u + 12345u;
                mkv[at] = static_cast<char>(noise >> 16);
            }
            writeFileBytes(clip(name + std::string("-noisy.mkv")), mkv);
        }
        std::string ts = readFileBytes(clip("ten.ts"));
        std::uint32_t noise = 28;
        for (std::size_t at = ts.size() / 2, end = std::min(ts.size(), at + 20000); at < end; ++at) {
            noise = noise * 1103515245u + 12345u;
            ts[at] = static_cast<char>(noise >> 16);
        }
        writeFileBytes(clip("noisy.ts"), ts);
        const std::string mkv = readFileBytes(clip("ten.mkv"));
        writeFileBytes(clip("cut.mkv"), mkv.substr(0, mkv.size() / 2));
        const std::string mp3 = readFileBytes(clip("ten.mp3"));
        writeFileBytes(clip("cut.mp3"), mp3.substr(0, mp3.size() / 2));
    }
    static void TearDownTestSuite() { clips.reset(); }
    static std::string clip(const std::string& name) { return clips->file(name); }

    // An entry of the user's own.
    int entry(const std::string& params, const std::string& extension, const std::string& inputParams = "")
    {
        writeFileBytes(dir.file("mine"),
            "<c><e><format>Mine</format><inputparams>" + inputParams + "</inputparams><params>" + params
                + "</params><ext>" + extension + "</ext></e></c>");
        catalogue.LoadUserEntries(dir.file("mine"));
        return static_cast<int>(catalogue.Formats().size()) - 1;
    }

    static inline std::unique_ptr<TempDir> clips;
    static inline bool made = true;
};

TEST_F(MeasuredOutputTest, DamagedInputsFailAndGoodOnesConvertChecked)
{
    if (!made || MediaProbe::ffprobeBeside(driver.FfmpegPath).empty()) {
        std::cout << "skipped: no ffmpeg with ffprobe beside it, or the clips could not be made\n";
        return;
    }
    struct Case {
        const char* what;
        std::string input;
        std::string params; // "": the shipped format of the extension
        std::string extension;
        // "": converted and checked; "told": failed, or converted with damage told; "unchecked: …": converted
        // unchecked for that reason; else how its reason starts
        std::string failure;
        std::string inputParams = {};
    };
    const std::vector<Case> cases = {
        {"noise in a Matroska file to MP4", "ten-noisy.mkv", "", "mp4",
            "the output's video holds 00:00:04.6 of 00:00:10.0 (114 of 250 frames)"},
        {"noise in a Matroska file to MP3", "ten-noisy.mkv", "", "mp3",
            "the output's sound holds 00:00:04.6 of 00:00:10.0"},
        {"noise where a key frame follows soon", "keyframes-noisy.mkv", "", "mp4", "told"},
        {"noise in MPEG-TS", "noisy.ts", "", "mp4", "told"},
        {"a cut Matroska file to MP3", "cut.mkv", "", "mp3", "the output's sound holds 00:00:0"},
        {"a cut MP3 to MP3", "cut.mp3", "", "mp3", "the output's sound holds 00:00:0"},
        {"an entry starting past the end", "ten.mkv", "-ss 20 -c:v libx264 -c:a aac", "mp4",
            "ffmpeg wrote no playable stream"},
        {"a whole Matroska file to MP4", "ten.mkv", "", "mp4", ""},
        {"a whole Matroska file to MP3", "ten.mkv", "", "mp3", ""},
        {"-ss 2 -t 3 on MPEG-TS", "ten.ts", "-ss 2 -t 3 -c:v libx264 -c:a aac", "mp4", ""},
        {"a segment muxer's piece", "piece1.mp4", "", "mp4", ""},
        {"a start offset", "offset.mkv", "", "mp4", ""},
        {"-an where the sound outlasts the picture", "longsound.mp4", "", "gif", ""},
        {"-vn", "longsound.mp4", "-vn -c:a aac", "m4a", ""},
        {"sound shorter than the picture to MP3", "shortsound.mp4", "", "mp3", ""},
        {"variable frame rate", "vfr.mkv", "-c:v libx264", "mkv", ""},
        {"two sound streams and subtitles", "tracks.mkv", "-map 0 -c:v libx264 -c:a aac -c:s srt", "mkv", ""},
        {"two sound streams, ffmpeg's choice", "tracks.mkv", "", "mp4", ""},
        {"-itsscale", "ten.mkv", "-c:v libx264 -c:a aac", "mkv",
            "unchecked: the format's options change the output's length", "-itsscale 2"},
    };
    for (const Case& item : cases) {
        outcomes.clear();
        finished.clear();
        model.clear();
        const int format = item.params.empty() ? shippedFormat(item.extension)
                                               : entry(item.params, item.extension, item.inputParams);
        add(clip(item.input), format, dir.prefix());
        ASSERT_TRUE(runToEnd(120000)) << item.what;
        ASSERT_EQ(outcomes.size(), 1u) << item.what;
        const ItemOutcome& outcome = outcomes[0];
        if (item.failure.starts_with("unchecked: ")) {
            EXPECT_TRUE(outcome.converted) << item.what << ": " << outcome.reason;
            EXPECT_EQ("unchecked: " + outcome.uncheckedWhy, item.failure) << item.what;
        } else if (item.failure == "told") {
            EXPECT_TRUE(!outcome.converted || outcome.decodeErrors > 0) << item.what << ": " << told(outcome);
        } else if (item.failure.empty()) {
            EXPECT_TRUE(outcome.converted) << item.what << ": " << outcome.reason;
            EXPECT_EQ(outcome.checked, ItemOutcome::Check::streams) << item.what << ": " << outcome.uncheckedWhy;
            EXPECT_FALSE(outcome.streams.empty()) << item.what;
        } else {
            EXPECT_FALSE(outcome.converted) << item.what << ": " << told(outcome);
            EXPECT_TRUE(outcome.reason.starts_with(item.failure)) << item.what << ": " << outcome.reason;
            EXPECT_FALSE(fs::exists(outcome.output)) << item.what;
        }
        EXPECT_TRUE(temporariesIn(dir.prefix()).empty()) << item.what;
        for (const auto& entry : fs::directory_iterator(dir.path()))
            if (entry.path().filename() != "mine")
                fs::remove(entry.path());
    }
}

TEST_F(MeasuredOutputTest, TheHintSaysWhatWasChecked)
{
    if (!made || MediaProbe::ffprobeBeside(driver.FfmpegPath).empty()) {
        std::cout << "skipped: no ffmpeg with ffprobe beside it, or the clips could not be made\n";
        return;
    }
    add(clip("ten.mkv"), entry("-c:v libx264 -c:a aac", "mkv"), dir.prefix());
    ASSERT_TRUE(runToEnd());
    ASSERT_EQ(outcomes.size(), 1u);
    ASSERT_TRUE(outcomes[0].converted) << outcomes[0].reason;
    // Matroska ends its sound where the last packet ends, a little after ten seconds.
    EXPECT_TRUE(model.nodeAt(0)->Remark.startsWith("checked: video 00:00:10.0, 250 frames; sound 00:00:10."))
        << model.nodeAt(0)->Remark.toStdString();
    ASSERT_EQ(outcomes[0].streams.size(), 2u);
    EXPECT_EQ(outcomes[0].streams[0].expectedFrames, 250);
    EXPECT_EQ(outcomes[0].decodeErrors, 0);
}

TEST_F(MeasuredOutputTest, DecodingTooFailsAShortOutputAndPassesAWholeOne)
{
    if (!made || MediaProbe::ffprobeBeside(driver.FfmpegPath).empty()) {
        std::cout << "skipped: no ffmpeg with ffprobe beside it, or the clips could not be made\n";
        return;
    }
    driver.Verify = Verification::decode;
    add(clip("ten-noisy.mkv"), shippedFormat("mp3"), dir.prefix());
    add(clip("ten.mkv"), shippedFormat("mp3"), dir.prefix());
    ASSERT_TRUE(runToEnd());
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_FALSE(outcomes[0].converted);
    EXPECT_TRUE(outcomes[1].converted) << outcomes[1].reason;
    EXPECT_EQ(outcomes[1].checked, ItemOutcome::Check::decode);
}

TEST_F(DriverTest, WithoutAnFfprobeBesideItFfmpegsOwnListingMeasures)
{
    // The real ffmpeg, alone in its folder.
    fs::create_directories(dir.file("bin"));
    fs::create_symlink(driver.FfmpegPath, dir.file("bin/ffmpeg"));
    driver.FfmpegPath = dir.file("bin/ffmpeg");
    ASSERT_EQ(MediaProbe::ffprobeBeside(driver.FfmpegPath), "");
    // Sound whose header claims five seconds, and a copy cut in half.
    ASSERT_EQ(runProgram({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "sine=duration=5", "-c:a", "libmp3lame",
                  dir.file("five.mp3")}),
        0);
    const std::string whole = readFileBytes(dir.file("five.mp3"));
    writeFileBytes(dir.file("half.mp3"), whole.substr(0, whole.size() / 2));
    fs::create_directories(dir.file("out"));
    add(dir.file("five.mp3"), kMp3, dir.file("out"));
    add(dir.file("half.mp3"), kMp3, dir.file("out"));
    ASSERT_TRUE(runToEnd());
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_TRUE(outcomes[0].converted) << outcomes[0].reason;
    EXPECT_EQ(outcomes[0].checked, ItemOutcome::Check::streams) << outcomes[0].uncheckedWhy;
    ASSERT_EQ(outcomes[0].streams.size(), 1u);
    EXPECT_EQ(outcomes[0].streams[0].kind, Kind::sound);
    EXPECT_NEAR(outcomes[0].streams[0].writtenSeconds, 5, 0.2);
    EXPECT_FALSE(outcomes[1].converted);
    EXPECT_TRUE(outcomes[1].reason.starts_with("the output's sound holds 00:00:0")) << outcomes[1].reason;
}

// The real ffmpeg beside an ffprobe that waits for a file to go before it answers.
class HeldMeasureTest : public DriverTest {
protected:
    void SetUp() override
    {
        const std::string ffprobe = QStandardPaths::findExecutable("ffprobe").toStdString();
        if (ffprobe.empty())
            GTEST_SKIP() << "no ffprobe";
        fs::create_directories(dir.file("bin"));
        fs::create_symlink(driver.FfmpegPath, dir.file("bin/ffmpeg"));
        writeScript(dir.file("bin/ffprobe"),
            "echo $$ >> \"" + dir.file("probes") + "\"\nwhile [ -e \"" + dir.file("hold")
                + "\" ]; do sleep 0.05; done\nexec \"" + ffprobe + "\" \"$@\"\n");
        driver.FfmpegPath = dir.file("bin/ffmpeg");
        writeFileBytes(dir.file("hold"), "");
    }
    // The process ids of the probes started so far.
    std::vector<long> probes() const
    {
        std::vector<long> found;
        std::ifstream list(dir.file("probes"));
        for (long pid = 0; list >> pid;)
            found.push_back(pid);
        return found;
    }
};

TEST_F(HeldMeasureTest, PauseHoldsTheMeasuringAndStopEndsIt)
{
    std::vector<bool> checking;
    QObject::connect(&driver, &TCommand::itemProgress,
        [&](JobListModel::Node*, const ItemProgress& progress) { checking.push_back(progress.checking); });
    add(clip(), kMp4H264, dir.prefix());
    driver.Start();
    // Converted, it waits for both measures: the input's and the output's.
    ASSERT_TRUE(waitFor([&] { return probes().size() == 2 && !checking.empty() && checking.back(); }));
    driver.Pause();
    // Each probe leads a process group of its own: held, every process of it is
    // stopped, or waits uninterruptibly on one that is (a shell whose child was
    // stopped between vfork and exec).
    for (const long pid : probes())
        EXPECT_TRUE(waitFor([&] { return processGroupHeld(pid); }))
            << "the pause holds the measuring: probe " << pid << " of " << probes().size() << " is "
            << processState(pid) << ", the item " << testing::PrintToString(model.nodeAt(0)->State);
    fs::remove(dir.file("hold"));
    processPendingEvents();
    EXPECT_TRUE(outcomes.empty()) << "held, it does not end";
    driver.Resume();
    ASSERT_TRUE(waitFor([&] { return !finished.empty(); }));
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_TRUE(outcomes[0].converted) << outcomes[0].reason;
    EXPECT_EQ(outcomes[0].checked, ItemOutcome::Check::streams) << outcomes[0].uncheckedWhy;

    // Stopped while it measures: nothing is published, and the probes end.
    writeFileBytes(dir.file("hold"), "");
    fs::remove(dir.file("probes"));
    fs::remove(dir.file("clip.mp4"));
    outcomes.clear();
    finished.clear();
    driver.Start();
    // The input's measure was kept by the first run (where its file system lets it be): the output's alone is asked.
    const std::size_t asked = MeasureCache::fileStamp(clip()) ? 1 : 2;
    ASSERT_TRUE(waitFor([&] { return probes().size() == asked && model.nodeAt(0)->State == ItemState::measuring; }));
    driver.Stop();
    ASSERT_TRUE(waitFor([&] { return !finished.empty(); }));
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_TRUE(outcomes[0].stopped);
    EXPECT_EQ(outcomes[0].checked, ItemOutcome::Check::none);
    EXPECT_FALSE(fs::exists(dir.file("clip.mp4")));
    EXPECT_TRUE(temporariesIn(dir.prefix()).empty());
    for (const long pid : probes())
        EXPECT_TRUE(waitFor([&] { return !processRuns(pid); })) << "Stop ends the measuring";
}

TEST_F(DriverTest, TheDecodeCheckFailsABrokenOutputAndStopDuringItLeavesNothing)
{
    // Converting, it writes what is no MP3 and says all went well; checking is the real ffmpeg's.
    // With no ffprobe beside it, the stand-in is asked for its listing too, and tells nothing.
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
    EXPECT_EQ(outcomes[0].checked, ItemOutcome::Check::none);
    EXPECT_TRUE(temporariesIn(dir.prefix()).empty()) << "the stopped check leaves nothing";
    EXPECT_FALSE(fs::exists(dir.file("clip.mp3")));
}

} // namespace
