#pragma once

#include <chrono>
#include <optional>
#include <string>

// Measures of media files kept between runs in $XDG_CACHE_HOME/calvera/measures/,
// one small file each, so that a second run over the same files (skipping
// what was converted before) starts no ffprobe for them. A measure is kept
// with the file as it was when measured: its file system, device, inode,
// size, modification and change times, and a hash of its first and last
// 64 KiB. A file written again in place, even with its old size and
// modification time put back, has a new change time and, on a file system
// that keeps times to the second only, other bytes. Only file systems that
// keep change times themselves (ext4, XFS, Btrfs, tmpfs and the like) are
// trusted: a file anywhere else is measured again each time. A measure is
// kept with the program that measured it too (its real path, size and
// times), so that another ffprobe measures again.
//
// Entries unused for 30 days are removed, at most once a day, on a thread
// of their own that the program's end stops. Nothing here ever fails loudly:
// a measure that cannot be kept or read is taken again.
namespace MeasureCache {

// The file as it is now; nothing when it is no regular file, cannot be
// read, or lies where change times cannot be trusted.
std::optional<std::string> fileStamp(const std::string& path);
// A program as it is now (a path, or a name looked up on PATH, however it
// is spelt or linked); nothing when there is none.
std::optional<std::string> programStamp(const std::string& program);

// The answer kept for a file and a prober as stamped.
std::optional<std::string> recall(const std::string& file, const std::string& prober);
void keep(const std::string& file, const std::string& prober, const std::string& answer);
// A measured file was renamed, which gives it a new change time: its measure
// goes from the stamp it had to the one it has, when nothing but the change
// time differs between them.
void carry(const std::string& before, const std::string& after);

// Removes the entries unused for longer than age. Returns how many went.
int prune(std::chrono::seconds age);
// Waits for the day's pruning, when one was started.
void waitForPruning();
// The folder of the entries; empty without a home.
std::string folder();

inline constexpr std::chrono::seconds kUnusedFor = std::chrono::hours(24 * 30);

} // namespace MeasureCache
