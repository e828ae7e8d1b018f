#include "BatchCommandLine.h"

#include "SizeText.h"
#include "Wording.h"
#include "saveManager.h"

#include <QCoreApplication>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <getopt.h>
#include <string_view>
#include <sys/ioctl.h>
#include <unistd.h>

// One line of the source is one line of the table or one paragraph: the lines are wrapped where they are shown.
const char* const kBatchUsage = QT_TRANSLATE_NOOP("BatchCommandLine",
    "Usage:\n"
    "  calvera-batch [options] LIST.qfl...                convert every item of the list files, in order\n"
    "  calvera-batch [options] -f INDEX [-o DIR] FILE...  queue the files with that format index (and output "
    "directory)\n"
    "  calvera-batch [options] -f INDEX --watch DIR       convert what appears in DIR, until Ctrl-C\n"
    "\n"
    "List files and files may be combined; items keep the order given, and -f and -o apply to the files after "
    "them (those of --files-from and -r too). Items without an output directory go to convert/ next to the program, or "
    "where that cannot be written (an installed Calvera) to Calvera/ in the Videos folder. An output directory "
    "given with -o is made when it is missing.\n"
    "\n"
    "Options:\n"
    "  -f, --format=INDEX      format index in the catalogue for the files that follow (see --formats)\n"
    "  -o, --output=DIR        output directory for the files that follow\n"
    "      --fit=SIZE          make each output of the files that follow at most SIZE (25M, 1.5G, 700KiB, bytes; "
    "0: no limit), with two passes\n"
    "  -r, --recursive=DIR     queue the video and sound files in DIR and below, by path; their outputs keep "
    "DIR's subfolders\n"
    "      --include=GLOB      with -r: take only names matching GLOB, not the usual extensions (repeatable)\n"
    "      --flat              put the outputs of -r and --watch straight into the output directory\n"
    "      --files-from=FILE   queue the files named in FILE, one a line (- for standard input)\n"
    "      --files0-from=FILE  the same with names ended by NUL characters (find -print0)\n"
    "  -n, --dry-run           print the ffmpeg command of every item, quoted for a shell, run nothing\n"
    "  -s, --save-list=FILE    write the queued items as a list file, run nothing\n"
    "  -l, --formats           print the catalogue: index, name, extension, parameters, origin\n"
    "  -j, --jobs=N            convert N items at once (0: one per core; default 1)\n"
    "      --journal=FILE      record each ended item in FILE; items it records as converted are skipped\n"
    "      --retry-failed      with --journal: convert only the items that failed or were stopped\n"
    "      --shard=K/N         convert only the items at positions p (from 0) with p % N == K\n"
    "      --verify=CHECK      check each output before it is published: none, duration (the default: its "
    "streams measured against the input's) or decode (also decode it whole)\n"
    "      --skip-existing     skip an item whose output is there already, whole and newer than its input\n"
    "      --skip-same         skip an item whose input already has the container and codecs of its format\n"
    "      --watch=DIR         convert every file that appears in DIR or below, until Ctrl-C\n"
    "      --new-only          with --watch: leave the files already there alone\n"
    "      --settle=SECONDS    with --watch: take a file once it stood unchanged this long (default 5)\n"
    "      --exclude=GLOB      with --watch or -r: pass over names matching GLOB (repeatable)\n"
    "      --progress=json     write the run as JSON events on standard output, one a line\n"
    "      --progress=lines    one line for each item as it ends, its reason and log on it, and the summary; no "
    "live line (for logs, as a service's journal)\n"
    "  -q, --quiet             print errors and the summary only\n"
    "  -v, --verbose           print ffmpeg's own lines too, on standard error\n"
    "      --catalogue=FILE    use this catalogue instead of `command` next to the program\n"
    "      --ffmpeg=PATH       use this ffmpeg instead of bin/ffmpeg next to the program (or on PATH)\n"
    "  -h, --help              show this help\n"
    "      --version           show the version\n"
    "\n"
    "Exit status: 0 when every item was converted (or skipped), 1 when any failed, 2 for bad usage, a list file that "
    "cannot be "
    "read or standard output that cannot be written; when a signal stopped the run, 128 and its number: 129 "
    "(SIGHUP), 130 (Ctrl-C), 141 (the reader of standard output went away), 143 (SIGTERM).\n");

