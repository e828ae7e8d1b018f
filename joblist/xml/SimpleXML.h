#pragma once

// Calvera's own small XML document model: an element tree with names, values
// and attributes, a prolog, a reader for whole files and a writer with one
// fixed layout. Text is held as 8-bit strings (UTF-8 bytes); the declared
// encoding is stored and written back but never used to convert anything.

#include <cstdint>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class TJclSimpleXML;
class TJclSimpleXMLElems;
class TJclSimpleXMLProps;
class XmlArena;
class XmlParser;
class XmlWriter;

class EJclError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Malformed XML input.
class EJclSimpleXMLError : public EJclError {
public:
    using EJclError::EJclError;
};

// A file that cannot be opened, created or written ("Cannot open file ...").
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Puts the library's messages into the user's language: a program with
// translations sets it at start; without one they stay English. It gets the
// context and the English text as marked with QT_TRANSLATE_NOOP where the
// text is written, placeholders and all.
using XmlTranslator = std::string (*)(const char* context, const char* source);
void setXmlTranslator(XmlTranslator translator);
// source as the translator gives it, else as it is.
std::string xmlText(const char* context, const char* source);

class TJclSimpleXMLProp final {
public:
    TJclSimpleXMLProp(TJclSimpleXMLProps* parent, std::string name, std::string value);

    const std::string& Name() const { return m_name; }
    const std::string& Value() const { return m_value; }
    const std::string& NameSpace() const { return m_nameSpace; }
    void SetName(std::string name) { m_name = std::move(name); }
    void SetValue(std::string value) { m_value = std::move(value); }
    void SetNameSpace(std::string nameSpace) { m_nameSpace = std::move(nameSpace); }
    std::string FullName() const;
    TJclSimpleXMLProps* Parent() const { return m_parent; }

private:
    std::string m_name;
    std::string m_value;
    TJclSimpleXMLProps* m_parent;
    std::string m_nameSpace;
};

class TJclSimpleXMLElem {
public:
    explicit TJclSimpleXMLElem(TJclSimpleXMLElem* parent);
    virtual ~TJclSimpleXMLElem();
    TJclSimpleXMLElem(const TJclSimpleXMLElem&) = delete;
    TJclSimpleXMLElem& operator=(const TJclSimpleXMLElem&) = delete;

    // Deep copy of name, value, attributes and children.
    virtual void Assign(const TJclSimpleXMLElem& source);
    // Destroys all children and attributes, and the lists that held them
    // (references from Children() and Properties() do not survive it); name
    // and value stay.
    virtual void Clear();
    virtual void LoadFromParser(XmlParser& parser) = 0;
    virtual void SaveToWriter(XmlWriter& writer, std::string_view indent) const = 0;
    virtual std::string FullName() const;

    const std::string& Name() const { return m_name; }
    // An empty name or the current name changes nothing; otherwise the holding
    // child list's name index follows the new name.
    void SetName(std::string name);
    const std::string& Value() const { return m_value; }
    void SetValue(std::string value) { m_value = std::move(value); }
    // Most elements have no prefix, so it is held apart from them.
    const std::string& NameSpace() const { return m_nameSpace ? *m_nameSpace : emptyText(); }
    void SetNameSpace(std::string nameSpace)
    {
        m_nameSpace = nameSpace.empty() ? nullptr : std::make_unique<std::string>(std::move(nameSpace));
    }

    TJclSimpleXMLElem* Parent() const { return m_parent; }
    TJclSimpleXML* SimpleXML() const { return m_document; }
    // The child list that holds this element: its parent's.
    TJclSimpleXMLElems* Container() const { return m_parent ? m_parent->m_children.get() : nullptr; }

    // Created on first use.
    TJclSimpleXMLElems& Children();
    TJclSimpleXMLProps& Properties();
    // Without creating anything: null when the list was never used.
    const TJclSimpleXMLElems* ChildrenIfAny() const { return m_children.get(); }
    const TJclSimpleXMLProps* PropertiesIfAny() const { return m_props.get(); }
    int ChildCount() const;
    // The i-th child, or null; the child named name (the last of that name), or null.
    const TJclSimpleXMLElem* ChildAt(int i) const;
    const TJclSimpleXMLElem* FindChild(std::string_view name) const;
    // The value of the child named name; empty when there is none. A record's
    // field, as the catalogue and the lists keep them.
    std::string ChildValue(std::string_view name) const;

