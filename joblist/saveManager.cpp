#include "saveManager.h"

#include "JobListModel.h"

#include <QCoreApplication>
#include <QStringDecoder>

#include <charconv>
#include <filesystem>
#include <functional>
#include <vector>

namespace {

// source marked with QT_TRANSLATE_NOOP("TSaveManager", …), in the user's language.
QString said(const char* source)
{
    return QCoreApplication::translate("TSaveManager", source);
}

// "Item 3 of "list.qfl"", made only when something is wrong with it.
QString itemText(int number, const std::string& path)
{
    return said(QT_TRANSLATE_NOOP("TSaveManager", "Item %1 of \"%2\""))
        .arg(QString::number(number), QString::fromStdString(path));
}

EListFileError listFileError(const QString& message)
{
    return EListFileError(message.toStdString());
}

// A name of a list file as the job list holds it: every byte kept, relative
// names taken from the list file's folder. A NUL would cut the name short and
// a byte sequence that is not UTF-8 would be changed on the way, so both
// refuse the list file instead.
QString itemName(const std::string& text, const std::string& folder, int number, const std::string& path, bool isPath)
{
    if (text.find('\0') != std::string::npos)
        throw listFileError(
            (isPath ? said(QT_TRANSLATE_NOOP("TSaveManager", "%1 has a NUL character in its path."))
                    : said(QT_TRANSLATE_NOOP("TSaveManager", "%1 has a NUL character in its file name.")))
                .arg(itemText(number, path)));
    if (!isUtf8(text))
        throw listFileError(
            (isPath ? said(QT_TRANSLATE_NOOP("TSaveManager", "%1 has a path that is not valid UTF-8."))
                    : said(QT_TRANSLATE_NOOP("TSaveManager", "%1 has a file name that is not valid UTF-8.")))
                .arg(itemText(number, path)));
    QString name = QString::fromStdString(text);
    if (!text.empty() && text.front() != '/')
        name.prepend(QString::fromStdString(folder));
    return name;
}

// An item's folder below its tree's root, as the job list holds it; bytes that are not UTF-8 refuse the
// list file as in a path.
QString subfolderName(const std::string& text, int number, const std::string& path)
{
    if (!isUtf8(text))
        throw listFileError(said(QT_TRANSLATE_NOOP("TSaveManager", "%1 has a subfolder that is not valid UTF-8."))
                                .arg(itemText(number, path)));
    return QString::fromStdString(text);
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Reads the items of a list file's document for each, in order; an item
// that cannot be read stops it with an error naming the item.
void readItems(const TJclSimpleXML& document, const std::string& path,
    const std::function<void(const TItemData& data, const TJclSimpleXMLElem& item)>& each)
{
    const TJclSimpleXMLElems* items = document.Root().ChildrenIfAny();
    const int count = items ? items->Count() : 0;
    std::error_code absoluteError;
    std::string folder = std::filesystem::absolute(path, absoluteError).parent_path().string();
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    // Items of one list file often share their directory: share the text too.
    QString lastPath;
    int itemNumber = 0;
    for (int i = 0; i < count; ++i) {
        const TJclSimpleXMLElem* item = items->Item(i);
        if (!dynamic_cast<const TJclSimpleXMLElemClassic*>(item))
            continue;
        ++itemNumber;
        const auto field = [&](const char* name) -> const std::string& {
            const TJclSimpleXMLElem* found = item->FindChild(name);
            if (!found)
                throw listFileError(said(QT_TRANSLATE_NOOP("TSaveManager", "%1 has no \"%2\" element."))
                                        .arg(itemText(itemNumber, path), QString::fromUtf8(name)));
            return found->Value();
        };
        TItemData data;
        data.FileName = itemName(field("filename"), folder, itemNumber, path, false);
        data.FormatIndex = listFileInteger(field("format"));
        const QString itemPath = itemName(field("path"), folder, itemNumber, path, true);
        if (itemPath != lastPath)
            lastPath = itemPath;
        data.Path = lastPath; // shares the text with the previous item's when equal
        data.SizeLimit = sizeLimitValue(item->ChildValue("size"));
        // Optional: an item that came alone has none. Kept as written; planning refuses one that would lead out.
        if (const TJclSimpleXMLElem* subfolder = item->FindChild("subfolder"))
            data.Subfolder = subfolderName(subfolder->Value(), itemNumber, path);
        each(data, *item);
    }
}

// An item's optional fields after its <path>: its size limit, only when it has one.
void writeSizeLimit(TJclSimpleXMLElem& item, const TItemData& data)
{
    if (data.SizeLimit > 0)
        item.Children().Add("size").SetValue(std::to_string(data.SizeLimit));
}

// The <state> words of the kept queue: an item that works now starts again next time.
const char* stateWord(ItemState state)
{
    switch (state) {
    case ItemState::done: return "done";
    case ItemState::failed: return "failed";
    case ItemState::stopped: return "stopped";
    case ItemState::skipped: return "skipped";
    default: return "queued";
    }
}

ItemState stateOf(const std::string& word)
{
    for (const ItemState state : {ItemState::done, ItemState::failed, ItemState::stopped, ItemState::skipped}) {
        if (word == stateWord(state))
            return state;
    }
    return ItemState::waiting;
}

} // namespace

bool isUtf8(const std::string& text)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    // decode() only describes the work; the conversion to QString does it.
    const QString decoded = decoder.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    return !decoder.hasError();
}

