#include "OutputCheck.h"

#include "ProgressReader.h"
#include "Wording.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

// Options whose effect on the output's length cannot be told from here.
constexpr std::array kInputTimingOptions = {"-sseof", "-itsoffset", "-stream_loop", "-r", "-framerate"};
constexpr std::array kOutputTimingOptions = {"-frames", "-vframes", "-aframes", "-dframes", "-shortest", "-fs",
    "-itsoffset", "-filter_script", "-filter_complex_script"};
constexpr std::array kFilterOptions = {"-vf", "-af", "-filter", "-filter_complex", "-lavfi"};
// Filters that change the timing.
constexpr std::array kTimingFilters
    = {"setpts", "asetpts", "atempo", "trim", "atrim", "select", "aselect", "loop", "aloop", "framestep"};
// What ffmpeg says of input it could not read whole.
constexpr std::array kDamage = {"error while decoding", "invalid data found", "corrupt decoded frame", "concealing",
    "partial file", "corrupt input packet"};

bool isOption(const std::string& word, std::string_view option)
{
    // "-frames:v" is "-frames" for one stream.
    return word == option || (word.size() > option.size() && word.starts_with(option) && word[option.size()] == ':');
}

template <std::size_t N> bool isAnyOf(const std::string& word, const std::array<const char*, N>& options)
{
    return std::any_of(options.begin(), options.end(), [&](const char* option) { return isOption(word, option); });
}

bool changesTiming(const std::string& filters)
{
    return std::any_of(kTimingFilters.begin(), kTimingFilters.end(), [&](const char* name) {
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

} // namespace

OutputCheck::OutputCheck(const std::vector<std::string>& inputParams, const std::vector<std::string>& params)
{
    for (const std::string& word : inputParams)
        m_timingChanged = m_timingChanged || isAnyOf(word, kInputTimingOptions);
    for (std::size_t i = 0; i < params.size(); ++i) {
        m_timingChanged = m_timingChanged || isAnyOf(params[i], kOutputTimingOptions);
        if (i + 1 < params.size() && isAnyOf(params[i], kFilterOptions))
            m_timingChanged = m_timingChanged || changesTiming(params[i + 1]);
    }
    readTiming(inputParams, m_inputStart, m_inputLength, m_timingChanged);
    readTiming(params, m_outputStart, m_outputLength, m_timingChanged);
}

bool OutputCheck::reportsDamage(std::string_view line)
{
    const std::string lower = lowered(line);
    return std::any_of(
        kDamage.begin(), kDamage.end(), [&](const char* marker) { return lower.find(marker) != std::string::npos; });
}

void OutputCheck::read(std::string_view line)
{
    if (line.starts_with("frame=") || line.starts_with("size=")) {
        m_statusSeen = true;
        return;
    }
    if (reportsDamage(line))
        ++m_decodeErrors;
    if (line.starts_with("Output #")) {
        m_outputsBegun = true;
    } else if (!m_outputsBegun) {
        m_estimated = m_estimated || line.find("Estimating duration from bitrate") != std::string_view::npos;
        // "Input #0, image2, from …", "Input #0, png_pipe, from …": one picture, no length.
        if (line.starts_with("Input #0, ")) {
            const std::string_view demuxer = line.substr(10, line.find(',', 10) - 10);
            m_stillPicture = demuxer == "image2" || demuxer.ends_with("_pipe");
        }
    } else if (line.find("Stream #") != std::string_view::npos && line.find(": Video: ") != std::string_view::npos
        && line.find("(attached pic)") == std::string_view::npos) {
        m_outputHasVideo = true;
    }
}

OutputCheck::Verdict OutputCheck::verdict(const ItemProgress& progress) const
{
    Verdict verdict;
    verdict.decodeErrors = m_decodeErrors;
    if (!m_timingChanged && !m_estimated && !m_stillPicture && progress.duration > 0) {
        double expected = progress.duration - m_inputStart;
        if (m_inputLength >= 0)
            expected = std::min(expected, m_inputLength);
        expected -= m_outputStart;
        if (m_outputLength >= 0)
            expected = std::min(expected, m_outputLength);
        if (expected > 0)
            verdict.inputSeconds = expected;
    }
    if (m_statusSeen)
        verdict.outputSeconds = progress.position;
    const auto unchecked = [&verdict](const Wording& why) {
        verdict.uncheckedWhy = why.english;
        verdict.uncheckedWhyShown = why.shown;
    };
    if (m_timingChanged)
        unchecked(reason(QT_TRANSLATE_NOOP("Reason", "the format's options change the output's length")));
    else if (m_stillPicture)
        unchecked(reason(QT_TRANSLATE_NOOP("Reason", "the input is a still picture")));
    else if (verdict.inputSeconds < 0)
        unchecked(reason(QT_TRANSLATE_NOOP("Reason", "ffmpeg did not tell the input's length")));
    else if (verdict.outputSeconds < 0)
        unchecked(reason(QT_TRANSLATE_NOOP("Reason", "ffmpeg did not tell how much it wrote")));
    if (!verdict.uncheckedWhy.empty())
        return verdict;
    const double tolerance = std::max(0.5, 0.01 * verdict.inputSeconds);
    if (verdict.outputSeconds >= verdict.inputSeconds - tolerance) {
        verdict.checked = true;
    } else if (m_outputHasVideo || m_decodeErrors > 0) {
        verdict.checked = true;
        const Wording failure
            = reason(QT_TRANSLATE_NOOP("Reason", "the output holds %1 of %2: the input is damaged or ends early"),
                clock(verdict.outputSeconds), clock(verdict.inputSeconds));
        verdict.failure = failure.english;
        verdict.failureShown = failure.shown;
    } else {
        unchecked(reason(QT_TRANSLATE_NOOP("Reason", "its sound is shorter than the input, which may be so")));
    }
    return verdict;
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
