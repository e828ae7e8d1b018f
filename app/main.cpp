// Calvera: start-up. The splash shows for at least a second while the main
// window is made, then goes; the event loop runs until the window closes.

#include "Fonts.h"
#include "SplashForm.h"
#include "mainForm.h"

#include <QApplication>
#include <QElapsedTimer>

#include <memory>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Calvera");
    QApplication::setApplicationDisplayName("Calvera");
    installFontFallbacks();

    auto splash = std::make_unique<TSplashDlg>();
    splash->show();
    QElapsedTimer clock;
    clock.start();
    waitWhileProcessingEvents([&clock] { return static_cast<std::uint32_t>(clock.elapsed()); }, 1000);

    TmainDlg window;
    splash.reset();
    window.show();
    return QApplication::exec();
}
