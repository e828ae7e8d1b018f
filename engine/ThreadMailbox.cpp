#include "ThreadMailbox.h"

#include <QSocketNotifier>

#include <stdexcept>
#include <sys/eventfd.h>
#include <unistd.h>

ThreadMailbox::ThreadMailbox(QObject* parent)
    : QObject(parent)
    , m_wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (m_wake < 0)
        throw std::runtime_error("Calvera cannot make an eventfd to wake its event loop");
    m_notifier = std::make_unique<QSocketNotifier>(m_wake, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &ThreadMailbox::deliver);
}

ThreadMailbox::~ThreadMailbox()
{
    *m_alive = false;
    m_notifier.reset();
    ::close(m_wake);
}

void ThreadMailbox::post(std::function<void()> call)
{
    bool wake = false;
    {
        const std::lock_guard lock(m_mutex);
        wake = m_calls.empty();
        m_calls.push_back(std::move(call));
    }
    // One wake-up serves every call posted before it is delivered.
    if (wake)
        ::eventfd_write(m_wake, 1);
}

void ThreadMailbox::deliver()
{
    eventfd_t wakes = 0;
    ::eventfd_read(m_wake, &wakes);
    const std::shared_ptr<bool> alive = m_alive;
    for (;;) {
        std::function<void()> call;
        {
            const std::lock_guard lock(m_mutex);
            if (m_calls.empty())
                return;
            call = std::move(m_calls.front());
            m_calls.pop_front();
        }
        call();
        // A call may have ended the mailbox's owner, and the mailbox with it.
        if (!*alive)
            return;
    }
}

ThreadMailbox& ThreadMailbox::main()
{
    // Never destroyed: calls may still be posted while the program ends.
    static ThreadMailbox* const mailbox = new ThreadMailbox;
    return *mailbox;
}