    virtual std::unique_ptr<TJclSimpleXMLElem> cloneEmpty(TJclSimpleXMLElem* parent) const = 0;

    // Makes an element under parent. Elements of a document are carved from
    // the document's arena: a file of 100,000 items is 400,000 elements, and
    // one heap allocation each would dominate loading.
    template <typename T> static std::unique_ptr<T> create(TJclSimpleXMLElem* parent)
    {
        TJclSimpleXML* document = parent ? parent->m_document : nullptr;
        T* elem = new (document) T(parent);
        if (document)
            elem->m_arenaSize = sizeof(T);
        return std::unique_ptr<T>(elem);
    }
    static void* operator new(std::size_t size) { return ::operator new(size); }
    static void* operator new(std::size_t size, TJclSimpleXML* document);
    static void operator delete(void* p, TJclSimpleXML* document);
    static void operator delete(TJclSimpleXMLElem* p, std::destroying_delete_t);

protected:
    static const std::string& emptyText();
    void assignName(std::string_view name) { m_name.assign(name); }
    void writeProperties(XmlWriter& writer, bool encode) const;
    std::string encoded(std::string_view text) const;

private:
    friend class TJclSimpleXML;
    friend class TJclSimpleXMLElems;

    std::string m_name;
    TJclSimpleXMLElem* m_parent;
    std::unique_ptr<TJclSimpleXMLElems> m_children;
    std::unique_ptr<TJclSimpleXMLProps> m_props;
    std::string m_value;
    std::unique_ptr<std::string> m_nameSpace;
    TJclSimpleXML* m_document = nullptr;
    std::uint32_t m_arenaSize = 0; // bytes taken from the document's arena; 0 for heap elements
};

class TJclSimpleXMLElemClassic final : public TJclSimpleXMLElem {
public:
    using TJclSimpleXMLElem::TJclSimpleXMLElem;
    void LoadFromParser(XmlParser& parser) override;
    void SaveToWriter(XmlWriter& writer, std::string_view indent) const override;
    std::unique_ptr<TJclSimpleXMLElem> cloneEmpty(TJclSimpleXMLElem* parent) const override;
};

class TJclSimpleXMLElemText final : public TJclSimpleXMLElem {
public:
    using TJclSimpleXMLElem::TJclSimpleXMLElem;
    void LoadFromParser(XmlParser& parser) override;
    void SaveToWriter(XmlWriter& writer, std::string_view indent) const override;
    std::unique_ptr<TJclSimpleXMLElem> cloneEmpty(TJclSimpleXMLElem* parent) const override;
};

class TJclSimpleXMLElemComment final : public TJclSimpleXMLElem {
public:
    using TJclSimpleXMLElem::TJclSimpleXMLElem;
    void LoadFromParser(XmlParser& parser) override;
    void SaveToWriter(XmlWriter& writer, std::string_view indent) const override;
    std::unique_ptr<TJclSimpleXMLElem> cloneEmpty(TJclSimpleXMLElem* parent) const override;
};

class TJclSimpleXMLElemCData final : public TJclSimpleXMLElem {
public:
    using TJclSimpleXMLElem::TJclSimpleXMLElem;
    void LoadFromParser(XmlParser& parser) override;
    void SaveToWriter(XmlWriter& writer, std::string_view indent) const override;
    std::unique_ptr<TJclSimpleXMLElem> cloneEmpty(TJclSimpleXMLElem* parent) const override;
};

class TJclSimpleXMLElemHeader final : public TJclSimpleXMLElem {
public:
    using TJclSimpleXMLElem::TJclSimpleXMLElem;
    void Assign(const TJclSimpleXMLElem& source) override;
    void LoadFromParser(XmlParser& parser) override;
    void SaveToWriter(XmlWriter& writer, std::string_view indent) const override;
    std::unique_ptr<TJclSimpleXMLElem> cloneEmpty(TJclSimpleXMLElem* parent) const override;

