#include "FSProgressBar.h"
#include "LinePanelUnit.h"
#include "MyButtonEx.h"
#include "MyListBox.h"
#include "PngFunctions.h"
#include "PngImageList.h"
#include "PngSpeedButton.h"
#include "imagebutton.h"

#include <QApplication>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <limits>

namespace {

using Rgb = std::tuple<int, int, int>;

Rgb rgbAt(const QImage& image, int x, int y)
{
    const QColor c = image.pixelColor(x, y);
    return {c.red(), c.green(), c.blue()};
}

Rgb rgbOf(TColor color)
{
    const QColor c = toQColor(color);
    return {c.red(), c.green(), c.blue()};
}

QImage solid(int w, int h, QColor colour)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

// A button as every form sets it up.
void formsButton(TMyButtonEx& button)
{
    button.resize(121, 41);
    button.SetDefaultColorFrom(15852245);
    button.SetDefaultColorTo(15849665);
    button.SetClickColorFrom(16576454);
    button.SetClickColorTo(16769224);
    button.SetBorderColor(14401438);
    button.SetCaption("&Import");
}

TEST(MyButtonEx, GradientRowsLeaveAWhiteInnerLine)
{
    QImage image(121, 41, QImage::Format_RGB32);
    image.fill(Qt::white);
    fillVerticalGradient(image, image.rect(), 15852245, 15849665);
    EXPECT_EQ(rgbAt(image, 10, 1), Rgb(255, 255, 255));
    EXPECT_EQ(rgbAt(image, 10, 2), Rgb(212, 226, 241));
    EXPECT_EQ(rgbAt(image, 10, 3), Rgb(212, 225, 241));
    EXPECT_EQ(rgbAt(image, 10, 20), Rgb(203, 221, 241));
    EXPECT_EQ(rgbAt(image, 10, 40), Rgb(193, 216, 241));
    EXPECT_EQ(rgbAt(image, 118, 20), Rgb(203, 221, 241));
    EXPECT_EQ(rgbAt(image, 119, 20), Rgb(255, 255, 255)) << "the last two columns stay";
    EXPECT_EQ(rgbAt(image, 120, 20), Rgb(255, 255, 255));

    QImage flat(20, 10, QImage::Format_RGB32);
    flat.fill(Qt::white);
    fillVerticalGradient(flat, flat.rect(), 15852245, 15852245);
    EXPECT_EQ(rgbAt(flat, 19, 0), Rgb(213, 226, 241)) << "equal colours fill every pixel";

    QImage empty;
    fillVerticalGradient(empty, QRect(0, 0, 5, 5), 1, 2);
}

TEST(MyButtonEx, FacePaintsOutlineShapeAndPressedColours)
{
    TMyButtonEx button;
    formsButton(button);
    button.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));
    QImage face = button.renderFace();
    EXPECT_EQ(rgbAt(face, 60, 0), rgbOf(14401438)) << "outline along the top";
    EXPECT_EQ(rgbAt(face, 60, 40), rgbOf(14401438)) << "and along the bottom row";
    EXPECT_EQ(rgbAt(face, 0, 20), rgbOf(14401438));
    EXPECT_EQ(rgbAt(face, 5, 1), Rgb(255, 255, 255)) << "white line under the top edge";
    EXPECT_EQ(rgbAt(face, 119, 20), Rgb(255, 255, 255)) << "and inside the right edge";
    EXPECT_EQ(rgbAt(face, 3, 2), Rgb(212, 226, 241));
    EXPECT_FALSE(button.mask().contains(QPoint(0, 0))) << "the rounded corner belongs to the parent";
    EXPECT_TRUE(button.mask().contains(QPoint(60, 20)));

    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(60, 20));
    EXPECT_EQ(rgbAt(button.renderFace(), 3, 2), Rgb(198, 238, 252)) << "click colours while pressed";
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(60, 20));

    button.resize(0, 0);
    EXPECT_EQ(button.renderFace().size(), QSize(0, 0));
}

