#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

class QObject;
class ThreadMailbox;

// One thread for the work that may wait on a slow disk (putting files and
// journal lines on it, publishing outputs), so that neither the window nor the
// readers of running items wait for it. Jobs run one after another in the
// order they were posted, so what one item writes stays in its order.
class DiskWorker final {
public:
    // The done parts of jobs run on context's thread (the one making the
    // worker), from its event loop, while the worker lives.
    explicit DiskWorker(QObject* context);
    // Runs the jobs still waiting, without their done parts, then ends the thread.
    ~DiskWorker();
    DiskWorker(const DiskWorker&) = delete;
    DiskWorker& operator=(const DiskWorker&) = delete;

    // Runs job on the worker, then done on the context's thread.
    void post(std::function<void()> job, std::function<void()> done);

private:
    void run();

    std::unique_ptr<ThreadMailbox> m_mailbox; // on the context's thread
    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<std::pair<std::function<void()>, std::function<void()>>> m_jobs; // under m_mutex
    bool m_ending = false; // under m_mutex
    std::thread m_thread;
};