std::string batchUsage(int columns)
{
    return wrappedToColumns(QCoreApplication::translate("BatchCommandLine", kBatchUsage).toStdString(), columns);
}

int helpWidth()
{
    winsize size {};
    const bool terminal = ::isatty(STDOUT_FILENO) == 1 && ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0;
    return terminal && size.ws_col > 0 ? std::min<int>(size.ws_col, 80) : 80;
}

namespace {

// The columns a piece of UTF-8 text takes: one for each character (continuation bytes take none).
int columnsOf(std::string_view text)
{
    int columns = 0;
    for (const char c : text)
        columns += (static_cast<unsigned char>(c) & 0xC0) == 0x80 ? 0 : 1;
    return columns;
}

// A line longer than columns, broken at spaces. Its continuation lines start under the text after the first
// gap of two spaces (the second column of a table), else under the line's own indent.
std::string wrappedLine(const std::string& line, int columns)
{
    const std::size_t textStart = std::min(line.find_first_not_of(' '), line.size());
    std::size_t hanging = textStart;
    if (const std::size_t gap = line.find("  ", textStart); gap != std::string::npos) {
        const std::size_t after = line.find_first_not_of(' ', gap);
        if (after != std::string::npos)
            hanging = after;
    }
    int indent = columnsOf(std::string_view(line).substr(0, hanging));
    // On a narrow terminal a second column far to the right would leave no room: a shorter indent then.
    if (indent > columns / 2)
        indent = static_cast<int>(textStart) + 4;
    std::string result;
    std::string current = line.substr(0, textStart);
    bool empty = true; // no word on the current line yet
    std::size_t at = textStart;
    while (at < line.size()) {
        const std::size_t wordEnd = std::min(line.find(' ', at), line.size());
        const std::string_view word = std::string_view(line).substr(at, wordEnd - at);
        const std::size_t next = std::min(line.find_first_not_of(' ', wordEnd), line.size());
        // The spaces before a word stay as written (a table's gap), a break takes them.
        const std::string_view space = std::string_view(line).substr(wordEnd, next - wordEnd);
        if (!empty && columnsOf(current) + static_cast<int>(columnsOf(word)) > columns) {
            while (!current.empty() && current.back() == ' ')
                current.pop_back();
            result += current + '\n';
            current = std::string(static_cast<std::size_t>(indent), ' ');
        }
        current += word;
        current += space;
        empty = false;
        at = next;
    }
    while (!current.empty() && current.back() == ' ')
        current.pop_back();
    return result + current;
}

} // namespace

std::string wrappedToColumns(const std::string& text, int columns)
{
    std::string result;
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t end = text.find('\n', from);
        const bool ended = end != std::string::npos;
        if (!ended)
            end = text.size();
        const std::string line = text.substr(from, end - from);
        result += columnsOf(line) > columns ? wrappedLine(line, columns) : line;
        if (ended)
            result += '\n';
        from = end + 1;
    }
    return result;
}

