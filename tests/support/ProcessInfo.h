#pragma once

#include <optional>
#include <string>
#include <vector>

// Reads of /proc that a process ending at any moment cannot break: every
// reader below says "gone" (none, false, or nothing listed) instead of
// throwing or reading half a line.

// The whole of a file, read with plain read(2); none when it cannot be
// opened or read or is empty. Under /proc that is how a process that went
// shows (ENOENT at the open, ESRCH at the read, or nothing to read).
std::optional<std::string> readWholeFile(const std::string& path);

// What /proc/<pid>/stat says of a process.
struct ProcessStat {
    std::string command; // without its parentheses; may hold blanks
    char state = '?'; // R, S, D, T or t (stopped), Z (zombie), ...
    long parent = 0;
    long group = 0;
};

// None when there is no such process (any longer).
std::optional<ProcessStat> processStat(long pid);

// The ids of every process /proc lists at this moment.
std::vector<long> processIds();

// The threads of this process that the kernel still runs.
int threadCount();
