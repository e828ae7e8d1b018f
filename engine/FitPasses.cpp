#include "FitPasses.h"

#include "ItemLane.h"
#include "ItemLog.h"
#include "SizeText.h"
#include "TemporaryOutput.h"
#include "overwriteManager.h"

#include <filesystem>

FitPasses::FitPasses(SizeFit plan, std::int64_t limit, std::string output)
    : m_plan(std::move(plan))
    , m_limit(limit)
    , m_output(std::move(output))
{ }

Wording FitPasses::plan(const MediaContents& input)
{
    m_budget = m_plan.budget(input, m_limit);
    m_planned = m_budget.failure.empty();
    return m_budget.failure;
}

FitPasses::Encode FitPasses::next(TemporaryOutput& temporary)
{
    ++m_encode;
    const bool first = firstPass();
    const std::string extension = extractFileExt(m_output);
    // Its passes' files are the item's, in its private folder: they go with it, whatever becomes of it.
    const std::string passLog = temporary.folder() + "output.passlog";
    const std::string output = first ? temporary.folder() + "output.pass1" + extension : temporary.path();
    const std::string sound = temporary.folder() + "output.sound" + extension;
    if (!first)
        temporary.remove(extractFileName(output));
    return {first ? m_plan.firstPassParams(m_budget, passLog, localFile(output), localFile(sound))
                  : m_plan.outputParams(m_budget, passLog),
        first ? std::string() : output,
        "fitting into " + sizeText(m_limit) + ", pass " + std::to_string(m_encode) + " of "
            + std::to_string(m_budget.encodes + m_retries) + ": " + SizeFit::ratesText(m_budget)};
}

bool FitPasses::another(ItemOutcome& outcome, TemporaryOutput& temporary, ItemLog* log)
{
    if (firstPass()) {
        // The first pass's file was only a step: its muxer's overhead is what it leaves behind.
        const std::string extension = extractFileExt(m_output);
        const std::string picture = "output.pass1" + extension;
        std::error_code error;
        const auto bytes = std::filesystem::file_size(temporary.folder() + picture, error);
        if (error || bytes == 0) {
            outcome.converted = false;
            outcome.setReason(reason(QT_TRANSLATE_NOOP("Reason", "ffmpeg wrote no output")));
            return false;
        }
        // The sound encoded beside it, when there is any, is what the second pass's will be.
        const std::string sound = "output.sound" + extension;
        const auto soundFileBytes = std::filesystem::file_size(temporary.folder() + sound, error);
        const std::uintmax_t files = bytes + (error ? 0 : soundFileBytes);
        // What the files take beyond their streams is the muxers' own.
        if (m_streams)
            m_budget = m_plan.learned(m_budget,
                static_cast<double>(files) - m_streams->video - (error ? 0 : m_streams->sound),
                error ? -1 : m_streams->sound);
        temporary.remove(picture);
        temporary.remove(sound);
        return true;
    }
    outcome.size = temporary.size();
    if (outcome.size <= m_limit)
        return false;
    const std::optional<SizeFit::Budget> retry
        = m_retries < SizeFit::kMostRetries ? m_plan.retried(m_budget, outcome.size, m_retries + 1) : std::nullopt;
    if (!retry) {
        outcome.converted = false;
        outcome.setReason(SizeFit::couldNotFit(m_limit, outcome.size));
        return false;
    }
    ++m_retries;
    if (log)
        log->write(SizeFit::retryNote(m_limit, outcome.size, *retry, m_retries));
    m_budget = *retry;
    return true;
}

void FitPasses::read(std::string_view line)
{
    if (const std::optional<SizeFit::Streams> streams = SizeFit::streamsReported(line))
        m_streams = streams;
}

ItemProgress FitPasses::progress(const ItemProgress& current) const
{
    if (!m_planned)
        return current;
    return SizeFit::acrossEncodes(current, m_encode, m_budget.encodes + m_retries, m_budget.encodes == 2);
}
