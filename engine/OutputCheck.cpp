#include "OutputCheck.h"

#include "ProgressReader.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

// Options whose effect on the output's length cannot be told from here.
constexpr std::array kInputTimingOptions
    = {"-sseof", "-itsoffset", "-itsscale", "-stream_loop", "-r", "-framerate", "-loop"};
constexpr std::array kOutputTimingOptions
    = {"-frames", "-vframes", "-aframes", "-dframes", "-shortest", "-fs", "-itsoffset", "-itsscale", "-filter_script",
        "-filter_complex_script", "-output_ts_offset", "-copyts", "-start_at_zero", "-segment_time", "-hls_time"};
// Options that change the number of frames, not the length.
constexpr std::array kRateOptions = {"-r", "-vsync", "-fps_mode", "-fpsmax"};
constexpr std::array kFilterOptions = {"-vf", "-af", "-filter", "-filter_complex", "-lavfi"};
// Filters that change the timing.
constexpr std::array kTimingFilters
    = {"setpts", "asetpts", "atempo", "trim", "atrim", "select", "aselect", "loop", "aloop", "framestep", "rubberband",
        "apad", "tpad", "reverse", "areverse", "settb", "asettb", "asetrate", "silenceremove"};
// Filters that change the number of frames.
constexpr std::array kRateFilters = {"fps", "framerate", "minterpolate", "mpdecimate", "decimate", "yadif", "bwdif",
    "tinterlace", "interlace", "telecine", "detelecine", "pullup", "fieldmatch", "tblend", "random"};
// Containers that hold no moving picture: the common ones, and the extensions of every muxer of ffmpeg
// that takes sound and no video (ffmpeg then writes the sound alone, as with -vn).
constexpr std::array kSoundContainers = {"mp3", "wav", "flac", "m4a", "aac", "ac3", "eac3", "opus", "oga", "wma", "mka",
    "aiff", "aif", "amr", "mp2", "dts", "adts", "adx", "al", "ul", "tun", "pcm", "apm", "aptx", "aptxhd", "cvg", "ast",
    "au", "bit", "caf", "c2", "302", "dfpwm", "g722", "tco", "rco", "gsm", "lbc", "sf", "ircam", "vag", "latm", "loas",
    "mlp", "mmf", "m2a", "mpa", "oma", "rso", "sw", "sb", "sbc", "msbc", "sox", "spdif", "spx", "thd", "tta", "uw",
    "ub", "voc", "w64", "aud", "wv"};
// Containers that hold no sound: the extensions of every muxer of ffmpeg that takes video and no sound.
constexpr std::array kPictureContainers = {"a64", "apng", "avif", "avs", "avs2", "avs3", "cavs", "drc", "vc2", "dnxhd",
    "dnxhr", "flm", "gif", "h261", "h263", "h264", "264", "hevc", "h265", "265", "ivf", "m4v", "mjpg", "mjpeg", "m1v",
    "m2v", "obu", "yuv", "rgb", "vc1", "rcv", "webp", "y4m"};
constexpr std::array kLevels = {"quiet", "panic", "fatal", "error", "warning", "info", "verbose", "debug", "trace"};

bool isOption(const std::string& word, std::string_view option)
{
    // "-frames:v" is "-frames" for one stream.
    return word == option || (word.size() > option.size() && word.starts_with(option) && word[option.size()] == ':');
}

template <std::size_t N> bool isAnyOf(const std::string& word, const std::array<const char*, N>& options)
{
    return std::any_of(options.begin(), options.end(), [&](const char* option) { return isOption(word, option); });
}

template <std::size_t N> bool namesAny(const std::string& filters, const std::array<const char*, N>& names)
{
    return std::any_of(names.begin(), names.end(), [&](const char* name) {
        for (std::size_t at = filters.find(name); at != std::string::npos; at = filters.find(name, at + 1)) {
            // A whole filter name: not "asetpts" found as "setpts", nor "trimmed".
            const auto isNamePart = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
            const std::size_t end = at + std::string_view(name).size();
            if ((at == 0 || !isNamePart(filters[at - 1])) && (end >= filters.size() || !isNamePart(filters[end])))
                return true;
        }
        return false;
    });
}

