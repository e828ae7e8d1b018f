#include "SimpleXML.h"

#include <gtest/gtest.h>

#include <random>

namespace {

std::string loadError(const std::string& data)
{
    TJclSimpleXML doc;
    try {
        doc.LoadFromString(data);
    } catch (const EJclSimpleXMLError& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(XmlReader, EmptyOrDeclarationOnlyInputKeepsTheRootName)
{
    for (const std::string data : {"", "  \r\n\t", "<?xml version=\"1.0\"?>\r\n  "}) {
        TJclSimpleXML doc;
        doc.Root().SetName("list");
        doc.Root().Children().Add("stale");
        doc.LoadFromString(data);
        EXPECT_EQ(doc.Root().Name(), "list");
        EXPECT_EQ(doc.Root().ChildCount(), 0) << "loading clears the root";
    }
}

TEST(XmlReader, ReadsListStructureWithAndWithoutByteOrderMark)
{
    const std::string body
        = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<list><item><format>3</format></item></list>";
    for (const std::string& data : {body, "\xEF\xBB\xBF" + body}) {
        TJclSimpleXML doc;
        doc.LoadFromString(data);
        EXPECT_EQ(doc.Root().Name(), "list");
        ASSERT_EQ(doc.Root().ChildCount(), 1);
        TJclSimpleXMLElem* item = doc.Root().Children().Item(0);
        EXPECT_EQ(item->Name(), "item");
        TJclSimpleXMLElem* format = item->Children().Find("format");
        ASSERT_NE(format, nullptr);
        EXPECT_EQ(format->Value(), "3");
        EXPECT_EQ(format->ChildCount(), 0);
        auto* header = dynamic_cast<TJclSimpleXMLElemHeader*>(doc.Prolog().Item(0));
        ASSERT_NE(header, nullptr);
        EXPECT_EQ(header->Encoding, "UTF-8");
        EXPECT_EQ(header->Version, "1.0");
        EXPECT_FALSE(header->StandAlone);
    }
}

TEST(XmlReader, DecodesReferencesInOnePass)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"x &amp;amp; y", "x &amp; y"},
        {"&#65;&#x42;&#X43;", "ABC"},
        {"&AMP;&Lt;&gT;&apos;&QUOT;", "&<>'\""},
        {"&#;&#x;&#0;&#x0;", "&#;&#x;&#0;&#x0;"},
        {"a & b &c &#12", "a & b &c &#12"},
        {"&#x1E9;&#489;", "\xE9\xE9"}, // low 8 bits of the number
        {"&#2560000000000000000000000000097;", "a"},
        {"&#xE9;", "\xE9"},
    };
    for (const auto& [written, expected] : cases) {
        TJclSimpleXML doc;
        doc.LoadFromString("<v>" + written + "</v>");
        EXPECT_EQ(doc.Root().Value(), expected) << written;
    }

    TJclSimpleXML doc;
    doc.LoadFromString("<v>x &amp;amp; y</v>");
    EXPECT_NE(doc.SaveToString().find("<v>x &amp;amp; y</v>"), std::string::npos)
        << "written again, a once-decoded value gives back the same bytes";
}

TEST(XmlReader, BlanksAroundTextBelongToTheValue)
{
    TJclSimpleXML doc;
    doc.LoadFromString("<r><a>\r\n  text \n</a><b>  </b><c/><d></d><e>\n</e></r>");
    TJclSimpleXMLElems& children = doc.Root().Children();
    ASSERT_EQ(children.Count(), 5);
    EXPECT_EQ(children.Item(0)->Value(), "\r\n  text \n");
    EXPECT_EQ(children.Item(1)->Value(), "  ");
    EXPECT_EQ(children.Item(2)->Value(), "");
    EXPECT_EQ(children.Item(3)->Value(), "");
    EXPECT_EQ(children.Item(4)->Value(), "\n");
    for (int i = 0; i < children.Count(); ++i)
        EXPECT_EQ(children.Item(i)->ChildCount(), 0) << i;
}

