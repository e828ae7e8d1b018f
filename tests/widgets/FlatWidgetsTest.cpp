#include "FlatEditUnit.h"
#include "MyFlatHintUnit.h"
#include "menuDraw.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCursor>
#include <QElapsedTimer>
#include <QMenu>
#include <QApplication>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <limits>
#include <memory>

namespace {

QColor at(QWidget& widget, int x, int y)
{
    return widget.grab().toImage().pixelColor(x, y);
}

void wheel(QWidget& widget, int delta)
{
    QWheelEvent event(QPointF(5, 5), widget.mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, delta), Qt::NoButton,
        Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&widget, &event);
}

TEST(FlatEdit, FrameFollowsFocusAndHover)
{
    QWidget form;
    form.resize(300, 100);
    TMyFlatEdit edit(&form);
    TMyFlatEdit other(&form);
    other.move(0, 50);
    edit.SetColorBorder(255); // red
    edit.SetColorFlat(65280); // green
    edit.SetColorFocused(16711680); // blue
    EXPECT_FALSE(edit.ParentColor()) << "setting ColorFlat stops following the parent";
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    other.setFocus();

    EXPECT_EQ(at(edit, 0, 5), QColor(255, 0, 0));
    EXPECT_EQ(at(edit, 1, 5), QColor(0, 255, 0));
    EXPECT_EQ(at(edit, 2, 5), QColor(0, 255, 0));

    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&edit, &enter);
    EXPECT_FALSE(edit.isActiveLook()) << "another flat edit holds the focus";
    form.setFocus();
    other.clearFocus();
    QApplication::sendEvent(&edit, &enter);
    EXPECT_TRUE(edit.isActiveLook());
    EXPECT_EQ(at(edit, 2, 5), QColor(0, 0, 255));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&edit, &leave);
    EXPECT_FALSE(edit.isActiveLook());
    edit.setFocus();
    EXPECT_EQ(at(edit, 1, 5), QColor(0, 0, 255));
    EXPECT_EQ(at(edit, 0, 5), QColor(255, 0, 0));

    EXPECT_EQ(edit.height(), QFontMetrics(edit.font()).height() + 6);
    QFont larger = edit.font();
    larger.setPixelSize(30);
    edit.setFont(larger);
    EXPECT_EQ(edit.height(), QFontMetrics(larger).height() + 6);
}

TEST(FlatEdit, FollowsTheParentColour)
{
    QWidget form;
    QPalette palette = form.palette();
    palette.setColor(QPalette::Window, QColor(10, 20, 30));
    form.setPalette(palette);
    TMyFlatEdit edit(&form);
    EXPECT_EQ(edit.ColorFlat(), 10u | (20u << 8) | (30u << 16));
    palette.setColor(QPalette::Window, QColor(40, 50, 60));
    form.setPalette(palette);
    EXPECT_EQ(edit.ColorFlat(), 40u | (50u << 8) | (60u << 16));
}

