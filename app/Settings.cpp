#include "Settings.h"

#include "BrowseFolder.h"

#include <QSettings>
#include <QThread>

#include <algorithm>

namespace {

constexpr const char* kJobs = "conversion/simultaneous";
constexpr const char* kOutputFolder = "conversion/outputFolder";

QSettings store()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, "calvera", "calvera");
}

} // namespace

Settings Settings::load()
{
    const QSettings saved = store();
    Settings settings;
    settings.jobs = std::clamp(saved.value(kJobs, 1).toInt(), 1, maxJobs());
    const QString folder = saved.value(kOutputFolder).toString();
    // Only an absolute folder: anything else would depend on where Calvera was started.
    if (folder.startsWith('/'))
        settings.outputFolder = withTrailingSeparator(folder);
    return settings;
}

void Settings::save() const
{
    QSettings saved = store();
    saved.setValue(kJobs, jobs);
    if (outputFolder.isEmpty())
        saved.remove(kOutputFolder);
    else
        saved.setValue(kOutputFolder, outputFolder);
    saved.sync();
}

int Settings::maxJobs()
{
    return std::max(1, QThread::idealThreadCount());
}