namespace {

// A usage error in the user's language, its %1, %2 … filled with arguments as they are.
BatchUsageError usageError(const char* source, const std::vector<std::string>& arguments = {})
{
    return BatchUsageError(
        wording::filled(QCoreApplication::translate("BatchCommandLine", source).toStdString(), arguments));
}

enum LongOnly {
    kFilesFrom = 256,
    kFiles0From,
    kJournal,
    kRetryFailed,
    kShard,
    kVerify,
    kWatch,
    kNewOnly,
    kSettle,
    kExclude,
    kInclude,
    kFlat,
    kProgress,
    kCatalogue,
    kFfmpeg,
    kVersion,
    kFit,
    kSkipExisting,
    kSkipSame,
};

const option kOptions[] = {
    {"format", required_argument, nullptr, 'f'},
    {"output", required_argument, nullptr, 'o'},
    {"fit", required_argument, nullptr, kFit},
    {"recursive", required_argument, nullptr, 'r'},
    {"include", required_argument, nullptr, kInclude},
    {"flat", no_argument, nullptr, kFlat},
    {"files-from", required_argument, nullptr, kFilesFrom},
    {"files0-from", required_argument, nullptr, kFiles0From},
    {"dry-run", no_argument, nullptr, 'n'},
    {"save-list", required_argument, nullptr, 's'},
    {"formats", no_argument, nullptr, 'l'},
    {"jobs", required_argument, nullptr, 'j'},
    {"journal", required_argument, nullptr, kJournal},
    {"retry-failed", no_argument, nullptr, kRetryFailed},
    {"shard", required_argument, nullptr, kShard},
    {"verify", required_argument, nullptr, kVerify},
    {"watch", required_argument, nullptr, kWatch},
    {"new-only", no_argument, nullptr, kNewOnly},
    {"settle", required_argument, nullptr, kSettle},
    {"exclude", required_argument, nullptr, kExclude},
    {"progress", required_argument, nullptr, kProgress},
    {"quiet", no_argument, nullptr, 'q'},
    {"verbose", no_argument, nullptr, 'v'},
    {"catalogue", required_argument, nullptr, kCatalogue},
    {"ffmpeg", required_argument, nullptr, kFfmpeg},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kVersion},
    {"skip-existing", no_argument, nullptr, kSkipExisting},
    {"skip-same", no_argument, nullptr, kSkipSame},
    {nullptr, 0, nullptr, 0},
};
// "-": the files come back in their place among the options; ":": a missing value is told apart.
constexpr const char* kShortOptions = "-:f:o:r:ns:lj:qvh";

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
        throw usageError(
            QT_TRANSLATE_NOOP("BatchCommandLine", "the name %1 is not valid UTF-8; rename the file or folder"), {name});
    return name;
}

bool endsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// A whole number of at least least for an option, as the catalogue's indexes are read.
int count(const std::string& option, const std::string& given, int least)
{
    int value = 0;
    try {
        value = listFileInteger(given);
    } catch (const std::exception&) {
        throw usageError(QT_TRANSLATE_NOOP("BatchCommandLine", "%1 needs a whole number, not '%2'"), {option, given});
    }
    if (value < least)
        throw usageError(QT_TRANSLATE_NOOP("BatchCommandLine", "%1 needs a number of at least %2, not %3"),
            {option, std::to_string(least), given});
    return value;
}

// The names in a file of names (or standard input for "-"), one a line or ended by NUL.
std::vector<std::string> namesIn(const std::string& file, char end)
{
    const int fd = file == "-" ? STDIN_FILENO : ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw usageError(
            QT_TRANSLATE_NOOP("BatchCommandLine", "cannot read the names in \"%1\": %2"), {file, std::strerror(errno)});
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const int error = errno;
            if (fd != STDIN_FILENO)
                ::close(fd);
            throw usageError(QT_TRANSLATE_NOOP("BatchCommandLine", "cannot read the names in \"%1\": %2"),
                {file, std::strerror(error)});
        }
        if (got == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    if (fd != STDIN_FILENO)
        ::close(fd);
    std::vector<std::string> names;
    std::size_t from = 0;
    for (std::size_t at; from < text.size(); from = at + 1) {
        at = text.find(end, from);
        if (at == std::string::npos)
            at = text.size();
        if (at > from)
            names.push_back(text.substr(from, at - from));
    }
    return names;
}

// The options and files, read in order, with the -f and -o in force.
class Reader {
public:
    BatchOptions options;

    // A file named, or with tree set a folder given with -r: either takes the settings in force.
    void file(const std::string& name, bool tree = false)
    {
        BatchOptions::Source source;
        source.isTree = tree;
        source.isListFile = !tree && endsWith(name, ".qfl");
        // A media file whose name cannot be an item fails as an item, not the run.
        if (!source.isListFile && !isUtf8(name)) {
            source.path = absolute(name);
            source.refused = wording::filled(
                QCoreApplication::translate("BatchCommandLine", "the name %1 is not valid UTF-8; rename the file")
                    .toStdString(),
                {source.path});
        } else {
            source.path = absolute(itemName(name));
        }
        if (!source.isListFile) {
            if (!m_formatGiven)
                throw usageError(
                    QT_TRANSLATE_NOOP("BatchCommandLine", "no format for %1: give -f INDEX before the files"), {name});
            source.formatIndex = m_formatIndex;
            source.outputDir = m_outputDir;
            source.sizeLimit = m_sizeLimit;
        }
        options.sources.push_back(std::move(source));
    }

