#include "StopSignals.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The signal handler may only write to a pipe; the event loop reads it.
int signalPipe[2] = {-1, -1};

void onSignal(int signal)
{
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &number, 1);
}

} // namespace

StopSignalWatch::StopSignalWatch(std::function<void(int signal)> handler)
    : m_handler(std::move(handler))
{
    if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] {
        unsigned char number = 0;
        while (::read(signalPipe[0], &number, 1) == 1)
            m_handler(number);
    });
    struct sigaction action { };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i)
        sigaction(kStopSignals[i], &action, &m_previous[i]);
}

StopSignalWatch::~StopSignalWatch()
{
    if (!m_notifier)
        return;
    for (int i = 0; i < 3; ++i)
        sigaction(kStopSignals[i], &m_previous[i], nullptr);
}
