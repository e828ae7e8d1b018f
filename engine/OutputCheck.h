#pragma once

#include "ItemData.h"

#include <string>
#include <string_view>
#include <vector>

// Whether an output holds what its input holds, judged from what ffmpeg
// already prints while it converts: the input's length ("Duration:"),
// narrowed by the entry's -ss, -t and -to, against the time ffmpeg says it
// wrote (the last status line's time=), and the lines where it reports
// damaged input. Starts no process of its own.
//
// An output shorter than expected by more than max(0.5 s, 1 %) fails when it
// holds video or when ffmpeg reported damage: an input's sound may be shorter
// than its picture, so a short sound-only output with no damage reported is
// passed, unchecked. Where the expected length cannot be known (no length,
// one estimated from the bit rate, a still picture, options or filters that
// change the timing) or ffmpeg printed no status, the output is unchecked.
class OutputCheck final {
public:
    // The entry's parameters before and after -i.
    OutputCheck(const std::vector<std::string>& inputParams, const std::vector<std::string>& params);

    // Takes one line of ffmpeg's output.
    void read(std::string_view line);

    // Its texts in English, and each beside it in the user's language.
    struct Verdict {
        std::string failure; // empty when the output may be published
        std::string failureShown;
        bool checked = false; // its length was compared with the input's
        std::string uncheckedWhy; // why it was not, when it was not
        std::string uncheckedWhyShown;
        double inputSeconds = -1; // what it should hold; -1 when unknown
        double outputSeconds = -1; // what ffmpeg says it wrote; -1 when it did not say
        int decodeErrors = 0;
    };
    // progress: what the item's ProgressReader read from the same lines.
    Verdict verdict(const ItemProgress& progress) const;

    int decodeErrors() const { return m_decodeErrors; }

    // ffmpeg's time syntax, "[-][HH:]MM:SS[.m]" or "[-]S[.m][s|ms|us]", in seconds; -1 when it is none.
    static double parseDuration(std::string_view text);
    // "00:00:09.8": seconds with one decimal.
    static std::string clock(double seconds);
    // True when the line reports damaged input or a failure to decode it.
    static bool reportsDamage(std::string_view line);

private:
    bool m_timingChanged = false; // the entry asks for something whose length cannot be told
    double m_inputStart = 0; // -ss before -i
    double m_inputLength = -1; // -t before -i, or -to less -ss
    double m_outputStart = 0; // -ss after -i
    double m_outputLength = -1; // -t after -i, or -to less -ss
    bool m_outputsBegun = false;
    bool m_estimated = false; // "Estimating duration from bitrate"
    bool m_stillPicture = false;
    bool m_outputHasVideo = false;
    bool m_statusSeen = false;
    int m_decodeErrors = 0;
};