    void option(int code, const std::string& name, const std::string& value)
    {
        switch (code) {
        case 'h': options.help = true; break;
        case kVersion: options.version = true; break;
        case 'n': options.dryRun = true; break;
        case 'l': options.listFormats = true; break;
        case 'q': options.quiet = true; break;
        case 'v': options.verbose = true; break;
        case kRetryFailed: options.retryFailed = true; break;
        case kNewOnly: options.newOnly = true; break;
        case kSkipExisting: options.skipExisting = true; break;
        case kSkipSame: options.skipSame = true; break;
        case 's': options.saveList = absolute(value); break;
        case kCatalogue: options.catalogue = absolute(value); break;
        case kFfmpeg: options.ffmpeg = value; break;
        case kJournal: options.journal = absolute(value); break;
        case 'j': options.jobs = count(name, value, 0); break;
        case kSettle: options.settleSeconds = count(name, value, 0); break;
        case kExclude: options.excluded.push_back(value); break;
        case kInclude: options.included.push_back(value); break;
        case kFlat: options.flat = true; break;
        case 'r': file(itemName(value), true); break;
        case 'f': try { m_formatIndex = listFileInteger(value);
            } catch (const std::exception&) {
                throw usageError(QT_TRANSLATE_NOOP("BatchCommandLine", "format index '%1' is not a number"), {value});
            }
            m_formatGiven = true;
            break;
        case 'o':
            m_outputDir = absolute(itemName(value));
            if (m_outputDir.back() != '/')
                m_outputDir += '/';
            options.outputDirs.push_back(m_outputDir);
            break;
        case kFit: m_sizeLimit = sizeLimit(value); break;
        case kFilesFrom:
        case kFiles0From:
            for (const std::string& listed : namesIn(value, code == kFiles0From ? '\0' : '\n'))
                file(listed);
            break;
        case kShard: shard(value); break;
        case kVerify:
            if (value == "none")
                options.verification = Verification::none;
            else if (value == "duration")
                options.verification = Verification::duration;
            else if (value == "decode")
                options.verification = Verification::decode;
            else
                throw usageError(
                    QT_TRANSLATE_NOOP("BatchCommandLine", "--verify takes none, duration or decode, not '%1'"),
                    {value});
            break;
        case kWatch:
            if (!m_formatGiven)
                throw usageError(
                    QT_TRANSLATE_NOOP("BatchCommandLine", "no format for --watch %1: give -f INDEX before it"),
                    {value});
            options.watch = absolute(itemName(value));
            if (options.watch.back() != '/')
                options.watch += '/';
            options.watchFormat = m_formatIndex;
            options.watchOutputDir = m_outputDir;
            options.watchSizeLimit = m_sizeLimit;
            break;
        case kProgress:
            if (value != "json" && value != "lines")
                throw usageError(
                    QT_TRANSLATE_NOOP("BatchCommandLine", "--progress takes json or lines, not '%1'"), {value});
            options.jsonProgress = value == "json";
            options.endLinesOnly = value == "lines";
            break;
        }
    }

    void finish()
    {
        if (options.retryFailed && options.journal.empty())
            throw usageError(QT_TRANSLATE_NOOP("BatchCommandLine", "--retry-failed needs --journal FILE"));
        const bool trees = std::any_of(options.sources.begin(), options.sources.end(),
            [](const BatchOptions::Source& source) { return source.isTree; });
        if (!options.included.empty() && !trees)
            throw usageError(QT_TRANSLATE_NOOP("BatchCommandLine", "--include needs -r DIR"));
        if (options.newOnly && options.watch.empty())
            throw usageError(QT_TRANSLATE_NOOP("BatchCommandLine", "--new-only needs --watch DIR"));
        if (!options.help && !options.version && !options.listFormats && options.sources.empty()
            && options.watch.empty())
            throw usageError(
                QT_TRANSLATE_NOOP("BatchCommandLine", "nothing to convert: give list files, or -f INDEX and files"));
    }

private:
    void shard(const std::string& given)
    {
        const std::size_t slash = given.find('/');
        if (slash == std::string::npos)
            throw usageError(QT_TRANSLATE_NOOP("BatchCommandLine", "--shard needs K/N, as 3/8, not '%1'"), {given});
        options.shard = count("--shard", given.substr(0, slash), 0);
        options.shards = count("--shard", given.substr(slash + 1), 1);
        if (options.shard >= options.shards)
            throw usageError(
                QT_TRANSLATE_NOOP("BatchCommandLine", "--shard %1: K must be below N (K counts from 0)"), {given});
    }

