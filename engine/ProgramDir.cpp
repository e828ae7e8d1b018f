#include "ProgramDir.h"

#include "ErrorReport.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::string programDirectory()
{
    std::string dir = QCoreApplication::applicationDirPath().toStdString();
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir;
}

std::string defaultFfmpegPath()
{
    const std::string nextToProgram = programDirectory() + "bin/ffmpeg";
    return ::access(nextToProgram.c_str(), X_OK) == 0 ? nextToProgram : std::string("ffmpeg");
}

std::string userFolder(const char* variable, const char* fallback)
{
    const char* base = std::getenv(variable);
    if (base && *base == '/')
        return std::string(base) + "/calvera/";
    const char* home = std::getenv("HOME");
    return home && *home ? std::string(home) + "/" + fallback + "/calvera/" : std::string();
}

std::string defaultOutputFolder(bool create)
{
    const std::string convert = programDirectory() + "convert/";
    if (::access(convert.c_str(), W_OK | X_OK) == 0)
        return convert;
    QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (videos.isEmpty())
        videos = QDir::homePath() + "/Videos";
    const QString folder = videos + "/Calvera/";
    if (create)
        QDir().mkpath(folder);
    return folder.toStdString();
}

namespace {

void passOver(const std::string& path, const std::string& why)
{
    reportWarning(QCoreApplication::translate("ProgramDir", "\"%1\" was passed over: %2")
                      .arg(QString::fromStdString(path), QString::fromStdString(why))
                      .toStdString());
}

// The file opened for reading, or -1 with kind saying why not.
int openUserFile(const std::string& path, UserFileKind& kind)
{
    // Something that is no file is not even opened: a FIFO opened, even
    // without waiting, lets a writer waiting at it go on.
    struct stat named { };
    if (::stat(path.c_str(), &named) == 0 && !S_ISREG(named.st_mode)) {
        passOver(path, QCoreApplication::translate("ProgramDir", "it is not a regular file").toStdString());
        kind = UserFileKind::Refused;
        return -1;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        kind = errno == ENOENT ? UserFileKind::Missing : UserFileKind::Refused;
        if (kind == UserFileKind::Refused)
            passOver(path, std::strerror(errno));
        return -1;
    }
    struct stat info { };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        passOver(path, QCoreApplication::translate("ProgramDir", "it is not a regular file").toStdString());
        ::close(fd);
        kind = UserFileKind::Refused;
        return -1;
    }
    kind = UserFileKind::Regular;
    return fd;
}

} // namespace

UserFileKind checkUserFile(const std::string& path)
{
    UserFileKind kind = UserFileKind::Missing;
    const int fd = openUserFile(path, kind);
    if (fd >= 0)
        ::close(fd);
    return kind;
}

std::optional<std::string> readUserFile(const std::string& path, std::size_t maxBytes)
{
    UserFileKind kind = UserFileKind::Missing;
    const int fd = openUserFile(path, kind);
    if (fd < 0)
        return std::nullopt;
    std::string bytes;
    std::string problem;
    struct stat info { };
    if (::fstat(fd, &info) == 0 && static_cast<std::uint64_t>(info.st_size) > maxBytes)
        problem = QCoreApplication::translate("ProgramDir", "it is larger than Calvera ever writes it").toStdString();
    while (problem.empty()) {
        char buffer[65536];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            problem = std::strerror(errno);
        else if (got == 0)
            break;
        else if (bytes.size() + static_cast<std::size_t>(got) > maxBytes)
            problem
                = QCoreApplication::translate("ProgramDir", "it is larger than Calvera ever writes it").toStdString();
        else
            bytes.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    if (!problem.empty()) {
        passOver(path, problem);
        return std::nullopt;
    }
    return bytes;
}