TEST(MyButtonEx, ClickRules)
{
    QWidget window;
    window.resize(300, 100);
    TMyButtonEx button(&window);
    formsButton(button);
    int clicks = 0;
    button.OnClick = [&](TMyButtonEx* sender) {
        EXPECT_EQ(sender, &button);
        ++clicks;
    };
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(60, 20));
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(button.hasFocus());

    // Pressed, dragged out and back, released: nothing, and no re-arming.
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(60, 20));
    EXPECT_TRUE(button.isPressed());
    QTest::mouseMove(&button, QPoint(200, 20));
    QMouseEvent out(QEvent::MouseMove, QPointF(200, 20), QPointF(200, 20), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(&button, &out);
    EXPECT_FALSE(button.isPressed());
    QMouseEvent back(QEvent::MouseMove, QPointF(60, 20), QPointF(60, 20), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(&button, &back);
    EXPECT_FALSE(button.isPressed());
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(60, 20));
    EXPECT_EQ(clicks, 1);

    // The right button does nothing at all.
    button.clearFocus();
    QTest::mousePress(&button, Qt::RightButton, {}, QPoint(60, 20));
    EXPECT_FALSE(button.isPressed());
    EXPECT_FALSE(button.hasFocus());
    QTest::mouseRelease(&button, Qt::RightButton, {}, QPoint(60, 20));
    EXPECT_EQ(clicks, 1);

    // Disabling clears the pressed look at once; a disabled button never clicks.
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(60, 20));
    button.setEnabled(false);
    EXPECT_FALSE(button.isPressed());
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(60, 20));
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(60, 20));
    EXPECT_EQ(clicks, 1);
    button.setEnabled(true);

    // Space and Enter do nothing; Alt plus the accelerator clicks and leaves no pressed look.
    button.setFocus();
    QTest::keyClick(&button, Qt::Key_Space);
    QTest::keyClick(&button, Qt::Key_Return);
    EXPECT_EQ(clicks, 1);
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_I, Qt::AltModifier);
    EXPECT_EQ(clicks, 2);
    EXPECT_FALSE(button.isPressed());
}

TEST(ImageButton, ShowsThePictureOfItsState)
{
    QWidget window;
    window.resize(200, 200);
    TImageButton button(&window);
    button.resize(40, 40);
    button.SetImage(solid(40, 40, Qt::red));
    button.SetImageDown(solid(40, 40, Qt::blue));
    button.SetImageDisable(solid(40, 40, Qt::gray));
    int clicks = 0;
    button.OnClick = [&](TImageButton*) { ++clicks; };
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const auto shown = [&] { return button.grab().toImage().pixelColor(10, 10); };

    // Release before the first paint: the hit rectangle is still empty.
    TImageButton unpainted;
    int early = 0;
    unpainted.OnClick = [&](TImageButton*) { ++early; };
    QTest::mouseClick(&unpainted, Qt::LeftButton, {}, QPoint(1, 1));
    EXPECT_EQ(early, 0);

    QEnterEvent enter(QPointF(10, 10), QPointF(10, 10), QPointF(10, 10));
    QApplication::sendEvent(&button, &enter);
    EXPECT_EQ(shown(), QColor(Qt::red)) << "no ImageOver: the normal picture stays";

    QTest::mousePress(&button, Qt::RightButton, {}, QPoint(10, 10));
    EXPECT_EQ(shown(), QColor(Qt::blue)) << "any button presses it";
    QTest::mouseRelease(&button, Qt::RightButton, {}, QPoint(10, 10));
    EXPECT_EQ(clicks, 0) << "but only the left one clicks";

    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(10, 10));
    QMouseEvent out(QEvent::MouseMove, QPointF(100, 100), QPointF(100, 100), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(&button, &out);
    EXPECT_EQ(shown(), QColor(Qt::red));
    QMouseEvent back(QEvent::MouseMove, QPointF(10, 10), QPointF(10, 10), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(&button, &back);
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(50, 50));
    EXPECT_EQ(clicks, 0);
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(clicks, 1);

    button.SetEnabled(false);
    EXPECT_EQ(shown(), QColor(Qt::gray));
    EXPECT_TRUE(button.isEnabled()) << "the widget itself stays enabled for hints and the mouse";
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(clicks, 1);

    // UseDown draws the pressed picture 2 pixels further, the hit area with it.
    button.SetEnabled(true);
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(10, 10));
    button.grab();
    EXPECT_EQ(button.hitRect(), QRect(2, 2, 40, 40));
    EXPECT_NE(button.grab().toImage().pixelColor(1, 1), QColor(Qt::blue));
    EXPECT_EQ(button.grab().toImage().pixelColor(2, 2), QColor(Qt::blue));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(41, 41));
    EXPECT_EQ(clicks, 2) << "the hit area reaches beyond the control";
}

