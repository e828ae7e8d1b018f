#include "MessageQueue.h"

#include <QDialogButtonBox>
#include <QPushButton>

#include <QApplication>

MessageQueue::MessageQueue(QWidget* owner)
    : m_owner(owner)
{ }

MessageQueue::~MessageQueue()
{
    if (m_open) {
        m_open->disconnect();
        delete m_open.data();
    }
}

void MessageQueue::show(QMessageBox::Icon icon, const QString& text)
{
    show(icon, text, {}, nullptr);
}

void MessageQueue::show(QMessageBox::Icon icon, const QString& text, const QString& button, std::function<void()> act)
{
    // Error texts may carry CR LF line ends; the box wants plain line feeds.
    m_pending.push_back({icon, QString(text).replace("\r\n", "\n"), button, std::move(act)});
    if (!m_open)
        showNext();
}

void MessageQueue::showNext()
{
    if (m_pending.empty())
        return;
    const Message message = m_pending.front();
    m_pending.pop_front();
    // Owned by the window: a window that goes takes its open box with it.
    auto* box = new QMessageBox(message.icon, QApplication::applicationName(), message.text, QMessageBox::Ok, m_owner);
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (!message.button.isEmpty()) {
        QPushButton* extra = box->addButton(message.button, QMessageBox::ActionRole);
        // It acts and the box stays, so that what it says can still be read: every
        // other button of a message box closes it.
        if (auto* buttons = box->findChild<QDialogButtonBox*>())
            QObject::disconnect(extra, nullptr, buttons, nullptr);
        QObject::connect(extra, &QPushButton::clicked, box, [act = message.act] {
            if (act)
                act();
        });
    }
    // It blocks its window only: the notice of what comes after a run, a
    // window of its own, stays usable while the end-of-run box is open.
    box->setWindowModality(m_owner ? Qt::WindowModal : Qt::ApplicationModal);
    QObject::connect(box, &QMessageBox::finished, box, [this] {
        m_open = nullptr;
        showNext();
    });
    m_open = box;
    box->show();
}
