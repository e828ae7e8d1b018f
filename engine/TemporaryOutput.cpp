#include "TemporaryOutput.h"

#include "NetworkFileSystem.h"
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

// A temporary whose lock is not held belongs to no live run: a run holds it
// from the moment it made the folder, so a short wait covers only that
// moment. Where a lock taken on another machine may not be seen here (a
// network file system), a temporary must also have been untouched for a minute.
constexpr std::time_t kStaleAfterSeconds = 10;
constexpr std::time_t kStaleOnNetworkSeconds = 60;
// mkdtemp's and mkstemp's six characters.
constexpr std::size_t kRandomPart = 6;

// Closes a descriptor when it goes out of scope.
class Descriptor final {
public:
    explicit Descriptor(int fd = -1)
        : m_fd(fd)
    { }
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }

private:
    int m_fd;
};

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// Makes a new name in the file's folder last through a power cut; the
// error when that cannot be made sure of, 0 when it is.
int syncFolderOf(const std::string& file)
{
    const Descriptor folder(::open(folderOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder || TemporaryOutput::syncDescriptor(folder.get()) != 0)
        return errno != 0 ? errno : EIO;
    return 0;
}

bool isRandomPart(const char* text, std::size_t length)
{
    if (length != kRandomPart)
        return false;
    for (std::size_t i = 0; i < length; ++i) {
        const char c = text[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

// ".calvera-" and exactly six mkdtemp characters.
bool isPrivateFolderName(const char* name)
{
    const std::size_t prefix = std::strlen(TemporaryOutput::kPrefix);
    return std::strncmp(name, TemporaryOutput::kPrefix, prefix) == 0
        && isRandomPart(name + prefix, std::strlen(name) - prefix);
}

// ".calvera-", six mkstemp characters, "." and one of extensions: what
// earlier versions wrote in place of a private folder.
bool isOldTemporaryName(const char* name, const std::set<std::string>& extensions)
{
    const std::size_t prefix = std::strlen(TemporaryOutput::kPrefix);
    const std::size_t length = std::strlen(name);
    return length > prefix + kRandomPart + 1 && std::strncmp(name, TemporaryOutput::kPrefix, prefix) == 0
        && isRandomPart(name + prefix, kRandomPart) && name[prefix + kRandomPart] == '.'
        && extensions.contains(name + prefix + kRandomPart + 1);
}

// What ffmpeg is given to write in a private folder: "output" and the extension.
bool isOutputName(const std::string& name)
{
    return name.starts_with("output.") || name == "output";
}

// Calls visit with each entry of an opened folder but ".", ".." and the
// marker, through a descriptor of its own, so that the folder's own
// descriptor keeps its place for the next listing.
template <typename Visit> bool forEachEntry(int folderFd, Visit visit)
{
    const int listFd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* listing = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!listing) {
        if (listFd >= 0)
            ::close(listFd);
        return false;
    }
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && name != TemporaryOutput::kMarker)
            visit(name);
    }
    ::closedir(listing);
    return true;
}

// True when an opened folder holds what a private folder holds: its marker,
// and what ffmpeg wrote under the name it was given; nothing else.
bool holdsOnlyOurs(int folderFd)
{
    bool ours = true;
    const bool listed = forEachEntry(folderFd, [&](const std::string& name) {
        struct stat info { };
        ours = ours && isOutputName(name) && ::fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISREG(info.st_mode);
    });
    return listed && ours;
}

// Removes every entry of an opened folder but its subfolders and the marker.
void removeContents(int folderFd)
{
    forEachEntry(folderFd, [folderFd](const std::string& name) {
        struct stat info { };
        if (::fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(info.st_mode))
            ::unlinkat(folderFd, name.c_str(), 0);
    });
}

bool isStale(const struct stat& info, std::time_t now, std::time_t after)
{
    return info.st_uid == ::geteuid() && now - info.st_mtime >= after;
}

// Private folders are 0700; in a setgid folder they keep the bit, so that
// what is made in them has the folder's group.
bool isPrivateMode(mode_t mode)
{
    return (mode & 07777) == 0700 || (mode & 07777) == 02700;
}

// A private folder that a run which ended left: as Calvera makes it (0700,
// its marker empty and 0600), the marker unlocked, theirs and old, and
// nothing in it but what ffmpeg was told to write.
bool removeStaleFolder(int directoryFd, const char* name, std::time_t now, std::time_t after)
{
    struct stat info { };
    if (::fstatat(directoryFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(info.st_mode)
        || info.st_uid != ::geteuid() || !isPrivateMode(info.st_mode))
        return false;
    const Descriptor folder(::openat(directoryFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder)
        return false;
    const Descriptor marker(
        ::openat(folder.get(), TemporaryOutput::kMarker, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat markerInfo { };
    if (!marker || ::fstat(marker.get(), &markerInfo) != 0 || !S_ISREG(markerInfo.st_mode) || markerInfo.st_size != 0
        || (markerInfo.st_mode & 07777) != 0600 || !isStale(markerInfo, now, after)
        || ::flock(marker.get(), LOCK_EX | LOCK_NB) != 0 || !holdsOnlyOurs(folder.get()))
        return false;
    removeContents(folder.get());
    ::unlinkat(folder.get(), TemporaryOutput::kMarker, 0);
    return ::unlinkat(directoryFd, name, AT_REMOVEDIR) == 0;
}

bool removeOldTemporary(int directoryFd, const char* name, std::time_t now, std::time_t after)
{
    const Descriptor file(::openat(directoryFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info { };
    struct stat named { };
    // mkstemps made them 0600; they were given other rights only once published.
    const bool stale = file && ::fstat(file.get(), &info) == 0 && S_ISREG(info.st_mode)
        && (info.st_mode & 07777) == 0600 && isStale(info, now, after) && ::flock(file.get(), LOCK_EX | LOCK_NB) == 0
        && ::fstatat(directoryFd, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_dev == info.st_dev
        && named.st_ino == info.st_ino;
    return stale && ::unlinkat(directoryFd, name, 0) == 0;
}

constexpr const char* kCannotCreate = QT_TRANSLATE_NOOP("Reason", "Cannot create file \"%1\". %2");

// Where there is neither an exclusive rename nor a hard link (FUSE file
// systems such as exFAT's, a phone's MTP), the name is taken by creating an
// empty file under it, exclusively, and the output renamed over that file of
// its own. -1 with errno as the system said when it failed; the empty file
// goes again.
int renameOverReserved(int folder, const std::string& name, const std::string& candidate)
{
    const int reserved = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (reserved < 0)
        return -1;
    struct stat made { };
    ::fstat(reserved, &made);
    ::close(reserved);
    if (::renameat(folder, name.c_str(), AT_FDCWD, candidate.c_str()) == 0)
        return 0;
    const int error = errno;
    struct stat now { };
    if (::lstat(candidate.c_str(), &now) == 0 && now.st_dev == made.st_dev && now.st_ino == made.st_ino
        && now.st_size == 0)
        ::unlink(candidate.c_str());
    errno = error;
    return -1;
}
constexpr const char* kCannotSync = QT_TRANSLATE_NOOP("Reason", "Cannot write file \"%1\" to the disk. %2");

} // namespace

std::function<int(int fd)> TemporaryOutput::syncDescriptor = [](int fd) { return ::fsync(fd); };

TemporaryOutput::TemporaryOutput(const std::string& wanted)
{
    const std::string directory = wanted.substr(0, wanted.size() - extractFileName(wanted).size());
    std::string folder = directory + kPrefix + "XXXXXX";
    const auto refuse
        = [&wanted](int error) { return TOutputFileError(reason(kCannotCreate, wanted, Wording::systemError(error))); };
    if (!::mkdtemp(folder.data()))
        throw refuse(errno);
    const Descriptor folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info { };
    const int marker
        = folderFd ? ::openat(folderFd.get(), kMarker, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600) : -1;
    // Their rights are part of what marks them as Calvera's, whatever the umask.
    // A setgid output folder gave its group and bit to the new one (mkdir
    // does): the bit stays, so the output gets the group a file made in the
    // output folder gets.
    struct stat made { };
    const mode_t mode = folderFd && ::fstat(folderFd.get(), &made) == 0 && (made.st_mode & S_ISGID) ? 02700 : 0700;
    if (marker < 0 || ::fchmod(folderFd.get(), mode) != 0 || ::fchmod(marker, 0600) != 0
        || ::flock(marker, LOCK_EX | LOCK_NB) != 0 || ::fstat(folderFd.get(), &info) != 0) {
        const int error = errno;
        if (marker >= 0) {
            ::unlinkat(folderFd.get(), kMarker, 0);
            ::close(marker);
        }
        ::rmdir(folder.c_str());
        throw refuse(error);
    }
    m_folder = folder + "/";
    m_path = m_folder + "output" + extractFileExt(wanted);
    m_markerFd = marker;
    m_folderIdentity = {info.st_dev, info.st_ino};
}

TemporaryOutput::~TemporaryOutput()
{
    discard();
}

namespace {

// The private folder, opened, while its name still leads to it.
int openFolder(const std::string& folder, const FileIdentity& identity)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat info { };
    if (fd >= 0 && (::fstat(fd, &info) != 0 || FileIdentity {info.st_dev, info.st_ino} != identity)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

std::optional<FileIdentity> TemporaryOutput::identity() const
{
    if (m_markerFd < 0)
        return std::nullopt;
    const Descriptor folder(openFolder(m_folder, m_folderIdentity));
    struct stat info { };
    if (!folder || ::fstatat(folder.get(), extractFileName(m_path).c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0
        || !S_ISREG(info.st_mode))
        return std::nullopt;
    return FileIdentity {info.st_dev, info.st_ino};
}

bool TemporaryOutput::folderIntact() const
{
    return m_markerFd >= 0 && Descriptor(openFolder(m_folder, m_folderIdentity));
}

off_t TemporaryOutput::size() const
{
    struct stat info { };
    return identity() && ::lstat(m_path.c_str(), &info) == 0 ? info.st_size : 0;
}

void TemporaryOutput::remove(const std::string& name)
{
    // Only what ffmpeg was given to write, and only in the folder that is still ours.
    if (!isOutputName(name) || name.find('/') != std::string::npos || m_markerFd < 0)
        return;
    if (const Descriptor folder(openFolder(m_folder, m_folderIdentity)); folder)
        ::unlinkat(folder.get(), name.c_str(), 0);
}

void TemporaryOutput::sync(const std::string& wanted) const
{
    const Descriptor folder(openFolder(m_folder, m_folderIdentity));
    const Descriptor file(
        folder ? ::openat(folder.get(), extractFileName(m_path).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC) : -1);
    if (!file || syncDescriptor(file.get()) != 0)
        throw TOutputFileError(reason(kCannotSync, wanted, Wording::systemError(errno != 0 ? errno : EIO)));
}

std::string TemporaryOutput::publish(const std::string& wanted, bool durable)
{
    const Descriptor folder(m_markerFd >= 0 ? openFolder(m_folder, m_folderIdentity) : -1);
    const std::string name = extractFileName(m_path);
    struct stat info { };
    if (!folder || ::fstatat(folder.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode))
        throw TOutputFileError(
            reason(QT_TRANSLATE_NOOP("Reason", "The output was removed while ffmpeg wrote it (\"%1\")."), m_path));
    const std::string extension = extractFileExt(wanted);
    std::string candidate = wanted;
    for (int tries = 0; tries < TOverwriteManager::kMaxNames; ++tries) {
        int result = ::renameat2(folder.get(), name.c_str(), AT_FDCWD, candidate.c_str(), RENAME_NOREPLACE);
        if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // A file system without an exclusive rename: a hard link is exclusive too.
            result = ::linkat(folder.get(), name.c_str(), AT_FDCWD, candidate.c_str(), 0);
            if (result == 0)
                ::unlinkat(folder.get(), name.c_str(), 0);
            else if (errno == EPERM || errno == EOPNOTSUPP || errno == ENOSYS)
                result = renameOverReserved(folder.get(), name, candidate);
        }
        if (result == 0) {
            if (const int error = durable ? syncFolderOf(candidate) : 0; error != 0) {
                // The name may not outlast a power cut: the item fails, so it leaves no file under it.
                takeBack(folder.get(), candidate, {info.st_dev, info.st_ino});
                throw TOutputFileError(reason(kCannotSync, candidate, Wording::systemError(error)));
            }
            m_published = true;
            discard();
            return candidate;
        }
        if (errno != EEXIST)
            throw TOutputFileError(reason(kCannotCreate, candidate, Wording::systemError(errno)));
        candidate = TOverwriteManager::nextName(candidate, extension);
    }
    throw TOverwriteManager::noFreeName(wanted);
}

void TemporaryOutput::takeBack(int folder, const std::string& published, const FileIdentity& file)
{
    const std::string name = extractFileName(m_path);
    struct stat info { };
    if (::lstat(published.c_str(), &info) != 0 || FileIdentity {info.st_dev, info.st_ino} != file
        || ::renameat(AT_FDCWD, published.c_str(), folder, name.c_str()) != 0)
        return;
    // Another program's file put under the name in the meantime goes back out, untouched.
    if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0
        && FileIdentity {info.st_dev, info.st_ino} != file)
        ::renameat2(folder, name.c_str(), AT_FDCWD, published.c_str(), RENAME_NOREPLACE);
}

void TemporaryOutput::discard()
{
    if (m_markerFd < 0)
        return;
    if (const Descriptor folder(openFolder(m_folder, m_folderIdentity)); folder) {
        removeContents(folder.get());
        // Removed while still locked, so no sweeper of another run can take the folder for stale.
        ::unlinkat(folder.get(), kMarker, 0);
        ::close(m_markerFd);
        m_markerFd = -1;
        // Only an empty folder goes, and only while the name still leads to ours.
        struct stat info { };
        if (::lstat(m_folder.c_str(), &info) == 0 && FileIdentity {info.st_dev, info.st_ino} == m_folderIdentity)
            ::rmdir(m_folder.c_str());
    }
    if (m_markerFd >= 0)
        ::close(m_markerFd);
    m_markerFd = -1;
}

int TemporaryOutput::removeStale(const std::string& directory, const std::set<std::string>& extensions)
{
    DIR* folder = ::opendir(directory.c_str());
    if (!folder)
        return 0;
    const int folderFd = ::dirfd(folder);
    const std::time_t now = std::time(nullptr);
    const std::time_t after = isNetworkFileSystem(directory) ? kStaleOnNetworkSeconds : kStaleAfterSeconds;
    int removed = 0;
    while (const dirent* entry = ::readdir(folder)) {
        if (isPrivateFolderName(entry->d_name))
            removed += removeStaleFolder(folderFd, entry->d_name, now, after) ? 1 : 0;
        else if (isOldTemporaryName(entry->d_name, extensions))
            removed += removeOldTemporary(folderFd, entry->d_name, now, after) ? 1 : 0;
    }
    ::closedir(folder);
    return removed;
}