std::string lowered(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return lower;
}

// Reads -ss, -t and -to from one side of -i: where it starts and how long it lasts.
void readTiming(const std::vector<std::string>& words, double& start, double& length, bool& unknown)
{
    double to = -1;
    for (std::size_t i = 0; i + 1 < words.size(); ++i) {
        const double value = OutputCheck::parseDuration(words[i + 1]);
        if (words[i] == "-ss")
            start = value >= 0 ? value : (unknown = true, 0.0);
        else if (words[i] == "-t")
            length = value >= 0 ? value : (unknown = true, -1.0);
        else if (words[i] == "-to")
            to = value >= 0 ? value : (unknown = true, -1.0);
    }
    // -t wins over -to.
    if (length < 0 && to >= 0)
        length = std::max(0.0, to - start);
}

bool isStillPicture(const MediaContents& input)
{
    // "image2", "png_pipe": one picture, or pictures with no length of their own.
    if (input.format == "image2" || input.format.ends_with("_pipe"))
        return true;
    const std::vector<const MediaStream*> video = input.ofKind(MediaStream::Kind::video);
    return input.ofKind(MediaStream::Kind::sound).empty() && video.size() == 1 && video.front()->frames == 1;
}

// The stream's own length, else the container's claim.
double lengthOf(const MediaStream& stream, const MediaContents& file)
{
    return stream.seconds >= 0 ? stream.seconds : file.seconds;
}

Wording shortfall(const OutputCheck::StreamCheck& check)
{
    const bool video = check.kind == MediaStream::Kind::video;
    const std::string written = OutputCheck::clock(check.writtenSeconds);
    const std::string expected = OutputCheck::clock(check.expectedSeconds);
    if (check.writtenSeconds <= 0 && check.writtenFrames <= 0)
        return video ? reason(QT_TRANSLATE_NOOP("Reason", "the output's video is empty (%1 expected)"), expected)
                     : reason(QT_TRANSLATE_NOOP("Reason", "the output's sound is empty (%1 expected)"), expected);
    if (video && check.expectedFrames >= 0 && check.writtenFrames >= 0)
        return reason(QT_TRANSLATE_NOOP("Reason", "the output's video holds %1 of %2 (%3 of %4 frames)"), written,
            expected, check.writtenFrames, check.expectedFrames);
    return video ? reason(QT_TRANSLATE_NOOP("Reason", "the output's video holds %1 of %2"), written, expected)
                 : reason(QT_TRANSLATE_NOOP("Reason", "the output's sound holds %1 of %2"), written, expected);
}

} // namespace

OutputCheck::OutputCheck(
    const std::vector<std::string>& inputParams, const std::vector<std::string>& params, const std::string& output)
{
    for (const std::string& word : inputParams)
        m_timingChanged = m_timingChanged || isAnyOf(word, kInputTimingOptions);
    for (std::size_t i = 0; i < params.size(); ++i) {
        const std::string& word = params[i];
        m_timingChanged = m_timingChanged || isAnyOf(word, kOutputTimingOptions);
        m_rateChanged = m_rateChanged || isAnyOf(word, kRateOptions);
        m_keepsVideo = m_keepsVideo && word != "-vn";
        m_keepsSound = m_keepsSound && word != "-an";
        m_mapped = m_mapped || word == "-map";
        if (i + 1 < params.size() && isAnyOf(word, kFilterOptions)) {
            m_timingChanged = m_timingChanged || namesAny(params[i + 1], kTimingFilters);
            m_rateChanged = m_rateChanged || namesAny(params[i + 1], kRateFilters);
        }
    }
    const std::size_t dot = output.rfind('.');
    const std::string extension = dot == std::string::npos ? std::string() : lowered(output.substr(dot + 1));
    if (std::find(kSoundContainers.begin(), kSoundContainers.end(), extension) != kSoundContainers.end())
        m_keepsVideo = false;
    if (std::find(kPictureContainers.begin(), kPictureContainers.end(), extension) != kPictureContainers.end())
        m_keepsSound = false;
    readTiming(inputParams, m_inputStart, m_inputLength, m_timingChanged);
    readTiming(params, m_outputStart, m_outputLength, m_timingChanged);
}

