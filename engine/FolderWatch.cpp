#include "FolderWatch.h"

#include "NetworkFileSystem.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <fnmatch.h>
#include <fstream>
#include <stdexcept>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string withSlash(std::string folder)
{
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

std::int64_t modifiedNs(const struct stat& status)
{
    return status.st_mtim.tv_sec * 1000000000ll + status.st_mtim.tv_nsec;
}

// The kinds of warning, each given once.
enum Warning : unsigned { kOverflow = 1, kWatchLimit = 2 };

// How often the files waiting to settle are looked at.
int checkEveryMs(int settleMs)
{
    return std::clamp(settleMs / 4, 100, 1000);
}

std::string watchLimit()
{
    std::ifstream limit("/proc/sys/fs/inotify/max_user_watches");
    std::string value;
    limit >> value;
    return value.empty() ? "?" : value;
}

std::string translated(const char* source, const std::string& argument = {})
{
    const QString text = QCoreApplication::translate("FolderWatch", source);
    return (argument.empty() ? text : text.arg(QString::fromStdString(argument))).toStdString();
}

} // namespace

const std::vector<std::string>& FolderWatch::inProgressPatterns()
{
    static const std::vector<std::string> patterns = {"*.part", "*.crdownload", "*.tmp", "*.partial", ".*", "~*"};
    return patterns;
}

bool FolderWatch::excludedName(
    const std::string& name, const std::string& below, const std::vector<std::string>& patterns)
{
    for (const std::string& pattern : patterns) {
        const bool whole = pattern.find('/') != std::string::npos;
        if (::fnmatch(pattern.c_str(), whole ? below.c_str() : name.c_str(), whole ? FNM_PATHNAME : 0) == 0)
            return true;
    }
    return false;
}

FolderWatch::FolderWatch(Settings settings, QObject* parent)
    : QObject(parent)
    , m_settings(std::move(settings))
{
    m_settings.folder = withSlash(m_settings.folder);
    m_settings.settleMs = std::max(0, m_settings.settleMs);
    connect(&m_lookAgain, &QTimer::timeout, this, &FolderWatch::lookThrough);
    connect(&m_checkAgain, &QTimer::timeout, this, &FolderWatch::check);
    m_checkAgain.setInterval(checkEveryMs(m_settings.settleMs));
    m_clock.start();
}

FolderWatch::~FolderWatch()
{
    m_noticeReader.reset();
    if (m_notices >= 0)
        ::close(m_notices);
}

void FolderWatch::start()
{
    const std::string& folder = m_settings.folder;
    struct stat status { };
    if (::stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
        throw std::runtime_error(QCoreApplication::translate("FolderWatch", "cannot watch \"%1\": %2")
                                     .arg(QString::fromStdString(folder),
                                         errno != 0 && !S_ISDIR(status.st_mode)
                                             ? QString::fromLocal8Bit(std::strerror(errno))
                                             : QCoreApplication::translate("FolderWatch", "it is not a folder"))
                                     .toStdString());
    m_looking = m_lookOnly || isNetworkFileSystem(folder);
    if (!m_looking) {
        m_notices = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_notices < 0)
            m_looking = true;
    }
    if (m_notices >= 0) {
        m_noticeReader = std::make_unique<QSocketNotifier>(m_notices, QSocketNotifier::Read);
        connect(m_noticeReader.get(), &QSocketNotifier::activated, this, &FolderWatch::readNotices);
    }
    addFolder(folder, m_settings.includeExisting);
    if (m_looking)
        m_lookAgain.start(kNetworkLookMs);
}

bool FolderWatch::passedOver(const struct stat& folder)
{
    // Looked up again each time: an output folder may be made after the watch started.
    m_passedOver.clear();
    for (const std::string& passed : m_settings.passedOver) {
        struct stat status { };
        if (::stat(passed.c_str(), &status) == 0)
            m_passedOver.emplace_back(status.st_dev, status.st_ino);
    }
    for (const auto& [device, inode] : m_passedOver) {
        if (folder.st_dev == device && folder.st_ino == inode)
            return true;
    }
    return false;
}

