// Calvera's entry point. Files on the command line are opened in the window
// (list files imported, the others offered in the Add Files dialog); --version
// and --help answer on standard output without opening it. The options are
// read before anything needs the window system, so that a mistake is told as
// one with no display at all.

#include "Startup.h"
#include "Translations.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

const char* const kUsage = QT_TRANSLATE_NOOP("calvera",
    "Usage: calvera [FILE | LIST.qfl]...\n"
    "       calvera --version | --help\n"
    "\n"
    "Calvera converts batches of video files with ffmpeg. Add files, give each an\n"
    "output format and folder, and press Convert. Without a window, calvera-batch\n"
    "does the same from scripts (see calvera-batch --help).\n");

// Qt's own options, which QApplication takes from the arguments (with one dash or two).
constexpr std::string_view kQtOptionsWithValue[] = {"platform", "platformpluginpath", "platformtheme", "plugin",
    "qwindowgeometry", "qwindowicon", "qwindowtitle", "style", "stylesheet", "session", "display", "geometry"};
constexpr std::string_view kQtFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

struct CommandLine {
    bool version = false;
    bool help = false;
    std::string unknown; // the first option neither Calvera nor Qt knows
    QStringList files;
};

CommandLine readCommandLine(int argc, char* argv[])
{
    CommandLine line;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (optionsEnded || argument == "-" || !argument.starts_with('-')) {
            line.files << QFileInfo(QString::fromLocal8Bit(argv[i])).absoluteFilePath();
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (argument == "--version")
            line.version = true;
        else if (argument == "--help" || argument == "-h")
            line.help = true;
        else if (const std::string_view name = argument.substr(argument.starts_with("--") ? 2 : 1);
                 std::find(std::begin(kQtOptionsWithValue), std::end(kQtOptionsWithValue), name)
                 != std::end(kQtOptionsWithValue))
            ++i; // its value
        else if (std::find(std::begin(kQtFlags), std::end(kQtFlags), name) == std::end(kQtFlags)
            && line.unknown.empty())
            line.unknown = argument;
    }
    return line;
}

// What Qt says while it starts the window system is held back: when it cannot start one it says so in
// several lines and aborts, where one line of Calvera's is what the user needs.
std::vector<QString> g_heldMessages;
std::vector<QtMsgType> g_heldTypes;

void holdWhileStarting(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type != QtFatalMsg) {
        g_heldTypes.push_back(type);
        g_heldMessages.push_back(message);
        return;
    }
    const char* const platform = std::getenv("QT_QPA_PLATFORM");
    const char* const x11 = std::getenv("DISPLAY");
    const char* const wayland = std::getenv("WAYLAND_DISPLAY");
    const bool none = (!platform || !*platform) && (!x11 || !*x11) && (!wayland || !*wayland);
    // The application object is there, if not whole: enough to say it in the user's language.
    const Translations translations;
    const QString said = none
        ? QCoreApplication::translate("calvera",
            "no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is set); calvera-batch "
            "converts without one")
        : QCoreApplication::translate("calvera", "cannot open the window: the display (%1) cannot be reached")
              .arg(QString::fromLocal8Bit(platform && *platform ? platform
                      : x11 && *x11                             ? x11
                                                                : wayland));
    std::fprintf(stderr, "calvera: %s\n", said.toLocal8Bit().constData());
    std::_Exit(1);
}

// The status of an answer on standard output: 2, with the reason, when it could not be written whole.
int answered()
{
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return 0;
    std::fprintf(stderr, "calvera: cannot write to standard output: %s\n", std::strerror(errno != 0 ? errno : EIO));
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    const CommandLine line = readCommandLine(argc, argv);
    if (line.version) {
        std::printf("calvera %s\n", CALVERA_VERSION);
        return answered();
    }
    if (line.help || !line.unknown.empty()) {
        // No window, so no display: the core of Qt is enough to translate.
        QCoreApplication core(argc, argv);
        const Translations translations;
        if (line.help) {
            std::fputs(QCoreApplication::translate("calvera", kUsage).toStdString().c_str(), stdout);
            return answered();
        }
        std::fprintf(stderr, "calvera: %s\n%s\n",
            QCoreApplication::translate("calvera", "unknown option %1")
                .arg(QString::fromStdString(line.unknown))
                .toLocal8Bit()
                .constData(),
            QCoreApplication::translate("calvera", "Try 'calvera --help' for more information.")
                .toLocal8Bit()
                .constData());
        return 2;
    }
    const QtMessageHandler usual = qInstallMessageHandler(holdWhileStarting);
    QApplication app(argc, argv);
    qInstallMessageHandler(usual);
    for (std::size_t i = 0; i < g_heldMessages.size(); ++i) {
        const QMessageLogContext context;
        qt_message_output(g_heldTypes[i], context, g_heldMessages[i]);
    }
    const Translations translations;
    QElapsedTimer clock;
    clock.start();
    return runCalvera(
        app, [&clock] { return static_cast<std::uint32_t>(clock.elapsed()); }, {}, line.files);
}
