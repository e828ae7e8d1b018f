#pragma once

#include <QString>

// The user's choices on the Option page, kept with QSettings in
// $XDG_CONFIG_HOME/calvera/calvera.conf.
struct Settings {
    // How many items convert at once, 1 to the number of cores.
    int jobs = 1;
    // Where items without a folder of their own go, with a trailing "/";
    // empty for the default folder (defaultOutputFolder).
    QString outputFolder;

    bool operator==(const Settings&) const = default;

    // What was saved, within bounds; the defaults where nothing was.
    static Settings load();
    void save() const;
    // The most conversions at once that make sense here: one per core.
    static int maxJobs();
};
