#include "ClockText.h"

#include <cstdio>

std::string clockText(std::int64_t seconds)
{
    char text[32];
    const long long total = seconds < 0 ? 0 : seconds;
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
    return text;
}