TEST(FSProgressBar, BarWidthEdgesAndBorder)
{
    TFSProgressBar bar;
    bar.resize(828, 17);
    bar.SetColorBorder(14922381);
    EXPECT_EQ(bar.ColorScheme(), csCustom);
    EXPECT_EQ(bar.BackColorFace(), 13036799u) << "desert colours from the start";

    bar.SetPosition(50);
    QImage image = bar.renderBar();
    EXPECT_EQ(rgbAt(image, 0, 8), rgbOf(14922381));
    EXPECT_EQ(rgbAt(image, 827, 8), rgbOf(14922381));
    EXPECT_EQ(rgbAt(image, 413, 8), rgbAt(image, 2, 15)) << "bar end line at x = 413";
    EXPECT_EQ(rgbAt(image, 412, 8), rgbAt(image, 5, 8)) << "the bar reaches x = 412";
    EXPECT_EQ(rgbAt(image, 414, 8), rgbAt(image, 600, 8)) << "the track beyond it";
    EXPECT_NE(rgbAt(image, 412, 8), rgbAt(image, 414, 8));
    EXPECT_EQ(rgbAt(image, 5, 0), rgbOf(14922381));

    bar.SetPosition(100);
    image = bar.renderBar();
    EXPECT_EQ(rgbAt(image, 826, 8), rgbAt(image, 2, 15)) << "just inside the right border";

    bar.SetPosition(0);
    image = bar.renderBar();
    EXPECT_EQ(rgbAt(image, 1, 1), rgbAt(image, 1, 14)) << "a flat line in the track's row 1 colour";
    EXPECT_EQ(rgbAt(image, 1, 1), rgbAt(image, 300, 1));

    bar.SetPosition(-5);
    EXPECT_EQ(bar.Position(), 0);
    bar.SetMin(200);
    EXPECT_EQ(bar.Min(), 0);
    bar.SetMax(-1);
    EXPECT_EQ(bar.Max(), 100);
}

TEST(FSProgressBar, SchemesAndDegenerateSizesPaint)
{
    TFSProgressBar bar;
    bar.SetColorScheme(csNight);
    bar.SetColorBorder(255);
    EXPECT_EQ(bar.ColorScheme(), csCustom);
    EXPECT_EQ(bar.BackColorFace(), 8404992u);
    EXPECT_EQ(bar.ForeColorGrad(), 15496704u);
    bar.SetColorScheme(csCustom);
    EXPECT_EQ(bar.ColorBorder(), 255u) << "csCustom changes no colour";

    for (TProgressBarOrientation orientation : {pbHorizontal, pbVertical}) {
        bar.SetOrientation(orientation);
        for (QSize size : {QSize(0, 0), QSize(1, 2), QSize(2, 2), QSize(50, 2), QSize(2, 50), QSize(20, 60)}) {
            bar.resize(size);
            bar.SetMax(100);
            bar.SetMin(100);
            bar.SetPosition(150);
            EXPECT_EQ(bar.renderBar().size(), size);
            bar.SetMin(0);
        }
    }
    bar.resize(20, 60);
    bar.SetMin(0);
    bar.SetMax(100);
    bar.SetPosition(50);
    const QImage vertical = bar.renderBar();
    const int t = 60 - 30; // (58 × 50 / 100) + 1 rounded is 30
    EXPECT_EQ(rgbAt(vertical, 5, t), rgbAt(vertical, 17, 57)) << "bar top line in the colour of (W − 3, H − 3)";
}

