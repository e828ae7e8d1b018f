#pragma once

#include "ItemData.h"
#include "MediaProbe.h"
#include "SizeFit.h"
#include "Wording.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class ItemLog;
struct ItemOutcome;
class TemporaryOutput;

// The encodes of one size-limited item, in their order: planned once its
// input's length is known; a first pass's files, which are only a step, tell
// what the muxers and the sound take; the output of the last is measured, and
// while it is over the limit it is encoded again at a bitrate scaled down by
// what was missed. Decides what runs next and what an encode's end means;
// the lane runs them, in the item's private folder.
class FitPasses final {
public:
    FitPasses(SizeFit plan, std::int64_t limit, std::string output);

    bool planned() const { return m_planned; }
    // Plans the encodes for input; why nothing fits, or nothing when planned.
    Wording plan(const MediaContents& input);

    struct Encode {
        std::vector<std::string> params; // after -i
        std::string output; // where ffmpeg writes; empty when params name their outputs (a first pass)
        std::string note; // what the log says of it
    };
    // The next encode, writing into temporary's folder.
    Encode next(TemporaryOutput& temporary);
    // Whether the encode running (or run last) is a first pass, whose file is only a step.
    bool firstPass() const { return m_budget.encodes == 2 && m_encode == 1; }
    // An encode that ffmpeg ended well: true when another follows, false
    // when the item goes on as any other, with outcome failed when its
    // output could not be made to fit (outcome.size is the output's).
    bool another(ItemOutcome& outcome, TemporaryOutput& temporary, ItemLog* log);

    // A line ffmpeg wrote: the first pass's streams' sizes are taken from it.
    void read(std::string_view line);
    // ffmpeg's progress in the running encode, across all of them.
    ItemProgress progress(const ItemProgress& current) const;
    // The encodes run so far, the running one included.
    int encodes() const { return m_encode; }

private:
    SizeFit m_plan;
    std::int64_t m_limit = 0;
    std::string m_output; // the item's output name, for its extension
    SizeFit::Budget m_budget;
    bool m_planned = false;
    int m_encode = 0; // the one running, or run last (from 1)
    int m_retries = 0;
    std::optional<SizeFit::Streams> m_streams; // what the first pass encoded, as it said
};
