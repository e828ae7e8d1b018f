<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>BatchCommandLine</name>
    <message>
        <source>the name %1 is not valid UTF-8; rename the file or folder</source>
        <translation>der Name %1 ist kein gültiges UTF-8; benennen Sie die Datei oder den Ordner um</translation>
    </message>
    <message>
        <source>%1 needs a whole number, not &apos;%2&apos;</source>
        <translation>%1 braucht eine ganze Zahl, nicht „%2“</translation>
    </message>
    <message>
        <source>%1 needs a number of at least %2, not %3</source>
        <translation>%1 braucht eine Zahl von mindestens %2, nicht %3</translation>
    </message>
    <message>
        <source>cannot read the names in &quot;%1&quot;: %2</source>
        <translation>die Namen in „%1“ können nicht gelesen werden: %2</translation>
    </message>
    <message>
        <source>no format for %1: give -f INDEX before the files</source>
        <translation>kein Format für %1: geben Sie -f INDEX vor den Dateien an</translation>
    </message>
    <message>
        <source>format index &apos;%1&apos; is not a number</source>
        <translation>Formatindex „%1“ ist keine Zahl</translation>
    </message>
    <message>
        <source>--verify takes none, duration or decode, not &apos;%1&apos;</source>
        <translation>--verify nimmt none, duration oder decode, nicht „%1“</translation>
    </message>
    <message>
        <source>no format for --watch %1: give -f INDEX before it</source>
        <translation>kein Format für --watch %1: geben Sie -f INDEX davor an</translation>
    </message>
    <message>
        <source>--retry-failed needs --journal FILE</source>
        <translation>--retry-failed braucht --journal DATEI</translation>
    </message>
    <message>
        <source>--new-only needs --watch DIR</source>
        <translation>--new-only braucht --watch ORDNER</translation>
    </message>
    <message>
        <source>nothing to convert: give list files, or -f INDEX and files</source>
        <translation>nichts umzuwandeln: geben Sie Listendateien an, oder -f INDEX und Dateien</translation>
    </message>
    <message>
        <source>--shard needs K/N, as 3/8, not &apos;%1&apos;</source>
        <translation>--shard braucht K/N, etwa 3/8, nicht „%1“</translation>
    </message>
    <message>
        <source>--shard %1: K must be below N (K counts from 0)</source>
        <translation>--shard %1: K muss kleiner als N sein (K zählt ab 0)</translation>
    </message>
    <message>
        <source>unknown option %1</source>
        <translation>unbekannte Option %1</translation>
    </message>
    <message>
        <source>option %1 needs a value</source>
        <translation>Option %1 braucht einen Wert</translation>
    </message>
    <message>
        <source>--progress takes json or lines, not &apos;%1&apos;</source>
        <translation>--progress nimmt json oder lines, nicht „%1“</translation>
    </message>
    <message>
        <source>option --%1 is ambiguous: it may be %2</source>
        <translation>Option --%1 ist mehrdeutig: gemeint sein kann %2</translation>
    </message>
    <message>
        <source>option --%1 takes no value, not &apos;%2&apos;</source>
        <translation>Option --%1 nimmt keinen Wert, auch nicht „%2“</translation>
    </message>
    <message>
        <source>the name %1 is not valid UTF-8; rename the file</source>
        <translation>der Name %1 ist kein gültiges UTF-8; benennen Sie die Datei um</translation>
    </message>
    <message>
        <source>Usage:
  calvera-batch [options] LIST.qfl...                convert every item of the list files, in order
  calvera-batch [options] -f INDEX [-o DIR] FILE...  queue the files with that format index (and output directory)
  calvera-batch [options] -f INDEX --watch DIR       convert what appears in DIR, until Ctrl-C

List files and files may be combined; items keep the order given, and -f and -o apply to the files after them (those of --files-from and -r too). Items without an output directory go to convert/ next to the program, or where that cannot be written (an installed Calvera) to Calvera/ in the Videos folder. An output directory given with -o is made when it is missing.

Options:
  -f, --format=INDEX      format index in the catalogue for the files that follow (see --formats)
  -o, --output=DIR        output directory for the files that follow
      --fit=SIZE          make each output of the files that follow at most SIZE (25M, 1.5G, 700KiB, bytes; 0: no limit), with two passes
  -r, --recursive=DIR     queue the video and sound files in DIR and below, by path; their outputs keep DIR&apos;s subfolders
      --include=GLOB      with -r: take only names matching GLOB, not the usual extensions (repeatable)
      --flat              put the outputs of -r and --watch straight into the output directory
      --files-from=FILE   queue the files named in FILE, one a line (- for standard input)
      --files0-from=FILE  the same with names ended by NUL characters (find -print0)
  -n, --dry-run           print the ffmpeg command of every item, quoted for a shell, run nothing
  -s, --save-list=FILE    write the queued items as a list file, run nothing
  -l, --formats           print the catalogue: index, name, extension, parameters, origin
  -j, --jobs=N            convert N items at once (0: one per core; default 1)
      --journal=FILE      record each ended item in FILE; items it records as converted are skipped
      --retry-failed      with --journal: convert only the items that failed or were stopped
      --shard=K/N         convert only the items at positions p (from 0) with p % N == K
      --verify=CHECK      check each output before it is published: none, duration (the default: its streams measured against the input&apos;s) or decode (also decode it whole)
      --skip-existing     skip an item whose output is there already, whole and newer than its input
      --skip-same         skip an item whose input already has the container and codecs of its format
      --watch=DIR         convert every file that appears in DIR or below, until Ctrl-C
      --new-only          with --watch: leave the files already there alone
      --settle=SECONDS    with --watch: take a file once it stood unchanged this long (default 5)
      --exclude=GLOB      with --watch or -r: pass over names matching GLOB (repeatable)
      --progress=json     write the run as JSON events on standard output, one a line
      --progress=lines    one line for each item as it ends, its reason and log on it, and the summary; no live line (for logs, as a service&apos;s journal)
  -q, --quiet             print errors and the summary only
  -v, --verbose           print ffmpeg&apos;s own lines too, on standard error
      --catalogue=FILE    use this catalogue instead of `command` next to the program
      --ffmpeg=PATH       use this ffmpeg instead of bin/ffmpeg next to the program (or on PATH)
  -h, --help              show this help
      --version           show the version

Exit status: 0 when every item was converted (or skipped), 1 when any failed, 2 for bad usage, a list file that cannot be read or standard output that cannot be written; when a signal stopped the run, 128 and its number: 129 (SIGHUP), 130 (Ctrl-C), 141 (the reader of standard output went away), 143 (SIGTERM).
</source>
        <translation>Aufruf:
  calvera-batch [Optionen] LISTE.qfl...                   die Listendateien Eintrag für Eintrag umwandeln
  calvera-batch [Optionen] -f INDEX [-o ORDNER] DATEI...  die Dateien mit diesem Formatindex (und Ausgabeordner) einreihen
  calvera-batch [Optionen] -f INDEX --watch ORDNER        umwandeln, was in ORDNER erscheint, bis Strg-C

Listendateien und Dateien lassen sich mischen; die Einträge behalten die angegebene Reihenfolge, und -f und -o gelten für die Dateien danach (auch die von --files-from und -r). Einträge ohne Ausgabeordner kommen nach convert/ neben dem Programm oder, wo dort nicht geschrieben werden kann (ein installiertes Calvera), nach Calvera/ im Ordner Videos. Ein mit -o angegebener Ausgabeordner wird angelegt, wenn er fehlt.

