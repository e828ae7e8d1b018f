#include "MessageQueue.h"

#include <QApplication>

MessageQueue::MessageQueue(QWidget* owner)
    : m_owner(owner)
{ }

MessageQueue::~MessageQueue()
{
    *m_alive = false;
}

void MessageQueue::show(QMessageBox::Icon icon, const QString& text)
{
    // Error texts may carry CR LF line ends; the box wants plain line feeds.
    m_pending.push_back({icon, QString(text).replace("\r\n", "\n")});
    if (m_showing)
        return;
    m_showing = true;
    const std::shared_ptr<bool> alive = m_alive;
    while (!m_pending.empty()) {
        const Message message = m_pending.front();
        m_pending.pop_front();
        // On the heap: an owner destroyed while the box is open takes the box with it.
        QPointer<QMessageBox> box
            = new QMessageBox(message.icon, QApplication::applicationName(), message.text, QMessageBox::Ok, m_owner);
        box->exec();
        delete box.data();
        // The queue may have gone with its owner while the box was open.
        if (!*alive)
            return;
    }
    m_showing = false;
}
