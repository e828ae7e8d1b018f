#include "SizeFit.h"

#include "ClockText.h"
#include "OutputCheck.h"
#include "SizeText.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace {

// Encoders whose second pass reads the first's log (-pass, -passlogfile).
constexpr std::array kTwoPassEncoders = {"libx264", "libx264rgb", "libvpx", "libvpx-vp9", "libaom-av1", "mpeg4",
    "libxvid", "mpeg1video", "mpeg2video", "msmpeg4", "msmpeg4v2", "h263", "h263p", "flv", "wmv1", "wmv2", "libtheora"};
// Whether an encoder's own settings ("key=value:key=value", as -x264-params
// takes them) set key to value.
bool hasSetting(const std::string& settings, const std::string& key, const std::string& value)
{
    std::size_t from = 0;
    while (from <= settings.size()) {
        const std::size_t end = std::min(settings.find(':', from), settings.size());
        if (settings.compare(from, end - from, key + "=" + value) == 0)
            return true;
        from = end + 1;
    }
    return false;
}

// Encoders with no bitrate to aim at: lossless ones, and those whose size a profile fixes.
constexpr std::array kRateless = {"gif", "apng", "png", "ffv1", "huffyuv", "ffvhuff", "utvideo", "magicyuv", "rawvideo",
    "v210", "v308", "v408", "v410", "r210", "r10k", "ayuv", "yuv4", "qtrle", "bmp", "tiff", "targa", "ppm", "pgm",
    "pgmyuv", "pbm", "pam", "sgi", "xbm", "xwd", "pcx", "sunrast", "libwebp", "libwebp_anim", "prores", "prores_ks",
    "prores_aw", "dnxhd", "jpeg2000", "libopenjpeg", "jpegls", "ljpeg", "zmbv", "qoi", "libjxl", "hap", "vc2", "flac",
    "alac", "wavpack", "tta", "truehd", "mlp", "s302m"};
// The video encoder ffmpeg takes for a container when the entry names none.
constexpr std::array<std::pair<const char*, const char*>, 21> kDefaultVideo = {{{"mp4", "libx264"}, {"mov", "libx264"},
    {"m4v", "libx264"}, {"3gp", "libx264"}, {"mkv", "libx264"}, {"matroska", "libx264"}, {"webm", "libvpx-vp9"},
    {"avi", "mpeg4"}, {"nut", "mpeg4"}, {"flv", "flv"}, {"mpg", "mpeg1video"}, {"mpeg", "mpeg1video"},
    {"vob", "mpeg2video"}, {"dvd", "mpeg2video"}, {"ts", "mpeg2video"}, {"mpegts", "mpeg2video"},
    {"m2ts", "mpeg2video"}, {"ogv", "libtheora"}, {"gif", "gif"}, {"apng", "apng"}, {"y4m", "rawvideo"}}};
// Containers whose sound is lossless PCM unless the entry names an encoder.
constexpr std::array kLosslessSoundContainers = {"wav", "flac", "aiff", "aif", "w64", "caf", "au"};

// What a container adds to the streams: a share of them, bytes for each
// packet (headers, index entries) and its head and tail.
struct ContainerCost {
    double share = 0;
    double perPacket = 16;
    double fixed = 4096;
};
ContainerCost costOf(const std::string& container)
{
    if (container == "mp4" || container == "mov" || container == "m4v" || container == "m4a" || container == "3gp"
        || container == "ipod")
        return {0, 12, 4096};
    if (container == "mkv" || container == "mka" || container == "webm" || container == "matroska")
        return {0, 14, 4096};
    if (container == "avi")
        return {0, 26, 8192};
    if (container == "flv")
        return {0, 16, 1024};
    if (container == "ts" || container == "m2ts" || container == "mts" || container == "mpegts")
        return {0.025, 22, 4096};
    if (container == "mpg" || container == "mpeg" || container == "vob" || container == "dvd" || container == "vcd")
        return {0.015, 22, 4096};
    if (container == "ogg" || container == "oga" || container == "ogv" || container == "opus")
        return {0.008, 2, 4096};
    if (container == "mp3")
        return {0, 0, 4096};
    return {0.01, 16, 4096};
}

