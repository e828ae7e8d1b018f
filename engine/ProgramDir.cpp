#include "ProgramDir.h"

#include <QCoreApplication>

std::string programDirectory()
{
    std::string dir = QCoreApplication::applicationDirPath().toStdString();
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir;
}