Optionen:
  -f, --format=INDEX       Formatindex im Katalog für die folgenden Dateien (siehe --formats)
  -o, --output=ORDNER      Ausgabeordner für die folgenden Dateien
      --fit=GRÖSSE         jede Ausgabe der folgenden Dateien höchstens GRÖSSE groß machen (25M, 1.5G, 700KiB, Bytes; 0: keine Grenze), in zwei Durchgängen
  -r, --recursive=ORDNER   die Video- und Tondateien in ORDNER und darunter einreihen, nach Pfad; ihre Ausgaben behalten die Unterordner von ORDNER
      --include=MUSTER     mit -r: nur Namen nehmen, die auf MUSTER passen, statt der üblichen Endungen (mehrfach möglich)
      --flat               die Ausgaben von -r und --watch direkt in den Ausgabeordner legen
      --files-from=DATEI   die in DATEI genannten Dateien einreihen, eine pro Zeile (- für die Standardeingabe)
      --files0-from=DATEI  dasselbe mit Namen, die mit NUL-Zeichen enden (find -print0)
  -n, --dry-run            den ffmpeg-Befehl jedes Eintrags ausgeben, für eine Shell zitiert; nichts ausführen
  -s, --save-list=DATEI    die eingereihten Einträge als Listendatei schreiben; nichts ausführen
  -l, --formats            den Katalog ausgeben: Index, Name, Endung, Parameter, Herkunft
  -j, --jobs=N             N Einträge gleichzeitig umwandeln (0: einen pro Kern; Vorgabe 1)
      --journal=DATEI      jeden beendeten Eintrag in DATEI festhalten; Einträge, die sie als umgewandelt festhält, werden übersprungen
      --retry-failed       mit --journal: nur die fehlgeschlagenen oder gestoppten Einträge umwandeln
      --shard=K/N          nur die Einträge an den Positionen p (ab 0) mit p % N == K umwandeln
      --verify=PRÜFUNG     jede Ausgabe prüfen, bevor sie ihren Namen bekommt: none, duration (die Vorgabe: ihre Datenströme gemessen und mit denen der Eingabe verglichen) oder decode (sie auch ganz dekodieren)
      --skip-existing      einen Eintrag überspringen, dessen Ausgabe schon vollständig und neuer als seine Eingabe vorliegt
      --skip-same          einen Eintrag überspringen, dessen Eingabe schon Container und Codecs seines Formats hat
      --watch=ORDNER       jede Datei umwandeln, die in ORDNER oder darunter erscheint, bis Strg-C
      --new-only           mit --watch: die schon vorhandenen Dateien in Ruhe lassen
      --settle=SEKUNDEN    mit --watch: eine Datei erst nehmen, wenn sie so lange unverändert blieb (Vorgabe 5)
      --exclude=MUSTER     mit --watch oder -r: Namen übergehen, die auf MUSTER passen (mehrfach möglich)
      --progress=json      den Durchlauf als JSON-Ereignisse auf die Standardausgabe schreiben, eines pro Zeile
      --progress=lines     eine Zeile für jeden Eintrag, wenn er endet, mit Grund und Protokoll, und die Zusammenfassung; keine Live-Zeile (für Protokolle wie das Journal eines Dienstes)
  -q, --quiet              nur Fehler und die Zusammenfassung ausgeben
  -v, --verbose            auch ffmpegs eigene Zeilen ausgeben, auf die Standardfehlerausgabe
      --catalogue=DATEI    diesen Katalog statt `command` neben dem Programm verwenden
      --ffmpeg=PFAD        dieses ffmpeg statt bin/ffmpeg neben dem Programm (oder auf PATH) verwenden
  -h, --help               diese Hilfe zeigen
      --version            die Version zeigen

Exit-Status: 0, wenn jeder Eintrag umgewandelt (oder übersprungen) wurde, 1, wenn einer fehlschlug, 2 bei falschem Aufruf, einer Listendatei, die nicht gelesen werden kann, oder einer Standardausgabe, auf die nicht geschrieben werden kann; hat ein Signal den Durchlauf beendet, 128 plus seine Nummer: 129 (SIGHUP), 130 (Strg-C), 141 (der Leser der Standardausgabe ist weg), 143 (SIGTERM).
</translation>
    </message>
    <message>
        <source>--include needs -r DIR</source>
        <translation>--include braucht -r ORDNER</translation>
    </message>
    <message>
        <source>--fit needs a size such as 25M, 1.5G, 700KiB or a number of bytes (0: no limit), not &apos;%1&apos;</source>
        <translation>--fit braucht eine Größe wie 25M, 1.5G, 700KiB oder eine Zahl von Bytes (0: keine Grenze), nicht „%1“</translation>
    </message>
</context>
<context>
    <name>BatchConsole</name>
    <message>
        <source>done</source>
        <translation>fertig</translation>
    </message>
    <message>
        <source>failed</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>exit %1</source>
        <translation>Code %1</translation>
    </message>
    <message>
        <source>(not run)</source>
        <translation>(nicht gestartet)</translation>
    </message>
    <message>
        <source>(not recorded)</source>
        <translation>(nicht im Journal)</translation>
    </message>
    <message numerus="yes">
        <source>converted with %n decoding errors (see log)</source>
        <translation>
            <numerusform>umgewandelt mit %n Dekodierfehler (siehe Protokoll)</numerusform>
            <numerusform>umgewandelt mit %n Dekodierfehlern (siehe Protokoll)</numerusform>
        </translation>
    </message>
    <message>
        <source>unchecked: %1</source>
        <translation>ungeprüft: %1</translation>
    </message>
    <message>
        <source>log: %1</source>
        <translation>Protokoll: %1</translation>
    </message>
    <message>
        <source>watching &quot;%1&quot; (looked through every few seconds: it gives no change notices); Ctrl-C ends</source>
        <translation>beobachte „%1“ (alle paar Sekunden durchgesehen: er meldet keine Änderungen); Strg-C beendet</translation>
    </message>
    <message>
        <source>watching &quot;%1&quot;; Ctrl-C ends</source>
        <translation>beobachte „%1“; Strg-C beendet</translation>
    </message>
    <message numerus="yes">
        <source>%n converted</source>
        <translation>
            <numerusform>%n umgewandelt</numerusform>
            <numerusform>%n umgewandelt</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n unchecked</source>
        <translation>
            <numerusform>%n ungeprüft</numerusform>
            <numerusform>%n ungeprüft</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n decoding errors</source>
        <translation>
            <numerusform>%n Dekodierfehler</numerusform>
            <numerusform>%n Dekodierfehler</numerusform>
        </translation>
    </message>
    <message>
        <source>%1, %2 failed, %3 stopped</source>
        <translation>%1, %2 fehlgeschlagen, %3 gestoppt</translation>
    </message>
    <message numerus="yes">
        <source>%n converted item(s) could not be recorded in the journal: a resumed run would convert them again</source>
        <translation>
            <numerusform>%n umgewandelter Eintrag konnte nicht im Journal festgehalten werden: ein fortgesetzter Durchlauf würde ihn erneut umwandeln</numerusform>
            <numerusform>%n umgewandelte Einträge konnten nicht im Journal festgehalten werden: ein fortgesetzter Durchlauf würde sie erneut umwandeln</numerusform>
        </translation>
    </message>
    <message>
        <source>failed: %1</source>
        <translation>fehlgeschlagen: %1</translation>
    </message>
    <message>
        <source>output folder: %1</source>
        <translation>Ausgabeordner: %1</translation>
    </message>
    <message>
        <source>paused</source>
        <translation>angehalten</translation>
    </message>
    <message>
        <source>checking</source>
        <translation>wird geprüft</translation>
    </message>
    <message>
        <source>%1 converted</source>
        <translation>%1 umgewandelt</translation>
    </message>
    <message>
        <source>item %1 left</source>
        <translation>Eintrag noch %1</translation>
    </message>
    <message>
        <source>run %1 left</source>
        <translation>Durchlauf noch %1</translation>
    </message>
    <message>
        <source>(+%1 running)</source>
        <translation>(+%1 laufen)</translation>
    </message>
    <message>
        <source>stopped</source>
        <translation>gestoppt</translation>
    </message>
    <message>
        <source>starting</source>
        <translation>startet</translation>
    </message>
    <message>
        <source>skipped</source>
        <translation>übersprungen</translation>
    </message>
    <message numerus="yes">
        <source>%n within the size limit</source>
        <translation>
            <numerusform>%n innerhalb der Größengrenze</numerusform>
            <numerusform>%n innerhalb der Größengrenze</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n skipped</source>
        <translation>
            <numerusform>%n übersprungen</numerusform>
            <numerusform>%n übersprungen</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>BatchRun</name>
    <message>
        <source>cannot read the catalogue &quot;%1&quot;: %2</source>
        <translation>der Katalog „%1“ kann nicht gelesen werden: %2</translation>
    </message>
    <message>
        <source>item %1 (%2): %3</source>
        <translation>Eintrag %1 (%2): %3</translation>
    </message>
    <message>
        <source>cannot make the output folder &quot;%1&quot;: %2</source>
        <translation>der Ausgabeordner „%1“ kann nicht angelegt werden: %2</translation>
    </message>
    <message>
        <source>it is not a folder</source>
        <translation>er ist kein Ordner</translation>
    </message>
    <message>
        <source>-j %1 is more than the limit on open files allows here; converting %2 at once</source>
        <translation>-j %1 ist mehr, als die Grenze für offene Dateien hier erlaubt; es werden %2 gleichzeitig umgewandelt</translation>
    </message>
    <message>
        <source>the name %1 is not valid UTF-8; the file was passed over</source>
        <translation>der Name %1 ist kein gültiges UTF-8; die Datei wurde übergangen</translation>
    </message>
    <message>
        <source>interrupted: stopping the conversion</source>
        <translation>unterbrochen: die Umwandlung wird gestoppt</translation>
    </message>
    <message>
        <source>the output folder %1 is the watched folder, whose outputs would be taken in again; give -o another folder (one inside it is fine)</source>
        <translation>der Ausgabeordner %1 ist der beobachtete Ordner, dessen Ausgaben wieder aufgenommen würden; bitte mit -o einen anderen Ordner angeben (einer darin geht)</translation>
    </message>
    <message>
        <source>the watched folder %1 is gone: watching ends</source>
        <translation>der beobachtete Ordner %1 ist fort: das Beobachten endet</translation>
    </message>
    <message>
        <source>-j %1 is more than Calvera converts at once; converting %2 at once</source>
        <translation>-j %1 ist mehr, als Calvera gleichzeitig umwandelt; es werden %2 gleichzeitig umgewandelt</translation>
    </message>
    <message>
        <source>nothing to convert: none of this run&apos;s items is recorded as failed, stopped or unfinished; the journal holds %1 items: %2 converted, %6 skipped, %3 failed, %4 stopped, %5 started and never ended</source>
        <translation>nichts umzuwandeln: kein Element dieses Laufs ist als fehlgeschlagen, angehalten oder unbeendet vermerkt; das Journal enthält %1 Elemente: %2 umgewandelt, %6 übersprungen, %3 fehlgeschlagen, %4 angehalten, %5 begonnen und nie beendet</translation>
    </message>
