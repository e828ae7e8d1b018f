#pragma once

#include "Colors.h"

#include <QFlags>
#include <QImage>
#include <QWidget>

enum TLineBorder {
    lbTop = 0x1,
    lbLeft = 0x2,
    lbRight = 0x4,
    lbBottom = 0x8,
};
Q_DECLARE_FLAGS(TLineBorders, TLineBorder)
Q_DECLARE_OPERATORS_FOR_FLAGS(TLineBorders)

// A flat container: a filled background, optional 1-pixel lines along its
// edges and a one-line caption, embossed while the panel is disabled.
class TLinePanel final : public QWidget {
    Q_OBJECT

public:
    explicit TLinePanel(QWidget* parent = nullptr);

    TColor Color() const { return m_color; }
    void SetColor(TColor color);
    TColor LineColor() const { return m_lineColor; }
    void SetLineColor(TColor color);
    TLineBorders LineBorders() const { return m_lineBorders; }
    void SetLineBorders(TLineBorders borders);
    QString Caption() const { return m_caption; }
    void SetCaption(const QString& caption);
    Qt::Alignment Alignment() const { return m_alignment; }
    void SetAlignment(Qt::Alignment alignment);
    // The inner margin that children keep from the panel's edges.
    void SetBorderWidth(int width) { setContentsMargins(width, width, width, width); }

    // The panel as it is painted now.
    QImage renderPanel() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    TColor m_color = clBtnFace;
    TColor m_lineColor = 12164479;
    TLineBorders m_lineBorders;
    QString m_caption;
    Qt::Alignment m_alignment = Qt::AlignHCenter;
};