    bool StandAlone = false;
    std::string Encoding = "iso-8859-1";
    std::string Version = "1.0";
};

class TJclSimpleXMLElemDocType final : public TJclSimpleXMLElem {
public:
    using TJclSimpleXMLElem::TJclSimpleXMLElem;
    void LoadFromParser(XmlParser& parser) override;
    void SaveToWriter(XmlWriter& writer, std::string_view indent) const override;
    std::unique_ptr<TJclSimpleXMLElem> cloneEmpty(TJclSimpleXMLElem* parent) const override;
};

class TJclSimpleXMLElemSheet final : public TJclSimpleXMLElem {
public:
    using TJclSimpleXMLElem::TJclSimpleXMLElem;
    void LoadFromParser(XmlParser& parser) override;
    void SaveToWriter(XmlWriter& writer, std::string_view indent) const override;
    std::unique_ptr<TJclSimpleXMLElem> cloneEmpty(TJclSimpleXMLElem* parent) const override;
};

void* allocateBytes(TJclSimpleXML* document, std::size_t bytes);
void releaseBytes(TJclSimpleXML* document, void* p, std::size_t bytes) noexcept;

// Allocator for the child arrays of a document's elements: small arrays come
// from the document's arena, large ones and those of detached elements from the heap.
template <typename T> class XmlArenaAllocator {
public:
    using value_type = T;
    explicit XmlArenaAllocator(TJclSimpleXML* document) noexcept
        : m_document(document)
    { }
    template <typename U>
    XmlArenaAllocator(const XmlArenaAllocator<U>& other) noexcept
        : m_document(other.document())
    { }
    T* allocate(std::size_t n) { return static_cast<T*>(allocateBytes(m_document, n * sizeof(T))); }
    void deallocate(T* p, std::size_t n) noexcept { releaseBytes(m_document, p, n * sizeof(T)); }
    TJclSimpleXML* document() const noexcept { return m_document; }
    bool operator==(const XmlArenaAllocator& other) const noexcept { return m_document == other.m_document; }

private:
    TJclSimpleXML* m_document;
};

// Ordered child list with a case-insensitive name index. The index is built on
// the first lookup of a list long enough to need one, then kept up to date by
// appends, so appending stays O(1) and short lists never pay for it.
class TJclSimpleXMLElems final {
public:
    explicit TJclSimpleXMLElems(TJclSimpleXMLElem* parent);
    ~TJclSimpleXMLElems();
    TJclSimpleXMLElems(const TJclSimpleXMLElems&) = delete;
    TJclSimpleXMLElems& operator=(const TJclSimpleXMLElems&) = delete;

    int Count() const { return static_cast<int>(m_items.size()); }
    // Null outside 0 <= i < Count().
    TJclSimpleXMLElem* Item(int i) const;
    // The child of that name added last, ignoring letter case; null when none.
    TJclSimpleXMLElem* Find(std::string_view name) const;
    TJclSimpleXMLElemClassic& Add(std::string name);
    TJclSimpleXMLElem& AddText(std::string value);
    TJclSimpleXMLElem& AddComment(std::string value);
    TJclSimpleXMLElem& AddCData(std::string value);
    // Appends an element made elsewhere (its parent must be this list's owner).
    TJclSimpleXMLElem& append(std::unique_ptr<TJclSimpleXMLElem> elem);
    void Clear();
    TJclSimpleXMLElem* Parent() const { return m_parent; }

    // Child lists of a document's elements live in its arena too.
    static void* operator new(std::size_t size, TJclSimpleXML* document);
    static void operator delete(void* p, TJclSimpleXML* document);
    static void operator delete(TJclSimpleXMLElems* p, std::destroying_delete_t);

private:
    friend class TJclSimpleXMLElem;
    struct NameIndex;

    void nameChanged();

