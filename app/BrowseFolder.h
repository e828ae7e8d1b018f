#pragma once

#include <QString>

class QWidget;

// The folder chooser: the chosen directory, or empty when the user cancelled
// or chose something that is not a directory.
QString BrowseForFolder(QWidget* owner, const QString& title, const QString& initial = {});

// A directory as a prefix: with a trailing "/" (the root keeps its single one).
QString withTrailingSeparator(const QString& directory);