TEST(FlatEdit, IntegerModeFiltersKeysAndSteps)
{
    TMyFlatEdit edit;
    edit.SetValueType(evtInteger);
    edit.show();
    edit.setFocus();
    edit.setText("0");
    edit.setCursorPosition(1);
    QTest::keyClick(&edit, Qt::Key_7);
    EXPECT_EQ(edit.text(), "70") << "a digit typed on 0 goes in front of it";
    edit.setCursorPosition(0);
    QTest::keyClick(&edit, Qt::Key_0);
    EXPECT_EQ(edit.text(), "70") << "no leading zeros";
    QTest::keyClick(&edit, Qt::Key_A);
    EXPECT_EQ(edit.text(), "70");
    edit.setText("123");
    edit.selectAll();
    QTest::keyClick(&edit, Qt::Key_Delete);
    EXPECT_EQ(edit.text(), "123") << "Delete does nothing, even with a selection";
    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(edit.text(), "0");
    edit.setText("5");
    edit.setCursorPosition(1);
    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(edit.text(), "0");

    // Stepping: no upper bound with MaxValue 0, bounds otherwise.
    edit.setText("3");
    QTest::keyClick(&edit, Qt::Key_Up);
    wheel(edit, 120);
    EXPECT_EQ(edit.text(), "5");
    edit.SetMaxValue(5);
    QTest::keyClick(&edit, Qt::Key_Up);
    EXPECT_EQ(edit.text(), "5");
    edit.setText("1");
    QTest::keyClick(&edit, Qt::Key_Down);
    wheel(edit, -120);
    EXPECT_EQ(edit.text(), "0") << "MinValue 0 stops stepping down at 0";
    EXPECT_EQ(edit.asInteger(), 0);

    QSignalSpy errors(&edit, &TMyCustomFlatEdit::integerError);
    edit.setText("abc");
    QTest::keyClick(&edit, Qt::Key_Up);
    EXPECT_EQ(edit.text(), "abc");
    EXPECT_EQ(edit.asInteger(), 0);
    ASSERT_EQ(errors.count(), 2);
    EXPECT_EQ(errors.at(0).at(0).toString(), "'abc' is not a valid integer value");
    edit.setText("+-5");
    EXPECT_EQ(edit.asInteger(), 0) << "one sign at most";
    EXPECT_EQ(errors.count(), 3);
    edit.setText(" -7 ");
    EXPECT_EQ(edit.asInteger(), -7);
    EXPECT_EQ(errors.count(), 3);
}

TEST(FlatEdit, SteppingNeverLeavesTheIntegerRange)
{
    TMyFlatEdit edit;
    edit.show();
    edit.setFocus();
    edit.SetValueType(evtInteger);
    edit.SetMinValue(std::numeric_limits<int>::min());
    edit.setText("2147483647");
    QTest::keyClick(&edit, Qt::Key_Up);
    wheel(edit, 120);
    EXPECT_EQ(edit.text(), "2147483647");
    edit.setText("-2147483648");
    QTest::keyClick(&edit, Qt::Key_Down);
    wheel(edit, -120);
    EXPECT_EQ(edit.text(), "-2147483648");
}

TEST(FlatEdit, FloatAndFreeTextModes)
{
    TMyFlatEdit edit;
    edit.show();
    edit.setFocus();
    edit.SetValueType(evtFloat);
    edit.setText("2");
    QTest::keyClick(&edit, Qt::Key_3);
    QTest::keyClick(&edit, Qt::Key_Up);
    wheel(edit, 120);
    EXPECT_EQ(edit.text(), "2") << "a float edit takes no typed characters and does not step";
    EXPECT_EQ(edit.asInteger(), 2);

    edit.SetValueType(evDefault);
    edit.setText("");
    QTest::keyClicks(&edit, "a/b 0");
    EXPECT_EQ(edit.text(), "a/b 0");
    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(edit.text(), "a/b ");
    wheel(edit, 120);
    EXPECT_EQ(edit.text(), "a/b ");
    EXPECT_EQ(edit.asInteger(), 0);
}

