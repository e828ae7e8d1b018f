#include "RunJournal.h"

#include "Wording.h"
#include "overwriteManager.h"

#include <QCoreApplication>

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

constexpr const char* kOutcomeWords[] = {"converted", "failed", "stopped", "skipped"};
constexpr const char* kCannotWrite = QT_TRANSLATE_NOOP("RunJournal", "cannot write the journal \"%1\": %2");

// A message in the user's language; the journal's own lines are never translated.
std::string said(const char* source, const std::string& first, const std::string& second = {})
{
    return wording::filled(QCoreApplication::translate("RunJournal", source),
        {QString::fromStdString(first), QString::fromStdString(second)})
        .toStdString();
}

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
            throw std::runtime_error(said(kCannotWrite, path, std::strerror(errno)));
        done += static_cast<std::size_t>(wrote);
    }
}

std::string checksummed(const std::string& body)
{
    char checksum[16];
    std::snprintf(checksum, sizeof checksum, "%08x", crc32(body));
    return body + '\t' + checksum + '\n';
}

std::string identityText(const FileIdentity& file)
{
    return std::to_string(file.device) + ':' + std::to_string(file.inode);
}

std::optional<FileIdentity> parseIdentity(const std::string& text)
{
    const std::size_t colon = text.find(':');
    if (text.size() > 41 || colon == std::string::npos || colon == 0 || colon + 1 >= text.size()
        || text.find_first_not_of("0123456789:") != std::string::npos || text.find(':', colon + 1) != std::string::npos)
        return std::nullopt;
    return FileIdentity {static_cast<dev_t>(std::stoull(text.substr(0, colon))),
        static_cast<ino_t>(std::stoull(text.substr(colon + 1)))};
}

// The field of this layout that tells a file by its contents: size and modification time.
std::string versionText(const RunJournal::Key& key)
{
    return key.size < 0 ? "-" : std::to_string(key.size) + ':' + std::to_string(key.modifiedNs);
}

bool parseVersion(const std::string& text, RunJournal::Key& key)
{
    if (text == "-")
        return true;
    const std::size_t colon = text.find(':');
    if (text.size() > 41 || colon == std::string::npos || colon == 0 || colon + 1 >= text.size()
        || text.find_first_not_of("0123456789:") != std::string::npos || text.find(':', colon + 1) != std::string::npos)
        return false;
    key.size = static_cast<std::int64_t>(std::stoull(text.substr(0, colon)));
    key.modifiedNs = static_cast<std::int64_t>(std::stoull(text.substr(colon + 1)));
    return true;
}

// The identity an item has in the lines of this layout (those of the
// layout before read as having no size and time).
std::string identity(const RunJournal::Key& key)
{
    return std::to_string(key.occurrence) + '\t' + std::to_string(key.format) + '\t' + escaped(key.input) + '\t'
        + escaped(key.outputDir) + '\t' + versionText(key);
}

std::int64_t secondsOf(const std::string& time)
{
    std::tm parts {};
    if (!::strptime(time.c_str(), "%Y-%m-%dT%H:%M:%SZ", &parts))
        return 0;
    return static_cast<std::int64_t>(::timegm(&parts));
}

// The identity an item had in the lines of the layout before.
std::string positionIdentity(const RunJournal::Key& key)
{
    return std::to_string(key.position) + '\t' + std::to_string(key.format) + '\t' + escaped(key.input) + '\t'
        + escaped(key.outputDir);
}

} // namespace

RunJournal::RunJournal(const std::string& path)
    : m_path(path)
{
    // Non-blocking: a FIFO here must not hold the run.
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644);
    if (m_fd < 0)
        throw JournalError(
            said(QT_TRANSLATE_NOOP("RunJournal", "cannot open the journal \"%1\": %2"), path, std::strerror(errno)));
    try {
        struct stat status { };
        if (::fstat(m_fd, &status) != 0 || !S_ISREG(status.st_mode))
            throw JournalError(said(QT_TRANSLATE_NOOP("RunJournal", "the journal \"%1\" is not a regular file"), path));
        // Refused rather than waited for: the other run may last for hours.
        if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK)
                throw JournalError(
                    said(QT_TRANSLATE_NOOP("RunJournal", "the journal \"%1\" is in use by another run"), path));
            throw JournalError(said(
                QT_TRANSLATE_NOOP("RunJournal", "cannot lock the journal \"%1\": %2"), path, std::strerror(errno)));
        }
        if (status.st_size > kMaxBytes)
            throw JournalError(said(QT_TRANSLATE_NOOP("RunJournal",
                                        "the journal \"%1\" is larger than 256 MiB: it is not a journal of Calvera's"),
                path));
        if (status.st_size == 0)
            append(std::string(kHeader) + '\n');
        else
            read();
        resolvePublishing();
    } catch (const JournalError&) {
        ::close(m_fd);
        throw;
    } catch (const std::exception& error) {
        ::close(m_fd);
        throw JournalError(error.what());
    }
}

