#pragma once

#include "DosCommand.h"
#include "JobListModel.h"
#include "overwriteManager.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TCommandManager;

// The conversion driver: walks the job list from its first node to its last,
// runs ffmpeg once per item through the process runner, marks each node as it
// starts and ends, and reports progress, a tick per second and the end of the run.
class TCommand final : public QObject {
    Q_OBJECT

public:
    using ProgressEvent = std::function<void(TDosCommand* Sender, std::int32_t Percent)>;
    using FinishedEvent = std::function<void(TDosCommand* Sender, bool Stopped)>;
    using TickEvent = std::function<void(QTimer* Sender)>;
    using OutputEvent = std::function<void(TDosCommand* Sender, std::int32_t Value)>;

    TCommand(JobListModel& model, const TCommandManager& catalogue, QObject* parent = nullptr);
    ~TCommand() override;

    // Converts every node from the first; the job list must not be empty.
    void Start();
    // Ends the running item's ffmpeg; the run then ends as stopped.
    void Stop();

    bool Idle() const { return m_idle; }
    bool StopRequested() const { return m_stopRequested; }
    std::int64_t Elapsed() const { return m_elapsed; }
    std::uint32_t CurrentIndex() const { return m_currentIndex; }
    const std::string& OutputDir() const { return m_outputDir; }
    const std::string& OutputName() const { return m_outputName; }
    TDosCommand& runner() { return m_runner; }

    // The ffmpeg command line, as text, for the item's node as it would run now.
    std::string commandLineFor(const JobListModel::Node& node) const;

    // The program directory followed by "bin/ffmpeg" unless changed.
    std::string FfmpegPath;
    // Output directory of items without one of their own; empty unless set.
    std::string GlobalPath;

    OutputEvent OnOutput;
    ProgressEvent OnProgress;
    FinishedEvent OnFinished;
    TickEvent OnTick;
    // The node just started, so a view can focus and select it.
    std::function<void(JobListModel::Node* node)> onItemStarted;
    // After each item: its node, ffmpeg's exit code and the output path.
    std::function<void(JobListModel::Node* node, std::uint32_t exitCode, const std::string& output)> onItemFinished;

private:
    struct Plan {
        std::string outputDir;
        std::string outputName;
        std::string outputPath; // unique
        std::string commandLine;
        std::vector<std::string> arguments;
    };
    Plan planFor(const JobListModel::Node& node) const;
    void RunCurrent();
    void lineHandler(TDosCommand* sender);
    void endHandler(std::uint32_t exitCode);
    void tickStep();
    // Why the current item failed, for its node: stopped, or ffmpeg's last line.
    std::string failureText(std::uint32_t exitCode) const;
    void endRun(bool stopped);
    void setNodeIdle(JobListModel::Node* node);

    JobListModel& m_model;
    const TCommandManager& m_catalogue;
    // Removes a file when it goes, if one is named: the output of an item cut
    // short by the driver's own destruction. Declared before the runner, so it
    // acts only once the runner has ended ffmpeg.
    struct PartialOutput {
        std::string path;
        ~PartialOutput();
    };

    TOverwriteManager m_overwriteManager;
    QTimer m_timer;
    PartialOutput m_partialOutput;
    TDosCommand m_runner;
    std::int64_t m_elapsed = 0;
    bool m_idle = true;
    bool m_stopRequested = false;
    std::uint32_t m_currentIndex = 0;
    std::string m_outputDir;
    std::string m_outputName;
    std::string m_outputPath;
    std::string m_lastLine; // the running ffmpeg's last non-empty line
    JobListModel::Node* m_currentNode = nullptr;
};
