#pragma once

#include <csignal>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

class QSocketNotifier;

// While it lives, the given signals reach the event loop instead of acting
// on the spot, so that the program can do what they ask at a safe moment
// (end a running ffmpeg before going, hold it, redraw). The handler gets the
// signal's number; the latest watch of a signal has it. The signals' earlier
// handling comes back when the watch goes.
class SignalWatch final {
public:
    SignalWatch(std::initializer_list<int> watched, std::function<void(int signal)> handler);
    ~SignalWatch();
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

private:
    friend struct SignalDispatch;
    std::vector<int> m_signals;
    std::function<void(int signal)> m_handler;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::vector<struct sigaction> m_previous;
};

// Ctrl-C, termination requests and a closed terminal (SIGINT, SIGTERM, SIGHUP).
class StopSignalWatch final {
public:
    explicit StopSignalWatch(std::function<void(int signal)> handler)
        : m_watch({SIGINT, SIGTERM, SIGHUP}, std::move(handler))
    { }

private:
    SignalWatch m_watch;
};
