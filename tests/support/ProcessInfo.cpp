#include "ProcessInfo.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sstream>
#include <unistd.h>

namespace {

// The entries of a folder whose names are numbers.
std::vector<long> numberedEntries(const char* folder)
{
    std::vector<long> found;
    DIR* listing = ::opendir(folder);
    if (!listing)
        return found;
    while (const dirent* entry = ::readdir(listing)) {
        char* end = nullptr;
        const long number = std::strtol(entry->d_name, &end, 10);
        if (end != entry->d_name && *end == '\0')
            found.push_back(number);
    }
    ::closedir(listing);
    return found;
}

} // namespace

std::optional<std::string> readWholeFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (text.empty())
        return std::nullopt;
    return text;
}

std::optional<ProcessStat> processStat(long pid)
{
    const std::optional<std::string> line = readWholeFile("/proc/" + std::to_string(pid) + "/stat");
    if (!line)
        return std::nullopt;
    // "pid (comm) state ppid pgrp ..."; comm may hold blanks and parentheses, so split at the last ")".
    const std::size_t open = line->find('(');
    const std::size_t close = line->rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open)
        return std::nullopt;
    ProcessStat stat;
    stat.command = line->substr(open + 1, close - open - 1);
    std::istringstream rest(line->substr(close + 1));
    if (!(rest >> stat.state >> stat.parent >> stat.group))
        return std::nullopt;
    return stat;
}

std::vector<long> processIds()
{
    return numberedEntries("/proc");
}

int threadCount()
{
    return static_cast<int>(numberedEntries("/proc/self/task").size());
}