RunJournal::~RunJournal()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void RunJournal::read()
{
    const auto refuse = [this](std::int64_t line) {
        return JournalError(said(QT_TRANSLATE_NOOP("RunJournal",
                                     "the journal \"%1\" is not a journal of Calvera's (line %2 is no journal line); "
                                     "it was left unchanged"),
            m_path, std::to_string(line)));
    };
    // A piece at a time: what is kept is an entry per item, not the text.
    std::string carried;
    std::size_t searched = 0; // what of carried holds no line end
    std::int64_t number = 0;
    bool headed = false;
    const auto take = [&](const std::string& line) {
        ++number;
        if (number == 1 && (line == std::string(kHeader) + '\n' || line == std::string(kHeaderBefore) + '\n')) {
            headed = true;
            return;
        }
        const std::optional<Line> read = parseLine(line);
        // Without a header a file is taken only when it is a journal through and through, of the first
        // layout from its first line (later runs appended lines of their own layouts).
        if (!headed && (!read || (number == 1 && read->layout != 1)))
            throw refuse(number);
        if (!read) {
            ++m_damaged;
        } else if (read->layout == 1) {
            m_byPosition[positionIdentity(read->key)] = *read->outcome;
        } else if (Entry& entry = m_items[identity(read->key)]; read->outcome) {
            entry.outcome = read->outcome;
            entry.endedAt = secondsOf(read->time);
            entry.started = false;
            entry.publishing.reset();
        } else if (read->started) {
            entry.started = true;
        } else {
            entry.publishing.emplace(read->name, *read->file);
        }
    };
    // No line of a journal is this long: a file with one is something else.
    constexpr std::size_t kLongestLine = 1 << 20;
    char buffer[1 << 16];
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(m_fd, buffer, sizeof buffer, at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw JournalError(said(
                QT_TRANSLATE_NOOP("RunJournal", "cannot read the journal \"%1\": %2"), m_path, std::strerror(errno)));
        if (got == 0)
            break;
        at += got;
        carried.append(buffer, static_cast<std::size_t>(got));
        std::size_t from = 0;
        for (std::size_t end; (end = carried.find('\n', std::max(from, searched))) != std::string::npos; from = end + 1)
            take(carried.substr(from, end - from + 1));
        carried.erase(0, from);
        searched = carried.size();
        if (carried.size() > kLongestLine)
            throw refuse(number + 1);
    }
    // A last line cut short: it is passed over, and the next line starts on a line of its own.
    if (!carried.empty()) {
        if (!headed && number == 0)
            throw refuse(1);
        ++m_damaged;
        append("\n");
    }
}

void RunJournal::resolvePublishing()
{
    for (auto& [item, entry] : m_items) {
        if (!entry.publishing)
            continue;
        const auto [wanted, file] = *entry.publishing;
        entry.publishing.reset();
        // Names are taken in order: the file is under the first free name or before it.
        std::string name = wanted;
        for (int tries = 0; tries < TOverwriteManager::kMaxNames; ++tries) {
            struct stat status { };
            if (::lstat(name.c_str(), &status) != 0)
                break;
            if (FileIdentity {status.st_dev, status.st_ino} == file) {
                append(checksummed(
                    "converted\t" + item + '\t' + escaped(name) + '\t' + utcNow() + '\t' + identityText(file)));
                entry.outcome = Outcome::converted;
                entry.endedAt = std::time(nullptr);
                entry.started = false;
                ++m_foundPublished;
                break;
            }
            name = TOverwriteManager::nextName(name, extractFileExt(wanted));
        }
    }
}

void RunJournal::append(const std::string& line)
{
    writeWhole(m_fd, line, m_path);
    if (::fdatasync(m_fd) != 0)
        throw std::runtime_error(said(kCannotWrite, m_path, std::strerror(errno)));
}

std::string RunJournal::lineFor(const Key& key, Outcome outcome, const std::string& output, const std::string& time,
    const std::optional<FileIdentity>& file)
{
    return checksummed(std::string(kOutcomeWords[static_cast<int>(outcome)]) + '\t' + identity(key) + '\t'
        + escaped(output) + '\t' + time + '\t' + (file ? identityText(*file) : "-"));
}

