#pragma once

#include <stdexcept>
#include <string>
#include <vector>

// What calvera-batch was asked to do.
struct BatchOptions {
    struct Source {
        bool isListFile = false;
        std::string path; // absolute
        int formatIndex = 0; // media files: the -f in force
        std::string outputDir; // media files: the -o in force, with a trailing "/", or empty
    };

    bool help = false;
    bool version = false;
    bool dryRun = false;
    bool listFormats = false;
    bool jsonProgress = false; // --progress=json
    std::string saveList;
    std::string catalogue; // empty: `command` next to the program
    std::string ffmpeg; // empty: `bin/ffmpeg` next to the program
    std::vector<Source> sources; // in the order given
    int jobs = 1; // items converted at once; -j 0 asks for one per core
    std::string journal; // empty: none
    bool retryFailed = false; // with a journal: only the items that failed or were stopped
    int shard = 0; // this run converts the items at positions p with p % shards == shard
    int shards = 1;
};

class BatchUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Arguments are read in order: a ".qfl" file is a list file; any other file
// is queued with the -f and -o given before it. Raises BatchUsageError.
BatchOptions parseBatchCommandLine(const std::vector<std::string>& arguments);

extern const char* const kBatchUsage;