TEST(XmlReader, MixedContentKeepsTextRunsAsChildren)
{
    TJclSimpleXML doc;
    doc.LoadFromString("<r> one <b/> two <!--c--><![CDATA [<x>]]></r>");
    TJclSimpleXMLElems& children = doc.Root().Children();
    ASSERT_EQ(children.Count(), 5);
    EXPECT_EQ(children.Item(0)->Value(), " one ");
    EXPECT_NE(dynamic_cast<TJclSimpleXMLElemText*>(children.Item(0)), nullptr);
    EXPECT_EQ(children.Item(1)->Name(), "b");
    EXPECT_EQ(children.Item(2)->Value(), " two ");
    EXPECT_EQ(children.Item(3)->Value(), "c");
    EXPECT_EQ(children.Item(4)->Value(), "<x>");
    EXPECT_EQ(doc.Root().Value(), "");

    TJclSimpleXML cdata;
    cdata.LoadFromString("<r><![CDATA[only]]></r>");
    EXPECT_EQ(cdata.Root().Value(), "") << "a lone CDATA section stays a child";
    ASSERT_EQ(cdata.Root().ChildCount(), 1);
    EXPECT_EQ(cdata.Root().Children().Item(0)->Value(), "only");
}

TEST(XmlReader, AttributesPrefixesAndEndTagCase)
{
    TJclSimpleXML doc;
    doc.LoadFromString("<ns:Root a = 'x&amp;y' p:b=\"2\" a='dup'><Child/></NS:ROOT >trailing garbage");
    EXPECT_EQ(doc.Root().Name(), "Root");
    EXPECT_EQ(doc.Root().NameSpace(), "ns");
    TJclSimpleXMLProps& props = doc.Root().Properties();
    ASSERT_EQ(props.Count(), 3);
    EXPECT_EQ(props.Item(0)->Value(), "x&y");
    EXPECT_EQ(props.Item(1)->NameSpace(), "p");
    EXPECT_EQ(props.Item(1)->Name(), "b");
    EXPECT_EQ(props.Find("A")->Value(), "dup");
}

TEST(XmlReader, PrologItemsAreKept)
{
    TJclSimpleXML doc;
    doc.LoadFromString("<?xml version=\"1.0\" encoding=\"windows-1252\" standalone=\"yes\" other=\"1\"?>"
                       "<!-- c --><!DOCTYPE list [ <!ELEMENT list ANY> ]>"
                       "<?xml-stylesheet type=\"text/xsl\" href=\"a&amp;b\"?><?other pi?><list/>");
    ASSERT_EQ(doc.Prolog().Count(), 4);
    auto* header = dynamic_cast<TJclSimpleXMLElemHeader*>(doc.Prolog().Item(0));
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->Encoding, "windows-1252");
    EXPECT_TRUE(header->StandAlone);
    EXPECT_EQ(doc.Prolog().Item(1)->Value(), " c ");
    EXPECT_EQ(doc.Prolog().Item(2)->Value(), "list [ <!ELEMENT list ANY> ]");
    EXPECT_EQ(doc.SaveToString(),
        "<?xml version=\"1.0\" encoding=\"windows-1252\" standalone=\"yes\"?>\r\n"
        "<!-- c -->\r\n"
        "<!DOCTYPE list [ <!ELEMENT list ANY> ]>\r\n"
        "<?xml-stylesheet type=\"text/xsl\" href=\"a&amp;b\"?>\r\n"
        "<list/>\r\n");
}

TEST(XmlReader, RaisesEveryMessageWordForWord)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"x<list/>", "Invalid Document: Unexpected text in file prolog"},
        {"<!ELEMENT x>", "Invalid Document: Unexpected text in file prolog"},
        {"<?xml version=\"1.0\"", "Invalid Comment: Unexpected end of data"},
        {"<?xml version=\"1.0\"?x", "Invalid Header: expected \">\" but found \"x\""},
        {"<!DOCTYPE list", "Invalid Comment: Unexpected end of data"},
        {"<?xml-stylesheet a=\"1\"", "Invalid Stylesheet: Unexpected end of data"},
        {"<?xml-stylesheet a=\"1\"?x", "Invalid Stylesheet: expected \">\" but found \"x\""},
        {"<!-- a -- b -->", "Invalid Comment: \"--\" not allowed inside comments"},
        {"<!-- a ", "Invalid Comment: Unexpected end of data"},
        {"<r><![CDATA[x]]</r>", "Invalid CDATA: Unexpected end of data"},
        {"<r><![CDATAx</r>", "Invalid CDATA: expected \"[\" but found \"x\""},
        {"< r/>", "Invalid XML Element: malformed tag found (no valid name)"},
        {"<r/x", "Invalid XML Element: Expected end of tag but \"x\" found"},
        {"<r a=\"1\"?>", "Invalid XML Element: Expected end of tag but \"?\" found"},
        {"<list><item></Item2></list>",
            "Invalid XML Element: Erroneous end of tag, expecting </item> but </Item2> found"},
        {"<r a=\"1\" =\"2\"/>", "Invalid XML Element: Unexpected character in property declaration (\"=\" found)"},
        {"<r a b=\"2\"/>", "Invalid XML Element: Unexpected character in property declaration (\"b\" found)"},
        {"<r a=1/>",
            "Invalid XML Element: Unexpected character in property declaration. Expecting \" or ' but \"1\"  found"},
        {"<list><item>", "Invalid XML Element: Unexpected end of data"},
        {"<list>text", "Invalid XML Element: Unexpected end of data"},
    };
    for (const auto& [data, message] : cases)
        EXPECT_EQ(loadError(data), message) << data;
}