TEST(FlatComboBox, FrameArrowAndDropDown)
{
    TMyFlatComboBox combo;
    combo.resize(200, 30);
    combo.SetColorBorder(255);
    combo.SetColor(16777215);
    combo.SetColorArrowBackground(65280);
    combo.SetColorArrow(16711680);
    QImage image = combo.renderCombo();
    EXPECT_EQ(image.pixelColor(0, 15), QColor(255, 0, 0));
    EXPECT_EQ(image.pixelColor(1, 15), QColor(255, 255, 255));
    const int boxLeft = 200 - 13;
    EXPECT_EQ(image.pixelColor(boxLeft, 15), QColor(255, 0, 0)) << "arrow box frame";
    EXPECT_EQ(image.pixelColor(boxLeft + 2, 5), QColor(0, 255, 0)) << "arrow box fill";
    const int x0 = boxLeft + 13 / 2 - 6;
    const int y0 = 30 / 2 - 1;
    EXPECT_EQ(image.pixelColor(x0 + 6, y0 + 2), QColor(0, 0, 255)) << "closed: the tip points down";
    EXPECT_EQ(image.pixelColor(x0 + 4, y0), QColor(0, 0, 255));
    EXPECT_NE(image.pixelColor(x0 + 4, y0 + 2), QColor(0, 0, 255));

    combo.setEnabled(false);
    image = combo.renderCombo();
    EXPECT_EQ(image.pixelColor(x0 + 4, y0), toQColor(8421504)) << "grey arrow";
    EXPECT_EQ(image.pixelColor(x0 + 7, y0 + 3), QColor(255, 255, 255)) << "white shadow one pixel off";
    combo.setEnabled(true);

    EXPECT_EQ(combo.dropDownHeight(), 10) << "no items: a 10-pixel list";
    combo.show();
    combo.showPopup();
    EXPECT_FALSE(combo.isDroppedDown()) << "an empty list drops nothing down";
    combo.addItems({"one", "two", "three"});
    const int line = roundHalfEven(QFontMetrics(combo.font()).height() * 9.0 / 8.0);
    EXPECT_EQ(combo.dropDownHeight(), 3 * (line - 2) + 4);
    for (int i = 0; i < 20; ++i)
        combo.addItem(QString::number(i));
    EXPECT_EQ(combo.DropDownCount(), 8);
    EXPECT_EQ(combo.dropDownHeight(), 8 * (line - 2) + 4) << "at most DropDownCount rows";

    combo.show();
    combo.showPopup();
    EXPECT_TRUE(combo.isDroppedDown());
    EXPECT_EQ(combo.view()->window()->height(), combo.dropDownHeight());
    image = combo.renderCombo();
    EXPECT_EQ(image.pixelColor(x0 + 4, y0 + 2), QColor(0, 0, 255)) << "open: the tip points up";
    EXPECT_NE(image.pixelColor(x0 + 4, y0), QColor(0, 0, 255));
    combo.hidePopup();
}

TEST(FlatComboBox, EveryRowOfTheDropDownListShowsWhole)
{
    // As the Option page's and the dialogs' drop-down lists are: a 16-pixel font.
    for (const int entries : {1, 2, 3, 8}) {
        TMyFlatComboBox combo;
        QFont font("Trebuchet MS");
        font.setPixelSize(16);
        combo.setFont(font);
        combo.resize(120, 30);
        for (int i = 1; i <= entries; ++i)
            combo.addItem(QString::number(i));
        combo.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&combo));
        combo.showPopup();
        QAbstractItemView& list = *combo.view();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(list.window()));
        EXPECT_EQ(list.window()->height(), combo.dropDownHeight());
        const QRect shown = list.viewport()->rect();
        const int visible = std::min(entries, combo.DropDownCount());
        for (int row = 0; row < visible; ++row) {
            const QRect entry = list.visualRect(combo.model()->index(row, 0));
            EXPECT_EQ(entry.height(), combo.dropDownRowHeight()) << entries << " entries, row " << row;
            EXPECT_TRUE(entry.top() >= shown.top() && entry.bottom() <= shown.bottom())
                << entries << " entries: row " << row << " is cut, " << entry.top() << ".." << entry.bottom()
                << " in 0.." << shown.bottom();
        }
        EXPECT_GE(combo.dropDownRowHeight(), QFontMetrics(font).height()) << "a row holds a line of text";
        combo.hidePopup();
    }
}

