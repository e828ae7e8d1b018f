#pragma once

#include <csignal>
#include <functional>
#include <memory>

class QSocketNotifier;

// While it lives, Ctrl-C, termination requests and a closed terminal
// (SIGINT, SIGTERM, SIGHUP) reach the event loop instead of ending the
// process on the spot, so that a running ffmpeg can be ended before the
// program goes. The handler gets the signal's number. The signals' earlier
// handling comes back when the watch goes.
class StopSignalWatch final {
public:
    explicit StopSignalWatch(std::function<void(int signal)> handler);
    ~StopSignalWatch();
    StopSignalWatch(const StopSignalWatch&) = delete;
    StopSignalWatch& operator=(const StopSignalWatch&) = delete;

private:
    std::function<void(int signal)> m_handler;
    std::unique_ptr<QSocketNotifier> m_notifier;
    struct sigaction m_previous[3] {};
};
