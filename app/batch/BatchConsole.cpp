#include "BatchConsole.h"

#include "ClockText.h"
#include "FitText.h"
#include "StandardOutput.h"
#include "StopSignals.h"
#include "command.h"

#include <QCoreApplication>
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

// What the terminal shows goes out as UTF-8, as names come in.
void print(FILE* stream, const QString& line)
{
    std::fputs((line + '\n').toStdString().c_str(), stream);
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
    case ItemOutcome::Check::streams: return "streams";
    case ItemOutcome::Check::decode: return "decode";
    case ItemOutcome::Check::none: break;
    }
    return {};
}

// Each compared stream: its kind, the seconds it should hold and holds, and frames for video.
QJsonArray streamsOf(const ItemOutcome& outcome)
{
    QJsonArray array;
    for (const OutputCheck::StreamCheck& stream : outcome.streams) {
        const bool video = stream.kind == MediaStream::Kind::video;
        QJsonObject entry {{"kind", video ? "video" : "sound"}, {"expected_s", tenthsOrNull(stream.expectedSeconds)},
            {"written_s", tenthsOrNull(stream.writtenSeconds)}};
        if (video) {
            entry.insert("expected_frames",
                stream.expectedFrames >= 0 ? QJsonValue(static_cast<qint64>(stream.expectedFrames)) : QJsonValue());
            entry.insert("written_frames",
                stream.writtenFrames >= 0 ? QJsonValue(static_cast<qint64>(stream.writtenFrames)) : QJsonValue());
        }
        array.append(entry);
    }
    return array;
}

// A size-limited item's sizes in bytes (null for no limit, or a size not measured) and its encodes.
void addSizes(QJsonObject& event, const ItemOutcome& outcome)
{
    event.insert(
        "size_limit", outcome.sizeLimit > 0 ? QJsonValue(static_cast<qint64>(outcome.sizeLimit)) : QJsonValue());
    event.insert("size", outcome.size >= 0 ? QJsonValue(static_cast<qint64>(outcome.size)) : QJsonValue());
    event.insert("passes", outcome.passes);
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
        standardOutput::flush();
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
    const char* word = outcome.converted ? "converted"
        : outcome.stopped                ? "stopped"
        : outcome.skipped                ? "skipped"
                                         : "failed";
    if (m_options.json) {
        QJsonObject event {{"event", "end"}, {"item", index}, {"input", text(outcome.source)}, {"outcome", word},
            {"exit_code", outcome.ffmpegRan ? QJsonValue(static_cast<qint64>(outcome.exitCode)) : QJsonValue()},
            {"output", text(outcome.output)},
            {"reason", outcome.converted ? QJsonValue() : QJsonValue(text(outcome.reason))},
            {"log", outcome.log.empty() ? QJsonValue() : QJsonValue(text(outcome.log))},
            {"input_s", tenthsOrNull(outcome.inputSeconds)}, {"output_s", tenthsOrNull(outcome.outputSeconds)},
            {"checked", checkName(outcome.checked)}, {"decode_errors", outcome.decodeErrors},
            {"streams", streamsOf(outcome)}};
        addSizes(event, outcome);
        if (m_options.journal)
            event.insert("recorded", outcome.recorded);
        json(jsonLine(event));
        drawStatus();
        return;
    }
    // Quiet, only what went wrong is told.
    const bool wrong = (!outcome.converted && !outcome.skipped) || !outcome.recorded;
    if (m_options.quiet && !wrong)
        return;
    clearStatus();
    // The outcome words take the room of the longer of done and failed, so that the columns after
    // them line up; the rarer stopped may stand out by a letter.
    const QString done = tr("done");
    const QString failed = tr("failed");
    const QString said = (outcome.converted ? done
            : outcome.stopped               ? tr("stopped")
            : outcome.skipped               ? tr("skipped")
                                            : failed)
                             .leftJustified(std::max(done.size(), failed.size()));
    // An item that ended before ffmpeg ran has no exit code.
    const QString code = outcome.ffmpegRan ? QString::number(outcome.exitCode) : QStringLiteral("-");
    QString line = said + ' ' + tr("exit %1").arg(code.leftJustified(3)) + ' '
        + (outcome.output.empty() ? tr("(not run)") + ' ' + text(outcome.source) : text(outcome.output));
    if (const std::string size = sizeOfLimitText(outcome.size, outcome.sizeLimit); outcome.converted && !size.empty())
        line += " (" + text(size) + ")";
    if (m_options.journal && !outcome.recorded)
        line += ' ' + tr("(not recorded)");
    QStringList notes;
    if (!outcome.converted && !outcome.reasonShown.empty())
        notes << text(outcome.reasonShown);
    if (outcome.converted && outcome.decodeErrors > 0)
        notes << tr("converted with %n decoding errors (see log)", nullptr, outcome.decodeErrors);
    if (outcome.converted && outcome.checked == ItemOutcome::Check::none && !m_options.quiet)
        notes << tr("unchecked: %1").arg(text(outcome.uncheckedWhyShown));
    if ((!outcome.converted && !outcome.stopped && !outcome.skipped)
        || (outcome.converted && outcome.decodeErrors > 0)) {
        if (!outcome.log.empty())
            notes << tr("log: %1").arg(text(outcome.log));
    }
    // A log (a service's journal) takes each item as one line; a person reads the notes under it.
    if (m_options.oneLinePerItem && !notes.isEmpty())
        line += " (" + notes.join("; ") + ")";
    print(stdout, line);
    if (!m_options.oneLinePerItem) {
        for (const QString& note : notes)
            print(stdout, QString(7, ' ') + note);
    }
    standardOutput::flush();
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
    const QString watched = looking
        ? tr("watching \"%1\" (looked through every few seconds: it gives no change notices); Ctrl-C ends")
        : tr("watching \"%1\"; Ctrl-C ends");
    print(stderr, "calvera-batch: " + watched.arg(text(folder)));
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
        QJsonObject event {{"event", "summary"}, {"converted", run.converted}, {"skipped", run.skipped},
            {"failed", run.failed}, {"stopped", run.stopped}, {"unchecked", run.unchecked}, {"fitted", run.fitted},
            {"decode_errors", run.decodeErrors}, {"elapsed_s", static_cast<qint64>(m_elapsed)},
            {"failed_inputs", failedInputs(run)}, {"output_folders", textArray(run.outputFolders)}};
        if (m_options.journal)
            event.insert("not_recorded", notRecorded);
        json(jsonLine(event));
        return;
    }
    QString converted = tr("%n converted", nullptr, run.converted);
    QStringList notes;
    if (run.unchecked > 0)
        notes << tr("%n unchecked", nullptr, run.unchecked);
    if (run.decodeErrors > 0)
        notes << tr("%n decoding errors", nullptr, run.decodeErrors);
    if (run.fitted > 0)
        notes << tr("%n within the size limit", nullptr, run.fitted);
    if (!notes.isEmpty())
        converted += " (" + notes.join(", ") + ")";
    // "12 converted, 30 skipped, 0 failed": told when any was.
    if (run.skipped > 0)
        converted += ", " + tr("%n skipped", nullptr, run.skipped);
    print(stdout,
        tr("%1, %2 failed, %3 stopped").arg(converted, QString::number(run.failed), QString::number(run.stopped)));
    // Converted, yet a resumed run would not know it.
    if (notRecorded > 0)
        print(stdout,
            tr("%n converted item(s) could not be recorded in the journal: a resumed run would convert them again",
                nullptr, notRecorded));
    for (const RunSummary::Failure& failure : run.failures)
        print(stdout, tr("failed: %1").arg(text(failure.source)));
    if (!m_options.quiet) {
        for (const std::string& folder : run.outputFolders)
            print(stdout, tr("output folder: %1").arg(text(folder)));
    }
    standardOutput::flush();
}