TEST(FlatComboBox, AnUnavailableEntryIsGreyedSaysWhyAndCannotBeChosen)
{
    TMyFlatComboBox combo;
    combo.resize(300, 30);
    combo.addItems({"MP4", "VAAPI", "WebM", "HEVC"});
    combo.setCurrentIndex(0);
    combo.setItemUnavailable(1, "no render device");
    combo.setItemUnavailable(3, "no encoder libx265");
    combo.setItemUnavailable(3, "no encoder hevc"); // said again: the newer reason only
    EXPECT_EQ(combo.itemText(1), "VAAPI (unavailable: no render device)");
    EXPECT_EQ(combo.itemText(3), "HEVC (unavailable: no encoder hevc)");
    EXPECT_EQ(combo.itemData(1, Qt::ToolTipRole).toString(), "no render device");
    EXPECT_TRUE(combo.isItemAvailable(0));
    EXPECT_FALSE(combo.isItemAvailable(1));
    EXPECT_FALSE(combo.isItemAvailable(7)) << "no such entry";

    // The keyboard passes over it, both ways, and stops at the last available one.
    combo.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&combo));
    combo.setFocus();
    QTest::keyClick(&combo, Qt::Key_Down);
    EXPECT_EQ(combo.currentIndex(), 2);
    QTest::keyClick(&combo, Qt::Key_Down);
    EXPECT_EQ(combo.currentIndex(), 2) << "the last entry cannot be chosen";
    QTest::keyClick(&combo, Qt::Key_Up);
    EXPECT_EQ(combo.currentIndex(), 0);
    QTest::keyClick(&combo, Qt::Key_End);
    EXPECT_EQ(combo.currentIndex(), 2);
    QTest::keyClick(&combo, Qt::Key_V);
    EXPECT_EQ(combo.currentIndex(), 2) << "nor by typing its first letter";

    // The mouse cannot choose it in the drop-down list, which greys it.
    QSignalSpy activated(&combo, &QComboBox::activated);
    combo.showPopup();
    QAbstractItemView& list = *combo.view();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(list.window()));
    const QRect unavailable = list.visualRect(combo.model()->index(1, 0));
    const QImage rows = list.viewport()->grab().toImage();
    const auto darkest = [&](const QRect& row) {
        const QRect inside = row & rows.rect();
        int lightness = 255;
        for (int y = inside.top(); y <= inside.bottom(); ++y)
            for (int x = inside.left(); x <= inside.right(); ++x)
                lightness = std::min(lightness, rows.pixelColor(x, y).lightness());
        return lightness;
    };
    EXPECT_GE(darkest(unavailable), toQColor(10526880).lightness() - 8) << "greyed text, nothing darker";
    EXPECT_LT(darkest(list.visualRect(combo.model()->index(0, 0))), 100) << "the others in the text colour";
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, unavailable.center());
    EXPECT_EQ(combo.currentIndex(), 2) << "the click chose nothing new";
    for (const QList<QVariant>& chosen : activated)
        EXPECT_NE(chosen.value(0).toInt(), 1);
    if (!combo.isDroppedDown())
        combo.showPopup();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(list.window()));
    const QRect available = list.visualRect(combo.model()->index(0, 0));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, available.center());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !combo.isDroppedDown(); }, 2000));
    EXPECT_EQ(combo.currentIndex(), 0) << "an available entry is chosen as ever";

    // Made unavailable while current, it stays current, shown greyed.
    const QImage before = combo.renderCombo();
    combo.setItemUnavailable(0, "gone");
    EXPECT_EQ(combo.currentIndex(), 0);
    EXPECT_EQ(combo.currentText(), "MP4 (unavailable: gone)");
    EXPECT_NE(combo.renderCombo(), before);

    // Without a current entry the placeholder shows, greyed.
    combo.setPlaceholderText("(several)");
    combo.setCurrentIndex(-1);
    const QImage placeholder = combo.renderCombo();
    bool grey = false;
    for (int y = 0; y < placeholder.height() && !grey; ++y)
        for (int x = 4; x < 100 && !grey; ++x)
            grey = placeholder.pixelColor(x, y) == toQColor(10526880);
    EXPECT_TRUE(grey);
}

