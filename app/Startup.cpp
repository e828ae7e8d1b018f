#include "Startup.h"

#include "ErrorReport.h"

#include "Fonts.h"
#include "FormsSupport.h"
#include "ProgramDir.h"
#include "StopSignals.h"
#include "mainForm.h"
#include "uihook.h"

#include <QApplication>
#include <QTimer>

#include <memory>

int runCalvera(QApplication& app, const TickCounter& tick, const std::function<void(const char* stage)>& step,
    const QStringList& files)
{
    const auto reached = [&step](const char* stage) {
        if (step)
            step(stage);
    };
    // A termination request ends the program the way closing the window
    // does: a running ffmpeg goes with it.
    int stopSignal = 0;
    const StopSignalWatch stopSignals([&stopSignal](int signal) {
        stopSignal = signal;
        QApplication::exit(128 + signal);
    });
    nameApplication();
    installFontFallbacks();

    auto splash = std::make_unique<TSplashDlg>();
    splash->show();
    reached("splash shown");
    waitWhileProcessingEvents(tick, 1000);

    TmainDlg window;
    if (const std::string state = userFolder("XDG_STATE_HOME", ".local/state"); !state.empty())
        window.controller()->keepQueue(QString::fromStdString(state));
    reached("main window created");
    splash.reset();
    reached("splash destroyed");
    window.show();
    reached("main window shown");
    if (!files.isEmpty())
        QTimer::singleShot(0, &window, [&window, files] {
            // A list file that cannot be read is told, as Import tells it.
            try {
                window.controller()->openFiles(files);
            } catch (const std::exception& error) {
                reportError(error.what());
            }
        });
    if (stopSignal)
        return 128 + stopSignal;
    return app.exec();
}
