#include "itemManager.h"

#include "saveManager.h"

TItemManager::TItemManager()
{
    m_document.SetEncoding("UTF-8");
    m_document.Root().SetName("list");
}

void TItemManager::AddItem(const std::string& fileName, int formatIndex, const std::string& path)
{
    TJclSimpleXMLElem& item = m_document.Root().Children().Add("item");
    item.Children().Add("filename").SetValue(fileName);
    item.Children().Add("format").SetValue(std::to_string(formatIndex));
    item.Children().Add("path").SetValue(path);
}

std::string TItemManager::childValue(int i, const char* name) const
{
    const TJclSimpleXMLElem* item = m_document.Root().ChildAt(i);
    return item ? item->ChildValue(name) : std::string();
}

void TItemManager::SetSubfolder(int i, const std::string& subfolder)
{
    if (i < 0 || i >= Count())
        return;
    if (TJclSimpleXMLElem* item = m_document.Root().Children().Item(i))
        item->Children().Add("subfolder").SetValue(subfolder);
}

std::string TItemManager::GetSubfolder(int i) const
{
    return childValue(i, "subfolder");
}

int TItemManager::GetFormatIndex(int i) const
{
    return parseInteger(childValue(i, "format")).value_or(-1);
}

std::string TItemManager::GetPath(int i) const
{
    return childValue(i, "path");
}

void TItemManager::SetSizeLimit(int i, std::int64_t bytes)
{
    if (i < 0 || i >= Count())
        return;
    if (m_sizeLimits.size() <= static_cast<std::size_t>(i))
        m_sizeLimits.resize(static_cast<std::size_t>(i) + 1, 0);
    m_sizeLimits[static_cast<std::size_t>(i)] = bytes > 0 ? bytes : 0;
}

std::int64_t TItemManager::GetSizeLimit(int i) const
{
    return i >= 0 && static_cast<std::size_t>(i) < m_sizeLimits.size() ? m_sizeLimits[static_cast<std::size_t>(i)] : 0;
}

int TItemManager::Count() const
{
    return m_document.Root().ChildCount();
}

void TItemManager::Clear()
{
    m_document.Root().Clear();
    m_sizeLimits.clear();
}
