#pragma once

#include <QObject>
#include <QTimer>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <sys/types.h>
#include <vector>

class QSocketNotifier;

// Tells of every file that appears in a folder or below it, once it is
// complete: closed after writing or moved in, as the kernel's change notices
// (inotify) say. A file still being written is not told. Files found by
// looking (those there at the start, those in a folder that was just made or
// moved in) count as complete once their size and time stood still across
// two looks a moment apart. Where the file system gives no change notices
// (NFS, SMB and other network file systems) the folder is looked through
// every few seconds instead. Hidden files and folders, and the folders
// passed over (an output folder inside the watched one), are never watched.
// Each file is told once, and again only when it is replaced or written anew.
class FolderWatch final : public QObject {
    Q_OBJECT

public:
    // folder and passedOver are absolute. With includeExisting, the files
    // there at the start are told too.
    FolderWatch(
        std::string folder, std::vector<std::string> passedOver, bool includeExisting, QObject* parent = nullptr);
    ~FolderWatch() override;

    // Raises std::runtime_error when the folder cannot be watched.
    void start();
    // Before start: looks through the folder every few seconds even where
    // the file system gives change notices, as on a network file system.
    void lookOnly() { m_lookOnly = true; }
    // True when the folder is looked through instead of followed by notices.
    bool looking() const { return m_looking; }

    // How often files found by looking are looked at again.
    static constexpr int kLookMs = 1000;
    static constexpr int kNetworkLookMs = 3000;

signals:
    void fileComplete(const std::string& path);
    // The watched folder itself was removed or moved away: nothing more comes. Told once.
    void folderGone();

private:
    struct Seen {
        off_t size = 0;
        std::int64_t modified = 0;
        ino_t inode = 0;
        bool operator==(const Seen&) const = default;
    };
    void addFolder(const std::string& folder, bool filesAreNew);
    void readNotices();
    void look();
    // A file found by looking: told once it stood still across two looks.
    void lookedAt(const std::string& path, const Seen& now);
    void tell(const std::string& path, const Seen& now);
    bool passedOver(const std::string& folder) const;
    void gone();

    std::string m_folder; // with a trailing "/"
    std::vector<std::string> m_passedOver; // with trailing "/"
    bool m_includeExisting;
    bool m_lookOnly = false;
    bool m_looking = false;
    bool m_gone = false;
    int m_notices = -1;
    std::unique_ptr<QSocketNotifier> m_noticeReader;
    std::map<int, std::string> m_watched; // watch descriptor: folder, with a trailing "/"
    std::map<std::string, Seen> m_waiting; // found by looking, not yet still
    std::map<std::string, Seen> m_told;
    QTimer m_lookAgain;
};
