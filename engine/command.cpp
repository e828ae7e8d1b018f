#include "command.h"

#include "ErrorReport.h"
#include "ProgramDir.h"
#include "TreeWalk.h"
#include "SizeFit.h"
#include "commandManager.h"

#include <QCoreApplication>
#include <QPointer>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

TCommand::TCommand(JobListModel& model, const TCommandManager& catalogue, QObject* parent)
    : QObject(parent)
    , FfmpegPath(defaultFfmpegPath())
    , LogFolder(ItemLog::defaultFolder())
    , m_model(model)
    , m_catalogue(catalogue)
    , m_worker(this)
{
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &TCommand::tickStep);
    connect(&m_model, &JobListModel::nodeAboutToBeRemoved, this, [this](JobListModel::Node* node) {
        if (m_waiting.erase(node) > 0)
            endWhenDone();
        if (node == m_cursor)
            m_cursor = nullptr;
        // A node removed under a running item would leave the driver holding a dead record.
        for (const std::unique_ptr<Slot>& slot : m_slots) {
            if (slot->node == node) {
                slot->node = nullptr;
                Stop();
            }
        }
    });
    // Items added during a run join it; moved ones are taken in their new order.
    connect(&m_model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex&, int first, int last) {
        if (m_idle || m_stopRequested)
            return;
        for (int row = first; row <= last; ++row)
            m_waiting.insert(m_model.nodeAt(row));
        m_cursor = nullptr;
        startIdleLanes();
    });
    connect(&m_model, &QAbstractItemModel::rowsMoved, this, [this] { m_cursor = nullptr; });
    connect(&m_model, &QAbstractItemModel::modelReset, this, [this] { m_cursor = nullptr; });
}

TCommand::~TCommand()
{
    // The lanes go first, with their ffmpegs; nothing of them reaches this driver.
    for (const std::unique_ptr<Slot>& slot : m_slots)
        slot->lane->disconnect(this);
    m_slots.clear();
}

std::string TCommand::outputSubfolder(
    const JobListModel::Node& node, const std::string& source, std::size_t limit) const
{
    if (Flat || node.Item.Subfolder.isEmpty())
        return {};
    // A list file may say anything: nothing it says puts an output outside its output folder.
    const std::string subfolder = node.Item.Subfolder.toStdString();
    if (!isSafeSubfolder(subfolder))
        throw WordedError(
            reason(QT_TRANSLATE_NOOP("Reason", "the folder \"%1\" of \"%2\" is not a folder below the output folder"),
                subfolder, source));
    for (std::size_t from = 0; from <= subfolder.size();) {
        const std::size_t end = std::min(subfolder.find('/', from), subfolder.size());
        if (end - from > limit)
            throw WordedError(reason(
                QT_TRANSLATE_NOOP("Reason", "the folder name \"%1\" is longer than the file system allows (%2 bytes)"),
                subfolder.substr(from, end - from), limit));
        from = end + 1;
    }
    return subfolder;
}

void TCommand::makeSubfolder(const Plan& plan)
{
    // Only below an output folder that is there: one that is missing fails the item as it always did.
    const std::string base = plan.outputDir.substr(0, plan.outputDir.size() - plan.subfolder.size() - 1);
    std::error_code ec;
    if (!std::filesystem::is_directory(base, ec))
        return;
    const std::string folder = plan.outputDir.substr(0, plan.outputDir.size() - 1);
    std::filesystem::create_directories(folder, ec);
    if (ec)
        throw WordedError(
            reason(QT_TRANSLATE_NOOP("Reason", "cannot make the output folder \"%1\": %2"), folder, ec.message()));
    if (!std::filesystem::is_directory(folder, ec))
        throw WordedError(
            reason(QT_TRANSLATE_NOOP("Reason", "cannot make the output folder \"%1\": it is not a folder"), folder));
}

