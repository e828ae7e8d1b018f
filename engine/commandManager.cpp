#include "commandManager.h"

#include "FfmpegAbilities.h"
#include "ProgramDir.h"
#include "DosCommand.h"
#include "ShippedFormatNames.h"
#include "SimpleXML.h"

#include <QCoreApplication>

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <glob.h>

namespace {

// Muxers that write a playlist with pieces beside it, or a folder of files.
const std::set<std::string> kSeveralFileMuxers
    = {"hls", "dash", "segment", "ssegment", "stream_segment", "webm_chunk", "hds", "smoothstreaming"};

// Why these parameters would make ffmpeg do more than convert one input into one file.
Wording whyNotOneToOne(const std::string& inputParams, const std::string& params)
{
    for (const std::string& word : splitCommandLine(inputParams + " " + params)) {
        if (word == "-i")
            return reason(
                QT_TRANSLATE_NOOP("Reason", "its parameters hold -i, which would make ffmpeg read another input"));
    }
    const std::vector<std::string> words = splitCommandLine(params);
    for (std::size_t i = 0; i + 1 < words.size(); ++i) {
        if (words[i] == "-f" && kSeveralFileMuxers.contains(words[i + 1]))
            return reason(QT_TRANSLATE_NOOP("Reason", "it writes several files (the \"%1\" muxer)"), words[i + 1]);
    }
    return {};
}

bool hasRenderDevice()
{
    glob_t found {};
    const bool any = ::glob("/dev/dri/renderD*", 0, nullptr, &found) == 0 && found.gl_pathc > 0;
    ::globfree(&found);
    return any;
}

} // namespace

TCommandManager::TCommandManager()
    : TCommandManager(programDirectory() + "command", userCataloguePath())
{ }

TCommandManager::TCommandManager(const std::string& fileName, const std::string& user)
{
    Load(fileName);
    if (user.empty())
        return;
    // Your own entries follow the shipped ones: without the shipped catalogue they would take its
    // numbers, and a kept queue or a list file naming shipped formats would convert with them.
    std::error_code ec;
    struct stat status { };
    if (!std::filesystem::exists(fileName, ec) && ::lstat(user.c_str(), &status) == 0) {
        m_userCatalogueError
            = QCoreApplication::translate("TCommandManager", "Your own formats in \"%1\" were left out: %2")
                  .arg(QString::fromStdString(user),
                      QCoreApplication::translate("TCommandManager", "the shipped catalogue \"%1\" is missing")
                          .arg(QString::fromStdString(fileName)))
                  .toStdString();
        return;
    }
    LoadUserEntries(user);
}

void TCommandManager::Load(const std::string& fileName)
{
    std::error_code ec;
    if (!std::filesystem::exists(fileName, ec))
        return;
    m_formats.clear();
    m_shownFormats.clear();
    m_entries.clear();
    read(fileName, false);
}

void TCommandManager::LoadUserEntries(const std::string& fileName)
{
    m_userCatalogueError.clear();
    struct stat status { };
    if (::lstat(fileName.c_str(), &status) != 0 && errno == ENOENT)
        return;
    // Your own entries are an addition: a file that cannot be read costs
    // them, never the shipped formats.
    try {
        read(fileName, true);
    } catch (const std::exception& error) {
        m_userCatalogueError
            = QCoreApplication::translate("TCommandManager", "Your own formats in \"%1\" were left out: %2")
                  .arg(QString::fromStdString(fileName), QString::fromStdString(error.what()))
                  .toStdString();
    }
}

void TCommandManager::read(const std::string& fileName, bool user)
{
    TJclSimpleXML document;
    document.LoadFromFile(fileName);
    for (int i = 0; i < document.Root().ChildCount(); ++i) {
        const TJclSimpleXMLElem* entry = document.Root().ChildAt(i);
        // In your own catalogue, a comment is a comment; in the shipped one every child is an entry.
        if (user && !dynamic_cast<const TJclSimpleXMLElemClassic*>(entry))
            continue;
        m_formats.push_back(entry->ChildValue("format"));
        m_shownFormats.push_back(user
                ? m_formats.back()
                : QCoreApplication::translate(kFormatNameContext, m_formats.back().c_str()).toStdString());
        m_entries.push_back(
            {entry->ChildValue("params"), entry->ChildValue("inputparams"), entry->ChildValue("ext"), user});
    }
}

std::string TCommandManager::GetParams(int index) const
{
    return isValidIndex(index) ? m_entries[static_cast<std::size_t>(index)].params : std::string();
}

std::string TCommandManager::GetExt(int index) const
{
    return isValidIndex(index) ? m_entries[static_cast<std::size_t>(index)].ext : std::string();
}

std::string TCommandManager::GetInputParams(int index) const
{
    return isValidIndex(index) ? m_entries[static_cast<std::size_t>(index)].inputParams : std::string();
}

std::string TCommandManager::formatName(int index) const
{
    return isValidIndex(index) ? m_formats[static_cast<std::size_t>(index)] : std::string();
}

bool TCommandManager::isUserEntry(int index) const
{
    return isValidIndex(index) && m_entries[static_cast<std::size_t>(index)].user;
}

std::string TCommandManager::whyUnavailable(int index, const FfmpegAbilities* abilities) const
{
    return unavailability(index, abilities).english;
}

Wording TCommandManager::unavailability(int index, const FfmpegAbilities* abilities) const
{
    if (!isValidIndex(index))
        return {};
    const Entry& entry = m_entries[static_cast<std::size_t>(index)];
    if (Wording why = whyNotOneToOne(entry.inputParams, entry.params); !why.empty())
        return why;
    if (entry.ext.empty() || entry.ext == "." || entry.ext.find('/') != std::string::npos)
        return reason(QT_TRANSLATE_NOOP("Reason", "its extension \"%1\" is no file name extension"), entry.ext);
    const bool vaapi
        = entry.params.find("vaapi") != std::string::npos || entry.inputParams.find("vaapi") != std::string::npos;
    if (vaapi && !hasRenderDevice())
        return reason(QT_TRANSLATE_NOOP("Reason", "it needs a VAAPI render device, and /dev/dri has none"));
    return abilities ? abilities->cannotWrite(entry.params) : Wording();
}

std::set<std::string> TCommandManager::extensions() const
{
    std::set<std::string> found;
    for (const Entry& entry : m_entries) {
        if (!entry.ext.empty())
            found.insert(entry.ext.front() == '.' ? entry.ext.substr(1) : entry.ext);
    }
    return found;
}

std::string TCommandManager::userCataloguePath()
{
    const std::string folder = userFolder("XDG_CONFIG_HOME", ".config");
    return folder.empty() ? folder : folder + "command";
}
