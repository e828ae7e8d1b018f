#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// What a file in the user's config or state folder turned out to be.
enum class UserFileKind {
    Missing,
    Regular,
    // A FIFO, a device, a folder, or a file that cannot be opened: passed over.
    Refused,
};

// Looks at a file of the user's folders without ever waiting on it: it is
// opened non-blocking, so a FIFO put in its place cannot hang Calvera. Writes
// a warning (on standard error) for anything but a missing or regular file.
UserFileKind checkUserFile(const QString& path);

// Reads a regular file of the user's folders whole, the same way; nothing
// when it is missing, refused (with the warning) or larger than maxBytes.
std::optional<QByteArray> readUserFile(const QString& path, qint64 maxBytes);

// Replaces the file at path with bytes so that a crash or a power cut at any
// moment leaves the old file or the new one, whole: a temporary beside it is
// written, synced and renamed over it, then the folder is synced. Raises
// std::runtime_error saying what failed; the temporary is gone then.
void writeFileAtomically(const QString& path, const QByteArray& bytes);