</context>
<context>
    <name>BatchTrees</name>
    <message>
        <source>cannot read the folder %1; the files in it were passed over</source>
        <translation>der Ordner %1 kann nicht gelesen werden; die Dateien darin wurden übergangen</translation>
    </message>
    <message>
        <source>the output folder %1 is the folder -r takes its files from; give -o another folder (one inside it is fine)</source>
        <translation>der Ausgabeordner %1 ist der Ordner, aus dem -r seine Dateien nimmt; geben Sie -o einen anderen Ordner (einer darin ist in Ordnung)</translation>
    </message>
    <message>
        <source>%1 is both watched and taken with -r, which would convert each of its files twice; --watch alone converts what is there too</source>
        <translation>%1 wird zugleich beobachtet und mit -r genommen, womit jede seiner Dateien zweimal umgewandelt würde; --watch allein wandelt auch um, was schon da ist</translation>
    </message>
    <message>
        <source>the folder %1 is an output folder; the files in it were passed over</source>
        <translation>der Ordner %1 ist ein Ausgabeordner; die Dateien darin wurden übergangen</translation>
    </message>
</context>
<context>
    <name>Catalogue</name>
    <message>
        <source>MP4 video (H.264 + AAC)</source>
        <translation>MP4-Video (H.264 + AAC)</translation>
    </message>
    <message>
        <source>MP4 video (H.265 + AAC)</source>
        <translation>MP4-Video (H.265 + AAC)</translation>
    </message>
    <message>
        <source>WebM video (VP9 + Opus)</source>
        <translation>WebM-Video (VP9 + Opus)</translation>
    </message>
    <message>
        <source>MKV video (H.264 + AAC)</source>
        <translation>MKV-Video (H.264 + AAC)</translation>
    </message>
    <message>
        <source>AVI video (MPEG-4 + MP3)</source>
        <translation>AVI-Video (MPEG-4 + MP3)</translation>
    </message>
    <message>
        <source>MOV video (H.264 + AAC)</source>
        <translation>MOV-Video (H.264 + AAC)</translation>
    </message>
    <message>
        <source>FLV video (H.264 + AAC)</source>
        <translation>FLV-Video (H.264 + AAC)</translation>
    </message>
    <message>
        <source>MPEG-2 video, DVD style (MPEG-2 + AC-3)</source>
        <translation>MPEG-2-Video, wie auf DVDs (MPEG-2 + AC-3)</translation>
    </message>
    <message>
        <source>Animated GIF (no sound)</source>
        <translation>Animiertes GIF (ohne Ton)</translation>
    </message>
    <message>
        <source>MP3 audio</source>
        <translation>MP3-Audio</translation>
    </message>
    <message>
        <source>M4A audio (AAC)</source>
        <translation>M4A-Audio (AAC)</translation>
    </message>
    <message>
        <source>FLAC audio (lossless)</source>
        <translation>FLAC-Audio (verlustfrei)</translation>
    </message>
    <message>
        <source>Opus audio</source>
        <translation>Opus-Audio</translation>
    </message>
    <message>
        <source>WAV audio (PCM 16-bit)</source>
        <translation>WAV-Audio (PCM, 16 Bit)</translation>
    </message>
    <message>
        <source>MP4 video, hardware (VAAPI H.264 + AAC)</source>
        <translation>MP4-Video, Hardware (VAAPI H.264 + AAC)</translation>
    </message>
    <message>
        <source>MP4 video, hardware (VAAPI H.265 + AAC)</source>
        <translation>MP4-Video, Hardware (VAAPI H.265 + AAC)</translation>
    </message>
</context>
<context>
    <name>DesktopSession</name>
    <message>
        <source>there is no system bus to ask logind on</source>
        <translation>es gibt keinen Systembus, über den logind gefragt werden könnte</translation>
    </message>
</context>
<context>
    <name>ErrorReport</name>
    <message>
        <source>warning: %1</source>
        <translation>Warnung: %1</translation>
    </message>
</context>
<context>
    <name>FileIntake</name>
    <message>
        <source>All Supported Formats</source>
        <translation>Alle unterstützten Formate</translation>
    </message>
    <message>
        <source>All Files</source>
        <translation>Alle Dateien</translation>
    </message>
    <message>
        <source>Qelt File List File</source>
        <translation>Qelt-Listendatei</translation>
    </message>
</context>
<context>
    <name>FitText</name>
    <message>
        <source>%1 of %2</source>
        <translation>%1 von %2</translation>
    </message>
    <message>
        <source>pass %1 of %2</source>
        <translation>Durchgang %1 von %2</translation>
    </message>
</context>
<context>
    <name>FolderWatch</name>
    <message>
        <source>cannot watch &quot;%1&quot;: %2</source>
        <translation>„%1“ kann nicht beobachtet werden: %2</translation>
    </message>
    <message>
        <source>it is not a folder</source>
        <translation>es ist kein Ordner</translation>
    </message>
    <message>
        <source>the limit on watched folders is reached (fs.inotify.max_user_watches = %1): the folders beyond it are looked through every 3 s; raise it with sysctl</source>
        <translation>die Grenze für beobachtete Ordner ist erreicht (fs.inotify.max_user_watches = %1): die Ordner darüber hinaus werden alle 3 s durchgesehen; erhöhen Sie sie mit sysctl</translation>
    </message>
    <message>
        <source>too many files at once; looked through the folder again</source>
        <translation>zu viele Dateien auf einmal; der Ordner wurde erneut durchgesehen</translation>
    </message>
</context>
<context>
    <name>GetFileSize</name>
    <message>
        <source>System Error.  Code: %1.</source>
        <translation>Systemfehler.  Code: %1.</translation>
    </message>
</context>
<context>
    <name>ItemProperties</name>
    <message>
        <source>(several)</source>
        <translation>(mehrere)</translation>
    </message>
    <message>
        <source>file name: %1</source>
        <translation>Dateiname: %1</translation>
    </message>
    <message>
        <source>file size: %1 Bytes</source>
        <translation>Dateigröße: %1 Bytes</translation>
    </message>
    <message>
        <source>file count: %1</source>
        <translation>Anzahl Dateien: %1</translation>
    </message>
    <message>
        <source>file size: %1 Bytes in all</source>
        <translation>Dateigröße: %1 Bytes insgesamt</translation>
    </message>
    <message>
        <source> (%1 not found)</source>
        <translation> (%1 nicht gefunden)</translation>
    </message>
    <message>
        <source>format: unknown (number %1), choose one</source>
        <translation>Format: unbekannt (Nummer %1), bitte eines wählen</translation>
    </message>
    <message numerus="yes">
        <source>a change applies to the waiting items only: %n of %1; the others keep theirs</source>
        <translation>
            <numerusform>Eine Änderung gilt nur für den wartenden Eintrag: %n von %1; die anderen behalten ihre Werte</numerusform>
            <numerusform>Eine Änderung gilt nur für die wartenden Einträge: %n von %1; die anderen behalten ihre Werte</numerusform>
        </translation>
    </message>
    <message>
        <source>note: %1</source>
        <translation>Hinweis: %1</translation>
    </message>
</context>
<context>
    <name>JobListView</name>
    <message>
        <source>[error]: %1</source>
        <translation>[Fehler]: %1</translation>
    </message>
    <message>
        <source>[note]: %1</source>
        <translation>[Hinweis]: %1</translation>
    </message>
    <message>
        <source>[progress]: %1</source>
        <translation>[Fortschritt]: %1</translation>
    </message>
    <message>
        <source>paused</source>
        <translation>angehalten</translation>
    </message>
    <message>
        <source>checking</source>
        <translation>wird geprüft</translation>
    </message>
    <message>
        <source>%1 converted</source>
        <translation>%1 umgewandelt</translation>
    </message>
    <message>
        <source>about %1 left</source>
        <translation>noch etwa %1</translation>
    </message>
    <message>
        <source>[stopped]: not converted; Convert or &quot;Convert the rest&quot; converts it</source>
        <translation>[gestoppt]: nicht umgewandelt; „Umwandeln“ oder „Den Rest umwandeln“ wandelt es um</translation>
    </message>
    <message>
        <source>starting</source>
        <translation>startet</translation>
    </message>
    <message>
        <source>saving</source>
        <translation>wird gespeichert</translation>
    </message>
    <message>
        <source>[skipped]: %1</source>
        <translation>[übersprungen]: %1</translation>
    </message>
    <message>
        <source>[size]: at most %1</source>
        <translation>[Größe]: höchstens %1</translation>
    </message>
    <message>
        <source>[size]: %1</source>
        <translation>[Größe]: %1</translation>
    </message>
