#include "command.h"

#include "ErrorReport.h"
#include "ProgramDir.h"
#include "commandManager.h"

#include <QPointer>

#include <algorithm>
#include <cmath>
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

TCommand::TCommand(JobListModel& model, const TCommandManager& catalogue, QObject* parent)
    : QObject(parent)
    , FfmpegPath(defaultFfmpegPath())
    , LogFolder(ItemLog::defaultFolder())
    , m_model(model)
    , m_catalogue(catalogue)
{
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &TCommand::tickStep);
    m_runner.OnNewLine
        = [this](TDosCommand* sender, const std::string& line, TOutputType type) { lineHandler(sender, line, type); };
    m_runner.OnTerminated = [this](TDosCommand*, std::uint32_t exitCode) { endHandler(exitCode); };
    // A node removed under a running item would leave the driver holding a dead record.
    connect(&m_model, &JobListModel::nodeAboutToBeRemoved, this, [this](JobListModel::Node* node) {
        if (node == m_currentNode) {
            m_currentNode = nullptr;
            Stop();
        }
    });
}

TCommand::~TCommand()
{
    // The runner goes first, with its child; nothing it still has reaches this driver.
    m_runner.OnNewLine = nullptr;
    m_runner.OnTerminated = nullptr;
}

TCommand::Plan TCommand::planFor(const JobListModel::Node& node) const
{
    Plan plan;
    plan.source = node.Item.FileName.toStdString();
    const std::string path = node.Item.Path.toStdString();
    if (plan.source.find('\0') != std::string::npos || path.find('\0') != std::string::npos)
        throw std::runtime_error("The name of \"" + plan.source + "\" or its folder holds a NUL character.");
    if (!path.empty())
        plan.outputDir = path;
    else if (!GlobalPath.empty())
        plan.outputDir = GlobalPath;
    else
        plan.outputDir = defaultOutputFolder();
    // A folder is a folder, also when a list file names it without the separator.
    if (plan.outputDir.back() != '/')
        plan.outputDir += '/';
    plan.outputName = changeFileExt(extractFileName(plan.source), "." + m_catalogue.GetExt(node.Item.FormatIndex));
    plan.outputPath = m_overwriteManager.GetUniqueFileName(plan.outputDir + plan.outputName);

    const std::string params = m_catalogue.GetParams(node.Item.FormatIndex);
    const std::string inputParams = m_catalogue.GetInputParams(node.Item.FormatIndex);
    // Entries without input parameters keep the specified form exactly.
    plan.commandLine = "\"" + FfmpegPath + "\" " + (inputParams.empty() ? "" : inputParams + " ") + "-i \""
        + plan.source + "\" " + params + " \"" + plan.outputPath + "\"";
    plan.params = splitCommandLine(params);
    plan.inputParams = splitCommandLine(inputParams);
    return plan;
}

std::string TCommand::commandLineFor(const JobListModel::Node& node) const
{
    return planFor(node).commandLine;
}

void TCommand::Start()
{
    if (!m_idle)
        return;
    m_currentNode = m_model.first();
    if (!m_currentNode)
        return;
    m_currentIndex = 0;
    m_sweptDirs.clear();
    m_summary = RunSummary();
    m_finishedItems = 0;
    if (!LogFolder.empty())
        ItemLog::prune(LogFolder, ItemLog::kMaxTotalBytes);
    m_timer.start();
    m_idle = false;
    m_stopRequested = false;
    RunCurrent();
}

void TCommand::Stop()
{
    if (m_idle)
        return;
    m_stopRequested = true;
    m_runner.Stop();
}

