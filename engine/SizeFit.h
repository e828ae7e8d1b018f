#pragma once

#include "ItemData.h"
#include "MediaProbe.h"
#include "Wording.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// How an entry's output is made to take at most a number of bytes: the
// entry's quality options give way to a bitrate computed from the limit and
// the input's measured length, and the encoder aims at it, in two passes
// where it can. Decides everything and runs nothing: the lane runs the
// encodes this plans.
//
// The budget is the limit less a small margin, less the sound (the entry's
// -b:a, or 128 kbit/s where it sets a quality), less the container's own
// bytes (a cost per packet from a small table, or what the first pass's
// muxer reported), over the input's length narrowed by the entry's timing
// options. An entry that keeps no picture (or an input that has none) fits
// by its sound bitrate alone.
class SizeFit final {
public:
    // The entry's parameters before and after -i, and the output's file name (its extension).
    SizeFit(
        const std::vector<std::string>& inputParams, const std::vector<std::string>& params, const std::string& output);

    enum class Way {
        refused, // the entry cannot aim at a bitrate: refusal() says why
        twoPasses, // -pass 1, then -pass 2
        x265Passes, // the same through -x265-params pass=N:stats=…
        onePass, // an encoder without a working second pass: one encode at the bitrate, and retries
        sound, // no picture kept: the sound's bitrate is what fits
    };
    Way way() const { return m_way; }
    // Why the entry cannot aim at a size; empty unless refused.
    const Wording& refusal() const { return m_refusal; }
    const std::string& videoEncoder() const { return m_videoEncoder; }

    struct Budget {
        Wording failure; // set when nothing fits: the limit is too small, the length unknown
        std::int64_t limit = 0;
        double seconds = 0; // the output's length, as the input and the timing options tell it
        bool soundOnly = false; // the sound takes the whole budget
        int encodes = 1; // planned: 2 for two passes
        std::int64_t videoBitrate = 0; // bits a second
        std::int64_t soundBitrate = 0; // bits a second, each sound stream
        int soundStreams = 0;
        double overhead = 0; // the container's own bytes, estimated
        double soundOverhead = 0; // of which the sound's packets take this much
        double soundBytes = -1; // the sound's, as the first pass encoded it; -1: from its bitrate
    };
    // The budget for input within limit bytes.
    Budget budget(const MediaContents& input, std::int64_t limit) const;
    // The budget of the second pass, once the first pass's files took
    // overheadBytes more than their streams, and its sound soundBytes when
    // it encoded the sound too (-1 when not).
    Budget learned(const Budget& budget, double overheadBytes, double soundBytes) const;
    // The budget of the encode after one that wrote written bytes, over the
    // limit: the bitrate scaled down by what was missed; nothing when it
    // would fall below the least bitrate.
    std::optional<Budget> retried(const Budget& budget, std::int64_t written, int retry) const;

    // The first pass's parameters with its outputs (ffmpeg's names for
    // them): its picture without sound (its log beside passLog) goes to
    // pictureOutput, and the sound, when there is any, after it to
    // soundOutput, so that its size is known exactly, not guessed from its
    // bitrate. The picture comes first so that its stream is numbered as in
    // the second pass, whose log name (prefix-N.log) is read by that number.
    std::vector<std::string> firstPassParams(const Budget& budget, const std::string& passLog,
        const std::string& pictureOutput, const std::string& soundOutput) const;
    // The output's parameters (the last pass, or the one encode).
    std::vector<std::string> outputParams(const Budget& budget, const std::string& passLog) const;

    // "video:551kB audio:347kB" of the same line (which says "muxing
    // overhead: unknown" for more than one output), in bytes.
    struct Streams {
        double video = 0;
        double sound = 0;
    };
    static std::optional<Streams> streamsReported(std::string_view line);
    // The progress of encode (from 1) of encodes, the first being an
    // analysis pass when analysed, across all of them.
    static ItemProgress acrossEncodes(ItemProgress current, int encode, int encodes, bool analysed);
    // "could not fit into 25.0 MB: 26.3 MB at the lowest bitrate tried"
    static Wording couldNotFit(std::int64_t limit, std::int64_t written);
    // "over 25.0 MB by 1.3 MB: encoding again at 812 kbit/s (retry 1 of 2)", for the log.
    static std::string retryNote(std::int64_t limit, std::int64_t written, const Budget& next, int retry);
    // The bitrates a budget gives, for the log: "video 1200 kbit/s, sound 128 kbit/s".
    static std::string ratesText(const Budget& budget);

    static constexpr int kMostRetries = 2;
    static constexpr std::int64_t kLeastVideoBitrate = 32000;
    static constexpr std::int64_t kLeastSoundBitrate = 8000;
    // Sound fits at 128 kbit/s where the entry sets a quality, not a bitrate.
    static constexpr std::int64_t kSoundBitrate = 128000;
    // The share of the limit left free, for the encoder's own error.
    static constexpr double kMargin = 0.025;
    // The first of two passes takes this much of the second's time.
    static constexpr double kFirstPassShare = 0.5;

private:
    std::vector<std::string> commonParams(const Budget& budget, bool withSound) const;
    // The bytes of the budget's target the video may take, its overhead and sound taken off.
    static double videoBytes(const Budget& budget);
    static double soundBytes(const Budget& budget);

    Way m_way = Way::refused;
    Wording m_refusal;
    std::string m_videoEncoder;
    std::string m_soundEncoder;
    std::string m_container; // the extension, or -f's muxer
    std::vector<std::string> m_params; // the entry's, without its quality and bitrate options
    std::string m_x265Params; // the entry's -x265-params value
    bool m_keepsVideo = true;
    bool m_keepsSound = true;
    bool m_copiesSound = false;
    bool m_soundLossless = false;
    bool m_mapped = false;
    std::int64_t m_entrySoundBitrate = 0; // -b:a; 0 when it sets none
    double m_frameRate = 0; // -r; 0 when the input's
    // The entry's own parameters and output, for the output's length.
    std::vector<std::string> m_inputParams;
    std::vector<std::string> m_entryParams;
    std::string m_output;
};
