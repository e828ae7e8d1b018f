// Calvera's entry point. Files on the command line are opened in the window
// (list files imported, the others offered in the Add Files dialog); --version
// and --help answer on standard output without opening it.

#include "Startup.h"
#include "Translations.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>
#include <cstring>

namespace {

const char* const kUsage = QT_TRANSLATE_NOOP("calvera",
    "Usage: calvera [FILE | LIST.qfl]...\n"
    "       calvera --version | --help\n"
    "\n"
    "Calvera converts batches of video files with ffmpeg. Add files, give each an\n"
    "output format and folder, and press Convert. Without a window, calvera-batch\n"
    "does the same from scripts (see calvera-batch --help).\n");

} // namespace

int main(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("calvera %s\n", CALVERA_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            // No window, so no display: the core of Qt is enough to translate.
            QCoreApplication core(argc, argv);
            const Translations translations;
            std::fputs(QCoreApplication::translate("calvera", kUsage).toStdString().c_str(), stdout);
            return 0;
        }
    }
    QApplication app(argc, argv);
    const Translations translations;
    // What Qt left of the arguments: files, as a desktop's "open with" passes them.
    QStringList files;
    for (const QString& argument : QApplication::arguments().mid(1)) {
        if (!argument.startsWith('-'))
            files << QFileInfo(argument).absoluteFilePath();
    }
    QElapsedTimer clock;
    clock.start();
    return runCalvera(
        app, [&clock] { return static_cast<std::uint32_t>(clock.elapsed()); }, {}, files);
}
