#include "ItemLane.h"

#include "DiskWorker.h"
#include "commandManager.h"

#include <QPointer>

#include <csignal>
#include <filesystem>

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

// ffmpeg takes a name as a URL or, with a leading "-", as an option; with the
// file protocol it is always the local file of that name.
std::string localFile(const std::string& path)
{
    return "file:" + absolutePath(path);
}

} // namespace

std::vector<std::string> ffmpegArguments(const ItemJob& job, const std::string& output)
{
    // ffmpeg creates its output itself and is told never to overwrite
    // anything, whatever else the entry names.
    std::vector<std::string> arguments = {job.ffmpeg, "-n"};
    arguments.insert(arguments.end(), job.inputParams.begin(), job.inputParams.end());
    arguments.push_back("-i");
    arguments.push_back(localFile(job.source));
    arguments.insert(arguments.end(), job.params.begin(), job.params.end());
    arguments.push_back(localFile(output));
    return arguments;
}

ItemLane::ItemLane(DiskWorker& worker, QObject* parent)
    : QObject(parent)
    , m_worker(worker)
{
    m_runner.OnNewLine = [this](TDosCommand*, const std::string& line, TOutputType type) { lineHandler(line, type); };
    m_runner.OnTerminated = [this](TDosCommand*, std::uint32_t exitCode) { ffmpegEnded(exitCode); };
}

ItemLane::~ItemLane()
{
    m_runner.OnNewLine = nullptr;
    m_runner.OnTerminated = nullptr;
}

void ItemLane::assign(ItemJob job)
{
    m_job = std::move(job);
    m_run = ItemRun {};
    ++m_generation;
    m_state = State::queued;
}

void ItemLane::start()
{
    if (m_state != State::queued)
        return;
    m_state = State::starting;
    if (!m_job.failure.empty()) {
        ItemOutcome outcome = outcomeSoFar();
        outcome.setReason(m_job.failure);
        finish(std::move(outcome));
        return;
    }
    const QPointer<ItemLane> self(this);
    const std::uint64_t generation = m_generation;
    m_job.probe->whenAnswered([self, generation](const FfmpegProbe::Answer& answer) {
        if (self && self->m_generation == generation)
            self->abilitiesKnown(answer);
    });
}

void ItemLane::abilitiesKnown(const FfmpegProbe::Answer& answer)
{
    if (m_state != State::starting)
        return;
    const Wording why = m_job.catalogue->unavailability(m_job.formatIndex, answer.get());
    if (!why.empty()) {
        ItemOutcome outcome = outcomeSoFar();
        outcome.setReason(reason(QT_TRANSLATE_NOOP("Reason", "the format \"%1\" is unavailable: %2"),
            m_job.catalogue->formatName(m_job.formatIndex), why));
        finish(std::move(outcome));
        return;
    }
    if (m_run.pauseRequested) {
        m_state = State::paused;
        return;
    }
    launch();
}

void ItemLane::launch()
{
    try {
        m_run.temporary = std::make_unique<TemporaryOutput>(m_job.outputPath);
    } catch (const std::exception& error) {
        ItemOutcome outcome = outcomeSoFar();
        outcome.setReason(wordingOf(error));
        finish(std::move(outcome));
        return;
    }
    m_run.log = std::make_unique<ItemLog>(m_job.logFolder, m_job.source, m_job.commandLine);
    m_run.check.emplace(m_job.inputParams, m_job.params);
    m_runner.Arguments = ffmpegArguments(m_job, m_run.temporary->path());
    m_runner.CommandLine = m_job.commandLine;
    // ffmpeg's words name the files as it got them; the user knows them by their own names.
    m_run.shownNames = {{localFile(m_job.source), m_job.source}, {m_runner.Arguments.back(), m_job.outputPath}};
    m_state = State::running;
    m_runner.Execute();
}

void ItemLane::stop()
{
    switch (m_state) {
    case State::queued:
    case State::starting: finish(stoppedOutcome()); break;
    case State::paused:
    case State::running:
    case State::checking:
        m_run.stopRequested = true;
        if (!m_runner.isRunning()) {
            finish(stoppedOutcome());
            break;
        }
        m_runner.signalChild(SIGCONT);
        // The end comes as ffmpeg's, with 259.
        m_runner.Stop();
        break;
    case State::publishing:
    case State::ended: break;
    }
}

void ItemLane::pause()
{
    if (m_state == State::queued || m_state == State::starting) {
        m_run.pauseRequested = true;
    } else if (m_state == State::running || m_state == State::checking) {
        m_runner.signalChild(SIGSTOP);
        m_run.pausedFrom = m_state;
        m_state = State::paused;
    }
}

void ItemLane::resume()
{
    m_run.pauseRequested = false;
    if (m_state != State::paused)
        return;
    if (!m_runner.isRunning()) {
        launch();
        return;
    }
    m_runner.signalChild(SIGCONT);
    m_state = m_run.pausedFrom;
}

