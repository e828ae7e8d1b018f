#include "ItemLog.h"

#include "ProgramDir.h"
#include "overwriteManager.h"

#include <algorithm>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

ItemLog::ItemLog(const std::string& folder, const std::string& input, const std::string& commandLine)
{
    if (folder.empty())
        return;
    std::error_code ec;
    fs::create_directories(folder, ec);
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    ::localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d_%H-%M-%S_", &local);
    std::string name = folder + (folder.back() == '/' ? "" : "/") + stamp + extractFileName(input) + ".log";
    for (int tries = 0; tries < TOverwriteManager::kMaxNames; ++tries) {
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            m_file = ::fdopen(fd, "w");
            m_path = name;
            break;
        }
        if (errno != EEXIST)
            return;
        name = TOverwriteManager::nextName(name, ".log");
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
        if (entry.path().extension() == ".log" && entry.is_regular_file(entryError))
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
