#include "SplashForm.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>

#include <algorithm>

TSplashDlg::TSplashDlg()
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName("SplashDlg");
    setFixedSize(570, 330);
    setWindowOpacity(200 / 255.0);
    auto* image = new QLabel(this);
    image->setObjectName("Image1");
    image->setGeometry(0, 0, 570, 330);
    image->setPixmap(QPixmap(QStringLiteral(":/art/splash.jpg")));
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void waitWhileProcessingEvents(const TickCounter& tick, std::uint32_t minimum)
{
    const std::uint32_t start = tick();
    QTimer wake;
    for (;;) {
        const std::uint32_t elapsed = tick() - start;
        if (elapsed >= minimum)
            return;
        // Wakes the event loop to look at the counter again, should nothing
        // else happen: at most every 20 ms, so a counter that is not the wall
        // clock is still read often enough.
        wake.start(static_cast<int>(std::min<std::uint32_t>(minimum - elapsed, 20)));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}
