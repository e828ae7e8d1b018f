#include "SimpleXML.h"

#include "XmlWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

// lupdate finds the texts by this marker; the library has no Qt, so it is its own.
#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(scope, x) x
#endif

namespace {

XmlTranslator translator = nullptr;

// format's translation with %1 and %2 replaced in one pass.
std::string fileMessage(const char* format, const std::string& first, const std::string& second)
{
    const std::string text = xmlText("SimpleXML", format);
    std::string message;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && (text[i + 1] == '1' || text[i + 1] == '2')) {
            message += text[i + 1] == '1' ? first : second;
            ++i;
        } else {
            message += text[i];
        }
    }
    return message;
}

char upperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Lists shorter than this are searched directly: cheaper than any index.
constexpr int kIndexThreshold = 8;

std::string absolutePath(const std::string& path)
{
    std::error_code ec;
    auto abs = std::filesystem::absolute(path, ec);
    return ec ? path : abs.lexically_normal().string();
}

std::string systemText(int error)
{
    return std::strerror(error);
}

constexpr const char* kCannotOpen = QT_TRANSLATE_NOOP("SimpleXML", "Cannot open file \"%1\". %2");
constexpr const char* kCannotCreate = QT_TRANSLATE_NOOP("SimpleXML", "Cannot create file \"%1\". %2");
constexpr const char* kCannotWrite = QT_TRANSLATE_NOOP("SimpleXML", "Cannot write file \"%1\". %2");
constexpr const char* kTooLarge = QT_TRANSLATE_NOOP("SimpleXML", "It is larger than %1 MiB.");
constexpr const char* kNotRegular = QT_TRANSLATE_NOOP("SimpleXML", "It is not a regular file.");

} // namespace

void setXmlTranslator(XmlTranslator newTranslator)
{
    translator = newTranslator;
}

std::string xmlText(const char* context, const char* source)
{
    return translator ? translator(context, source) : std::string(source);
}

// Bump allocator for the elements of one document, in 64 KiB blocks, with free
// lists per size so that elements destroyed by Clear are reused. Once no
// element is left the blocks go back to the heap.
class XmlArena final {
public:
    XmlArena() = default;
    ~XmlArena() { releaseBlocks(); }
    XmlArena(const XmlArena&) = delete;
    XmlArena& operator=(const XmlArena&) = delete;

    static bool holds(std::size_t size) { return roundUp(size) / kAlign < kSlots; }

    void* allocate(std::size_t size)
    {
        size = roundUp(size);
        ++m_live;
        const std::size_t slot = size / kAlign;
        if (slot < kSlots && m_free[slot]) {
            FreeNode* node = m_free[slot];
            m_free[slot] = node->next;
            return node;
        }
        if (m_used + size > kBlockSize) {
            m_blocks.push_back(static_cast<char*>(::operator new(kBlockSize)));
            m_used = 0;
        }
        void* p = m_blocks.back() + m_used;
        m_used += size;
        return p;
    }

    void deallocate(void* p, std::size_t size)
    {
        size = roundUp(size);
        auto* node = static_cast<FreeNode*>(p);
        node->next = m_free[size / kAlign];
        m_free[size / kAlign] = node;
        if (--m_live == 0)
            releaseBlocks();
    }

private:
    struct FreeNode {
        FreeNode* next;
    };
    static constexpr std::size_t kAlign = alignof(std::max_align_t);
    static constexpr std::size_t kBlockSize = 64 * 1024;
    static constexpr std::size_t kSlots = 64;
    static std::size_t roundUp(std::size_t size) { return (size + kAlign - 1) / kAlign * kAlign; }

    void releaseBlocks()
    {
        for (char* block : m_blocks)
            ::operator delete(block);
        m_blocks.clear();
        std::fill(std::begin(m_free), std::end(m_free), nullptr);
        m_used = kBlockSize;
    }

    std::vector<char*> m_blocks;
    std::size_t m_used = kBlockSize;
    std::size_t m_live = 0;
    FreeNode* m_free[kSlots] = {};
};

void* allocateBytes(TJclSimpleXML* document, std::size_t bytes)
{
    return document && XmlArena::holds(bytes) ? document->m_arena->allocate(bytes) : ::operator new(bytes);
}