TEST(XmlReader, ErrorsLeaveWhatWasReadAndAClearedRoot)
{
    TJclSimpleXML doc;
    doc.Root().Children().Add("old");
    EXPECT_THROW(doc.LoadFromString("<list><item/><item><bad</list>"), EJclSimpleXMLError);
    EXPECT_EQ(doc.Root().Children().Find("old"), nullptr);
}

std::string nested(int depth)
{
    std::string data;
    for (int i = 0; i < depth; ++i)
        data += "<e>";
    for (int i = 0; i < depth; ++i)
        data += "</e>";
    return data;
}

int depthOf(TJclSimpleXMLElem& root)
{
    int depth = 0;
    for (TJclSimpleXMLElem* e = &root; e; e = e->ChildCount() ? e->Children().Item(0) : nullptr)
        ++depth;
    return depth;
}

TEST(XmlReader, DeepNestingLoadsOrFailsCleanly)
{
    TJclSimpleXML doc;
    doc.LoadFromString(nested(1000));
    EXPECT_EQ(depthOf(doc.Root()), 1000);
    TJclSimpleXML again;
    again.LoadFromString(doc.SaveToString());
    EXPECT_EQ(depthOf(again.Root()), 1000);

    EXPECT_EQ(loadError(nested(100000)), "Invalid XML Element: elements are nested more than 4096 levels deep");
    std::string unclosed;
    for (int i = 0; i < 100000; ++i)
        unclosed += "<a x='1'>";
    EXPECT_EQ(loadError(unclosed), "Invalid XML Element: elements are nested more than 4096 levels deep");
}

TEST(XmlReader, SavedDocumentsLoadBackTheSame)
{
    TJclSimpleXML doc;
    doc.SetEncoding("UTF-8");
    doc.Root().SetName("list");
    std::mt19937 random(7);
    for (int i = 0; i < 200; ++i) {
        TJclSimpleXMLElem& item = doc.Root().Children().Add("item");
        std::string name;
        for (int j = 0; j < 20; ++j)
            name.push_back(static_cast<char>(1 + random() % 255));
        item.Children().Add("filename").SetValue(name);
        item.Children().Add("format").SetValue(std::to_string(i));
        item.Children().Add("path");
    }
    const std::string saved = doc.SaveToString();
    TJclSimpleXML again;
    again.LoadFromString(saved);
    EXPECT_EQ(again.SaveToString(), saved);
    ASSERT_EQ(again.Root().ChildCount(), 200);
    for (int i = 0; i < 200; ++i) {
        const std::string& original = doc.Root().Children().Item(i)->Children().Find("filename")->Value();
        const std::string& read = again.Root().Children().Item(i)->Children().Find("filename")->Value();
        EXPECT_EQ(read, original) << i;
    }
}

TEST(XmlReader, NoPrefixOfAValidFileCrashesTheReader)
{
    const std::string data
        = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!--c--><!DOCTYPE l [x]>"
          "<?xml-stylesheet href='s'?><list a='1'>\r\n  <item>\r\n    <filename>a&amp;b&#xE9;</filename>\r\n"
          "    <format>2</format>\r\n    <path/>\r\n  </item><![CDATA[x]]> t </list>";
    for (std::size_t n = 0; n <= data.size(); ++n) {
        TJclSimpleXML doc;
        try {
            doc.LoadFromString(std::string_view(data).substr(0, n));
        } catch (const EJclSimpleXMLError&) { }
    }
    TJclSimpleXML doc;
    doc.LoadFromString(data);
    EXPECT_EQ(doc.Root().Children().Find("item")->Children().Find("filename")->Value(), "a&b\xE9");
}

} // namespace
