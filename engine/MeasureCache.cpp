#include "MeasureCache.h"

#include "ProgramDir.h"

#include <QCryptographicHash>
#include <QStandardPaths>
#include <QThreadPool>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace MeasureCache {

namespace {

constexpr const char* kHeader = "calvera measure 1";
// ffprobe's answer for a file of many streams is a few kilobytes; anything this long is no entry.
constexpr std::size_t kMaxEntry = 256 * 1024;
constexpr std::size_t kNameLength = 32;
// A used entry has its time renewed when it is older than this, so that pruning leaves it.
constexpr std::time_t kRenewAfterSeconds = 24 * 60 * 60;
constexpr std::time_t kPruneEverySeconds = 24 * 60 * 60;

std::string entryPath(const std::string& stamp)
{
    const std::string where = folder();
    if (where.empty())
        return {};
    const QByteArray hash = QCryptographicHash::hash(QByteArray::fromStdString(stamp), QCryptographicHash::Sha256);
    return where + hash.toHex().left(kNameLength).toStdString();
}

bool olderThan(const struct timespec& time, std::time_t seconds)
{
    return std::time(nullptr) - time.tv_sec > seconds;
}

// The entry's text, read without following a link or waiting on a FIFO;
// its time renewed when it is used after a day.
std::optional<std::string> readEntry(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat info { };
    std::optional<std::string> text;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && static_cast<std::size_t>(info.st_size) <= kMaxEntry) {
        std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
        std::size_t got = 0;
        while (got < bytes.size()) {
            const ssize_t read = ::read(fd, bytes.data() + got, bytes.size() - got);
            if (read <= 0)
                break;
            got += static_cast<std::size_t>(read);
        }
        if (got == bytes.size()) {
            text = std::move(bytes);
            if (olderThan(info.st_mtim, kRenewAfterSeconds))
                ::futimens(fd, nullptr);
        }
    }
    ::close(fd);
    return text;
}

struct Entry {
    std::string file;
    std::string prober;
    std::string answer;
};

std::optional<Entry> parse(const std::string& text)
{
    std::size_t from = 0;
    std::string lines[3];
    for (std::string& line : lines) {
        const std::size_t end = text.find('\n', from);
        if (end == std::string::npos)
            return std::nullopt;
        line = text.substr(from, end - from);
        from = end + 1;
    }
    if (lines[0] != kHeader)
        return std::nullopt;
    return Entry {lines[1], lines[2], text.substr(from)};
}

int pruneIn(const std::string& where, std::chrono::seconds age)
{
    DIR* const listing = where.empty() ? nullptr : ::opendir(where.c_str());
    if (!listing)
        return 0;
    int removed = 0;
    while (const dirent* found = ::readdir(listing)) {
        const std::string name = found->d_name;
        // Entries, and what a writer that died left of one.
        if (name.size() < kNameLength || name.find_first_not_of("0123456789abcdef") < kNameLength)
            continue;
        const std::string path = where + name;
        struct stat info { };
        if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && olderThan(info.st_mtim, age.count())
            && ::unlink(path.c_str()) == 0)
            ++removed;
    }
    ::closedir(listing);
    return removed;
}

void pruneNowAndThen(const std::string& where)
{
    // The time of this file is when the entries were last pruned.
    const std::string mark = where + ".pruned";
    struct stat info { };
    if (::lstat(mark.c_str(), &info) == 0 && (!S_ISREG(info.st_mode) || !olderThan(info.st_mtim, kPruneEverySeconds)))
        return;
    const int fd = ::open(mark.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    ::futimens(fd, nullptr);
    ::close(fd);
    QThreadPool::globalInstance()->start([where] { pruneIn(where, kUnusedFor); });
}

// Written whole under a name of its own and renamed, so that a reader never
// sees half of it, and never over anything but an entry.
bool write(const std::string& path, const std::string& text)
{
    const std::string where = folder();
    if (::mkdir(where.c_str(), 0700) != 0 && errno == ENOENT) {
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(where).parent_path().parent_path(), ec);
        ::mkdir(where.c_str(), 0700);
    }
    struct stat existing { };
    if (::lstat(path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode))
        return false;
    static std::atomic<unsigned> written {0};
    const std::string partial = path + ".part" + std::to_string(::getpid()) + "-" + std::to_string(++written);
    const int fd = ::open(partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool whole = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    if (!whole || ::rename(partial.c_str(), path.c_str()) != 0) {
        ::unlink(partial.c_str());
        return false;
    }
    pruneNowAndThen(where);
    return true;
}

std::string textOf(const Entry& entry)
{
    return std::string(kHeader) + '\n' + entry.file + '\n' + entry.prober + '\n' + entry.answer;
}

std::string stampOf(const struct stat& info)
{
    char stamp[160];
    std::snprintf(stamp, sizeof stamp, "%llu:%llu %lld %lld.%09ld %lld.%09ld",
        static_cast<unsigned long long>(info.st_dev), static_cast<unsigned long long>(info.st_ino),
        static_cast<long long>(info.st_size), static_cast<long long>(info.st_mtim.tv_sec), info.st_mtim.tv_nsec,
        static_cast<long long>(info.st_ctim.tv_sec), info.st_ctim.tv_nsec);
    return stamp;
}

} // namespace

std::string folder()
{
    const std::string calvera = userFolder("XDG_CACHE_HOME", ".cache");
    return calvera.empty() ? std::string() : calvera + "measures/";
}

std::optional<std::string> fileStamp(const std::string& path)
{
    struct stat info { };
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return stampOf(info);
}

std::optional<std::string> programStamp(const std::string& program)
{
    const std::string path = program.find('/') != std::string::npos
        ? program
        : QStandardPaths::findExecutable(QString::fromStdString(program)).toStdString();
    if (path.empty())
        return std::nullopt;
    const std::optional<std::string> stamp = fileStamp(path);
    if (!stamp)
        return std::nullopt;
    return path + '\t' + *stamp;
}

std::optional<std::string> recall(const std::string& file, const std::string& prober)
{
    const std::string path = entryPath(file);
    if (path.empty())
        return std::nullopt;
    const std::optional<std::string> text = readEntry(path);
    const std::optional<Entry> entry = text ? parse(*text) : std::nullopt;
    if (!entry || entry->file != file || entry->prober != prober)
        return std::nullopt;
    return entry->answer;
}

void keep(const std::string& file, const std::string& prober, const std::string& answer)
{
    const std::string path = entryPath(file);
    // A stamp or prober that spans lines cannot be read back; it is not kept.
    if (path.empty() || file.find('\n') != std::string::npos || prober.find('\n') != std::string::npos
        || answer.size() > kMaxEntry / 2)
        return;
    write(path, textOf({file, prober, answer}));
}

void carry(const std::string& before, const std::string& after)
{
    const std::string from = entryPath(before);
    const std::string to = entryPath(after);
    if (from.empty() || from == to || after.find('\n') != std::string::npos)
        return;
    const std::optional<std::string> text = readEntry(from);
    std::optional<Entry> entry = text ? parse(*text) : std::nullopt;
    if (!entry || entry->file != before)
        return;
    entry->file = after;
    if (write(to, textOf(*entry)))
        ::unlink(from.c_str());
}

int prune(std::chrono::seconds age)
{
    return pruneIn(folder(), age);
}

} // namespace MeasureCache
