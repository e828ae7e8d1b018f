#include "LinePanelUnit.h"

#include <QEvent>
#include <QPainter>

TLinePanel::TLinePanel(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(185, 41);
}

void TLinePanel::SetColor(TColor color)
{
    m_color = color;
    update();
}

void TLinePanel::SetLineColor(TColor color)
{
    m_lineColor = color;
    update();
}

void TLinePanel::SetLineBorders(TLineBorders borders)
{
    m_lineBorders = borders;
    update();
}

void TLinePanel::SetCaption(const QString& caption)
{
    m_caption = caption;
    update();
}

void TLinePanel::SetAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    update();
}

void TLinePanel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange)
        update();
    QWidget::changeEvent(event);
}

QImage TLinePanel::renderPanel() const
{
    QImage image(size(), QImage::Format_RGB32);
    if (image.isNull())
        return image;
    image.fill(toQColor(m_color));
    QPainter painter(&image);
    const int r = width();
    const int b = height();
    painter.setPen(toQColor(m_lineColor));
    // Lines exclude their end points, as the panel's edges do.
    if (m_lineBorders & lbTop)
        painter.drawLine(0, 0, r - 1, 0);
    if (m_lineBorders & lbLeft)
        painter.drawLine(0, 0, 0, b - 1);
    if (m_lineBorders & lbRight)
        painter.drawLine(r - 1, 0, r - 1, b - 1);
    if (m_lineBorders & lbBottom)
        painter.drawLine(0, b - 1, r - 1, b - 1);

    if (!m_caption.isEmpty()) {
        painter.setFont(font());
        const int flags
            = static_cast<int>(m_alignment & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter | Qt::TextSingleLine;
        if (isEnabled()) {
            painter.setPen(palette().color(QPalette::WindowText));
            painter.drawText(rect(), flags, m_caption);
        } else {
            painter.setPen(toQColor(clBtnHighlight));
            painter.drawText(rect().translated(1, 1), flags, m_caption);
            painter.setPen(toQColor(clBtnShadow));
            painter.drawText(rect(), flags, m_caption);
        }
    }
    return image;
}

void TLinePanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, renderPanel());
}
