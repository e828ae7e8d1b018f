#pragma once

#include <QColor>

#include <cmath>
#include <cstdint>

// A colour as the widgets' colour properties take it: 0x00BBGGRR (9126421 is
// RGB #15428B), or a system colour when the top byte is 0xFF.
using TColor = std::uint32_t;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clBtnFace = 0xFF00000F;
inline constexpr TColor clBtnShadow = 0xFF000010;
inline constexpr TColor clBtnHighlight = 0xFF000014;
inline constexpr TColor clHighlight = 0xFF00000D;
inline constexpr TColor clHighlightText = 0xFF00000E;

// The RGB colour a stored value stands for; system colours come from the
// application palette.
QColor toQColor(TColor color);
// The stored value of an RGB colour.
inline TColor fromQColor(const QColor& color)
{
    return static_cast<TColor>(color.red() | (color.green() << 8) | (color.blue() << 16));
}

// Rounds to the nearest integer, ties to even.
inline int roundHalfEven(double value)
{
    return static_cast<int>(std::nearbyint(value));
}