TEST(FSProgressBar, PositionsFarOutsideTheRangeAndExtremeRangesPaintAtOnce)
{
    for (TProgressBarOrientation orientation : {pbHorizontal, pbVertical}) {
        TFSProgressBar bar;
        bar.SetOrientation(orientation);
        bar.resize(orientation == pbHorizontal ? QSize(200, 16) : QSize(16, 200));
        // A horizontal bar past Max is full; a vertical one's top row has left
        // the image upwards, and its body with it, by Position 3 already.
        bar.SetMax(1);
        bar.SetPosition(orientation == pbHorizontal ? 1 : 3);
        const QImage past = bar.renderBar();
        // The bar's end lies millions of pixels beyond the image: it used to be walked to.
        bar.SetPosition(2500000);
        const QImage beyond = bar.renderBar();
        const QPoint inside = orientation == pbHorizontal ? QPoint(100, 8) : QPoint(8, 100);
        EXPECT_EQ(rgbAt(beyond, inside.x(), inside.y()), rgbAt(past, inside.x(), inside.y()));

        // INT_MIN..INT_MAX: the differences no longer overflow (the sanitizer build checks).
        bar.SetMax(std::numeric_limits<int>::max());
        bar.SetMin(std::numeric_limits<int>::min());
        bar.SetPosition(std::numeric_limits<int>::min());
        const QImage empty = bar.renderBar();
        bar.SetPosition(std::numeric_limits<int>::max());
        EXPECT_EQ(bar.renderBar(), empty) << "the product's 32-bit wrap gives 0 here, as specified";
    }
}

TEST(PngFunctions, FadeAndGrey)
{
    QImage image = solid(4, 4, QColor(0, 255, 0));
    image.setPixelColor(0, 0, QColor(0, 0, 0, 0));
    FadePng(image, 127);
    EXPECT_EQ(qAlpha(image.pixel(1, 1)), 128);
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    FadePng(image, 50);
    EXPECT_EQ(qAlpha(image.pixel(1, 1)), 26) << "128 / 256 × 51 = 25.5, to even";

    QImage opaque(2, 2, QImage::Format_RGB32);
    opaque.fill(QColor(0, 255, 0));
    FadePng(opaque, 50);
    EXPECT_EQ(qAlpha(opaque.pixel(0, 0)), 51);

    QImage green = solid(2, 2, QColor(0, 255, 0));
    GreyPng(green, 255);
    EXPECT_EQ(QColor::fromRgba(green.pixel(0, 0)), QColor(150, 150, 150));

    QImage grey(2, 2, QImage::Format_Grayscale8);
    grey.fill(77);
    FadePng(grey, 100);
    EXPECT_EQ(qAlpha(grey.pixel(0, 0)), 100) << "a grey image without alpha takes the amount as its alpha";
}

TEST(PngImageList, DrawsEnabledDisabledAndScaled)
{
    TPngImageList list;
    list.Add(solid(16, 16, QColor(0, 255, 0)));
    EXPECT_EQ(list.item(0)->Name, "PngImage0");
    const auto drawn = [&list](bool enabled) {
        QImage canvas(40, 40, QImage::Format_ARGB32);
        canvas.fill(Qt::transparent);
        QPainter painter(&canvas);
        list.Draw(painter, 0, 0, 0, enabled);
        list.Draw(painter, 0, 0, 7, enabled); // no such picture: nothing
        return canvas;
    };
    EXPECT_EQ(drawn(true).pixelColor(8, 8), QColor(0, 255, 0));
    QColor disabled = drawn(false).pixelColor(8, 8);
    EXPECT_EQ(disabled.alpha(), 128);
    EXPECT_EQ(disabled.green(), 255) << "faded, in colour";

    list.SetPngOptions(pngBlendOnDisabled | pngGrayscaleOnDisabled);
    disabled = drawn(false).pixelColor(8, 8);
    EXPECT_EQ(disabled.alpha(), 128);
    EXPECT_EQ(disabled.red(), disabled.green()) << "faded and grey";

    list.SetWidth(32);
    list.SetHeight(32);
    const QImage scaled = drawn(true);
    EXPECT_EQ(scaled.pixelColor(30, 30), QColor(0, 255, 0));
    EXPECT_EQ(scaled.pixelColor(33, 33).alpha(), 0);

    QImage copied;
    CopyPngFromImageList(copied, list, 0);
    EXPECT_EQ(copied.size(), QSize(16, 16));
}