TCommand::Plan TCommand::planFor(const JobListModel::Node& node) const
{
    Plan plan;
    plan.source = node.Item.FileName.toStdString();
    const std::string path = node.Item.Path.toStdString();
    if (plan.source.find('\0') != std::string::npos || path.find('\0') != std::string::npos)
        throw WordedError(reason(
            QT_TRANSLATE_NOOP("Reason", "The name of \"%1\" or its folder holds a NUL character."), plan.source));
    if (!path.empty())
        plan.outputDir = path;
    else if (!GlobalPath.empty())
        plan.outputDir = GlobalPath;
    else
        plan.outputDir = defaultOutputFolder();
    // A folder is a folder, also when a list file names it without the separator.
    if (plan.outputDir.back() != '/')
        plan.outputDir += '/';
    // Asked of the output folder itself: the item's folder below it may not be made yet.
    const long longest = ::pathconf(plan.outputDir.c_str(), _PC_NAME_MAX);
    const std::size_t limit = longest > 0 ? static_cast<std::size_t>(longest) : 255;
    plan.subfolder = outputSubfolder(node, plan.source, limit);
    plan.outputDir += plan.subfolder.empty() ? std::string() : plan.subfolder + '/';
    plan.outputName = changeFileExt(extractFileName(plan.source), "." + m_catalogue.GetExt(node.Item.FormatIndex));
    plan.outputPath = m_overwriteManager.GetUniqueFileName(plan.outputDir + plan.outputName);
    // Found out now rather than once ffmpeg has converted the whole file.
    if (extractFileName(plan.outputPath).size() > limit)
        throw WordedError(reason(
            QT_TRANSLATE_NOOP("Reason", "the output name \"%1\" is longer than the file system allows (%2 bytes)"),
            extractFileName(plan.outputPath), limit));

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

std::vector<std::string> TCommand::argumentsFor(const JobListModel::Node& node) const
{
    const Plan plan = planFor(node);
    ItemJob job;
    job.ffmpeg = FfmpegPath;
    job.source = plan.source;
    job.inputParams = plan.inputParams;
    job.params = plan.params;
    return ffmpegArguments(job, plan.outputPath);
}

std::vector<std::vector<std::string>> TCommand::passArgumentsFor(const JobListModel::Node& node) const
{
    if (node.Item.SizeLimit <= 0)
        return {argumentsFor(node)};
    const Plan plan = planFor(node);
    ItemJob job;
    job.ffmpeg = FfmpegPath;
    job.source = plan.source;
    job.inputParams = plan.inputParams;
    const SizeFit fit(plan.inputParams, plan.params, plan.outputPath);
    if (fit.way() == SizeFit::Way::refused)
        throw WordedError(fit.refusal());
    const SizeFit::Budget budget = fit.budget(MediaProbe::measureNow(FfmpegPath, plan.source), node.Item.SizeLimit);
    if (!budget.failure.empty())
        throw WordedError(budget.failure);
    // The passes' files beside the output, under its name, where the shell that runs these lines would find them.
    const std::string passLog = plan.outputPath + ".passlog";
    std::vector<std::vector<std::string>> passes;
    if (budget.encodes == 2) {
        const auto beside = [&](const std::string& name) {
            return "file:" + changeFileExt(plan.outputPath, name + extractFileExt(plan.outputPath));
        };
        passes.push_back(
            ffmpegArguments(job, fit.firstPassParams(budget, passLog, beside(".pass1"), beside(".sound")), {}));
    }
    passes.push_back(ffmpegArguments(job, fit.outputParams(budget, passLog), plan.outputPath));
    return passes;
}

int TCommand::maxJobs()
{
    // Room for what the program holds besides its lanes: Qt, the journal, the disk worker.
    constexpr rlim_t kReserved = 64;
    struct rlimit limit { };
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return kMostLanes;
    if (limit.rlim_cur <= kReserved + kDescriptorsPerLane)
        return 1;
    return static_cast<int>(std::min<rlim_t>(kMostLanes, (limit.rlim_cur - kReserved) / kDescriptorsPerLane));
}

JobListModel::Node* TCommand::nextWaiting()
{
    // Nothing before the cursor waits, unless the list changed since it was set.
    JobListModel::Node* node = m_cursor ? m_cursor : m_model.first();
    while (node && !m_waiting.contains(node))
        node = m_model.next(node);
    m_cursor = node;
    return node;
}

void TCommand::Start(const Selection& wanted)
{
    if (!m_idle)
        return;
    m_waiting.clear();
    for (JobListModel::Node* node = m_model.first(); node; node = m_model.next(node)) {
        if (!wanted || wanted(*node))
            m_waiting.insert(node);
    }
    m_cursor = nullptr;
    if (m_waiting.empty())
        return;
    // The lanes of the last run are used again, so each keeps one reader thread at most.
    while (m_slots.size() > static_cast<std::size_t>(std::max(1, Jobs)))
        m_slots.pop_back();
    m_currentIndex = 0;
    m_sweptDirs.clear();
    m_plainOutputs.clear();
    m_summary = RunSummary();
    m_finishedItems = 0;
    m_lastEnded = nullptr;
    if (!LogFolder.empty())
        m_worker.post([folder = LogFolder] { ItemLog::prune(folder, ItemLog::kMaxTotalBytes); }, nullptr);
    m_timer.start();
    m_idle = false;
    m_stopRequested = false;
    m_paused = false;
    startIdleLanes();
}

TCommand::Slot* TCommand::idleSlot()
{
    for (const std::unique_ptr<Slot>& slot : m_slots) {
        if (!slot->lane->busy())
            return slot.get();
    }
    if (m_slots.size() >= static_cast<std::size_t>(std::max(1, Jobs)))
        return nullptr;
    auto slot = std::make_unique<Slot>();
    slot->lane = std::make_unique<ItemLane>(m_worker);
    Slot* const at = slot.get();
    connect(slot->lane.get(), &ItemLane::stateChanged, this, [this, at](ItemState state) {
        if (!at->node)
            return;
        m_model.setState(at->node, state);
        emit itemStateChanged(at->node, state);
    });
    connect(slot->lane.get(), &ItemLane::progressed, this, [this, at](const ItemProgress& progress) {
        if (!at->node)
            return;
        at->node->Progress = progress;
        m_model.nodeChanged(at->node);
        emit itemProgress(at->node, progress);
    });
    connect(slot->lane.get(), &ItemLane::outputLine, this, [this, at](const std::string& line) {
        emit OnOutput(at->lane->runner(), 0);
        if (at->node)
            emit itemOutput(at->node, line);
    });
    connect(
        slot->lane.get(), &ItemLane::ended, this, [this, at](const ItemOutcome& outcome) { itemEnded(*at, outcome); });
    m_slots.push_back(std::move(slot));
    return at;
}

void TCommand::startIdleLanes()
{
    while (!m_stopRequested && !m_paused && !m_waiting.empty()) {
        Slot* const slot = idleSlot();
        if (!slot)
            return;
        startNext(*slot);
    }
}

int TCommand::RunItemCount() const
{
    const auto running = std::count_if(
        m_slots.begin(), m_slots.end(), [](const std::unique_ptr<Slot>& slot) { return slot->lane->busy(); });
    return m_finishedItems + static_cast<int>(running) + static_cast<int>(m_waiting.size());
}

void TCommand::StopItem(JobListModel::Node* node)
{
    if (m_idle)
        return;
    if (m_waiting.erase(node) > 0) {
        if (node == m_cursor)
            m_cursor = nullptr;
        endWhenDone();
        return;
    }
    for (const std::unique_ptr<Slot>& slot : m_slots) {
        if (slot->lane->busy() && slot->node == node)
            slot->lane->stop();
    }
}

void TCommand::Enqueue(JobListModel::Node* node)
{
    if (m_idle || m_stopRequested || m_model.indexOf(node) < 0 || isWorking(node->State))
        return;
    m_waiting.insert(node);
    m_cursor = nullptr;
    startIdleLanes();
}

void TCommand::Stop()
{
    if (m_idle)
        return;
    // The waiting items stay counted: a stopped run still tells k of all n.
    m_stopRequested = true;
    for (const std::unique_ptr<Slot>& slot : m_slots) {
        if (slot->lane->busy())
            slot->lane->stop();
    }
    // Held between items, nothing runs whose end would end the run.
    endWhenDone();
}

void TCommand::endWhenDone()
{
    // From the event loop, so that a caller of Stop or StopItem is out before the run's end is told.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!m_idle && !anyBusy() && (m_stopRequested || m_waiting.empty()))
                endRun(m_stopRequested);
        },
        Qt::QueuedConnection);
}