std::optional<RunJournal::Line> RunJournal::parseLine(const std::string& line)
{
    if (line.size() < 10 || line.back() != '\n')
        return std::nullopt;
    const std::string text = line.substr(0, line.size() - 1);
    const std::size_t lastTab = text.rfind('\t');
    if (lastTab == std::string::npos || checksummed(text.substr(0, lastTab)) != line)
        return std::nullopt;
    std::vector<std::string> parts = fields(text.substr(0, lastTab));
    // Seven fields: the first layout, whose second field was the position;
    // eight: the second, without the size and time of the file.
    if (parts.size() < 7 || parts.size() > 9)
        return std::nullopt;
    Line read;
    read.layout = static_cast<int>(parts.size()) - 6;
    if (read.layout == 3 && !parseVersion(parts[5], read.key))
        return std::nullopt;
    if (read.layout == 3)
        parts.erase(parts.begin() + 5);
    for (int i = 0; i < static_cast<int>(std::size(kOutcomeWords)); ++i) {
        if (parts[0] == kOutcomeWords[i])
            read.outcome = static_cast<Outcome>(i);
    }
    const bool publishing = read.layout > 1 && parts[0] == "publishing";
    read.started = read.layout == 3 && parts[0] == "started";
    const auto second = number(parts[1]);
    const auto format = number(parts[2]);
    const auto input = unescaped(parts[3]);
    const auto outputDir = unescaped(parts[4]);
    const auto name = unescaped(parts[5]);
    if ((!read.outcome && !publishing && !read.started) || !second || !format || !input || !outputDir || !name)
        return std::nullopt;
    (read.layout == 1 ? read.key.position : read.key.occurrence) = *second;
    read.key.format = *format;
    read.key.input = *input;
    read.key.outputDir = *outputDir;
    read.name = *name;
    read.time = parts[6];
    if (read.layout > 1 && parts[7] != "-") {
        read.file = parseIdentity(parts[7]);
        if (!read.file)
            return std::nullopt;
    }
    if (publishing && !read.file)
        return std::nullopt;
    return read;
}

const RunJournal::Entry* RunJournal::find(const Key& key) const
{
    if (const auto found = m_items.find(identity(key)); found != m_items.end())
        return &found->second;
    if (key.size < 0)
        return nullptr;
    // A file of a watched folder recorded before its size and time were:
    // the same item unless it was changed after its line was written.
    Key before = key;
    before.size = -1;
    const auto found = m_items.find(identity(before));
    if (found == m_items.end() || !found->second.outcome || key.modifiedNs / 1000000000 >= found->second.endedAt)
        return nullptr;
    return &found->second;
}

std::optional<RunJournal::Outcome> RunJournal::lastOutcome(const Key& key) const
{
    if (const Entry* entry = find(key); entry && entry->outcome)
        return entry->outcome;
    const auto found = m_byPosition.find(positionIdentity(key));
    return found == m_byPosition.end() ? std::nullopt : std::optional<Outcome>(found->second);
}

bool RunJournal::unfinished(const Key& key) const
{
    const Entry* entry = find(key);
    return entry && entry->started;
}

RunJournal::Tally RunJournal::tally() const
{
    Tally tally;
    const auto count = [&tally](Outcome outcome) {
        (outcome == Outcome::converted        ? tally.converted
                : outcome == Outcome::failed  ? tally.failed
                : outcome == Outcome::skipped ? tally.skipped
                                              : tally.stopped)++;
    };
    for (const auto& [item, entry] : m_items) {
        if (entry.started)
            ++tally.unfinished;
        else if (entry.outcome)
            count(*entry.outcome);
    }
    for (const auto& [item, outcome] : m_byPosition)
        count(outcome);
    return tally;
}

void RunJournal::recordStarted(const Key& key)
{
    append(checksummed("started\t" + identity(key) + "\t-\t" + utcNow() + "\t-"));
    m_items[identity(key)].started = true;
}

void RunJournal::recordPublishing(const Key& key, const std::string& wanted, const FileIdentity& file)
{
    append(checksummed(
        "publishing\t" + identity(key) + '\t' + escaped(wanted) + '\t' + utcNow() + '\t' + identityText(file)));
}

void RunJournal::record(
    const Key& key, Outcome outcome, const std::string& output, const std::optional<FileIdentity>& file)
{
    append(lineFor(key, outcome, output, utcNow(), file));
    Entry& entry = m_items[identity(key)];
    entry.outcome = outcome;
    entry.endedAt = std::time(nullptr);
    entry.started = false;
    entry.publishing.reset();
}
