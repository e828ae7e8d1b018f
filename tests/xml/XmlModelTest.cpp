#include "SimpleXML.h"

#include <gtest/gtest.h>

namespace {

const std::string kDefaultHeader = "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n";

TEST(XmlModel, FindIgnoresCaseAndYieldsTheLastOfAName)
{
    // Short lists are searched directly, long ones through the index: both must agree.
    for (int extra : {0, 20}) {
        TJclSimpleXML doc;
        TJclSimpleXMLElems& children = doc.Root().Children();
        for (int i = 0; i < extra; ++i)
            children.Add("filler" + std::to_string(i));
        TJclSimpleXMLElem& first = children.Add("format");
        first.SetValue("1");
        EXPECT_EQ(children.Find("FORMAT"), &first) << "extra=" << extra;
        TJclSimpleXMLElem& second = children.Add("Format");
        second.SetValue("2");
        EXPECT_EQ(children.Find("format"), &second) << "extra=" << extra;
        EXPECT_EQ(children.Find("missing"), nullptr);
        EXPECT_EQ(children.Count(), extra + 2) << "a failed Find must not create an element";
    }
}

TEST(XmlModel, IndexFollowsRenamesAndClears)
{
    TJclSimpleXML doc;
    TJclSimpleXMLElems& children = doc.Root().Children();
    for (int i = 0; i < 30; ++i)
        children.Add("n" + std::to_string(i));
    ASSERT_NE(children.Find("n5"), nullptr); // builds the index
    TJclSimpleXMLElem* renamed = children.Item(5);
    renamed->SetName("moved");
    EXPECT_EQ(children.Find("n5"), nullptr);
    EXPECT_EQ(children.Find("MOVED"), renamed);

    renamed->SetName("");
    EXPECT_EQ(renamed->Name(), "moved") << "an empty name changes nothing";

    TJclSimpleXMLElem& later = children.Add("n7");
    EXPECT_EQ(children.Find("n7"), &later) << "appends keep a built index current";

    children.Clear();
    EXPECT_EQ(children.Count(), 0);
    EXPECT_EQ(children.Find("n7"), nullptr);
}

TEST(XmlModel, ItemOutsideTheListIsNoElement)
{
    TJclSimpleXML doc;
    TJclSimpleXMLElems& children = doc.Root().Children();
    children.Add("a");
    EXPECT_NE(children.Item(0), nullptr);
    EXPECT_EQ(children.Item(1), nullptr);
    EXPECT_EQ(children.Item(-1), nullptr);
}

TEST(XmlModel, ElementsCreatedUnderADocumentBelongToIt)
{
    TJclSimpleXML doc;
    TJclSimpleXMLElem& item = doc.Root().Children().Add("item");
    TJclSimpleXMLElem& leaf = item.Children().Add("leaf");
    EXPECT_EQ(leaf.SimpleXML(), &doc);
    EXPECT_EQ(leaf.Parent(), &item);
    EXPECT_EQ(leaf.Container(), &item.Children());
}

TEST(XmlWriter, WritesTheFixedLayout)
{
    TJclSimpleXML doc;
    doc.SetEncoding("UTF-8");
    doc.Root().SetName("list");
    TJclSimpleXMLElem& item = doc.Root().Children().Add("item");
    item.Properties().Add("id", "a\"b");
    item.Children().Add("filename").SetValue("/home/u/clip & <co>.avi");
    item.Children().Add("format").SetValue("3");
    item.Children().Add("path");
    item.Children().AddComment("note <raw> & kept");
    item.Children().AddCData("<raw & kept>");
    TJclSimpleXMLElem& prefixed = item.Children().Add("entry");
    prefixed.SetNameSpace("ns");

    EXPECT_EQ(doc.SaveToString(),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
        "<list>\r\n"
        "  <item id=\"a&quot;b\">\r\n"
        "    <filename>/home/u/clip &amp; &lt;co&gt;.avi</filename>\r\n"
        "    <format>3</format>\r\n"
        "    <path/>\r\n"
        "    <!--note <raw> & kept-->\r\n"
        "    <![CDATA[<raw & kept>]]>\r\n"
        "    <ns:entry/>\r\n"
        "  </item>\r\n"
        "</list>\r\n");
}

TEST(XmlWriter, EncodesHighBytesAsUppercaseReferencesAndKeepsControlBytes)
{
    TJclSimpleXML doc;
    doc.Root().SetName("v");
    doc.Root().SetValue(std::string("caf\xC3\xA9\n'x'\x01", 10));
    EXPECT_EQ(doc.SaveToString(), kDefaultHeader + "<v>caf&#xC3;&#xA9;\n&apos;x&apos;\x01</v>\r\n");
}

TEST(XmlWriter, AddsTheDefaultDeclarationOnlyWhenMissing)
{
    TJclSimpleXML doc;
    doc.Root().SetName("r");
    EXPECT_EQ(doc.SaveToString(), kDefaultHeader + "<r/>\r\n");
    EXPECT_EQ(doc.Prolog().Count(), 1) << "saving adds the missing declaration to the prolog";
    EXPECT_EQ(doc.SaveToString(), kDefaultHeader + "<r/>\r\n");

    TJclSimpleXML created;
    created.SetEncoding("UTF-8");
    created.SetEncoding("latin1");
    ASSERT_EQ(created.Prolog().Count(), 1);
    EXPECT_EQ(created.Prolog().Item(0)->Name(), "xml");
    auto* header = dynamic_cast<TJclSimpleXMLElemHeader*>(created.Prolog().Item(0));
    ASSERT_NE(header, nullptr);
    header->StandAlone = true;
    header->Version = "1.1";
    EXPECT_EQ(created.SaveToString(), "<?xml version=\"1.1\" encoding=\"latin1\" standalone=\"yes\"?>\r\n");
}

TEST(XmlWriter, NamelessElementsWriteOnlyTheirChildrenAndTextRunsTheirText)
{
    TJclSimpleXML doc;
    TJclSimpleXMLElem& a = doc.Root().Children().Add("a");
    a.Children().AddText("one > two");
    a.Children().AddText("");
    a.Children().Add("b").SetValue("x");
    doc.Root().SetValue("never written: the root has no name");
    EXPECT_EQ(doc.SaveToString(),
        kDefaultHeader
            + "<a>\r\n"
              "  one &gt; two\r\n"
              "  <b>x</b>\r\n"
              "</a>\r\n");
}

TEST(XmlModel, AssignCopiesTheWholeSubtree)
{
    TJclSimpleXML doc;
    TJclSimpleXMLElem& source = doc.Root().Children().Add("src");
    source.Properties().Add("k", "v").SetNameSpace("p");
    source.Children().Add("c").SetValue("1");
    source.Children().AddComment("c2");

    TJclSimpleXMLElem& copy = doc.Root().Children().Add("dst");
    copy.Children().Add("old");
    copy.Assign(source);
    EXPECT_EQ(copy.Name(), "src");
    ASSERT_EQ(copy.ChildCount(), 2);
    EXPECT_EQ(copy.Children().Item(0)->Value(), "1");
    EXPECT_NE(copy.Children().Item(0), source.Children().Item(0));
    EXPECT_NE(dynamic_cast<TJclSimpleXMLElemComment*>(copy.Children().Item(1)), nullptr);
    ASSERT_EQ(copy.Properties().Count(), 1);
    EXPECT_EQ(copy.Properties().Item(0)->FullName(), "p:k");

    copy.Clear();
    EXPECT_EQ(copy.ChildCount(), 0);
    EXPECT_EQ(copy.Properties().Count(), 0);
    EXPECT_EQ(copy.Name(), "src") << "clear keeps name and value";
}

TEST(XmlModel, ManyAppendsAndLookupsOnOneList)
{
    TJclSimpleXML doc;
    TJclSimpleXMLElems& children = doc.Root().Children();
    constexpr int kCount = 100000;
    for (int i = 0; i < kCount; ++i) {
        children.Add("e" + std::to_string(i));
        if (i % 1000 == 999) {
            ASSERT_EQ(children.Find("E" + std::to_string(i - 500)), children.Item(i - 500));
        }
    }
    EXPECT_EQ(children.Count(), kCount);
}

} // namespace
