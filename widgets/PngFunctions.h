#pragma once

#include <QFlags>
#include <QImage>

class QPainter;
class QRect;
class TPngImageList;

enum TPngOption {
    pngBlendOnDisabled = 0x1,
    pngGrayscaleOnDisabled = 0x2,
};
Q_DECLARE_FLAGS(TPngOptions, TPngOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TPngOptions)

// PNG pictures are QImages; these operations give them their disabled looks.

// Lowers the opacity: alpha becomes alpha / 256 × (amount + 1), rounded.
void FadePng(QImage& image, int amount);
// Moves the colours toward grey; 255 makes them grey entirely.
void GreyPng(QImage& image, int amount);
// Draws image into rect with its alpha; with options, a faded and/or grey copy.
void DrawPngWithOptions(const QImage& image, QPainter& painter, const QRect& rect, TPngOptions options);
// The picture at index of list; an empty image when there is none.
void CopyPngFromImageList(QImage& image, const TPngImageList& list, int index);
