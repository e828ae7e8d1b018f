#pragma once

#include "SplashForm.h"

#include <QStringList>

#include <functional>

class QApplication;

// The program's start-up: the splash for at least a second (on tick), the
// main window made while it shows, the splash gone before the window is first
// shown, then the event loop until the window closes. step is told each
// stage as it is reached ("splash shown", "main window created", "splash
// destroyed", "main window shown"). SIGINT, SIGTERM and SIGHUP end it as
// closing the window does, with 128 + the signal's number.
// Files given are opened once the window shows: list files imported, the
// others offered in the Add Files dialog.
int runCalvera(QApplication& app, const TickCounter& tick, const std::function<void(const char* stage)>& step = {},
    const QStringList& files = {});