void ItemLane::lineHandler(const std::string& line, TOutputType type)
{
    if (type != otEntireLine)
        return;
    if (m_run.log)
        m_run.log->write(line);
    emit outputLine(line);
    const bool checking
        = m_state == State::checking || (m_state == State::paused && m_run.pausedFrom == State::checking);
    if (m_run.progress.read(line)) {
        ItemProgress progress = m_run.progress.progress();
        progress.checking = checking;
        emit progressed(progress);
    }
    if (checking) {
        // Told with -v error, every line but the status is an error.
        if (m_run.checkError.empty() && !line.empty() && !line.starts_with("frame=") && !line.starts_with("size="))
            m_run.checkError = shown(line);
        return;
    }
    m_run.check->read(line);
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
    if (m_state == State::checking || (m_state == State::paused && m_run.pausedFrom == State::checking)) {
        checkEnded(exitCode);
        return;
    }
    if (m_state != State::running && m_state != State::paused)
        return;
    ItemOutcome outcome = outcomeSoFar();
    outcome.exitCode = exitCode;
    outcome.ffmpegRan = true;
    outcome.stopped = m_run.stopRequested && exitCode == kStillActive;
    const OutputCheck::Verdict verdict = m_run.check->verdict(m_run.progress.progress());
    outcome.inputSeconds = verdict.inputSeconds;
    outcome.outputSeconds = verdict.outputSeconds;
    outcome.decodeErrors = verdict.decodeErrors;
    if (exitCode != 0)
        outcome.setReason(failureText(exitCode));
    else if (!m_run.writeError.empty())
        outcome.setReason(Wording::verbatim(m_run.writeError));
    else if (!m_run.temporary->folderIntact())
        outcome.setReason(
            reason(QT_TRANSLATE_NOOP("Reason", "the output folder was removed while ffmpeg wrote into it")));
    else if (!m_run.temporary->identity() || m_run.temporary->size() == 0)
        outcome.setReason(reason(QT_TRANSLATE_NOOP("Reason", "ffmpeg wrote no output")));
    else if (m_job.verification != Verification::none && !verdict.failure.empty())
        outcome.setReason({verdict.failure, verdict.failureShown});
    else
        outcome.converted = true;
    if (outcome.converted && m_job.verification != Verification::none) {
        outcome.checked = verdict.checked ? ItemOutcome::Check::duration : ItemOutcome::Check::none;
        outcome.setUncheckedWhy({verdict.uncheckedWhy, verdict.uncheckedWhyShown});
    } else if (outcome.converted) {
        outcome.setUncheckedWhy(reason(QT_TRANSLATE_NOOP("Reason", "its length is not checked (--verify=none)")));
    }
    if (outcome.converted && m_job.verification == Verification::decode) {
        m_run.outcome = std::move(outcome);
        startChecking();
        return;
    }
    finish(std::move(outcome));
}

void ItemLane::startChecking()
{
    m_state = State::checking;
    const ItemOutcome& converted = m_run.outcome;
    m_run.progress.expect(converted.outputSeconds > 0 ? converted.outputSeconds : converted.inputSeconds);
    ItemProgress progress = m_run.progress.progress();
    progress.checking = true;
    emit progressed(progress);
    const std::string output = localFile(m_run.temporary->path());
    m_runner.Arguments = {m_job.ffmpeg, "-nostdin", "-v", "error", "-stats", "-i", output, "-f", "null", "-"};
    m_runner.CommandLine = "\"" + m_job.ffmpeg + "\" -v error -stats -i \"" + m_job.outputPath + "\" -f null -";
    if (m_run.log)
        m_run.log->write(m_runner.CommandLine);
    m_runner.Execute();
}

void ItemLane::checkEnded(std::uint32_t exitCode)
{
    ItemOutcome outcome = std::move(m_run.outcome);
    if (m_run.stopRequested && exitCode == kStillActive) {
        outcome.converted = false;
        outcome.stopped = true;
        outcome.exitCode = kStillActive;
        outcome.setReason(reason(QT_TRANSLATE_NOOP("Reason", "stopped")));
    } else if (exitCode != 0 || !m_run.checkError.empty()) {
        outcome.converted = false;
        outcome.setReason(!m_run.checkError.empty()
                ? Wording::verbatim(m_run.checkError)
                : reason(QT_TRANSLATE_NOOP("Reason", "the output could not be decoded (ffmpeg ended with code %1)"),
                    exitCode));
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
    m_state = State::publishing;
    if (const std::unique_ptr<ItemLog> log = std::move(m_run.log))
        outcome.log = log->path();
    // The job owns what it publishes or removes; the lane may take its next
    // item before the done part runs.
    auto concluded = std::make_shared<ItemOutcome>(std::move(outcome));
    std::shared_ptr<TemporaryOutput> temporary = std::move(m_run.temporary);
    const ItemJob& job = m_job;
    auto conclude = [concluded, temporary, item = job.item, wanted = job.outputPath, durable = job.durable,
                        recorder = job.recorder] {
        ItemOutcome& outcome = *concluded;
        if (outcome.converted) {
            try {
                if (durable)
                    temporary->sync(wanted);
                if (const std::optional<FileIdentity> file = temporary->identity(); file && recorder)
                    recorder->publishing(item, *file, wanted);
                outcome.output = temporary->publish(wanted, durable);
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
        self->m_state = State::ended;
        emit self->ended(*concluded);
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
