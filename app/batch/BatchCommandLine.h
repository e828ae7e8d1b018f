#pragma once

#include "ItemLane.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// What calvera-batch was asked to do.
struct BatchOptions {
    struct Source {
        bool isListFile = false;
        // A folder given with -r: the files below it are queued, each with this source's settings.
        bool isTree = false;
        std::string path; // absolute
        // Its folder below the tree it was found in (see TItemData::Subfolder); empty for a file named alone.
        std::string subfolder;
        int formatIndex = 0; // media files: the -f in force
        std::string outputDir; // media files: the -o in force, with a trailing "/", or empty
        std::int64_t sizeLimit = 0; // media files: the --fit in force, in bytes; 0: none
        // Why the file cannot be an item (a name that is not UTF-8): it fails
        // on its own, and the others run.
        std::string refused;
    };

    bool help = false;
    bool version = false;
    bool dryRun = false;
    bool listFormats = false;
    bool jsonProgress = false; // --progress=json
    bool endLinesOnly = false; // --progress=lines: each item's end and the summary, no start or live lines
    bool quiet = false; // errors and the summary only
    bool verbose = false; // ffmpeg's own lines too, on standard error
    std::string saveList;
    std::string catalogue; // empty: `command` next to the program
    std::string ffmpeg; // empty: `bin/ffmpeg` next to the program
    std::vector<Source> sources; // in the order given
    std::vector<std::string> outputDirs; // every -o given, to be made when missing
    int jobs = 1; // items converted at once; -j 0 asks for one per core
    std::string journal; // empty: none
    bool retryFailed = false; // with a journal: only the items that failed or were stopped
    int shard = 0; // this run converts the items at positions p with p % shards == shard
    int shards = 1;
    Verification verification = Verification::duration;
    std::string watch; // a folder whose new files are converted as they come; empty: none
    int watchFormat = 0; // the -f in force where --watch stood
    std::string watchOutputDir; // the -o in force there
    std::int64_t watchSizeLimit = 0; // the --fit in force there
    bool newOnly = false; // with --watch: the files there at the start are left alone
    int settleSeconds = 5; // with --watch: how long a closed file must stay unchanged
    std::vector<std::string> excluded; // shell patterns of names passed over (--exclude)
    std::vector<std::string> included; // -r: shell patterns of the names taken (--include); empty: by extension
    bool flat = false; // outputs of a tree's files straight into their output folder (--flat)
    bool skipExisting = false; // an item whose output is there, whole and newer than its input, is skipped
    bool skipSame = false; // an item whose input is already what its entry makes is skipped
};

class BatchUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads the arguments the GNU way (getopt_long, in order): --opt=value and
// --opt value, -j2, -nq, "--" ends the options; a ".qfl" file is a list
// file, any other file is queued with the -f and -o in force where it
// stands, also when it comes from --files-from or --files0-from (a file of
// names, "-" for standard input); --fit applies the same way. Raises BatchUsageError.
BatchOptions parseBatchCommandLine(const std::vector<std::string>& arguments);

// --help's text in English, and in the user's language wrapped to columns.
extern const char* const kBatchUsage;
std::string batchUsage(int columns = 80);
// The columns --help is wrapped to: the terminal's on standard output, at most 80; else 80.
int helpWidth();
// text with each line longer than columns broken at spaces, the second column of a table kept in line.
std::string wrappedToColumns(const std::string& text, int columns);