void releaseBytes(TJclSimpleXML* document, void* p, std::size_t bytes) noexcept
{
    if (document && XmlArena::holds(bytes))
        document->m_arena->deallocate(p, bytes);
    else
        ::operator delete(p);
}

void* TJclSimpleXMLElem::operator new(std::size_t size, TJclSimpleXML* document)
{
    return document ? document->m_arena->allocate(size) : ::operator new(size);
}

void TJclSimpleXMLElem::operator delete(void* p, TJclSimpleXML* document)
{
    // Only reached when a constructor throws; no element kind's does, but the
    // placement form needs its matching release.
    if (document)
        document->m_arena->deallocate(p, sizeof(TJclSimpleXMLElem));
    else
        ::operator delete(p);
}

void TJclSimpleXMLElem::operator delete(TJclSimpleXMLElem* p, std::destroying_delete_t)
{
    const std::size_t arenaSize = p->m_arenaSize;
    TJclSimpleXML* document = p->m_document;
    p->~TJclSimpleXMLElem();
    if (arenaSize)
        document->m_arena->deallocate(p, arenaSize);
    else
        ::operator delete(p);
}

void* TJclSimpleXMLElems::operator new(std::size_t size, TJclSimpleXML* document)
{
    return document ? document->m_arena->allocate(size) : ::operator new(size);
}

void TJclSimpleXMLElems::operator delete(void* p, TJclSimpleXML* document)
{
    if (document)
        document->m_arena->deallocate(p, sizeof(TJclSimpleXMLElems));
    else
        ::operator delete(p);
}

void TJclSimpleXMLElems::operator delete(TJclSimpleXMLElems* p, std::destroying_delete_t)
{
    TJclSimpleXML* document = p->m_parent->SimpleXML();
    p->~TJclSimpleXMLElems();
    if (document)
        document->m_arena->deallocate(p, sizeof(TJclSimpleXMLElems));
    else
        ::operator delete(p);
}

bool sameNameIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    if (a == b)
        return true;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (upperAscii(a[i]) != upperAscii(b[i]))
            return false;
    }
    return true;
}

std::string upperName(std::string_view name)
{
    std::string result(name);
    for (char& c : result)
        c = upperAscii(c);
    return result;
}

// ---------------------------------------------------------------- attributes

TJclSimpleXMLProp::TJclSimpleXMLProp(TJclSimpleXMLProps* parent, std::string name, std::string value)
    : m_name(std::move(name))
    , m_value(std::move(value))
    , m_parent(parent)
{ }

std::string TJclSimpleXMLProp::FullName() const
{
    return m_nameSpace.empty() ? m_name : m_nameSpace + ":" + m_name;
}

TJclSimpleXMLProps::TJclSimpleXMLProps(TJclSimpleXMLElem* parent)
    : m_parent(parent)
{ }

TJclSimpleXMLProps::~TJclSimpleXMLProps() = default;

TJclSimpleXMLProp* TJclSimpleXMLProps::Item(int i) const
{
    return (i >= 0 && i < Count()) ? m_items[static_cast<std::size_t>(i)].get() : nullptr;
}

TJclSimpleXMLProp* TJclSimpleXMLProps::Find(std::string_view name) const
{
    for (auto it = m_items.rbegin(); it != m_items.rend(); ++it) {
        if (sameNameIgnoringCase((*it)->Name(), name))
            return it->get();
    }
    return nullptr;
}

TJclSimpleXMLProp& TJclSimpleXMLProps::Add(std::string name, std::string value)
{
    m_items.push_back(std::make_unique<TJclSimpleXMLProp>(this, std::move(name), std::move(value)));
    return *m_items.back();
}

void TJclSimpleXMLProps::Clear()
{
    m_items.clear();
}

// ---------------------------------------------------------------- child lists

struct TJclSimpleXMLElems::NameIndex {
    std::unordered_map<std::string, TJclSimpleXMLElem*> lastByName;
};

TJclSimpleXMLElems::TJclSimpleXMLElems(TJclSimpleXMLElem* parent)
    : m_parent(parent)
    , m_items(XmlArenaAllocator<std::unique_ptr<TJclSimpleXMLElem>>(parent ? parent->SimpleXML() : nullptr))
{ }

TJclSimpleXMLElems::~TJclSimpleXMLElems() = default;

const TJclSimpleXMLElem* TJclSimpleXMLElem::ChildAt(int i) const
{
    return m_children ? m_children->Item(i) : nullptr;
}

