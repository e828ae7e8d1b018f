#include "StandardOutput.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

std::mutex g_mutex;
int g_error = 0; // the errno of the first failed write

} // namespace

namespace standardOutput {

void write(const std::string& text)
{
    errno = 0;
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    const int error = errno;
    const std::lock_guard lock(g_mutex);
    if (!written && g_error == 0)
        g_error = error != 0 ? error : EIO;
}

bool flush()
{
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    const int error = errno;
    const std::lock_guard lock(g_mutex);
    // A write that failed before the flush leaves the stream's error flag set.
    if ((!flushed || std::ferror(stdout)) && g_error == 0)
        g_error = error != 0 ? error : EIO;
    return g_error == 0;
}

std::string failure()
{
    const std::lock_guard lock(g_mutex);
    return g_error == 0 ? std::string() : std::strerror(g_error);
}

} // namespace standardOutput