void TCommand::RunCurrent()
{
    JobListModel::Node* node = m_currentNode;
    node->State = kStateConverting;
    node->Failure.clear();
    node->Progress = ItemProgress();
    node->Output.clear();
    node->Log.clear();
    m_progress.reset();
    m_lastLine.clear();
    m_writeError.clear();
    m_reason.clear();
    m_shownNames.clear();
    m_outputPath.clear();
    node->Item.Busy = true;
    m_model.nodeChanged(node);
    emit itemStarted(node);

    if (!m_catalogue.isValidIndex(node->Item.FormatIndex)) {
        // Never run ffmpeg with values from outside the catalogue.
        reportError("The format of \"" + node->Item.FileName.toStdString() + "\" (number "
            + std::to_string(node->Item.FormatIndex) + ") is not in the format catalogue.");
        failAtOnce("format number " + std::to_string(node->Item.FormatIndex) + " is not in the format catalogue");
        return;
    }
    if (const std::string why = m_catalogue.whyUnavailable(node->Item.FormatIndex, FfmpegPath); !why.empty()) {
        failAtOnce("the format \"" + m_catalogue.formatName(node->Item.FormatIndex) + "\" is unavailable: " + why);
        return;
    }
    Plan plan;
    try {
        plan = planFor(*node);
        m_outputDir = plan.outputDir;
        m_outputName = plan.outputName;
        m_outputPath = plan.outputPath;
        if (node->Item.Path.isEmpty() && GlobalPath.empty())
            defaultOutputFolder(true);
        if (m_sweptDirs.insert(plan.outputDir).second)
            TemporaryOutput::removeStale(plan.outputDir);
        m_temporary = std::make_unique<TemporaryOutput>(plan.outputPath);
    } catch (const std::exception& error) {
        failAtOnce(error.what());
        return;
    }

    m_log = std::make_unique<ItemLog>(LogFolder, plan.source, plan.commandLine);
    // ffmpeg writes into the temporary, which is this run's own: -y lets it.
    m_runner.CommandLine = plan.commandLine;
    m_runner.Arguments = {FfmpegPath, "-y"};
    m_runner.Arguments.insert(m_runner.Arguments.end(), plan.inputParams.begin(), plan.inputParams.end());
    m_runner.Arguments.push_back("-i");
    m_runner.Arguments.push_back(localFile(plan.source));
    m_runner.Arguments.insert(m_runner.Arguments.end(), plan.params.begin(), plan.params.end());
    m_runner.Arguments.push_back(localFile(m_temporary->path()));
    // ffmpeg's words name the files as it got them; the user knows them by their own names.
    m_shownNames = {{localFile(plan.source), plan.source}, {m_runner.Arguments.back(), plan.outputPath}};
    m_runner.Execute();
}

void TCommand::failAtOnce(const std::string& reason)
{
    m_reason = reason;
    QMetaObject::invokeMethod(
        this, [this] { endHandler(kCannotStart); }, Qt::QueuedConnection);
}

void TCommand::lineHandler(TDosCommand* sender, const std::string& line, TOutputType type)
{
    if (type == otEntireLine && m_log)
        m_log->write(line);
    if (type == otEntireLine && m_progress.read(line) && m_currentNode) {
        m_currentNode->Progress = m_progress.progress();
        m_model.nodeChanged(m_currentNode);
        emit itemProgress(m_currentNode, m_currentNode->Progress);
    }
    // Status lines say how far ffmpeg is, and its closing words that it failed: neither says why.
    if (type == otEntireLine && !line.empty() && !line.starts_with("frame=") && !line.starts_with("size=")
        && line != "Conversion failed!") {
        m_lastLine = line;
        for (const auto& [given, shown] : m_shownNames) {
            for (std::size_t at = m_lastLine.find(given); at != std::string::npos;
                 at = m_lastLine.find(given, at + shown.size()))
                m_lastLine.replace(at, given.size(), shown);
        }
        if (m_writeError.empty() && isWriteError(m_lastLine))
            m_writeError = m_lastLine;
    }
    if (OnOutput)
        OnOutput(sender, 0);
}

void TCommand::endHandler(std::uint32_t exitCode)
{
    const int count = m_model.count();
    if (OnProgress && count > 0)
        OnProgress(
            &m_runner, static_cast<std::int32_t>((m_currentIndex + 1) * 100 / static_cast<std::uint32_t>(count)));

    const ItemOutcome outcome = finishItem(exitCode);
    countOutcome(outcome);
    emit itemFinished(m_currentNode, outcome);

    if (m_currentNode) {
        m_currentNode->State = outcome.converted ? kStateDone : kStateFailed;
        if (!outcome.converted)
            m_currentNode->Failure = QString::fromStdString(outcome.reason);
        else
            m_currentNode->Output = QString::fromStdString(outcome.output);
        m_currentNode->Log = QString::fromStdString(outcome.log);
        m_currentNode->Progress = ItemProgress();
        m_model.nodeChanged(m_currentNode);
    }
    m_runner.Stop();

    if (m_stopRequested || !m_currentNode) {
        endRun(true);
        return;
    }
    if (m_currentIndex + 1 >= static_cast<std::uint32_t>(count)) {
        endRun(false);
        return;
    }
    setNodeIdle(m_currentNode);
    m_currentNode = m_model.next(m_currentNode);
    m_currentIndex = static_cast<std::uint32_t>(m_model.indexOf(m_currentNode));
    RunCurrent();
}