const TJclSimpleXMLElem* TJclSimpleXMLElem::FindChild(std::string_view name) const
{
    return m_children ? m_children->Find(name) : nullptr;
}

std::string TJclSimpleXMLElem::ChildValue(std::string_view name) const
{
    const TJclSimpleXMLElem* child = FindChild(name);
    return child ? child->Value() : std::string();
}

TJclSimpleXMLElem* TJclSimpleXMLElems::Item(int i) const
{
    return (i >= 0 && i < Count()) ? m_items[static_cast<std::size_t>(i)].get() : nullptr;
}

TJclSimpleXMLElem* TJclSimpleXMLElems::Find(std::string_view name) const
{
    if (Count() < kIndexThreshold) {
        for (auto it = m_items.rbegin(); it != m_items.rend(); ++it) {
            if (sameNameIgnoringCase((*it)->Name(), name))
                return it->get();
        }
        return nullptr;
    }
    if (!m_index) {
        m_index = std::make_unique<NameIndex>();
        m_index->lastByName.reserve(m_items.size());
        for (const auto& item : m_items)
            m_index->lastByName[upperName(item->Name())] = item.get();
    }
    const auto found = m_index->lastByName.find(upperName(name));
    return found == m_index->lastByName.end() ? nullptr : found->second;
}

TJclSimpleXMLElem& TJclSimpleXMLElems::append(std::unique_ptr<TJclSimpleXMLElem> elem)
{
    TJclSimpleXMLElem& added = *elem;
    if (m_items.empty())
        m_items.reserve(4);
    m_items.push_back(std::move(elem));
    if (m_index)
        m_index->lastByName[upperName(added.Name())] = &added;
    return added;
}

TJclSimpleXMLElemClassic& TJclSimpleXMLElems::Add(std::string name)
{
    auto elem = TJclSimpleXMLElem::create<TJclSimpleXMLElemClassic>(m_parent);
    elem->m_name = std::move(name);
    return static_cast<TJclSimpleXMLElemClassic&>(append(std::move(elem)));
}

TJclSimpleXMLElem& TJclSimpleXMLElems::AddText(std::string value)
{
    auto elem = TJclSimpleXMLElem::create<TJclSimpleXMLElemText>(m_parent);
    elem->SetValue(std::move(value));
    return append(std::move(elem));
}

TJclSimpleXMLElem& TJclSimpleXMLElems::AddComment(std::string value)
{
    auto elem = TJclSimpleXMLElem::create<TJclSimpleXMLElemComment>(m_parent);
    elem->SetValue(std::move(value));
    return append(std::move(elem));
}

TJclSimpleXMLElem& TJclSimpleXMLElems::AddCData(std::string value)
{
    auto elem = TJclSimpleXMLElem::create<TJclSimpleXMLElemCData>(m_parent);
    elem->SetValue(std::move(value));
    return append(std::move(elem));
}

void TJclSimpleXMLElems::Clear()
{
    m_index.reset();
    m_items.clear();
}

void TJclSimpleXMLElems::nameChanged()
{
    m_index.reset();
}

// ---------------------------------------------------------------- prolog

TJclSimpleXMLElem* TJclSimpleXMLElemsProlog::Item(int i) const
{
    return (i >= 0 && i < Count()) ? m_items[static_cast<std::size_t>(i)].get() : nullptr;
}

TJclSimpleXMLElem& TJclSimpleXMLElemsProlog::append(std::unique_ptr<TJclSimpleXMLElem> elem)
{
    m_items.push_back(std::move(elem));
    return *m_items.back();
}

TJclSimpleXMLElemHeader* TJclSimpleXMLElemsProlog::firstHeader() const
{
    for (const auto& item : m_items) {
        if (auto* header = dynamic_cast<TJclSimpleXMLElemHeader*>(item.get()))
            return header;
    }
    return nullptr;
}

// ---------------------------------------------------------------- elements

TJclSimpleXMLElem::TJclSimpleXMLElem(TJclSimpleXMLElem* parent)
    : m_parent(parent)
    , m_document(parent ? parent->m_document : nullptr)
{ }

TJclSimpleXMLElem::~TJclSimpleXMLElem() = default;

