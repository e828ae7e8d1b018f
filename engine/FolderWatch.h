#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <sys/types.h>
#include <vector>

class QSocketNotifier;

// Tells of every file that appears in a folder or below it, once it is
// complete: closed after writing or moved in, as the kernel's change notices
// (inotify) say, and then unchanged in size and time for the settle time (a
// writer that reopens the file, a resumed download, closes it many times).
// Files found by looking (those there at the start, those in a folder that
// was just made or moved in, all of them after the notices overflowed) count
// as closed. Where the file system gives no change notices (NFS, SMB and
// other network file systems), and for the folders beyond the limit on
// watches, the folder is looked through every few seconds instead. Names
// that mark files in progress (downloads, temporaries, hidden files) and
// the folders passed over (an output folder inside the watched one, however
// it is spelt: they are known by device and inode) are never watched. Each
// file is told once, and again only when it is replaced or written anew.
class FolderWatch final : public QObject {
    Q_OBJECT

public:
    struct Settings {
        std::string folder; // absolute
        std::vector<std::string> passedOver; // absolute; they need not exist yet
        bool includeExisting = true; // the files there at the start are told too
        int settleMs = 5000;
        // Shell patterns of names passed over, besides those of files in
        // progress; a pattern with a "/" is matched against the path below the folder.
        std::vector<std::string> excluded;
    };

    explicit FolderWatch(Settings settings, QObject* parent = nullptr);
    ~FolderWatch() override;

    // Raises std::runtime_error when the folder cannot be watched.
    void start();
    // Before start: looks through the folder every few seconds even where
    // the file system gives change notices, as on a network file system.
    void lookOnly() { m_lookOnly = true; }
    // Before start: follows at most this many folders by change notices, as
    // if the kernel's limit on watches were reached there (for tests).
    void limitWatches(int most) { m_watchLimit = most; }
    // True when the folder is looked through instead of followed by notices.
    bool looking() const { return m_looking; }
    // Folders looked through because the limit on watches was reached.
    int unwatchedFolders() const { return static_cast<int>(m_unwatched.size()); }

    // What the kernel's change notices say, as read from inotify; public so
    // that a test can give what the kernel gives rarely (an overflow).
    void takeNotices(const char* bytes, std::size_t length);

    // Names of downloads and temporaries in progress, and hidden ones.
    static const std::vector<std::string>& inProgressPatterns();
    // True when a name (or the path below the folder) matches one of patterns.
    static bool excludedName(
        const std::string& name, const std::string& below, const std::vector<std::string>& patterns);

    // How often the folders without change notices are looked through.
    static constexpr int kNetworkLookMs = 3000;

signals:
    void fileComplete(const std::string& path);
    // The watched folder itself was removed or moved away: nothing more comes. Told once.
    void folderGone();
    // Something the user should know about the watch (the notices overflowed,
    // the limit on watches was reached), each kind told once.
    void warning(const std::string& message);

private:
    struct Seen {
        off_t size = 0;
        std::int64_t modified = 0;
        ino_t inode = 0;
        bool operator==(const Seen&) const = default;
    };
    struct Waiting {
        Seen seen;
        std::int64_t steadySince = 0; // on m_clock, in ms
        bool lookedAgain = false; // at least one look after it was found
    };
    void addFolder(const std::string& folder, bool filesAreNew, bool intoKnown = true);
    bool watchFolder(const std::string& folder);
    void readNotices();
    void rescan();
    void lookThrough();
    void check();
    void waitFor(const std::string& path, const Seen& now, bool closed);
    void tell(const std::string& path, const Seen& now);
    bool passedOver(const struct stat& folder);
    bool excluded(const std::string& path, const char* name) const;
    void forget(const std::string& folder);
    void gone();
    void warnOnce(int kind, const std::string& message);

    Settings m_settings; // folder with a trailing "/"
    std::vector<std::pair<dev_t, ino_t>> m_passedOver; // those that exist, by identity
    bool m_lookOnly = false;
    bool m_looking = false;
    bool m_gone = false;
    int m_notices = -1;
    int m_watchLimit = -1; // -1: the kernel's
    unsigned m_warned = 0; // the kinds of warning given
    std::unique_ptr<QSocketNotifier> m_noticeReader;
    std::map<int, std::string> m_watched; // watch descriptor: folder, with a trailing "/"
    std::set<std::string> m_unwatched; // folders looked through instead
    std::map<std::string, Waiting> m_waiting; // not yet complete
    std::map<std::string, Seen> m_told;
    QElapsedTimer m_clock;
    QTimer m_lookAgain; // the folders without notices
    QTimer m_checkAgain; // the files waiting
};
