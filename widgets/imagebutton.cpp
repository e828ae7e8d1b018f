#include "imagebutton.h"

#include <QMouseEvent>
#include <QPainter>

TImageButton::TImageButton(QWidget* parent)
    : QWidget(parent)
{
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
