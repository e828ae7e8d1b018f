#pragma once

#include "SimpleXML.h"

#include <string>
#include <vector>

// The format catalogue: output formats with the ffmpeg parameters that make
// them and the extension of the result, read once from the file `command`
// next to the program. A format is known everywhere by its index here.
class TCommandManager final {
public:
    // Loads `command` from the program directory.
    TCommandManager();
    // Loads the given catalogue file.
    explicit TCommandManager(const std::string& fileName);

    // A missing file leaves the catalogue empty; a malformed one raises the reader's error.
    void Load(const std::string& fileName);

    const std::vector<std::string>& Formats() const { return m_formats; }
    bool isValidIndex(int index) const { return index >= 0 && index < static_cast<int>(m_formats.size()); }
    // Empty for an index outside the catalogue or an entry without the element.
    std::string GetParams(int index) const;
    std::string GetExt(int index) const;
    // The format's name, or empty outside the catalogue.
    std::string formatName(int index) const;

private:
    std::string entryValue(int index, const char* name) const;

    TJclSimpleXML m_document;
    std::vector<std::string> m_formats;
};
