#pragma once

#include <cstdint>
#include <string>

struct ItemProgress;

// How a size-limited item is told, in the user's language.

// "24.3 MB of 25.0 MB": what the output took of its limit. Empty without a
// limit or a measured size.
std::string sizeOfLimitText(std::int64_t size, std::int64_t limit);

// "pass 1 of 2" while a size-limited item runs one of several passes; empty
// with one pass.
std::string passText(const ItemProgress& progress);
