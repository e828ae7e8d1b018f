#pragma once

#include "MediaProbe.h"
#include "Wording.h"

#include <set>
#include <string>
#include <string_view>
#include <vector>

// Whether an output holds what its input holds, judged from both files as
// measured (MediaProbe), stream by stream for the kinds of stream the entry
// keeps: each kept video and sound stream of the output must last as long as
// the input's, counted from its start (a start offset is no length) and
// narrowed by the entry's -ss, -t and -to, within max(0.5 s, 1 %); a video
// stream must also hold as many frames where both rates are constant and the
// entry changes none. An output with no stream, or one that cannot be read,
// fails. Options and filters that change the timing make the check
// impossible, as do a still picture or a length estimated from the bit rate.
//
// ffmpeg's own lines, logged with their level (-loglevel level+info), give the
// damage it met: the lines its demuxer and decoders log as errors.
class OutputCheck final {
public:
    // The entry's parameters before and after -i, and the output's file name.
    OutputCheck(
        const std::vector<std::string>& inputParams, const std::vector<std::string>& params, const std::string& output);

    // One line as ffmpeg logs it with its level: "[h264 @ 0x5d…] [error] text"
    // or "[info] text"; level is empty where it logged none.
    struct LogLine {
        std::string level;
        std::string context; // "h264" of "[h264 @ 0x5d…]"; empty when there is none
        std::string text; // the line without its level tag, as ffmpeg prints it without -loglevel level
    };
    static LogLine untag(std::string_view line);

    // Takes one line of ffmpeg's output.
    void read(const LogLine& line);

    // One compared stream.
    struct StreamCheck {
        MediaStream::Kind kind = MediaStream::Kind::video;
        double expectedSeconds = -1;
        double writtenSeconds = -1;
        long long expectedFrames = -1; // -1 where frames are not compared
        long long writtenFrames = -1;
    };
    // Its texts in English, and each beside it in the user's language.
    struct Verdict {
        std::string failure; // empty when the output may be published
        std::string failureShown;
        bool checked = false; // its streams were compared with the input's
        std::string uncheckedWhy; // why they were not, when they were not
        std::string uncheckedWhyShown;
        double inputSeconds = -1; // the longest stream it should hold; -1 when unknown
        double outputSeconds = -1; // the longest it holds; -1 when unknown
        int decodeErrors = 0;
        std::vector<StreamCheck> streams;
    };
    Verdict verdict(const MediaContents& input, const MediaContents& output) const;

    // Why decoding the output whole (decoded seconds, and video frames; -1
    // when ffmpeg did not say) falls short of what the verdict expects; empty when it does not.
    static Wording decodedShortfall(const Verdict& verdict, double decodedSeconds, long long decodedFrames);

    int decodeErrors() const { return m_decodeErrors; }
    // Whether the output keeps the input's picture and its sound (-vn, -an, the container).
    bool keepsVideo() const { return m_keepsVideo; }
    bool keepsSound() const { return m_keepsSound; }

    // ffmpeg's time syntax, "[-][HH:]MM:SS[.m]" or "[-]S[.m][s|ms|us]", in seconds; -1 when it is none.
    static double parseDuration(std::string_view text);
    // "00:00:09.8": seconds with one decimal.
    static std::string clock(double seconds);
    // max(0.5 s, 1 %) of a length.
    static double tolerance(double seconds);

    // An input's length narrowed by the entry's -ss, -t and -to: what the output should last.
    double narrowed(double length) const;

private:
    bool m_timingChanged = false; // the entry asks for something whose length cannot be told
    bool m_rateChanged = false; // the entry changes the frame rate: frames cannot be compared
    bool m_keepsVideo = true;
    bool m_keepsSound = true;
    bool m_mapped = false; // -map chooses the streams
    double m_inputStart = 0; // -ss before -i
    double m_inputLength = -1; // -t before -i, or -to less -ss
    double m_outputStart = 0; // -ss after -i
    double m_outputLength = -1; // -t after -i, or -to less -ss
    bool m_outputsBegun = false;
    bool m_estimated = false; // "Estimating duration from bitrate"
    std::string m_demuxer; // the input's, as its log lines name it
    std::string m_inputName; // as ffmpeg names it in its own lines
    std::set<std::string> m_decoders;
    int m_decodeErrors = 0;
};