    // --fit's size; 0 turns the limit off again.
    static std::int64_t sizeLimit(const std::string& given)
    {
        const std::optional<std::int64_t> bytes = parseSize(given);
        // A size below one byte is no "no limit": only 0 says that.
        const bool belowOneByte = bytes == 0 && given.find_first_of("123456789") != std::string::npos;
        if (!bytes || belowOneByte)
            throw usageError(QT_TRANSLATE_NOOP("BatchCommandLine",
                                 "--fit needs a size such as 25M, 1.5G, 700KiB or a number of bytes (0: no limit), "
                                 "not '%1'"),
                {given});
        return *bytes;
    }

    bool m_formatGiven = false;
    int m_formatIndex = 0;
    std::string m_outputDir;
    std::int64_t m_sizeLimit = 0;
};

// Why getopt refused a long option: a name that several options start with, a value given to one that
// takes none, or a name no option has.
BatchUsageError refusedLongOption(const std::string& given)
{
    const std::size_t equals = given.find('=');
    const std::string name = given.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
    std::vector<const option*> candidates;
    for (const option* known = kOptions; known->name; ++known) {
        if (name == known->name) {
            candidates = {known};
            break;
        }
        if (!name.empty() && std::string_view(known->name).starts_with(name))
            candidates.push_back(known);
    }
    if (candidates.size() > 1) {
        std::string names;
        for (const option* candidate : candidates)
            names += (names.empty() ? "--" : ", --") + std::string(candidate->name);
        return usageError(
            QT_TRANSLATE_NOOP("BatchCommandLine", "option --%1 is ambiguous: it may be %2"), {name, names});
    }
    if (candidates.size() == 1 && candidates[0]->has_arg == no_argument && equals != std::string::npos)
        return usageError(QT_TRANSLATE_NOOP("BatchCommandLine", "option --%1 takes no value, not '%2'"),
            {candidates[0]->name, given.substr(equals + 1)});
    return usageError(QT_TRANSLATE_NOOP("BatchCommandLine", "unknown option %1"), {given.substr(0, equals)});
}

} // namespace

BatchOptions parseBatchCommandLine(const std::vector<std::string>& arguments)
{
    std::vector<std::string> words = {"calvera-batch"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    Reader reader;
    // getopt keeps its place in globals: 0 starts it over, and it says nothing itself.
    optind = 0;
    opterr = 0;
    const int argc = static_cast<int>(words.size());
    for (int code; (code = ::getopt_long(argc, argv.data(), kShortOptions, kOptions, nullptr)) != -1;) {
        const std::string given = argv[static_cast<std::size_t>(optind - 1)];
        if (code == 1) {
            reader.file(optarg);
            continue;
        }
        if (code == '?' && given.starts_with("--"))
            throw refusedLongOption(given);
        if (code == '?')
            throw usageError(QT_TRANSLATE_NOOP("BatchCommandLine", "unknown option %1"),
                {optopt != 0 ? "-" + std::string(1, char(optopt)) : given});
        if (code == ':')
            throw usageError(QT_TRANSLATE_NOOP("BatchCommandLine", "option %1 needs a value"), {given});
        const std::string name
            = given.starts_with("--") ? given.substr(0, given.find('=')) : "-" + std::string(1, char(code));
        // An empty value is a mistake ("$UNSET"), never "not given".
        if (optarg && *optarg == '\0')
            throw usageError(QT_TRANSLATE_NOOP("BatchCommandLine", "option %1 needs a value"), {name});
        reader.option(code, name, optarg ? optarg : "");
    }
    // After "--", everything is a file.
    for (int i = optind; i < argc; ++i)
        reader.file(argv[static_cast<std::size_t>(i)]);
    reader.finish();
    BatchOptions options = std::move(reader.options);
    return options;
}
