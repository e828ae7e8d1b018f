#include "EngineTestSupport.h"
#include "ProgramDir.h"
#include "SimpleXML.h"
#include "TempDir.h"
#include "FfmpegAbilities.h"
#include "commandManager.h"

#include <QByteArray>
#include <QStandardPaths>
#include <QtGlobal>

#include <gtest/gtest.h>

#include <chrono>

#include <filesystem>
#include <fstream>
#include <csignal>

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

TEST(Catalogue, WithoutTheShippedCatalogueYourOwnEntriesAreLeftOutNotRenumbered)
{
    // Your own entries follow the shipped ones; with no shipped catalogue they would take its numbers,
    // and a kept queue or list file naming shipped formats would convert with them.
    TempDir dir;
    writeFileBytes(dir.file("mine"), "<commands><command><format>Mine</format><ext>mkv</ext></command></commands>");
    const TCommandManager lonely(dir.file("command"), dir.file("mine"));
    EXPECT_TRUE(lonely.Formats().empty());
    EXPECT_NE(lonely.userCatalogueError().find(dir.file("command")), std::string::npos) << lonely.userCatalogueError();
    // With the shipped catalogue there, they follow it.
    const TCommandManager both(CALVERA_CATALOGUE, dir.file("mine"));
    EXPECT_EQ(both.formatName(static_cast<int>(both.Formats().size()) - 1), "Mine");
    EXPECT_EQ(both.userCatalogueError(), "");
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

TEST(FfmpegAbilities, TheInstalledFfmpegCanWriteEveryShippedSoftwareFormat)
{
    const std::string ffmpeg = QStandardPaths::findExecutable("ffmpeg").toStdString();
    if (ffmpeg.empty())
        GTEST_SKIP() << "no ffmpeg on PATH";
    // What ffmpeg can do, however loaded the machine: a late answer would rule nothing out.
    const std::chrono::milliseconds usual = FfmpegProbe::deadline();
    FfmpegProbe::setDeadline(std::chrono::seconds(30));
    const auto abilities = FfmpegProbe::of("ffmpeg")->wait();
    FfmpegProbe::setDeadline(usual);
    EXPECT_TRUE(abilities->encoders.contains("aac"));
    EXPECT_TRUE(abilities->encoders.contains("libx264"));
    EXPECT_TRUE(abilities->muxers.contains("mp4"));
    EXPECT_TRUE(abilities->muxers.contains("matroska"));
    EXPECT_FALSE(abilities->encoders.contains("Encoders:")) << "the legend is not a list";
    EXPECT_EQ(FfmpegProbe::of(ffmpeg), FfmpegProbe::of("ffmpeg")) << "asked once per program";
    const TCommandManager catalogue(CALVERA_CATALOGUE);
    for (int i = 0; i < 14; ++i)
        EXPECT_EQ(catalogue.whyUnavailable(i, abilities.get()), "") << catalogue.formatName(i);
}

TEST(FfmpegAbilities, NamedEncodersAndMuxersAreCheckedAndCopyIsNot)
{
    FfmpegAbilities abilities;
    abilities.encoders = FfmpegAbilities::parseList("Encoders:\n V..... = Video\n ------\n V....D libx264  H.264\n"
                                                    " A....D aac      AAC\n");
    abilities.muxers
        = FfmpegAbilities::parseList("File formats:\n D. = Demuxing\n --\n  E mp4  MP4\n DE ogg,oga  Ogg\n");
    EXPECT_EQ(abilities.encoders, (std::set<std::string> {"libx264", "aac"}));
    EXPECT_EQ(abilities.muxers, (std::set<std::string> {"mp4", "ogg", "oga"}));
    EXPECT_EQ(abilities.whyCannotWrite("-c:v libx264 -crf 23 -acodec aac -f mp4"), "");
    EXPECT_EQ(abilities.whyCannotWrite("-c:v copy -c:a copy -c:s copy"), "");
    EXPECT_EQ(
        abilities.whyCannotWrite("-vcodec libx264 -c:a:0 libopus"), "the installed ffmpeg has no encoder \"libopus\"");
    EXPECT_EQ(abilities.whyCannotWrite("-codec:v libx265"), "the installed ffmpeg has no encoder \"libx265\"");
    EXPECT_EQ(abilities.whyCannotWrite("-c:a aac -f matroska"), "the installed ffmpeg has no muxer \"matroska\"");
    EXPECT_EQ(abilities.whyCannotWrite("-crf 23 -c:v"), "") << "a name cut off is ffmpeg's to refuse";

    // A kind ffmpeg did not list rules nothing out.
    abilities.muxers.clear();
    EXPECT_EQ(abilities.whyCannotWrite("-c:a aac -f matroska"), "");
    EXPECT_TRUE(FfmpegAbilities::parseList("ffmpeg version 5.1\nUnrecognized option 'encoders'.\n").empty());
}

// The probe's deadline for one test; what it was before afterwards.
class ProbeDeadline final {
public:
    explicit ProbeDeadline(std::chrono::milliseconds deadline)
        : m_saved(FfmpegProbe::deadline())
    {
        FfmpegProbe::setDeadline(deadline);
    }
    ~ProbeDeadline() { FfmpegProbe::setDeadline(m_saved); }

private:
    std::chrono::milliseconds m_saved;
};

TEST(FfmpegAbilities, AProgramThatDoesNotAnswerInTimeOrAtAllRulesNothingOutAndNobodyWaitsForIt)
{
    // Long enough for a loaded machine to start the script; far below the minute it would take.
    const ProbeDeadline deadline(std::chrono::milliseconds(2000));
    TempDir dir;
    writeScript(dir.file("silent"), "echo $$ > \"" + dir.file("pid") + "\"\nexec sleep 60\n");
    writeScript(dir.file("chatty"), "echo 'ffmpeg version 9.9'; echo ' ------'; exit 1\n");
    writeScript(dir.file("lingering"), "echo ' ------'; echo ' V..... libx264 x'; exec >&- 2>&-; exec sleep 60\n");
    const auto probe = FfmpegProbe::of(dir.file("silent"));
    EXPECT_EQ(probe->answer(), nullptr) << "asked in the background: nobody waits for the question";
    FfmpegProbe::Answer delivered;
    probe->whenAnswered([&](const FfmpegProbe::Answer& answer) { delivered = answer; });
    ASSERT_TRUE(waitFor([&] { return delivered != nullptr; }, 30000)) << "the deadline is the test's";
    EXPECT_TRUE(delivered->encoders.empty());
    EXPECT_TRUE(delivered->muxers.empty());
    // A script ended before it could write its pid has been ended too.
    const long pid = pidIn(dir.file("pid"));
    if (pid > 0) {
        EXPECT_TRUE(waitFor([&] { return !processRuns(pid); })) << "the program that did not answer is ended";
    }

    // Told once known: queued, never inside the call.
    bool told = false;
    probe->whenAnswered([&](const FfmpegProbe::Answer&) { told = true; });
    EXPECT_FALSE(told);
    EXPECT_TRUE(waitFor([&] { return told; }));

    EXPECT_TRUE(FfmpegProbe::of(dir.file("chatty"))->wait()->encoders.empty()) << "a failing answer is no answer";
    EXPECT_TRUE(FfmpegProbe::of(dir.file("lingering"))->wait()->encoders.empty()) << "nor is one that never ends";
    EXPECT_TRUE(FfmpegProbe::of(dir.file("missing"))->wait()->encoders.empty());
    EXPECT_TRUE(FfmpegProbe::of("no-such-program-on-path")->wait()->encoders.empty());
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

    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir.path().string()));
    EXPECT_EQ(TCommandManager::userCataloguePath(), dir.file("calvera/command"));
    qputenv("XDG_CONFIG_HOME", savedConfig);
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
    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", QByteArray::fromStdString(home.path().string()));
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(defaultOutputFolder(), home.file("Videos/Calvera/"));
    EXPECT_FALSE(std::filesystem::exists(home.file("Videos"))) << "nothing is made until an item goes there";
    EXPECT_EQ(defaultOutputFolder(true), home.file("Videos/Calvera/"));
    EXPECT_TRUE(std::filesystem::is_directory(home.file("Videos/Calvera")));
    qputenv("HOME", savedHome);
    qputenv("XDG_CONFIG_HOME", savedConfig);
}

} // namespace