TEST(FlatHint, PlacementByScreenQuarter)
{
    QWidget form;
    TMyFlatHint settings(&form);
    const QRect screen(0, 0, 1000, 800);
    int direction = -1;
    const QString text = "add video files";
    const QRect topLeft = TMyFlatHintWindow::hintRect(settings, text, {100, 100}, screen, direction);
    EXPECT_EQ(direction, 1);
    EXPECT_EQ(topLeft.topLeft(), QPoint(112, 112));
    const QRect topRight = TMyFlatHintWindow::hintRect(settings, text, {900, 100}, screen, direction);
    EXPECT_EQ(direction, 0);
    EXPECT_EQ(topRight.topLeft(), QPoint(900 - topRight.width() - 5, 105));
    const QRect bottomRight = TMyFlatHintWindow::hintRect(settings, text, {900, 700}, screen, direction);
    EXPECT_EQ(direction, 2);
    EXPECT_EQ(bottomRight.bottomRight(), QPoint(900 - 5 - 1, 700 - 5 - 1));
    const QRect bottomLeft = TMyFlatHintWindow::hintRect(settings, text, {100, 700}, screen, direction);
    EXPECT_EQ(direction, 3);
    EXPECT_EQ(bottomLeft.topLeft(), QPoint(105, 700 - bottomLeft.height() - 5));

    const int lineHeight = QFontMetrics(settings.Font).height();
    EXPECT_EQ(topLeft.height(), lineHeight + 6);
    const QRect wrapped = TMyFlatHintWindow::hintRect(settings,
        "a long hint text that does not fit on one line of the hint window at all", {100, 100}, screen, direction);
    EXPECT_GT(wrapped.height(), 2 * lineHeight);
    EXPECT_LE(wrapped.width(), settings.MaxHintWidth);
    const QRect wide = TMyFlatHintWindow::hintRect(settings, QString(60, 'W'), {100, 100}, screen, direction);
    EXPECT_GT(wide.width(), settings.MaxHintWidth) << "an unbreakable word widens the window";
}

TEST(FlatHint, ArrowPointsAtTheCursor)
{
    QWidget form;
    TMyFlatHint settings(&form);
    settings.ColorArrow = 255;
    settings.ColorArrowBackground = 65280;
    TMyFlatHintWindow* window = TMyFlatHint::window();
    ASSERT_NE(window, nullptr);
    const QRect screen(0, 0, 1000, 800);

    ASSERT_TRUE(window->ActivateHint("hint", {100, 100}, screen));
    QImage image = window->renderHint();
    EXPECT_EQ(image.pixelColor(3, 3), QColor(255, 0, 0)) << "arrow corner at the strip's top left";
    EXPECT_EQ(image.pixelColor(3, 9), QColor(255, 0, 0));
    EXPECT_EQ(image.pixelColor(9, 3), QColor(255, 0, 0));
    EXPECT_EQ(image.pixelColor(10, image.height() - 3), QColor(0, 255, 0)) << "strip on the left";

    ASSERT_TRUE(window->ActivateHint("hint", {900, 700}, screen));
    image = window->renderHint();
    const int w = image.width();
    const int h = image.height();
    EXPECT_EQ(image.pixelColor(w - 4, h - 4), QColor(255, 0, 0)) << "arrow corner at the strip's bottom right";
    EXPECT_EQ(image.pixelColor(w - 10, h - 4), QColor(255, 0, 0));
    EXPECT_EQ(image.pixelColor(w - 10, 3), QColor(0, 255, 0)) << "strip on the right";
    EXPECT_EQ(image.pixelColor(0, 0), QColor(0, 0, 0)) << "black outline";
    window->hide();
}

TEST(FlatHint, TooltipsUseTheWindowOnlyWhileAFormHoldsTheComponent)
{
    QWidget form;
    form.resize(200, 100);
    QWidget control(&form);
    control.resize(100, 50);
    control.setToolTip("add video files & more");
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    TMyFlatHintWindow* window = nullptr;
    {
        const auto settings = std::make_unique<TMyFlatHint>(&form);
        window = TMyFlatHint::window();
        window->hide();
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QElapsedTimer shownAfter;
        shownAfter.start();
        QApplication::sendEvent(&control, &enter);
        EXPECT_TRUE(QTest::qWaitFor([&] { return window->isVisible(); }, 10000));
        EXPECT_GE(shownAfter.elapsed(), TMyFlatHint::kHintPause - 50) << "not before 500 ms";
        EXPECT_EQ(window->text(), "add video files & more") << "the & is shown as it is";
        window->hide();
    }
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&control, &leave);
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&control, &enter);
    QTest::qWait(800);
    EXPECT_FALSE(window->isVisible()) << "no form holds a TMyFlatHint: no hint at all";
}

