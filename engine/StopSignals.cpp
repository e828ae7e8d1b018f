#include "StopSignals.h"

#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <unistd.h>

namespace {

// The signal handler may only write to a pipe; the event loop reads it.
int signalPipe[2] = {-1, -1};

void onSignal(int signal)
{
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &number, 1);
    errno = saved;
}

} // namespace

// Which watch has each signal: the latest made.
struct SignalDispatch {
    static std::map<int, std::vector<SignalWatch*>>& watches()
    {
        static std::map<int, std::vector<SignalWatch*>> registry;
        return registry;
    }
    // Every watch's notifier reads the one pipe; whichever reads a signal hands it on.
    static void readPipe()
    {
        unsigned char number = 0;
        while (::read(signalPipe[0], &number, 1) == 1) {
            const auto found = watches().find(number);
            if (found != watches().end() && !found->second.empty())
                found->second.back()->m_handler(number);
        }
    }
};

SignalWatch::SignalWatch(std::initializer_list<int> watched, std::function<void(int signal)> handler)
    : m_signals(watched)
    , m_handler(std::move(handler))
{
    if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [] { SignalDispatch::readPipe(); });
    struct sigaction action { };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    m_previous.resize(m_signals.size());
    for (std::size_t i = 0; i < m_signals.size(); ++i) {
        SignalDispatch::watches()[m_signals[i]].push_back(this);
        sigaction(m_signals[i], &action, &m_previous[i]);
    }
}

SignalWatch::~SignalWatch()
{
    if (!m_notifier)
        return;
    for (std::size_t i = 0; i < m_signals.size(); ++i) {
        std::vector<SignalWatch*>& watching = SignalDispatch::watches()[m_signals[i]];
        std::erase(watching, this);
        // An inner watch going gives the signal back to the one around it.
        if (watching.empty())
            sigaction(m_signals[i], &m_previous[i], nullptr);
    }
}
