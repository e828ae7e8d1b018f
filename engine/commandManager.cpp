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
    const TJclSimpleXMLElems* entries = m_document.Root().ChildrenIfAny();
    const TJclSimpleXMLElem* entry = entries ? entries->Item(index) : nullptr;
    const TJclSimpleXMLElems* fields = entry ? entry->ChildrenIfAny() : nullptr;
    const TJclSimpleXMLElem* field = fields ? fields->Find(name) : nullptr;
    return field ? field->Value() : std::string();
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