</context>
<context>
    <name>KeyBindings</name>
    <message>
        <source>Add</source>
        <translation>Hinzufügen</translation>
    </message>
    <message>
        <source>Convert</source>
        <translation>Umwandeln</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>Support</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>List</source>
        <translation>Liste</translation>
    </message>
    <message>
        <source>Option</source>
        <translation>Optionen</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>Importieren</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>Exportieren</translation>
    </message>
    <message>
        <source>Job list</source>
        <translation>Auftragsliste</translation>
    </message>
    <message>
        <source>Progress of the run</source>
        <translation>Fortschritt des Durchlaufs</translation>
    </message>
</context>
<context>
    <name>OptionsPage</name>
    <message>
        <source>Do nothing</source>
        <translation>Nichts tun</translation>
    </message>
    <message>
        <source>Quit Calvera</source>
        <translation>Calvera beenden</translation>
    </message>
    <message>
        <source>Suspend</source>
        <translation>Bereitschaft</translation>
    </message>
    <message>
        <source>Power off</source>
        <translation>Ausschalten</translation>
    </message>
    <message>
        <source>Simultaneous conversions</source>
        <translation>Gleichzeitige Umwandlungen</translation>
    </message>
    <message numerus="yes">
        <source>files converted at once; this computer has %n cores,
1 converts one file after another</source>
        <translation>
            <numerusform>Dateien zugleich; dieser Rechner hat %n Kern,
1 wandelt eine nach der anderen um</numerusform>
            <numerusform>Dateien zugleich; dieser Rechner hat %n Kerne,
1 wandelt eine nach der anderen um</numerusform>
        </translation>
    </message>
    <message>
        <source>When a run ends</source>
        <translation>Am Ende eines Durchlaufs</translation>
    </message>
    <message>
        <source>after a one-minute notice you can cancel; not after Stop</source>
        <translation>nach einem Hinweis, eine Minute lang abbrechbar;
nicht nach Stopp</translation>
    </message>
    <message>
        <source>Default output folder</source>
        <translation>Standard-Ausgabeordner</translation>
    </message>
    <message>
        <source>choose the default output folder</source>
        <translation>den Standard-Ausgabeordner wählen</translation>
    </message>
    <message>
        <source>Choose the default output folder</source>
        <translation>Standard-Ausgabeordner wählen</translation>
    </message>
    <message>
        <source>&amp;Default</source>
        <translation>&amp;Standard</translation>
    </message>
    <message>
        <source>convert into Calvera&apos;s own default folder again</source>
        <translation>wieder in Calveras eigenen Standardordner umwandeln</translation>
    </message>
    <message>
        <source>items without a save path of their own are converted into this folder</source>
        <translation>Einträge ohne eigenen Speicherpfad werden in diesen Ordner umgewandelt</translation>
    </message>
    <message>
        <source>Start with an empty list</source>
        <translation>Mit leerer Liste starten</translation>
    </message>
    <message>
        <source>do not keep the list for the next start</source>
        <translation>die Liste nicht für den nächsten Start aufbewahren</translation>
    </message>
    <message>
        <source>Check each output by decoding it (slower)</source>
        <translation>Jede Ausgabe durch Dekodieren prüfen (langsamer)</translation>
    </message>
    <message>
        <source>decode every converted file once, to find a damaged one</source>
        <translation>jede umgewandelte Datei einmal dekodieren, um beschädigte zu finden</translation>
    </message>
    <message>
        <source>Default Output Folder</source>
        <translation>Standard-Ausgabeordner</translation>
    </message>
    <message>
        <source>Add Files starts from the last format and folder</source>
        <translation>Hinzufügen beginnt mit dem letzten Format und Ordner</translation>
    </message>
    <message>
        <source>otherwise each Add starts from the first format and the global path</source>
        <translation>sonst beginnt jedes Hinzufügen mit dem ersten Format und dem globalen Pfad</translation>
    </message>
    <message>
        <source>the files of a dropped folder go straight into the output folder; otherwise they keep the subfolders they had in it</source>
        <translation>die Dateien eines abgelegten Ordners kommen direkt in den Ausgabeordner; sonst behalten sie die Unterordner, die sie darin hatten</translation>
    </message>
    <message>
        <source>Skip items already converted</source>
        <translation>Bereits Umgewandeltes überspringen</translation>
    </message>
    <message>
        <source>an item whose output is in its folder already, whole and newer than the input, is not converted again</source>
        <translation>ein Eintrag, dessen Ausgabe schon vollständig und neuer als die Eingabe in ihrem Ordner liegt, wird nicht erneut umgewandelt</translation>
    </message>
    <message>
        <source>Flat output</source>
        <translation>Flache Ausgabe</translation>
    </message>
</context>
<context>
    <name>ProgramDir</name>
    <message>
        <source>&quot;%1&quot; was passed over: %2</source>
        <translation>„%1“ wurde übergangen: %2</translation>
    </message>
    <message>
        <source>it is not a regular file</source>
        <translation>es ist keine reguläre Datei</translation>
    </message>
    <message>
        <source>it is larger than Calvera ever writes it</source>
        <translation>sie ist größer, als Calvera sie je schreibt</translation>
    </message>
</context>
<context>
    <name>QueueKeeper</name>
    <message>
        <source>Another Calvera window is open, and it keeps the list for the next start. This window starts with an empty list, and its list is not kept.</source>
        <translation>Ein anderes Calvera-Fenster ist offen und bewahrt die Liste für den nächsten Start auf. Dieses Fenster beginnt mit einer leeren Liste, und seine Liste wird nicht aufbewahrt.</translation>
    </message>
    <message>
        <source>The list kept from the last time cannot be read (%1), nor set aside: %2. This window starts with an empty list, and its list is not kept.</source>
        <translation>Die vom letzten Mal aufbewahrte Liste lässt sich weder lesen (%1) noch beiseitelegen: %2. Dieses Fenster beginnt mit einer leeren Liste, und seine Liste wird nicht aufbewahrt.</translation>
    </message>
    <message>
        <source>The list kept from the last time cannot be read (%1). It was set aside as %2, and Calvera starts with an empty list.</source>
        <translation>Die vom letzten Mal aufbewahrte Liste lässt sich nicht lesen (%1). Sie wurde als %2 beiseitegelegt, und Calvera beginnt mit einer leeren Liste.</translation>
    </message>
    <message>
        <source>the list is not kept: %1</source>
        <translation>die Liste wird nicht aufbewahrt: %1</translation>
    </message>
    <message>
        <source>the list is not kept: %1 cannot be used as a lock</source>
        <translation>die Liste wird nicht aufbewahrt: %1 taugt nicht als Sperre</translation>
    </message>
    <message>
        <source>The list cannot be kept for the next start: %1 is not a regular file. This window starts with an empty list, and its list is not kept.</source>
        <translation>Die Liste kann nicht für den nächsten Start aufbewahrt werden: %1 ist keine reguläre Datei. Dieses Fenster beginnt mit einer leeren Liste, und seine Liste wird nicht aufbewahrt.</translation>
    </message>
    <message>
        <source>it is larger than Calvera ever writes it, or it cannot be read</source>
        <translation>sie ist größer, als Calvera sie je schreibt, oder sie lässt sich nicht lesen</translation>
    </message>
