#include "PngSpeedButton.h"

#include "PngImageList.h"

#include <QColorSpace>
#include <QPainter>
#include <QStyleOptionButton>

TPngSpeedButton::TPngSpeedButton(QWidget* parent)
    : QAbstractButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    resize(24, 24);
}

void TPngSpeedButton::SetPngImage(const QImage& image)
{
    m_pngImage = image.isNull() ? QImage() : image.copy();
    // Drawn as stored, without gamma adjustment.
    m_pngImage.setColorSpace(QColorSpace());
    m_fromAction = false;
    update();
}

void TPngSpeedButton::takeImageFrom(const TPngImageList& list, int index)
{
    if (!m_pngImage.isNull() && !m_fromAction)
        return;
    const QImage picture = list.pngImage(index);
    if (picture.isNull())
        return;
    CopyPngFromImageList(m_pngImage, list, index);
    m_fromAction = true;
    update();
}

void TPngSpeedButton::SetPngOptions(TPngOptions options)
{
    if (options == m_options)
        return;
    m_options = options;
    update();
}

void TPngSpeedButton::SetLayout(TButtonLayout layout)
{
    m_layout = layout;
    update();
}

void TPngSpeedButton::SetMargin(int margin)
{
    m_margin = margin;
    update();
}

void TPngSpeedButton::SetSpacing(int spacing)
{
    m_spacing = spacing;
    update();
}

void TPngSpeedButton::SetFlat(bool flat)
{
    m_flat = flat;
    update();
}

QPoint TPngSpeedButton::glyphPosition() const
{
    const QSize client = size();
    const QSize glyph = m_pngImage.isNull() ? QSize(0, 0) : m_pngImage.size();
    QSize caption(0, 0);
    if (!text().isEmpty())
        caption = fontMetrics().boundingRect(rect(), Qt::TextWordWrap, text()).size();

    TButtonLayout layout = m_layout;
    if (layoutDirection() == Qt::RightToLeft) {
        if (layout == blGlyphLeft)
            layout = blGlyphRight;
        else if (layout == blGlyphRight)
            layout = blGlyphLeft;
    }
    const bool horizontal = layout == blGlyphLeft || layout == blGlyphRight;
    const int clientAlong = horizontal ? client.width() : client.height();
    const int glyphAlong = horizontal ? glyph.width() : glyph.height();
    const int captionAlong = horizontal ? caption.width() : caption.height();

    int spacing = m_spacing;
    if (caption.width() == 0 || glyph.width() == 0)
        spacing = 0;
    int margin = m_margin;
    if (margin == -1) {
        margin = spacing == -1 ? (clientAlong - glyphAlong - captionAlong) / 3
                               : (clientAlong - glyphAlong - spacing - captionAlong) / 2;
    }
    QPoint at;
    if (horizontal) {
        at.setY((client.height() - glyph.height() + 1) / 2);
        at.setX(layout == blGlyphLeft ? margin : client.width() - margin - glyph.width());
    } else {
        at.setX((client.width() - glyph.width() + 1) / 2);
        at.setY(layout == blGlyphTop ? margin : client.height() - margin - glyph.height());
    }
    if (isDown())
        at += QPoint(1, 1);
    return at;
}

void TPngSpeedButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // A flat speed button shows its frame only while the pointer is over it or it is down.
    if (!m_flat || isDown() || (m_hover && isEnabled())) {
        QStyleOptionButton option;
        option.initFrom(this);
        option.features = QStyleOptionButton::Flat;
        option.state |= isDown() ? QStyle::State_Sunken : QStyle::State_Raised;
        style()->drawPrimitive(QStyle::PE_PanelButtonTool, &option, &painter, this);
    }
    if (!m_pngImage.isNull()) {
        DrawPngWithOptions(
            m_pngImage, painter, QRect(glyphPosition(), m_pngImage.size()), isEnabled() ? TPngOptions() : m_options);
    }
    if (!text().isEmpty()) {
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextShowMnemonic, text());
    }
}

void TPngSpeedButton::enterEvent(QEnterEvent* event)
{
    m_hover = true;
    update();
    QAbstractButton::enterEvent(event);
}

void TPngSpeedButton::leaveEvent(QEvent* event)
{
    m_hover = false;
    update();
    QAbstractButton::leaveEvent(event);
}
