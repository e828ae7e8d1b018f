#include "ProgramDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

#include <cstdlib>
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
