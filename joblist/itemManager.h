#pragma once

#include "SimpleXML.h"

#include <cstdint>
#include <string>
#include <vector>

// The staging list: files chosen in the Add Files dialog wait here, with their
// format index and output directory, until AddItems moves them into the job list.
class TItemManager final {
public:
    TItemManager();

    void AddItem(const std::string& fileName, int formatIndex, const std::string& path);
    // Gives the i-th staged item a size limit in bytes (0: none, as items are staged).
    void SetSizeLimit(int i, std::int64_t bytes);
    std::int64_t GetSizeLimit(int i) const;
    // The folder below a tree's root the i-th staged item was found in; none unless set.
    void SetSubfolder(int i, const std::string& subfolder);
    std::string GetSubfolder(int i) const;
    // The format index of the i-th staged item; the text is always written by
    // AddItem, so a value that is not a number reads as -1 (no format).
    int GetFormatIndex(int i) const;
    std::string GetPath(int i) const;
    int Count() const;
    void Clear();

private:
    std::string childValue(int i, const char* name) const;

    TJclSimpleXML m_document;
    // By staged item; items past its end have none. Kept beside the document,
    // which holds the three fields every staged item has.
    std::vector<std::int64_t> m_sizeLimits;
};
