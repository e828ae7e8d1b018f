#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QString>

#include <deque>
#include <functional>

// The program's message boxes, shown one at a time and in the order they
// were asked for. Asking never waits: the box opens, modal to its window, and
// the caller goes on (a conversion run keeps running while an item's error is
// on screen); a box asked for while another is open waits for it to close
// instead of stacking on top of it.
class MessageQueue final {
public:
    explicit MessageQueue(QWidget* owner);
    ~MessageQueue();
    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

    // A box titled with the application's name, with a single OK.
    void show(QMessageBox::Icon icon, const QString& text);
    // The same with a button of its own before OK, which runs act and closes the box.
    void show(QMessageBox::Icon icon, const QString& text, const QString& button, std::function<void()> act);

private:
    void showNext();

    struct Message {
        QMessageBox::Icon icon;
        QString text;
        QString button;
        std::function<void()> act;
    };
    QPointer<QWidget> m_owner;
    std::deque<Message> m_pending;
    QPointer<QMessageBox> m_open;
};
