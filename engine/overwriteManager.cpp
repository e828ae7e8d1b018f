#include "overwriteManager.h"

#include <sys/stat.h>

namespace {

std::size_t nameStart(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

// A file system entry that exists and is not a directory.
bool isTakenName(const std::string& path)
{
    struct stat info { };
    return ::lstat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

} // namespace

std::string extractFileName(const std::string& path)
{
    return path.substr(nameStart(path));
}

std::string extractFileExt(const std::string& path)
{
    const std::size_t dot = path.rfind('.');
    return (dot == std::string::npos || dot < nameStart(path)) ? std::string() : path.substr(dot);
}

std::string changeFileExt(const std::string& path, const std::string& extension)
{
    const std::string current = extractFileExt(path);
    return path.substr(0, path.size() - current.size()) + extension;
}

std::string TOverwriteManager::nextName(const std::string& path, const std::string& extension)
{
    return changeFileExt(path, "_2" + extension);
}

ENoFreeNameError TOverwriteManager::noFreeName(const std::string& wanted)
{
    return ENoFreeNameError(
        reason(QT_TRANSLATE_NOOP("Reason", "No free output name for \"%1\" after %2 tries."), wanted, kMaxNames));
}

std::string TOverwriteManager::GetUniqueFileName(const std::string& wanted) const
{
    std::string result = wanted;
    const std::string extension = extractFileExt(wanted);
    for (int tries = 1; isTakenName(result); ++tries) {
        if (tries >= kMaxNames)
            throw noFreeName(wanted);
        result = nextName(result, extension);
    }
    return result;
}
