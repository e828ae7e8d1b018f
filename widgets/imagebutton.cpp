#include "imagebutton.h"

#include <QMouseEvent>
#include <QKeyEvent>
#include <QPainter>

TImageButton::TImageButton(QWidget* parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::TabFocus);
    setMouseTracking(false);
}

void TImageButton::setPicture(QImage& field, const QImage& image)
{
    field = image.isNull() ? QImage() : image.copy();
    update();
}

void TImageButton::SetUseDown(bool useDown)
{
    m_useDown = useDown;
    update();
}

void TImageButton::SetChosen(bool chosen)
{
    m_chosen = chosen;
    update();
}

void TImageButton::SetEnabled(bool enabled)
{
    m_enabled = enabled;
    update();
}

void TImageButton::paintEvent(QPaintEvent*)
{
    const QImage* picture = &m_image;
    QPoint at(0, 0);
    if (!m_enabled) {
        picture = &m_imageDisable;
    } else if (m_chosen && !m_imageChosen.isNull()) {
        picture = &m_imageChosen;
    } else if (m_pressed) {
        picture = m_imageDown.isNull() ? &m_imageOver : &m_imageDown;
        if (m_useDown)
            at = QPoint(2, 2);
    } else if (m_hover && !m_imageOver.isNull()) {
        picture = &m_imageOver;
    }
    m_hitRect = picture->isNull() ? QRect() : QRect(at, picture->size());
    if (picture->isNull())
        return;
    QPainter painter(this);
    painter.drawImage(at, *picture);
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        painter.drawRect(m_hitRect.adjusted(1, 1, -2, -2));
    }
}

void TImageButton::keyPressEvent(QKeyEvent* event)
{
    const bool click = event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!click || event->modifiers() != Qt::NoModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    if (m_enabled && OnClick)
        OnClick(this);
}

void TImageButton::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    update();
}

void TImageButton::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    update();
}

void TImageButton::enterEvent(QEnterEvent* event)
{
    m_hover = true;
    update();
    QWidget::enterEvent(event);
}

void TImageButton::leaveEvent(QEvent* event)
{
    m_hover = false;
    update();
    QWidget::leaveEvent(event);
}

void TImageButton::mousePressEvent(QMouseEvent* event)
{
    QWidget::mousePressEvent(event);
    event->accept();
    m_pressed = true;
    update();
}

void TImageButton::mouseMoveEvent(QMouseEvent* event)
{
    QWidget::mouseMoveEvent(event);
    event->accept();
    if (!m_hitRect.contains(event->position().toPoint())) {
        m_pressed = false;
        update();
    }
}

void TImageButton::mouseReleaseEvent(QMouseEvent* event)
{
    QWidget::mouseReleaseEvent(event);
    event->accept();
    m_pressed = false;
    update();
    if (m_hitRect.contains(event->position().toPoint()) && m_enabled && event->button() == Qt::LeftButton && OnClick)
        OnClick(this);
}