void TCommand::Pause()
{
    if (m_idle || m_paused)
        return;
    m_paused = true;
    m_timer.stop();
    for (const std::unique_ptr<Slot>& slot : m_slots) {
        if (slot->lane->busy())
            slot->lane->pause();
    }
    emit pausedChanged(true);
}

void TCommand::Resume()
{
    if (m_idle || !m_paused)
        return;
    m_paused = false;
    m_timer.start();
    for (const std::unique_ptr<Slot>& slot : m_slots) {
        if (slot->lane->busy())
            slot->lane->resume();
    }
    startIdleLanes();
    endWhenDone();
    emit pausedChanged(false);
}

namespace {

// Why source cannot be an input at all, if it cannot: ffmpeg would wait for
// ever on a FIFO or a socket and read a device without end, and a link
// that loops leads nowhere. A missing file is told by ffmpeg itself.
Wording inputFault(const std::string& source)
{
    struct stat info { };
    if (::stat(source.c_str(), &info) != 0)
        return errno == ENOENT
            ? Wording {}
            : reason(QT_TRANSLATE_NOOP("Reason", "Cannot read \"%1\". %2"), source, Wording::systemError(errno));
    const char* kind = S_ISFIFO(info.st_mode) ? QT_TRANSLATE_NOOP("Reason", "\"%1\" is a FIFO, not a regular file")
        : S_ISSOCK(info.st_mode)              ? QT_TRANSLATE_NOOP("Reason", "\"%1\" is a socket, not a regular file")
        : S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)
        ? QT_TRANSLATE_NOOP("Reason", "\"%1\" is a device, not a regular file")
        : nullptr;
    return kind ? reason(kind, source) : Wording {};
}

} // namespace