</context>
<context>
    <name>Reason</name>
    <message>
        <source>The name of &quot;%1&quot; or its folder holds a NUL character.</source>
        <translation>Der Name von „%1“ oder sein Ordner enthält ein NUL-Zeichen.</translation>
    </message>
    <message>
        <source>the output name &quot;%1&quot; is longer than the file system allows (%2 bytes)</source>
        <translation>der Ausgabename „%1“ ist länger, als das Dateisystem erlaubt (%2 Bytes)</translation>
    </message>
    <message>
        <source>format number %1 is not in the format catalogue</source>
        <translation>Format Nummer %1 steht nicht im Formatkatalog</translation>
    </message>
    <message>
        <source>its parameters hold -i, which would make ffmpeg read another input</source>
        <translation>seine Parameter enthalten -i, womit ffmpeg eine weitere Eingabe läse</translation>
    </message>
    <message>
        <source>it writes several files (the &quot;%1&quot; muxer)</source>
        <translation>es schreibt mehrere Dateien (der Muxer „%1“)</translation>
    </message>
    <message>
        <source>its extension &quot;%1&quot; is no file name extension</source>
        <translation>seine Endung „%1“ ist keine Dateiendung</translation>
    </message>
    <message>
        <source>it needs a VAAPI render device, and /dev/dri has none</source>
        <translation>es braucht ein VAAPI-Render-Gerät, und /dev/dri hat keines</translation>
    </message>
    <message>
        <source>the installed ffmpeg has no encoder &quot;%1&quot;</source>
        <translation>dem installierten ffmpeg fehlt der Encoder „%1“</translation>
    </message>
    <message>
        <source>the installed ffmpeg has no muxer &quot;%1&quot;</source>
        <translation>dem installierten ffmpeg fehlt der Muxer „%1“</translation>
    </message>
    <message>
        <source>the format &quot;%1&quot; is unavailable: %2</source>
        <translation>das Format „%1“ ist nicht verfügbar: %2</translation>
    </message>
    <message>
        <source>ffmpeg wrote no output</source>
        <translation>ffmpeg hat keine Ausgabe geschrieben</translation>
    </message>
    <message>
        <source>its length is not checked (--verify=none)</source>
        <translation>die Länge wird nicht geprüft (--verify=none)</translation>
    </message>
    <message>
        <source>stopped</source>
        <translation>gestoppt</translation>
    </message>
    <message>
        <source>the output could not be decoded (ffmpeg ended with code %1)</source>
        <translation>die Ausgabe ließ sich nicht dekodieren (ffmpeg endete mit Code %1)</translation>
    </message>
    <message>
        <source>ffmpeg could not be started</source>
        <translation>ffmpeg ließ sich nicht starten</translation>
    </message>
    <message>
        <source>ffmpeg ended with code %1</source>
        <translation>ffmpeg endete mit Code %1</translation>
    </message>
    <message>
        <source>the format&apos;s options change the output&apos;s length</source>
        <translation>die Optionen des Formats ändern die Länge der Ausgabe</translation>
    </message>
    <message>
        <source>the input is a still picture</source>
        <translation>die Eingabe ist ein Standbild</translation>
    </message>
    <message>
        <source>its sound is shorter than the input, which may be so</source>
        <translation>ihr Ton ist kürzer als die Eingabe, was so sein kann</translation>
    </message>
    <message>
        <source>No free output name for &quot;%1&quot; after %2 tries.</source>
        <translation>Kein freier Ausgabename für „%1“ nach %2 Versuchen.</translation>
    </message>
    <message>
        <source>Cannot create file &quot;%1&quot;. %2</source>
        <translation>Die Datei „%1“ lässt sich nicht anlegen. %2</translation>
    </message>
    <message>
        <source>Cannot write file &quot;%1&quot; to the disk. %2</source>
        <translation>Die Datei „%1“ lässt sich nicht auf den Datenträger schreiben. %2</translation>
    </message>
    <message>
        <source>The output was removed while ffmpeg wrote it (&quot;%1&quot;).</source>
        <translation>Die Ausgabe wurde entfernt, während ffmpeg sie schrieb („%1“).</translation>
    </message>
    <message>
        <source>the output folder was removed while ffmpeg wrote into it</source>
        <translation>der Ausgabeordner wurde entfernt, während ffmpeg hineinschrieb</translation>
    </message>
    <message>
        <source>the output&apos;s video is empty (%1 expected)</source>
        <translation>das Video der Ausgabe ist leer (%1 erwartet)</translation>
    </message>
    <message>
        <source>the output&apos;s sound is empty (%1 expected)</source>
        <translation>der Ton der Ausgabe ist leer (%1 erwartet)</translation>
    </message>
    <message>
        <source>the output&apos;s video holds %1 of %2 (%3 of %4 frames)</source>
        <translation>das Video der Ausgabe enthält %1 von %2 (%3 von %4 Bildern)</translation>
    </message>
    <message>
        <source>the output&apos;s video holds %1 of %2</source>
        <translation>das Video der Ausgabe enthält %1 von %2</translation>
    </message>
    <message>
        <source>the output&apos;s sound holds %1 of %2</source>
        <translation>der Ton der Ausgabe enthält %1 von %2</translation>
    </message>
    <message>
        <source>ffmpeg wrote no playable stream</source>
        <translation>ffmpeg hat keinen abspielbaren Datenstrom geschrieben</translation>
    </message>
    <message>
        <source>the input could not be measured</source>
        <translation>die Eingabe konnte nicht vermessen werden</translation>
    </message>
    <message>
        <source>the output could not be measured</source>
        <translation>die Ausgabe konnte nicht vermessen werden</translation>
    </message>
    <message>
        <source>the input&apos;s length is only estimated from its bit rate</source>
        <translation>die Länge der Eingabe ist nur aus ihrer Bitrate geschätzt</translation>
    </message>
    <message>
        <source>the output holds no video</source>
        <translation>die Ausgabe enthält kein Video</translation>
    </message>
    <message>
        <source>the output holds no sound</source>
        <translation>die Ausgabe enthält keinen Ton</translation>
    </message>
    <message>
        <source>the input does not tell its length</source>
        <translation>die Eingabe nennt ihre Länge nicht</translation>
    </message>
    <message>
        <source>the entry starts past the input&apos;s end (%1)</source>
        <translation>der Eintrag beginnt nach dem Ende der Eingabe (%1)</translation>
    </message>
    <message>
        <source>%1: the input is damaged or cut</source>
        <translation>%1: die Eingabe ist beschädigt oder abgeschnitten</translation>
    </message>
    <message>
        <source>the output keeps no video or sound of the input</source>
        <translation>die Ausgabe behält weder Video noch Ton der Eingabe</translation>
    </message>
    <message>
        <source>decoding the output gives %1 of %2 video frames</source>
        <translation>das Dekodieren der Ausgabe ergibt %1 von %2 Videobildern</translation>
    </message>
    <message>
        <source>decoding the output gives %1 of %2</source>
        <translation>das Dekodieren der Ausgabe ergibt %1 von %2</translation>
    </message>
    <message>
        <source>Cannot read &quot;%1&quot;. %2</source>
        <translation>„%1“ kann nicht gelesen werden. %2</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is a FIFO, not a regular file</source>
        <translation>„%1“ ist ein FIFO, keine reguläre Datei</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is a socket, not a regular file</source>
        <translation>„%1“ ist ein Socket, keine reguläre Datei</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is a device, not a regular file</source>
        <translation>„%1“ ist ein Gerät, keine reguläre Datei</translation>
    </message>
    <message>
        <source>ffmpeg was killed by signal %1</source>
        <translation>ffmpeg wurde durch Signal %1 beendet</translation>
    </message>
    <message>
        <source>the folder &quot;%1&quot; of &quot;%2&quot; is not a folder below the output folder</source>
        <translation>der Ordner „%1“ von „%2“ ist kein Ordner unterhalb des Ausgabeordners</translation>
    </message>
    <message>
        <source>the folder name &quot;%1&quot; is longer than the file system allows (%2 bytes)</source>
        <translation>der Ordnername „%1“ ist länger, als das Dateisystem erlaubt (%2 Bytes)</translation>
    </message>
    <message>
        <source>cannot make the output folder &quot;%1&quot;: %2</source>
        <translation>der Ausgabeordner „%1“ kann nicht angelegt werden: %2</translation>
    </message>
    <message>
        <source>cannot make the output folder &quot;%1&quot;: it is not a folder</source>
        <translation>der Ausgabeordner „%1“ kann nicht angelegt werden: es ist kein Ordner</translation>
    </message>
    <message>
        <source>already converted: %1</source>
        <translation>bereits umgewandelt: %1</translation>
    </message>
    <message>
        <source>%1 and %2</source>
        <translation>%1 und %2</translation>
    </message>
    <message>
        <source>already %1 with %2</source>
        <translation>bereits %1 mit %2</translation>
    </message>
    <message>
        <source>a size limit needs an encoder that aims at a bitrate; %1 does not</source>
        <translation>eine Größengrenze braucht einen Encoder, der eine Bitrate ansteuert; %1 kann das nicht</translation>
    </message>
    <message>
        <source>a size limit cannot be met by an output with neither picture nor sound</source>
        <translation>eine Größengrenze lässt sich bei einer Ausgabe ohne Bild und Ton nicht einhalten</translation>
    </message>
    <message>
        <source>a size limit cannot be met while the sound is copied as it is</source>
        <translation>eine Größengrenze lässt sich nicht einhalten, solange der Ton unverändert kopiert wird</translation>
    </message>
    <message>
        <source>a size limit cannot be met while the video is copied as it is</source>
        <translation>eine Größengrenze lässt sich nicht einhalten, solange das Video unverändert kopiert wird</translation>
    </message>
    <message>
        <source>a size limit cannot be met by a lossless encode</source>
        <translation>eine Größengrenze lässt sich mit verlustfreier Kodierung nicht einhalten</translation>
    </message>
    <message>
        <source>the input&apos;s length could not be measured, so no bitrate can be aimed at</source>
        <translation>die Länge der Eingabe konnte nicht gemessen werden, daher lässt sich keine Bitrate ansteuern</translation>
    </message>
    <message>
        <source>%1 is too small for %2 (needs at least %3)</source>
        <translation>%1 ist zu klein für %2 (mindestens %3 nötig)</translation>
    </message>
    <message>
        <source>could not fit into %1: %2 at the lowest bitrate tried</source>
        <translation>passte nicht in %1: %2 bei der niedrigsten versuchten Bitrate</translation>
    </message>