OutputCheck::LogLine OutputCheck::untag(std::string_view line)
{
    LogLine logged;
    const auto levelAt = [&logged](std::string_view rest) {
        // "[error] …"
        for (const char* level : kLevels) {
            const std::string tag = std::string("[") + level + "] ";
            if (rest.starts_with(tag)) {
                logged.level = level;
                return tag.size();
            }
        }
        return std::size_t {0};
    };
    if (const std::size_t tag = levelAt(line); tag > 0) {
        logged.text = line.substr(tag);
        return logged;
    }
    // "[h264 @ 0x5d…] [error] …"
    const std::size_t close = line.starts_with('[') ? line.find("] ") : std::string_view::npos;
    if (close != std::string_view::npos) {
        if (const std::size_t tag = levelAt(line.substr(close + 2)); tag > 0) {
            const std::string_view context = line.substr(1, close - 1);
            logged.context = context.substr(0, context.find(" @ "));
            logged.text = std::string(line.substr(0, close + 2)) + std::string(line.substr(close + 2 + tag));
            return logged;
        }
    }
    logged.text = line;
    return logged;
}

void OutputCheck::read(const LogLine& line)
{
    const std::string_view text = line.text;
    if (text.starts_with("Output #")) {
        m_outputsBegun = true;
    } else if (text.starts_with("Input #0, ")) {
        // "Input #0, matroska,webm, from 'file:…'": its log lines come as "[matroska,webm @ 0x…]".
        const std::string_view rest = text.substr(10);
        const std::size_t from = rest.find(", from '");
        m_demuxer = rest.substr(0, from);
        if (from != std::string_view::npos && rest.ends_with("':"))
            m_inputName = rest.substr(from + 8, rest.size() - from - 10);
    } else if (text.starts_with("  Stream #") && text.find(" -> ") != std::string_view::npos) {
        // "  Stream #0:1 -> #0:1 (mp3 (mp3float) -> aac (native))": the decoder is mp3float.
        const std::size_t open = text.find('(');
        const std::size_t arrow = text.find(" -> ", open);
        if (open != std::string_view::npos && arrow != std::string_view::npos) {
            const std::string_view decoding = text.substr(open + 1, arrow - open - 1);
            const std::size_t inner = decoding.find(" (");
            const std::string_view codec = decoding.substr(0, inner);
            const std::string_view decoder = inner == std::string_view::npos
                ? codec
                : decoding.substr(inner + 2, decoding.find(')', inner) - inner - 2);
            m_decoders.insert(std::string(decoder == "native" ? codec : decoder));
        }
    } else if (!m_outputsBegun && text.find("Estimating duration from bitrate") != std::string_view::npos) {
        m_estimated = true;
    }
    // Damage: what the input's demuxer and decoders, or ffmpeg itself, log as errors, and what ffmpeg
    // warns of the input by its name ("…: corrupt input packet in stream 0").
    const bool error = line.level == "error" || line.level == "fatal" || line.level == "panic";
    if (error && (line.context.empty() || line.context == m_demuxer || m_decoders.contains(line.context)))
        ++m_decodeErrors;
    else if (line.level == "warning" && line.context.empty() && !m_inputName.empty()
        && text.starts_with(m_inputName + ": "))
        ++m_decodeErrors;
}

double OutputCheck::tolerance(double seconds)
{
    return std::max(0.5, 0.01 * seconds);
}

double OutputCheck::narrowed(double length) const
{
    double expected = length - m_inputStart;
    if (m_inputLength >= 0)
        expected = std::min(expected, m_inputLength);
    expected -= m_outputStart;
    if (m_outputLength >= 0)
        expected = std::min(expected, m_outputLength);
    return expected;
}

