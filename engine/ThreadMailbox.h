#pragma once

#include <QObject>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

// Calls handed in from any thread, run in order on the thread the mailbox
// lives on, from its event loop. The calls travel in a queue of the
// mailbox's own, under its lock; only a plain queued wake-up crosses threads,
// so no function object is shared with Qt's reference counting, which
// ThreadSanitizer cannot see into. Calls still waiting when the mailbox goes
// are dropped.
class ThreadMailbox final : public QObject {
    Q_OBJECT

public:
    explicit ThreadMailbox(QObject* parent = nullptr);
    ~ThreadMailbox() override;

    void post(std::function<void()> call);

    // The mailbox of the application's main thread, for callers that have no
    // object of their own there. Made on first use, which must come after the
    // application object was made.
    static ThreadMailbox& main();

private:
    Q_INVOKABLE void deliver();

    std::mutex m_mutex;
    std::deque<std::function<void()>> m_calls; // under m_mutex
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
