#include "EngineTestSupport.h"
#include "ProgramDir.h"
#include "SimpleXML.h"
#include "TempDir.h"
#include "commandManager.h"

#include <QByteArray>
#include <QtGlobal>

#include <gtest/gtest.h>

#include <filesystem>

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
    ASSERT_EQ(catalogue.Formats().size(), 16u);
    for (int i = 0; i < 16; ++i) {
        EXPECT_FALSE(catalogue.Formats()[static_cast<std::size_t>(i)].empty()) << i;
        EXPECT_FALSE(catalogue.GetParams(i).empty()) << i;
        EXPECT_FALSE(catalogue.GetExt(i).empty()) << i;
        EXPECT_FALSE(catalogue.isUserEntry(i));
        EXPECT_EQ(catalogue.GetInputParams(i).empty(), i < 14) << "only the hardware entries decode with VAAPI";
    }
    // The two hardware entries come last, so the indexes lists use keep their meaning.
    EXPECT_NE(catalogue.GetParams(14).find("h264_vaapi"), std::string::npos);
    EXPECT_NE(catalogue.GetParams(15).find("hevc_vaapi"), std::string::npos);
    if (!std::filesystem::exists("/dev/dri")) {
        EXPECT_EQ(catalogue.whyUnavailable(14), "it needs a VAAPI render device, and /dev/dri has none");
        EXPECT_EQ(catalogue.whyUnavailable(0), "");
    }
}

TEST(Catalogue, TheUsersOwnEntriesFollowTheShippedOnes)
{
    TempDir dir;
    writeFileBytes(dir.file("mine"),
        "<commands><command><format>Phone</format><inputparams>-ss 5</inputparams>"
        "<params>-c:v libx264 -s 640x360</params><ext>mp4</ext></command></commands>");
    const TCommandManager catalogue(CALVERA_CATALOGUE, dir.file("mine"));
    ASSERT_EQ(catalogue.Formats().size(), 17u);
    EXPECT_EQ(catalogue.formatName(0), TCommandManager(CALVERA_CATALOGUE).formatName(0)) << "shipped indexes keep";
    EXPECT_EQ(catalogue.formatName(16), "Phone");
    EXPECT_TRUE(catalogue.isUserEntry(16));
    EXPECT_EQ(catalogue.GetInputParams(16), "-ss 5");
    EXPECT_EQ(TCommandManager(CALVERA_CATALOGUE, dir.file("none")).Formats().size(), 16u) << "no user file, no entries";

    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir.path().string()));
    EXPECT_EQ(TCommandManager::userCataloguePath(), dir.file("calvera/command"));
    qunsetenv("XDG_CONFIG_HOME");
}

} // namespace

namespace {

TEST(ProgramFolder, WithoutItsOwnFfmpegAndConvertFolderAnInstalledCalveraUsesPathAndVideos)
{
    // The engine tests' folder has neither bin/ffmpeg nor convert/, as an installed program folder.
    ASSERT_FALSE(std::filesystem::exists(programDirectory() + "bin/ffmpeg"));
    EXPECT_EQ(defaultFfmpegPath(), "ffmpeg") << "found on PATH";

    TempDir home;
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", QByteArray::fromStdString(home.path().string()));
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(defaultOutputFolder(), home.file("Videos/Calvera/"));
    EXPECT_FALSE(std::filesystem::exists(home.file("Videos"))) << "nothing is made until an item goes there";
    EXPECT_EQ(defaultOutputFolder(true), home.file("Videos/Calvera/"));
    EXPECT_TRUE(std::filesystem::is_directory(home.file("Videos/Calvera")));
    qputenv("HOME", savedHome);
}

} // namespace
