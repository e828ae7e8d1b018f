#pragma once

#include <cstdint>
#include <string>

// The size of a file in bytes, 64-bit. Raises std::runtime_error with
// "System Error.  Code: %d.\r\n%s" (errno and its text) when there is none.
std::int64_t GetFileSize(const std::string& path);