</context>
<context>
    <name>RunController</name>
    <message>
        <source>timestamp: %1</source>
        <translation>Zeit: %1</translation>
    </message>
    <message>
        <source>timestamp: %1, about %2 left</source>
        <translation>Zeit: %1, noch etwa %2</translation>
    </message>
    <message numerus="yes">
        <source>%n files, finished %1 of %2</source>
        <translation>
            <numerusform>%n Datei, %1 von %2 fertig</numerusform>
            <numerusform>%n Dateien, %1 von %2 fertig</numerusform>
        </translation>
    </message>
    <message>
        <source>Congratulations, works done!</source>
        <translation>Glückwunsch, alles erledigt!</translation>
    </message>
    <message numerus="yes">
        <source>%n converted without a check of its length</source>
        <translation>
            <numerusform>%n ohne Prüfung der Länge umgewandelt</numerusform>
            <numerusform>%n ohne Prüfung der Länge umgewandelt</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n decoding errors in the inputs (see the items&apos; logs)</source>
        <translation>
            <numerusform>%n Dekodierfehler in den Eingaben (siehe die Protokolle der Einträge)</numerusform>
            <numerusform>%n Dekodierfehler in den Eingaben (siehe die Protokolle der Einträge)</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 converted, %2 failed, %3 stopped.</source>
        <translation>%1 umgewandelt, %2 fehlgeschlagen, %3 gestoppt.</translation>
    </message>
    <message>
        <source>Failed:</source>
        <translation>Fehlgeschlagen:</translation>
    </message>
    <message>
        <source>and %1 more</source>
        <translation>und %1 weitere</translation>
    </message>
    <message>
        <source>Converted into:</source>
        <translation>Umgewandelt nach:</translation>
    </message>
    <message>
        <source>1 conversion is running. Stop it and quit?</source>
        <translation>Eine Umwandlung läuft. Stoppen und beenden?</translation>
    </message>
    <message numerus="yes">
        <source>%n conversions are running. Stop them and quit?</source>
        <translation>
            <numerusform>%n Umwandlung läuft. Stoppen und beenden?</numerusform>
            <numerusform>%n Umwandlungen laufen. Stoppen und beenden?</numerusform>
        </translation>
    </message>
    <message>
        <source>Stop and quit</source>
        <translation>Stoppen und beenden</translation>
    </message>
    <message>
        <source>Keep converting</source>
        <translation>Weiter umwandeln</translation>
    </message>
    <message>
        <source>Converting videos</source>
        <translation>Videos werden umgewandelt</translation>
    </message>
    <message>
        <source>Show log</source>
        <translation>Protokoll zeigen</translation>
    </message>
    <message>
        <source>Conversion finished</source>
        <translation>Umwandlung beendet</translation>
    </message>
    <message>
        <source>The computer could not be suspended</source>
        <translation>Der Rechner konnte nicht in Bereitschaft versetzt werden</translation>
    </message>
    <message>
        <source>The computer could not be powered off</source>
        <translation>Der Rechner konnte nicht ausgeschaltet werden</translation>
    </message>
    <message>
        <source>No program was found to open &quot;%1&quot;.</source>
        <translation>Es fand sich kein Programm, das „%1“ öffnet.</translation>
    </message>
    <message numerus="yes">
        <source>%n converted within the size limit</source>
        <translation>
            <numerusform>%n innerhalb der Größengrenze umgewandelt</numerusform>
            <numerusform>%n innerhalb der Größengrenze umgewandelt</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 converted, %2 skipped, 0 failed.</source>
        <translation>%1 umgewandelt, %2 übersprungen, 0 fehlgeschlagen.</translation>
    </message>
    <message>
        <source>%1 converted, %2 skipped, %3 failed, %4 stopped.</source>
        <translation>%1 umgewandelt, %2 übersprungen, %3 fehlgeschlagen, %4 gestoppt.</translation>
    </message>
</context>
<context>
    <name>RunJournal</name>
    <message>
        <source>cannot write the journal &quot;%1&quot;: %2</source>
        <translation>das Journal „%1“ kann nicht geschrieben werden: %2</translation>
    </message>
    <message>
        <source>cannot open the journal &quot;%1&quot;: %2</source>
        <translation>das Journal „%1“ kann nicht geöffnet werden: %2</translation>
    </message>
    <message>
        <source>the journal &quot;%1&quot; is not a regular file</source>
        <translation>das Journal „%1“ ist keine reguläre Datei</translation>
    </message>
    <message>
        <source>the journal &quot;%1&quot; is in use by another run</source>
        <translation>das Journal „%1“ wird von einem anderen Durchlauf benutzt</translation>
    </message>
    <message>
        <source>cannot lock the journal &quot;%1&quot;: %2</source>
        <translation>das Journal „%1“ kann nicht gesperrt werden: %2</translation>
    </message>
    <message>
        <source>the journal &quot;%1&quot; is larger than 256 MiB: it is not a journal of Calvera&apos;s</source>
        <translation>das Journal „%1“ ist größer als 256 MiB: es ist kein Journal von Calvera</translation>
    </message>
    <message>
        <source>cannot read the journal &quot;%1&quot;: %2</source>
        <translation>das Journal „%1“ kann nicht gelesen werden: %2</translation>
    </message>
    <message>
        <source>the journal &quot;%1&quot; is not a journal of Calvera&apos;s (line %2 is no journal line); it was left unchanged</source>
        <translation>das Journal „%1“ ist kein Journal von Calvera (Zeile %2 ist keine Journalzeile); es blieb unverändert</translation>
    </message>
</context>
<context>
    <name>SimpleXML</name>
    <message>
        <source>Cannot open file &quot;%1&quot;. %2</source>
        <translation>Die Datei „%1“ lässt sich nicht öffnen. %2</translation>
    </message>
    <message>
        <source>Cannot create file &quot;%1&quot;. %2</source>
        <translation>Die Datei „%1“ lässt sich nicht anlegen. %2</translation>
    </message>
    <message>
        <source>Cannot write file &quot;%1&quot;. %2</source>
        <translation>Die Datei „%1“ lässt sich nicht schreiben. %2</translation>
    </message>
    <message>
        <source>It is larger than %1 MiB.</source>
        <translation>Sie ist größer als %1 MiB.</translation>
    </message>
    <message>
        <source>It is not a regular file.</source>
        <translation>Sie ist keine reguläre Datei.</translation>
    </message>
</context>
<context>
    <name>SizeLimitField</name>
    <message>
        <source>at most</source>
        <translation>höchstens</translation>
    </message>
    <message>
        <source>MB (blank: no limit)</source>
        <translation>MB (leer: keine Grenze)</translation>
    </message>
    <message>
        <source>(several)</source>
        <translation>(mehrere)</translation>
    </message>
</context>
<context>
    <name>TCommand</name>
    <message>
        <source>The format of &quot;%1&quot; (number %2) is not in the format catalogue.</source>
        <translation>Das Format von „%1“ (Nummer %2) steht nicht im Formatkatalog.</translation>
    </message>
    <message numerus="yes">
        <source>converted with %n decoding errors (see log)</source>
        <translation>
            <numerusform>umgewandelt mit %n Dekodierfehler (siehe Protokoll)</numerusform>
            <numerusform>umgewandelt mit %n Dekodierfehlern (siehe Protokoll)</numerusform>
        </translation>
    </message>
    <message>
        <source>unchecked: %1</source>
        <translation>ungeprüft: %1</translation>
    </message>
    <message>
        <source>video %1</source>
        <translation>Video %1</translation>
    </message>
    <message>
        <source>sound %1</source>
        <translation>Ton %1</translation>
    </message>
    <message numerus="yes">
        <source>%n frames</source>
        <translation>
            <numerusform>%n Bild</numerusform>
            <numerusform>%n Bilder</numerusform>
        </translation>
    </message>
    <message>
        <source>checked: %1</source>
        <translation>geprüft: %1</translation>
    </message>
</context>
<context>
    <name>TCommandManager</name>
    <message>
        <source>Your own formats in &quot;%1&quot; were left out: %2</source>
        <translation>Ihre eigenen Formate in „%1“ wurden ausgelassen: %2</translation>
    </message>
    <message>
        <source>the shipped catalogue &quot;%1&quot; is missing</source>
        <translation>der mitgelieferte Formatkatalog „%1“ fehlt</translation>
    </message>
</context>
<context>
    <name>TDosCommand</name>
    <message>
        <source>%1 doesn&apos;t exist.</source>
        <translation>%1 gibt es nicht.</translation>
    </message>
    <message>
        <source>Cannot create a pipe for the child&apos;s output. %1</source>
        <translation>Für die Ausgabe des Kindprozesses lässt sich keine Pipe anlegen. %1</translation>
    </message>
    <message>
        <source>An unexpected error occurred.</source>
        <translation>Ein unerwarteter Fehler ist aufgetreten.</translation>
    </message>
</context>
<context>
    <name>TFileDialog</name>
    <message>
        <source>&amp;OK</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Abbrechen</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>save path (leave it blank to use global path)</source>
        <translation>Speicherpfad (leer lassen für den globalen Pfad)</translation>
    </message>
    <message>
        <source>directory select</source>
        <translation>Ordner wählen</translation>
    </message>
    <message>
        <source>Save Directory</source>
        <translation>Speicherordner</translation>
    </message>
    <message>
        <source>use the global path</source>
        <translation>den globalen Pfad verwenden</translation>
    </message>
</context>
<context>
    <name>TItemDlg</name>
    <message>
        <source>Item Property</source>
        <translation>Eintragseigenschaften</translation>
    </message>
    <message>
        <source>format: several, each kept unless one is chosen</source>
        <translation>Format: mehrere, jedes bleibt, es sei denn, eines wird gewählt</translation>
    </message>
    <message>
        <source>save path: several, each kept unless one is chosen</source>
        <translation>Speicherpfad: mehrere, jeder bleibt, es sei denn, einer wird gewählt</translation>
    </message>
    <message>
        <source>format: each becomes %1</source>
        <translation>Format: jedes wird zu %1</translation>
    </message>
    <message>
        <source>save path: each goes to the global path</source>
        <translation>Speicherpfad: jedes geht in den globalen Pfad</translation>
    </message>
    <message>
        <source>save path: each goes to %1</source>
        <translation>Speicherpfad: jedes geht nach %1</translation>
    </message>
    <message>
        <source>size limit: several, each kept unless one is given</source>
        <translation>Größengrenze: mehrere, jede bleibt, es sei denn, eine wird angegeben</translation>
    </message>
    <message>
        <source>size limit: each at most %1 MB</source>
        <translation>Größengrenze: jede höchstens %1 MB</translation>
    </message>
    <message>
        <source>size limit: none for each</source>
        <translation>Größengrenze: keine, für alle</translation>
    </message>
