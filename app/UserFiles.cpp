#include "UserFiles.h"

#include <QFile>

#include <cerrno>
#include <stdexcept>
#include <string>
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

void writeFileAtomically(const QString& path, const QByteArray& bytes)
{
    const QByteArray target = QFile::encodeName(path);
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash > 0 ? target.left(slash) : QByteArray(slash == 0 ? "/" : ".");
    QByteArray temporary = target.left(slash + 1) + "." + target.mid(slash + 1) + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error(
            "Cannot create a file beside \"" + target.toStdString() + "\": " + std::strerror(errno));
    int error = 0;
    for (qsizetype done = 0; done < bytes.size() && error == 0;) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<std::size_t>(bytes.size() - done));
        if (n < 0 && errno != EINTR)
            error = errno;
        else if (n > 0)
            done += n;
    }
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.constData(), target.constData()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.constData());
        throw std::runtime_error("Cannot write \"" + target.toStdString() + "\": " + std::strerror(error));
    }
    // The rename itself is on the disk only once the folder is.
    if (const int folderFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
}
