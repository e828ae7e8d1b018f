#include "command.h"

#include "ErrorReport.h"
#include "ProgramDir.h"
#include "commandManager.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isRegularFile(const std::string& path)
{
    struct stat info { };
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace

TCommand::TCommand(JobListModel& model, const TCommandManager& catalogue, QObject* parent)
    : QObject(parent)
    , FfmpegPath(programDirectory() + "bin/ffmpeg")
    , m_model(model)
    , m_catalogue(catalogue)
{
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &TCommand::tickStep);
    m_runner.OnNewLine = [this](TDosCommand* sender, const std::string& line, TOutputType type) {
        if (type == otEntireLine && !line.empty())
            m_lastLine = line;
        lineHandler(sender);
    };
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
    if (!m_idle)
        m_partialOutput.path = m_outputPath;
}

TCommand::PartialOutput::~PartialOutput()
{
    // The name was free when the item started, so the file is the item's own.
    if (!path.empty() && isRegularFile(path))
        ::unlink(path.c_str());
}

TCommand::Plan TCommand::planFor(const JobListModel::Node& node) const
{
    Plan plan;
    const std::string path = node.Item.Path.toStdString();
    if (!path.empty())
        plan.outputDir = path;
    else if (!GlobalPath.empty())
        plan.outputDir = GlobalPath;
    else
        plan.outputDir = programDirectory() + "convert/";
    const std::string source = node.Item.FileName.toStdString();
    plan.outputName = changeFileExt(extractFileName(source), "." + m_catalogue.GetExt(node.Item.FormatIndex));
    plan.outputPath = m_overwriteManager.GetUniqueFileName(plan.outputDir + plan.outputName);

    const std::string params = m_catalogue.GetParams(node.Item.FormatIndex);
    plan.commandLine = "\"" + FfmpegPath + "\" -i \"" + source + "\" " + params + " \"" + plan.outputPath + "\"";
    plan.arguments = {FfmpegPath, "-i", source};
    for (std::string& param : splitCommandLine(params))
        plan.arguments.push_back(std::move(param));
    plan.arguments.push_back(plan.outputPath);
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
    Plan plan = planFor(*node);
    m_outputDir = plan.outputDir;
    m_outputName = plan.outputName;
    m_outputPath = plan.outputPath;

    node->State = kStateConverting;
    node->Failure.clear();
    m_lastLine.clear();
    node->Item.Busy = true;
    m_model.nodeChanged(node);
    if (onItemStarted)
        onItemStarted(node);

    if (!m_catalogue.isValidIndex(node->Item.FormatIndex)) {
        // Never run ffmpeg with values from outside the catalogue. The end is
        // reported from the event loop, as ffmpeg's would be, so a long list of
        // such items cannot nest calls.
        m_outputPath.clear();
        m_lastLine = "format number " + std::to_string(node->Item.FormatIndex) + " is not in the format catalogue";
        reportError("The format of \"" + node->Item.FileName.toStdString() + "\" (number "
            + std::to_string(node->Item.FormatIndex) + ") is not in the format catalogue.");
        QMetaObject::invokeMethod(
            this, [this] { endHandler(kCannotStart); }, Qt::QueuedConnection);
        return;
    }
    m_runner.CommandLine = plan.commandLine;
    m_runner.Arguments = std::move(plan.arguments);
    m_runner.Execute();
}

void TCommand::lineHandler(TDosCommand* sender)
{
    if (OnOutput)
        OnOutput(sender, 0);
}

void TCommand::endHandler(std::uint32_t exitCode)
{
    const int count = m_model.count();
    if (OnProgress && count > 0)
        OnProgress(
            &m_runner, static_cast<std::int32_t>((m_currentIndex + 1) * 100 / static_cast<std::uint32_t>(count)));

    // A failed or stopped ffmpeg leaves an unplayable file under a real output
    // name; the name was free when the item started, so the file is its own.
    if (exitCode != 0 && !m_outputPath.empty() && isRegularFile(m_outputPath))
        ::unlink(m_outputPath.c_str());
    if (onItemFinished)
        onItemFinished(m_currentNode, exitCode, m_outputPath);

    if (m_currentNode) {
        m_currentNode->State = exitCode == 0 ? kStateDone : kStateFailed;
        if (exitCode != 0)
            m_currentNode->Failure = QString::fromStdString(failureText(exitCode));
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
        position = position >= 74 ? 0 : position + 1;
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
    if (OnFinished)
        OnFinished(&m_runner, stopped);
}