void TJclSimpleXMLElem::Assign(const TJclSimpleXMLElem& source)
{
    if (&source == this)
        return;
    Clear();
    m_name = source.m_name;
    m_value = source.m_value;
    SetNameSpace(source.NameSpace());
    if (source.m_props) {
        for (int i = 0; i < source.m_props->Count(); ++i) {
            const TJclSimpleXMLProp* prop = source.m_props->Item(i);
            Properties().Add(prop->Name(), prop->Value()).SetNameSpace(prop->NameSpace());
        }
    }
    if (source.m_children) {
        for (int i = 0; i < source.m_children->Count(); ++i) {
            const TJclSimpleXMLElem* child = source.m_children->Item(i);
            auto copy = child->cloneEmpty(this);
            copy->Assign(*child);
            Children().append(std::move(copy));
        }
    }
}

void TJclSimpleXMLElem::Clear()
{
    // The lists themselves go too, so that a cleared document holds nothing
    // in its arena and gives the arena's blocks back.
    m_children.reset();
    m_props.reset();
}

std::string TJclSimpleXMLElem::FullName() const
{
    return m_nameSpace ? *m_nameSpace + ":" + m_name : m_name;
}

const std::string& TJclSimpleXMLElem::emptyText()
{
    static const std::string empty;
    return empty;
}

void TJclSimpleXMLElem::SetName(std::string name)
{
    if (name.empty() || name == m_name)
        return;
    m_name = std::move(name);
    if (TJclSimpleXMLElems* container = Container())
        container->nameChanged();
}

TJclSimpleXMLElems& TJclSimpleXMLElem::Children()
{
    if (!m_children)
        m_children.reset(new (m_document) TJclSimpleXMLElems(this));
    return *m_children;
}

TJclSimpleXMLProps& TJclSimpleXMLElem::Properties()
{
    if (!m_props)
        m_props = std::make_unique<TJclSimpleXMLProps>(this);
    return *m_props;
}

int TJclSimpleXMLElem::ChildCount() const
{
    return m_children ? m_children->Count() : 0;
}

std::string TJclSimpleXMLElem::encoded(std::string_view text) const
{
    return m_document ? m_document->encodeValue(text) : std::string(text);
}

void TJclSimpleXMLElem::writeProperties(XmlWriter& writer, bool encode) const
{
    if (!m_props)
        return;
    for (int i = 0; i < m_props->Count(); ++i) {
        const TJclSimpleXMLProp* prop = m_props->Item(i);
        writer.put(' ');
        writer.put(prop->FullName());
        writer.put("=\"");
        if (encode)
            writer.putEncoded(prop->Value());
        else
            writer.put(prop->Value());
        writer.put('"');
    }
}

void TJclSimpleXMLElemClassic::SaveToWriter(XmlWriter& writer, std::string_view indent) const
{
    const TJclSimpleXMLElems* children = ChildrenIfAny();
    const bool hasChildren = children && children->Count() > 0;
    if (Name().empty()) {
        if (hasChildren) {
            for (int i = 0; i < children->Count(); ++i)
                children->Item(i)->SaveToWriter(writer, indent);
        }
        return;
    }
    const bool encode = SimpleXML() != nullptr;
    const auto putText = [&](std::string_view text) {
        if (encode)
            writer.putEncoded(text);
        else
            writer.put(text);
    };
    const auto putName = [&] {
        if (!NameSpace().empty()) {
            putText(NameSpace());
            writer.put(':');
        }
        putText(Name());
    };
    writer.put(indent);
    writer.put('<');
    putName();
    writeProperties(writer, encode);
    if (hasChildren) {
        writer.put('>');
        writer.lineEnd();
        std::string childIndent(indent);
        childIndent += SimpleXML() ? SimpleXML()->IndentString() : std::string("  ");
        for (int i = 0; i < children->Count(); ++i)
            children->Item(i)->SaveToWriter(writer, childIndent);
        writer.put(indent);
        writer.put("</");
        putName();
        writer.put('>');
    } else if (!Value().empty()) {
        writer.put('>');
        putText(Value());
        writer.put("</");
        putName();
        writer.put('>');
    } else {
        writer.put("/>");
    }
    writer.lineEnd();
}

std::unique_ptr<TJclSimpleXMLElem> TJclSimpleXMLElemClassic::cloneEmpty(TJclSimpleXMLElem* parent) const
{
    return TJclSimpleXMLElem::create<TJclSimpleXMLElemClassic>(parent);
}