bool FolderWatch::excluded(const std::string& path, const char* name) const
{
    const std::string below = path.substr(std::min(path.size(), m_settings.folder.size()));
    return excludedName(name, below, inProgressPatterns()) || excludedName(name, below, m_settings.excluded);
}

void FolderWatch::warnOnce(int kind, const std::string& message)
{
    if (m_warned & static_cast<unsigned>(kind))
        return;
    m_warned |= static_cast<unsigned>(kind);
    emit warning(message);
}

bool FolderWatch::watchFolder(const std::string& folder)
{
    if (m_notices < 0)
        return false;
    // Only the watched folder's own move matters: a subfolder moved inside is told as moved in.
    const std::uint32_t moved = folder == m_settings.folder ? IN_MOVE_SELF : 0;
    const bool full = m_watchLimit >= 0 && static_cast<int>(m_watched.size()) >= m_watchLimit;
    const int watch = full ? -1
                           : ::inotify_add_watch(m_notices, folder.c_str(),
                               IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE | IN_DELETE_SELF
                                   | IN_ONLYDIR | IN_DONT_FOLLOW | moved);
    if (watch >= 0) {
        m_watched[watch] = folder;
        m_unwatched.erase(folder);
        return true;
    }
    if (full || errno == ENOSPC) {
        const bool first = m_unwatched.empty();
        m_unwatched.insert(folder);
        if (first) {
            warnOnce(kWatchLimit,
                translated(QT_TRANSLATE_NOOP("FolderWatch",
                               "the limit on watched folders is reached (fs.inotify.max_user_watches = %1): the "
                               "folders beyond it are looked through every 3 s; raise it with sysctl"),
                    watchLimit()));
            if (!m_lookAgain.isActive())
                m_lookAgain.start(kNetworkLookMs);
        }
    }
    return false;
}

void FolderWatch::addFolder(const std::string& folder, bool filesAreNew, bool intoKnown)
{
    struct stat self { };
    if (::stat(folder.c_str(), &self) != 0 || passedOver(self))
        return;
    if (!m_looking)
        watchFolder(folder);
    DIR* listing = ::opendir(folder.c_str());
    if (!listing)
        return;
    std::vector<std::string> subfolders;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string path = folder + entry->d_name;
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0
            || excluded(path, entry->d_name))
            continue;
        struct stat status { };
        if (::lstat(path.c_str(), &status) != 0)
            continue;
        if (S_ISDIR(status.st_mode))
            subfolders.push_back(path + "/");
        else if (S_ISREG(status.st_mode) && filesAreNew)
            waitFor(path, Seen {status.st_size, modifiedNs(status), status.st_ino}, false);
        else if (S_ISREG(status.st_mode))
            m_told[path] = Seen {status.st_size, modifiedNs(status), status.st_ino};
    }
    ::closedir(listing);
    for (const std::string& subfolder : subfolders) {
        bool known = m_unwatched.contains(subfolder);
        for (auto watched = m_watched.begin(); !known && watched != m_watched.end(); ++watched)
            known = watched->second == subfolder;
        if (intoKnown || !known)
            addFolder(subfolder, filesAreNew, intoKnown);
    }
}

void FolderWatch::readNotices()
{
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(m_notices, buffer, sizeof buffer);
        if (got <= 0)
            return;
        takeNotices(buffer, static_cast<std::size_t>(got));
    }
}

void FolderWatch::takeNotices(const char* bytes, std::size_t length)
{
    bool overflowed = false;
    for (std::size_t at = 0; at + sizeof(inotify_event) <= length;) {
        inotify_event event;
        std::memcpy(&event, bytes + at, sizeof event);
        const char* name = bytes + at + sizeof(inotify_event);
        at += sizeof(inotify_event) + event.len;
        if (event.mask & IN_Q_OVERFLOW) {
            overflowed = true;
            continue;
        }
        const auto folder = m_watched.find(event.wd);
        if (folder == m_watched.end())
            continue;
        if (event.mask & (IN_DELETE_SELF | IN_IGNORED | IN_MOVE_SELF)) {
            const bool watchedFolder = folder->second == m_settings.folder;
            m_watched.erase(folder);
            if (watchedFolder)
                gone();
            continue;
        }
        if (event.len == 0 || at > length)
            continue;
        const std::string path = folder->second + name;
        if (excluded(path, name))
            continue;
        if (event.mask & (IN_DELETE | IN_MOVED_FROM)) {
            // Gone from here: a file of that name later is a new one, a folder is no longer followed.
            if (event.mask & IN_ISDIR)
                forget(path + "/");
            m_told.erase(path);
            m_waiting.erase(path);
            continue;
        }
        if (event.mask & IN_ISDIR) {
            // A folder made or moved in: what is in it already is looked at until it stands still.
            if (event.mask & (IN_CREATE | IN_MOVED_TO))
                addFolder(path + "/", true);
            continue;
        }
        if (!(event.mask & (IN_CLOSE_WRITE | IN_MOVED_TO)))
            continue;
        struct stat status { };
        if (::lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode))
            waitFor(path, Seen {status.st_size, modifiedNs(status), status.st_ino}, true);
    }
    if (overflowed)
        rescan();
}