</context>
<context>
    <name>TMyCustomFlatEdit</name>
    <message>
        <source>&apos;%1&apos; is not a valid integer value</source>
        <translation>„%1“ ist keine gültige ganze Zahl</translation>
    </message>
</context>
<context>
    <name>TMyFlatComboBox</name>
    <message>
        <source>%1 (unavailable: %2)</source>
        <translation>%1 (nicht verfügbar: %2)</translation>
    </message>
</context>
<context>
    <name>TSaveManager</name>
    <message>
        <source>Item %1 of &quot;%2&quot;</source>
        <translation>Eintrag %1 von „%2“</translation>
    </message>
    <message>
        <source>%1 has a NUL character in its path.</source>
        <translation>%1 hat ein NUL-Zeichen im Pfad.</translation>
    </message>
    <message>
        <source>%1 has a NUL character in its file name.</source>
        <translation>%1 hat ein NUL-Zeichen im Dateinamen.</translation>
    </message>
    <message>
        <source>%1 has a path that is not valid UTF-8.</source>
        <translation>%1 hat einen Pfad, der kein gültiges UTF-8 ist.</translation>
    </message>
    <message>
        <source>%1 has a file name that is not valid UTF-8.</source>
        <translation>%1 hat einen Dateinamen, der kein gültiges UTF-8 ist.</translation>
    </message>
    <message>
        <source>%1 has no &quot;%2&quot; element.</source>
        <translation>%1 hat kein Element „%2“.</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a valid integer value</source>
        <translation>„%1“ ist keine gültige ganze Zahl</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a Calvera list: its root is &lt;%2&gt;.</source>
        <translation>„%1“ ist keine Calvera-Liste: ihre Wurzel ist &lt;%2&gt;.</translation>
    </message>
    <message>
        <source>%1 has a subfolder that is not valid UTF-8.</source>
        <translation>%1 hat einen Unterordner, der kein gültiges UTF-8 ist.</translation>
    </message>
</context>
<context>
    <name>TTreeManager</name>
    <message>
        <source>(unknown format %1)</source>
        <translation>(unbekanntes Format %1)</translation>
    </message>
    <message>
        <source>[File Name]: %1
[format]: %2
[path]: %3</source>
        <translation>[Dateiname]: %1
[Format]: %2
[Pfad]: %3</translation>
    </message>
</context>
<context>
    <name>TUIHook</name>
    <message>
        <source>An unexpected error occurred.</source>
        <translation>Ein unerwarteter Fehler ist aufgetreten.</translation>
    </message>
    <message>
        <source>No program was found to open &quot;%1&quot;.</source>
        <translation>Es fand sich kein Programm, das „%1“ öffnet.</translation>
    </message>
</context>
<context>
    <name>TaddDlg</name>
    <message>
        <source>Add Files</source>
        <translation>Dateien hinzufügen</translation>
    </message>
    <message>
        <source>format: %1</source>
        <translation>Format: %1</translation>
    </message>
    <message>
        <source>file count: %1</source>
        <translation>Anzahl Dateien: %1</translation>
    </message>
    <message>
        <source>save to: %1</source>
        <translation>Speichern in: %1</translation>
    </message>
    <message>
        <source>Ready to go...click OK</source>
        <translation>Bereit … OK klicken</translation>
    </message>
    <message>
        <source>Cancel the operation...click Cancel</source>
        <translation>Vorgang abbrechen … Abbrechen klicken</translation>
    </message>
    <message>
        <source>use global path (%1)</source>
        <translation>globalen Pfad verwenden (%1)</translation>
    </message>
    <message>
        <source>size: each at most %1 MB</source>
        <translation>Größe: jede höchstens %1 MB</translation>
    </message>
</context>
<context>
    <name>TmainDlg</name>
    <message>
        <source>add video files</source>
        <translation>Videodateien hinzufügen</translation>
    </message>
    <message>
        <source>&amp;Add</source>
        <translation>&amp;Hinzufügen</translation>
    </message>
    <message>
        <source>check for updates</source>
        <translation>nach Updates suchen</translation>
    </message>
    <message>
        <source>start converting</source>
        <translation>Umwandlung starten</translation>
    </message>
    <message>
        <source>&amp;Convert</source>
        <translation>&amp;Umwandeln</translation>
    </message>
    <message>
        <source>stop converting</source>
        <translation>Umwandlung stoppen</translation>
    </message>
    <message>
        <source>&amp;Stop</source>
        <translation>&amp;Stopp</translation>
    </message>
    <message>
        <source>online support</source>
        <translation>Hilfe im Netz</translation>
    </message>
    <message>
        <source>S&amp;upport</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>&amp;Import</source>
        <translation>&amp;Importieren</translation>
    </message>
    <message>
        <source>load list from a disk file</source>
        <translation>Liste aus einer Datei laden</translation>
    </message>
    <message>
        <source>&amp;Export</source>
        <translation>&amp;Exportieren</translation>
    </message>
    <message>
        <source>save list to a disk file</source>
        <translation>Liste in eine Datei speichern</translation>
    </message>
    <message>
        <source>List</source>
        <translation>Liste</translation>
    </message>
    <message>
        <source>Option</source>
        <translation>Optionen</translation>
    </message>
    <message>
        <source>0 files finished 0 of 0</source>
        <translation>0 Dateien, 0 von 0 fertig</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Löschen</translation>
    </message>
    <message>
        <source>delete selected item</source>
        <translation>gewählten Eintrag löschen</translation>
    </message>
    <message>
        <source>&amp;Clear</source>
        <translation>Alle &amp;entfernen</translation>
    </message>
    <message>
        <source>clear all items</source>
        <translation>alle Einträge entfernen</translation>
    </message>
    <message>
        <source>&amp;Properties</source>
        <translation>Eigen&amp;schaften</translation>
    </message>
    <message>
        <source>show properties</source>
        <translation>Eigenschaften zeigen</translation>
    </message>
    <message>
        <source>Show &amp;log</source>
        <translation>&amp;Protokoll zeigen</translation>
    </message>
    <message>
        <source>ffmpeg&apos;s words on the last conversion</source>
        <translation>was ffmpeg zur letzten Umwandlung sagte</translation>
    </message>
    <message>
        <source>&amp;Open output folder</source>
        <translation>&amp;Ausgabeordner öffnen</translation>
    </message>
    <message>
        <source>where the converted file is</source>
        <translation>wo die umgewandelte Datei liegt</translation>
    </message>
    <message>
        <source>Convert the &amp;rest</source>
        <translation>Den &amp;Rest umwandeln</translation>
    </message>
    <message>
        <source>convert the items not converted yet</source>
        <translation>die noch nicht umgewandelten Einträge umwandeln</translation>
    </message>
    <message>
        <source>&amp;Stop this item</source>
        <translation>Diesen Eintrag s&amp;toppen</translation>
    </message>
    <message>
        <source>end the chosen items&apos; conversions, the run goes on</source>
        <translation>die Umwandlung der gewählten Einträge beenden, der Durchlauf geht weiter</translation>
    </message>
    <message>
        <source>hold every running conversion</source>
        <translation>alle laufenden Umwandlungen anhalten</translation>
    </message>
    <message>
        <source>Remove co&amp;nverted items</source>
        <translation>&amp;Umgewandelte Einträge entfernen</translation>
    </message>
    <message>
        <source>take the converted items off the list</source>
        <translation>die umgewandelten Einträge von der Liste nehmen</translation>
    </message>
    <message>
        <source>Convert</source>
        <translation>Umwandeln</translation>
    </message>
    <message>
        <source>&amp;Pause</source>
        <translation>&amp;Pause</translation>
    </message>
    <message>
        <source>hold every running conversion (Ctrl+P)</source>
        <translation>alle laufenden Umwandlungen anhalten (Strg+P)</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>&amp;Resume</source>
        <translation>&amp;Fortsetzen</translation>
    </message>
    <message>
        <source>let the held conversions go on (Ctrl+P)</source>
        <translation>die angehaltenen Umwandlungen fortsetzen (Strg+P)</translation>
    </message>
    <message>
        <source>Resume</source>
        <translation>Fortsetzen</translation>
    </message>
    <message>
        <source>&amp;Resume</source>
        <comment>menu</comment>
        <translation>&amp;Fortsetzen</translation>
    </message>
    <message>
        <source>P&amp;ause</source>
        <comment>menu</comment>
        <translation>A&amp;nhalten</translation>
    </message>
