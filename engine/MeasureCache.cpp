#include "MeasureCache.h"

#include "ProgramDir.h"

#include <QCryptographicHash>
#include <QStandardPaths>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string_view>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
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
constexpr const char* kPruned = ".pruned";

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

// An entry's name: 32 hexadecimal digits, or what a writer that died left
// of one (".part", its process and a count).
bool isEntryName(std::string_view name)
{
    if (name.size() < kNameLength
        || name.substr(0, kNameLength).find_first_not_of("0123456789abcdef") != std::string::npos)
        return false;
    std::string_view rest = name.substr(kNameLength);
    if (rest.empty())
        return true;
    if (!rest.starts_with(".part"))
        return false;
    rest.remove_prefix(5);
    const std::size_t dash = rest.find('-');
    return dash != std::string_view::npos && dash > 0 && dash + 1 < rest.size()
        && rest.find_first_not_of("0123456789-") == std::string_view::npos;
}

int pruneIn(const std::string& where, std::chrono::seconds age, const std::atomic<bool>& stop)
{
    // Only a folder of this user's own, never one a link leads to: nothing but entries goes.
    const std::string path = where.empty() ? std::string() : where.substr(0, where.size() - 1);
    struct stat folderInfo { };
    if (path.empty() || ::lstat(path.c_str(), &folderInfo) != 0 || !S_ISDIR(folderInfo.st_mode)
        || folderInfo.st_uid != ::geteuid())
        return 0;
    const int folderFd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    DIR* const listing = folderFd < 0 ? nullptr : ::fdopendir(folderFd);
    if (!listing) {
        if (folderFd >= 0)
            ::close(folderFd);
        return 0;
    }
    int removed = 0;
    while (const dirent* found = ::readdir(listing)) {
        if (stop)
            break;
        if (!isEntryName(found->d_name))
            continue;
        struct stat info { };
        if (::fstatat(folderFd, found->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode)
            && olderThan(info.st_mtim, age.count()) && ::unlinkat(folderFd, found->d_name, 0) == 0)
            ++removed;
    }
    ::closedir(listing);
    return removed;
}

