#include "BatchConsole.h"

#include "ClockText.h"
#include "StopSignals.h"
#include "command.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr int kBarWidth = 30;

std::string fileNameOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

QString text(const std::string& value)
{
    return QString::fromStdString(value);
}

// A number of seconds or, when it cannot be told, JSON's null.
QJsonValue secondsOrNull(double seconds)
{
    return seconds >= 0 ? QJsonValue(std::round(seconds)) : QJsonValue();
}

// Seconds to a tenth, or JSON's null when not known.
QJsonValue tenthsOrNull(double seconds)
{
    return seconds >= 0 ? QJsonValue(std::round(seconds * 10) / 10) : QJsonValue();
}

QJsonValue checkName(ItemOutcome::Check check)
{
    switch (check) {
    case ItemOutcome::Check::duration: return "duration";
    case ItemOutcome::Check::decode: return "decode";
    case ItemOutcome::Check::none: break;
    }
    return {};
}

QJsonArray failedInputs(const RunSummary& run)
{
    QJsonArray array;
    for (const RunSummary::Failure& failure : run.failures)
        array.append(text(failure.source));
    return array;
}

QJsonArray textArray(const std::vector<std::string>& values)
{
    QJsonArray array;
    for (const std::string& value : values)
        array.append(text(value));
    return array;
}

int terminalColumns()
{
    winsize size {};
    return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

// The columns a character takes on a terminal: two for the wide ones of East Asian scripts.
int columnsOf(char32_t c)
{
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3)
        || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60)
        || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) || (c >= 0x20000 && c <= 0x3FFFD);
    return wide ? 2 : 1;
}

} // namespace

