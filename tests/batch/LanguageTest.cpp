#include "BatchCommandLine.h"
#include "BatchTestSupport.h"
#include "RunningProgram.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <sstream>
#include <string>
#include <vector>

namespace {

// A catalogue of two: MP3, and a format whose encoder no ffmpeg has.
class LanguageTest : public BatchTest {
protected:
    LanguageTest()
    {
        writeFileBytes(dir.file("catalogue"),
            "<commands><command><format>MP3</format><params>-vn -c:a libmp3lame -q:a 2</params><ext>mp3</ext></command>"
            "<command><format>Broken</format><params>-c:a nosuchencoder</params><ext>mka</ext></command></commands>");
    }
    // calvera-batch in the environment given, over that catalogue and the system's ffmpeg.
    std::vector<std::string> inLanguage(const std::vector<std::string>& environment, std::vector<std::string> arguments)
    {
        std::vector<std::string> command = {"/usr/bin/env"};
        command.insert(command.end(), environment.begin(), environment.end());
        command.insert(command.end(), {CALVERA_BATCH, "--catalogue", dir.file("catalogue"), "--ffmpeg", "ffmpeg"});
        command.insert(command.end(), arguments.begin(), arguments.end());
        return command;
    }
};

const std::string kUnavailable
    = "the format \"Broken\" is unavailable: the installed ffmpeg has no encoder \"nosuchencoder\"";

TEST_F(LanguageTest, InGermanTheTerminalSpeaksGermanWhileJsonFormatsAndCommandsStayEnglish)
{
    const std::vector<std::string> items
        = {"-o", dir.path().string(), "-f", "0", dir.file("clip.avi"), "-f", "1", dir.file("clip.avi")};
    RunningProgram german(inLanguage({"LANGUAGE=de"}, items));
    EXPECT_EQ(german.finish(), 1) << german.errors();
    const std::string& said = german.output();
    EXPECT_NE(said.find("fertig Code 0   " + dir.file("clip.mp3") + "\n"), std::string::npos) << said;
    EXPECT_NE(said.find("Fehler Code "), std::string::npos) << said;
    EXPECT_NE(said.find("       das Format „Broken“ ist nicht verfügbar: dem installierten ffmpeg fehlt der Encoder "
                        "„nosuchencoder“\n"),
        std::string::npos)
        << said;
    EXPECT_NE(said.find("\n1 umgewandelt, 1 fehlgeschlagen, 0 gestoppt\nfehlgeschlagen: " + dir.file("clip.avi")
                  + "\nAusgabeordner: " + dir.prefix() + "\n"),
        std::string::npos)
        << said;

    // The same run as JSON: not a word of German.
    std::vector<std::string> json = items;
    json.insert(json.begin(), "--progress=json");
    RunningProgram events(inLanguage({"LANGUAGE=de"}, json));
    EXPECT_EQ(events.finish(), 1) << events.errors();
    std::vector<QJsonObject> ends;
    std::istringstream lines(events.output());
    for (std::string line; std::getline(lines, line);) {
        const QJsonObject event = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        ASSERT_FALSE(event.isEmpty()) << line;
        if (event["event"] == "end")
            ends.push_back(event);
    }
    ASSERT_EQ(ends.size(), 2u) << events.output();
    EXPECT_EQ(ends[0]["outcome"], "converted");
    EXPECT_EQ(ends[1]["outcome"], "failed");
    EXPECT_EQ(ends[1]["reason"].toString().toStdString(), kUnavailable);
    for (const char* german : {"„", "umgewandelt", "Fehler", "fertig"})
        EXPECT_EQ(events.output().find(german), std::string::npos) << german;

    // --formats and -n are data for programs.
    RunningProgram formats(inLanguage({"LANGUAGE=de"}, {"--formats"}));
    ASSERT_EQ(formats.finish(), 0) << formats.errors();
    EXPECT_NE(formats.output().find("\tunavailable: the installed ffmpeg has no encoder \"nosuchencoder\"\n"),
        std::string::npos)
        << formats.output();
    RunningProgram commands(inLanguage({"LANGUAGE=de"}, {"-n", "-f", "0", dir.file("clip.avi")}));
    RunningProgram englishCommands(inLanguage({}, {"-n", "-f", "0", dir.file("clip.avi")}));
    ASSERT_EQ(commands.finish(), 0) << commands.errors();
    ASSERT_EQ(englishCommands.finish(), 0);
    EXPECT_EQ(commands.output(), englishCommands.output());
}

TEST_F(LanguageTest, UsageErrorsAndHelpFollowTheLocaleAndCIsTodaysEnglish)
{
    RunningProgram german(inLanguage({"LANGUAGE=de"}, {"--verify=fast", "-f", "0", dir.file("clip.avi")}));
    EXPECT_EQ(german.finish(), 2);
    EXPECT_EQ(german.errors(),
        "calvera-batch: --verify nimmt none, duration oder decode, nicht „fast“\n"
        "„calvera-batch --help“ liefert weitere Informationen.\n");
    RunningProgram english(inLanguage({}, {"--verify=fast", "-f", "0", dir.file("clip.avi")}));
    EXPECT_EQ(english.finish(), 2);
    EXPECT_EQ(english.errors(),
        "calvera-batch: --verify takes none, duration or decode, not 'fast'\n"
        "Try 'calvera-batch --help' for more information.\n");

    // LANGUAGE, LC_ALL, LC_MESSAGES and LANG, as the desktop's settings give them; C and English are today's English.
    const std::vector<std::pair<std::vector<std::string>, bool>> locales = {
        {{"LANGUAGE=de"}, true},
        {{"LANGUAGE=de_AT:en"}, true},
        {{"LANGUAGE=en:de"}, false},
        {{"-u", "LC_ALL", "LANG=de_DE.UTF-8"}, true},
        {{"-u", "LC_ALL", "LANG=C", "LC_MESSAGES=de_DE.UTF-8"}, true},
        {{"LC_ALL=de_DE.UTF-8"}, true},
        {{"-u", "LC_ALL", "LANG=C"}, false},
        {{"LC_ALL=C"}, false},
        {{"-u", "LC_ALL", "LANG=fr_FR.UTF-8"}, false},
    };
    for (const auto& [environment, inGerman] : locales) {
        RunningProgram help(inLanguage(environment, {"--help"}));
        EXPECT_EQ(help.finish(), 0);
        if (inGerman)
            EXPECT_TRUE(help.output().starts_with("Aufruf:\n")) << environment.back() << "\n" << help.output();
        else
            EXPECT_EQ(help.output(), wrappedToColumns(kBatchUsage, 80)) << environment.back();
    }

    RunningProgram window({"/usr/bin/env", "LANGUAGE=de", CALVERA_WINDOW, "--help"});
    EXPECT_EQ(window.finish(), 0);
    EXPECT_TRUE(window.output().starts_with("Aufruf: calvera [DATEI | LISTE.qfl]...\n")) << window.output();
    RunningProgram windowInC({CALVERA_WINDOW, "--help"});
    EXPECT_EQ(windowInC.finish(), 0);
    EXPECT_TRUE(windowInC.output().starts_with("Usage: calvera [FILE | LIST.qfl]...\n")) << windowInC.output();
}

} // namespace
