#include "ItemLane.h"

#include "DiskWorker.h"
#include "MeasureCache.h"
#include "overwriteManager.h"
#include "commandManager.h"

#include <QPointer>

#include <charconv>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What ffmpeg prints when the output could not be written whole; some of its
// versions still end with 0 after them ("Error writing trailer").
constexpr const char* kWriteErrors[] = {
    "Error writing trailer", "Error closing file", "No space left on device", "Disk quota exceeded", "File too large"};

bool isWriteError(const std::string& line)
{
    for (const char* marker : kWriteErrors) {
        if (line.find(marker) != std::string::npos)
            return true;
    }
    return false;
}

std::string absolutePath(const std::string& path)
{
    if (path.empty() || path.front() == '/')
        return path;
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.string();
}

} // namespace

// ffmpeg takes a name as a URL or, with a leading "-", as an option; with the
// file protocol it is always the local file of that name.
std::string localFile(const std::string& path)
{
    return "file:" + absolutePath(path);
}

std::vector<std::string> ffmpegArguments(const ItemJob& job, const std::string& output)
{
    return ffmpegArguments(job, job.params, output);
}

std::vector<std::string> ffmpegArguments(
    const ItemJob& job, const std::vector<std::string>& params, const std::string& output)
{
    // ffmpeg creates its output itself and is told never to overwrite
    // anything, whatever else the entry names. Each line comes with its
    // level, so that the damage ffmpeg meets is told by its kind; the lane
    // takes the tags off again.
    std::vector<std::string> arguments = {job.ffmpeg, "-n", "-loglevel", "level+info"};
    arguments.insert(arguments.end(), job.inputParams.begin(), job.inputParams.end());
    arguments.push_back("-i");
    arguments.push_back(localFile(job.source));
    arguments.insert(arguments.end(), params.begin(), params.end());
    if (!output.empty())
        arguments.push_back(localFile(output));
    return arguments;
}

namespace {

class RealFfmpeg final : public LaneFfmpeg {
public:
    RealFfmpeg()
    {
        m_runner.OnNewLine = [this](TDosCommand*, const std::string& line, TOutputType type) {
            if (type == otEntireLine && lineRead)
                lineRead(line);
        };
        m_runner.OnTerminated = [this](TDosCommand*, std::uint32_t exitCode) {
            if (ended)
                ended(exitCode);
        };
    }
    ~RealFfmpeg() override
    {
        m_runner.OnNewLine = nullptr;
        m_runner.OnTerminated = nullptr;
    }

    void whenAbilitiesKnown(const ItemJob& job, std::function<void(const FfmpegProbe::Answer&)> done) override
    {
        job.probe->whenAnswered(std::move(done));
    }
    void run(const std::vector<std::string>& arguments, const std::string& commandLine) override
    {
        m_runner.Arguments = arguments;
        m_runner.CommandLine = commandLine;
        m_runner.Execute();
    }
    void stop() override
    {
        // A held ffmpeg cannot die of the kill until it runs again.
        m_runner.signalChild(SIGCONT);
        m_runner.Stop();
    }
    void hold(bool held) override { m_runner.signalChild(held ? SIGSTOP : SIGCONT); }
    bool running() const override { return m_runner.isRunning(); }
    TDosCommand* runner() override { return &m_runner; }

    std::unique_ptr<Measure> measure(
        const ItemJob& job, const std::string& file, std::function<void(const MediaContents&)> done) override
    {
        return std::make_unique<RealMeasure>(new MediaProbe(job.ffmpeg, file, std::move(done), &m_probes));
    }

private:
    class RealMeasure final : public Measure {
    public:
        explicit RealMeasure(MediaProbe* probe)
            : m_probe(probe)
        { }
        // The probe may be telling its answer right now: it goes from the event
        // loop, or with the ffmpeg that owns it, whichever comes first.
        ~RealMeasure() override
        {
            if (!m_probe)
                return;
            m_probe->cancel();
            m_probe->deleteLater();
        }
        void hold(bool held) override
        {
            if (!m_probe)
                return;
            if (held)
                m_probe->pause();
            else
                m_probe->resume();
        }

    private:
        QPointer<MediaProbe> m_probe;
    };

