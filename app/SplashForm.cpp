#include "SplashForm.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>

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
        // Wakes the event loop when the time is up, should nothing else happen.
        wake.start(static_cast<int>(minimum - elapsed));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}
