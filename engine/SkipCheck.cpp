#include "SkipCheck.h"

#include <QString>

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>
#include <span>

namespace {

// The options whose outputs differ from their inputs in something besides
// the codec: filters, sizes, rates, timing and the choice of streams.
constexpr std::array kChanging = {"-vf", "-af", "-filter", "-filter_complex", "-lavfi", "-filter_script",
    "-filter_complex_script", "-s", "-r", "-aspect", "-fpsmax", "-ss", "-t", "-to", "-sseof", "-itsoffset", "-itsscale",
    "-stream_loop", "-output_ts_offset", "-frames", "-vframes", "-aframes", "-fs", "-shortest", "-map", "-copyts",
    "-vsync", "-fps_mode", "-async", "-ab_filter", "-ac_filter"};

// An option's name without its stream specifier: "-c" of "-c:v".
std::string_view baseName(std::string_view option)
{
    return option.substr(0, option.find(':'));
}
std::string_view specifier(std::string_view option)
{
    const std::size_t colon = option.find(':');
    return colon == std::string_view::npos ? std::string_view() : option.substr(colon + 1);
}

// The codec an encoder makes; empty for one not known here.
std::string codecOf(const std::string& encoder)
{
    struct Named {
        const char* encoder;
        const char* codec;
    };
    static constexpr Named kNamed[] = {{"copy", "copy"}, {"libx264", "h264"}, {"libx264rgb", "h264"},
        {"libopenh264", "h264"}, {"libx265", "hevc"}, {"libvpx-vp9", "vp9"}, {"libvpx", "vp8"}, {"libaom-av1", "av1"},
        {"libsvtav1", "av1"}, {"librav1e", "av1"}, {"libxvid", "mpeg4"}, {"mpeg4", "mpeg4"},
        {"mpeg2video", "mpeg2video"}, {"aac", "aac"}, {"libfdk_aac", "aac"}, {"libopus", "opus"}, {"opus", "opus"},
        {"libvorbis", "vorbis"}, {"vorbis", "vorbis"}, {"libmp3lame", "mp3"}, {"libshine", "mp3"}, {"flac", "flac"},
        {"alac", "alac"}, {"ac3", "ac3"}, {"eac3", "eac3"}};
    for (const Named& named : kNamed) {
        if (encoder == named.encoder)
            return named.codec;
    }
    // Hardware encoders are named after their codec: h264_vaapi, hevc_nvenc, av1_qsv.
    static constexpr Named kFamilies[] = {{"h264_", "h264"}, {"hevc_", "hevc"}, {"vp9_", "vp9"}, {"vp8_", "vp8"},
        {"av1_", "av1"}, {"mpeg2_", "mpeg2video"}};
    for (const Named& family : kFamilies) {
        if (encoder.starts_with(family.encoder))
            return family.codec;
    }
    if (encoder.starts_with("pcm_"))
        return encoder;
    return {};
}

// How a codec is called in the reason.
std::string codecShown(const std::string& codec)
{
    static constexpr std::array<std::array<const char*, 2>, 13> kShown = {{{"h264", "H.264"}, {"hevc", "H.265"},
        {"vp9", "VP9"}, {"vp8", "VP8"}, {"av1", "AV1"}, {"mpeg4", "MPEG-4"}, {"mpeg2video", "MPEG-2"}, {"aac", "AAC"},
        {"opus", "Opus"}, {"vorbis", "Vorbis"}, {"mp3", "MP3"}, {"flac", "FLAC"}, {"ac3", "AC-3"}}};
    for (const auto& [name, shown] : kShown) {
        if (codec == name)
            return shown;
    }
    std::string upper = codec;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    return upper;
}

// A container as the entry makes it and as the probe tells it.
enum class Brand { any, mp4, mov, threeGp, matroska, webm };
struct Container {
    const char* shown;
    const char* demuxer; // one of the names in the probe's format_name
    Brand brand;
};

// The container of a muxer (-f) or, without one, of the output's extension.
std::optional<Container> containerOf(const std::string& muxer, const std::string& ext)
{
    struct Named {
        const char* name;
        Container container;
    };
    static const Named kMuxers[] = {{"mp4", {"MP4", "mp4", Brand::mp4}}, {"ipod", {"M4A", "mp4", Brand::mp4}},
        {"mov", {"MOV", "mov", Brand::mov}}, {"3gp", {"3GP", "3gp", Brand::threeGp}},
        {"matroska", {"MKV", "matroska", Brand::matroska}}, {"webm", {"WebM", "webm", Brand::webm}},
        {"avi", {"AVI", "avi", Brand::any}}, {"flv", {"FLV", "flv", Brand::any}},
        {"dvd", {"MPEG-PS", "mpeg", Brand::any}}, {"vob", {"MPEG-PS", "mpeg", Brand::any}},
        {"mpeg", {"MPEG-PS", "mpeg", Brand::any}}, {"mpegts", {"MPEG-TS", "mpegts", Brand::any}},
        {"mp3", {"MP3", "mp3", Brand::any}}, {"flac", {"FLAC", "flac", Brand::any}},
        {"ogg", {"Ogg", "ogg", Brand::any}}, {"opus", {"Ogg", "ogg", Brand::any}}, {"wav", {"WAV", "wav", Brand::any}}};
    static const Named kExtensions[] = {{"mp4", {"MP4", "mp4", Brand::mp4}}, {"m4v", {"MP4", "mp4", Brand::mp4}},
        {"m4a", {"M4A", "mp4", Brand::mp4}}, {"mov", {"MOV", "mov", Brand::mov}},
        {"3gp", {"3GP", "3gp", Brand::threeGp}}, {"mkv", {"MKV", "matroska", Brand::matroska}},
        {"mka", {"MKA", "matroska", Brand::matroska}}, {"webm", {"WebM", "webm", Brand::webm}},
        {"avi", {"AVI", "avi", Brand::any}}, {"flv", {"FLV", "flv", Brand::any}},
        {"mpg", {"MPEG-PS", "mpeg", Brand::any}}, {"mpeg", {"MPEG-PS", "mpeg", Brand::any}},
        {"vob", {"MPEG-PS", "mpeg", Brand::any}}, {"ts", {"MPEG-TS", "mpegts", Brand::any}},
        {"m2ts", {"MPEG-TS", "mpegts", Brand::any}}, {"mts", {"MPEG-TS", "mpegts", Brand::any}},
        {"mp3", {"MP3", "mp3", Brand::any}}, {"flac", {"FLAC", "flac", Brand::any}},
        {"ogg", {"Ogg", "ogg", Brand::any}}, {"oga", {"Ogg", "ogg", Brand::any}}, {"opus", {"Ogg", "ogg", Brand::any}},
        {"wav", {"WAV", "wav", Brand::any}}};
    const std::string& name = muxer.empty() ? ext : muxer;
    for (const Named& named : muxer.empty() ? std::span<const Named>(kExtensions) : std::span<const Named>(kMuxers)) {
        if (name == named.name)
            return named.container;
    }
    return std::nullopt;
}

bool listed(const std::string& names, std::string_view name)
{
    std::size_t from = 0;
    while (from <= names.size()) {
        const std::size_t comma = std::min(names.find(',', from), names.size());
        if (std::string_view(names).substr(from, comma - from) == name)
            return true;
        from = comma + 1;
    }
    return false;
}

// Whether the input is in the container: the MP4 family (one demuxer for
// MP4, MOV and 3GP) told apart by its major brand, Matroska and WebM by
// their DocType; a brand not told is no match.
bool inContainer(const MediaContents& input, const Container& container)
{
    switch (container.brand) {
    case Brand::any: return listed(input.format, container.demuxer);
    case Brand::mp4: {
        static constexpr std::array kBrands = {"isom", "iso2", "iso3", "iso4", "iso5", "iso6", "mp41", "mp42", "avc1",
            "M4V ", "M4A ", "M4VH", "M4VP", "dash"};
        return listed(input.format, "mp4") && std::find(kBrands.begin(), kBrands.end(), input.brand) != kBrands.end();
    }
    case Brand::mov: return listed(input.format, "mov") && input.brand == "qt  ";
    case Brand::threeGp: return listed(input.format, "3gp") && input.brand.starts_with("3g");
    case Brand::matroska: return listed(input.format, "matroska") && input.brand == "matroska";
    case Brand::webm: return listed(input.format, "webm") && input.brand == "webm";
    }
    return false;
}

// What the entry asks of one kind of stream.
struct Wanted {
    bool kept = true;
    std::string codec; // empty: left to ffmpeg's default
    std::string pixelFormat;
    std::string tag;
    int sampleRate = 0;
    int channels = 0;
};

// What the entry makes, read from its parameters; nothing when it changes
// more than the codecs.
struct Product {
    std::string muxer;
    Wanted video;
    Wanted sound;
};

int count(const std::string& text)
{
    bool ok = false;
    const int value = QString::fromStdString(text).toInt(&ok);
    return ok && value > 0 ? value : -1;
}

std::optional<Product> productOf(const std::vector<std::string>& inputParams, const std::vector<std::string>& params)
{
    for (const std::string& given : inputParams) {
        if (std::find(kChanging.begin(), kChanging.end(), baseName(given)) != kChanging.end())
            return std::nullopt;
    }
    Product product;
    for (std::size_t at = 0; at < params.size(); ++at) {
        const std::string_view option = params[at];
        const std::string_view base = baseName(option);
        const std::string_view stream = specifier(option);
        if (std::find(kChanging.begin(), kChanging.end(), base) != kChanging.end())
            return std::nullopt;
        if (option == "-vn") {
            product.video.kept = false;
            continue;
        }
        if (option == "-an") {
            product.sound.kept = false;
            continue;
        }
        if (at + 1 >= params.size())
            continue;
        const std::string& value = params[at + 1];
        // Which streams an option with a specifier is for: all, the picture, the sound, or others (none of ours).
        Wanted* only = nullptr;
        bool both = false;
        if (stream.empty())
            both = true;
        else if (stream == "v" || stream == "V")
            only = &product.video;
        else if (stream == "a")
            only = &product.sound;
        else if (stream != "s" && stream != "d" && stream != "t")
            return std::nullopt; // a stream by its number: not judged here
        if (base == "-c" || base == "-codec" || option == "-vcodec" || option == "-acodec") {
            const std::string codec = codecOf(value);
            if (codec.empty())
                return std::nullopt;
            if (option == "-vcodec")
                product.video.codec = codec;
            else if (option == "-acodec")
                product.sound.codec = codec;
            else if (both)
                product.video.codec = product.sound.codec = codec;
            else if (only)
                only->codec = codec;
            ++at;
        } else if (base == "-pix_fmt") {
            product.video.pixelFormat = value;
            ++at;
        } else if (base == "-tag" || option == "-vtag" || option == "-atag") {
            Wanted* tagged = option == "-vtag" ? &product.video : option == "-atag" ? &product.sound : only;
            if (!tagged)
                return std::nullopt;
            tagged->tag = value;
            ++at;
        } else if (base == "-ar" || base == "-ac") {
            const int number = count(value);
            if (number < 0)
                return std::nullopt;
            (base == "-ar" ? product.sound.sampleRate : product.sound.channels) = number;
            ++at;
        } else if (option == "-f") {
            product.muxer = value;
            ++at;
        }
    }
    return product;
}

// Whether a stream is what the entry makes of its kind.
bool made(const MediaStream& stream, const Wanted& wanted)
{
    if (!wanted.kept || wanted.codec.empty())
        return false;
    if (wanted.codec != "copy" && wanted.codec != stream.codec)
        return false;
    return (wanted.pixelFormat.empty() || wanted.pixelFormat == stream.pixelFormat)
        && (wanted.tag.empty() || wanted.tag == stream.codecTag)
        && (wanted.sampleRate == 0 || wanted.sampleRate == stream.sampleRate)
        && (wanted.channels == 0 || wanted.channels == stream.channels);
}

// Whether a file's first picture and sound streams have the codecs the
// entry names for them, where it names one known here (a copy or an encoder
// not known proves nothing either way).
bool codecsAgree(const MediaContents& file, const std::vector<std::string>& params)
{
    std::string video;
    std::string sound;
    for (std::size_t at = 0; at + 1 < params.size(); ++at) {
        const std::string_view option = params[at];
        const std::string_view base = baseName(option);
        const std::string_view stream = specifier(option);
        if (base != "-c" && base != "-codec" && option != "-vcodec" && option != "-acodec")
            continue;
        const std::string codec = codecOf(params[at + 1]);
        const bool plain = option != "-vcodec" && option != "-acodec";
        if (option == "-vcodec" || (plain && (stream.empty() || stream == "v" || stream == "V")))
            video = codec;
        if (option == "-acodec" || (plain && (stream.empty() || stream == "a")))
            sound = codec;
    }
    for (const auto& [kind, codec] :
        {std::pair {MediaStream::Kind::video, video}, std::pair {MediaStream::Kind::sound, sound}}) {
        const std::vector<const MediaStream*> streams = file.ofKind(kind);
        if (codec.empty() || codec == "copy" || streams.empty() || streams.front()->codec.empty())
            continue;
        if (streams.front()->codec != codec)
            return false;
    }
    return true;
}

} // namespace

