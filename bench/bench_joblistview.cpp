// The job list view with 100,000 items: time to add them, to paint a screen of
// rows, and to page through the list.

#include "Fonts.h"
#include "JobListModel.h"
#include "JobListView.h"
#include "mainForm.h"
#include "uihook.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    installFontFallbacks();
    TmainDlg window;
    window.show();
    QApplication::processEvents();
    JobListModel& jobs = *window.controller()->jobs();
    JobListView& view = *window.VirtualStringTree1;

    constexpr int kItems = 100000;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kItems; ++i) {
        TItemData item;
        item.FileName = QString("/home/me/Videos/clip %1.avi").arg(i);
        jobs.append(item);
    }
    QApplication::processEvents();
    const double addMs = clock.nsecsElapsed() / 1e6;

    constexpr int kPages = 200;
    clock.restart();
    for (int page = 0; page < kPages; ++page) {
        view.verticalScrollBar()->setValue(page * kItems / kPages);
        view.viewport()->repaint();
    }
    const double pageMs = clock.nsecsElapsed() / 1e6 / kPages;
    std::printf("add %d items: %.0f ms; page through the list: %.2f ms per repainted screen\n", kItems, addMs, pageMs);
    return 0;
}