ItemJob TCommand::jobFor(JobListModel::Node& node)
{
    ItemJob job;
    job.item = &node;
    job.catalogue = &m_catalogue;
    job.formatIndex = node.Item.FormatIndex;
    job.probe = FfmpegProbe::of(FfmpegPath);
    job.ffmpeg = FfmpegPath;
    job.source = node.Item.FileName.toStdString();
    job.logFolder = LogFolder;
    job.durable = Durable;
    job.recorder = Recorder;
    job.verification = Verify;
    job.sizeLimit = node.Item.SizeLimit;
    if (!m_catalogue.isValidIndex(node.Item.FormatIndex)) {
        // Never run ffmpeg with values from outside the catalogue.
        reportError(
            QCoreApplication::translate("TCommand", "The format of \"%1\" (number %2) is not in the format catalogue.")
                .arg(QString::fromStdString(job.source))
                .arg(node.Item.FormatIndex)
                .toStdString());
        job.failure = reason(
            QT_TRANSLATE_NOOP("Reason", "format number %1 is not in the format catalogue"), node.Item.FormatIndex);
        return job;
    }
    try {
        const Plan plan = planFor(node);
        job.outputPath = plan.outputPath;
        job.commandLine = plan.commandLine;
        job.inputParams = plan.inputParams;
        job.params = plan.params;
        // A name an earlier item of this run planned may hold that item's output, not this one's.
        const bool nameTaken = !m_plainOutputs.insert(plan.outputDir + plan.outputName).second;
        job.skipExisting = SkipExisting && !nameTaken;
        job.skipSame = SkipSame;
        job.plainOutput = plan.outputDir + plan.outputName;
        job.plainOutputShown = (plan.subfolder.empty() ? std::string() : plan.subfolder + "/") + plan.outputName;
        if (node.Item.Path.isEmpty() && GlobalPath.empty())
            defaultOutputFolder(true);
        if (!plan.subfolder.empty())
            makeSubfolder(plan);
        if (m_sweptDirs.insert(plan.outputDir).second)
            m_worker.post(
                [folder = plan.outputDir, extensions = m_catalogue.extensions()] {
                    TemporaryOutput::removeStale(folder, extensions);
                },
                nullptr);
    } catch (const std::exception& error) {
        job.failure = wordingOf(error);
    }
    if (job.failure.empty())
        job.failure = inputFault(job.source);
    return job;
}

