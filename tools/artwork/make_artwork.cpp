// Draws Calvera's artwork: the header, status strip and corner of the main
// window, the tool buttons in their four states, the tabs, the job list's
// state pictures and watermark, the splash picture, the dialogs' pictures and
// the program's icon in the sizes desktops ask for (app-icon-N.png) and
// scalable (app-icon.svg).
//   make_artwork OUTPUT_FOLDER
// tools/artwork/regenerate.sh runs it into resources/art/.

#include <QGuiApplication>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QMap>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

QString folder;

const QColor kNavy(0x15, 0x42, 0x8B);
const QColor kSky(0x81, 0xA4, 0xD1);

QImage canvas(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void save(const QImage& image, const QString& name)
{
    const QString path = folder + "/" + name;
    image.save(path);
    std::printf("%s\n", qPrintable(path));
}

QFont font(int pixels, bool bold = true)
{
    QFont f("Open Sans");
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

// A rounded glossy tile, the face of every tool button.
void drawTile(QPainter& p, const QRectF& r, QColor top, QColor bottom, QColor border)
{
    QPainterPath path;
    path.addRoundedRect(r, 14, 14);
    QLinearGradient fill(r.topLeft(), r.bottomLeft());
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    p.setPen(QPen(border, 1.2));
    p.setBrush(fill);
    p.drawPath(path);
    // the gloss on the upper half
    QPainterPath gloss;
    gloss.addRoundedRect(r.adjusted(3, 3, -3, -r.height() / 2), 11, 11);
    QLinearGradient shine(r.topLeft(), QPointF(r.left(), r.center().y()));
    shine.setColorAt(0, QColor(255, 255, 255, 150));
    shine.setColorAt(1, QColor(255, 255, 255, 20));
    p.setPen(Qt::NoPen);
    p.setBrush(shine);
    p.drawPath(gloss);
}

using Glyph = std::function<void(QPainter&, const QRectF&, const QColor&)>;

void glyphAdd(QPainter& p, const QRectF& r, const QColor& c)
{
    // a film frame with a plus
    const QRectF film = r.adjusted(4, 8, -10, -8);
    p.setPen(QPen(c, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(film, 4, 4);
    for (int i = 0; i < 4; ++i) {
        const double x = film.left() + 6 + i * (film.width() - 12) / 3.0;
        p.drawPoint(QPointF(x, film.top() + 5));
        p.drawPoint(QPointF(x, film.bottom() - 5));
    }
    const QPointF plus(r.right() - 8, r.bottom() - 8);
    p.setBrush(c);
    p.setPen(Qt::NoPen);
    p.drawEllipse(plus, 10, 10);
    p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(plus + QPointF(-5, 0), plus + QPointF(5, 0));
    p.drawLine(plus + QPointF(0, -5), plus + QPointF(0, 5));
}

void glyphConvert(QPainter& p, const QRectF& r, const QColor& c)
{
    // two arrows chasing each other
    p.setPen(QPen(c, 4, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    const QRectF ring = r.adjusted(6, 6, -6, -6);
    p.drawArc(ring, 30 * 16, 150 * 16);
    p.drawArc(ring, 210 * 16, 150 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    const QPointF a(ring.center().x() + ring.width() / 2 * std::cos(M_PI / 6),
        ring.center().y() - ring.height() / 2 * std::sin(M_PI / 6));
    p.drawPolygon(QPolygonF({a + QPointF(-8, -4), a + QPointF(6, -6), a + QPointF(2, 8)}));
    const QPointF b(2 * ring.center().x() - a.x(), 2 * ring.center().y() - a.y());
    p.drawPolygon(QPolygonF({b + QPointF(8, 4), b + QPointF(-6, 6), b + QPointF(-2, -8)}));
}

void glyphStop(QPainter& p, const QRectF& r, const QColor& c)
{
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRoundedRect(r.adjusted(10, 10, -10, -10), 5, 5);
}

void glyphPause(QPainter& p, const QRectF& r, const QColor& c)
{
    // two bars
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    const QRectF area = r.adjusted(12, 9, -12, -9);
    const double bar = area.width() * 0.34;
    p.drawRoundedRect(QRectF(area.left(), area.top(), bar, area.height()), 4, 4);
    p.drawRoundedRect(QRectF(area.right() - bar, area.top(), bar, area.height()), 4, 4);
}

void glyphResume(QPainter& p, const QRectF& r, const QColor& c)
{
    // a triangle pointing on
    p.setPen(QPen(c, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(c);
    const QRectF area = r.adjusted(14, 9, -9, -9);
    p.drawPolygon(QPolygonF({area.topLeft(), QPointF(area.right(), area.center().y()), area.bottomLeft()}));
}

void glyphSupport(QPainter& p, const QRectF& r, const QColor& c)
{
    p.setPen(QPen(c, 4));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(r.adjusted(4, 4, -4, -4));
    p.setFont(font(30));
    p.drawText(r, Qt::AlignCenter, "?");
}

// A tool button picture, 112 × 101: the tile over the upper part, the label
// area below it left free (the window puts a label there).
QImage toolButton(const Glyph& glyph, QColor accent, int state)
{
    QImage image = canvas(112, 101);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF tile(10.5, 4.5, 91, 76);
    QColor top(255, 255, 255, 0), bottom(255, 255, 255, 0), border(255, 255, 255, 0);
    QColor ink = accent;
    switch (state) {
    case 0: // normal: the glyph alone on the window
        break;
    case 1: // hover
        top = QColor(255, 255, 255, 170);
        bottom = QColor(210, 228, 250, 170);
        border = QColor(255, 255, 255, 220);
        break;
    case 2: // pressed
        top = QColor(190, 212, 240, 200);
        bottom = QColor(235, 243, 252, 200);
        border = QColor(120, 150, 200, 220);
        break;
    default: // disabled
        ink = QColor(150, 160, 175);
        break;
    }
    if (state == 1 || state == 2)
        drawTile(p, tile, top, bottom, border);
    const QRectF glyphRect(31, 14, 50, 50);
    glyph(p, glyphRect.translated(state == 2 ? 1 : 0, state == 2 ? 1 : 0), ink);
    return image;
}

// The program's icon as paths on a 256-pixel grid, each filled and stroked:
// painted into every PNG size and written out as the SVG, so that all of them
// have the same shapes.
struct IconShape {
    QPainterPath path;
    QBrush fill = Qt::NoBrush;
    QPen pen = Qt::NoPen;
};

// A blue tile holding a film frame and the convert arrows.
std::vector<IconShape> appIconShapes()
{
    QLinearGradient face(0, 16, 0, 240);
    face.setColorAt(0, QColor(0x4A, 0x7C, 0xC8));
    face.setColorAt(1, kNavy);
    std::vector<IconShape> shapes;
    QPainterPath tile;
    tile.addRoundedRect(QRectF(16, 16, 224, 224), 44, 44);
    shapes.push_back({tile, face, QPen(QColor(0x0E, 0x2E, 0x63), 6)});
    // The film frame, with its perforations.
    QPainterPath frame;
    frame.addRoundedRect(QRectF(52, 60, 152, 112), 12, 12);
    shapes.push_back({frame, QColor(255, 255, 255, 235)});
    QPainterPath holes;
    for (int i = 0; i < 5; ++i) {
        holes.addRect(QRectF(64 + i * 28, 68, 14, 12));
        holes.addRect(QRectF(64 + i * 28, 152, 14, 12));
    }
    shapes.push_back({holes, face});
    QPainterPath picture;
    picture.addRect(QRectF(60, 86, 136, 60));
    shapes.push_back({picture, kSky});
    // The convert glyph: two arrows chasing each other.
    const QColor gold(0xF2, 0xB7, 0x2E);
    const QRectF ring = QRectF(98, 86, 60, 60).adjusted(6, 6, -6, -6);
    QPainterPath arcs;
    for (double start : {30.0, 210.0}) {
        arcs.arcMoveTo(ring, start);
        arcs.arcTo(ring, start, 150);
    }
    shapes.push_back({arcs, Qt::NoBrush, QPen(gold, 4, Qt::SolidLine, Qt::RoundCap)});
    const QPointF a(ring.center().x() + ring.width() / 2 * std::cos(M_PI / 6),
        ring.center().y() - ring.height() / 2 * std::sin(M_PI / 6));
    const QPointF b(2 * ring.center().x() - a.x(), 2 * ring.center().y() - a.y());
    QPainterPath heads;
    heads.addPolygon(QPolygonF({a + QPointF(-8, -4), a + QPointF(6, -6), a + QPointF(2, 8)}));
    heads.closeSubpath();
    heads.addPolygon(QPolygonF({b + QPointF(8, 4), b + QPointF(-6, 6), b + QPointF(-2, -8)}));
    heads.closeSubpath();
    shapes.push_back({heads, gold});
    return shapes;
}

QImage appIcon(int size)
{
    QImage image = canvas(size, size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 256.0, size / 256.0);
    for (const IconShape& shape : appIconShapes()) {
        p.setPen(shape.pen);
        p.setBrush(shape.fill);
        p.drawPath(shape.path);
    }
    return image;
}

QString svgNumber(double value)
{
    return QString::number(value, 'g', 6);
}

// A colour and, where it is not opaque, its opacity, as SVG attributes.
QString svgPaint(const char* attribute, const QColor& colour)
{
    QString text = QString(" %1=\"%2\"").arg(attribute, colour.name(QColor::HexRgb));
    if (colour.alpha() != 255)
        text += QString(" %1-opacity=\"%2\"").arg(attribute, svgNumber(colour.alphaF()));
    return text;
}

// Subpaths that end where they began are closed, so that a stroke joins there too.
QString svgPathData(const QPainterPath& path)
{
    QStringList data;
    QPointF start;
    const auto close = [&](QPointF last) {
        if (!data.isEmpty() && last == start)
            data << "Z";
    };
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        const QString point = svgNumber(e.x) + " " + svgNumber(e.y);
        switch (e.type) {
        case QPainterPath::MoveToElement:
            if (i > 0)
                close(path.elementAt(i - 1));
            start = e;
            data << "M" + point;
            break;
        case QPainterPath::LineToElement: data << "L" + point; break;
        case QPainterPath::CurveToElement: data << "C" + point; break;
        case QPainterPath::CurveToDataElement: data << point; break;
        }
    }
    if (path.elementCount() > 0)
        close(path.elementAt(path.elementCount() - 1));
    return data.join(' ');
}

// The icon's shapes as an SVG document; gradients go by their user-space ends,
// as QPainter takes them.
QByteArray appIconSvg()
{
    QString definitions;
    QString body;
    int gradients = 0;
    for (const IconShape& shape : appIconShapes()) {
        QString element = "  <path d=\"" + svgPathData(shape.path) + "\"";
        if (shape.path.fillRule() == Qt::OddEvenFill)
            element += " fill-rule=\"evenodd\"";
        if (shape.fill.style() == Qt::LinearGradientPattern) {
            const auto* linear = static_cast<const QLinearGradient*>(shape.fill.gradient());
            const QString id = QString("gradient%1").arg(gradients++);
            definitions += QString("    <linearGradient id=\"%1\" gradientUnits=\"userSpaceOnUse\" x1=\"%2\" y1=\"%3\" "
                                   "x2=\"%4\" y2=\"%5\">\n")
                               .arg(id, svgNumber(linear->start().x()), svgNumber(linear->start().y()),
                                   svgNumber(linear->finalStop().x()), svgNumber(linear->finalStop().y()));
            for (const QGradientStop& stop : linear->stops())
                definitions += QString("      <stop offset=\"%1\"%2/>\n")
                                   .arg(svgNumber(stop.first), svgPaint("stop-color", stop.second));
            definitions += "    </linearGradient>\n";
            element += " fill=\"url(#" + id + ")\"";
        } else if (shape.fill.style() == Qt::SolidPattern) {
            element += svgPaint("fill", shape.fill.color());
        } else {
            element += " fill=\"none\"";
        }
        if (shape.pen.style() != Qt::NoPen) {
            static const QMap<Qt::PenCapStyle, QString> caps {
                {Qt::FlatCap, "butt"}, {Qt::SquareCap, "square"}, {Qt::RoundCap, "round"}};
            static const QMap<Qt::PenJoinStyle, QString> joins {
                {Qt::MiterJoin, "miter"}, {Qt::BevelJoin, "bevel"}, {Qt::RoundJoin, "round"}};
            element += svgPaint("stroke", shape.pen.color());
            element += QString(" stroke-width=\"%1\" stroke-linecap=\"%2\" stroke-linejoin=\"%3\"")
                           .arg(svgNumber(shape.pen.widthF()), caps.value(shape.pen.capStyle(), "square"),
                               joins.value(shape.pen.joinStyle(), "bevel"));
        }
        body += element + "/>\n";
    }
    QString svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                  "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" viewBox=\"0 0 256 256\">\n";
    if (!definitions.isEmpty())
        svg += "  <defs>\n" + definitions + "  </defs>\n";
    svg += body + "</svg>\n";
    return svg.toUtf8();
}

// A tab: normal (0), hovered (1), held down (2), or the chosen one (3),
// which is white, open towards its page and marked by a navy bar on top.
QImage tab(int state)
{
    QImage image = canvas(66, 29);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(0.5, 0.5, 65, 34), 6, 6);
    p.setClipRect(0, 0, 66, 29);
    if (state == 3) {
        p.setPen(QPen(kNavy, 1));
        p.setBrush(Qt::white);
        p.drawPath(path);
        QPainterPath bar;
        bar.addRoundedRect(QRectF(0.5, 0.5, 65, 12), 6, 6);
        p.setClipRect(0, 0, 66, 4);
        p.setPen(Qt::NoPen);
        p.setBrush(kNavy);
        p.drawPath(bar);
        return image;
    }
    QLinearGradient fill(0, 0, 0, 29);
    const QColor top = state == 1 ? QColor(255, 255, 255) : QColor(246, 250, 255);
    const QColor bottom = state == 2 ? QColor(214, 230, 250) : QColor(225, 237, 252);
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    p.setPen(QPen(QColor(0x8D, 0xB2, 0xE3), 1));
    p.setBrush(fill);
    p.drawPath(path);
    return image;
}

// The job list's state pictures: a white glyph on a round button whose colour
// tells the state at a glance: slate for waiting, blue while converting,
// green when done, red when failed, amber when stopped by the user, teal
// when skipped as converted already.
QImage statePicture(int kind)
{
    struct Look {
        QColor light, dark, rim;
    };
    static const Look looks[] = {
        {QColor(190, 200, 215), QColor(100, 115, 140), QColor(85, 98, 120)},
        {QColor(130, 190, 250), QColor(30, 100, 200), QColor(25, 80, 170)},
        {QColor(140, 220, 110), QColor(40, 140, 40), QColor(30, 110, 30)},
        {QColor(250, 140, 120), QColor(190, 40, 30), QColor(150, 30, 25)},
        {QColor(255, 215, 120), QColor(205, 135, 20), QColor(165, 105, 15)},
        {QColor(130, 220, 210), QColor(20, 130, 130), QColor(15, 100, 100)},
    };
    const Look& look = looks[std::clamp(kind, 0, 5)];
    QImage image = canvas(16, 16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient ball(QPointF(6, 5), 10);
    ball.setColorAt(0, look.light);
    ball.setColorAt(1, look.dark);
    p.setPen(QPen(look.rim, 1));
    p.setBrush(ball);
    p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    const QPointF c(8, 8);
    switch (kind) {
    case 0: // clock hands: queued
        p.drawPolyline(QPolygonF({c + QPointF(0, -4.5), c, c + QPointF(3, 2)}));
        break;
    case 1: // right arrow: converting
        p.drawLine(c + QPointF(-4, 0), c + QPointF(4, 0));
        p.drawPolyline(QPolygonF({c + QPointF(1, -3), c + QPointF(4, 0), c + QPointF(1, 3)}));
        break;
    case 2: // check mark: done
        p.drawPolyline(QPolygonF({c + QPointF(-4, 0), c + QPointF(-1, 3), c + QPointF(4, -3)}));
        break;
    case 3: // cross: failed
        p.drawLine(c + QPointF(-3, -3), c + QPointF(3, 3));
        p.drawLine(c + QPointF(-3, 3), c + QPointF(3, -3));
        break;
    case 5: // two chevrons, as on a player's skip button: skipped
        p.drawPolyline(QPolygonF({c + QPointF(-4, -3), c + QPointF(-1, 0), c + QPointF(-4, 3)}));
        p.drawPolyline(QPolygonF({c + QPointF(0.5, -3), c + QPointF(3.5, 0), c + QPointF(0.5, 3)}));
        break;
    default: // a square, as on a player's stop button: stopped
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(c - QPointF(3, 3), QSizeF(6, 6)));
        break;
    }
    return image;
}

// A disc, for the job list's watermark and the splash.
void drawDisc(QPainter& p, const QPointF& centre, double radius, int alpha)
{
    QRadialGradient shine(centre - QPointF(radius / 3, radius / 3), radius * 1.3);
    shine.setColorAt(0, QColor(255, 255, 255, alpha));
    shine.setColorAt(0.5, QColor(200, 215, 235, alpha));
    shine.setColorAt(1, QColor(150, 175, 210, alpha));
    p.setPen(QPen(QColor(120, 140, 170, alpha), 1.5));
    p.setBrush(shine);
    p.drawEllipse(centre, radius, radius);
    p.setBrush(QColor(0xE9, 0xEA, 0xEE, 255));
    p.setPen(QPen(QColor(120, 140, 170, alpha), 1));
    p.drawEllipse(centre, radius * 0.18, radius * 0.18);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, alpha / 2), 1));
    for (double r = radius * 0.3; r < radius * 0.95; r += radius * 0.08)
        p.drawEllipse(centre, r, r);
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    folder = argc > 1 ? argv[1] : "art";
    QDir().mkpath(folder);

    // Header: a soft glow behind the tool row, fading into the window colour.
    {
        QImage image = canvas(400, 200);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        // Fades out before the picture's edges so that no edge shows.
        QRadialGradient glow(QPointF(200, 50), 190, QPointF(200, 50));
        glow.setColorAt(0, QColor(255, 255, 255, 90));
        glow.setColorAt(0.6, QColor(255, 255, 255, 35));
        glow.setColorAt(1, QColor(255, 255, 255, 0));
        p.fillRect(image.rect(), glow);
        save(image, "header.png");
    }
    {
        QImage image(16, 21, QImage::Format_RGB32);
        QPainter p(&image);
        QLinearGradient strip(0, 0, 0, 21);
        strip.setColorAt(0, QColor(0x5D, 0x82, 0xB6));
        strip.setColorAt(1, QColor(0x3F, 0x63, 0x98));
        p.fillRect(image.rect(), strip);
        p.setPen(QColor(0xA8, 0xC4, 0xE6));
        p.drawLine(0, 0, 15, 0);
        save(image, "status.png");
    }
    {
        QImage image = canvas(11, 11);
        for (int y = 0; y < 11; ++y) {
            for (int x = 0; x < 11; ++x) {
                if ((x + y) >= 10 && x % 3 == 1 && y % 3 == 1)
                    image.setPixelColor(x, y, QColor(230, 238, 250));
            }
        }
        save(image, "corner.png");
    }

    const struct {
        const char* name;
        Glyph glyph;
        QColor accent;
    } buttons[] = {
        {"add", glyphAdd, QColor(0x15, 0x42, 0x8B)},
        {"convert", glyphConvert, QColor(0x1F, 0x7A, 0x3A)},
        {"stop", glyphStop, QColor(0xB0, 0x30, 0x30)},
        // Convert turns into these while a run goes on.
        {"pause", glyphPause, QColor(0xB0, 0x78, 0x10)},
        {"resume", glyphResume, QColor(0x1F, 0x7A, 0x3A)},
        {"support", glyphSupport, QColor(0x15, 0x42, 0x8B)},
    };
    const char* states[] = {"normal", "over", "down", "disabled"};
    for (const auto& button : buttons) {
        for (int state = 0; state < 4; ++state)
            save(toolButton(button.glyph, button.accent, state), QString("%1-%2.png").arg(button.name, states[state]));
    }
    for (int state = 0; state < 3; ++state)
        save(tab(state), QString("tab-%1.png").arg(states[state]));
    save(tab(3), "tab-chosen.png");
    for (int kind = 0; kind < 6; ++kind)
        save(statePicture(kind), QString("state-%1.png").arg(kind));

    {
        QImage image(256, 256, QImage::Format_RGB32);
        image.fill(QColor(0xE9, 0xEA, 0xEE));
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        drawDisc(p, QPointF(140, 140), 105, 60);
        save(image, "watermark.png");
    }
    {
        QImage image(570, 330, QImage::Format_RGB32);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        QLinearGradient sky(0, 0, 0, 330);
        sky.setColorAt(0, QColor(0x9C, 0xBD, 0xE6));
        sky.setColorAt(1, QColor(0x4A, 0x72, 0xAE));
        p.fillRect(image.rect(), sky);
        drawDisc(p, QPointF(430, 170), 120, 230);
        p.setPen(Qt::white);
        p.setFont(font(54));
        p.drawText(QRect(40, 90, 360, 80), Qt::AlignLeft | Qt::AlignVCenter, "Calvera");
        p.setFont(font(17, false));
        p.drawText(QRect(44, 165, 360, 30), Qt::AlignLeft, "video converter");
        p.setFont(font(12, false));
        p.setPen(QColor(230, 238, 250));
        p.drawText(QRect(44, 290, 360, 20), Qt::AlignLeft, "Starting…");
        image.save(folder + "/splash.jpg", "JPG", 92);
        std::printf("%s/splash.jpg\n", qPrintable(folder));
    }
    {
        QImage image = canvas(16, 16);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(0xB0, 0x84, 0x20), 1));
        p.setBrush(QColor(0xF2, 0xC9, 0x4C));
        p.drawRoundedRect(QRectF(1.5, 3.5, 13, 10), 1.5, 1.5);
        p.setBrush(QColor(0xF8, 0xDD, 0x80));
        p.drawRoundedRect(QRectF(1.5, 5.5, 13, 8), 1.5, 1.5);
        save(image, "folder.png");
    }
    {
        QImage image = canvas(32, 32);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(0x5A, 0x78, 0xA8), 1.2));
        p.setBrush(QColor(250, 252, 255));
        p.drawPolygon(QPolygonF({{5.5, 2.5}, {20.5, 2.5}, {27.5, 9.5}, {27.5, 29.5}, {5.5, 29.5}}));
        p.setBrush(kSky);
        p.drawRect(QRectF(9.5, 13.5, 14, 10));
        p.setBrush(kNavy);
        p.setPen(Qt::NoPen);
        p.drawPolygon(QPolygonF({{14.5, 15.5}, {19.5, 18.5}, {14.5, 21.5}}));
        save(image, "file.png");
    }
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        save(appIcon(size), QString("app-icon-%1.png").arg(size));
    QFile svg(folder + "/app-icon.svg");
    if (!svg.open(QIODevice::WriteOnly) || svg.write(appIconSvg()) < 0) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(svg.fileName()));
        return 1;
    }
    std::printf("%s\n", qPrintable(svg.fileName()));
    return 0;
}
