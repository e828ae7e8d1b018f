#include "ItemLog.h"

#include "ProgramDir.h"
#include "overwriteManager.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// "2026-12-08_13-21-25_": the date and time every log name starts with.
constexpr std::size_t kStampLength = 20;
constexpr const char* kLogExtension = ".log";
// Room left in a name for the "_2" of each further try.
constexpr std::size_t kRoomForTries = 24;

bool isUtf8Continuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// name, or its start and end around "…" when it is longer than limit bytes;
// characters are never cut in half.
std::string shortened(const std::string& name, std::size_t limit)
{
    if (name.size() <= limit)
        return name;
    const std::string ellipsis = "\u2026";
    const std::size_t keep = limit > ellipsis.size() ? limit - ellipsis.size() : 0;
    std::size_t head = keep / 2;
    while (head > 0 && isUtf8Continuation(name[head]))
        --head;
    std::size_t tail = name.size() - (keep - head);
    while (tail < name.size() && isUtf8Continuation(name[tail]))
        ++tail;
    return name.substr(0, head) + ellipsis + name.substr(tail);
}

std::size_t longestName(const std::string& folder)
{
    const long most = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    return most > 0 ? static_cast<std::size_t>(most) : 255;
}

bool isDigits(const std::string& text, std::size_t from, std::size_t count)
{
    for (std::size_t i = from; i < from + count; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9')
            return false;
    }
    return true;
}

} // namespace

bool ItemLog::isLogName(const std::string& name)
{
    // "YYYY-MM-DD_HH-MM-SS_" + the input's name + ".log"
    const std::string pattern = "dddd-dd-dd_dd-dd-dd_";
    if (name.size() <= kStampLength + std::string(kLogExtension).size() || !name.ends_with(kLogExtension))
        return false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == 'd' ? !isDigits(name, i, 1) : name[i] != pattern[i])
            return false;
    }
    return true;
}

ItemLog::ItemLog(const std::string& folder, const std::string& input, const std::string& commandLine)
{
    if (folder.empty())
        return;
    std::error_code ec;
    fs::create_directories(folder, ec);
    const std::string prefix = folder + (folder.back() == '/' ? "" : "/");
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    ::localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d_%H-%M-%S_", &local);
    const std::size_t limit = longestName(prefix);
    const std::size_t fixed = kStampLength + std::string(kLogExtension).size() + kRoomForTries;
    const std::string inputName = shortened(extractFileName(input), limit > fixed ? limit - fixed : 1);
    std::string name = prefix + stamp + inputName + kLogExtension;
    for (int tries = 0; tries < TOverwriteManager::kMaxNames; ++tries) {
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd >= 0) {
            m_file = ::fdopen(fd, "w");
            m_path = name;
            break;
        }
        if (errno != EEXIST) {
            m_error = "no log could be made in \"" + prefix + "\": " + std::strerror(errno);
            return;
        }
        name = TOverwriteManager::nextName(name, kLogExtension);
    }
    write(commandLine);
}

ItemLog::~ItemLog()
{
    if (m_file)
        std::fclose(m_file);
}

void ItemLog::write(std::string_view line)
{
    if (!m_file || m_written > kMaxBytes)
        return;
    m_written += line.size() + 1;
    if (m_written > kMaxBytes) {
        std::fputs("[the log ends here: ffmpeg wrote more than this log keeps]\n", m_file);
        return;
    }
    std::fwrite(line.data(), 1, line.size(), m_file);
    std::fputc('\n', m_file);
}

std::string ItemLog::defaultFolder()
{
    const std::string folder = userFolder("XDG_STATE_HOME", ".local/state");
    return folder.empty() ? folder : folder + "logs/";
}

void ItemLog::prune(const std::string& folder, std::uintmax_t keepBytes)
{
    struct Log {
        fs::path path;
        fs::file_time_type written;
        std::uintmax_t size;
    };
    std::vector<Log> logs;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        std::error_code entryError;
        // Only Calvera's own logs, never what a link leads to.
        if (isLogName(entry.path().filename().string()) && entry.is_regular_file(entryError)
            && !entry.is_symlink(entryError))
            logs.push_back({entry.path(), entry.last_write_time(entryError), entry.file_size(entryError)});
    }
    std::sort(logs.begin(), logs.end(), [](const Log& a, const Log& b) { return a.written > b.written; });
    std::uintmax_t kept = 0;
    for (const Log& log : logs) {
        kept += log.size;
        if (kept > keepBytes)
            fs::remove(log.path, ec);
    }
}
