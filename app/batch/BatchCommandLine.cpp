#include "BatchCommandLine.h"

#include "saveManager.h"

#include <filesystem>

const char* const kBatchUsage
    = "Usage:\n"
      "  calvera-batch [options] LIST.qfl...               convert every item of the list files, in order\n"
      "  calvera-batch [options] -f INDEX [-o DIR] FILE...  queue the files with that format index (and output "
      "directory)\n"
      "\n"
      "List files and files may be combined; items keep the order given, and -f and -o apply to the\n"
      "files after them. Items without an output directory go to convert/ next to the program, or\n"
      "where that cannot be written (an installed Calvera) to Calvera/ in the Videos folder.\n"
      "\n"
      "Options:\n"
      "  -f, --format INDEX    format index in the catalogue for the files that follow (see --formats)\n"
      "  -o, --output DIR      output directory for the files that follow\n"
      "  -n, --dry-run         print the ffmpeg command line of every item, run nothing\n"
      "  -s, --save-list FILE  write the queued items as a list file, run nothing\n"
      "  -l, --formats         print the catalogue: index, name, extension, parameters, origin\n"
      "  -j, --jobs N          convert N items at once (0: one per core; default 1)\n"
      "      --journal FILE    record each ended item in FILE; items it records as converted are skipped\n"
      "      --retry-failed    with --journal: convert only the items that failed or were stopped\n"
      "      --shard K/N       convert only the items at positions p (from 0) with p % N == K\n"
      "      --progress=json   write the run as JSON events on standard output, one a line\n"
      "      --catalogue FILE  use this catalogue instead of `command` next to the program\n"
      "      --ffmpeg PATH     use this ffmpeg instead of bin/ffmpeg next to the program (or on PATH)\n"
      "  -h, --help            show this help\n"
      "      --version         show the version\n"
      "\n"
      "Exit status: 0 when every item was converted, 1 when any failed, 2 for bad usage or a list\n"
      "file that cannot be read, 130 when interrupted.\n";

namespace {

std::string absolute(const std::string& path)
{
    std::error_code ec;
    const auto result = std::filesystem::absolute(path, ec);
    return ec ? path : result.lexically_normal().string();
}

// Names that become items are kept as text: refused unless they are UTF-8,
// which they are kept byte-exact as.
std::string itemName(const std::string& name)
{
    if (!isUtf8(name))
        throw BatchUsageError("the name " + name + " is not valid UTF-8; rename the file or folder");
    return name;
}

bool endsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// A whole number of at least least for an option, as the catalogue's indexes are read.
int count(const std::string& option, const std::string& text, int least)
{
    int value = 0;
    try {
        value = listFileInteger(text);
    } catch (const std::exception&) {
        throw BatchUsageError(option + " needs a whole number, not '" + text + "'");
    }
    if (value < least)
        throw BatchUsageError(option + " needs a number of at least " + std::to_string(least) + ", not " + text);
    return value;
}

} // namespace

BatchOptions parseBatchCommandLine(const std::vector<std::string>& arguments)
{
    BatchOptions options;
    bool formatGiven = false;
    int formatIndex = 0;
    std::string outputDir;
    bool onlyFiles = false;

    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const auto value = [&]() -> std::string {
            // An empty value is a mistake ("$UNSET"), never "not given".
            if (i + 1 >= arguments.size() || arguments[i + 1].empty())
                throw BatchUsageError("option " + argument + " needs a value");
            return arguments[++i];
        };
        if (!onlyFiles && argument.size() > 1 && argument[0] == '-') {
            if (argument == "--") {
                onlyFiles = true;
            } else if (argument == "-h" || argument == "--help") {
                options.help = true;
            } else if (argument == "--version") {
                options.version = true;
            } else if (argument == "-n" || argument == "--dry-run") {
                options.dryRun = true;
            } else if (argument == "--progress=json") {
                options.jsonProgress = true;
            } else if (argument == "-l" || argument == "--formats") {
                options.listFormats = true;
            } else if (argument == "-s" || argument == "--save-list") {
                options.saveList = absolute(value());
            } else if (argument == "--catalogue") {
                options.catalogue = absolute(value());
            } else if (argument == "--ffmpeg") {
                options.ffmpeg = value();
            } else if (argument == "-f" || argument == "--format") {
                const std::string text = value();
                try {
                    formatIndex = listFileInteger(text);
                } catch (const std::exception&) {
                    throw BatchUsageError("format index '" + text + "' is not a number");
                }
                formatGiven = true;
            } else if (argument == "-j" || argument == "--jobs") {
                options.jobs = count(argument, value(), 0);
            } else if (argument == "--journal") {
                options.journal = absolute(value());
            } else if (argument == "--retry-failed") {
                options.retryFailed = true;
            } else if (argument == "--shard") {
                const std::string text = value();
                const std::size_t slash = text.find('/');
                if (slash == std::string::npos)
                    throw BatchUsageError("--shard needs K/N, as 3/8, not '" + text + "'");
                options.shard = count(argument, text.substr(0, slash), 0);
                options.shards = count(argument, text.substr(slash + 1), 1);
                if (options.shard >= options.shards)
                    throw BatchUsageError("--shard " + text + ": K must be below N (K counts from 0)");
            } else if (argument == "-o" || argument == "--output") {
                outputDir = absolute(itemName(value()));
                if (outputDir.empty() || outputDir.back() != '/')
                    outputDir += '/';
            } else {
                throw BatchUsageError("unknown option " + argument);
            }
            continue;
        }
        BatchOptions::Source source;
        source.path = absolute(itemName(argument));
        source.isListFile = endsWith(argument, ".qfl");
        if (!source.isListFile) {
            if (!formatGiven)
                throw BatchUsageError("no format for " + argument + ": give -f INDEX before the files");
            source.formatIndex = formatIndex;
            source.outputDir = outputDir;
        }
        options.sources.push_back(std::move(source));
    }
    if (options.retryFailed && options.journal.empty())
        throw BatchUsageError("--retry-failed needs --journal FILE");
    if (!options.help && !options.version && !options.listFormats && options.sources.empty())
        throw BatchUsageError("nothing to convert: give list files, or -f INDEX and files");
    return options;
}