void TCommand::startNext(Slot& slot)
{
    if (m_stopRequested || m_paused)
        return;
    JobListModel::Node* const node = nextWaiting();
    if (!node)
        return;
    m_waiting.erase(node);
    m_currentIndex = static_cast<std::uint32_t>(m_model.indexOf(node));
    slot.node = node;
    slot.started = m_starts++;
    const std::string subfolder = node->Item.Subfolder.toStdString();
    slot.subfolder = Flat || !isSafeSubfolder(subfolder) ? std::string() : subfolder;
    slot.lane->assign(jobFor(*node));
    slot.lane->start();
    emit itemStarted(node);
}

void TCommand::itemEnded(Slot& slot, const ItemOutcome& outcome)
{
    JobListModel::Node* const node = slot.node;
    m_lastEnded = slot.lane.get();
    countOutcome(outcome, slot.started, slot.subfolder);
    if (RunItemCount() > 0)
        emit OnProgress(slot.lane->runner(), static_cast<std::int32_t>(m_finishedItems * 100 / RunItemCount()));
    emit itemFinished(node, outcome);
    if (node) {
        // What the ended item's row tells; its state came from the lane already.
        if (!outcome.converted)
            node->Failure = QString::fromStdString(outcome.reasonShown);
        else
            node->Output = QString::fromStdString(outcome.output);
        node->OutputSize = outcome.converted ? outcome.size : -1;
        node->Remark = QString::fromStdString(remarkOn(outcome));
        node->Log = QString::fromStdString(outcome.log);
        m_model.nodeChanged(node);
    }
    slot.node = nullptr;

    startNext(slot);
    if (!anyBusy() && (m_stopRequested || m_waiting.empty()))
        endRun(m_stopRequested);
}

std::string remarkOn(const ItemOutcome& outcome)
{
    if (!outcome.converted)
        return {};
    QStringList remarks;
    if (outcome.decodeErrors > 0)
        remarks << QCoreApplication::translate(
            "TCommand", "converted with %n decoding errors (see log)", nullptr, outcome.decodeErrors);
    if (outcome.checked == ItemOutcome::Check::none && !outcome.uncheckedWhy.empty())
        remarks << QCoreApplication::translate("TCommand", "unchecked: %1")
                       .arg(QString::fromStdString(outcome.uncheckedWhyShown));
    // What was measured: "checked: video 00:00:10.0, 250 frames; sound 00:00:10.0".
    QStringList measured;
    for (const OutputCheck::StreamCheck& stream : outcome.streams) {
        const bool video = stream.kind == MediaStream::Kind::video;
        QString told = (video ? QCoreApplication::translate("TCommand", "video %1")
                              : QCoreApplication::translate("TCommand", "sound %1"))
                           .arg(QString::fromStdString(OutputCheck::clock(stream.writtenSeconds)));
        if (video && stream.writtenFrames >= 0) {
            const int frames = static_cast<int>(stream.writtenFrames);
            told += ", " + QCoreApplication::translate("TCommand", "%n frames", nullptr, frames);
        }
        measured << told;
    }
    if (outcome.checked != ItemOutcome::Check::none && !measured.isEmpty())
        remarks << QCoreApplication::translate("TCommand", "checked: %1").arg(measured.join("; "));
    return remarks.join("; ").toStdString();
}

