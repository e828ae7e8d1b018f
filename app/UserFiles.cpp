#include "UserFiles.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void warn(const QString& path, const char* why)
{
    qWarning("Calvera: passing over %s: %s", qPrintable(path), why);
}

// The open file, or -1 with kind telling why not.
int openUserFile(const QString& path, UserFileKind& kind)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        kind = errno == ENOENT ? UserFileKind::Missing : UserFileKind::Refused;
        if (kind == UserFileKind::Refused)
            warn(path, std::strerror(errno));
        return -1;
    }
    struct stat info { };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        warn(path, "it is not a regular file");
        ::close(fd);
        kind = UserFileKind::Refused;
        return -1;
    }
    kind = UserFileKind::Regular;
    return fd;
}

} // namespace

UserFileKind checkUserFile(const QString& path)
{
    UserFileKind kind = UserFileKind::Missing;
    const int fd = openUserFile(path, kind);
    if (fd >= 0)
        ::close(fd);
    return kind;
}

std::optional<QByteArray> readUserFile(const QString& path, qint64 maxBytes)
{
    UserFileKind kind = UserFileKind::Missing;
    const int fd = openUserFile(path, kind);
    if (fd < 0)
        return std::nullopt;
    QByteArray bytes;
    char block[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, block, sizeof block);
        if (n == 0)
            break;
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || bytes.size() + n > maxBytes) {
            warn(path, n < 0 ? std::strerror(errno) : "it is too large");
            ::close(fd);
            return std::nullopt;
        }
        bytes.append(block, n);
    }
    ::close(fd);
    return bytes;
}
