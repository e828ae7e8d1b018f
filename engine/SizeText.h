#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Sizes of files as people write them on a command line: plain bytes
// ("1000000"), decimal units ("700K", "25M", "1.5G", "2T", also with a "B":
// "25MB") and binary ones ("700KiB", "25MiB", "1GiB"). Units may be in either
// case; fractions are taken to the byte below. Nothing for anything else:
// an empty text, a sign, an exponent, bytes with a fraction, or more than a
// signed 64-bit count holds.
std::optional<std::int64_t> parseSize(std::string_view text);

// A size as people read it, in decimal units with one decimal: "812 bytes",
// "700.0 kB", "24.3 MB", "1.5 GB". Rounded down, so that a size just over a
// limit never reads as the limit itself.
std::string sizeText(std::int64_t bytes);