TEST(FlatHint, MovingToANeighbourWhileAHintIsUpShowsItsHintSoon)
{
    QWidget form;
    form.resize(200, 100);
    QWidget first(&form);
    first.setGeometry(0, 0, 100, 50);
    first.setToolTip("first");
    QWidget second(&form);
    second.setGeometry(100, 0, 100, 50);
    second.setToolTip("second");
    const TMyFlatHint settings(&form);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QCursor::setPos(first.mapToGlobal(QPoint(50, 25)));
    TMyFlatHintWindow* window = TMyFlatHint::window();
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&first, &enter);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isVisible(); }, 10000));

    // Leaving the first control hides its hint before the second is entered.
    QCursor::setPos(second.mapToGlobal(QPoint(50, 25)));
    QEvent leave(QEvent::Leave);
    // Measured against a timer of nearly the full pause started with it: however
    // late a loaded machine runs the event loop, the shorter of two timers fires first.
    QTimer fullPause;
    fullPause.setSingleShot(true);
    bool shownBeforeTheFullPause = false;
    QObject::connect(&fullPause, &QTimer::timeout,
        [&] { shownBeforeTheFullPause = window->isVisible() && window->text() == "second"; });
    QApplication::sendEvent(&first, &leave);
    QApplication::sendEvent(&second, &enter);
    fullPause.start(TMyFlatHint::kHintPause - 50);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fullPause.isActive(); }, 10000));
    EXPECT_TRUE(shownBeforeTheFullPause) << "the short pause (25 ms), not the full one (500 ms)";
    window->hide();
}

TEST(FlatHint, AHintUpWhenTheLastFormWentDoesNotHurryTheNextFormsHint)
{
    QWidget control;
    control.resize(100, 50);
    control.setToolTip("first");
    control.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&control));
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QEvent leave(QEvent::Leave);
    TMyFlatHintWindow* window = TMyFlatHint::window();
    {
        const TMyFlatHint settings(&control);
        QApplication::sendEvent(&control, &enter);
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->isVisible(); }, 10000));
        QApplication::sendEvent(&control, &leave); // left while the hint was up
    }
    EXPECT_FALSE(window->isVisible());

    const TMyFlatHint settings(&control);
    QElapsedTimer shownAfter;
    shownAfter.start();
    QApplication::sendEvent(&control, &enter);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isVisible(); }, 10000));
    EXPECT_GE(shownAfter.elapsed(), TMyFlatHint::kHintPause - 50) << "the full pause, as for a first hint";
    window->hide();
}

