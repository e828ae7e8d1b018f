#pragma once

#include <string>

// Standard output as scripts rely on it: a full disk or a closed descriptor
// under it must not pass for a complete answer. Every flush goes through
// here, which keeps the first failure, so that the end of the program can
// say it and exit with 2.
namespace standardOutput {

// Writes text to standard output, keeping why it failed: a text longer
// than the stream's buffer is written at once, and the reason would be gone
// by the next flush.
void write(const std::string& text);
// Flushes standard output; false when this or an earlier write failed.
bool flush();
// Why writing failed ("No space left on device"), or empty when nothing failed.
std::string failure();

} // namespace standardOutput
