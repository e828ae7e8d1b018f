#include "RunJournal.h"

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kOutcomeWords[] = {"converted", "failed", "stopped"};

std::uint32_t crc32(const std::string& text)
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> values {};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int bit = 0; bit < 8; ++bit)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            values[i] = c;
        }
        return values;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : text)
        crc = table[(crc ^ static_cast<unsigned char>(c)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

// Names are kept byte for byte; only what would break a line's fields is escaped.
std::string escaped(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '%' || byte < 0x20 || byte == 0x7F) {
            char code[4];
            std::snprintf(code, sizeof code, "%%%02X", byte);
            out += code;
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<std::string> unescaped(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i + 1]))
            || !std::isxdigit(static_cast<unsigned char>(text[i + 2])))
            return std::nullopt;
        out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
        i += 2;
    }
    return out;
}

std::optional<int> number(const std::string& text)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stoi(text);
}

std::vector<std::string> fields(const std::string& line)
{
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (std::size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
        parts.push_back(line.substr(from, tab - from));
    parts.push_back(line.substr(from));
    return parts;
}

std::string utcNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm parts {};
    ::gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

void writeWhole(int fd, const std::string& bytes, const std::string& path)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            throw std::runtime_error("cannot write the journal \"" + path + "\": " + std::strerror(errno));
        done += static_cast<std::size_t>(wrote);
    }
}

std::string readAll(int fd, const std::string& path)
{
    std::string text;
    char buffer[65536];
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(fd, buffer, sizeof buffer, at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw std::runtime_error("cannot read the journal \"" + path + "\": " + std::strerror(errno));
        if (got == 0)
            return text;
        text.append(buffer, static_cast<std::size_t>(got));
        at += got;
    }
}

// Holds the journal's lock, so that runs sharing a journal by mistake still write whole lines.
class Locked {
public:
    explicit Locked(int fd)
        : m_fd(fd)
    {
        while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) { }
    }
    ~Locked() { ::flock(m_fd, LOCK_UN); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    int m_fd;
};

} // namespace

RunJournal::RunJournal(const std::string& path)
    : m_path(path)
{
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK, 0644);
    if (m_fd < 0)
        throw std::runtime_error("cannot open the journal \"" + path + "\": " + std::strerror(errno));
    try {
        struct stat status { };
        if (::fstat(m_fd, &status) != 0 || !S_ISREG(status.st_mode))
            throw std::runtime_error("the journal \"" + path + "\" is not a regular file");
        const Locked lock(m_fd);
        const std::string text = readAll(m_fd, path);
        std::size_t from = 0;
        for (std::size_t end; (end = text.find('\n', from)) != std::string::npos; from = end + 1) {
            if (const auto read = parseLine(text.substr(from, end - from + 1)))
                m_last[identity(read->first)] = read->second;
            else
                ++m_damaged;
        }
        // A last line cut short: it is passed over, and the next line starts on a line of its own.
        if (from < text.size()) {
            ++m_damaged;
            writeWhole(m_fd, "\n", path);
        }
    } catch (...) {
        ::close(m_fd);
        throw;
    }
}

RunJournal::~RunJournal()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::string RunJournal::identity(const Key& key)
{
    return std::to_string(key.position) + '\t' + std::to_string(key.format) + '\t' + escaped(key.input) + '\t'
        + escaped(key.outputDir);
}

std::string RunJournal::lineFor(const Key& key, Outcome outcome, const std::string& output, const std::string& time)
{
    const std::string body = std::string(kOutcomeWords[static_cast<int>(outcome)]) + '\t' + identity(key) + '\t'
        + escaped(output) + '\t' + time;
    char checksum[16];
    std::snprintf(checksum, sizeof checksum, "%08x", crc32(body));
    return body + '\t' + checksum + '\n';
}

std::optional<std::pair<RunJournal::Key, RunJournal::Outcome>> RunJournal::parseLine(const std::string& line)
{
    if (line.size() < 10 || line.back() != '\n')
        return std::nullopt;
    const std::string text = line.substr(0, line.size() - 1);
    const std::size_t lastTab = text.rfind('\t');
    if (lastTab == std::string::npos)
        return std::nullopt;
    char checksum[16];
    std::snprintf(checksum, sizeof checksum, "%08x", crc32(text.substr(0, lastTab)));
    if (text.substr(lastTab + 1) != checksum)
        return std::nullopt;
    const std::vector<std::string> parts = fields(text.substr(0, lastTab));
    if (parts.size() != 7)
        return std::nullopt;
    int outcome = -1;
    for (int i = 0; i < 3; ++i) {
        if (parts[0] == kOutcomeWords[i])
            outcome = i;
    }
    const auto position = number(parts[1]);
    const auto format = number(parts[2]);
    const auto input = unescaped(parts[3]);
    const auto outputDir = unescaped(parts[4]);
    if (outcome < 0 || !position || !format || !input || !outputDir)
        return std::nullopt;
    return std::make_pair(Key {*position, *format, *input, *outputDir}, static_cast<Outcome>(outcome));
}

std::optional<RunJournal::Outcome> RunJournal::lastOutcome(const Key& key) const
{
    const auto found = m_last.find(identity(key));
    return found == m_last.end() ? std::nullopt : std::optional<Outcome>(found->second);
}

void RunJournal::record(const Key& key, Outcome outcome, const std::string& output)
{
    const std::string line = lineFor(key, outcome, output, utcNow());
    {
        const Locked lock(m_fd);
        writeWhole(m_fd, line, m_path);
    }
    if (::fdatasync(m_fd) != 0)
        throw std::runtime_error("cannot write the journal \"" + m_path + "\": " + std::strerror(errno));
    m_last[identity(key)] = outcome;
}
