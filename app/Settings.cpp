#include "Settings.h"

#include "BrowseFolder.h"
#include "ProgramDir.h"
#include "UserFiles.h"

#include <QSettings>
#include <QThread>

#include <algorithm>
#include <array>
#include <utility>

namespace {

constexpr const char* kJobs = "conversion/simultaneous";
constexpr const char* kOutputFolder = "conversion/outputFolder";
constexpr const char* kWhenDone = "conversion/whenDone";
constexpr const char* kVerifyDecode = "conversion/verifyDecode";
constexpr const char* kFlat = "conversion/flat";
constexpr const char* kSkipExisting = "conversion/skipExisting";
constexpr const char* kStartEmpty = "list/startEmpty";
constexpr const char* kAddFromLast = "add/startFromLast";
constexpr const char* kAddFormat = "add/lastFormat";
constexpr const char* kAddFolder = "add/lastFolder";
constexpr const char* kAddSizeLimit = "add/lastSizeLimit";

// How each choice is written in the file.
constexpr std::array<std::pair<WhenDone, const char*>, 4> kWhenDoneNames = {{
    {WhenDone::Nothing, "nothing"},
    {WhenDone::Quit, "quit"},
    {WhenDone::Suspend, "suspend"},
    {WhenDone::PowerOff, "poweroff"},
}};

// A machine is never suspended or powered off by a choice made days before:
// those are for the next run alone, and only quitting is kept.
WhenDone keptWhenDone(WhenDone choice)
{
    return choice == WhenDone::Quit ? WhenDone::Quit : WhenDone::Nothing;
}

} // namespace

QString Settings::filePath()
{
    const std::string folder = userFolder("XDG_CONFIG_HOME", ".config");
    return folder.empty() ? QString() : QString::fromStdString(folder) + "calvera.conf";
}

Settings Settings::load()
{
    Settings settings;
    const QString path = filePath();
    if (path.isEmpty() || checkUserFile(path.toStdString()) != UserFileKind::Regular)
        return settings;
    const QSettings saved(path, QSettings::NativeFormat);
    settings.jobs = std::clamp(saved.value(kJobs, 1).toInt(), 1, maxJobs());
    const QString folder = saved.value(kOutputFolder).toString();
    // Only an absolute folder: anything else would depend on where Calvera was started.
    if (folder.startsWith('/'))
        settings.outputFolder = withTrailingSeparator(folder);
    // Only quitting is kept from one start to the next (keptWhenDone).
    const QString whenDone = saved.value(kWhenDone).toString();
    for (const auto& [choice, name] : kWhenDoneNames) {
        if (whenDone == name)
            settings.whenDone = keptWhenDone(choice);
    }
    settings.startEmpty = saved.value(kStartEmpty, false).toBool();
    settings.verifyDecode = saved.value(kVerifyDecode, false).toBool();
    settings.flat = saved.value(kFlat, false).toBool();
    settings.addFromLast = saved.value(kAddFromLast, true).toBool();
    settings.skipExisting = saved.value(kSkipExisting, false).toBool();
    return settings;
}

void Settings::save() const
{
    const QString path = filePath();
    // QSettings reads the file again before it writes it.
    if (path.isEmpty() || checkUserFile(path.toStdString()) == UserFileKind::Refused)
        return;
    QSettings saved(path, QSettings::NativeFormat);
    saved.setValue(kJobs, jobs);
    if (outputFolder.isEmpty())
        saved.remove(kOutputFolder);
    else
        saved.setValue(kOutputFolder, outputFolder);
    for (const auto& [choice, name] : kWhenDoneNames) {
        if (keptWhenDone(whenDone) == choice)
            saved.setValue(kWhenDone, name);
    }
    saved.setValue(kStartEmpty, startEmpty);
    saved.setValue(kVerifyDecode, verifyDecode);
    saved.setValue(kFlat, flat);
    saved.setValue(kAddFromLast, addFromLast);
    saved.setValue(kSkipExisting, skipExisting);
    saved.sync();
}

AddChoice AddChoice::load()
{
    AddChoice choice;
    const QString path = Settings::filePath();
    if (path.isEmpty() || checkUserFile(path.toStdString()) != UserFileKind::Regular)
        return choice;
    const QSettings saved(path, QSettings::NativeFormat);
    bool number = false;
    const int format = saved.value(kAddFormat).toInt(&number);
    choice.format = number && format >= 0 ? format : -1;
    const QString folder = saved.value(kAddFolder).toString();
    // As for the output folder: only an absolute one.
    if (folder.startsWith('/'))
        choice.folder = withTrailingSeparator(folder);
    const qlonglong sizeLimit = saved.value(kAddSizeLimit).toLongLong(&number);
    choice.sizeLimit = number && sizeLimit > 0 ? sizeLimit : 0;
    return choice;
}

void AddChoice::save() const
{
    const QString path = Settings::filePath();
    if (path.isEmpty() || checkUserFile(path.toStdString()) == UserFileKind::Refused)
        return;
    QSettings saved(path, QSettings::NativeFormat);
    saved.setValue(kAddFormat, format);
    if (folder.isEmpty())
        saved.remove(kAddFolder);
    else
        saved.setValue(kAddFolder, folder);
    if (sizeLimit > 0)
        saved.setValue(kAddSizeLimit, static_cast<qlonglong>(sizeLimit));
    else
        saved.remove(kAddSizeLimit);
    saved.sync();
}

int Settings::maxJobs()
{
    return std::max(1, QThread::idealThreadCount());
}
