#pragma once

#include "FolderSearch.h"

#include <QCoreApplication>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <string>

class QWidget;
class TCommandManager;
class TFileDialog;
class TItemManager;
class TSaveManager;
class TTreeManager;

// How files come into the job list: chosen with Add, dropped, or named on
// the command line. Files go through the Add Files dialog; list files are
// imported; dropped folders are searched for the files the Add filter lists,
// and each keeps its folder below the dropped one for its output.
class FileIntake final {
    Q_DECLARE_TR_FUNCTIONS(FileIntake)

public:
    struct Parts {
        const TCommandManager& catalogue;
        TItemManager& staging;
        TTreeManager& tree;
        TSaveManager& lists;
        // The ffmpeg in use, and where items without a folder go now.
        std::function<std::string()> ffmpegPath;
        std::function<QString()> outputFolder;
        // Whether the dialog starts from the last format, folder and size limit chosen.
        std::function<bool()> startFromLast;
        // The Add Files or Item Property dialog while one is open.
        QPointer<TFileDialog>& openDialog;
    };

    FileIntake(Parts parts, QWidget* window);

    // Asks for files with the system's chooser, then adds them.
    void chooseAndAdd();
    // Paths from outside: folders are searched on a thread of their own and
    // their files come in when found; a list file that cannot be read is told.
    void open(const QStringList& paths, const std::function<void()>& added);
    // Through the Add Files dialog; nothing is added when it is cancelled.
    // subfolders, when given, holds each file's folder below the tree it came from.
    void add(const QStringList& files, const QStringList& subfolders = {});

    void cancelSearches() { m_search.cancel(); }

private:
    void addFromOutside(const FilesToAdd& paths);

    Parts m_parts;
    QWidget* m_window;
    FolderSearch m_search;
};

// The Add Files chooser's filter: the video and sound extensions, in either case.
QString addFilter();

// The list files' chooser filter.
QString listFilter();

// The name an export writes to: the chosen name, with ".qfl" appended unless
// it already ends in exactly that extension.
QString exportFileName(const QString& chosen);
