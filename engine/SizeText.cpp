#include "SizeText.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

// The multiplier a unit stands for; 0 for no unit known.
std::int64_t unitFactor(std::string_view unit)
{
    std::string lower;
    for (const char c : unit)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.empty() || lower == "b")
        return 1;
    struct Unit {
        const char* name;
        std::int64_t factor;
    };
    static constexpr Unit kUnits[] = {
        {"k", 1000LL},
        {"kb", 1000LL},
        {"m", 1000LL * 1000},
        {"mb", 1000LL * 1000},
        {"g", 1000LL * 1000 * 1000},
        {"gb", 1000LL * 1000 * 1000},
        {"t", 1000LL * 1000 * 1000 * 1000},
        {"tb", 1000LL * 1000 * 1000 * 1000},
        {"kib", 1LL << 10},
        {"mib", 1LL << 20},
        {"gib", 1LL << 30},
        {"tib", 1LL << 40},
    };
    for (const Unit& known : kUnits) {
        if (lower == known.name)
            return known.factor;
    }
    return 0;
}

} // namespace

std::optional<std::int64_t> parseSize(std::string_view text)
{
    std::size_t digitsEnd = 0;
    bool point = false;
    while (digitsEnd < text.size()) {
        const char c = text[digitsEnd];
        if (c == '.' && !point)
            point = true;
        else if (!std::isdigit(static_cast<unsigned char>(c)))
            break;
        ++digitsEnd;
    }
    const std::string_view number = text.substr(0, digitsEnd);
    if (number.empty() || number == "." || number.back() == '.' || number.front() == '.')
        return std::nullopt;
    const std::int64_t factor = unitFactor(text.substr(digitsEnd));
    if (factor == 0 || (factor == 1 && point))
        return std::nullopt;
    if (!point) {
        std::int64_t whole = 0;
        const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), whole);
        if (error != std::errc {} || end != number.data() + number.size()
            || whole > std::numeric_limits<std::int64_t>::max() / factor)
            return std::nullopt;
        return whole * factor;
    }
    double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc {} || end != number.data() + number.size())
        return std::nullopt;
    const long double bytes = std::floor(static_cast<long double>(value) * factor);
    if (bytes >= static_cast<long double>(std::numeric_limits<std::int64_t>::max()))
        return std::nullopt;
    return static_cast<std::int64_t>(bytes);
}

std::string sizeText(std::int64_t bytes)
{
    if (bytes < 1000)
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    static constexpr const char* kUnits[] = {"kB", "MB", "GB", "TB", "PB", "EB"};
    // In tenths of the unit, counted in whole numbers so that nothing rounds up.
    std::int64_t unit = 1000;
    std::size_t index = 0;
    while (index + 1 < std::size(kUnits) && bytes / unit >= 1000) {
        unit *= 1000;
        ++index;
    }
    const std::int64_t tenths = bytes / (unit / 10);
    char text[48];
    std::snprintf(text, sizeof text, "%lld.%lld %s", static_cast<long long>(tenths / 10),
        static_cast<long long>(tenths % 10), kUnits[index]);
    return text;
}
