#pragma once

#include "Wording.h"

#include <stdexcept>
#include <string>

// Name parts on "/"-separated paths.
std::string extractFileName(const std::string& path);
// From the last "." of the name part to the end, dot included; empty when none.
std::string extractFileExt(const std::string& path);
std::string changeFileExt(const std::string& path, const std::string& extension);

class ENoFreeNameError : public WordedError {
public:
    using WordedError::WordedError;
};

// Never overwrite: a wanted output path that names an existing file gets
// "_2" before its extension until the name is free.
class TOverwriteManager final {
public:
    // The search gives up after this many names rather than run without end
    // (a name the file system refuses to make anything of, say).
    static constexpr int kMaxNames = 1000;

    // Raises ENoFreeNameError when kMaxNames names are all taken.
    std::string GetUniqueFileName(const std::string& wanted) const;
    // The name that follows path when path is taken: "_2" before extension,
    // the extension of the first wanted name.
    static std::string nextName(const std::string& path, const std::string& extension);
    static ENoFreeNameError noFreeName(const std::string& wanted);
};
