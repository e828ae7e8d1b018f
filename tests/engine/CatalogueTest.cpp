#include "TempDir.h"
#include "commandManager.h"

#include <gtest/gtest.h>

namespace {

TEST(Catalogue, ReadsEntriesInFileOrderWhateverTheirNames)
{
    TempDir dir;
    writeFileBytes(dir.file("command"),
        "<anything>\n"
        "  <x><ext>mp4</ext><format>Same</format><params>-a 1</params></x>\n"
        "  <y><format>Same</format><params></params><ext>.mkv</ext></y>\n"
        "  <z><format>No params</format></z>\n"
        "</anything>\n");
    const TCommandManager catalogue(dir.file("command"));
    EXPECT_EQ(catalogue.Formats(), (std::vector<std::string> {"Same", "Same", "No params"}));
    EXPECT_EQ(catalogue.GetParams(0), "-a 1");
    EXPECT_EQ(catalogue.GetExt(0), "mp4");
    EXPECT_EQ(catalogue.GetParams(1), "");
    EXPECT_EQ(catalogue.GetExt(1), ".mkv");
    EXPECT_EQ(catalogue.GetParams(2), "") << "a missing element reads as empty";
    for (int outside : {-1, 3, 1000}) {
        EXPECT_EQ(catalogue.GetParams(outside), "");
        EXPECT_EQ(catalogue.GetExt(outside), "");
        EXPECT_EQ(catalogue.formatName(outside), "");
        EXPECT_FALSE(catalogue.isValidIndex(outside));
    }
}

TEST(Catalogue, MissingFileIsAnEmptyCatalogueAndABadOneAnError)
{
    TempDir dir;
    EXPECT_TRUE(TCommandManager(dir.file("command")).Formats().empty());
    writeFileBytes(dir.file("empty"), "<commands/>");
    EXPECT_TRUE(TCommandManager(dir.file("empty")).Formats().empty());
    writeFileBytes(dir.file("bad"), "<commands><command></commands>");
    EXPECT_THROW(TCommandManager(dir.file("bad")), EJclSimpleXMLError);
}

TEST(Catalogue, ShippedCatalogueHasTheFormatsUsersExpect)
{
    const TCommandManager catalogue(CALVERA_CATALOGUE);
    ASSERT_EQ(catalogue.Formats().size(), 14u);
    for (int i = 0; i < 14; ++i) {
        EXPECT_FALSE(catalogue.Formats()[static_cast<std::size_t>(i)].empty()) << i;
        EXPECT_FALSE(catalogue.GetParams(i).empty()) << i;
        EXPECT_FALSE(catalogue.GetExt(i).empty()) << i;
    }
}

} // namespace
