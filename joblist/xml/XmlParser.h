#pragma once

#include <cstddef>
#include <string>
#include <string_view>

class TJclSimpleXML;
class TJclSimpleXMLElem;

// Cursor over the bytes of a whole file, shared by the element kinds' loaders.
// Every read is bounds-checked; running off the end raises the caller's
// "Unexpected end of data" message.
class XmlParser final {
public:
    XmlParser(std::string_view data, const TJclSimpleXML& document);

    void loadDocument(TJclSimpleXML& document);

    bool atEnd() const { return m_pos >= m_data.size(); }
    char peek() const { return m_data[m_pos]; }
    std::size_t pos() const { return m_pos; }
    void setPos(std::size_t pos) { m_pos = pos; }
    void advance(std::size_t n = 1) { m_pos += n; }
    bool startsWith(std::string_view literal) const
    {
        return m_data.size() - m_pos >= literal.size() && m_data.compare(m_pos, literal.size(), literal) == 0;
    }
    std::string_view slice(std::size_t from, std::size_t to) const { return m_data.substr(from, to - from); }
    // Position of needle at or after the cursor, or npos.
    std::size_t find(std::string_view needle) const { return m_data.find(needle, m_pos); }
    std::size_t find(char needle) const { return m_data.find(needle, m_pos); }

    // Matches literal byte by byte; a mismatch raises mismatchFormat with the
    // expected and the found character, the end of data raises endOfData.
    void expect(std::string_view literal, const char* mismatchFormat, const char* endOfData);
    // Skips blanks; true when there was at least one.
    bool skipBlanks()
    {
        const char* const begin = m_data.data() + m_pos;
        const char* const end = m_data.data() + m_data.size();
        const char* p = begin;
        while (p != end && isBlank(*p))
            ++p;
        m_pos += static_cast<std::size_t>(p - begin);
        return p != begin;
    }
    // Advances to the next blank, "/", ">" or ":" (or the end of data).
    void skipNameChars()
    {
        while (m_pos < m_data.size() && !isNameEnd(m_data[m_pos]))
            ++m_pos;
    }
    // The attribute reader: stops before "/", ">" or "?".
    void readProperties(TJclSimpleXMLElem& elem, bool decode, const char* endOfData);
    // Skips a processing instruction "<?...?>" that is neither a declaration nor a style sheet.
    void skipProcessingInstruction();
    std::string decode(std::string_view text) const;

    // Raise message, or format with %s (or %0:s) and %1:s filled, in the user's language.
    [[noreturn]] static void fail(const char* message);
    [[noreturn]] static void failFormat(const char* format, std::string_view arg0, std::string_view arg1 = {});

    void enterElement();
    void leaveElement() { --m_depth; }

    static bool isBlank(char c) { return static_cast<unsigned char>(c) <= ' ' && kBlankMask & (1ull << c); }
    static bool isNameEnd(char c) { return (static_cast<unsigned char>(c) <= '>' && kNameEndMask & (1ull << c)); }

private:
    static constexpr unsigned long long kBlankMask = (1ull << ' ') | (1ull << '\t') | (1ull << '\n') | (1ull << '\r');
    static constexpr unsigned long long kNameEndMask = kBlankMask | (1ull << '/') | (1ull << '>') | (1ull << ':');

    std::string_view m_data;
    std::size_t m_pos = 0;
    const TJclSimpleXML& m_document;
    int m_depth = 0;
};

// lupdate finds the texts by this marker; the library has no Qt, so it is its own.
#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(scope, x) x
#endif

namespace XmlMessages {
inline constexpr const char* kElementEndOfData
    = QT_TRANSLATE_NOOP("XmlParser", "Invalid XML Element: Unexpected end of data");
}
