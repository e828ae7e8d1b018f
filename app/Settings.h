#pragma once

#include <QString>

#include <cstdint>

// What Calvera does once a run has ended by itself (a stopped run does
// nothing), after a notice the user can cancel.
enum class WhenDone {
    Nothing,
    Quit,
    Suspend,
    PowerOff,
};

// The user's choices on the Option page, kept with QSettings in
// $XDG_CONFIG_HOME/calvera/calvera.conf.
struct Settings {
    // How many items convert at once, 1 to the number of cores.
    int jobs = 1;
    // Where items without a folder of their own go, with a trailing "/";
    // empty for the default folder (defaultOutputFolder).
    QString outputFolder;
    // Quit is kept for the next start; suspend and power off are for the
    // next run alone, never saved.
    WhenDone whenDone = WhenDone::Nothing;
    // The job list is neither kept for the next start nor taken from the last one.
    bool startEmpty = false;
    // Each output is decoded once written, to find a damaged file (slower).
    bool verifyDecode = false;
    // The files of a dropped or watched folder are converted straight into
    // the output folder, instead of into the same subfolders below it.
    bool flat = false;
    // Add Files starts from the format and folder the last Add confirmed.
    bool addFromLast = true;
    // An item whose output is there already, whole and newer than its input, is skipped.
    bool skipExisting = false;

    bool operator==(const Settings&) const = default;

    // What was saved, within bounds; the defaults where nothing was, or
    // where calvera.conf is no regular file (a FIFO there must not hang the start).
    static Settings load();
    // Writes calvera.conf, unless something that is no regular file stands there.
    void save() const;
    // The most conversions at once that make sense here: one per core.
    static int maxJobs();
    // Where the settings are kept: $XDG_CONFIG_HOME/calvera/calvera.conf;
    // empty without a home.
    static QString filePath();
};

// What the last Add Files confirmed, for the next one to start from: the
// format's index in the catalogue (-1 for none) and the save path (empty for
// the global path). Kept beside the settings in calvera.conf.
struct AddChoice {
    int format = -1;
    QString folder;
    std::int64_t sizeLimit = 0; // bytes; 0: none

    bool operator==(const AddChoice&) const = default;

    // What was saved; none where nothing was or calvera.conf is no regular file.
    static AddChoice load();
    // Writes it into calvera.conf, leaving the settings there as they are.
    void save() const;
};