Wording SkipCheck::alreadyConverted(const OutputCheck::Verdict& verdict, const Existing& existing,
    std::int64_t sizeLimit, const MediaContents& output, const std::vector<std::string>& params)
{
    if (!verdict.failure.empty() || !verdict.checked || !mayBeConverted(existing, sizeLimit)
        || !codecsAgree(output, params))
        return {};
    return reason(QT_TRANSLATE_NOOP("Reason", "already converted: %1"), existing.shownName);
}

bool SkipCheck::mayBeConverted(const Existing& existing, std::int64_t sizeLimit)
{
    return existing.newerThanInput && (sizeLimit <= 0 || existing.size <= sizeLimit);
}

Wording SkipCheck::alreadySame(const MediaContents& input, const std::vector<std::string>& inputParams,
    const std::vector<std::string>& params, const std::string& ext, std::int64_t sizeLimit)
{
    if (sizeLimit > 0 || input.answer != MediaContents::Answer::measured)
        return {};
    const std::optional<Product> product = productOf(inputParams, params);
    if (!product)
        return {};
    const std::optional<Container> container = containerOf(product->muxer, ext);
    if (!container || !inContainer(input, *container))
        return {};
    const std::vector<const MediaStream*> video = input.ofKind(MediaStream::Kind::video);
    const std::vector<const MediaStream*> sound = input.ofKind(MediaStream::Kind::sound);
    if (video.size() > 1 || sound.size() > 1 || (video.empty() && sound.empty()))
        return {};
    std::vector<std::string> codecs;
    for (const auto& [streams, wanted] : {std::pair {&video, &product->video}, std::pair {&sound, &product->sound}}) {
        if (streams->empty())
            continue;
        if (!made(*streams->front(), *wanted) || streams->front()->codec.empty())
            return {};
        codecs.push_back(codecShown(streams->front()->codec));
    }
    const Wording streams = codecs.size() == 2 ? reason(QT_TRANSLATE_NOOP("Reason", "%1 and %2"), codecs[0], codecs[1])
                                               : Wording::verbatim(codecs[0]);
    return reason(QT_TRANSLATE_NOOP("Reason", "already %1 with %2"), container->shown, streams);
}