std::string BatchConsole::statusText() const
{
    const auto& [index, running] = *m_running.begin();
    const ItemProgress& item = running.progress;
    const double done = item.fraction >= 0 ? item.fraction : 0;
    const int filled = static_cast<int>(done * kBarWidth);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kBarWidth - filled), '-');
    const auto word = [](const QString& translated) { return translated.toStdString(); };
    std::string line = "[" + std::to_string(index + 1) + "/" + std::to_string(m_itemCount) + "] "
        + (m_paused ? word(tr("paused")) + " " : "") + fileNameOf(running.source)
        + (item.checking ? " " + word(tr("checking")) : "");
    if (const std::string pass = passText(item); !pass.empty())
        line += " " + pass;
    line += " [" + bar + "] ";
    // An input of unknown length: how much of it is converted, not a share; before ffmpeg said anything, neither.
    if (item.fraction >= 0)
        line += std::to_string(static_cast<int>(item.fraction * 100)) + "%";
    else if (item.position > 0)
        line += word(tr("%1 converted").arg(text(clockText(std::llround(item.position)))));
    else
        line += word(tr("starting"));
    if (item.speed > 0) {
        char speed[32];
        std::snprintf(speed, sizeof speed, " %.3gx", item.speed);
        line += speed;
    }
    if (item.secondsLeft >= 0)
        line += " " + word(tr("item %1 left").arg(text(clockText(std::llround(item.secondsLeft)))));
    // With one item the run's time left is the item's.
    if (m_runLeft >= 0 && m_itemCount > 1)
        line += ", " + word(tr("run %1 left").arg(text(clockText(m_runLeft))));
    if (m_running.size() > 1)
        line += " " + word(tr("(+%1 running)").arg(m_running.size() - 1));
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
    standardOutput::write(object + '\n');
    standardOutput::flush();
}
