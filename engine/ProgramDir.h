#pragma once

#include <cstddef>
#include <optional>
#include <string>

// The directory of the running executable with a trailing "/".
std::string programDirectory();

// The ffmpeg Calvera runs: bin/ffmpeg in the program directory when there is
// one (the build folder lays it out), else "ffmpeg" from PATH (an installed
// Calvera).
std::string defaultFfmpegPath();

// Calvera's place in a freedesktop base folder: $variable/calvera/ when the
// variable holds an absolute path, else ~/fallback/calvera/; empty without a home.
std::string userFolder(const char* variable, const char* fallback);

// Where items without a folder of their own go: convert/ in the program
// directory while it can be written (the build folder), else the user's
// Videos folder with Calvera/ (an installed Calvera), made on the first use
// when create is set. The Videos folder and its Calvera/ are the only folders
// Calvera creates.
std::string defaultOutputFolder(bool create = false);

// What a file in the user's config, state or cache folder turned out to be.
enum class UserFileKind {
    Missing,
    Regular,
    // A FIFO, a device, a folder, or a file that cannot be opened: passed over, with a warning.
    Refused,
};

// Looks at a file that Calvera keeps in the user's folders without ever
// waiting on it: it is opened non-blocking, so a FIFO put in its place cannot
// hold the program.
UserFileKind checkUserFile(const std::string& path);

// Reads such a file the same way: nothing when it is missing, and nothing
// with a warning when it is not a regular file of at most maxBytes or cannot
// be read.
std::optional<std::string> readUserFile(const std::string& path, std::size_t maxBytes);