bool SkipCheck::needsDocType(const MediaContents& input)
{
    return listed(input.format, "matroska");
}

std::string SkipCheck::matroskaDocType(std::string_view head)
{
    // An EBML element: its ID and its size as variable-length numbers, the
    // length told by the first byte's leading zeros.
    std::size_t at = 0;
    auto number = [&](bool keepMarker) -> std::optional<std::uint64_t> {
        if (at >= head.size())
            return std::nullopt;
        const auto first = static_cast<unsigned char>(head[at]);
        int length = 1;
        while (length <= 8 && !(first & (0x80 >> (length - 1))))
            ++length;
        if (length > 8 || at + length > head.size())
            return std::nullopt;
        std::uint64_t value = keepMarker ? first : first & (0xFF >> length);
        for (int i = 1; i < length; ++i)
            value = value << 8 | static_cast<unsigned char>(head[at + i]);
        at += length;
        return value;
    };
    const std::optional<std::uint64_t> header = number(true);
    const std::optional<std::uint64_t> headerSize = number(false);
    if (header != 0x1A45DFA3 || !headerSize)
        return {};
    const std::size_t end
        = std::min(head.size(), at + static_cast<std::size_t>(std::min<std::uint64_t>(*headerSize, 256)));
    while (at < end) {
        const std::optional<std::uint64_t> id = number(true);
        const std::optional<std::uint64_t> size = number(false);
        if (!id || !size || *size > end - at)
            return {};
        if (*id == 0x4282) {
            std::string type(head.substr(at, *size));
            type.erase(std::find(type.begin(), type.end(), '\0'), type.end());
            return type;
        }
        at += *size;
    }
    return {};
}