    TJclSimpleXMLElem* m_parent;
    std::vector<std::unique_ptr<TJclSimpleXMLElem>, XmlArenaAllocator<std::unique_ptr<TJclSimpleXMLElem>>> m_items;
    mutable std::unique_ptr<NameIndex> m_index;
};

class TJclSimpleXMLProps final {
public:
    explicit TJclSimpleXMLProps(TJclSimpleXMLElem* parent);
    ~TJclSimpleXMLProps();
    TJclSimpleXMLProps(const TJclSimpleXMLProps&) = delete;
    TJclSimpleXMLProps& operator=(const TJclSimpleXMLProps&) = delete;

    int Count() const { return static_cast<int>(m_items.size()); }
    TJclSimpleXMLProp* Item(int i) const;
    // The attribute of that name added last, ignoring letter case; null when none.
    TJclSimpleXMLProp* Find(std::string_view name) const;
    TJclSimpleXMLProp& Add(std::string name, std::string value);
    void Clear();
    TJclSimpleXMLElem* Parent() const { return m_parent; }

private:
    TJclSimpleXMLElem* m_parent;
    std::vector<std::unique_ptr<TJclSimpleXMLProp>> m_items;
};

class TJclSimpleXMLElemsProlog final {
public:
    int Count() const { return static_cast<int>(m_items.size()); }
    TJclSimpleXMLElem* Item(int i) const;
    TJclSimpleXMLElem& append(std::unique_ptr<TJclSimpleXMLElem> elem);
    void Clear() { m_items.clear(); }
    TJclSimpleXMLElemHeader* firstHeader() const;

private:
    std::vector<std::unique_ptr<TJclSimpleXMLElem>> m_items;
};

class TJclSimpleXML {
public:
    TJclSimpleXML();
    virtual ~TJclSimpleXML();
    TJclSimpleXML(const TJclSimpleXML&) = delete;
    TJclSimpleXML& operator=(const TJclSimpleXML&) = delete;

    TJclSimpleXMLElemClassic& Root() { return *m_root; }
    const TJclSimpleXMLElemClassic& Root() const { return *m_root; }
    TJclSimpleXMLElemsProlog& Prolog() { return m_prolog; }
    const TJclSimpleXMLElemsProlog& Prolog() const { return m_prolog; }
    const std::string& IndentString() const { return m_indentString; }

    // Sets the encoding of the first declaration, creating one when missing.
    void SetEncoding(const std::string& encoding);

    virtual std::string encodeValue(std::string_view value) const;
    virtual std::string decodeValue(std::string_view value) const;

    // Reads a regular file of at most kMaxFileBytes; anything else (a device,
    // a pipe, a folder) raises FileError at once instead of reading forever.
    void LoadFromFile(const std::string& path);
    void LoadFromString(std::string_view data);
    // Writes to a new file beside the target and renames it over the target
    // only once every byte is on disk, so a failed save never damages a good file.
    void SaveToFile(const std::string& path);
    std::string SaveToString();

    // Elements nested deeper than this raise EJclSimpleXMLError on load.
    static constexpr int kMaxDepth = 4096;
    // Far above any list file or catalogue a person makes (a million items
    // take about 150 MB), far below what would exhaust the memory.
    static constexpr std::int64_t kMaxFileBytes = 256ll << 20;

private:
    friend class TJclSimpleXMLElem;
    friend class TJclSimpleXMLElems;
    friend void* allocateBytes(TJclSimpleXML*, std::size_t);
    friend void releaseBytes(TJclSimpleXML*, void*, std::size_t) noexcept;
    void writeDocument(XmlWriter& writer);
    void ensureHeader();

    // Declared first: it must outlive every element carved from it.
    std::unique_ptr<XmlArena> m_arena;
    TJclSimpleXMLElemsProlog m_prolog;
    std::unique_ptr<TJclSimpleXMLElemClassic> m_root;
    std::string m_indentString = "  ";
};

// Shared helpers for case-insensitive names (ASCII letters only; other bytes as they are).
bool sameNameIgnoringCase(std::string_view a, std::string_view b);
std::string upperName(std::string_view name);