template <std::size_t N> bool isAnyOf(const std::string& word, const std::array<const char*, N>& names)
{
    return std::any_of(names.begin(), names.end(), [&](const char* name) { return word == name; });
}

// "-b:v:0" is "-b:v" for one stream; "-b" is itself.
bool isOption(const std::string& word, std::string_view option)
{
    return word == option || (word.size() > option.size() && word.starts_with(option) && word[option.size()] == ':');
}

bool isVideoCodecOption(const std::string& word)
{
    return word == "-vcodec" || isOption(word, "-c:v") || isOption(word, "-codec:v");
}
bool isSoundCodecOption(const std::string& word)
{
    return word == "-acodec" || isOption(word, "-c:a") || isOption(word, "-codec:a");
}

// The options a fit sets itself: the quality and bitrate of the picture and the sound, and the passes.
bool isReplaced(const std::string& word)
{
    for (const char* option : {"-crf", "-qp", "-cq", "-global_quality", "-b:v", "-b:a", "-maxrate", "-minrate",
             "-bufsize", "-q:v", "-qscale:v", "-q:a", "-qscale:a", "-pass", "-passlogfile", "-x265-params"})
        if (isOption(word, option))
            return true;
    return word == "-q" || word == "-qscale" || word == "-b" || word == "-vb" || word == "-ab" || word == "-aq";
}

// "160k", "1.5M", "128000" as bits a second; 0 when it is none.
std::int64_t parseBitrate(const std::string& text)
{
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || value <= 0)
        return 0;
    const std::string_view unit(end, text.data() + text.size() - end);
    const double factor = unit.empty() ? 1 : unit == "k" || unit == "K" ? 1e3 : unit == "M" ? 1e6 : 0;
    return static_cast<std::int64_t>(value * factor);
}