bool fitsItsLimit(const ItemOutcome& outcome)
{
    return outcome.converted && outcome.sizeLimit > 0 && outcome.size >= 0 && outcome.size <= outcome.sizeLimit;
}

void TCommand::countOutcome(const ItemOutcome& outcome, std::uint64_t started, const std::string& subfolder)
{
    ++m_finishedItems;
    if (outcome.converted) {
        ++m_summary.converted;
        m_summary.decodeErrors += outcome.decodeErrors;
        m_summary.unchecked += outcome.checked == ItemOutcome::Check::none ? 1 : 0;
        m_summary.fitted += fitsItsLimit(outcome) ? 1 : 0;
        std::string folder = outcome.output.substr(0, outcome.output.size() - extractFileName(outcome.output).size());
        // A tree's items are told by the folder the tree went to, not by each of its folders.
        if (!subfolder.empty() && folder.ends_with("/" + subfolder + "/"))
            folder.resize(folder.size() - subfolder.size() - 1);
        if (std::find(m_summary.outputFolders.begin(), m_summary.outputFolders.end(), folder)
            == m_summary.outputFolders.end())
            m_summary.outputFolders.push_back(folder);
    } else if (outcome.stopped) {
        ++m_summary.stopped;
    } else if (outcome.skipped) {
        ++m_summary.skipped;
    } else {
        ++m_summary.failed;
        const RunSummary::Failure failure {outcome.source, outcome.reason, outcome.reasonShown, outcome.log, started};
        auto after = std::upper_bound(m_summary.failures.begin(), m_summary.failures.end(), failure,
            [](const RunSummary::Failure& a, const RunSummary::Failure& b) { return a.started < b.started; });
        m_summary.failures.insert(after, failure);
    }
}

void RunSummary::add(const RunSummary& other)
{
    converted += other.converted;
    failed += other.failed;
    stopped += other.stopped;
    skipped += other.skipped;
    fitted += other.fitted;
    unchecked += other.unchecked;
    decodeErrors += other.decodeErrors;
    failures.insert(failures.end(), other.failures.begin(), other.failures.end());
    for (const std::string& folder : other.outputFolders) {
        if (std::find(outputFolders.begin(), outputFolders.end(), folder) == outputFolders.end())
            outputFolders.push_back(folder);
    }
}

double TCommand::runFraction() const
{
    const int items = RunItemCount();
    if (m_idle || items <= 0)
        return 0;
    double running = 0;
    for (const std::unique_ptr<Slot>& slot : m_slots) {
        if (slot->lane->busy() && slot->node)
            running += std::max(0.0, slot->node->Progress.fraction);
    }
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

void TCommand::tickStep()
{
    for (const std::unique_ptr<Slot>& slot : m_slots) {
        if (!slot->lane->busy() || !slot->node)
            continue;
        std::uint32_t& position = slot->node->Item.ActivityPos;
        position = position >= kLastActivityPos ? 0 : position + 1;
        m_model.nodeChanged(slot->node);
    }
    ++m_elapsed;
    emit OnTick(&m_timer);
}

bool TCommand::anyBusy() const
{
    return std::any_of(
        m_slots.begin(), m_slots.end(), [](const std::unique_ptr<Slot>& slot) { return slot->lane->busy(); });
}

void TCommand::endRun(bool stopped)
{
    m_waiting.clear();
    m_cursor = nullptr;
    m_currentIndex = 0;
    m_timer.stop();
    m_idle = true;
    m_stopRequested = false;
    m_paused = false;
    m_elapsed = 0;
    const QPointer<TCommand> alive(this);
    emit OnFinished(m_lastEnded ? m_lastEnded->runner() : nullptr, stopped);
    if (alive)
        emit runFinished(stopped);
}