// The time of the mark is when the entries were last pruned: now, or long
// ago for a pruning still to be done. False when it cannot be marked.
bool markPruned(const std::string& where, bool now)
{
    const int fd = ::open((where + kPruned).c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const struct timespec longAgo[2] = {{0, 0}, {0, 0}};
    const bool marked = ::futimens(fd, now ? nullptr : longAgo) == 0;
    ::close(fd);
    return marked;
}

// The day's pruning, on a thread of its own: the end of the program stops it
// between two entries rather than waiting for a large cache.
class Pruner final {
public:
    ~Pruner()
    {
        m_stop = true;
        wait();
    }
    void start(const std::string& where)
    {
        const std::lock_guard lock(m_mutex);
        if (m_thread.joinable())
            return;
        m_thread = std::thread([this, where] {
            pruneIn(where, kUnusedFor, m_stop);
            // Stopped half-way (a large cache, a short run), the next run goes on with it.
            if (m_stop)
                markPruned(where, false);
        });
    }
    void wait()
    {
        const std::lock_guard lock(m_mutex);
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::thread m_thread;
    std::atomic<bool> m_stop {false};
};

Pruner& pruner()
{
    static Pruner instance;
    return instance;
}

void pruneNowAndThen(const std::string& where)
{
    const std::string mark = where + kPruned;
    struct stat info { };
    if (::lstat(mark.c_str(), &info) == 0 && (!S_ISREG(info.st_mode) || !olderThan(info.st_mtim, kPruneEverySeconds)))
        return;
    // Marked first, so that the runs of the day leave it to this one.
    if (markPruned(where, true))
        pruner().start(where);
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

// File systems whose change time is kept by the kernel, to the nanosecond
// on today's disks, and whose inodes stay what they are: a file on any other
// (FAT and exFAT, NTFS, read-only images, network and FUSE file systems,
// overlays, where the change time may be the modification time, a cached
// one, or the same for two images mounted one after the other) is measured
// again each time.
bool keepsChangeTimes(const struct statfs& where)
{
    switch (static_cast<unsigned long>(where.f_type)) {
    case 0xEF53: // ext2, ext3, ext4
    case 0x58465342: // XFS
    case 0x9123683E: // Btrfs
    case 0x01021994: // tmpfs
    case 0xF2F52010: // F2FS
    case 0x2FC12FC1: // ZFS
    case 0xCA451A4E: // bcachefs
        return true;
    default: return false;
    }
}

// A hash of the file's first and last bytes: a file written again whose
// times the file system keeps only to the second, or put back, is told by
// what it holds.
std::optional<std::size_t> fingerprint(int fd, off_t size)
{
    constexpr off_t kEnd = 64 * 1024;
    std::string bytes;
    for (const off_t from : {off_t {0}, std::max(kEnd, size - kEnd)}) {
        const std::size_t want = static_cast<std::size_t>(std::clamp<off_t>(size - from, 0, kEnd));
        const std::size_t at = bytes.size();
        bytes.resize(at + want);
        std::size_t got = 0;
        while (got < want) {
            const ssize_t read = ::pread(fd, bytes.data() + at + got, want - got, from + static_cast<off_t>(got));
            if (read <= 0)
                return std::nullopt;
            got += static_cast<std::size_t>(read);
        }
    }
    return std::hash<std::string_view> {}(bytes);
}

// The stamp's fields but its last, the change time, which a rename moves on.
std::string_view withoutChangeTime(std::string_view stamp)
{
    const std::size_t last = stamp.rfind(' ');
    return last == std::string_view::npos ? std::string_view() : stamp.substr(0, last);
}

} // namespace

std::string folder()
{
    const std::string calvera = userFolder("XDG_CACHE_HOME", ".cache");
    return calvera.empty() ? std::string() : calvera + "measures/";
}

std::optional<std::string> fileStamp(const std::string& path)
{
    // Nothing but a regular file where change times can be trusted is ever opened.
    struct stat info { };
    struct statfs where { };
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || ::statfs(path.c_str(), &where) != 0
        || !keepsChangeTimes(where))
        return std::nullopt;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    // What it is now, read from the file opened: a name that led elsewhere a moment ago counts as this file.
    std::optional<std::size_t> content;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::fstatfs(fd, &where) == 0 && keepsChangeTimes(where))
        content = fingerprint(fd, info.st_size);
    ::close(fd);
    // A change time to the second only (ext4 with small inodes), and of this
    // second or the last: the file may change again within it, unseen.
    if (!content || (info.st_ctim.tv_nsec == 0 && std::time(nullptr) - info.st_ctim.tv_sec < 2))
        return std::nullopt;
    std::array<int, 2> fsid {};
    static_assert(sizeof fsid == sizeof where.f_fsid);
    std::memcpy(fsid.data(), &where.f_fsid, sizeof fsid);
    char stamp[200];
    std::snprintf(stamp, sizeof stamp, "%08x%08x %llu:%llu %lld %lld.%09ld %016zx %lld.%09ld",
        static_cast<unsigned>(fsid[0]), static_cast<unsigned>(fsid[1]), static_cast<unsigned long long>(info.st_dev),
        static_cast<unsigned long long>(info.st_ino), static_cast<long long>(info.st_size),
        static_cast<long long>(info.st_mtim.tv_sec), info.st_mtim.tv_nsec, *content,
        static_cast<long long>(info.st_ctim.tv_sec), info.st_ctim.tv_nsec);
    return stamp;
}

std::optional<std::string> programStamp(const std::string& program)
{
    const std::string found = program.find('/') != std::string::npos
        ? program
        : QStandardPaths::findExecutable(QString::fromStdString(program)).toStdString();
    // Its real path: one program however it is named.
    char* const real = found.empty() ? nullptr : ::realpath(found.c_str(), nullptr);
    if (!real)
        return std::nullopt;
    const std::string path = real;
    std::free(real);
    struct stat info { };
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return path + '\t' + std::to_string(info.st_size) + ' ' + std::to_string(info.st_mtim.tv_sec) + '.'
        + std::to_string(info.st_mtim.tv_nsec) + ' ' + std::to_string(info.st_ctim.tv_sec) + '.'
        + std::to_string(info.st_ctim.tv_nsec);
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
    // The same file with the same bytes, its change time alone moved on: anything else is no rename.
    if (withoutChangeTime(before).empty() || withoutChangeTime(before) != withoutChangeTime(after))
        return;
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
    const std::atomic<bool> goOn {false};
    return pruneIn(folder(), age, goOn);
}

void waitForPruning()
{
    pruner().wait();
}

} // namespace MeasureCache
