#pragma once

#include <string>

// Name parts on "/"-separated paths.
std::string extractFileName(const std::string& path);
// From the last "." of the name part to the end, dot included; empty when none.
std::string extractFileExt(const std::string& path);
std::string changeFileExt(const std::string& path, const std::string& extension);

// Never overwrite: a wanted output path that names an existing file gets
// "_2" before its extension until the name is free.
class TOverwriteManager final {
public:
    std::string GetUniqueFileName(const std::string& wanted) const;
};
