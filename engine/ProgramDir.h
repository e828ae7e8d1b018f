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

// The bytes of a file that Calvera keeps in the user's folders, read without
// ever waiting (a FIFO there would hold the program): nothing when it is
// missing, and nothing with a warning when it is not a regular file of at
// most maxBytes or cannot be read.
std::optional<std::string> readUserFile(const std::string& path, std::size_t maxBytes);