OutputCheck::Verdict OutputCheck::verdict(const MediaContents& input, const MediaContents& output) const
{
    Verdict verdict;
    verdict.decodeErrors = m_decodeErrors;
    const auto unchecked = [&verdict](const Wording& why) {
        verdict.uncheckedWhy = why.english;
        verdict.uncheckedWhyShown = why.shown;
        verdict.checked = false;
        return verdict;
    };
    const auto failed = [&verdict](const Wording& why) {
        verdict.failure = why.english;
        verdict.failureShown = why.shown;
        verdict.checked = true;
        return verdict;
    };
    const bool playable = std::any_of(output.streams.begin(), output.streams.end(),
        [](const MediaStream& stream) { return stream.kind != MediaStream::Kind::other; });
    if (output.answer == MediaContents::Answer::unreadable
        || (output.answer == MediaContents::Answer::measured && !playable))
        return failed(reason(QT_TRANSLATE_NOOP("Reason", "ffmpeg wrote no playable stream")));
    if (m_timingChanged)
        return unchecked(reason(QT_TRANSLATE_NOOP("Reason", "the format's options change the output's length")));
    if (input.answer != MediaContents::Answer::measured)
        return unchecked(reason(QT_TRANSLATE_NOOP("Reason", "the input could not be measured")));
    if (output.answer != MediaContents::Answer::measured)
        return unchecked(reason(QT_TRANSLATE_NOOP("Reason", "the output could not be measured")));
    if (isStillPicture(input))
        return unchecked(reason(QT_TRANSLATE_NOOP("Reason", "the input is a still picture")));
    if (m_estimated)
        return unchecked(reason(QT_TRANSLATE_NOOP("Reason", "the input's length is only estimated from its bit rate")));

    // Damage reported, or an input whose picture holds far fewer frames than its length claims: cut or damaged.
    const std::vector<const MediaStream*> inputVideo = input.ofKind(MediaStream::Kind::video);
    const bool cut = std::any_of(inputVideo.begin(), inputVideo.end(), [&input](const MediaStream* stream) {
        const double length = lengthOf(*stream, input);
        return stream->constantRate && stream->frames >= 0 && length > 0
            && static_cast<double>(stream->frames) < (length - tolerance(length)) * stream->frameRate;
    });
    const bool damaged = m_decodeErrors > 0 || cut;
    const bool inputHasPicture = !inputVideo.empty();
    Wording shortOwn; // a short sound whose input told no length of its own
    for (const MediaStream::Kind kind : {MediaStream::Kind::video, MediaStream::Kind::sound}) {
        const std::vector<const MediaStream*> inputs = input.ofKind(kind);
        const std::vector<const MediaStream*> outputs = output.ofKind(kind);
        const bool video = kind == MediaStream::Kind::video;
        if (inputs.empty() || !(video ? m_keepsVideo : m_keepsSound) || (m_mapped && outputs.empty()))
            continue;
        if (outputs.empty())
            return failed(video ? reason(QT_TRANSLATE_NOOP("Reason", "the output holds no video"))
                                : reason(QT_TRANSLATE_NOOP("Reason", "the output holds no sound")));
        // Stream by stream where the output kept them all; else its longest against the input's shortest,
        // since ffmpeg chose one of them.
        const bool pairwise = inputs.size() == outputs.size();
        const std::size_t compared = pairwise ? inputs.size() : 1;
        for (std::size_t i = 0; i < compared; ++i) {
            const MediaStream* in
                = pairwise ? inputs[i] : *std::min_element(inputs.begin(), inputs.end(), [&](auto a, auto b) {
                      return lengthOf(*a, input) < lengthOf(*b, input);
                  });
            const MediaStream* out
                = pairwise ? outputs[i] : *std::max_element(outputs.begin(), outputs.end(), [&](auto a, auto b) {
                      return lengthOf(*a, output) < lengthOf(*b, output);
                  });
            const double length = lengthOf(*in, input);
            if (length <= 0)
                return unchecked(reason(QT_TRANSLATE_NOOP("Reason", "the input does not tell its length")));
            StreamCheck check;
            check.kind = kind;
            check.expectedSeconds = narrowed(length);
            if (check.expectedSeconds <= 0)
                return failed(
                    reason(QT_TRANSLATE_NOOP("Reason", "the entry starts past the input's end (%1)"), clock(length)));
            check.writtenFrames = out->frames;
            // A raw stream (.h264, .y4m) may tell no length at all: then its frames tell it, where they can.
            const double writtenLength = lengthOf(*out, output);
            const bool framesCompared = video && in->constantRate && !m_rateChanged && check.writtenFrames >= 0;
            if (writtenLength < 0 && !framesCompared)
                return unchecked(reason(QT_TRANSLATE_NOOP("Reason", "the output could not be measured")));
            check.writtenSeconds
                = writtenLength >= 0 ? writtenLength : static_cast<double>(check.writtenFrames) / in->frameRate;
            const double tolerated = tolerance(check.expectedSeconds);
            bool isShort = check.writtenSeconds < check.expectedSeconds - tolerated || check.writtenFrames == 0;
            if (framesCompared) {
                check.expectedFrames = std::llround(check.expectedSeconds * in->frameRate);
                if (check.writtenFrames < check.expectedFrames - tolerated * in->frameRate) {
                    isShort = true;
                    // The frames tell how much of the picture is there, whatever its timestamps say.
                    check.writtenSeconds = std::min(check.writtenSeconds,
                        check.expectedSeconds * static_cast<double>(check.writtenFrames)
                            / static_cast<double>(std::max(1LL, check.expectedFrames)));
                }
            }
            verdict.streams.push_back(check);
            verdict.inputSeconds = std::max(verdict.inputSeconds, check.expectedSeconds);
            verdict.outputSeconds = std::max(verdict.outputSeconds, check.writtenSeconds);
            if (!isShort)
                continue;
            // Sound may be shorter than picture: where the input told no length of the sound's own,
            // a short one is no failure unless damage was reported.
            if (!video && in->seconds < 0 && inputHasPicture && !damaged) {
                shortOwn = reason(QT_TRANSLATE_NOOP("Reason", "its sound is shorter than the input, which may be so"));
                continue;
            }
            const Wording why = shortfall(check);
            return failed(damaged ? reason(QT_TRANSLATE_NOOP("Reason", "%1: the input is damaged or cut"), why) : why);
        }
    }
    if (!shortOwn.empty())
        return unchecked(shortOwn);
    if (verdict.streams.empty())
        return unchecked(reason(QT_TRANSLATE_NOOP("Reason", "the output keeps no video or sound of the input")));
    verdict.checked = true;
    return verdict;
}

