#include "commandManager.h"

#include "ProgramDir.h"

#include <filesystem>

TCommandManager::TCommandManager()
    : TCommandManager(programDirectory() + "command")
{ }

TCommandManager::TCommandManager(const std::string& fileName)
{
    Load(fileName);
}

void TCommandManager::Load(const std::string& fileName)
{
    std::error_code ec;
    if (!std::filesystem::exists(fileName, ec))
        return;
    m_document.LoadFromFile(fileName);
    m_formats.clear();
    for (int i = 0; i < m_document.Root().ChildCount(); ++i)
        m_formats.push_back(entryValue(i, "format"));
}

std::string TCommandManager::entryValue(int index, const char* name) const
{
    const TJclSimpleXMLElem* entry = m_document.Root().ChildAt(index);
    return entry ? entry->ChildValue(name) : std::string();
}

std::string TCommandManager::GetParams(int index) const
{
    return isValidIndex(index) ? entryValue(index, "params") : std::string();
}

std::string TCommandManager::GetExt(int index) const
{
    return isValidIndex(index) ? entryValue(index, "ext") : std::string();
}

std::string TCommandManager::formatName(int index) const
{
    return isValidIndex(index) ? m_formats[static_cast<std::size_t>(index)] : std::string();
}
