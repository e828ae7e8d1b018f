#include "DiskWorker.h"

#include "ThreadMailbox.h"

#include <QObject>
#include <QThread>

DiskWorker::DiskWorker(QObject* context)
    : m_mailbox(std::make_unique<ThreadMailbox>())
    , m_thread([this] { run(); })
{
    Q_ASSERT(context->thread() == QThread::currentThread());
}

DiskWorker::~DiskWorker()
{
    {
        const std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_posted.notify_one();
    m_thread.join();
}

void DiskWorker::post(std::function<void()> job, std::function<void()> done)
{
    {
        const std::lock_guard lock(m_mutex);
        m_jobs.emplace_back(std::move(job), std::move(done));
    }
    m_posted.notify_one();
}

void DiskWorker::run()
{
    for (;;) {
        std::pair<std::function<void()>, std::function<void()>> next;
        bool ending = false;
        {
            std::unique_lock lock(m_mutex);
            m_posted.wait(lock, [this] { return m_ending || !m_jobs.empty(); });
            if (m_jobs.empty())
                return;
            next = std::move(m_jobs.front());
            m_jobs.pop_front();
            ending = m_ending;
        }
        next.first();
        // Once ending, the context is going: what was done is done, nobody is told.
        if (!ending && next.second)
            m_mailbox->post(std::move(next.second));
    }
}