Wording OutputCheck::decodedShortfall(const Verdict& verdict, double decodedSeconds, long long decodedFrames)
{
    if (!verdict.checked || verdict.inputSeconds <= 0)
        return {};
    const double expected = verdict.inputSeconds;
    for (const StreamCheck& stream : verdict.streams) {
        if (stream.kind != MediaStream::Kind::video || stream.expectedFrames <= 0 || decodedFrames < 0)
            continue;
        const double rate = static_cast<double>(stream.expectedFrames) / stream.expectedSeconds;
        if (decodedFrames < stream.expectedFrames - tolerance(stream.expectedSeconds) * rate)
            return reason(QT_TRANSLATE_NOOP("Reason", "decoding the output gives %1 of %2 video frames"), decodedFrames,
                stream.expectedFrames);
    }
    if (decodedSeconds < expected - tolerance(expected))
        return reason(QT_TRANSLATE_NOOP("Reason", "decoding the output gives %1 of %2"),
            clock(std::max(0.0, decodedSeconds)), clock(expected));
    return {};
}

double OutputCheck::parseDuration(std::string_view text)
{
    if (text.empty() || text.front() == '-')
        return -1;
    if (text.find(':') != std::string_view::npos) {
        // [HH:]MM:SS[.m]
        const std::size_t colons = static_cast<std::size_t>(std::count(text.begin(), text.end(), ':'));
        return ProgressReader::parseClock(colons == 1 ? "0:" + std::string(text) : std::string(text));
    }
    double scale = 1;
    if (text.ends_with("ms")) {
        scale = 1e-3;
        text.remove_suffix(2);
    } else if (text.ends_with("us")) {
        scale = 1e-6;
        text.remove_suffix(2);
    } else if (text.ends_with('s')) {
        text.remove_suffix(1);
    }
    double value = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value >= 0 ? value * scale : -1;
}

std::string OutputCheck::clock(double seconds)
{
    const long long tenths = std::llround(std::max(0.0, seconds) * 10);
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%lld", tenths / 36000, tenths / 600 % 60, tenths / 10 % 60,
        tenths % 10);
    return text;
}
