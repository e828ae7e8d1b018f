#include "consts.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <sys/stat.h>

std::int64_t GetFileSize(const std::string& path)
{
    struct stat info { };
    if (::stat(path.c_str(), &info) != 0) {
        const int error = errno;
        throw std::runtime_error(
            QCoreApplication::translate("GetFileSize", "System Error.  Code: %1.").arg(error).toStdString() + "\r\n"
            + std::strerror(error));
    }
    return static_cast<std::int64_t>(info.st_size);
}