std::string jsonLine(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

BatchConsole::Options BatchConsole::optionsForThisProcess()
{
    Options options;
    options.startLines = ::isatty(STDOUT_FILENO) != 1;
    const char* term = std::getenv("TERM");
    options.liveLine = ::isatty(STDERR_FILENO) == 1 && !(term && std::strcmp(term, "dumb") == 0);
    return options;
}

BatchConsole::BatchConsole(int itemCount, const Options& options)
    : m_itemCount(itemCount)
    , m_options(options)
{
    if (!m_options.liveLine || m_options.quiet)
        return;
    m_columns = terminalColumns();
    m_resized = std::make_unique<SignalWatch>(std::initializer_list<int> {SIGWINCH}, [this](int) {
        m_columns = terminalColumns();
        if (m_statusShown)
            drawStatus();
    });
}

BatchConsole::~BatchConsole()
{
    clearStatus();
}

void BatchConsole::itemStarted(int index, const std::string& source)
{
    m_running[index] = Running {source, ItemProgress {}};
    if (m_options.json) {
        json(jsonLine({{"event", "start"}, {"item", index}, {"input", text(source)}, {"items", m_itemCount}}));
    } else if (m_options.startLines && !m_options.quiet) {
        clearStatus();
        std::printf("[%d/%d] %s\n", index + 1, m_itemCount, source.c_str());
        std::fflush(stdout);
    }
    drawStatus();
}

void BatchConsole::itemProgress(int index, const ItemProgress& progress, std::int64_t runSecondsLeft)
{
    if (const auto running = m_running.find(index); running != m_running.end())
        running->second.progress = progress;
    m_runLeft = runSecondsLeft;
    drawStatus();
    if (!m_options.json)
        return;
    const auto now = std::chrono::steady_clock::now();
    const auto last = m_lastProgress.find(index);
    if (last != m_lastProgress.end() && now - last->second < std::chrono::seconds(1))
        return;
    m_lastProgress[index] = now;
    json(jsonLine({{"event", "progress"}, {"item", index},
        {"percent", progress.fraction >= 0 ? QJsonValue(std::round(progress.fraction * 1000) / 10) : QJsonValue()},
        {"speed", progress.speed > 0 ? QJsonValue(progress.speed) : QJsonValue()},
        {"eta_s", secondsOrNull(progress.secondsLeft)}, {"position_s", std::round(progress.position * 10) / 10},
        {"run_eta_s", secondsOrNull(static_cast<double>(runSecondsLeft))}, {"checking", progress.checking}}));
}

void BatchConsole::itemFinished(int index, const ItemOutcome& outcome)
{
    m_running.erase(index);
    m_lastProgress.erase(index);
    const char* word = outcome.converted ? "converted" : (outcome.stopped ? "stopped" : "failed");
    if (m_options.json) {
        QJsonObject event {{"event", "end"}, {"item", index}, {"input", text(outcome.source)}, {"outcome", word},
            {"exit_code", static_cast<qint64>(outcome.exitCode)}, {"output", text(outcome.output)},
            {"reason", outcome.converted ? QJsonValue() : QJsonValue(text(outcome.reason))},
            {"log", outcome.log.empty() ? QJsonValue() : QJsonValue(text(outcome.log))},
            {"input_s", tenthsOrNull(outcome.inputSeconds)}, {"output_s", tenthsOrNull(outcome.outputSeconds)},
            {"checked", checkName(outcome.checked)}, {"decode_errors", outcome.decodeErrors}};
        if (m_options.journal)
            event.insert("recorded", outcome.recorded);
        json(jsonLine(event));
        drawStatus();
        return;
    }
    // Quiet, only what went wrong is told.
    const bool wrong = !outcome.converted || !outcome.recorded;
    if (m_options.quiet && !wrong)
        return;
    clearStatus();
    std::printf("%-6s exit %-3u %s%s\n", outcome.converted ? "done" : "failed", outcome.exitCode,
        outcome.output.empty() ? "(not run)" : outcome.output.c_str(),
        m_options.journal && !outcome.recorded ? " (not recorded)" : "");
    if (!outcome.converted && !outcome.reason.empty())
        std::printf("       %s\n", outcome.reason.c_str());
    if (outcome.converted && outcome.decodeErrors > 0)
        std::printf("       converted with %d decoding errors (see log)\n", outcome.decodeErrors);
    if (outcome.converted && outcome.checked == ItemOutcome::Check::none && !m_options.quiet)
        std::printf("       unchecked: %s\n", outcome.uncheckedWhy.c_str());
    if ((!outcome.converted && !outcome.stopped) || (outcome.converted && outcome.decodeErrors > 0)) {
        if (!outcome.log.empty())
            std::printf("       log: %s\n", outcome.log.c_str());
    }
    std::fflush(stdout);
    drawStatus();
}

void BatchConsole::ffmpegLine(int index, const std::string& line)
{
    if (!m_options.verbose)
        return;
    clearStatus();
    std::fprintf(stderr, "[%d] %s\n", index + 1, line.c_str());
    std::fflush(stderr);
    drawStatus();
}

void BatchConsole::tick(std::int64_t elapsedSeconds, std::int64_t runSecondsLeft)
{
    m_elapsed = elapsedSeconds;
    m_runLeft = runSecondsLeft;
    drawStatus();
}

void BatchConsole::paused(bool paused)
{
    m_paused = paused;
    if (m_options.json)
        json(jsonLine({{"event", paused ? "pause" : "resume"}}));
    drawStatus();
}

void BatchConsole::watching(const std::string& folder, bool looking)
{
    if (m_options.json) {
        json(jsonLine({{"event", "watch"}, {"folder", text(folder)}, {"looking", looking}}));
        return;
    }
    if (m_options.quiet)
        return;
    clearStatus();
    std::fprintf(stderr, "calvera-batch: watching \"%s\"%s; Ctrl-C ends\n", folder.c_str(),
        looking ? " (looked through every few seconds: it gives no change notices)" : "");
    std::fflush(stderr);
    drawStatus();
}

void BatchConsole::error(const std::string& message)
{
    clearStatus();
    std::fprintf(stderr, "calvera-batch: %s\n", message.c_str());
    std::fflush(stderr);
    drawStatus();
}

void BatchConsole::finish(const RunSummary& run, int notRecorded)
{
    clearStatus();
    if (m_options.json) {
        QJsonObject event {{"event", "summary"}, {"converted", run.converted}, {"failed", run.failed},
            {"stopped", run.stopped}, {"unchecked", run.unchecked}, {"decode_errors", run.decodeErrors},
            {"elapsed_s", static_cast<qint64>(m_elapsed)}, {"failed_inputs", failedInputs(run)},
            {"output_folders", textArray(run.outputFolders)}};
        if (m_options.journal)
            event.insert("not_recorded", notRecorded);
        json(jsonLine(event));
        return;
    }
    std::string converted = std::to_string(run.converted) + " converted";
    std::vector<std::string> notes;
    if (run.unchecked > 0)
        notes.push_back(std::to_string(run.unchecked) + " unchecked");
    if (run.decodeErrors > 0)
        notes.push_back(std::to_string(run.decodeErrors) + " decoding errors");
    for (std::size_t i = 0; i < notes.size(); ++i)
        converted += (i == 0 ? " (" : ", ") + notes[i] + (i + 1 == notes.size() ? ")" : "");
    std::printf("%s, %d failed, %d stopped\n", converted.c_str(), run.failed, run.stopped);
    // Converted, yet a resumed run would not know it.
    if (notRecorded > 0)
        std::printf("%d converted item(s) could not be recorded in the journal: a resumed run would convert them "
                    "again\n",
            notRecorded);
    for (const RunSummary::Failure& failure : run.failures)
        std::printf("failed: %s\n", failure.source.c_str());
    if (!m_options.quiet) {
        for (const std::string& folder : run.outputFolders)
            std::printf("output folder: %s\n", folder.c_str());
    }
    std::fflush(stdout);
}

std::string BatchConsole::statusText() const
{
    const auto& [index, running] = *m_running.begin();
    const ItemProgress& item = running.progress;
    const double done = item.fraction >= 0 ? item.fraction : 0;
    const int filled = static_cast<int>(done * kBarWidth);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kBarWidth - filled), '-');
    std::string line = "[" + std::to_string(index + 1) + "/" + std::to_string(m_itemCount) + "] "
        + (m_paused ? "paused " : "") + fileNameOf(running.source) + (item.checking ? " checking" : "") + " [" + bar
        + "] ";
    // An input of unknown length: how much of it is converted, not a share.
    line += item.fraction >= 0 ? std::to_string(static_cast<int>(item.fraction * 100)) + "%"
                               : clockText(std::llround(item.position)) + " converted";
    if (item.speed > 0) {
        char speed[32];
        std::snprintf(speed, sizeof speed, " %.3gx", item.speed);
        line += speed;
    }
    if (item.secondsLeft >= 0)
        line += " item " + clockText(std::llround(item.secondsLeft)) + " left";
    if (m_runLeft >= 0)
        line += ", run " + clockText(m_runLeft) + " left";
    if (m_running.size() > 1)
        line += " (+" + std::to_string(m_running.size() - 1) + " running)";
    return line;
}

void BatchConsole::drawStatus()
{
    if (!m_options.liveLine || m_options.quiet || m_running.empty())
        return;
    // One column short of the edge, so that the terminal never wraps the line.
    std::fprintf(stderr, "\r\033[K%s", cutToWidth(statusText(), m_columns - 1).c_str());
    std::fflush(stderr);
    m_statusShown = true;
}

void BatchConsole::clearStatus()
{
    if (!m_statusShown)
        return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    m_statusShown = false;
}

std::string BatchConsole::cutToWidth(const std::string& line, int columns)
{
    int used = 0;
    std::size_t at = 0;
    while (at < line.size()) {
        // One UTF-8 character: its length from its first byte.
        const auto lead = static_cast<unsigned char>(line[at]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        char32_t c = length == 1 ? lead : lead & (0x3F >> (length - 1));
        for (std::size_t i = 1; i < length && at + i < line.size(); ++i)
            c = (c << 6) | (static_cast<unsigned char>(line[at + i]) & 0x3F);
        used += columnsOf(c);
        if (used > columns)
            break;
        at += length;
    }
    return line.substr(0, std::min(at, line.size()));
}

void BatchConsole::json(const std::string& object)
{
    std::printf("%s\n", object.c_str());
    std::fflush(stdout);
}
