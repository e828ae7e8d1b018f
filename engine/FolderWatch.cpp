#include "FolderWatch.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <stdexcept>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace {

// File systems whose change notices do not tell of writes made on other machines.
bool isNetworkFileSystem(const std::string& folder)
{
    struct statfs info { };
    if (::statfs(folder.c_str(), &info) != 0)
        return false;
    switch (static_cast<unsigned long>(info.f_type)) {
    case 0x6969: // NFS
    case 0x517B: // SMB
    case 0xFF534D42: // CIFS
    case 0xFE534D42: // SMB2
    case 0x65735546: // FUSE (sshfs and the like)
    case 0x564C: // NCP
    case 0x47504653: // GPFS
    case 0x00C36400: // Ceph
        return true;
    default: return false;
    }
}

std::string withSlash(std::string folder)
{
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

bool isHidden(const char* name)
{
    return name[0] == '.';
}

} // namespace

FolderWatch::FolderWatch(std::string folder, std::vector<std::string> passedOver, bool includeExisting, QObject* parent)
    : QObject(parent)
    , m_folder(withSlash(std::move(folder)))
    , m_includeExisting(includeExisting)
{
    for (std::string& passed : passedOver)
        m_passedOver.push_back(withSlash(std::move(passed)));
    connect(&m_lookAgain, &QTimer::timeout, this, &FolderWatch::look);
}

FolderWatch::~FolderWatch()
{
    m_noticeReader.reset();
    if (m_notices >= 0)
        ::close(m_notices);
}

void FolderWatch::start()
{
    struct stat status { };
    if (::stat(m_folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
        throw std::runtime_error(QCoreApplication::translate("FolderWatch", "cannot watch \"%1\": %2")
                                     .arg(QString::fromStdString(m_folder),
                                         errno != 0 && !S_ISDIR(status.st_mode)
                                             ? QString::fromLocal8Bit(std::strerror(errno))
                                             : QCoreApplication::translate("FolderWatch", "it is not a folder"))
                                     .toStdString());
    m_looking = m_lookOnly || isNetworkFileSystem(m_folder);
    if (!m_looking) {
        m_notices = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_notices < 0)
            m_looking = true;
    }
    if (m_notices >= 0) {
        m_noticeReader = std::make_unique<QSocketNotifier>(m_notices, QSocketNotifier::Read);
        connect(m_noticeReader.get(), &QSocketNotifier::activated, this, &FolderWatch::readNotices);
    }
    addFolder(m_folder, m_includeExisting);
    m_lookAgain.start(m_looking ? kNetworkLookMs : kLookMs);
}

bool FolderWatch::passedOver(const std::string& folder) const
{
    for (const std::string& passed : m_passedOver) {
        if (folder.starts_with(passed))
            return true;
    }
    return false;
}

void FolderWatch::addFolder(const std::string& folder, bool filesAreNew)
{
    if (passedOver(folder))
        return;
    if (m_notices >= 0) {
        // Only the watched folder's own move matters: a subfolder moved inside is told as moved in.
        const std::uint32_t moved = folder == m_folder ? IN_MOVE_SELF : 0;
        const int watch = ::inotify_add_watch(m_notices, folder.c_str(),
            IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE | IN_DELETE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW | moved);
        if (watch >= 0)
            m_watched[watch] = folder;
    }
    DIR* listing = ::opendir(folder.c_str());
    if (!listing)
        return;
    while (const dirent* entry = ::readdir(listing)) {
        if (isHidden(entry->d_name))
            continue;
        const std::string path = folder + entry->d_name;
        struct stat status { };
        if (::lstat(path.c_str(), &status) != 0)
            continue;
        if (S_ISDIR(status.st_mode))
            addFolder(path + "/", filesAreNew);
        else if (S_ISREG(status.st_mode) && filesAreNew)
            lookedAt(path,
                Seen {status.st_size, status.st_mtim.tv_sec * 1000000000ll + status.st_mtim.tv_nsec, status.st_ino});
        else if (S_ISREG(status.st_mode))
            m_told[path]
                = Seen {status.st_size, status.st_mtim.tv_sec * 1000000000ll + status.st_mtim.tv_nsec, status.st_ino};
    }
    ::closedir(listing);
}

void FolderWatch::readNotices()
{
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(m_notices, buffer, sizeof buffer);
        if (got <= 0)
            return;
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            const auto folder = m_watched.find(event->wd);
            if (folder == m_watched.end())
                continue;
            if (event->mask & (IN_DELETE_SELF | IN_IGNORED | IN_MOVE_SELF)) {
                const bool watchedFolder = folder->second == m_folder;
                m_watched.erase(folder);
                if (watchedFolder)
                    gone();
                continue;
            }
            if (event->len == 0 || isHidden(event->name))
                continue;
            const std::string path = folder->second + event->name;
            if (event->mask & IN_ISDIR) {
                // A folder made or moved in: what is in it already is looked at until it stands still.
                if (event->mask & (IN_CREATE | IN_MOVED_TO))
                    addFolder(path + "/", true);
                continue;
            }
            if (!(event->mask & (IN_CLOSE_WRITE | IN_MOVED_TO)))
                continue;
            struct stat status { };
            if (::lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
                m_waiting.erase(path);
                tell(path,
                    Seen {
                        status.st_size, status.st_mtim.tv_sec * 1000000000ll + status.st_mtim.tv_nsec, status.st_ino});
            }
        }
    }
}

void FolderWatch::look()
{
    // Only what was found before this look can have stood still since.
    const std::vector<std::pair<std::string, Seen>> waiting(m_waiting.begin(), m_waiting.end());
    if (m_looking) {
        struct stat status { };
        if (::stat(m_folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
            gone();
            return;
        }
        // Without notices, the whole tree is looked through each time.
        addFolder(m_folder, true);
    }
    for (const auto& [path, before] : waiting) {
        struct stat status { };
        if (::lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
            m_waiting.erase(path);
            continue;
        }
        const Seen now {status.st_size, status.st_mtim.tv_sec * 1000000000ll + status.st_mtim.tv_nsec, status.st_ino};
        if (now == before) {
            m_waiting.erase(path);
            tell(path, now);
        } else {
            m_waiting[path] = now;
        }
    }
}

void FolderWatch::gone()
{
    if (m_gone)
        return;
    m_gone = true;
    m_lookAgain.stop();
    emit folderGone();
}

void FolderWatch::lookedAt(const std::string& path, const Seen& now)
{
    const auto told = m_told.find(path);
    if (told != m_told.end() && told->second == now)
        return;
    // Seen for the first time now: it is told at a later look if it has not changed by then.
    m_waiting.emplace(path, now);
}

void FolderWatch::tell(const std::string& path, const Seen& now)
{
    // Once the folder is gone, the paths under it name nothing that can be trusted.
    if (m_gone)
        return;
    const auto told = m_told.find(path);
    if (told != m_told.end() && told->second == now)
        return;
    m_told[path] = now;
    emit fileComplete(path);
}
