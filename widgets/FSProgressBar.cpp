#include "FSProgressBar.h"

#include <QPainter>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cmath>

namespace {

struct SchemeColors {
    TColor border, backFace, backGrad, foreFace, foreGrad;
};

constexpr std::array<SchemeColors, 13> kSchemes = {{
    {0, 0, 0, 0, 0}, // csCustom sets nothing
    {22144, 13036799, 16777215, 10215167, 31671},
    {1404727, 13366748, 16777215, 13235675, 2670946},
    {7039851, 14737632, 16777215, 15790320, 11382189},
    {11753728, 16771797, 16777215, 16772829, 16756318},
    {157, 14145535, 16777215, 15263999, 8421631},
    {25700, 13565951, 16777215, 14680063, 376028},
    {0, 21760, 32768, 9563310, 43520},
    {0, 8404992, 11031552, 16763799, 15496704},
    {0, 89, 4605580, 10461170, 4737211},
    {0, 4605510, 7303023, 13553358, 7566195},
    {0, 8388672, 13238373, 16758747, 16724889},
    {0, 2905686, 4094843, 12377822, 4624014},
}};

enum class Direction { rows, columns };

void setPixel(QImage& image, int x, int y, QRgb colour)
{
    if (x >= 0 && y >= 0 && x < image.width() && y < image.height())
        reinterpret_cast<QRgb*>(image.scanLine(y))[x] = colour;
}

// The bar's line gradient: n + 1 lines from the first colour to the last, line
// i drawn at absolute row or column i, from L (or T) up to L + Rt (or T + B).
void lineGradient(
    QImage& image, int left, int top, int right, int bottom, TColor firstColor, TColor lastColor, Direction direction)
{
    const int n = direction == Direction::rows ? bottom - top : right - left;
    if (n < 0)
        return;
    const QColor first = toQColor(firstColor);
    const QColor last = toQColor(lastColor);
    const double divisor = n == 0 ? 1.0 : n;
    const double stepRed = (last.red() - first.red()) / divisor;
    const double stepGreen = (last.green() - first.green()) / divisor;
    const double stepBlue = (last.blue() - first.blue()) / divisor;
    double red = first.red();
    double green = first.green();
    double blue = first.blue();
    // Only what falls on the image is walked: a line past its edge, or the
    // part of a line beyond it, would be clipped pixel by pixel otherwise.
    const int lastLine = std::min(n, (direction == Direction::rows ? image.height() : image.width()) - 1);
    const int from = std::max(direction == Direction::rows ? left : top, 0);
    const int to = static_cast<int>(
        std::min<std::int64_t>(direction == Direction::rows ? std::int64_t {left} + right : std::int64_t {top} + bottom,
            direction == Direction::rows ? image.width() : image.height()));
    for (int i = 0; i <= lastLine; ++i) {
        const QRgb colour = qRgb(roundHalfEven(red) & 0xFF, roundHalfEven(green) & 0xFF, roundHalfEven(blue) & 0xFF);
        for (int along = from; along < to; ++along) {
            if (direction == Direction::rows)
                setPixel(image, along, i, colour);
            else
                setPixel(image, i, along, colour);
        }
        red += stepRed;
        green += stepGreen;
        blue += stepBlue;
    }
}

QRgb pixelOr(const QImage& image, int x, int y, QRgb fallback)
{
    return image.valid(x, y) ? image.pixel(x, y) : fallback;
}

} // namespace

TFSProgressBar::TFSProgressBar(QWidget* parent)
    : QWidget(parent)
{
    SetColorScheme(csDesert);
    resize(200, 16);
}

void TFSProgressBar::setColor(TColor& field, TColor color)
{
    field = color;
    m_colorScheme = csCustom;
    update();
}

