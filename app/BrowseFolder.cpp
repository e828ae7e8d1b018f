#include "BrowseFolder.h"

#include "SystemDialogs.h"

#include <QFileInfo>

QString BrowseForFolder(QWidget* owner, const QString& title, const QString& initial)
{
    const QString chosen = SystemDialogs::current().getExistingDirectory(owner, title, initial);
    if (chosen.isEmpty() || !QFileInfo(chosen).isDir())
        return {};
    return chosen;
}

QString withTrailingSeparator(const QString& directory)
{
    if (directory.isEmpty() || directory.endsWith('/'))
        return directory;
    return directory + '/';
}