    TDosCommand m_runner;
    // The measures' probes, also those let go and not yet deleted: none outlives this ffmpeg.
    QObject m_probes;
};

} // namespace

std::unique_ptr<LaneFfmpeg> makeRealFfmpeg()
{
    return std::make_unique<RealFfmpeg>();
}

ItemLane::ItemLane(DiskWorker& worker, std::unique_ptr<LaneFfmpeg> ffmpeg, QObject* parent)
    : QObject(parent)
    , m_worker(worker)
    , m_ffmpeg(std::move(ffmpeg))
{
    m_ffmpeg->lineRead = [this](const std::string& line) { lineHandler(line, otEntireLine); };
    m_ffmpeg->ended = [this](std::uint32_t exitCode) { ffmpegEnded(exitCode); };
}

ItemLane::~ItemLane()
{
    m_ffmpeg->lineRead = nullptr;
    m_ffmpeg->ended = nullptr;
}

void ItemLane::setState(ItemState state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

bool ItemLane::inState(ItemState state) const
{
    return m_state == state || (m_state == ItemState::paused && m_run.pausedFrom == state);
}

void ItemLane::assign(ItemJob job)
{
    m_job = std::move(job);
    m_run = ItemRun {};
    ++m_generation;
    m_state = ItemState::waiting;
}

void ItemLane::start()
{
    if (m_state != ItemState::waiting || !m_job.item)
        return;
    setState(ItemState::starting);
    if (!m_job.failure.empty()) {
        ItemOutcome outcome = outcomeSoFar();
        outcome.setReason(m_job.failure);
        finish(std::move(outcome));
        return;
    }
    const QPointer<ItemLane> self(this);
    const std::uint64_t generation = m_generation;
    m_ffmpeg->whenAbilitiesKnown(m_job, [self, generation](const FfmpegProbe::Answer& answer) {
        if (self && self->m_generation == generation)
            self->abilitiesKnown(answer);
    });
}

void ItemLane::abilitiesKnown(const FfmpegProbe::Answer& answer)
{
    if (!inState(ItemState::starting))
        return;
    const Wording why = m_job.catalogue->unavailability(m_job.formatIndex, answer.get());
    if (!why.empty()) {
        ItemOutcome outcome = outcomeSoFar();
        outcome.setReason(reason(QT_TRANSLATE_NOOP("Reason", "the format \"%1\" is unavailable: %2"),
            m_job.catalogue->formatName(m_job.formatIndex), why));
        finish(std::move(outcome));
        return;
    }
    m_run.abilitiesKnown = true;
    // Held while it was asked, ffmpeg starts only once the run goes on.
    if (m_state == ItemState::starting)
        weigh();
}

namespace {

// The file's modification time, when it is a regular file.
std::optional<struct timespec> modified(const std::string& path, std::int64_t* size = nullptr)
{
    struct stat info { };
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    if (size)
        *size = info.st_size;
    return info.st_mtim;
}

bool later(const struct timespec& a, const struct timespec& b)
{
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

// The first bytes of a file; fewer when it is shorter or cannot be read.
std::string headOf(const std::string& path, std::size_t bytes)
{
    std::string head(bytes, '\0');
    const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (file < 0)
        return {};
    const ssize_t got = ::read(file, head.data(), head.size());
    ::close(file);
    head.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return head;
}

} // namespace

void ItemLane::weigh()
{
    if (!m_run.weighing) {
        m_run.weighing = true;
        // An output older than its input, or over the limit, is converted again without measuring it.
        std::int64_t size = 0;
        const std::optional<struct timespec> output
            = m_job.skipExisting ? modified(m_job.plainOutput, &size) : std::nullopt;
        if (output) {
            const std::optional<struct timespec> input = modified(m_job.source);
            const SkipCheck::Existing existing {m_job.plainOutputShown, size, input && later(*output, *input)};
            if (SkipCheck::mayBeConverted(existing, m_job.sizeLimit))
                m_run.existingFile = existing;
        }
        const bool existing = m_run.existingFile.has_value();
        if (existing || m_job.skipSame) {
            // Each answer comes back here; the input's serves the output check later too.
            const QPointer<ItemLane> self(this);
            const std::uint64_t generation = m_generation;
            auto into = [self, generation](std::optional<MediaContents> ItemRun::*field) {
                return [self, generation, field](const MediaContents& contents) {
                    if (!self || self->m_generation != generation)
                        return;
                    self->m_run.*field = contents;
                    self->weigh();
                };
            };
            m_run.inputMeasure = m_ffmpeg->measure(m_job, m_job.source, into(&ItemRun::input));
            if (existing)
                m_run.existingMeasure = m_ffmpeg->measure(m_job, m_job.plainOutput, into(&ItemRun::existing));
        }
    }
    // Paused, it goes on when resumed.
    if (m_state != ItemState::starting)
        return;
    if ((m_run.inputMeasure && !m_run.input) || (m_run.existingMeasure && !m_run.existing))
        return;
    if (m_run.existingMeasure || m_job.skipSame) {
        const Wording why = skipReason();
        if (!why.empty()) {
            ItemOutcome outcome = outcomeSoFar();
            outcome.skipped = true;
            outcome.setReason(why);
            if (m_run.existing)
                outcome.output = m_job.plainOutput;
            finish(std::move(outcome));
            return;
        }
    }
    m_run.existingMeasure.reset();
    m_run.existing.reset();
    launch();
}

Wording ItemLane::skipReason()
{
    if (!m_run.input)
        return {};
    if (m_run.existing && m_run.existingFile) {
        const OutputCheck check(m_job.inputParams, m_job.params, m_job.plainOutput);
        if (const Wording why = SkipCheck::alreadyConverted(check.verdict(*m_run.input, *m_run.existing),
                *m_run.existingFile, m_job.sizeLimit, *m_run.existing, m_job.params);
            !why.empty())
            return why;
    }
    if (m_job.skipSame) {
        MediaContents input = *m_run.input;
        if (SkipCheck::needsDocType(input))
            input.brand = SkipCheck::matroskaDocType(headOf(m_job.source, SkipCheck::kHeadBytes));
        return SkipCheck::alreadySame(
            input, m_job.inputParams, m_job.params, m_job.catalogue->GetExt(m_job.formatIndex), m_job.sizeLimit);
    }
    return {};
}

void ItemLane::launch()
{
    if (m_job.sizeLimit > 0) {
        // An entry that cannot aim at a size fails before anything is made.
        SizeFit plan(m_job.inputParams, m_job.params, m_job.outputPath);
        if (plan.way() == SizeFit::Way::refused) {
            ItemOutcome outcome = outcomeSoFar();
            outcome.setReason(plan.refusal());
            finish(std::move(outcome));
            return;
        }
        m_run.fit.emplace(std::move(plan), m_job.sizeLimit, m_job.outputPath);
    }
    try {
        m_run.temporary = std::make_unique<TemporaryOutput>(m_job.outputPath);
    } catch (const std::exception& error) {
        ItemOutcome outcome = outcomeSoFar();
        outcome.setReason(wordingOf(error));
        finish(std::move(outcome));
        return;
    }
    m_run.log = std::make_unique<ItemLog>(m_job.logFolder, m_job.source, m_job.commandLine);
    // The input is measured while ffmpeg converts it; a size limit's budget waits for its length.
    if ((m_job.verification != Verification::none || m_run.fit) && !m_run.inputMeasure)
        m_run.inputMeasure = measure(m_job.source, &ItemRun::input);
    if (m_run.fit) {
        setState(ItemState::converting);
        // Measured already (an existing output was weighed against it), the first pass starts now.
        fitStep();
        return;
    }
    runFfmpeg(m_job.params, m_run.temporary->path(), {});
}

void ItemLane::runFfmpeg(const std::vector<std::string>& params, const std::string& output, const std::string& note)
{
    m_run.check.emplace(m_job.inputParams, params, m_job.outputPath);
    m_run.progress.reset();
    m_run.lastLine.clear();
    m_run.writeError.clear();
    const std::vector<std::string> arguments = ffmpegArguments(m_job, params, output);
    // ffmpeg's words name the files as it got them; the user knows them by their own names.
    m_run.shownNames
        = {{localFile(m_job.source), m_job.source}, {localFile(m_run.temporary->path()), m_job.outputPath}};
    std::string commandLine = m_job.commandLine;
    if (!note.empty()) {
        // Each encode of a size-limited item says what it runs, the item's files by their names.
        commandLine.clear();
        for (const std::string& argument : arguments) {
            const std::string word = shown(argument);
            commandLine += (commandLine.empty() ? "" : " ")
                + (word.find_first_of(" \"'") == std::string::npos ? word : "\"" + word + "\"");
        }
        if (m_run.log) {
            m_run.log->write(note);
            m_run.log->write(commandLine);
        }
    }
    setState(ItemState::converting);
    m_ffmpeg->run(arguments, commandLine);
}

void ItemLane::fitStep()
{
    if (m_state != ItemState::converting || m_ffmpeg->running())
        return;
    if (!m_run.fit->planned()) {
        if (!m_run.input)
            return;
        if (const Wording failure = m_run.fit->plan(*m_run.input); !failure.empty()) {
            ItemOutcome outcome = outcomeSoFar();
            outcome.setReason(failure);
            finish(std::move(outcome));
            return;
        }
    }
    runEncode();
}

void ItemLane::runEncode()
{
    const FitPasses::Encode encode = m_run.fit->next(*m_run.temporary);
    runFfmpeg(encode.params, encode.output, encode.note);
    emit progressed(progressNow());
}

bool ItemLane::fitEncodeEnded(ItemOutcome& outcome, bool held)
{
    if (!outcome.converted || !m_run.fit->another(outcome, *m_run.temporary, m_run.log.get()))
        return true;
    if (m_run.stopRequested) {
        // Stopped as the encode ended of itself: no other follows.
        outcome = stoppedOutcome();
        outcome.ffmpegRan = true;
        return true;
    }
    // Held as the pass ended, the next one starts on resume.
    if (!held)
        runEncode();
    return false;
}

ItemProgress ItemLane::progressNow() const
{
    return m_run.fit ? m_run.fit->progress(m_run.progress.progress()) : m_run.progress.progress();
}

void ItemLane::stop()
{
    switch (m_state) {
    case ItemState::waiting:
    case ItemState::starting: finish(stoppedOutcome()); break;
    case ItemState::paused:
    case ItemState::converting:
    case ItemState::measuring:
    case ItemState::checking:
        m_run.stopRequested = true;
        if (!m_ffmpeg->running()) {
            finish(stoppedOutcome());
            break;
        }
        // The end comes as ffmpeg's, with 259.
        m_ffmpeg->stop();
        break;
    case ItemState::publishing:
    case ItemState::done:
    case ItemState::failed:
    case ItemState::stopped:
    case ItemState::skipped: break;
    }
}

void ItemLane::pause()
{
    if (m_state != ItemState::starting && m_state != ItemState::converting && m_state != ItemState::measuring
        && m_state != ItemState::checking)
        return;
    if (m_ffmpeg->running())
        m_ffmpeg->hold(true);
    holdMeasures(true);
    m_run.pausedFrom = m_state;
    setState(ItemState::paused);
}

void ItemLane::resume()
{
    if (m_state != ItemState::paused)
        return;
    const ItemState from = m_run.pausedFrom;
    if (m_ffmpeg->running())
        m_ffmpeg->hold(false);
    holdMeasures(false);
    setState(from);
    // What was measured while it was held is compared now.
    if (from == ItemState::measuring)
        judge();
    // A size-limited item held between its steps takes the next now.
    if (from == ItemState::converting && m_run.fit)
        fitStep();
    // Its abilities came while it was held: ffmpeg starts now.
    if (from == ItemState::starting && m_run.abilitiesKnown)
        weigh();
}

void ItemLane::lineHandler(const std::string& tagged, TOutputType type)
{
    if (type != otEntireLine)
        return;
    const OutputCheck::LogLine logged = OutputCheck::untag(tagged);
    const std::string& line = logged.text;
    if (m_run.log)
        m_run.log->write(line);
    emit outputLine(line);
    const bool checking = inState(ItemState::checking);
    if (m_run.progress.read(line)) {
        ItemProgress progress = progressNow();
        progress.checking = checking;
        emit progressed(progress);
    }
    if (checking) {
        if (line.starts_with("frame=")) {
            const std::size_t digits = line.find_first_not_of(' ', 6);
            if (digits != std::string::npos)
                std::from_chars(line.data() + digits, line.data() + line.size(), m_run.decodedFrames);
        }
        // Told with -v error, every line but the status is an error.
        if (m_run.checkError.empty() && !line.empty() && !line.starts_with("frame=") && !line.starts_with("size="))
            m_run.checkError = shown(line);
        return;
    }
    m_run.check->read(logged);
    if (m_run.fit)
        m_run.fit->read(line);
    // Status lines say how far ffmpeg is, and its closing words that it failed: neither says why.
    if (line.empty() || line.starts_with("frame=") || line.starts_with("size=") || line == "Conversion failed!")
        return;
    m_run.lastLine = shown(line);
    if (m_run.writeError.empty() && isWriteError(m_run.lastLine))
        m_run.writeError = m_run.lastLine;
}

std::string ItemLane::shown(const std::string& line) const
{
    std::string text = line;
    for (const auto& [given, name] : m_run.shownNames) {
        for (std::size_t at = text.find(given); at != std::string::npos; at = text.find(given, at + name.size()))
            text.replace(at, given.size(), name);
    }
    return text;
}

// ffmpeg's exit code alone does not prove success: a full disk can end it
// with 0 and a cut file.
void ItemLane::ffmpegEnded(std::uint32_t exitCode)
{
    if (inState(ItemState::checking)) {
        checkEnded(exitCode);
        return;
    }
    if (!inState(ItemState::converting))
        return;
    const bool held = m_state == ItemState::paused;
    // A first pass writes a file of its own, which only its end looks at.
    const bool firstPass = m_run.fit && m_run.fit->firstPass();
    ItemOutcome outcome = outcomeSoFar();
    outcome.exitCode = exitCode;
    outcome.ffmpegRan = true;
    outcome.stopped = m_run.stopRequested && exitCode == kStillActive;
    outcome.decodeErrors = m_run.check->decodeErrors();
    if (exitCode != 0)
        outcome.setReason(failureText(exitCode));
    else if (!m_run.writeError.empty())
        outcome.setReason(Wording::verbatim(m_run.writeError));
    else if (!m_run.temporary->folderIntact())
        outcome.setReason(
            reason(QT_TRANSLATE_NOOP("Reason", "the output folder was removed while ffmpeg wrote into it")));
    else if (!firstPass && (!m_run.temporary->identity() || m_run.temporary->size() == 0))
        outcome.setReason(reason(QT_TRANSLATE_NOOP("Reason", "ffmpeg wrote no output")));
    else
        outcome.converted = true;
    if (outcome.converted && !firstPass)
        outcome.size = m_run.temporary->size();
    if (m_run.fit && !fitEncodeEnded(outcome, held))
        return;
    if (!outcome.converted || m_job.verification == Verification::none) {
        if (outcome.converted)
            outcome.setUncheckedWhy(reason(QT_TRANSLATE_NOOP("Reason", "its length is not checked (--verify=none)")));
        finish(std::move(outcome));
        return;
    }
    m_run.outcome = std::move(outcome);
    startMeasuring(held);
}

std::unique_ptr<LaneFfmpeg::Measure> ItemLane::measure(
    const std::string& file, std::optional<MediaContents> ItemRun::*into)
{
    // The measure is the item's, gone before the lane takes another; an answer for an earlier item is dropped.
    const QPointer<ItemLane> self(this);
    const std::uint64_t generation = m_generation;
    return m_ffmpeg->measure(m_job, file, [self, into, generation](const MediaContents& contents) {
        if (!self || self->m_generation != generation)
            return;
        self->m_run.*into = contents;
        self->judge();
    });
}

void ItemLane::startMeasuring(bool held)
{
    // Held while ffmpeg ended, it stays held: the measuring starts held.
    if (held)
        m_run.pausedFrom = ItemState::measuring;
    else
        setState(ItemState::measuring);
    ItemProgress progress = progressNow();
    progress.checking = true;
    emit progressed(progress);
    if (!m_run.inputMeasure)
        m_run.inputMeasure = measure(m_job.source, &ItemRun::input);
    m_run.outputMeasure = measure(m_run.temporary->path(), &ItemRun::output);
    if (held)
        holdMeasures(true);
}

void ItemLane::judge()
{
    // A size-limited item's budget waits for its input's length.
    if (m_run.fit && !m_run.fit->planned()) {
        fitStep();
        return;
    }
    if (m_state != ItemState::measuring || !m_run.input || !m_run.output)
        return;
    m_run.verdict = m_run.check->verdict(*m_run.input, *m_run.output);
    const OutputCheck::Verdict& verdict = m_run.verdict;
    ItemOutcome outcome = std::move(m_run.outcome);
    outcome.inputSeconds = verdict.inputSeconds;
    outcome.outputSeconds = verdict.outputSeconds;
    outcome.decodeErrors = verdict.decodeErrors;
    outcome.streams = verdict.streams;
    if (!verdict.failure.empty()) {
        outcome.converted = false;
        outcome.setReason({verdict.failure, verdict.failureShown});
        finish(std::move(outcome));
        return;
    }
    outcome.checked = verdict.checked ? ItemOutcome::Check::streams : ItemOutcome::Check::none;
    outcome.setUncheckedWhy({verdict.uncheckedWhy, verdict.uncheckedWhyShown});
    if (m_job.verification == Verification::decode) {
        m_run.outcome = std::move(outcome);
        startChecking();
        return;
    }
    finish(std::move(outcome));
}

void ItemLane::holdMeasures(bool held)
{
    for (LaneFfmpeg::Measure* measure :
        {m_run.inputMeasure.get(), m_run.outputMeasure.get(), m_run.existingMeasure.get()}) {
        if (measure)
            measure->hold(held);
    }
}

void ItemLane::startChecking()
{
    // Paused while ffmpeg ended, it stays paused: the check starts held.
    if (m_state == ItemState::paused)
        m_run.pausedFrom = ItemState::checking;
    else
        setState(ItemState::checking);
    const ItemOutcome& converted = m_run.outcome;
    m_run.progress.expect(converted.outputSeconds > 0 ? converted.outputSeconds : converted.inputSeconds);
    ItemProgress progress = m_run.progress.progress();
    progress.checking = true;
    emit progressed(progress);
    const std::string output = localFile(m_run.temporary->path());
    const std::string commandLine
        = "\"" + m_job.ffmpeg + "\" -v error -stats -i \"" + m_job.outputPath + "\" -f null -";
    if (m_run.log)
        m_run.log->write(commandLine);
    m_ffmpeg->run({m_job.ffmpeg, "-nostdin", "-v", "error", "-stats", "-i", output, "-f", "null", "-"}, commandLine);
    if (m_state == ItemState::paused)
        m_ffmpeg->hold(true);
}

void ItemLane::checkEnded(std::uint32_t exitCode)
{
    ItemOutcome outcome = std::move(m_run.outcome);
    if (m_run.stopRequested && exitCode == kStillActive) {
        outcome.converted = false;
        outcome.stopped = true;
        outcome.checked = ItemOutcome::Check::none;
        outcome.streams.clear();
        outcome.exitCode = kStillActive;
        outcome.setReason(reason(QT_TRANSLATE_NOOP("Reason", "stopped")));
    } else if (exitCode != 0 || !m_run.checkError.empty()) {
        outcome.converted = false;
        outcome.setReason(!m_run.checkError.empty()
                ? Wording::verbatim(m_run.checkError)
                : reason(QT_TRANSLATE_NOOP("Reason", "the output could not be decoded (ffmpeg ended with code %1)"),
                    exitCode));
    } else if (const Wording shortfall
               = OutputCheck::decodedShortfall(m_run.verdict, m_run.progress.progress().position, m_run.decodedFrames);
               !shortfall.empty()) {
        outcome.converted = false;
        outcome.setReason(shortfall);
    } else {
        outcome.checked = ItemOutcome::Check::decode;
        outcome.setUncheckedWhy({});
    }
    finish(std::move(outcome));
}

Wording ItemLane::failureText(std::uint32_t exitCode) const
{
    if (exitCode == kStillActive)
        return reason(QT_TRANSLATE_NOOP("Reason", "stopped"));
    // ffmpeg's own words are never translated.
    // Ended by a signal (the runner gives 128 + its number): what ffmpeg said last is no reason.
    if (exitCode > 128 && exitCode <= 128 + 64)
        return reason(QT_TRANSLATE_NOOP("Reason", "ffmpeg was killed by signal %1"), exitCode - 128);
    if (!m_run.lastLine.empty())
        return Wording::verbatim(m_run.lastLine);
    if (exitCode == kCannotStart)
        return reason(QT_TRANSLATE_NOOP("Reason", "ffmpeg could not be started"));
    return reason(QT_TRANSLATE_NOOP("Reason", "ffmpeg ended with code %1"), exitCode);
}

ItemOutcome ItemLane::outcomeSoFar() const
{
    ItemOutcome outcome;
    outcome.source = m_job.source;
    outcome.output = m_job.outputPath;
    outcome.exitCode = kCannotStart;
    outcome.sizeLimit = m_job.sizeLimit;
    return outcome;
}

ItemOutcome ItemLane::stoppedOutcome() const
{
    ItemOutcome outcome = outcomeSoFar();
    outcome.stopped = true;
    outcome.exitCode = kStillActive;
    outcome.setReason(reason(QT_TRANSLATE_NOOP("Reason", "stopped")));
    return outcome;
}

void ItemLane::finish(ItemOutcome outcome)
{
    setState(ItemState::publishing);
    outcome.passes = m_run.fit ? m_run.fit->encodes() : outcome.ffmpegRan ? 1 : 0;
    m_run.inputMeasure.reset();
    m_run.outputMeasure.reset();
    m_run.existingMeasure.reset();
    if (const std::unique_ptr<ItemLog> log = std::move(m_run.log))
        outcome.log = log->path();
    // The job owns what it publishes or removes; the lane may take its next
    // item before the done part runs.
    auto concluded = std::make_shared<ItemOutcome>(std::move(outcome));
    std::shared_ptr<TemporaryOutput> temporary = std::move(m_run.temporary);
    const bool measured = m_run.output && m_run.output->answer == MediaContents::Answer::measured;
    const ItemJob& job = m_job;
    auto conclude = [concluded, temporary, measured, item = job.item, wanted = job.outputPath, durable = job.durable,
                        recorder = job.recorder] {
        ItemOutcome& outcome = *concluded;
        if (outcome.converted) {
            try {
                if (durable)
                    temporary->sync(wanted);
                if (const std::optional<FileIdentity> file = temporary->identity(); file && recorder)
                    recorder->publishing(item, *file, wanted);
                // The output's measure is kept for the name it gets (a second run weighs it there).
                const std::optional<std::string> before
                    = measured ? MeasureCache::fileStamp(temporary->path()) : std::nullopt;
                outcome.output = temporary->publish(wanted, durable);
                if (const std::optional<std::string> after
                    = before ? MeasureCache::fileStamp(outcome.output) : std::nullopt)
                    MeasureCache::carry(*before, *after);
            } catch (const std::exception& error) {
                outcome.converted = false;
                outcome.setReason(wordingOf(error));
            }
        }
        if (temporary)
            temporary->discard();
        if (recorder)
            outcome.recorded = recorder->ended(item, outcome);
    };
    auto told = [self = QPointer<ItemLane>(this), generation = m_generation, concluded] {
        if (!self || self->m_generation != generation)
            return;
        const ItemOutcome& outcome = *concluded;
        self->setState(outcome.converted ? ItemState::done
                : outcome.stopped        ? ItemState::stopped
                : outcome.skipped        ? ItemState::skipped
                                         : ItemState::failed);
        emit self->ended(outcome);
    };
    // What waits for the disk (fsync, a record's lines) goes to the disk
    // worker; a rename alone is done here, and the end told from the event loop all the same.
    if (job.durable || job.recorder) {
        m_worker.post(std::move(conclude), std::move(told));
        return;
    }
    conclude();
    QMetaObject::invokeMethod(this, std::move(told), Qt::QueuedConnection);
}
