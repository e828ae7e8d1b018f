#include "Startup.h"

#include "Fonts.h"
#include "mainForm.h"

#include <QApplication>

#include <memory>

int runCalvera(QApplication& app, const TickCounter& tick, const std::function<void(const char* stage)>& step)
{
    const auto reached = [&step](const char* stage) {
        if (step)
            step(stage);
    };
    QApplication::setApplicationName("Calvera");
    QApplication::setApplicationDisplayName("Calvera");
    installFontFallbacks();

    auto splash = std::make_unique<TSplashDlg>();
    splash->show();
    reached("splash shown");
    waitWhileProcessingEvents(tick, 1000);

    TmainDlg window;
    reached("main window created");
    splash.reset();
    reached("splash destroyed");
    window.show();
    reached("main window shown");
    return app.exec();
}
