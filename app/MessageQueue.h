#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QString>

#include <deque>
#include <memory>

// The program's message boxes, shown one at a time and in the order they
// were asked for. A box asked for while another is open (an error of the next
// item, say, while the previous one is still on screen) waits for it to close
// instead of stacking on top of it; the call that shows the first box returns
// once every box behind it has been closed too.
class MessageQueue final {
public:
    explicit MessageQueue(QWidget* owner);
    ~MessageQueue();
    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

    // A modal box titled with the application's name, with a single OK.
    void show(QMessageBox::Icon icon, const QString& text);

private:
    struct Message {
        QMessageBox::Icon icon;
        QString text;
    };
    QPointer<QWidget> m_owner;
    std::deque<Message> m_pending;
    bool m_showing = false;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
