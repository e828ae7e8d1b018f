#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>

// The splash window: a borderless translucent 570 × 330 picture, centred.
class TSplashDlg final : public QWidget {
    Q_OBJECT

public:
    TSplashDlg();
};

// A millisecond tick counter that may wrap around.
using TickCounter = std::function<std::uint32_t()>;

// Processes events until at least minimum milliseconds have passed on tick,
// sleeping in the event loop rather than spinning. The difference is taken in
// unsigned 32-bit arithmetic, so a wrapping counter does no harm.
void waitWhileProcessingEvents(const TickCounter& tick, std::uint32_t minimum);
