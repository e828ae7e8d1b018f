#pragma once

#include "ItemData.h"

#include <algorithm>
#include <string_view>

// What ffmpeg's own console output tells about the item it converts: the
// input's length from its "Duration:" line, and the time converted and the
// speed from the status lines it rewrites twice a second ("frame= … time=
// 00:00:05.12 … speed=1.5x"). No second process asks ffmpeg anything.
class ProgressReader final {
public:
    // Takes one line of ffmpeg's output; true when the progress changed.
    bool read(std::string_view line);
    // Starts over for the next item.
    void reset() { *this = ProgressReader(); }
    // Starts over knowing how long the input lasts (seconds), for a run of
    // ffmpeg that does not say it.
    void expect(double seconds)
    {
        reset();
        m_progress.duration = std::max(0.0, seconds);
    }

    const ItemProgress& progress() const { return m_progress; }

    // "HH:MM:SS.cc" as seconds; negative when text is no such time.
    static double parseClock(std::string_view text);

private:
    ItemProgress m_progress;
    bool m_outputsBegun = false; // "Output #0" seen: later durations are not the input's
};
