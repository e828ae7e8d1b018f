#include "FileIntake.h"

#include "ErrorReport.h"
#include "FlatEditUnit.h"
#include "ItemProperties.h"
#include "SizeLimitField.h"
#include "SystemDialogs.h"
#include "addForm.h"
#include "commandManager.h"
#include "itemManager.h"
#include "saveManager.h"
#include "treeManager.h"

#include <QFileInfo>
#include <QWidget>

#include <algorithm>

namespace {

const QString kListExtension = ".qfl";

} // namespace

QString addFilter()
{
    // Upper case too, since Linux names are case-sensitive.
    QStringList patterns;
    for (const QString& extension : addExtensions())
        patterns << "*." + extension;
    for (const QString& extension : addExtensions())
        patterns << "*." + extension.toUpper();
    return FileIntake::tr("All Supported Formats") + " (" + patterns.join(' ') + ");;" + FileIntake::tr("All Files")
        + " (*)";
}

QString listFilter()
{
    return FileIntake::tr("Qelt File List File") + " (*.qfl)";
}

QString exportFileName(const QString& chosen)
{
    const qsizetype nameStart = chosen.lastIndexOf('/') + 1;
    const qsizetype dot = chosen.lastIndexOf('.');
    const bool hasListExtension = dot >= nameStart && chosen.mid(dot) == kListExtension;
    return hasListExtension ? chosen : chosen + kListExtension;
}

FileIntake::FileIntake(Parts parts, QWidget* window)
    : m_parts(std::move(parts))
    , m_window(window)
{ }

void FileIntake::chooseAndAdd()
{
    const QStringList files = SystemDialogs::current().getOpenFileNames(nullptr, {}, addFilter());
    // The area under the closed file dialog is drawn again before anything else shows.
    m_window->repaint();
    add(files);
}

void FileIntake::open(const QStringList& paths, const std::function<void()>& added)
{
    if (std::none_of(paths.begin(), paths.end(), [](const QString& path) { return QFileInfo(path).isDir(); })) {
        addFromOutside({paths, {}});
        added();
        return;
    }
    // An output folder inside the dropped one is not taken in again.
    m_search.search(paths, m_parts.outputFolder(), [this, added](const FilesToAdd& found) {
        addFromOutside(found);
        added();
    });
}

void FileIntake::addFromOutside(const FilesToAdd& paths)
{
    // A list file that cannot be read is told; the other lists and files still come in.
    QStringList files;
    QStringList subfolders;
    std::vector<std::string> errors;
    for (qsizetype i = 0; i < paths.files.size(); ++i) {
        const QString& path = paths.files[i];
        if (!path.endsWith(kListExtension)) {
            files << path;
            subfolders << paths.subfolders.value(i);
            continue;
        }
        try {
            m_parts.lists.ImportFromFile(path.toStdString());
        } catch (const std::exception& error) {
            errors.emplace_back(error.what());
        }
    }
    add(files, subfolders);
    for (const std::string& error : errors)
        reportError(error);
}

void FileIntake::add(const QStringList& files, const QStringList& subfolders)
{
    if (files.isEmpty())
        return;
    TaddDlg dialog(m_parts.catalogue.shownFormats(), m_parts.outputFolder(), m_window);
    markUnavailableFormats(dialog, m_parts.catalogue, m_parts.ffmpegPath());
    // The first format this machine can make is offered first.
    TMyFlatComboBox& formats = *dialog.ComboBox1;
    for (int i = 0; i < formats.count() && !formats.isItemAvailable(formats.currentIndex()); ++i) {
        if (formats.isItemAvailable(i))
            formats.setCurrentIndex(i);
    }
    dialog.rememberChoice(m_parts.startFromLast());
    dialog.Fill(files);
    m_parts.openDialog = &dialog;
    dialog.exec();
    if (!dialog.OK())
        return;
    const std::string directory = dialog.directory().toStdString();
    const std::int64_t sizeLimit = dialog.sizeLimitField->bytes();
    for (qsizetype i = 0; i < files.size(); ++i) {
        m_parts.staging.AddItem(files[i].toStdString(), dialog.formatIndex(), directory);
        m_parts.staging.SetSizeLimit(m_parts.staging.Count() - 1, sizeLimit);
        if (const QString subfolder = subfolders.value(i); !subfolder.isEmpty())
            m_parts.staging.SetSubfolder(m_parts.staging.Count() - 1, subfolder.toStdString());
    }
    m_parts.tree.AddItems(files);
}
