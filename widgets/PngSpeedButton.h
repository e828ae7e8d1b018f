#pragma once

#include "PngFunctions.h"

#include <QAbstractButton>
#include <QImage>

class TPngImageList;

enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

// A flat speed button whose glyph is a PNG picture, placed by the speed
// button's glyph-and-caption layout and drawn with its alpha channel; while
// disabled it gets the look PngOptions asks for.
class TPngSpeedButton final : public QAbstractButton {
    Q_OBJECT

public:
    explicit TPngSpeedButton(QWidget* parent = nullptr);

    const QImage& PngImage() const { return m_pngImage; }
    void SetPngImage(const QImage& image);
    TPngOptions PngOptions() const { return m_options; }
    void SetPngOptions(TPngOptions options);
    // Takes picture index of list, as a linked action's picture.
    void takeImageFrom(const TPngImageList& list, int index);

    TButtonLayout Layout() const { return m_layout; }
    void SetLayout(TButtonLayout layout);
    int Margin() const { return m_margin; }
    void SetMargin(int margin);
    int Spacing() const { return m_spacing; }
    void SetSpacing(int spacing);
    bool Flat() const { return m_flat; }
    void SetFlat(bool flat);

    // Where the glyph goes in the current state.
    QPoint glyphPosition() const;

    QSize sizeHint() const override { return {24, 24}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QImage m_pngImage;
    TPngOptions m_options = pngBlendOnDisabled;
    bool m_fromAction = false;
    TButtonLayout m_layout = blGlyphLeft;
    int m_margin = -1;
    int m_spacing = 4;
    bool m_flat = true;
    bool m_hover = false;
};