// Publishes the output of an item that succeeded; anything else loses its
// temporary. ffmpeg's exit code alone does not prove success: a full disk can
// end it with 0 and a cut file.
ItemOutcome TCommand::finishItem(std::uint32_t exitCode)
{
    ItemOutcome outcome;
    outcome.exitCode = exitCode;
    outcome.output = m_outputPath;
    outcome.source = m_currentNode ? m_currentNode->Item.FileName.toStdString() : std::string();
    outcome.stopped = exitCode == kStillActive && m_stopRequested;
    const std::unique_ptr<TemporaryOutput> temporary = std::move(m_temporary);
    if (const std::unique_ptr<ItemLog> log = std::move(m_log))
        outcome.log = log->path();
    if (!m_reason.empty()) {
        outcome.reason = m_reason;
    } else if (exitCode != 0) {
        outcome.reason = failureText(exitCode);
    } else if (!m_writeError.empty()) {
        outcome.reason = m_writeError;
    } else if (!temporary || !temporary->intact()) {
        outcome.reason = "the output was removed while ffmpeg wrote it";
    } else if (temporary->size() == 0) {
        outcome.reason = "ffmpeg wrote no output";
    } else {
        try {
            outcome.output = temporary->publish(m_outputPath);
            outcome.converted = true;
        } catch (const std::exception& error) {
            outcome.reason = error.what();
        }
    }
    return outcome;
}

void TCommand::countOutcome(const ItemOutcome& outcome)
{
    ++m_finishedItems;
    if (outcome.converted) {
        ++m_summary.converted;
        const std::string folder
            = outcome.output.substr(0, outcome.output.size() - extractFileName(outcome.output).size());
        if (std::find(m_summary.outputFolders.begin(), m_summary.outputFolders.end(), folder)
            == m_summary.outputFolders.end())
            m_summary.outputFolders.push_back(folder);
    } else if (outcome.stopped) {
        ++m_summary.stopped;
    } else {
        ++m_summary.failed;
        m_summary.failedSources.push_back(outcome.source);
    }
}

double TCommand::runFraction() const
{
    const int items = m_model.count();
    if (m_idle || items <= 0)
        return 0;
    const double running = m_currentNode ? std::max(0.0, m_currentNode->Progress.fraction) : 0.0;
    return std::clamp((m_finishedItems + running) / items, 0.0, 1.0);
}

std::int64_t TCommand::runSecondsLeft() const
{
    // Too early, the first seconds of ffmpeg's start would be taken for its pace.
    const double done = runFraction();
    if (m_elapsed < 3 || done < 0.01)
        return -1;
    return static_cast<std::int64_t>(std::llround(static_cast<double>(m_elapsed) * (1 - done) / done));
}

std::string TCommand::failureText(std::uint32_t exitCode) const
{
    if (exitCode == kStillActive)
        return "stopped";
    if (!m_lastLine.empty())
        return m_lastLine;
    if (exitCode == kCannotStart)
        return "ffmpeg could not be started";
    return "ffmpeg ended with code " + std::to_string(exitCode);
}

void TCommand::tickStep()
{
    if (m_currentNode) {
        std::uint32_t& position = m_currentNode->Item.ActivityPos;
        position = position >= kLastActivityPos ? 0 : position + 1;
        m_model.nodeChanged(m_currentNode);
    }
    ++m_elapsed;
    if (OnTick)
        OnTick(&m_timer);
}

void TCommand::setNodeIdle(JobListModel::Node* node)
{
    if (!node)
        return;
    node->Item.Busy = false;
    node->Item.ActivityPos = 0;
    m_model.nodeChanged(node);
}

void TCommand::endRun(bool stopped)
{
    setNodeIdle(m_currentNode);
    m_currentNode = nullptr;
    m_currentIndex = 0;
    m_timer.stop();
    m_idle = true;
    m_stopRequested = false;
    m_elapsed = 0;
    m_outputPath.clear();
    const QPointer<TCommand> alive(this);
    if (OnFinished)
        OnFinished(&m_runner, stopped);
    if (alive)
        emit runFinished(stopped);
}