</context>
<context>
    <name>TreeWalk</name>
    <message>
        <source>it is not a folder</source>
        <translation>es ist kein Ordner</translation>
    </message>
    <message>
        <source>cannot read the folder &quot;%1&quot;: %2</source>
        <translation>der Ordner „%1“ kann nicht gelesen werden: %2</translation>
    </message>
</context>
<context>
    <name>UserFiles</name>
    <message>
        <source>Cannot create a file beside &quot;%1&quot;: %2</source>
        <translation>Neben „%1“ lässt sich keine Datei anlegen: %2</translation>
    </message>
    <message>
        <source>Cannot write &quot;%1&quot;: %2</source>
        <translation>„%1“ lässt sich nicht schreiben: %2</translation>
    </message>
    <message>
        <source>it is not a regular file</source>
        <translation>es ist keine reguläre Datei</translation>
    </message>
</context>
<context>
    <name>WhenDoneNotice</name>
    <message>
        <source>1 second</source>
        <translation>1 Sekunde</translation>
    </message>
    <message numerus="yes">
        <source>%n seconds</source>
        <translation>
            <numerusform>%n Sekunde</numerusform>
            <numerusform>%n Sekunden</numerusform>
        </translation>
    </message>
    <message>
        <source>The run has ended.
Calvera quits in %1.</source>
        <translation>Der Durchlauf ist beendet.
Calvera beendet sich in %1.</translation>
    </message>
    <message>
        <source>The run has ended.
The computer suspends in %1.</source>
        <translation>Der Durchlauf ist beendet.
Der Rechner geht in %1 in Bereitschaft.</translation>
    </message>
    <message>
        <source>The run has ended.
The computer powers off in %1.</source>
        <translation>Der Durchlauf ist beendet.
Der Rechner schaltet sich in %1 aus.</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Abbrechen</translation>
    </message>
</context>
<context>
    <name>XmlParser</name>
    <message>
        <source>Invalid XML Element: Unexpected end of data</source>
        <translation>Ungültiges XML-Element: unerwartetes Ende der Daten</translation>
    </message>
    <message>
        <source>Invalid Document: Unexpected text in file prolog</source>
        <translation>Ungültiges Dokument: unerwarteter Text im Prolog der Datei</translation>
    </message>
    <message>
        <source>Invalid Document: Unexpected end of data</source>
        <translation>Ungültiges Dokument: unerwartetes Ende der Daten</translation>
    </message>
    <message>
        <source>Invalid Header: expected &quot;%0:s&quot; but found &quot;%1:s&quot;</source>
        <translation>Ungültiger Kopf: „%0:s“ erwartet, aber „%1:s“ gefunden</translation>
    </message>
    <message>
        <source>Invalid Comment: expected &quot;%0:s&quot; but found &quot;%1:s&quot;</source>
        <translation>Ungültiger Kommentar: „%0:s“ erwartet, aber „%1:s“ gefunden</translation>
    </message>
    <message>
        <source>Invalid Comment: Unexpected end of data</source>
        <translation>Ungültiger Kommentar: unerwartetes Ende der Daten</translation>
    </message>
    <message>
        <source>Invalid Comment: &quot;--&quot; not allowed inside comments</source>
        <translation>Ungültiger Kommentar: „--“ ist in Kommentaren nicht erlaubt</translation>
    </message>
    <message>
        <source>Invalid Stylesheet: expected &quot;%0:s&quot; but found &quot;%1:s&quot;</source>
        <translation>Ungültiges Stylesheet: „%0:s“ erwartet, aber „%1:s“ gefunden</translation>
    </message>
    <message>
        <source>Invalid Stylesheet: Unexpected end of data</source>
        <translation>Ungültiges Stylesheet: unerwartetes Ende der Daten</translation>
    </message>
    <message>
        <source>Invalid CDATA: expected &quot;%0:s&quot; but found &quot;%1:s&quot;</source>
        <translation>Ungültiger CDATA-Abschnitt: „%0:s“ erwartet, aber „%1:s“ gefunden</translation>
    </message>
    <message>
        <source>Invalid CDATA: Unexpected end of data</source>
        <translation>Ungültiger CDATA-Abschnitt: unerwartetes Ende der Daten</translation>
    </message>
    <message>
        <source>Invalid XML Element: Expected beginning of tag but &quot;%s&quot; found</source>
        <translation>Ungültiges XML-Element: Beginn eines Tags erwartet, aber „%s“ gefunden</translation>
    </message>
    <message>
        <source>Invalid XML Element: malformed tag found (no valid name)</source>
        <translation>Ungültiges XML-Element: fehlerhaftes Tag gefunden (kein gültiger Name)</translation>
    </message>
    <message>
        <source>Invalid XML Element: Expected end of tag but &quot;%s&quot; found</source>
        <translation>Ungültiges XML-Element: Ende eines Tags erwartet, aber „%s“ gefunden</translation>
    </message>
    <message>
        <source>Invalid XML Element: Erroneous end of tag, expecting &lt;/%0:s&gt; but &lt;/%1:s&gt; found</source>
        <translation>Ungültiges XML-Element: falsches End-Tag, &lt;/%0:s&gt; erwartet, aber &lt;/%1:s&gt; gefunden</translation>
    </message>
    <message>
        <source>Invalid XML Element: Unexpected character in property declaration (&quot;%s&quot; found)</source>
        <translation>Ungültiges XML-Element: unerwartetes Zeichen in einer Attributangabe („%s“ gefunden)</translation>
    </message>
    <message>
        <source>Invalid XML Element: Unexpected character in property declaration. Expecting &quot; or &apos; but &quot;%s&quot;  found</source>
        <translation>Ungültiges XML-Element: unerwartetes Zeichen in einer Attributangabe. &quot; oder &apos; erwartet, aber „%s“ gefunden</translation>
    </message>
    <message>
        <source>Invalid XML Element: elements are nested more than %s levels deep</source>
        <translation>Ungültiges XML-Element: Elemente sind tiefer als %s Ebenen verschachtelt</translation>
    </message>
</context>
<context>
    <name>calvera</name>
    <message>
        <source>Usage: calvera [FILE | LIST.qfl]...
       calvera --version | --help

Calvera converts batches of video files with ffmpeg. Add files, give each an
output format and folder, and press Convert. Without a window, calvera-batch
does the same from scripts (see calvera-batch --help).
</source>
        <translation>Aufruf: calvera [DATEI | LISTE.qfl]...
        calvera --version | --help

Calvera wandelt Stapel von Videodateien mit ffmpeg um. Fügen Sie Dateien hinzu,
geben Sie jeder ein Ausgabeformat und einen Ordner, und klicken Sie auf Umwandeln.
Ohne Fenster tut calvera-batch dasselbe aus Skripten heraus (siehe
calvera-batch --help).
</translation>
    </message>
    <message>
        <source>no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is set); calvera-batch converts without one</source>
        <translation>keine Anzeige, auf der sich das Fenster öffnen ließe (weder DISPLAY noch WAYLAND_DISPLAY ist gesetzt); calvera-batch wandelt ohne eine um</translation>
    </message>
    <message>
        <source>cannot open the window: the display (%1) cannot be reached</source>
        <translation>das Fenster lässt sich nicht öffnen: die Anzeige (%1) ist nicht erreichbar</translation>
    </message>
    <message>
        <source>unknown option %1</source>
        <translation>unbekannte Option %1</translation>
    </message>
    <message>
        <source>Try &apos;calvera --help&apos; for more information.</source>
        <translation>„calvera --help“ liefert weitere Informationen.</translation>
    </message>
</context>
<context>
    <name>calvera-batch</name>
    <message>
        <source>Try &apos;calvera-batch --help&apos; for more information.</source>
        <translation>„calvera-batch --help“ liefert weitere Informationen.</translation>
    </message>
    <message numerus="yes">
        <source>the journal &quot;%1&quot; has %n damaged line(s); they were passed over</source>
        <translation>
            <numerusform>das Journal „%1“ hat %n beschädigte Zeile; sie wurde übergangen</numerusform>
            <numerusform>das Journal „%1“ hat %n beschädigte Zeilen; sie wurden übergangen</numerusform>
        </translation>
    </message>
    <message>
        <source>the list files hold no items</source>
        <translation>die Listendateien enthalten keine Einträge</translation>
    </message>
    <message>
        <source>nothing to convert: the journal records no item of this run as still to do</source>
        <translation>nichts umzuwandeln: das Journal führt keinen Eintrag dieses Durchlaufs als noch offen</translation>
    </message>
    <message>
        <source>nothing to convert in this shard</source>
        <translation>nichts umzuwandeln in diesem Shard</translation>
    </message>
    <message>
        <source>-s will not write over &quot;%1&quot;: %2</source>
        <translation>-s schreibt nicht über „%1“: %2</translation>
    </message>
    <message>
        <source>it is not a regular file</source>
        <translation>es ist keine reguläre Datei</translation>
    </message>
    <message>
        <source>it is not a Calvera list</source>
        <translation>es ist keine Calvera-Liste</translation>
    </message>
    <message>
        <source>cannot write to standard output: %1</source>
        <translation>kann nicht auf die Standardausgabe schreiben: %1</translation>
    </message>
    <message>
        <source>the folders and list files hold no items</source>
        <translation>die Ordner und Listendateien enthalten keine Einträge</translation>
    </message>
</context>
</TS>
