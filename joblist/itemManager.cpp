#include "itemManager.h"

#include <charconv>

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
    const TJclSimpleXMLElems* items = m_document.Root().ChildrenIfAny();
    const TJclSimpleXMLElem* item = items ? items->Item(i) : nullptr;
    const TJclSimpleXMLElems* fields = item ? item->ChildrenIfAny() : nullptr;
    const TJclSimpleXMLElem* field = fields ? fields->Find(name) : nullptr;
    return field ? field->Value() : std::string();
}

int TItemManager::GetFormatIndex(int i) const
{
    const std::string text = childValue(i, "format");
    int value = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return (error == std::errc() && end == text.data() + text.size()) ? value : -1;
}

std::string TItemManager::GetPath(int i) const
{
    return childValue(i, "path");
}

int TItemManager::Count() const
{
    return m_document.Root().ChildCount();
}

void TItemManager::Clear()
{
    m_document.Root().Clear();
}
