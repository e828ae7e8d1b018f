// The window, its dialogs and what it says at the end of a run, in German
// with the German translation loaded and in English without it.

#include "FileDialog.h"
#include "ItemForm.h"
#include "ShippedFormatNames.h"
#include "TempDir.h"
#include "commandManager.h"
#include "FlatEditUnit.h"
#include "JobListView.h"
#include "OptionsPage.h"
#include "Translations.h"
#include "WhenDoneNotice.h"
#include "addForm.h"
#include "imagebutton.h"
#include "command.h"
#include "mainForm.h"
#include "uihook.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLibraryInfo>

#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <span>

namespace {

TEST(Language, TheWindowSpeaksGermanWithTheGermanTranslationAndTodaysEnglishWithout)
{
    {
        const Translations german(QStringList {"de-DE"});
        TmainDlg window;
        EXPECT_EQ(window.lbAdd->text(), "<u>H</u>inzufügen");
        EXPECT_EQ(window.lbConvert->text(), "<u>U</u>mwandeln");
        EXPECT_EQ(window.btnAdd->toolTip(), "Videodateien hinzufügen");
        EXPECT_EQ(window.lbOption->text(), "Optionen");
        EXPECT_EQ(window.lbTimer->text(), "Zeit: 00:00:00");
        EXPECT_EQ(window.pmiDelete->text(), "&Löschen");
        EXPECT_EQ(window.pmiPause->text(), "A&nhalten");
        EXPECT_EQ(window.OptionsPage1->cbWhenDone->itemText(3), "Ausschalten");
        window.showConvertAs("resume");
        EXPECT_EQ(window.lbConvert->text(), "<u>F</u>ortsetzen");
        EXPECT_EQ(window.btnConvert->toolTip(), "die angehaltenen Umwandlungen fortsetzen (Strg+P)");
        // The link at the top right grows to the left for longer words.
        EXPECT_EQ(window.lbUpdate->text(), "nach Updates suchen");
        EXPECT_GE(window.lbUpdate->width(), window.lbUpdate->sizeHint().width()) << "cut";
        EXPECT_GE(window.lbUpdate->x(), 0);
    }
    TmainDlg window;
    EXPECT_EQ(window.lbAdd->text(), "<u>A</u>dd");
    EXPECT_EQ(window.pmiDelete->text(), "&Delete");
    EXPECT_EQ(window.lbTimer->text(), "timestamp: 00:00:00");
}

TEST(Language, CountsAndQuestionsTakeGermanPluralForms)
{
    const Translations german(QStringList {"de"});
    EXPECT_EQ(fileCountText(1, 0, 1), "1 Datei, 0 von 1 fertig");
    EXPECT_EQ(fileCountText(12, 3, 12), "12 Dateien, 3 von 12 fertig");
    EXPECT_EQ(closeQuestionText(1), "Eine Umwandlung läuft. Stoppen und beenden?");
    EXPECT_EQ(closeQuestionText(2), "2 Umwandlungen laufen. Stoppen und beenden?");
    EXPECT_EQ(
        whenDoneText(WhenDone::PowerOff, 1), "Der Durchlauf ist beendet.\nDer Rechner schaltet sich in 1 Sekunde aus.");
    EXPECT_EQ(whenDoneText(WhenDone::Suspend, 60),
        "Der Durchlauf ist beendet.\nDer Rechner geht in 60 Sekunden in Bereitschaft.");
    EXPECT_EQ(timestampText(192, 460), "Zeit: 00:03:12, noch etwa 00:07:40");
}

TEST(Language, TheEndOfARunShowsEachReasonInGerman)
{
    const Translations german(QStringList {"de"});
    RunSummary run;
    run.converted = 1;
    run.failed = 1;
    run.failures.push_back({"/videos/a.avi", "ffmpeg ended with code 1", "ffmpeg endete mit Code 1", ""});
    run.outputFolders.push_back("/converted/");
    EXPECT_EQ(endOfRunText(run),
        "1 umgewandelt, 1 fehlgeschlagen, 0 gestoppt.\n\nFehlgeschlagen:\n/videos/a.avi: ffmpeg endete mit Code "
        "1\n\nUmgewandelt nach:\n/converted/");
    RunSummary whole;
    whole.converted = 2;
    whole.unchecked = 1;
    EXPECT_EQ(endOfRunText(whole), "Glückwunsch, alles erledigt!\n1 ohne Prüfung der Länge umgewandelt.");
}

TEST(Language, DialogsAndUnavailableFormatsAreGerman)
{
    const Translations german(QStringList {"de"});
    TaddDlg add({"MP3 audio", "H.265"}, "/home/me/Videos/Calvera/", nullptr);
    add.Fill({"/videos/a.avi"});
    EXPECT_EQ(add.windowTitle(), "Dateien hinzufügen");
    EXPECT_EQ(add.informationLines(),
        (QStringList {"Anzahl Dateien: 1", "Format: MP3 audio",
            "Speichern in: globalen Pfad verwenden (/home/me/Videos/Calvera/)", "Bereit … OK klicken",
            "Vorgang abbrechen … Abbrechen klicken"}));
    add.setUnavailable(1, "dem installierten ffmpeg fehlt der Encoder „libx265“");
    EXPECT_EQ(
        add.ComboBox1->itemText(1), "H.265 (nicht verfügbar: dem installierten ffmpeg fehlt der Encoder „libx265“)");
    // Qt's own buttons come from Qt's translations, where they are installed.
    const QString qtGerman = QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_de.qm";
    if (QFileInfo::exists(qtGerman)) {
        EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Abbrechen");
    } else {
        std::cout << "Qt's own German is not installed (" << qtGerman.toStdString()
                  << ", qt6-translations-l10n): its buttons are not checked\n";
    }
}

TEST(Language, TheShippedFormatsAreGermanAndYourOwnAsWritten)
{
    const TemporaryStateHome home;
    std::filesystem::create_directories(home.calvera());
    writeFileBytes(home.calvera() + "command",
        "<commands><command><format>Mein Format</format><params>-c copy</params><ext>mkv</ext></command>"
        "<command><format>MP3 audio</format><params>-c:a libmp3lame</params><ext>mp3</ext></command></commands>");
    const Translations german(QStringList {"de"});
    const TCommandManager catalogue;
    const std::vector<std::string>& shown = catalogue.shownFormats();
    ASSERT_EQ(shown.size(), catalogue.Formats().size());
    ASSERT_GE(shown.size(), 3u);
    EXPECT_EQ(shown[0], "MP4-Video (H.264 + AAC)");
    EXPECT_EQ(catalogue.formatName(0), "MP4 video (H.264 + AAC)") << "the name itself stays, for programs";
    EXPECT_EQ(shown[shown.size() - 2], "Mein Format") << "your own entries as you wrote them";
    EXPECT_EQ(shown.back(), "MP3 audio") << "also where a shipped name has a translation";
    // Every shipped name is in the translation source, in the catalogue's order, and translated.
    const std::span<const char* const> names = shippedFormatNames();
    ASSERT_EQ(names.size() + 2, shown.size()) << "scripts/translations.sh update writes them from resources/command";
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(catalogue.Formats()[i], names[i]);
        EXPECT_NE(shown[i], names[i]) << names[i] << " is not translated";
    }

    TItemDlg several(shown);
    several.showSeveralFormats();
    EXPECT_EQ(several.informationLines().value(0), "Format: mehrere, jedes bleibt, es sei denn, eines wird gewählt");
    EXPECT_EQ(several.ComboBox1->itemText(0), "MP4-Video (H.264 + AAC)");
}

} // namespace
