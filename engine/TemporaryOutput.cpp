#include "TemporaryOutput.h"

#include "overwriteManager.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A temporary untouched for this long, and unlocked, belongs to no live run.
constexpr std::time_t kStaleAfterSeconds = 60;

// The permissions ffmpeg would have given a file it created itself.
mode_t publishedMode()
{
    static const mode_t mask = [] {
        const mode_t current = ::umask(022);
        ::umask(current);
        return current;
    }();
    return 0666 & ~mask;
}

// Makes a new name in the file's folder last through a power cut.
void syncFolderOf(const std::string& file)
{
    const std::size_t slash = file.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : file.substr(0, slash);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool sameFile(const struct stat& a, dev_t device, ino_t inode)
{
    return a.st_dev == device && a.st_ino == inode;
}

bool looksLikeTemporary(const char* name)
{
    const std::size_t prefix = std::strlen(TemporaryOutput::kPrefix);
    return std::strncmp(name, TemporaryOutput::kPrefix, prefix) == 0 && std::strlen(name) >= prefix + 6;
}

} // namespace

TemporaryOutput::TemporaryOutput(const std::string& wanted)
{
    const std::string extension = extractFileExt(wanted);
    std::string name
        = wanted.substr(0, wanted.size() - extractFileName(wanted).size()) + kPrefix + "XXXXXX" + extension;
    const int fd = ::mkostemps(name.data(), static_cast<int>(extension.size()), O_CLOEXEC);
    if (fd < 0)
        throw TOutputFileError("Cannot create file \"" + wanted + "\". " + std::strerror(errno));
    struct stat info { };
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &info) != 0) {
        const int error = errno;
        ::unlink(name.c_str());
        ::close(fd);
        throw TOutputFileError("Cannot create file \"" + wanted + "\". " + std::strerror(error));
    }
    m_path = std::move(name);
    m_fd = fd;
    m_device = info.st_dev;
    m_inode = info.st_ino;
}

TemporaryOutput::~TemporaryOutput()
{
    discard();
}

off_t TemporaryOutput::size() const
{
    struct stat info { };
    return m_fd >= 0 && ::fstat(m_fd, &info) == 0 ? info.st_size : 0;
}

bool TemporaryOutput::intact() const
{
    struct stat info { };
    return m_fd >= 0 && ::lstat(m_path.c_str(), &info) == 0 && sameFile(info, m_device, m_inode);
}

std::string TemporaryOutput::publish(const std::string& wanted, bool durable)
{
    if (!intact())
        throw TOutputFileError("The output was removed while ffmpeg wrote it (\"" + m_path + "\").");
    ::fchmod(m_fd, publishedMode());
    if (durable && ::fsync(m_fd) != 0)
        throw TOutputFileError("Cannot write file \"" + wanted + "\" to the disk. " + std::strerror(errno));
    const std::string extension = extractFileExt(wanted);
    std::string name = wanted;
    for (int tries = 0; tries < TOverwriteManager::kMaxNames; ++tries) {
        int result = ::renameat2(AT_FDCWD, m_path.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE);
        if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // A file system without an exclusive rename: a hard link is exclusive too.
            result = ::link(m_path.c_str(), name.c_str());
            if (result == 0)
                ::unlink(m_path.c_str());
        }
        if (result == 0) {
            m_published = true;
            discard();
            if (durable)
                syncFolderOf(name);
            return name;
        }
        if (errno != EEXIST)
            throw TOutputFileError("Cannot create file \"" + name + "\". " + std::strerror(errno));
        name = TOverwriteManager::nextName(name, extension);
    }
    throw TOverwriteManager::noFreeName(wanted);
}

void TemporaryOutput::discard()
{
    if (m_fd < 0)
        return;
    // Removed while still locked, so no sweeper of another run can mistake it for stale.
    if (!m_published && intact())
        ::unlink(m_path.c_str());
    ::close(m_fd);
    m_fd = -1;
}

int TemporaryOutput::removeStale(const std::string& directory)
{
    DIR* folder = ::opendir(directory.c_str());
    if (!folder)
        return 0;
    const int folderFd = ::dirfd(folder);
    const std::time_t now = std::time(nullptr);
    int removed = 0;
    while (const dirent* entry = ::readdir(folder)) {
        if (!looksLikeTemporary(entry->d_name))
            continue;
        const int fd = ::openat(folderFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat info { };
        struct stat named { };
        const bool stale = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid()
            && now - info.st_mtime >= kStaleAfterSeconds && ::flock(fd, LOCK_EX | LOCK_NB) == 0
            && ::fstatat(folderFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0
            && sameFile(named, info.st_dev, info.st_ino);
        if (stale && ::unlinkat(folderFd, entry->d_name, 0) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(folder);
    return removed;
}
