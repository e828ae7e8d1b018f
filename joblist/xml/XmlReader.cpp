// The reader: fills a document from the bytes of a whole file.

#include "SimpleXML.h"
#include "XmlParser.h"

#include <cstring>

namespace {

constexpr const char* kPrologText = QT_TRANSLATE_NOOP("XmlParser", "Invalid Document: Unexpected text in file prolog");
constexpr const char* kInstructionEndOfData
    = QT_TRANSLATE_NOOP("XmlParser", "Invalid Document: Unexpected end of data");
constexpr const char* kHeaderMismatch
    = QT_TRANSLATE_NOOP("XmlParser", "Invalid Header: expected \"%0:s\" but found \"%1:s\"");
constexpr const char* kCommentMismatch
    = QT_TRANSLATE_NOOP("XmlParser", "Invalid Comment: expected \"%0:s\" but found \"%1:s\"");
constexpr const char* kCommentEndOfData = QT_TRANSLATE_NOOP("XmlParser", "Invalid Comment: Unexpected end of data");
constexpr const char* kCommentDashes
    = QT_TRANSLATE_NOOP("XmlParser", "Invalid Comment: \"--\" not allowed inside comments");
constexpr const char* kSheetMismatch
    = QT_TRANSLATE_NOOP("XmlParser", "Invalid Stylesheet: expected \"%0:s\" but found \"%1:s\"");
constexpr const char* kSheetEndOfData = QT_TRANSLATE_NOOP("XmlParser", "Invalid Stylesheet: Unexpected end of data");
constexpr const char* kCDataMismatch
    = QT_TRANSLATE_NOOP("XmlParser", "Invalid CDATA: expected \"%0:s\" but found \"%1:s\"");
constexpr const char* kCDataEndOfData = QT_TRANSLATE_NOOP("XmlParser", "Invalid CDATA: Unexpected end of data");
constexpr const char* kTagStart
    = QT_TRANSLATE_NOOP("XmlParser", "Invalid XML Element: Expected beginning of tag but \"%s\" found");
constexpr const char* kNoName
    = QT_TRANSLATE_NOOP("XmlParser", "Invalid XML Element: malformed tag found (no valid name)");
constexpr const char* kTagEnd
    = QT_TRANSLATE_NOOP("XmlParser", "Invalid XML Element: Expected end of tag but \"%s\" found");
constexpr const char* kEndTagMismatch
    = QT_TRANSLATE_NOOP("XmlParser", "Invalid XML Element: Erroneous end of tag, expecting </%0:s> but </%1:s> found");
constexpr const char* kPropChar = QT_TRANSLATE_NOOP(
    "XmlParser", "Invalid XML Element: Unexpected character in property declaration (\"%s\" found)");
constexpr const char* kPropQuote = QT_TRANSLATE_NOOP("XmlParser",
    "Invalid XML Element: Unexpected character in property declaration. Expecting \" or ' but \"%s\"  found");
constexpr const char* kTooDeep
    = QT_TRANSLATE_NOOP("XmlParser", "Invalid XML Element: elements are nested more than %s levels deep");

bool isPrologFiller(unsigned char c)
{
    switch (c) {
    case 0x00:
    case '\t':
    case '\n':
    case '\r':
    case ' ':
    case 0xBB:
    case 0xBF:
    case 0xEF:
    case 0xFE:
    case 0xFF: return true;
    default: return false;
    }
}

bool isPropNameChar(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_'
        || c >= 0x80;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Decodes one reference starting at text[i] == '&'; returns the bytes consumed, 0 when none.
std::size_t decodeReference(std::string_view text, std::size_t i, char& out)
{
    static constexpr struct {
        std::string_view name;
        char value;
    } kEntities[] = {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&apos;", '\''}, {"&quot;", '"'}};
    const std::string_view rest = text.substr(i);
    if (rest.size() < 3)
        return 0;
    if (rest[1] != '#') {
        for (const auto& entity : kEntities) {
            if ((rest[1] | 0x20) == entity.name[1] && rest.size() >= entity.name.size()
                && sameNameIgnoringCase(rest.substr(0, entity.name.size()), entity.name)) {
                out = entity.value;
                return entity.name.size();
            }
        }
        return 0;
    }
    const bool hex = rest[2] == 'x' || rest[2] == 'X';
    std::size_t j = hex ? 3 : 2;
    const std::size_t digitsStart = j;
    // The low 8 bits of the number are all that is kept, so they can be
    // accumulated modulo 256 without overflow whatever its length.
    unsigned lowByte = 0;
    bool positive = false;
    for (; j < rest.size(); ++j) {
        const int digit = hex ? hexDigit(rest[j]) : ((rest[j] >= '0' && rest[j] <= '9') ? rest[j] - '0' : -1);
        if (digit < 0)
            break;
        lowByte = (lowByte * (hex ? 16u : 10u) + static_cast<unsigned>(digit)) & 0xFFu;
        positive = positive || digit != 0;
    }
    if (j == digitsStart || j >= rest.size() || rest[j] != ';' || !positive)
        return 0;
    out = static_cast<char>(lowByte);
    return j + 1;
}

// Compares "prefix:name" (or "name" without a prefix) to text, ignoring case,
// without building the full name.
bool matchesFullName(std::string_view text, std::string_view prefix, std::string_view name)
{
    if (prefix.empty())
        return sameNameIgnoringCase(text, name);
    return text.size() == prefix.size() + 1 + name.size() && text[prefix.size()] == ':'
        && sameNameIgnoringCase(text.substr(0, prefix.size()), prefix)
        && sameNameIgnoringCase(text.substr(prefix.size() + 1), name);
}

std::string oneChar(char c)
{
    return std::string(1, c);
}

} // namespace

std::string TJclSimpleXML::decodeValue(std::string_view value) const
{
    std::size_t amp = value.find('&');
    if (amp == std::string_view::npos)
        return std::string(value);
    std::string out;
    out.reserve(value.size());
    std::size_t runStart = 0;
    while (amp != std::string_view::npos) {
        char decoded = 0;
        const std::size_t used = decodeReference(value, amp, decoded);
        if (used > 0) {
            out.append(value.data() + runStart, amp - runStart);
            out.push_back(decoded);
            runStart = amp + used;
            amp = value.find('&', runStart);
        } else {
            amp = value.find('&', amp + 1);
        }
    }
    out.append(value.data() + runStart, value.size() - runStart);
    return out;
}

void TJclSimpleXML::LoadFromString(std::string_view data)
{
    m_root->Clear();
    m_prolog.Clear();
    XmlParser parser(data, *this);
    parser.loadDocument(*this);
}

// ---------------------------------------------------------------- parser

XmlParser::XmlParser(std::string_view data, const TJclSimpleXML& document)
    : m_data(data)
    , m_document(document)
{ }

void XmlParser::fail(const char* message)
{
    throw EJclSimpleXMLError(xmlText("XmlParser", message));
}

void XmlParser::failFormat(const char* format, std::string_view arg0, std::string_view arg1)
{
    std::string message;
    const std::string translated = xmlText("XmlParser", format);
    for (const char* p = translated.c_str(); *p; ++p) {
        if (std::strncmp(p, "%0:s", 4) == 0) {
            message.append(arg0);
            p += 3;
        } else if (std::strncmp(p, "%1:s", 4) == 0) {
            message.append(arg1);
            p += 3;
        } else if (std::strncmp(p, "%s", 2) == 0) {
            message.append(arg0);
            p += 1;
        } else {
            message.push_back(*p);
        }
    }
    throw EJclSimpleXMLError(message);
}

void XmlParser::enterElement()
{
    if (++m_depth > TJclSimpleXML::kMaxDepth) {
        failFormat(kTooDeep, std::to_string(TJclSimpleXML::kMaxDepth));
    }
}

void XmlParser::expect(std::string_view literal, const char* mismatchFormat, const char* endOfData)
{
    for (char wanted : literal) {
        if (atEnd())
            fail(endOfData);
        if (peek() != wanted)
            failFormat(mismatchFormat, oneChar(wanted), oneChar(peek()));
        advance();
    }
}

std::string XmlParser::decode(std::string_view text) const
{
    return m_document.decodeValue(text);
}

void XmlParser::skipProcessingInstruction()
{
    const std::size_t end = find("?>");
    if (end == std::string_view::npos)
        fail(kInstructionEndOfData);
    setPos(end + 2);
}

void XmlParser::readProperties(TJclSimpleXMLElem& elem, bool decodeValues, const char* endOfData)
{
    for (;;) {
        if (atEnd())
            fail(endOfData);
        const char c = peek();
        if (c == '/' || c == '>' || c == '?')
            return;
        if (isBlank(c)) {
            advance();
            continue;
        }
        if (!isPropNameChar(static_cast<unsigned char>(c)))
            failFormat(kPropChar, oneChar(c));

        const std::size_t tokenStart = pos();
        std::size_t nameStart = tokenStart;
        while (!atEnd() && (isPropNameChar(static_cast<unsigned char>(peek())) || peek() == ':')) {
            if (peek() == ':')
                nameStart = pos() + 1;
            advance();
        }
        std::string nameSpace(nameStart > tokenStart ? slice(tokenStart, nameStart - 1) : std::string_view());
        std::string name(slice(nameStart, pos()));
        skipBlanks();
        if (atEnd())
            fail(endOfData);
        if (peek() != '=')
            failFormat(kPropChar, oneChar(peek()));
        advance();
        skipBlanks();
        if (atEnd())
            fail(endOfData);
        const char quote = peek();
        if (quote != '"' && quote != '\'')
            failFormat(kPropQuote, oneChar(quote));
        advance();
        const std::size_t close = find(quote);
        if (close == std::string_view::npos)
            fail(endOfData);
        const std::string_view raw = slice(pos(), close);
        setPos(close + 1);
        TJclSimpleXMLProp& prop = elem.Properties().Add(std::move(name), decodeValues ? decode(raw) : std::string(raw));
        prop.SetNameSpace(std::move(nameSpace));
    }
}

void XmlParser::loadDocument(TJclSimpleXML& document)
{
    TJclSimpleXMLElemsProlog& prolog = document.Prolog();
    for (;;) {
        while (!atEnd() && isPrologFiller(static_cast<unsigned char>(peek())))
            advance();
        if (atEnd())
            return;
        if (peek() != '<')
            fail(kPrologText);

        std::unique_ptr<TJclSimpleXMLElem> item;
        if (startsWith("<!--")) {
            item = TJclSimpleXMLElem::create<TJclSimpleXMLElemComment>(nullptr);
        } else if (startsWith("<?xml-stylesheet")) {
            item = TJclSimpleXMLElem::create<TJclSimpleXMLElemSheet>(nullptr);
        } else if (startsWith("<?xml") && pos() + 5 < m_data.size() && isBlank(m_data[pos() + 5])) {
            item = TJclSimpleXMLElem::create<TJclSimpleXMLElemHeader>(nullptr);
        } else if (startsWith("<!DOCTYPE")) {
            item = TJclSimpleXMLElem::create<TJclSimpleXMLElemDocType>(nullptr);
        } else if (startsWith("<?")) {
            skipProcessingInstruction();
            continue;
        } else if (startsWith("<!") && !startsWith("<![CDATA[")) {
            fail(kPrologText);
        } else {
            break;
        }
        item->LoadFromParser(*this);
        prolog.append(std::move(item));
    }

    // The root keeps its name when the file's root has none; a loaded element always has one.
    TJclSimpleXMLElemClassic& root = document.Root();
    const std::string previousName = root.Name();
    root.LoadFromParser(*this);
    if (root.Name().empty())
        root.SetName(previousName);
}

// ---------------------------------------------------------------- element loaders

void TJclSimpleXMLElemClassic::LoadFromParser(XmlParser& parser)
{
    using XmlMessages::kElementEndOfData;
    parser.enterElement();

    if (parser.atEnd())
        XmlParser::fail(kElementEndOfData);
    if (parser.peek() != '<')
        XmlParser::failFormat(kTagStart, oneChar(parser.peek()));
    parser.advance();

    // Tag name, with everything before its last ":" as the prefix.
    const std::size_t tagStart = parser.pos();
    std::size_t nameStart = tagStart;
    for (;;) {
        parser.skipNameChars();
        if (parser.atEnd())
            XmlParser::fail(kElementEndOfData);
        if (parser.peek() != ':')
            break;
        parser.advance();
        nameStart = parser.pos();
    }
    if (parser.pos() == nameStart)
        XmlParser::fail(kNoName);
    // The element is not in a child list yet, so no name index needs telling.
    assignName(parser.slice(nameStart, parser.pos()));
    if (nameStart > tagStart)
        SetNameSpace(std::string(parser.slice(tagStart, nameStart - 1)));

    if (XmlParser::isBlank(parser.peek()))
        parser.readProperties(*this, SimpleXML() != nullptr, kElementEndOfData);

    if (parser.peek() == '/') {
        parser.advance();
        if (parser.atEnd())
            XmlParser::fail(kElementEndOfData);
        if (parser.peek() != '>')
            XmlParser::failFormat(kTagEnd, oneChar(parser.peek()));
        parser.advance();
        if (!Value().empty())
            SetValue({});
        parser.leaveElement();
        return;
    }
    if (parser.peek() != '>')
        XmlParser::failFormat(kTagEnd, oneChar(parser.peek()));
    parser.advance();

    // Content. A lone text run becomes the value, so it is held back until a
    // second child shows that it is a child of its own.
    if (ChildrenIfAny())
        Children().Clear();
    std::string pendingText;
    bool hasPendingText = false;
    int childCount = 0;
    bool sawBlanks = false;
    std::size_t markupEnd = parser.pos();
    const auto flushPendingText = [&] {
        if (hasPendingText) {
            Children().AddText(std::move(pendingText));
            hasPendingText = false;
        }
    };
    const auto addChild = [&](std::unique_ptr<TJclSimpleXMLElem> child) {
        flushPendingText();
        Children().append(std::move(child));
        ++childCount;
    };

    for (;;) {
        sawBlanks = parser.skipBlanks() || sawBlanks;
        if (parser.atEnd())
            XmlParser::fail(kElementEndOfData);
        if (parser.peek() != '<') {
            const std::size_t next = parser.find('<');
            if (next == std::string_view::npos)
                XmlParser::fail(kElementEndOfData);
            std::string text = parser.decode(parser.slice(markupEnd, next));
            parser.setPos(next);
            flushPendingText();
            pendingText = std::move(text);
            hasPendingText = true;
            ++childCount;
            markupEnd = next;
            continue;
        }
        if (parser.startsWith("</")) {
            const std::size_t tagEnd = parser.find('>');
            if (tagEnd == std::string_view::npos)
                XmlParser::fail(kElementEndOfData);
            std::string_view endName = parser.slice(parser.pos() + 2, tagEnd);
            while (!endName.empty() && XmlParser::isBlank(endName.back()))
                endName.remove_suffix(1);
            if (!matchesFullName(endName, NameSpace(), Name()))
                XmlParser::failFormat(kEndTagMismatch, Name(), endName);
            if (childCount == 0 && sawBlanks) {
                pendingText.assign(parser.slice(markupEnd, parser.pos()));
                hasPendingText = true;
                childCount = 1;
            }
            parser.setPos(tagEnd + 1);
            break;
        }
        std::unique_ptr<TJclSimpleXMLElem> child;
        if (parser.startsWith("<!--")) {
            child = TJclSimpleXMLElem::create<TJclSimpleXMLElemComment>(this);
        } else if (parser.startsWith("<![CDATA")) {
            child = TJclSimpleXMLElem::create<TJclSimpleXMLElemCData>(this);
        } else if (parser.startsWith("<?")) {
            parser.skipProcessingInstruction();
            markupEnd = parser.pos();
            continue;
        } else {
            child = TJclSimpleXMLElem::create<TJclSimpleXMLElemClassic>(this);
        }
        child->LoadFromParser(parser);
        addChild(std::move(child));
        markupEnd = parser.pos();
    }

    if (childCount == 1 && hasPendingText) {
        SetValue(std::move(pendingText));
    } else {
        if (!Value().empty())
            SetValue({});
        flushPendingText();
    }
    parser.leaveElement();
}

void TJclSimpleXMLElemText::LoadFromParser(XmlParser& parser)
{
    const std::size_t next = parser.find('<');
    if (next == std::string_view::npos)
        XmlParser::fail(XmlMessages::kElementEndOfData);
    SetValue(parser.decode(parser.slice(parser.pos(), next)));
    parser.setPos(next);
}

void TJclSimpleXMLElemComment::LoadFromParser(XmlParser& parser)
{
    parser.expect("<!--", kCommentMismatch, kCommentEndOfData);
    const std::size_t start = parser.pos();
    const std::size_t dashes = parser.find("--");
    if (dashes == std::string_view::npos)
        XmlParser::fail(kCommentEndOfData);
    parser.setPos(dashes + 2);
    if (parser.atEnd())
        XmlParser::fail(kCommentEndOfData);
    if (parser.peek() != '>')
        XmlParser::fail(kCommentDashes);
    SetValue(std::string(parser.slice(start, dashes)));
    parser.advance();
}

void TJclSimpleXMLElemCData::LoadFromParser(XmlParser& parser)
{
    parser.expect("<![CDATA", kCDataMismatch, kCDataEndOfData);
    parser.skipBlanks();
    parser.expect("[", kCDataMismatch, kCDataEndOfData);
    const std::size_t start = parser.pos();
    const std::size_t end = parser.find("]]>");
    if (end == std::string_view::npos)
        XmlParser::fail(kCDataEndOfData);
    SetValue(std::string(parser.slice(start, end)));
    parser.setPos(end + 3);
}

void TJclSimpleXMLElemHeader::LoadFromParser(XmlParser& parser)
{
    parser.expect("<?xml", kHeaderMismatch, kCommentEndOfData);
    parser.readProperties(*this, false, kCommentEndOfData);
    parser.expect("?>", kHeaderMismatch, kCommentEndOfData);

    const TJclSimpleXMLProps& props = Properties();
    const TJclSimpleXMLProp* version = props.Find("version");
    const TJclSimpleXMLProp* encoding = props.Find("encoding");
    const TJclSimpleXMLProp* standalone = props.Find("standalone");
    Version = version ? version->Value() : std::string();
    Encoding = encoding ? encoding->Value() : std::string();
    StandAlone = standalone && standalone->Value() == "yes";
    Properties().Clear();
}

void TJclSimpleXMLElemDocType::LoadFromParser(XmlParser& parser)
{
    parser.expect("<!DOCTYPE", kHeaderMismatch, kCommentEndOfData);
    const std::size_t start = parser.pos();
    bool inSubset = false;
    for (;;) {
        if (parser.atEnd())
            XmlParser::fail(kCommentEndOfData);
        const char c = parser.peek();
        if (inSubset) {
            inSubset = c != ']';
        } else if (c == '[') {
            inSubset = true;
        } else if (c == '>') {
            break;
        }
        parser.advance();
    }
    std::string_view text = parser.slice(start, parser.pos());
    parser.advance();
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ')
        text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ')
        text.remove_suffix(1);
    SetValue(std::string(text));
}

void TJclSimpleXMLElemSheet::LoadFromParser(XmlParser& parser)
{
    parser.expect("<?xml-stylesheet", kSheetMismatch, kSheetEndOfData);
    parser.readProperties(*this, false, kSheetEndOfData);
    parser.expect("?>", kSheetMismatch, kSheetEndOfData);
}
