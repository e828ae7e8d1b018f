#include "BatchConsole.h"

#include "ClockText.h"
#include "command.h"

#include <cstdio>

namespace {

constexpr int kBarWidth = 30;

std::string fileNameOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

BatchConsole::BatchConsole(int itemCount, bool terminal)
    : m_itemCount(itemCount)
    , m_terminal(terminal)
{ }

void BatchConsole::itemStarted(int index, const std::string& source)
{
    m_index = index;
    m_source = source;
    if (m_terminal) {
        drawStatus();
    } else {
        std::printf("[%d/%d] %s\n", index + 1, m_itemCount, source.c_str());
        std::fflush(stdout);
    }
}

void BatchConsole::itemFinished(const ItemOutcome& outcome)
{
    ++m_finished;
    clearStatus();
    std::printf("%-6s exit %-3u %s\n", outcome.converted ? "done" : "failed", outcome.exitCode,
        outcome.output.empty() ? "(not run)" : outcome.output.c_str());
    if (!outcome.converted && !outcome.reason.empty())
        std::printf("       %s\n", outcome.reason.c_str());
    std::fflush(stdout);
}

void BatchConsole::tick(std::int64_t elapsedSeconds)
{
    m_elapsed = elapsedSeconds;
    if (m_terminal)
        drawStatus();
}

void BatchConsole::error(const std::string& message)
{
    clearStatus();
    std::fprintf(stderr, "calvera-batch: %s\n", message.c_str());
    std::fflush(stderr);
    if (m_terminal && m_index < m_itemCount && m_finished < m_itemCount)
        drawStatus();
}

void BatchConsole::finish()
{
    clearStatus();
}

void BatchConsole::drawStatus()
{
    const int filled = m_itemCount > 0 ? m_finished * kBarWidth / m_itemCount : 0;
    const int percent = m_itemCount > 0 ? m_finished * 100 / m_itemCount : 0;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kBarWidth - filled), '-');
    std::printf("\r\033[K[%d/%d] %s [%s] %3d%% %s", m_index + 1, m_itemCount, clockText(m_elapsed).c_str(), bar.c_str(),
        percent, fileNameOf(m_source).c_str());
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
