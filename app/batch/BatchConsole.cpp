#include "BatchConsole.h"

#include "ClockText.h"
#include "command.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <cstdio>

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

QJsonArray textArray(const std::vector<std::string>& values)
{
    QJsonArray array;
    for (const std::string& value : values)
        array.append(text(value));
    return array;
}

} // namespace

std::string jsonLine(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

BatchConsole::BatchConsole(int itemCount, Mode mode, bool journal)
    : m_itemCount(itemCount)
    , m_mode(mode)
    , m_journal(journal)
{ }

void BatchConsole::itemStarted(int index, const std::string& source)
{
    m_running[index] = Running {source};
    switch (m_mode) {
    case Mode::terminal: drawStatus(); break;
    case Mode::plain:
        std::printf("[%d/%d] %s\n", index + 1, m_itemCount, source.c_str());
        std::fflush(stdout);
        break;
    case Mode::json:
        json(jsonLine({{"event", "start"}, {"item", index}, {"input", text(source)}, {"items", m_itemCount}}));
        break;
    }
}

void BatchConsole::itemProgress(int index, const ItemProgress& progress, std::int64_t runSecondsLeft)
{
    if (const auto running = m_running.find(index); running != m_running.end())
        running->second = Running {
            running->second.source, progress.fraction, progress.position, progress.speed, progress.secondsLeft};
    m_runLeft = runSecondsLeft;
    if (m_mode == Mode::terminal) {
        drawStatus();
    } else if (m_mode == Mode::json) {
        const auto now = std::chrono::steady_clock::now();
        const auto last = m_lastProgress.find(index);
        if (last != m_lastProgress.end() && now - last->second < std::chrono::seconds(1))
            return;
        m_lastProgress[index] = now;
        json(jsonLine({{"event", "progress"}, {"item", index},
            {"percent", progress.fraction >= 0 ? QJsonValue(std::round(progress.fraction * 1000) / 10) : QJsonValue()},
            {"speed", progress.speed > 0 ? QJsonValue(progress.speed) : QJsonValue()},
            {"eta_s", secondsOrNull(progress.secondsLeft)}, {"position_s", std::round(progress.position * 10) / 10},
            {"run_eta_s", secondsOrNull(static_cast<double>(runSecondsLeft))}}));
    }
}

void BatchConsole::itemFinished(int index, const ItemOutcome& outcome)
{
    m_running.erase(index);
    m_lastProgress.erase(index);
    const char* word = outcome.converted ? "converted" : (outcome.stopped ? "stopped" : "failed");
    if (m_mode == Mode::json) {
        QJsonObject event {{"event", "end"}, {"item", index}, {"input", text(outcome.source)}, {"outcome", word},
            {"exit_code", static_cast<qint64>(outcome.exitCode)}, {"output", text(outcome.output)},
            {"reason", outcome.converted ? QJsonValue() : QJsonValue(text(outcome.reason))},
            {"log", outcome.log.empty() ? QJsonValue() : QJsonValue(text(outcome.log))}};
        if (m_journal)
            event.insert("recorded", outcome.recorded);
        json(jsonLine(event));
        return;
    }
    clearStatus();
    std::printf("%-6s exit %-3u %s%s\n", outcome.converted ? "done" : "failed", outcome.exitCode,
        outcome.output.empty() ? "(not run)" : outcome.output.c_str(),
        m_journal && !outcome.recorded ? " (not recorded)" : "");
    if (!outcome.converted && !outcome.reason.empty())
        std::printf("       %s\n", outcome.reason.c_str());
    if (!outcome.converted && !outcome.stopped && !outcome.log.empty())
        std::printf("       log: %s\n", outcome.log.c_str());
    std::fflush(stdout);
}

void BatchConsole::tick(std::int64_t elapsedSeconds, std::int64_t runSecondsLeft)
{
    m_elapsed = elapsedSeconds;
    m_runLeft = runSecondsLeft;
    if (m_mode == Mode::terminal)
        drawStatus();
}

void BatchConsole::error(const std::string& message)
{
    clearStatus();
    std::fprintf(stderr, "calvera-batch: %s\n", message.c_str());
    std::fflush(stderr);
    if (m_mode == Mode::terminal)
        drawStatus();
}

void BatchConsole::finish(const RunSummary& run, int notRecorded)
{
    clearStatus();
    if (m_mode == Mode::json) {
        QJsonObject event {{"event", "summary"}, {"converted", run.converted}, {"failed", run.failed},
            {"stopped", run.stopped}, {"failed_inputs", textArray(run.failedSources)},
            {"output_folders", textArray(run.outputFolders)}};
        if (m_journal)
            event.insert("not_recorded", notRecorded);
        json(jsonLine(event));
        return;
    }
    std::printf("%d converted, %d failed, %d stopped\n", run.converted, run.failed, run.stopped);
    // Converted, yet a resumed run would not know it.
    if (notRecorded > 0)
        std::printf("%d converted item(s) could not be recorded in the journal: a resumed run would convert them "
                    "again\n",
            notRecorded);
    for (const std::string& source : run.failedSources)
        std::printf("failed: %s\n", source.c_str());
    for (const std::string& folder : run.outputFolders)
        std::printf("output folder: %s\n", folder.c_str());
    std::fflush(stdout);
}

void BatchConsole::drawStatus()
{
    if (m_running.empty())
        return;
    const auto& [index, item] = *m_running.begin();
    const double done = item.fraction >= 0 ? item.fraction : 0;
    const int filled = static_cast<int>(done * kBarWidth);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kBarWidth - filled), '-');
    std::string line = "[" + std::to_string(index + 1) + "/" + std::to_string(m_itemCount) + "] "
        + fileNameOf(item.source) + " [" + bar + "] ";
    // An input of unknown length: how much of it is converted, not a share.
    line += item.fraction >= 0 ? std::to_string(static_cast<int>(item.fraction * 100)) + "%"
                               : clockText(std::llround(item.position)) + " converted";
    if (item.speed > 0) {
        char speed[32];
        std::snprintf(speed, sizeof speed, " %.3gx", item.speed);
        line += speed;
    }
    if (item.itemLeft >= 0)
        line += " item " + clockText(std::llround(item.itemLeft)) + " left";
    if (m_runLeft >= 0)
        line += ", run " + clockText(m_runLeft) + " left";
    if (m_running.size() > 1)
        line += " (+" + std::to_string(m_running.size() - 1) + " running)";
    std::printf("\r\033[K%s", line.c_str());
    std::fflush(stdout);
    m_statusShown = true;
}

void BatchConsole::clearStatus()
{
    if (!m_statusShown)
        return;
    std::printf("\r\033[K");
    std::fflush(stdout);
    m_statusShown = false;
}

void BatchConsole::json(const std::string& object)
{
    std::printf("%s\n", object.c_str());
    std::fflush(stdout);
}
