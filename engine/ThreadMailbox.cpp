#include "ThreadMailbox.h"

#include <QCoreApplication>
#include <QThread>

ThreadMailbox::ThreadMailbox(QObject* parent)
    : QObject(parent)
{ }

ThreadMailbox::~ThreadMailbox()
{
    *m_alive = false;
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
        QMetaObject::invokeMethod(this, "deliver", Qt::QueuedConnection);
}

void ThreadMailbox::deliver()
{
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
    static ThreadMailbox* const mailbox = [] {
        auto* made = new ThreadMailbox;
        if (QCoreApplication* application = QCoreApplication::instance())
            made->moveToThread(application->thread());
        return made;
    }();
    return *mailbox;
}