namespace {

// The text without the blanks around it.
std::string_view trimmed(std::string_view text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

} // namespace

std::optional<int> parseInteger(std::string_view given)
{
    const std::string_view text = trimmed(given);
    const char* first = text.data();
    const char* last = text.data() + text.size();
    // One sign at most: "+-5" is no number.
    if (first != last && *first == '+' && !(last - first > 1 && first[1] == '-'))
        ++first;
    int value = 0;
    const auto [stop, error] = std::from_chars(first, last, value);
    if (first == last || error != std::errc() || stop != last)
        return std::nullopt;
    return value;
}

std::int64_t sizeLimitValue(std::string_view given)
{
    const std::string_view text = trimmed(given);
    // Digits alone: from_chars would take a "-" as a sign.
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos)
        return 0;
    std::int64_t value = 0;
    const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && stop == text.data() + text.size() ? value : 0;
}

int listFileInteger(const std::string& text)
{
    const std::optional<int> value = parseInteger(text);
    if (!value)
        throw listFileError(said(QT_TRANSLATE_NOOP("TSaveManager", "'%1' is not a valid integer value"))
                                .arg(QString::fromStdString(text)));
    return *value;
}

TSaveManager::TSaveManager(JobListModel& model)
    : m_model(model)
{
    m_document.SetEncoding("UTF-8");
    m_document.Root().SetName("list");
}

void TSaveManager::ImportFromFile(const std::string& path)
{
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return;
    m_document.LoadFromFile(path);

    // The tree is only needed while the items are read; its declaration and
    // root name stay for the next export.
    struct ReleaseTree {
        TJclSimpleXML& document;
        ~ReleaseTree() { document.Root().Clear(); }
    } releaseTree {m_document};

    readItems(m_document, path, [this](const TItemData& data, const TJclSimpleXMLElem&) { m_model.append(data); });
}

void TSaveManager::ExportToFile(const std::string& path)
{
    TJclSimpleXMLElemClassic& root = m_document.Root();
    root.Clear();
    for (int row = 0; row < m_model.count(); ++row) {
        const TItemData& data = m_model.nodeAt(row)->Item;
        TJclSimpleXMLElem& item = root.Children().Add("item");
        item.Children().Add("filename").SetValue(data.FileName.toStdString());
        item.Children().Add("format").SetValue(std::to_string(data.FormatIndex));
        item.Children().Add("path").SetValue(data.Path.toStdString());
        if (!data.Subfolder.isEmpty())
            item.Children().Add("subfolder").SetValue(data.Subfolder.toStdString());
        writeSizeLimit(item, data);
    }
    try {
        m_document.SaveToFile(path);
    } catch (...) {
        root.Clear();
        throw;
    }
    root.Clear();
}

std::string TSaveManager::QueueText() const
{
    TJclSimpleXML document;
    document.SetEncoding("UTF-8");
    document.Root().SetName("list");
    for (int row = 0; row < m_model.count(); ++row) {
        const JobListModel::Node& node = *m_model.nodeAt(row);
        TJclSimpleXMLElem& item = document.Root().Children().Add("item");
        item.Children().Add("filename").SetValue(node.Item.FileName.toStdString());
        item.Children().Add("format").SetValue(std::to_string(node.Item.FormatIndex));
        item.Children().Add("path").SetValue(node.Item.Path.toStdString());
        if (!node.Item.Subfolder.isEmpty())
            item.Children().Add("subfolder").SetValue(node.Item.Subfolder.toStdString());
        writeSizeLimit(item, node.Item);
        item.Children().Add("state").SetValue(stateWord(node.State));
        // A skipped item keeps why too: its output is there, or it needed none.
        if ((node.State == ItemState::failed || node.State == ItemState::skipped) && !node.Failure.isEmpty())
            item.Children().Add("reason").SetValue(node.Failure.toStdString());
    }
    return document.SaveToString();
}

void TSaveManager::RestoreQueue(const std::string& text, const std::string& path)
{
    TJclSimpleXML document;
    document.LoadFromString(text);
    if (document.Root().Name() != "list")
        throw listFileError(said(QT_TRANSLATE_NOOP("TSaveManager", "\"%1\" is not a Calvera list: its root is <%2>."))
                                .arg(QString::fromStdString(path), QString::fromStdString(document.Root().Name())));
    struct Restored {
        TItemData data;
        ItemState state;
        QString reason;
    };
    std::vector<Restored> restored;
    readItems(document, path, [&restored](const TItemData& data, const TJclSimpleXMLElem& item) {
        const ItemState state = stateOf(item.ChildValue("state"));
        const QString reason = state == ItemState::failed || state == ItemState::skipped
            ? QString::fromStdString(item.ChildValue("reason"))
            : QString();
        restored.push_back({data, state, reason});
    });
    for (const Restored& item : restored) {
        JobListModel::Node* node = m_model.append(item.data);
        m_model.setState(node, item.state);
        node->Failure = item.reason;
    }
}
