#pragma once

#include "MediaProbe.h"
#include "OutputCheck.h"
#include "Wording.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Whether an item need not be converted, judged from what was measured
// before ffmpeg would start. Each judgement gives the reason the item is
// passed over, or nothing when it is to be converted.
class SkipCheck final {
public:
    // An output under the item's own name (without "_2") found in its output
    // folder, shown by its name relative to that folder ("Season 1/E01.mp4").
    struct Existing {
        std::string shownName;
        std::int64_t size = 0;
        bool newerThanInput = false;
    };
    // The output is there already: whole by the output check (its streams
    // were compared with the input's and hold them; an output the check
    // cannot judge is not taken as whole), newer than the input and, with a
    // size limit, within it; and its picture and sound have the codecs the
    // entry's params name (an H.264 file is no H.265 conversion). verdict is
    // OutputCheck's of the input against output.
    static Wording alreadyConverted(const OutputCheck::Verdict& verdict, const Existing& existing,
        std::int64_t sizeLimit, const MediaContents& output, const std::vector<std::string>& params);
    // Whether such an output is worth measuring at all: newer than the input and within the limit.
    static bool mayBeConverted(const Existing& existing, std::int64_t sizeLimit);

    // The input is already what the entry makes: the same container (ext,
    // or the entry's -f) and, for each of its moving picture and sound
    // streams, the codec the entry names (or "copy"), with the pixel format,
    // sample rate, channels and tag it asks for. Never with a size limit,
    // with filters, sizes, rates, timing or stream choices in the entry,
    // with a codec the entry leaves to ffmpeg's default, or with more than
    // one picture or sound stream (ffmpeg would keep only one of each).
    static Wording alreadySame(const MediaContents& input, const std::vector<std::string>& inputParams,
        const std::vector<std::string>& params, const std::string& ext, std::int64_t sizeLimit);

    // Whether an input's brand is worth reading from its head: a Matroska
    // file's DocType ("matroska" or "webm") is not told by the probe.
    static bool needsDocType(const MediaContents& input);
    // The DocType in the EBML header at the start of a Matroska file; empty when there is none.
    static std::string matroskaDocType(std::string_view head);
    // How many bytes of a file's head matroskaDocType reads.
    static constexpr std::size_t kHeadBytes = 64;
};
