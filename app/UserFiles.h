#pragma once

#include <QByteArray>
#include <QString>

// Replaces the file at path with bytes so that a crash or a power cut at any
// moment leaves the old file or the new one, whole: a temporary beside it is
// written, synced and renamed over it, then the folder is synced. Raises
// std::runtime_error saying what failed (also when something that is not a
// regular file stands at path: it is never replaced); the temporary is gone then.
void writeFileAtomically(const QString& path, const QByteArray& bytes);