void TJclSimpleXMLElemText::SaveToWriter(XmlWriter& writer, std::string_view indent) const
{
    if (Value().empty())
        return;
    writer.put(indent);
    if (SimpleXML())
        writer.putEncoded(Value());
    else
        writer.put(Value());
    writer.lineEnd();
}

std::unique_ptr<TJclSimpleXMLElem> TJclSimpleXMLElemText::cloneEmpty(TJclSimpleXMLElem* parent) const
{
    return TJclSimpleXMLElem::create<TJclSimpleXMLElemText>(parent);
}

void TJclSimpleXMLElemComment::SaveToWriter(XmlWriter& writer, std::string_view indent) const
{
    writer.put(indent);
    writer.put("<!--");
    writer.put(Value());
    writer.put("-->");
    writer.lineEnd();
}

std::unique_ptr<TJclSimpleXMLElem> TJclSimpleXMLElemComment::cloneEmpty(TJclSimpleXMLElem* parent) const
{
    return TJclSimpleXMLElem::create<TJclSimpleXMLElemComment>(parent);
}

void TJclSimpleXMLElemCData::SaveToWriter(XmlWriter& writer, std::string_view indent) const
{
    writer.put(indent);
    writer.put("<![CDATA[");
    writer.put(Value());
    writer.put("]]>");
    writer.lineEnd();
}

std::unique_ptr<TJclSimpleXMLElem> TJclSimpleXMLElemCData::cloneEmpty(TJclSimpleXMLElem* parent) const
{
    return TJclSimpleXMLElem::create<TJclSimpleXMLElemCData>(parent);
}

void TJclSimpleXMLElemHeader::Assign(const TJclSimpleXMLElem& source)
{
    TJclSimpleXMLElem::Assign(source);
    if (const auto* header = dynamic_cast<const TJclSimpleXMLElemHeader*>(&source)) {
        StandAlone = header->StandAlone;
        Encoding = header->Encoding;
        Version = header->Version;
    }
}

void TJclSimpleXMLElemHeader::SaveToWriter(XmlWriter& writer, std::string_view) const
{
    writer.put("<?xml version=\"");
    writer.put(Version);
    writer.put('"');
    if (!Encoding.empty()) {
        writer.put(" encoding=\"");
        writer.put(Encoding);
        writer.put('"');
    }
    if (StandAlone)
        writer.put(" standalone=\"yes\"");
    writer.put("?>");
    writer.lineEnd();
}

std::unique_ptr<TJclSimpleXMLElem> TJclSimpleXMLElemHeader::cloneEmpty(TJclSimpleXMLElem* parent) const
{
    return TJclSimpleXMLElem::create<TJclSimpleXMLElemHeader>(parent);
}

void TJclSimpleXMLElemDocType::SaveToWriter(XmlWriter& writer, std::string_view) const
{
    writer.put("<!DOCTYPE ");
    writer.put(Value());
    writer.put('>');
    writer.lineEnd();
}

std::unique_ptr<TJclSimpleXMLElem> TJclSimpleXMLElemDocType::cloneEmpty(TJclSimpleXMLElem* parent) const
{
    return TJclSimpleXMLElem::create<TJclSimpleXMLElemDocType>(parent);
}

void TJclSimpleXMLElemSheet::SaveToWriter(XmlWriter& writer, std::string_view indent) const
{
    writer.put(indent);
    writer.put("<?xml-stylesheet");
    writeProperties(writer, false);
    writer.put("?>");
    writer.lineEnd();
}

std::unique_ptr<TJclSimpleXMLElem> TJclSimpleXMLElemSheet::cloneEmpty(TJclSimpleXMLElem* parent) const
{
    return TJclSimpleXMLElem::create<TJclSimpleXMLElemSheet>(parent);
}

// ---------------------------------------------------------------- document

TJclSimpleXML::TJclSimpleXML()
    : m_arena(std::make_unique<XmlArena>())
    , m_root(std::make_unique<TJclSimpleXMLElemClassic>(nullptr))
{
    m_root->m_document = this;
}

TJclSimpleXML::~TJclSimpleXML() = default;

