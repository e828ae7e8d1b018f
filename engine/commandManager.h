#pragma once

#include "Wording.h"

#include <set>
#include <string>
#include <vector>

struct FfmpegAbilities;

// The format catalogue: output formats with the ffmpeg parameters that make
// them and the extension of the result, read once from the file `command`
// next to the program, followed by the user's own entries from
// $XDG_CONFIG_HOME/calvera/command (same layout), so that the shipped indexes
// keep their meaning. A format is known everywhere by its index here.
class TCommandManager final {
public:
    // The shipped catalogue next to the program, then the user's.
    TCommandManager();
    // The given catalogue, then the user's entries from user when it is not empty.
    explicit TCommandManager(const std::string& fileName, const std::string& user = {});

    // Reads a catalogue in place of the entries there are. A missing file
    // leaves the catalogue empty; a malformed one raises the reader's error.
    void Load(const std::string& fileName);
    // Appends the entries of a user's catalogue; a missing file adds nothing,
    // and one that cannot be read is left out, with userCatalogueError() saying why.
    void LoadUserEntries(const std::string& fileName);
    // Why the user's catalogue was left out; empty when it was read or there is none.
    const std::string& userCatalogueError() const { return m_userCatalogueError; }

    const std::vector<std::string>& Formats() const { return m_formats; }
    // The names as the window shows them: those of the shipped catalogue in
    // the user's language (translated when the catalogue is read), the user's
    // own entries as written.
    const std::vector<std::string>& shownFormats() const { return m_shownFormats; }
    bool isValidIndex(int index) const { return index >= 0 && index < static_cast<int>(m_formats.size()); }
    // Empty for an index outside the catalogue or an entry without the element.
    std::string GetParams(int index) const;
    std::string GetExt(int index) const;
    // The entry's parameters that belong before -i (its optional <inputparams>).
    std::string GetInputParams(int index) const;
    // The format's name, or empty outside the catalogue.
    std::string formatName(int index) const;
    bool isUserEntry(int index) const;
    // Empty when this machine can make the format, else why not: parameters
    // that would make ffmpeg read another input (-i) or write several files
    // (segment and playlist muxers), an extension that is no file name
    // extension, parameters that need a VAAPI render device where
    // /dev/dri/renderD* has none, or an encoder or muxer that abilities (an
    // ffmpeg's answer; none: not known yet) lack.
    Wording unavailability(int index, const FfmpegAbilities* abilities = nullptr) const;
    // The same in English alone, as --formats tells it.
    std::string whyUnavailable(int index, const FfmpegAbilities* abilities = nullptr) const;
    // The extensions of the catalogue's entries, without their dot.
    std::set<std::string> extensions() const;

    // $XDG_CONFIG_HOME/calvera/command, by default ~/.config/calvera/command.
    static std::string userCataloguePath();

private:
    struct Entry {
        std::string params;
        std::string inputParams;
        std::string ext;
        bool user = false;
    };
    void read(const std::string& fileName, bool user);

    std::vector<std::string> m_formats;
    std::vector<std::string> m_shownFormats;
    std::vector<Entry> m_entries;
    std::string m_userCatalogueError;
};
