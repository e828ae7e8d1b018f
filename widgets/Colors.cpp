#include "Colors.h"

#include <QGuiApplication>
#include <QPalette>

QColor toQColor(TColor color)
{
    if ((color >> 24) == 0xFF) {
        const QPalette palette = QGuiApplication::palette();
        switch (color) {
        case clBtnFace: return palette.color(QPalette::Button);
        case clBtnShadow: return palette.color(QPalette::Dark);
        case clBtnHighlight: return palette.color(QPalette::Light);
        case clHighlight: return palette.color(QPalette::Highlight);
        case clHighlightText: return palette.color(QPalette::HighlightedText);
        default: return palette.color(QPalette::WindowText);
        }
    }
    return QColor(
        static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF), static_cast<int>((color >> 16) & 0xFF));
}
