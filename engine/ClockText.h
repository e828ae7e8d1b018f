#pragma once

#include <cstdint>
#include <string>

// Seconds as "hh:mm:ss", each part at least two digits; hours go on past 99.
std::string clockText(std::int64_t seconds);
