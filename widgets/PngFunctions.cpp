#include "PngFunctions.h"

#include "Colors.h"
#include "PngImageList.h"

#include <QPainter>

namespace {

bool isGrey(const QImage& image)
{
    return image.format() == QImage::Format_Grayscale8 || image.format() == QImage::Format_Grayscale16;
}

int scaled(int value, int amount)
{
    return roundHalfEven(value / 256.0 * (amount + 1));
}

} // namespace

void FadePng(QImage& image, int amount)
{
    if (image.isNull())
        return;
    if (!image.hasAlphaChannel() && (isGrey(image) || image.format() == QImage::Format_Indexed8)) {
        image = image.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                line[x] = qRgba(qRed(line[x]), qGreen(line[x]), qBlue(line[x]), amount);
        }
        return;
    }
    image = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = qRgba(qRed(line[x]), qGreen(line[x]), qBlue(line[x]), scaled(qAlpha(line[x]), amount));
    }
}

void GreyPng(QImage& image, int amount)
{
    if (image.isNull() || isGrey(image))
        return;
    const auto grey = [amount](QRgb colour) {
        const int g = roundHalfEven(qRed(colour) * 0.30 + qGreen(colour) * 0.59 + qBlue(colour) * 0.11);
        const auto channel = [&](int c) {
            return (roundHalfEven(c / 256.0 * (256 - amount - 1)) + roundHalfEven(g / 256.0 * (amount + 1))) & 0xFF;
        };
        return qRgba(channel(qRed(colour)), channel(qGreen(colour)), channel(qBlue(colour)), qAlpha(colour));
    };
    if (image.format() == QImage::Format_Indexed8) {
        QList<QRgb> palette = image.colorTable();
        for (QRgb& entry : palette)
            entry = grey(entry);
        image.setColorTable(palette);
        return;
    }
    if (image.format() != QImage::Format_ARGB32 && image.format() != QImage::Format_RGB32)
        image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = grey(line[x]);
    }
}

void DrawPngWithOptions(const QImage& image, QPainter& painter, const QRect& rect, TPngOptions options)
{
    if (image.isNull())
        return;
    if (!options) {
        painter.drawImage(rect, image);
        return;
    }
    QImage copy = image;
    if (options & pngBlendOnDisabled)
        FadePng(copy, 127);
    if (options & pngGrayscaleOnDisabled)
        GreyPng(copy, 255);
    painter.drawImage(rect, copy);
}

void CopyPngFromImageList(QImage& image, const TPngImageList& list, int index)
{
    image = list.pngImage(index);
}
