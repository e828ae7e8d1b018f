#pragma once

#include "ItemData.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <functional>
#include <ostream>
#include <set>
#include <mutex>
#include <string>
#include <vector>

// Delivers every event already waiting: once the sender of an event has gone,
// this shows that nothing of it is still on the way.
void processPendingEvents();

// Runs the event loop until done() holds or the time is up; returns done().
bool waitFor(const std::function<bool()>& done, int timeoutMs = 20000);

// The fake child program built beside the tests.
std::string fakeChild();

// Makes a short clip with a test picture and a tone (ffmpeg's lavfi sources).
void makeClip(const std::string& path, double seconds = 1.0);

// A library below root: lib/ with two seasons holding same-named clips
// ("Season 1/E01.avi", "Season 2/E01.avi") and top.avi, beside what a walk of
// it passes over: a hidden folder's clip, notes.txt, a link back up, and
// links out of it to elsewhere/ and to elsewhere/x.avi.
void makeSeasonsTree(const std::string& root);
// Every regular file below folder, as paths below it.
std::set<std::string> filesIn(const std::string& folder);

// ffprobe's container and codec names of a file, as "format_name:codec,codec".
std::string probe(const std::string& path);

// Writes an executable shell script.
void writeScript(const std::string& path, const std::string& body);

// The process id a stand-in wrote to file, once it has; 0 when none came in time.
long pidWrittenTo(const std::string& file);
// The process id in file now, as a whole line; 0 when there is none (yet).
long pidIn(const std::string& file);

// True when a process with that id still runs (a zombie does not count).
bool processRuns(long pid);

// The one-letter state /proc gives a process: R, S, D, T (stopped), Z; '?' when there is none.
char processState(long pid);

// True when every process of the process group is held by SIGSTOP: stopped,
// or (a shell starting a command with vfork) waiting on a stopped child.
bool processGroupHeld(long group);

class TCommandManager;

// The index of the first catalogue entry that makes files with that extension:
// tests name formats by what they make, not by their place in the catalogue.
int formatIndexOf(const TCommandManager& catalogue, const std::string& extension);
// The same in the catalogue the project ships.
int shippedFormat(const std::string& extension);

// Shell lines for a stand-in ffmpeg: they set $source to the file after -i and
// $output to the last argument, both without ffmpeg's "file:" protocol.
std::string standInArguments();

// The hidden temporaries that a run is writing (or left) in a folder.
std::vector<std::string> temporariesIn(const std::string& directory);

// An item's state by its name in test failures.
void PrintTo(ItemState state, std::ostream* out);

// Stands in, while it lives, for the call that puts an output and its folder
// on the disk (TemporaryOutput::syncDescriptor): records each descriptor's
// path in the order they came, and fails with EIO those failIf picks.
class SyncRecorder final {
public:
    SyncRecorder();
    ~SyncRecorder();
    SyncRecorder(const SyncRecorder&) = delete;
    SyncRecorder& operator=(const SyncRecorder&) = delete;

    std::function<bool(const std::string& path)> failIf;
    // Guarded: the disk worker makes the calls on its own thread.
    std::vector<std::string> paths() const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_paths;
    std::function<int(int)> m_previous;
};