void FolderWatch::rescan()
{
    // Notices were lost: what they would have told is found by looking.
    warnOnce(kOverflow,
        translated(QT_TRANSLATE_NOOP("FolderWatch",
            "too many files at once; looked through the "
            "folder again")));
    addFolder(m_settings.folder, true);
}

void FolderWatch::forget(const std::string& folder)
{
    for (auto watched = m_watched.begin(); watched != m_watched.end();) {
        if (watched->second.starts_with(folder)) {
            ::inotify_rm_watch(m_notices, watched->first);
            watched = m_watched.erase(watched);
        } else {
            ++watched;
        }
    }
    for (auto unwatched = m_unwatched.lower_bound(folder);
         unwatched != m_unwatched.end() && unwatched->starts_with(folder);)
        unwatched = m_unwatched.erase(unwatched);
}

void FolderWatch::lookThrough()
{
    if (m_looking) {
        struct stat status { };
        if (::stat(m_settings.folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
            gone();
            return;
        }
        // Without notices, the whole tree is looked through each time.
        addFolder(m_settings.folder, true);
    } else {
        // Beyond the limit on watches: those folders, and what was made in them since.
        const std::set<std::string> unwatched = m_unwatched;
        for (const std::string& folder : unwatched) {
            struct stat status { };
            if (::stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
                m_unwatched.erase(folder);
            else
                addFolder(folder, true, false);
        }
    }
    check();
}

void FolderWatch::waitFor(const std::string& path, const Seen& now, bool closed)
{
    if (m_gone)
        return;
    const auto told = m_told.find(path);
    if (told != m_told.end() && told->second == now)
        return;
    // Closed after writing, with no time to settle: complete now.
    if (closed && m_settings.settleMs == 0) {
        m_waiting.erase(path);
        tell(path, now);
        return;
    }
    const auto [waiting, added] = m_waiting.try_emplace(path, Waiting {now, m_clock.elapsed(), false});
    if (!added && !(waiting->second.seen == now))
        waiting->second = Waiting {now, m_clock.elapsed(), false};
    // Without notices a file must stand still between two looks, which check as they look.
    if (!m_looking && !m_checkAgain.isActive())
        m_checkAgain.start();
}

void FolderWatch::check()
{
    const std::int64_t now = m_clock.elapsed();
    for (auto waiting = m_waiting.begin(); waiting != m_waiting.end();) {
        struct stat status { };
        if (::lstat(waiting->first.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
            waiting = m_waiting.erase(waiting);
            continue;
        }
        Waiting& file = waiting->second;
        const Seen seen {status.st_size, modifiedNs(status), status.st_ino};
        if (!(seen == file.seen)) {
            file = Waiting {seen, now, false};
        } else if (file.lookedAgain && now - file.steadySince >= m_settings.settleMs) {
            const std::string path = waiting->first;
            waiting = m_waiting.erase(waiting);
            tell(path, seen);
            continue;
        } else {
            file.lookedAgain = true;
        }
        ++waiting;
    }
    if (m_waiting.empty())
        m_checkAgain.stop();
}

void FolderWatch::gone()
{
    if (m_gone)
        return;
    m_gone = true;
    m_lookAgain.stop();
    m_checkAgain.stop();
    m_waiting.clear();
    emit folderGone();
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