TEST(MyListBox, PictureTextAndSelection)
{
    TPngImageList images;
    images.SetWidth(32);
    images.SetHeight(32);
    images.Add(solid(32, 32, QColor(0, 0, 0)));
    TMyListBox list;
    list.resize(300, 120);
    list.setFrameShape(QFrame::NoFrame);
    list.SetImageList(&images);
    list.SetItemHeight(35);
    list.addItem("first.avi");
    list.addItem("second.avi");
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    list.setCurrentRow(1);
    const QImage shot = list.viewport()->grab().toImage();

    EXPECT_EQ(shot.pixelColor(3, 5), list.palette().color(QPalette::Base)) << "4 pixels of margin";
    EXPECT_EQ(shot.pixelColor(4, 1), QColor(0, 0, 0)) << "picture 1 pixel below the top";
    EXPECT_NE(shot.pixelColor(4, 0), QColor(0, 0, 0));
    EXPECT_EQ(shot.pixelColor(35, 32), QColor(0, 0, 0));
    EXPECT_NE(shot.pixelColor(36, 33), QColor(0, 0, 0));
    int firstInk = -1;
    for (int x = 36; x < 120 && firstInk < 0; ++x) {
        for (int y = 0; y < 35; ++y) {
            if (shot.pixelColor(x, y) != list.palette().color(QPalette::Base)) {
                firstInk = x;
                break;
            }
        }
    }
    EXPECT_GE(firstInk, 40) << "text starts 40 pixels from the left";
    EXPECT_LE(firstInk, 43);
    EXPECT_EQ(shot.pixelColor(200, 36), toQColor(16757429)) << "the selected item in lilac";
}

TEST(LinePanel, EdgeLinesAndEmbossedCaption)
{
    TLinePanel panel;
    panel.resize(100, 20);
    panel.SetColor(clWhite);
    panel.SetLineColor(255);
    panel.SetLineBorders(lbTop | lbBottom);
    QImage image = panel.renderPanel();
    for (int x : {0, 50, 99}) {
        EXPECT_EQ(rgbAt(image, x, 0), Rgb(255, 0, 0));
        EXPECT_EQ(rgbAt(image, x, 19), Rgb(255, 0, 0));
    }
    EXPECT_EQ(rgbAt(image, 0, 10), Rgb(255, 255, 255));

    panel.SetLineBorders(lbLeft | lbRight);
    image = panel.renderPanel();
    EXPECT_EQ(rgbAt(image, 0, 10), Rgb(255, 0, 0));
    EXPECT_EQ(rgbAt(image, 99, 10), Rgb(255, 0, 0));

    panel.SetLineBorders({});
    QFont font = panel.font();
    font.setStyleStrategy(QFont::NoAntialias);
    font.setPixelSize(14);
    panel.setFont(font);
    panel.SetCaption("Caption");
    panel.setEnabled(false);
    image = panel.renderPanel();
    bool shadow = false;
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 100; ++x)
            shadow = shadow || image.pixel(x, y) == toQColor(clBtnShadow).rgb();
    }
    EXPECT_TRUE(shadow);
    panel.SetColor(clBlack);
    image = panel.renderPanel();
    bool highlight = false;
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 100; ++x)
            highlight = highlight || image.pixel(x, y) == toQColor(clBtnHighlight).rgb();
    }
    EXPECT_TRUE(highlight) << "the highlight copy shows where the shadow copy does not cover it";
}

TEST(PngSpeedButton, GlyphPlacement)
{
    TPngSpeedButton button;
    button.resize(24, 24);
    button.SetPngImage(solid(16, 16, QColor(0, 0, 255)));
    EXPECT_EQ(button.glyphPosition(), QPoint(4, 4));
    button.setDown(true);
    EXPECT_EQ(button.glyphPosition(), QPoint(5, 5));
    EXPECT_EQ(button.grab().toImage().pixelColor(5, 5), QColor(0, 0, 255));
    button.setDown(false);
    button.setEnabled(false);
    EXPECT_NE(button.grab().toImage().pixelColor(10, 10), QColor(0, 0, 255)) << "drawn faded while disabled";

    TPngImageList list;
    list.Add(solid(16, 16, Qt::red));
    TPngSpeedButton fromAction;
    fromAction.takeImageFrom(list, 0);
    EXPECT_EQ(fromAction.PngImage().pixelColor(0, 0), QColor(Qt::red));
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
