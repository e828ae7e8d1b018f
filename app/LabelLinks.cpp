#include "LabelLinks.h"

#include "imagebutton.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>

namespace {

class ButtonForwarder final : public QObject {
public:
    ButtonForwarder(QLabel& label, TImageButton& button)
        : QObject(&label)
        , m_button(&button)
    {
        label.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (!m_button)
            return false;
        switch (event->type()) {
        case QEvent::Enter: {
            const QPointF corner(0, 0);
            QEnterEvent enter(corner, corner, m_button->mapToGlobal(corner));
            QApplication::sendEvent(m_button, &enter);
            return false;
        }
        case QEvent::Leave: {
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(m_button, &leave);
            return false;
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: sendLeftButton(QEvent::MouseButtonPress); return true;
        case QEvent::MouseButtonRelease: sendLeftButton(QEvent::MouseButtonRelease); return true;
        default: return false;
        }
    }

private:
    void sendLeftButton(QEvent::Type type)
    {
        const QPointF corner(0, 0);
        const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
        QMouseEvent mouse(type, corner, m_button->mapToGlobal(corner), Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(m_button, &mouse);
    }

    QPointer<TImageButton> m_button;
};

class ClickFilter final : public QObject {
public:
    ClickFilter(QLabel& label, std::function<void()> onClick)
        : QObject(&label)
        , m_onClick(std::move(onClick))
    {
        label.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonPress) {
            m_pressed = static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
            return m_pressed;
        }
        if (event->type() == QEvent::MouseButtonRelease) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            const bool clicked = m_pressed && mouse->button() == Qt::LeftButton
                && static_cast<QWidget*>(watched)->rect().contains(mouse->position().toPoint());
            m_pressed = false;
            if (clicked)
                m_onClick();
            return true;
        }
        return false;
    }

private:
    std::function<void()> m_onClick;
    bool m_pressed = false;
};

} // namespace

void forwardLabelToButton(QLabel& label, TImageButton& button)
{
    new ButtonForwarder(label, button);
}

void onLabelClick(QLabel& label, std::function<void()> onClick)
{
    new ClickFilter(label, std::move(onClick));
}
