#include "commandManager.h"

#include "FfmpegAbilities.h"
#include "ProgramDir.h"
#include "SimpleXML.h"

#include <filesystem>
#include <glob.h>

namespace {

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
    if (!user.empty())
        LoadUserEntries(user);
}

void TCommandManager::Load(const std::string& fileName)
{
    std::error_code ec;
    if (!std::filesystem::exists(fileName, ec))
        return;
    m_formats.clear();
    m_entries.clear();
    read(fileName, false);
}

void TCommandManager::LoadUserEntries(const std::string& fileName)
{
    std::error_code ec;
    if (std::filesystem::exists(fileName, ec))
        read(fileName, true);
}

void TCommandManager::read(const std::string& fileName, bool user)
{
    TJclSimpleXML document;
    document.LoadFromFile(fileName);
    for (int i = 0; i < document.Root().ChildCount(); ++i) {
        const TJclSimpleXMLElem* entry = document.Root().ChildAt(i);
        m_formats.push_back(entry->ChildValue("format"));
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

std::string TCommandManager::whyUnavailable(int index, const std::string& ffmpegPath) const
{
    if (!isValidIndex(index))
        return {};
    const Entry& entry = m_entries[static_cast<std::size_t>(index)];
    const bool vaapi
        = entry.params.find("vaapi") != std::string::npos || entry.inputParams.find("vaapi") != std::string::npos;
    if (vaapi && !hasRenderDevice())
        return "it needs a VAAPI render device, and /dev/dri has none";
    return ffmpegPath.empty() ? std::string() : FfmpegAbilities::of(ffmpegPath)->whyCannotWrite(entry.params);
}

std::string TCommandManager::userCataloguePath()
{
    const std::string folder = userFolder("XDG_CONFIG_HOME", ".config");
    return folder.empty() ? folder : folder + "command";
}
