#pragma once

#include "Colors.h"

#include <QImage>
#include <QWidget>

#include <functional>

// The program's text push button: a rounded outline around a vertical
// gradient face, an optional PNG glyph left of the caption, and a pressed
// look that moves the content 2 pixels down. It has no hover look; Space and
// Enter do nothing; Alt plus the caption's "&" letter clicks it.
class TMyButtonEx final : public QWidget {
    Q_OBJECT

public:
    explicit TMyButtonEx(QWidget* parent = nullptr);

    TColor DefaultColorFrom() const { return m_defaultColorFrom; }
    TColor DefaultColorTo() const { return m_defaultColorTo; }
    TColor ClickColorFrom() const { return m_clickColorFrom; }
    TColor ClickColorTo() const { return m_clickColorTo; }
    TColor OverColorFrom() const { return m_overColorFrom; }
    TColor OverColorTo() const { return m_overColorTo; }
    TColor BorderColor() const { return m_borderColor; }
    void SetDefaultColorFrom(TColor color) { setColor(m_defaultColorFrom, color); }
    void SetDefaultColorTo(TColor color) { setColor(m_defaultColorTo, color); }
    void SetClickColorFrom(TColor color) { setColor(m_clickColorFrom, color); }
    void SetClickColorTo(TColor color) { setColor(m_clickColorTo, color); }
    void SetOverColorFrom(TColor color) { setColor(m_overColorFrom, color); }
    void SetOverColorTo(TColor color) { setColor(m_overColorTo, color); }
    void SetBorderColor(TColor color) { setColor(m_borderColor, color); }

    QString Caption() const { return m_caption; }
    void SetCaption(const QString& caption);
    const QImage& Glyph() const { return m_glyph; }
    // A copy of image; a null image empties the glyph.
    void SetGlyph(const QImage& image);
    bool DrawFocus() const { return m_drawFocus; }
    void SetDrawFocus(bool drawFocus);
    bool Default() const { return m_default; }
    void SetDefault(bool isDefault) { m_default = isDefault; }
    bool isPressed() const { return m_pressed; }

    std::function<void(TMyButtonEx* sender)> OnClick;

    // The face as it is painted now, without the window shape.
    QImage renderFace() const;

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void setColor(TColor& field, TColor color);
    void click();
    void updateShape();

    TColor m_defaultColorFrom = 15658734;
    TColor m_defaultColorTo = 15000804;
    TColor m_clickColorFrom = 15000804;
    TColor m_clickColorTo = 15658734;
    TColor m_overColorFrom = 0;
    TColor m_overColorTo = 0;
    TColor m_borderColor = 12961221;
    QString m_caption;
    QImage m_glyph;
    bool m_drawFocus = false;
    bool m_default = false;
    bool m_pressed = false;
    int m_shortcutId = 0;
    QSize m_shapeSize; // the size the window shape was made for
};

// Fills rect of image top to bottom from `from` to `to`, leaving the first two
// rows and the last two columns as they were (the button's white inner line).
void fillVerticalGradient(QImage& image, const QRect& rect, TColor from, TColor to);
