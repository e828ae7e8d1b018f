#pragma once

#include <cstdint>
#include <string>

struct ItemOutcome;

// What calvera-batch shows while it converts: on a terminal a status line
// with the item, the elapsed time and a progress bar, redrawn in place; on
// anything else plain lines. One result line after every item.
class BatchConsole final {
public:
    BatchConsole(int itemCount, bool terminal);

    void itemStarted(int index, const std::string& source);
    void itemFinished(const ItemOutcome& outcome);
    void tick(std::int64_t elapsedSeconds);
    void error(const std::string& message);
    void finish();

private:
    void drawStatus();
    void clearStatus();

    const int m_itemCount;
    const bool m_terminal;
    int m_index = 0;
    int m_finished = 0;
    std::int64_t m_elapsed = 0;
    std::string m_source;
    bool m_statusShown = false;
};