void TJclSimpleXML::SetEncoding(const std::string& encoding)
{
    TJclSimpleXMLElemHeader* header = m_prolog.firstHeader();
    if (!header) {
        auto created = TJclSimpleXMLElem::create<TJclSimpleXMLElemHeader>(nullptr);
        created->SetName("xml");
        header = static_cast<TJclSimpleXMLElemHeader*>(&m_prolog.append(std::move(created)));
    }
    header->Encoding = encoding;
}

std::string TJclSimpleXML::encodeValue(std::string_view value) const
{
    std::string out;
    out.reserve(value.size());
    appendEncodedXml(out, value);
    return out;
}

void TJclSimpleXML::ensureHeader()
{
    if (!m_prolog.firstHeader())
        m_prolog.append(TJclSimpleXMLElem::create<TJclSimpleXMLElemHeader>(nullptr));
}

void TJclSimpleXML::writeDocument(XmlWriter& writer)
{
    ensureHeader();
    for (int i = 0; i < m_prolog.Count(); ++i)
        m_prolog.Item(i)->SaveToWriter(writer, {});
    m_root->SaveToWriter(writer, {});
}

std::string TJclSimpleXML::SaveToString()
{
    std::string out;
    XmlWriter writer(out);
    writeDocument(writer);
    writer.finish();
    return out;
}

namespace {

// Opens a new, empty file beside target with a name nobody else uses.
int createSiblingTempFile(const std::string& target, std::string& tempPath)
{
    const std::filesystem::path targetPath(target);
    const std::filesystem::path dir = targetPath.has_parent_path() ? targetPath.parent_path() : ".";
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Appended piece by piece: a chain of + here makes GCC's optimiser warn of overlapping copies
        // (-Wrestrict) that cannot happen.
        std::string name = ".";
        name += targetPath.filename().string();
        name += ".tmp";
        name += std::to_string(::getpid());
        name += '-';
        name += std::to_string(random() % 1000000);
        tempPath = (dir / name).string();
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

std::string resolveLinks(const std::string& path)
{
    std::error_code ec;
    if (!std::filesystem::is_symlink(path, ec))
        return path;
    const auto resolved = std::filesystem::weakly_canonical(path, ec);
    return ec ? path : resolved.string();
}

} // namespace

void TJclSimpleXML::SaveToFile(const std::string& path)
{
    const std::string shownPath = absolutePath(path);
    const std::string target = resolveLinks(path);

    struct stat existing { };
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && (S_ISDIR(existing.st_mode) || ::access(target.c_str(), W_OK) != 0)) {
        const int error = S_ISDIR(existing.st_mode) ? EISDIR : errno;
        throw FileError(fileMessage(kCannotOpen, shownPath, systemText(error)));
    }

    std::string tempPath;
    const int fd = createSiblingTempFile(target, tempPath);
    if (fd < 0)
        throw FileError(fileMessage(kCannotCreate, shownPath, systemText(errno)));
    if (exists)
        ::fchmod(fd, existing.st_mode & 07777);

    int error = 0;
    {
        XmlWriter writer(fd);
        writeDocument(writer);
        error = writer.finish();
    }
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(tempPath.c_str(), target.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(tempPath.c_str());
        throw FileError(fileMessage(kCannotWrite, shownPath, systemText(error)));
    }
}

void TJclSimpleXML::LoadFromFile(const std::string& path)
{
    // Without O_NONBLOCK, opening a FIFO would wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        throw FileError(fileMessage(kCannotOpen, absolutePath(path), systemText(errno)));
    std::string data;
    struct stat info { };
    const auto refuse = [&](const std::string& why) {
        ::close(fd);
        return FileError(fileMessage(kCannotOpen, absolutePath(path), why));
    };
    const std::string tooLarge = fileMessage(kTooLarge, std::to_string(kMaxFileBytes >> 20), {});
    if (::fstat(fd, &info) != 0)
        throw refuse(systemText(errno));
    if (!S_ISREG(info.st_mode))
        throw refuse(xmlText("SimpleXML", kNotRegular));
    if (info.st_size > kMaxFileBytes)
        throw refuse(tooLarge);
    data.reserve(static_cast<std::size_t>(info.st_size));
    char block[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, block, sizeof block);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw refuse(systemText(errno));
        }
        if (static_cast<std::int64_t>(data.size()) + n > kMaxFileBytes)
            throw refuse(tooLarge); // it grew while being read
        data.append(block, static_cast<std::size_t>(n));
    }
    ::close(fd);
    LoadFromString(data);
}
