#include "TreeWalk.h"

#include "FolderWatch.h"

#include <QCoreApplication>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <stdexcept>
#include <sys/stat.h>
#include <utility>

namespace {

using Identity = std::pair<dev_t, ino_t>;

std::string withSlash(std::string folder)
{
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

class Walker {
public:
    Walker(const std::string& root, const TreeWalk::Rules& rules, const std::atomic<bool>* cancelled)
        : m_root(withSlash(root))
        , m_rules(rules)
        , m_cancelled(cancelled)
    {
        // Asked without the trailing "/", so that a file is told as such.
        std::string bare = m_root;
        while (bare.size() > 1 && bare.back() == '/')
            bare.pop_back();
        struct stat status { };
        const bool there = ::stat(bare.c_str(), &status) == 0;
        if (!there || !S_ISDIR(status.st_mode)) {
            const QString why = there ? QCoreApplication::translate("TreeWalk", "it is not a folder")
                                      : QString::fromLocal8Bit(std::strerror(errno));
            throw std::runtime_error(QCoreApplication::translate("TreeWalk", "cannot read the folder \"%1\": %2")
                                         .arg(QString::fromStdString(root), why)
                                         .toStdString());
        }
        for (const std::string& folder : rules.passedOver) {
            struct stat passed { };
            if (::stat(folder.c_str(), &passed) == 0)
                m_passedOver.emplace(passed.st_dev, passed.st_ino);
        }
    }

    TreeWalk::Found walk()
    {
        std::vector<std::string> folders = {m_root};
        while (!folders.empty() && !cancelled()) {
            const std::string folder = std::move(folders.back());
            folders.pop_back();
            list(folder, folders);
        }
        std::sort(m_found.files.begin(), m_found.files.end(),
            [](const TreeWalk::File& a, const TreeWalk::File& b) { return a.path < b.path; });
        return std::move(m_found);
    }

private:
    bool cancelled() const { return m_cancelled && m_cancelled->load(std::memory_order_relaxed); }

    // Lists one folder: its files taken, its subfolders added to folders.
    void list(const std::string& folder, std::vector<std::string>& folders)
    {
        struct stat self { };
        if (::stat(folder.c_str(), &self) != 0)
            return;
        // Each folder once, however it is reached; an output folder inside the tree never.
        if (!m_entered.emplace(self.st_dev, self.st_ino).second)
            return;
        if (m_passedOver.contains({self.st_dev, self.st_ino})) {
            m_found.passedOver.push_back(folder);
            return;
        }
        DIR* listing = ::opendir(folder.c_str());
        if (!listing) {
            m_found.unreadable.push_back(folder);
            return;
        }
        std::string subfolder = folder.substr(m_root.size());
        if (!subfolder.empty())
            subfolder.pop_back();
        while (const dirent* entry = ::readdir(listing)) {
            const char* name = entry->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
                continue;
            std::string path = folder + name;
            const std::string below = path.substr(m_root.size());
            if (FolderWatch::excludedName(name, below, FolderWatch::inProgressPatterns())
                || FolderWatch::excludedName(name, below, m_rules.excluded))
                continue;
            unsigned char type = entry->d_type;
            if (type == DT_UNKNOWN) {
                struct stat status { };
                if (::fstatat(::dirfd(listing), name, &status, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;
                type = S_ISDIR(status.st_mode) ? DT_DIR
                    : S_ISREG(status.st_mode)  ? DT_REG
                    : S_ISLNK(status.st_mode)  ? DT_LNK
                                               : DT_UNKNOWN;
            }
            // A link below the root is never followed: out of the tree it leads
            // where nobody asked to go, and inside it to what is walked anyway,
            // under its own name (a link's name would give its outputs another folder).
            if (type == DT_LNK)
                continue;
            if (type == DT_DIR)
                folders.push_back(path + '/');
            else if (type == DT_REG && taken(name, below))
                m_found.files.push_back({std::move(path), subfolder});
        }
        ::closedir(listing);
    }

    bool taken(const char* name, const std::string& below) const
    {
        // The same matching as the excluded patterns: a pattern with a "/" is matched against the path below.
        return m_rules.included.empty() ? TreeWalk::hasVideoExtension(name)
                                        : FolderWatch::excludedName(name, below, m_rules.included);
    }

    const std::string m_root; // with a trailing "/"
    const TreeWalk::Rules& m_rules;
    const std::atomic<bool>* m_cancelled;
    std::set<Identity> m_entered;
    std::set<Identity> m_passedOver;
    TreeWalk::Found m_found;
};

} // namespace

const std::vector<std::string>& videoExtensions()
{
    // The specified ten first, then what today's cameras, phones and downloads
    // bring, and the audio the catalogue's audio formats take.
    static const std::vector<std::string> extensions = {"mpg", "mpeg", "wmv", "avi", "vob", "mov", "mp2", "mpv", "mp4",
        "flv", "mkv", "webm", "m4v", "ts", "m2ts", "mts", "3gp", "ogv", "mp3", "wav", "flac", "m4a", "ogg", "opus"};
    return extensions;
}

bool TreeWalk::hasVideoExtension(const std::string& name)
{
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size())
        return false;
    std::string extension = name.substr(dot + 1);
    // In any case: a library's "Holiday.Mp4" is a video all the same.
    for (char& c : extension)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    const std::vector<std::string>& known = videoExtensions();
    return std::find(known.begin(), known.end(), extension) != known.end();
}

TreeWalk::Found TreeWalk::files(const std::string& root, const Rules& rules, const std::atomic<bool>* cancelled)
{
    return Walker(root, rules, cancelled).walk();
}

bool isSafeSubfolder(const std::string& subfolder)
{
    if (subfolder.empty())
        return true;
    if (subfolder.find('\0') != std::string::npos)
        return false;
    std::size_t from = 0;
    for (;;) {
        const std::size_t end = std::min(subfolder.find('/', from), subfolder.size());
        const std::string_view part = std::string_view(subfolder).substr(from, end - from);
        if (part.empty() || part == "." || part == "..")
            return false;
        if (end == subfolder.size())
            return true;
        from = end + 1;
    }
}