void TFSProgressBar::SetColorScheme(TColorScheme scheme)
{
    m_colorScheme = scheme;
    if (scheme != csCustom) {
        const SchemeColors& colors = kSchemes[static_cast<std::size_t>(scheme)];
        m_colorBorder = colors.border;
        m_backColorFace = colors.backFace;
        m_backColorGrad = colors.backGrad;
        m_foreColorFace = colors.foreFace;
        m_foreColorGrad = colors.foreGrad;
    }
    update();
}

void TFSProgressBar::SetPosition(int position)
{
    if (position < m_min)
        return;
    m_position = position;
    repaint();
}

void TFSProgressBar::SetMin(int min)
{
    if (min > m_max)
        return;
    m_min = min;
    repaint();
}

void TFSProgressBar::SetMax(int max)
{
    if (max < m_min)
        return;
    m_max = max;
    repaint();
}

void TFSProgressBar::SetStep(int step)
{
    m_step = step;
    repaint();
}

void TFSProgressBar::SetOrientation(TProgressBarOrientation orientation)
{
    m_orientation = orientation;
    update();
}

QImage TFSProgressBar::renderBar() const
{
    const int w = width();
    const int h = height();
    QImage image(std::max(w, 0), std::max(h, 0), QImage::Format_RGB32);
    image.fill(Qt::white);
    if (image.isNull())
        return image;
    // An empty range shows an empty bar. The differences are taken in 64 bits
    // (INT_MIN..INT_MAX is a valid range); the product keeps its 32-bit wrap.
    const double range = static_cast<double>(std::int64_t {m_max} - m_min);
    const double done = static_cast<double>(
        static_cast<std::int32_t>(static_cast<std::uint32_t>(m_orientation == pbHorizontal ? w - 2 : h - 2)
            * static_cast<std::uint32_t>(std::int64_t {m_position} - m_min)));
    // A bar end beyond the image looks the same wherever it is: kept just past the edge.
    const auto clampedRound = [](double value, int low, int high) {
        return roundHalfEven(std::clamp(value, static_cast<double>(low), static_cast<double>(high)));
    };

    if (m_orientation == pbHorizontal) {
        const int p = range == 0 ? 0 : clampedRound(done / range, -1, w + 1);
        lineGradient(image, 1, 1, w - 1, h - 1, m_backColorFace, m_backColorGrad, Direction::rows);
        if (p > 0)
            lineGradient(image, 0, 0, p, h, m_foreColorFace, m_foreColorGrad, Direction::rows);
        const QRgb edge = pixelOr(image, 1, 1, qRgb(255, 255, 255));
        for (int y = 1; y < h - 1; ++y)
            setPixel(image, 1, y, edge);
        const QRgb end = pixelOr(image, 2, h - 2, edge);
        for (int y = 1; y < h - 1; ++y)
            setPixel(image, p, y, end);
    } else {
        const double q = range == 0 ? 0 : done / std::abs(range);
        const int t = h - clampedRound(q + 1, -1, 2 * h + 2);
        lineGradient(image, 1, 1, w - 1, h, m_backColorFace, m_backColorGrad, Direction::columns);
        lineGradient(image, 0, t, w, h, m_foreColorFace, m_foreColorGrad, Direction::columns);
        const QRgb bottom = pixelOr(image, 2, h - 2, qRgb(255, 255, 255));
        for (int x = 1; x < w - 1; ++x)
            setPixel(image, x, h - 2, bottom);
        const QRgb top = pixelOr(image, w - 3, h - 3, bottom);
        for (int x = 1; x < w - 1; ++x)
            setPixel(image, x, t, top);
    }
    const QRgb border = toQColor(m_colorBorder).rgb();
    for (int x = 0; x < w; ++x) {
        setPixel(image, x, 0, border);
        setPixel(image, x, h - 1, border);
    }
    for (int y = 0; y < h; ++y) {
        setPixel(image, 0, y, border);
        setPixel(image, w - 1, y, border);
    }
    return image;
}

void TFSProgressBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, renderBar());
}
