#include "DriverTestSupport.h"
#include "OutputCheck.h"
#include "TemporaryOutput.h"
#include "Translations.h"
#include "Wording.h"

#include <QCoreApplication>

#include <cerrno>

TEST(Translations, TheFirstLanguageCalveraSpeaksIsChosenUnlessEnglishComesFirst)
{
    const QStringList available = {"de"};
    const struct {
        QStringList wanted;
        QString chosen;
    } cases[] = {
        {{"de"}, "de"},
        {{"de-DE"}, "de"},
        {{"de_AT.UTF-8"}, "de"},
        {{"de_CH@euro"}, "de"},
        {{"fr-FR", "fr", "de-DE", "de"}, "de"},
        {{"en-US", "de"}, ""},
        {{"en"}, ""},
        {{"C"}, ""},
        {{"POSIX"}, ""},
        {{"fr"}, ""},
        {{}, ""},
    };
    for (const auto& [wanted, chosen] : cases)
        EXPECT_EQ(Translations::choose(wanted, available), chosen) << wanted.join(':').toStdString();
}

TEST(Translations, GermanIsBuiltIntoThePrograms)
{
    EXPECT_TRUE(Translations::available().contains("de")) << Translations::available().join(' ').toStdString();
}

TEST(Translations, TextsAreGermanWhileInstalledAndEnglishAgainAfterwards)
{
    {
        const Translations german(QStringList {"de-DE"});
        EXPECT_EQ(german.language(), "de");
        EXPECT_EQ(QCoreApplication::translate("Reason", "stopped"), "gestoppt");
    }
    EXPECT_EQ(QCoreApplication::translate("Reason", "stopped"), "stopped");
    const Translations english(QStringList {"en-GB", "de"});
    EXPECT_EQ(english.language(), "");
    EXPECT_EQ(QCoreApplication::translate("Reason", "stopped"), "stopped");
}

TEST(Wording, OneSourceAndItsArgumentsGiveBothLanguages)
{
    const Translations german(QStringList {"de"});
    const Wording code = reason(QT_TRANSLATE_NOOP("Reason", "ffmpeg ended with code %1"), 69);
    EXPECT_EQ(code.english, "ffmpeg ended with code 69");
    EXPECT_EQ(code.shown, "ffmpeg endete mit Code 69");

    // A Wording as an argument gives each form its own; anything else is the same in both.
    const Wording nested
        = reason(QT_TRANSLATE_NOOP("Reason", "the format \"%1\" is unavailable: %2"), std::string("H.265 %2"),
            reason(QT_TRANSLATE_NOOP("Reason", "the installed ffmpeg has no encoder \"%1\""), std::string("libx265")));
    EXPECT_EQ(
        nested.english, "the format \"H.265 %2\" is unavailable: the installed ffmpeg has no encoder \"libx265\"");
    EXPECT_EQ(nested.shown,
        "das Format „H.265 %2“ ist nicht verfügbar: dem installierten ffmpeg fehlt der Encoder „libx265“");

    // ffmpeg's own words are never translated.
    const Wording ffmpeg = Wording::verbatim("Conversion failed!");
    EXPECT_EQ(ffmpeg.english, ffmpeg.shown);
}

TEST(Wording, WithoutATranslationBothFormsAreTodaysEnglish)
{
    const Wording why
        = reason(QT_TRANSLATE_NOOP("Reason", "the output holds %1 of %2: the input is damaged or ends early"),
            OutputCheck::clock(9.8), OutputCheck::clock(20));
    EXPECT_EQ(why.english, "the output holds 00:00:09.8 of 00:00:20.0: the input is damaged or ends early");
    EXPECT_EQ(why.shown, why.english);
}

TEST(Wording, TheSystemsWordsForProgramsAreEnglishWhateverTheLocale)
{
    EXPECT_EQ(Wording::systemError(ENOENT).english, "No such file or directory");
}

TEST(Wording, AWordedErrorSaysItsMessageInTheUsersLanguageAndKeepsBoth)
{
    const Translations german(QStringList {"de"});
    try {
        TemporaryOutput output("/nonexistent-folder/clip.mp4");
        FAIL() << "a folder that is not there takes no output";
    } catch (const std::exception& error) {
        const Wording why = wordingOf(error);
        EXPECT_EQ(why.english, "Cannot create file \"/nonexistent-folder/clip.mp4\". No such file or directory");
        EXPECT_TRUE(why.shown.starts_with("Die Datei „/nonexistent-folder/clip.mp4“ lässt sich nicht anlegen. "))
            << why.shown;
        EXPECT_EQ(error.what(), why.shown);
    }
    EXPECT_EQ(wordingOf(std::runtime_error("plain")).english, "plain");
}

TEST_F(DriverTest, InGermanAnItemKeepsItsReasonInEnglishForProgramsAndShowsItInGerman)
{
    const Translations german(QStringList {"de"});
    add(clip(), 99, dir.prefix()); // format outside the catalogue
    add(dir.file("missing.avi"), kMp3, dir.prefix()); // ffmpeg's own words
    ASSERT_TRUE(runToEnd());
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_EQ(outcomes[0].reason, "format number 99 is not in the format catalogue");
    EXPECT_EQ(outcomes[0].reasonShown, "Format Nummer 99 steht nicht im Formatkatalog");
    EXPECT_EQ(model.nodeAt(0)->Failure, "Format Nummer 99 steht nicht im Formatkatalog");
    EXPECT_EQ(outcomes[1].reason, dir.file("missing.avi") + ": No such file or directory");
    EXPECT_EQ(outcomes[1].reasonShown, outcomes[1].reason);
    const RunSummary& run = driver.lastRun();
    ASSERT_EQ(run.failures.size(), 2u);
    EXPECT_EQ(run.failures[0].reason, outcomes[0].reason);
    EXPECT_EQ(run.failures[0].reasonShown, outcomes[0].reasonShown);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("(Nummer 99) steht nicht im Formatkatalog"), std::string::npos) << errors[0];
}

TEST_F(DriverTest, InGermanAConvertedItemsRemarkIsGerman)
{
    const Translations german(QStringList {"de"});
    driver.Verify = Verification::none;
    add(clip(), kMp3, dir.prefix());
    ASSERT_TRUE(runToEnd());
    ASSERT_EQ(outcomes.size(), 1u);
    ASSERT_TRUE(outcomes[0].converted) << outcomes[0].reason;
    EXPECT_EQ(outcomes[0].uncheckedWhy, "its length is not checked (--verify=none)");
    EXPECT_EQ(outcomes[0].uncheckedWhyShown, "die Länge wird nicht geprüft (--verify=none)");
    EXPECT_EQ(model.nodeAt(0)->Remark, "ungeprüft: die Länge wird nicht geprüft (--verify=none)");
}
