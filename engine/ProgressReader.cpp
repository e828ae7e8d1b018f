#include "ProgressReader.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

// The text after "key=" in a status line, blanks skipped, up to the next blank.
std::string_view fieldValue(std::string_view line, std::string_view key)
{
    const std::size_t at = line.find(key);
    if (at == std::string_view::npos)
        return {};
    std::size_t start = at + key.size();
    while (start < line.size() && line[start] == ' ')
        ++start;
    const std::size_t end = line.find(' ', start);
    return line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

double parseNumber(std::string_view text)
{
    double value = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end != text.data() ? value : -1;
}

} // namespace

double ProgressReader::parseClock(std::string_view text)
{
    // HH:MM:SS(.fraction), hours of any length; ffmpeg's negative start times count as none.
    if (text.starts_with('-'))
        return -1;
    const std::size_t first = text.find(':');
    const std::size_t second = first == std::string_view::npos ? first : text.find(':', first + 1);
    if (second == std::string_view::npos)
        return -1;
    const double hours = parseNumber(text.substr(0, first));
    const double minutes = parseNumber(text.substr(first + 1, second - first - 1));
    const double seconds = parseNumber(text.substr(second + 1));
    if (hours < 0 || minutes < 0 || seconds < 0)
        return -1;
    return hours * 3600 + minutes * 60 + seconds;
}

bool ProgressReader::read(std::string_view line)
{
    const bool status = line.starts_with("frame=") || line.starts_with("size=");
    if (!status) {
        if (line.starts_with("Output #"))
            m_outputsBegun = true;
        // The first input's length; "Duration: N/A" leaves it unknown.
        const std::size_t at = line.find("Duration: ");
        if (m_outputsBegun || m_progress.duration > 0 || at == std::string_view::npos)
            return false;
        const double duration = parseClock(fieldValue(line, "Duration:"));
        if (duration <= 0)
            return false;
        m_progress.duration = duration;
        return true;
    }
    const double position = parseClock(fieldValue(line, "time="));
    std::string_view speedText = fieldValue(line, "speed=");
    if (speedText.ends_with('x'))
        speedText.remove_suffix(1);
    const double speed = parseNumber(speedText);
    if (position < 0 && speed < 0)
        return false;
    if (position >= 0)
        m_progress.position = position;
    if (speed >= 0)
        m_progress.speed = speed;
    if (m_progress.duration > 0) {
        m_progress.fraction = std::clamp(m_progress.position / m_progress.duration, 0.0, 1.0);
        m_progress.secondsLeft
            = m_progress.speed > 0 ? (m_progress.duration - m_progress.position) / m_progress.speed : -1;
        if (m_progress.secondsLeft < 0 && m_progress.speed > 0)
            m_progress.secondsLeft = 0;
    }
    return true;
}
