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
    connect(&m_model, &JobListModel::nodeAboutToBeRemoved, this, [this](JobListModel::Node* node) {
        if (node == m_nextNode)
            m_nextNode = nextWanted(node);
        // A node removed under a running item would leave the driver holding a dead record.
        for (const std::unique_ptr<Lane>& lane : m_lanes) {
            if (lane->node == node) {
                lane->node = nullptr;
                Stop();
            }
        }
    });
}

TCommand::~TCommand()
{
    // The runners go first, with their children; nothing they still have reaches this driver.
    for (const std::unique_ptr<Lane>& lane : m_lanes) {
        lane->runner.OnNewLine = nullptr;
        lane->runner.OnTerminated = nullptr;
    }
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

JobListModel::Node* TCommand::nextWanted(JobListModel::Node* after) const
{
    JobListModel::Node* node = after ? m_model.next(after) : m_model.first();
    while (node && m_wanted && !m_wanted(*node))
        node = m_model.next(node);
    return node;
}

std::vector<JobListModel::Node*> TCommand::runningNodes() const
{
    std::vector<JobListModel::Node*> nodes;
    for (const std::unique_ptr<Lane>& lane : m_lanes) {
        if (lane->busy && lane->node)
            nodes.push_back(lane->node);
    }
    std::sort(nodes.begin(), nodes.end(),
        [this](JobListModel::Node* a, JobListModel::Node* b) { return m_model.indexOf(a) < m_model.indexOf(b); });
    return nodes;
}

void TCommand::Start(const Selection& wanted)
{
    if (!m_idle)
        return;
    m_wanted = wanted;
    m_nextNode = nextWanted(nullptr);
    if (!m_nextNode)
        return;
    m_runItems = 0;
    for (JobListModel::Node* node = m_nextNode; node; node = nextWanted(node))
        ++m_runItems;
    // The lanes of the last run are idle; their runners are reused, so each
    // keeps one reader thread at most.
    const std::size_t lanes = static_cast<std::size_t>(std::clamp(Jobs, 1, std::max(1, m_runItems)));
    while (m_lanes.size() > lanes)
        m_lanes.pop_back();
    while (m_lanes.size() < lanes) {
        auto lane = std::make_unique<Lane>();
        Lane* const at = lane.get();
        lane->runner.OnNewLine
            = [this, at](TDosCommand*, const std::string& line, TOutputType type) { lineHandler(*at, line, type); };
        lane->runner.OnTerminated = [this, at](TDosCommand*, std::uint32_t exitCode) { endHandler(*at, exitCode); };
        m_lanes.push_back(std::move(lane));
    }
    m_currentIndex = 0;
    m_sweptDirs.clear();
    m_summary = RunSummary();
    m_finishedItems = 0;
    if (!LogFolder.empty())
        ItemLog::prune(LogFolder, ItemLog::kMaxTotalBytes);
    m_timer.start();
    m_idle = false;
    m_stopRequested = false;
    for (const std::unique_ptr<Lane>& lane : m_lanes) {
        if (!m_nextNode)
            break;
        startItem(*lane, m_nextNode);
    }
}

void TCommand::Stop()
{
    if (m_idle)
        return;
    m_stopRequested = true;
    m_nextNode = nullptr;
    for (const std::unique_ptr<Lane>& lane : m_lanes)
        lane->runner.Stop();
}

void TCommand::startItem(Lane& lane, JobListModel::Node* node)
{
    m_nextNode = nextWanted(node);
    m_currentIndex = static_cast<std::uint32_t>(m_model.indexOf(node));
    lane.busy = true;
    lane.node = node;
    node->State = kStateConverting;
    node->Failure.clear();
    node->Progress = ItemProgress();
    node->Output.clear();
    node->Log.clear();
    lane.progress.reset();
    lane.lastLine.clear();
    lane.writeError.clear();
    lane.reason.clear();
    lane.shownNames.clear();
    lane.outputPath.clear();
    node->Item.Busy = true;
    m_model.nodeChanged(node);
    emit itemStarted(node);

    if (!m_catalogue.isValidIndex(node->Item.FormatIndex)) {
        // Never run ffmpeg with values from outside the catalogue.
        reportError("The format of \"" + node->Item.FileName.toStdString() + "\" (number "
            + std::to_string(node->Item.FormatIndex) + ") is not in the format catalogue.");
        failAtOnce(lane, "format number " + std::to_string(node->Item.FormatIndex) + " is not in the format catalogue");
        return;
    }
    if (const std::string why = m_catalogue.whyUnavailable(node->Item.FormatIndex, FfmpegPath); !why.empty()) {
        failAtOnce(
            lane, "the format \"" + m_catalogue.formatName(node->Item.FormatIndex) + "\" is unavailable: " + why);
        return;
    }
    Plan plan;
    try {
        plan = planFor(*node);
        lane.outputPath = plan.outputPath;
        if (node->Item.Path.isEmpty() && GlobalPath.empty())
            defaultOutputFolder(true);
        if (m_sweptDirs.insert(plan.outputDir).second)
            TemporaryOutput::removeStale(plan.outputDir);
        lane.temporary = std::make_unique<TemporaryOutput>(plan.outputPath);
    } catch (const std::exception& error) {
        failAtOnce(lane, error.what());
        return;
    }

    lane.log = std::make_unique<ItemLog>(LogFolder, plan.source, plan.commandLine);
    // ffmpeg writes into the temporary, which is this run's own: -y lets it.
    TDosCommand& runner = lane.runner;
    runner.CommandLine = plan.commandLine;
    runner.Arguments = {FfmpegPath, "-y"};
    runner.Arguments.insert(runner.Arguments.end(), plan.inputParams.begin(), plan.inputParams.end());
    runner.Arguments.push_back("-i");
    runner.Arguments.push_back(localFile(plan.source));
    runner.Arguments.insert(runner.Arguments.end(), plan.params.begin(), plan.params.end());
    runner.Arguments.push_back(localFile(lane.temporary->path()));
    // ffmpeg's words name the files as it got them; the user knows them by their own names.
    lane.shownNames = {{localFile(plan.source), plan.source}, {runner.Arguments.back(), plan.outputPath}};
    runner.Execute();
}

void TCommand::failAtOnce(Lane& lane, const std::string& reason)
{
    lane.reason = reason;
    QMetaObject::invokeMethod(
        this, [this, &lane] { endHandler(lane, kCannotStart); }, Qt::QueuedConnection);
}

void TCommand::lineHandler(Lane& lane, const std::string& line, TOutputType type)
{
    if (type == otEntireLine && lane.log)
        lane.log->write(line);
    if (type == otEntireLine && lane.progress.read(line) && lane.node) {
        lane.node->Progress = lane.progress.progress();
        m_model.nodeChanged(lane.node);
        emit itemProgress(lane.node, lane.node->Progress);
    }
    // Status lines say how far ffmpeg is, and its closing words that it failed: neither says why.
    if (type == otEntireLine && !line.empty() && !line.starts_with("frame=") && !line.starts_with("size=")
        && line != "Conversion failed!") {
        lane.lastLine = line;
        for (const auto& [given, shown] : lane.shownNames) {
            for (std::size_t at = lane.lastLine.find(given); at != std::string::npos;
                 at = lane.lastLine.find(given, at + shown.size()))
                lane.lastLine.replace(at, given.size(), shown);
        }
        if (lane.writeError.empty() && isWriteError(lane.lastLine))
            lane.writeError = lane.lastLine;
    }
    if (OnOutput)
        OnOutput(&lane.runner, 0);
}

void TCommand::endHandler(Lane& lane, std::uint32_t exitCode)
{
    JobListModel::Node* const node = lane.node;
    const ItemOutcome outcome = finishItem(lane, exitCode);
    countOutcome(outcome);
    if (OnProgress && m_runItems > 0)
        OnProgress(&lane.runner, static_cast<std::int32_t>(m_finishedItems * 100 / m_runItems));
    emit itemFinished(node, outcome);

    if (node) {
        node->State = outcome.converted ? kStateDone : kStateFailed;
        if (!outcome.converted)
            node->Failure = QString::fromStdString(outcome.reason);
        else
            node->Output = QString::fromStdString(outcome.output);
        node->Log = QString::fromStdString(outcome.log);
        node->Progress = ItemProgress();
        m_model.nodeChanged(node);
    }
    lane.runner.Stop();
    lane.busy = false;
    lane.node = nullptr;
    setNodeIdle(node);

    if (!m_stopRequested && m_nextNode) {
        startItem(lane, m_nextNode);
        return;
    }
    if (!anyBusy())
        endRun(m_stopRequested);
}

// Publishes the output of an item that succeeded; anything else loses its
// temporary. ffmpeg's exit code alone does not prove success: a full disk can
// end it with 0 and a cut file.
ItemOutcome TCommand::finishItem(Lane& lane, std::uint32_t exitCode)
{
    ItemOutcome outcome;
    outcome.exitCode = exitCode;
    outcome.output = lane.outputPath;
    outcome.source = lane.node ? lane.node->Item.FileName.toStdString() : std::string();
    outcome.stopped = exitCode == kStillActive && m_stopRequested;
    const std::unique_ptr<TemporaryOutput> temporary = std::move(lane.temporary);
    if (const std::unique_ptr<ItemLog> log = std::move(lane.log))
        outcome.log = log->path();
    if (!lane.reason.empty()) {
        outcome.reason = lane.reason;
    } else if (exitCode != 0) {
        outcome.reason = failureText(lane, exitCode);
    } else if (!lane.writeError.empty()) {
        outcome.reason = lane.writeError;
    } else if (!temporary || !temporary->intact()) {
        outcome.reason = "the output was removed while ffmpeg wrote it";
    } else if (temporary->size() == 0) {
        outcome.reason = "ffmpeg wrote no output";
    } else {
        try {
            outcome.output = temporary->publish(lane.outputPath, Durable);
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
    if (m_idle || m_runItems <= 0)
        return 0;
    double running = 0;
    for (const std::unique_ptr<Lane>& lane : m_lanes) {
        if (lane->busy && lane->node)
            running += std::max(0.0, lane->node->Progress.fraction);
    }
    return std::clamp((m_finishedItems + running) / m_runItems, 0.0, 1.0);
}

std::int64_t TCommand::runSecondsLeft() const
{
    // Too early, the first seconds of ffmpeg's start would be taken for its pace.
    const double done = runFraction();
    if (m_elapsed < 3 || done < 0.01)
        return -1;
    return static_cast<std::int64_t>(std::llround(static_cast<double>(m_elapsed) * (1 - done) / done));
}

std::string TCommand::failureText(const Lane& lane, std::uint32_t exitCode) const
{
    if (exitCode == kStillActive)
        return "stopped";
    if (!lane.lastLine.empty())
        return lane.lastLine;
    if (exitCode == kCannotStart)
        return "ffmpeg could not be started";
    return "ffmpeg ended with code " + std::to_string(exitCode);
}

void TCommand::tickStep()
{
    for (const std::unique_ptr<Lane>& lane : m_lanes) {
        if (!lane->busy || !lane->node)
            continue;
        std::uint32_t& position = lane->node->Item.ActivityPos;
        position = position >= kLastActivityPos ? 0 : position + 1;
        m_model.nodeChanged(lane->node);
    }
    ++m_elapsed;
    if (OnTick)
        OnTick(&m_timer);
}

bool TCommand::anyBusy() const
{
    return std::any_of(m_lanes.begin(), m_lanes.end(), [](const std::unique_ptr<Lane>& lane) { return lane->busy; });
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
    m_nextNode = nullptr;
    m_wanted = nullptr;
    m_currentIndex = 0;
    m_timer.stop();
    m_idle = true;
    m_stopRequested = false;
    m_elapsed = 0;
    const QPointer<TCommand> alive(this);
    if (OnFinished)
        OnFinished(m_lanes.empty() ? nullptr : &m_lanes.front()->runner, stopped);
    if (alive)
        emit runFinished(stopped);
}
