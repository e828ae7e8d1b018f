#include "MyButtonEx.h"

#include "PngFunctions.h"

#include <QBitmap>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QShortcutEvent>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace {

constexpr TColor kDisabledText = 12632256;
constexpr double kCornerRadius = 2.5; // a 5 × 5 corner ellipse

} // namespace

void fillVerticalGradient(QImage& image, const QRect& rect, TColor from, TColor to)
{
    if (image.isNull())
        return;
    const int left = rect.left();
    const int top = rect.top();
    const int right = rect.left() + rect.width();
    const int bottom = rect.top() + rect.height();
    if (from == to) {
        QPainter painter(&image);
        painter.fillRect(rect, toQColor(from));
        return;
    }
    const QColor first = toQColor(from);
    const QColor last = toQColor(to);
    const double height = bottom - top;
    const auto step = [&](int a, int b) { return std::min((b - a) / height, 255.0); };
    const double stepRed = step(first.red(), last.red());
    const double stepGreen = step(first.green(), last.green());
    const double stepBlue = step(first.blue(), last.blue());
    const int width = std::min(right - left - 2, image.width());
    for (int y = std::max(top + 2, 0); y <= bottom - 1 && y < image.height(); ++y) {
        const double offset = y - top;
        const QRgb colour = qRgb(roundHalfEven(stepRed * offset + first.red()) & 0xFF,
            roundHalfEven(stepGreen * offset + first.green()) & 0xFF,
            roundHalfEven(stepBlue * offset + first.blue()) & 0xFF);
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = colour;
    }
}

TMyButtonEx::TMyButtonEx(QWidget* parent)
    : QWidget(parent)
{
    // Only a left press focuses it (by hand, below), not a press of any button.
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(75, 25);
}

void TMyButtonEx::setColor(TColor& field, TColor color)
{
    field = color;
    update();
}

void TMyButtonEx::SetCaption(const QString& caption)
{
    m_caption = caption;
    if (m_shortcutId)
        releaseShortcut(m_shortcutId);
    const QKeySequence mnemonic = QKeySequence::mnemonic(caption);
    m_shortcutId = mnemonic.isEmpty() ? 0 : grabShortcut(mnemonic);
    update();
}

void TMyButtonEx::SetGlyph(const QImage& image)
{
    m_glyph = image.isNull() ? QImage() : image.copy();
    update();
}

void TMyButtonEx::SetDrawFocus(bool drawFocus)
{
    m_drawFocus = drawFocus;
    update();
}

void TMyButtonEx::click()
{
    if (isVisible() && isEnabled() && OnClick)
        OnClick(this);
}

bool TMyButtonEx::event(QEvent* event)
{
    if (event->type() == QEvent::Shortcut) {
        auto* shortcut = static_cast<QShortcutEvent*>(event);
        if (shortcut->shortcutId() == m_shortcutId && isEnabled() && isVisible() && focusPolicy() != Qt::NoFocus) {
            // The click fires as if the button had been pressed and released:
            // nothing stays pressed afterwards.
            m_pressed = true;
            repaint();
            m_pressed = false;
            repaint();
            click();
            return true;
        }
    }
    return QWidget::event(event);
}

void TMyButtonEx::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange) {
        m_pressed = false;
        repaint();
    }
    QWidget::changeEvent(event);
}

void TMyButtonEx::updateShape()
{
    // The window shape: a rounded rectangle one pixel larger than the outline.
    QBitmap mask(width(), height());
    mask.fill(Qt::color0);
    QPainter painter(&mask);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(0, 0, width() + 1, height() + 1), kCornerRadius, kCornerRadius);
    painter.fillPath(shape, Qt::color1);
    painter.end();
    setMask(mask);
    m_shapeSize = size();
}

QImage TMyButtonEx::renderFace() const
{
    const int w = width();
    const int h = height();
    QImage face(w, h, QImage::Format_RGB32);
    face.fill(Qt::white);
    if (w <= 0 || h <= 0)
        return face;

    const QFontMetrics metrics(font());
    const int textWidth = metrics.horizontalAdvance(m_caption);
    const bool hasGlyph = !m_glyph.isNull();
    const int glyphWidth = hasGlyph ? m_glyph.width() : 0;
    const int x0 = hasGlyph ? (w - glyphWidth - textWidth - 3) / 2 : (w - textWidth) / 2;

    fillVerticalGradient(face, face.rect(), m_pressed ? m_clickColorFrom : m_defaultColorFrom,
        m_pressed ? m_clickColorTo : m_defaultColorTo);

    QPainter painter(&face);
    if (hasGlyph) {
        // A glyph taller than the button is centred on it, overhanging both edges.
        const int glyphTop = (h - m_glyph.height()) / 2 + (m_pressed ? 2 : 0);
        const QPoint at(x0 + (m_pressed ? 2 : 0), glyphTop);
        if (isEnabled()) {
            painter.drawImage(at, m_glyph);
        } else {
            QImage faded = m_glyph;
            FadePng(faded, 50);
            painter.drawImage(at, faded);
        }
    }

    const int textLeft = x0 + (hasGlyph ? glyphWidth + (m_pressed ? 5 : 3) : 0);
    const QRect textRect(textLeft, m_pressed ? 2 : 0, textWidth, h);

    painter.setPen(QPen(toQColor(m_borderColor), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), kCornerRadius, kCornerRadius);

    painter.setFont(font());
    painter.setPen(isEnabled() ? palette().color(QPalette::WindowText) : toQColor(kDisabledText));
    painter.drawText(
        textRect, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic | Qt::TextDontClip, m_caption);
    return face;
}

void TMyButtonEx::paintEvent(QPaintEvent*)
{
    if (m_shapeSize != size())
        updateShape();
    QPainter painter(this);
    painter.drawImage(0, 0, renderFace());
    if (hasFocus() && isEnabled() && m_drawFocus) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = QRect(QPoint(4, 4), QPoint(width() - 5, height() - 5));
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

void TMyButtonEx::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !isEnabled())
        return;
    m_pressed = true;
    setFocus(Qt::MouseFocusReason);
    repaint();
}

void TMyButtonEx::mouseMoveEvent(QMouseEvent* event)
{
    if (m_pressed && !rect().contains(event->position().toPoint())) {
        // Leaving disarms the button; coming back does not re-arm it.
        m_pressed = false;
        repaint();
    }
}

void TMyButtonEx::mouseReleaseEvent(QMouseEvent*)
{
    if (!m_pressed)
        return;
    m_pressed = false;
    repaint();
    click();
}

void TMyButtonEx::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    repaint();
}

void TMyButtonEx::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    repaint();
}