TEST(MenuDraw, MeasuresAndPaintsEntries)
{
    QMenu menu;
    QAction* del = menu.addAction("&Delete");
    del->setStatusTip("delete selected item");
    QAction* clear = menu.addAction("&Clear");
    QAction* separator = menu.addSeparator();
    TMenuDraw painter;
    EXPECT_EQ(painter.AttachedMenu(), nullptr);
    painter.AttachMenu(&menu);
    EXPECT_EQ(painter.AttachedMenu(), &menu);

    QFont bold("Trebuchet MS");
    bold.setPointSize(9);
    bold.setBold(true);
    QFont regular = bold;
    regular.setBold(false);
    const QSize caption = QFontMetrics(bold).size(Qt::TextSingleLine, "&Delete");
    const QSize hint = QFontMetrics(regular).size(Qt::TextSingleLine, "delete selected item");
    EXPECT_EQ(TMenuDraw::measureEntry(*del, false),
        QSize(std::max(caption.width(), hint.width()) + 8, caption.height() + hint.height() + 8));
    const QSize bare = QFontMetrics(bold).size(Qt::TextSingleLine, "&Clear");
    EXPECT_EQ(TMenuDraw::measureEntry(*clear, false), QSize(bare.width() + 8, bare.height() + 8))
        << "an empty hint measures nothing";

    const QSize size = TMenuDraw::measureEntry(*del, false);
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    TMenuDraw::drawEntry(p, *del, image.rect(), true, false);
    const int split = caption.height() + 4;
    const QColor captionPart = image.pixelColor(size.width() - 3, 3);
    const QColor hintPart = image.pixelColor(size.width() - 3, size.height() - 3);
    EXPECT_GE(captionPart.red(), 0xB8) << "gradient A runs from #E4E8EF to #B8C5DE";
    EXPECT_LE(hintPart.red(), 0xE4);
    EXPECT_EQ(image.pixelColor(size.width() / 2, 0), toQColor(12961221)) << "rounded outline";
    EXPECT_LT(image.pixelColor(size.width() - 3, split).red(), image.pixelColor(size.width() - 3, split - 1).red())
        << "gradient B starts darker where the hint begins";
    EXPECT_NEAR(image.pixelColor(size.width() - 3, split - 1).red(), 0xB8, 1) << "gradient A ends near #B8C5DE";
    p.end();

    QImage plain(TMenuDraw::measureEntry(*clear, false), QImage::Format_RGB32);
    QPainter q(&plain);
    TMenuDraw::drawEntry(q, *clear, plain.rect(), false, false);
    EXPECT_EQ(plain.pixelColor(plain.width() - 2, 2), toQColor(16448250)) << "near-white background";
    clear->setEnabled(false);
    TMenuDraw::drawEntry(q, *clear, plain.rect(), false, false);
    bool disabledInk = false;
    for (int y = 0; y < plain.height(); ++y) {
        for (int x = 0; x < plain.width(); ++x)
            disabledInk = disabledInk || plain.pixel(x, y) == toQColor(14599640).rgb();
    }
    EXPECT_TRUE(disabledInk);

    QImage line(60, 9, QImage::Format_RGB32);
    QPainter r(&line);
    TMenuDraw::drawEntry(r, *separator, line.rect(), false, false);
    EXPECT_EQ(line.pixelColor(30, 7), toQColor(12961221));
    EXPECT_EQ(line.pixelColor(30, 8), toQColor(16448250));
    EXPECT_EQ(line.pixelColor(30, 3), toQColor(15656925));
}

TEST(MenuDraw, EntriesWithOneCaptionKeepTheirOwnHintAndState)
{
    QMenu menu;
    QAction* first = menu.addAction("&Same");
    first->setStatusTip("the first entry");
    QAction* second = menu.addAction("&Same");
    second->setStatusTip("the second entry, with a longer hint");
    second->setEnabled(false);
    TMenuDraw painter;
    painter.AttachMenu(&menu);
    menu.popup(QPoint(0, 0));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
    const QImage shown = menu.grab().toImage();
    const QRect firstPlace = menu.actionGeometry(first);
    const QRect secondPlace = menu.actionGeometry(second);
    EXPECT_EQ(firstPlace.size(), secondPlace.size()) << "both as wide as the larger entry";
    const QImage expected = [&] {
        QImage image(secondPlace.size(), QImage::Format_RGB32);
        QPainter p(&image);
        TMenuDraw::drawEntry(p, *second, image.rect(), false, false);
        return image;
    }();
    EXPECT_EQ(shown.copy(secondPlace).convertToFormat(QImage::Format_RGB32), expected)
        << "the second entry is painted with its own hint, greyed";
    menu.hide();
}

TEST(MenuDraw, BandGradientEndsOnTheEndColour)
{
    QImage image(10, 256, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    fillBandGradient(painter, image.rect(), 256, 0, 0xFFFFFF);
    EXPECT_EQ(image.pixelColor(5, 0), QColor(1, 1, 1)) << "the first band is one step from the start";
    EXPECT_EQ(image.pixelColor(5, 255), QColor(255, 255, 255));

    QImage small(10, 40, QImage::Format_RGB32);
    small.fill(Qt::black);
    QPainter smallPainter(&small);
    fillBandGradient(smallPainter, small.rect(), 256, 15722724, 14599608);
    // Row 39 of 40 is covered by band 252 (rows 39.375 to 39.53, rounded), 253 steps from the start.
    EXPECT_EQ(small.pixelColor(5, 39).red(), roundHalfEven(0xE4 + 253 * (0xB8 - 0xE4) / 256.0));
    EXPECT_NE(small.pixelColor(5, 0), QColor(Qt::black)) << "every row is covered by some band";
}

} // namespace