// "30", "29.97" or "30000/1001" frames a second; 0 when it is none of these.
double parseRate(const std::string& text)
{
    double numerator = 0;
    double denominator = 1;
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(text.data(), last, numerator);
    if (error != std::errc())
        return 0;
    if (end != last && (*end != '/' || std::from_chars(end + 1, last, denominator).ec != std::errc()))
        return 0;
    return denominator > 0 && numerator > 0 ? numerator / denominator : 0;
}

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// A value for -x265-params, whose ':', '=' and '\' a backslash keeps as they are.
std::string x265Escaped(const std::string& text)
{
    std::string escaped;
    for (const char c : text) {
        if (c == ':' || c == '=' || c == '\\' || c == '\'')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

// A size rounded up to what sizeText shows, so that "needs at least" is never too little.
std::string sizeAtLeast(double bytes)
{
    auto whole = static_cast<std::int64_t>(std::ceil(bytes));
    if (whole < 1000)
        return sizeText(whole);
    std::int64_t unit = 1000;
    while (whole / unit >= 1000 && unit < 1000000000000000000)
        unit *= 1000;
    const std::int64_t tenth = unit / 10;
    return sizeText((whole + tenth - 1) / tenth * tenth);
}

std::string kbits(std::int64_t bitrate)
{
    return std::to_string(bitrate / 1000) + " kbit/s";
}

} // namespace

SizeFit::SizeFit(
    const std::vector<std::string>& inputParams, const std::vector<std::string>& params, const std::string& output)
    : m_inputParams(inputParams)
    , m_entryParams(params)
    , m_output(output)
{
    const OutputCheck kinds(inputParams, params, output);
    m_keepsVideo = kinds.keepsVideo();
    m_keepsSound = kinds.keepsSound();
    const std::size_t dot = output.rfind('.');
    m_container = dot == std::string::npos ? std::string() : lowered(output.substr(dot + 1));
    std::string anyCodec;
    bool soundQuality = false;
    bool lossless = false;
    std::string qp;
    std::string crf;
    std::string x264Params;
    for (std::size_t i = 0; i < params.size(); ++i) {
        const std::string& word = params[i];
        const std::string value = i + 1 < params.size() ? params[i + 1] : std::string();
        if (word == "-c" || word == "-codec")
            anyCodec = value;
        else if (isVideoCodecOption(word))
            m_videoEncoder = value;
        else if (isSoundCodecOption(word))
            m_soundEncoder = value;
        else if (word == "-f")
            m_container = value;
        else if (isOption(word, "-b:a") || word == "-ab")
            m_entrySoundBitrate = parseBitrate(value);
        else if (isOption(word, "-q:a") || isOption(word, "-qscale:a") || word == "-aq")
            soundQuality = true;
        else if (word == "-r" || isOption(word, "-r:v"))
            m_frameRate = parseRate(value);
        else if (isOption(word, "-x265-params"))
            m_x265Params = value;
        else if (isOption(word, "-x264-params") || isOption(word, "-x264opts"))
            x264Params = value;
        else if (isOption(word, "-lossless") && value == "1")
            lossless = true;
        else if (isOption(word, "-qp"))
            qp = value;
        else if (isOption(word, "-crf"))
            crf = value;
        m_mapped = m_mapped || word == "-map";
        if (!isReplaced(word)) {
            m_params.push_back(word);
            continue;
        }
        ++i; // its value goes with it
    }
    if (soundQuality)
        m_entrySoundBitrate = 0;
    if (m_videoEncoder.empty())
        m_videoEncoder = anyCodec;
    if (m_soundEncoder.empty())
        m_soundEncoder = anyCodec;
    if (m_videoEncoder.empty()) {
        for (const auto& [container, encoder] : kDefaultVideo)
            if (m_container == container)
                m_videoEncoder = encoder;
    }
    m_copiesSound = m_soundEncoder == "copy";
    m_soundLossless = isAnyOf(m_soundEncoder, kRateless) || m_soundEncoder.starts_with("pcm_")
        || (m_soundEncoder.empty() && isAnyOf(m_container, kLosslessSoundContainers));
    if (m_videoEncoder.starts_with("libx264"))
        lossless = lossless || qp == "0" || crf == "0" || hasSetting(x264Params, "qp", "0")
            || hasSetting(x264Params, "crf", "0");
    if (m_videoEncoder == "libx265")
        lossless = lossless || m_x265Params.find("lossless=1") != std::string::npos
            || m_x265Params.find("lossless:") != std::string::npos || m_x265Params.ends_with("lossless");

    m_refusal = [&]() -> Wording {
        if (m_keepsSound && m_soundLossless)
            return reason(
                QT_TRANSLATE_NOOP("Reason", "a size limit needs an encoder that aims at a bitrate; %1 does not"),
                m_soundEncoder.empty() ? m_container : m_soundEncoder);
        if (!m_keepsVideo && !m_keepsSound)
            return reason(
                QT_TRANSLATE_NOOP("Reason", "a size limit cannot be met by an output with neither picture nor sound"));
        if (!m_keepsVideo && m_copiesSound)
            return reason(QT_TRANSLATE_NOOP("Reason", "a size limit cannot be met while the sound is copied as it is"));
        if (!m_keepsVideo)
            return {};
        if (m_videoEncoder == "copy")
            return reason(QT_TRANSLATE_NOOP("Reason", "a size limit cannot be met while the video is copied as it is"));
        if (isAnyOf(m_videoEncoder, kRateless))
            return reason(
                QT_TRANSLATE_NOOP("Reason", "a size limit needs an encoder that aims at a bitrate; %1 does not"),
                m_videoEncoder);
        if (lossless)
            return reason(QT_TRANSLATE_NOOP("Reason", "a size limit cannot be met by a lossless encode"));
        return {};
    }();
    if (!m_refusal.empty())
        return;
    if (!m_keepsVideo) {
        m_way = Way::sound;
        return;
    }
    m_way = isAnyOf(m_videoEncoder, kTwoPassEncoders) ? Way::twoPasses
        : m_videoEncoder == "libx265"                 ? Way::x265Passes
                                                      : Way::onePass;
}

SizeFit::Budget SizeFit::budget(const MediaContents& input, std::int64_t limit) const
{
    Budget budget;
    budget.limit = limit;
    if (m_way == Way::refused) {
        budget.failure = m_refusal;
        return budget;
    }
    const std::vector<const MediaStream*> videos = input.ofKind(MediaStream::Kind::video);
    const std::vector<const MediaStream*> sounds = input.ofKind(MediaStream::Kind::sound);
    // The longest kept stream from its start, else the container's claim.
    double length = -1;
    for (const MediaStream* stream : videos)
        length = m_keepsVideo ? std::max(length, stream->seconds) : length;
    for (const MediaStream* stream : sounds)
        length = m_keepsSound ? std::max(length, stream->seconds) : length;
    if (length <= 0)
        length = input.seconds;
    const double seconds = length > 0 ? OutputCheck(m_inputParams, m_entryParams, m_output).narrowed(length) : -1;
    if (input.answer != MediaContents::Answer::measured || seconds <= 0) {
        budget.failure = reason(
            QT_TRANSLATE_NOOP("Reason", "the input's length could not be measured, so no bitrate can be aimed at"));
        return budget;
    }
    budget.seconds = seconds;
    budget.soundOnly = m_way == Way::sound || videos.empty();
    budget.soundStreams = m_keepsSound && !sounds.empty() ? (m_mapped ? static_cast<int>(sounds.size()) : 1) : 0;
    if (budget.soundOnly && budget.soundStreams == 0) {
        budget.failure = reason(
            QT_TRANSLATE_NOOP("Reason", "a size limit cannot be met by an output with neither picture nor sound"));
        return budget;
    }
    if (budget.soundOnly && m_copiesSound) {
        budget.failure
            = reason(QT_TRANSLATE_NOOP("Reason", "a size limit cannot be met while the sound is copied as it is"));
        return budget;
    }
    const ContainerCost cost = costOf(m_container);
    const double frameRate = m_frameRate > 0               ? m_frameRate
        : !videos.empty() && videos.front()->frameRate > 0 ? videos.front()->frameRate
                                                           : 30;
    const double soundPackets = 50.0 * budget.soundStreams;
    const double videoPackets = budget.soundOnly ? 0 : frameRate;
    const double target = static_cast<double>(limit) * (1 - kMargin);
    const double packets = cost.fixed + (videoPackets + soundPackets) * cost.perPacket * seconds;
    const auto tooSmall = [&](double leastBits) {
        const double needed
            = (leastBits / 8 * (1 + cost.share) + cost.fixed + (videoPackets + soundPackets) * cost.perPacket * seconds)
            / (1 - kMargin);
        return reason(QT_TRANSLATE_NOOP("Reason", "%1 is too small for %2 (needs at least %3)"), sizeText(limit),
            clockText(std::llround(seconds)), sizeAtLeast(needed));
    };
    if (budget.soundOnly) {
        const double cap = m_entrySoundBitrate > 0                   ? m_entrySoundBitrate
            : m_soundEncoder == "libmp3lame" || m_container == "mp3" ? 320000
                                                                     : 512000;
        const double bitrate = (target - packets) / (1 + cost.share) * 8 / seconds / budget.soundStreams;
        if (bitrate < kLeastSoundBitrate) {
            budget.failure = tooSmall(kLeastSoundBitrate * seconds * budget.soundStreams);
            return budget;
        }
        budget.soundBitrate = static_cast<std::int64_t>(std::min(bitrate, cap));
        budget.overhead = packets + cost.share * budget.soundBitrate * budget.soundStreams * seconds / 8;
        budget.soundOverhead = budget.overhead;
        return budget;
    }
    // Copied sound takes what the input's takes; encoded, what the entry asks.
    std::int64_t sound = m_entrySoundBitrate > 0 ? m_entrySoundBitrate : kSoundBitrate;
    if (m_copiesSound)
        sound = !sounds.empty() && sounds.front()->bitRate > 0 ? sounds.front()->bitRate : 320000;
    budget.soundBitrate = budget.soundStreams > 0 ? sound : 0;
    const double soundBytes = static_cast<double>(budget.soundBitrate) * budget.soundStreams * seconds / 8;
    budget.soundOverhead = cost.share * soundBytes + soundPackets * cost.perPacket * seconds;
    const double video = (target - packets) / (1 + cost.share) - soundBytes;
    const double bitrate = video * 8 / seconds;
    if (bitrate < kLeastVideoBitrate) {
        budget.failure = tooSmall(kLeastVideoBitrate * seconds + soundBytes * 8);
        return budget;
    }
    budget.videoBitrate = static_cast<std::int64_t>(std::min(bitrate, 1e10));
    budget.overhead = packets + cost.share * (video + soundBytes);
    budget.encodes = m_way == Way::twoPasses || m_way == Way::x265Passes ? 2 : 1;
    return budget;
}

double SizeFit::soundBytes(const Budget& budget)
{
    return budget.soundBytes >= 0 ? budget.soundBytes
                                  : static_cast<double>(budget.soundBitrate) * budget.soundStreams * budget.seconds / 8;
}

double SizeFit::videoBytes(const Budget& budget)
{
    const double target = static_cast<double>(budget.limit) * (1 - kMargin);
    return target - budget.overhead - soundBytes(budget);
}

SizeFit::Budget SizeFit::learned(const Budget& budget, double overheadBytes, double soundBytes) const
{
    if (budget.soundOnly || overheadBytes < 0 || overheadBytes > 0.5 * static_cast<double>(budget.limit))
        return budget;
    Budget next = budget;
    // The first pass's files hold the picture and, when it was encoded with them, the sound: their
    // muxers' bytes are the overhead, and the sound's own the table's guess where it was not.
    const bool soundMeasured = soundBytes >= 0 && budget.soundStreams > 0;
    next.soundBytes = soundMeasured ? soundBytes : -1;
    next.overhead = overheadBytes + (soundMeasured ? 0 : budget.soundOverhead);
    const double bitrate = videoBytes(next) * 8 / budget.seconds;
    next.videoBitrate = static_cast<std::int64_t>(std::clamp(bitrate, double(kLeastVideoBitrate), 1e10));
    return next;
}

std::optional<SizeFit::Budget> SizeFit::retried(const Budget& budget, std::int64_t written, int retry) const
{
    Budget next = budget;
    const double target = static_cast<double>(budget.limit) * (1 - kMargin);
    // Each retry aims a little lower again, and always lower than the last.
    const double lower = 1 - 0.02 * retry;
    if (budget.soundOnly) {
        const double factor = std::min(
            0.97, (target - budget.overhead) / std::max(1.0, static_cast<double>(written) - budget.overhead) * lower);
        next.soundBitrate = static_cast<std::int64_t>(static_cast<double>(budget.soundBitrate) * factor);
        if (next.soundBitrate < kLeastSoundBitrate)
            return std::nullopt;
        return next;
    }
    const double sound = soundBytes(budget);
    const double wanted = target - budget.overhead - sound;
    const double wrote = static_cast<double>(written) - budget.overhead - sound;
    const double factor = wrote > 0 && wanted > 0 ? std::min(0.97, wanted / wrote * lower) : 0.9 * lower;
    next.videoBitrate = static_cast<std::int64_t>(static_cast<double>(budget.videoBitrate) * factor);
    if (next.videoBitrate < kLeastVideoBitrate)
        return std::nullopt;
    return next;
}

std::vector<std::string> SizeFit::commonParams(const Budget& budget, bool withSound) const
{
    std::vector<std::string> params = m_params;
    if (withSound && budget.soundStreams > 0 && !m_copiesSound) {
        params.insert(params.end(), {"-b:a", std::to_string(budget.soundBitrate)});
    }
    if (budget.soundOnly)
        return params;
    const std::string bitrate = std::to_string(budget.videoBitrate);
    params.insert(params.end(), {"-b:v", bitrate});
    // One pass holds its average only with a buffer that bounds it; SVT-AV1
    // refuses a cap that is not above its target, and holds its average without one.
    if (budget.encodes == 1 && m_videoEncoder != "libsvtav1")
        params.insert(params.end(), {"-maxrate", bitrate, "-bufsize", std::to_string(2 * budget.videoBitrate)});
    return params;
}

std::vector<std::string> SizeFit::firstPassParams(const Budget& budget, const std::string& passLog,
    const std::string& pictureOutput, const std::string& soundOutput) const
{
    std::vector<std::string> params = commonParams(budget, false);
    params.push_back("-an");
    if (m_way == Way::x265Passes)
        params.insert(params.end(),
            {"-x265-params",
                (m_x265Params.empty() ? "" : m_x265Params + ":") + "pass=1:stats=" + x265Escaped(passLog)});
    else
        params.insert(params.end(), {"-pass", "1", "-passlogfile", passLog});
    params.push_back(pictureOutput);
    if (budget.soundStreams > 0) {
        // The sound as the second pass will encode it, to a file of its own: its bytes are then known.
        Budget sound = budget;
        sound.soundOnly = true;
        const std::vector<std::string> soundParams = commonParams(sound, true);
        params.insert(params.end(), soundParams.begin(), soundParams.end());
        params.push_back("-vn");
        params.push_back(soundOutput);
    }
    return params;
}

std::vector<std::string> SizeFit::outputParams(const Budget& budget, const std::string& passLog) const
{
    std::vector<std::string> params = commonParams(budget, true);
    if (budget.encodes < 2) {
        if (!m_x265Params.empty())
            params.insert(params.end(), {"-x265-params", m_x265Params});
        return params;
    }
    if (m_way == Way::x265Passes) {
        params.insert(params.end(),
            {"-x265-params",
                (m_x265Params.empty() ? "" : m_x265Params + ":") + "pass=2:stats=" + x265Escaped(passLog)});
        return params;
    }
    params.insert(params.end(), {"-pass", "2", "-passlogfile", passLog});
    return params;
}

std::optional<SizeFit::Streams> SizeFit::streamsReported(std::string_view line)
{
    // "video:551kB audio:347kB subtitle:0kB …", in units of 1024 bytes.
    if (!line.starts_with("video:") || line.find(" muxing overhead: ") == std::string_view::npos)
        return std::nullopt;
    const auto kilobytes = [line](std::string_view marker) -> std::optional<double> {
        const std::size_t at = line.find(marker);
        if (at == std::string_view::npos)
            return std::nullopt;
        const std::string_view rest = line.substr(at + marker.size());
        double value = 0;
        const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
        if (error != std::errc() || end == rest.data()
            || !std::string_view(end, static_cast<std::size_t>(rest.data() + rest.size() - end)).starts_with("kB"))
            return std::nullopt;
        return value * 1024;
    };
    const std::optional<double> video = kilobytes("video:");
    const std::optional<double> sound = kilobytes(" audio:");
    if (!video || !sound)
        return std::nullopt;
    return Streams {*video, *sound};
}

ItemProgress SizeFit::acrossEncodes(ItemProgress current, int encode, int encodes, bool analysed)
{
    const auto weight = [analysed](int which) { return analysed && which == 1 ? kFirstPassShare : 1.0; };
    double total = 0;
    double before = 0;
    for (int which = 1; which <= encodes; ++which) {
        total += weight(which);
        before += which < encode ? weight(which) : 0;
    }
    const double own = weight(encode);
    ItemProgress progress = current;
    progress.pass = encodes > 1 ? encode : 0;
    progress.passes = encodes > 1 ? encodes : 0;
    if (current.fraction >= 0)
        progress.fraction = std::clamp((before + own * current.fraction) / total, 0.0, 1.0);
    if (current.secondsLeft >= 0 && current.duration > 0 && current.speed > 0)
        progress.secondsLeft = current.secondsLeft + (total - before - own) * current.duration / current.speed / own;
    return progress;
}

Wording SizeFit::couldNotFit(std::int64_t limit, std::int64_t written)
{
    return reason(QT_TRANSLATE_NOOP("Reason", "could not fit into %1: %2 at the lowest bitrate tried"), sizeText(limit),
        sizeText(written));
}

std::string SizeFit::ratesText(const Budget& budget)
{
    std::string text = budget.soundOnly ? std::string() : "video " + kbits(budget.videoBitrate);
    if (budget.soundStreams > 0)
        text += (text.empty() ? "sound " : ", sound ") + kbits(budget.soundBitrate);
    return text;
}

std::string SizeFit::retryNote(std::int64_t limit, std::int64_t written, const Budget& next, int retry)
{
    return sizeText(written) + " is over " + sizeText(limit) + ": encoding again at " + ratesText(next) + " (retry "
        + std::to_string(retry) + " of " + std::to_string(kMostRetries) + ")";
}
