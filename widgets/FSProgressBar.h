#pragma once

#include "Colors.h"

#include <QImage>
#include <QWidget>

enum TColorScheme {
    csCustom,
    csDesert,
    csGrass,
    csSilver,
    csSky,
    csRose,
    csSun,
    csHackers,
    csNight,
    csVelvet,
    csMetal,
    csViolet,
    csToxic,
};

enum TProgressBarOrientation { pbHorizontal, pbVertical };

// A progress bar painted as two line gradients, the track and the bar, inside
// a 1-pixel border, with twelve colour schemes.
class TFSProgressBar final : public QWidget {
    Q_OBJECT

public:
    explicit TFSProgressBar(QWidget* parent = nullptr);

    TColor ColorBorder() const { return m_colorBorder; }
    TColor BackColorFace() const { return m_backColorFace; }
    TColor BackColorGrad() const { return m_backColorGrad; }
    TColor ForeColorFace() const { return m_foreColorFace; }
    TColor ForeColorGrad() const { return m_foreColorGrad; }
    // Setting one colour makes the scheme csCustom.
    void SetColorBorder(TColor color) { setColor(m_colorBorder, color); }
    void SetBackColorFace(TColor color) { setColor(m_backColorFace, color); }
    void SetBackColorGrad(TColor color) { setColor(m_backColorGrad, color); }
    void SetForeColorFace(TColor color) { setColor(m_foreColorFace, color); }
    void SetForeColorGrad(TColor color) { setColor(m_foreColorGrad, color); }
    TColorScheme ColorScheme() const { return m_colorScheme; }
    void SetColorScheme(TColorScheme scheme);

    int Min() const { return m_min; }
    int Max() const { return m_max; }
    int Position() const { return m_position; }
    int Step() const { return m_step; }
    TProgressBarOrientation Orientation() const { return m_orientation; }
    // Ignored when below Min.
    void SetPosition(int position);
    // Ignored when above Max.
    void SetMin(int min);
    // Ignored when below Min.
    void SetMax(int max);
    void SetStep(int step);
    void SetOrientation(TProgressBarOrientation orientation);

    // The bar as it is painted now.
    QImage renderBar() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void setColor(TColor& field, TColor color);

    TColor m_colorBorder = 0;
    TColor m_backColorFace = 0;
    TColor m_backColorGrad = 0;
    TColor m_foreColorFace = 0;
    TColor m_foreColorGrad = 0;
    TColorScheme m_colorScheme = csCustom;
    int m_min = 0;
    int m_max = 100;
    int m_position = 0;
    int m_step = 10;
    TProgressBarOrientation m_orientation = pbHorizontal;
};
