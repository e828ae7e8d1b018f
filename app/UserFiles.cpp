#include "UserFiles.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <stdexcept>
#include <string>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

void writeFileAtomically(const QString& path, const QByteArray& bytes)
{
    const QByteArray target = QFile::encodeName(path);
    // Only a file of Calvera's is replaced: what else stands there (a FIFO, a folder) stays.
    struct stat existing { };
    if (::lstat(target.constData(), &existing) == 0 && !S_ISREG(existing.st_mode))
        throw std::runtime_error(QCoreApplication::translate("UserFiles", "Cannot write \"%1\": %2")
                                     .arg(path, QCoreApplication::translate("UserFiles", "it is not a regular file"))
                                     .toStdString());
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash > 0 ? target.left(slash) : QByteArray(slash == 0 ? "/" : ".");
    QByteArray temporary = target.left(slash + 1) + "." + target.mid(slash + 1) + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error(QCoreApplication::translate("UserFiles", "Cannot create a file beside \"%1\": %2")
                                     .arg(path, QString::fromLocal8Bit(std::strerror(errno)))
                                     .toStdString());
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
        throw std::runtime_error(QCoreApplication::translate("UserFiles", "Cannot write \"%1\": %2")
                                     .arg(path, QString::fromLocal8Bit(std::strerror(error)))
                                     .toStdString());
    }
    // The rename itself is on the disk only once the folder is.
    if (const int folderFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
}
