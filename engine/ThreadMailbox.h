#pragma once

#include <QObject>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class QSocketNotifier;

// Calls handed in from any thread, run in order on the thread the mailbox
// was made on, from its event loop. The calls travel in a queue of the
// mailbox's own, under its lock, and the wake-up is a write to an eventfd
// that the thread's event loop watches: nothing of Qt's is shared between
// the threads, so ThreadSanitizer, which cannot see Qt's own locks, sees
// every hand-over ordered. Calls still waiting when the mailbox goes are
// dropped.
class ThreadMailbox final : public QObject {
    Q_OBJECT

public:
    explicit ThreadMailbox(QObject* parent = nullptr);
    ~ThreadMailbox() override;

    void post(std::function<void()> call);

    // The mailbox of the application's main thread, for callers that have no
    // mailbox of their own there. Its first use must be on that thread.
    static ThreadMailbox& main();

private:
    void deliver();

    int m_wake = -1; // eventfd
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_calls; // under m_mutex
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
