#pragma once

#include "Colors.h"

#include <QPointer>

#include <memory>

class QMenu;
class QPainter;
class QRect;
class QAction;

// Measures and paints the entries of a popup menu: the caption in bold with
// the entry's hint (its status tip) below it in regular weight, a rounded
// two-part gradient behind the highlighted entry, and etched separators.
// Submenus keep the platform's look.
class TMenuDraw final {
public:
    TMenuDraw();
    ~TMenuDraw();
    TMenuDraw(const TMenuDraw&) = delete;
    TMenuDraw& operator=(const TMenuDraw&) = delete;

    void AttachMenu(QMenu* menu);
    QMenu* AttachedMenu() const { return m_menu; }

    // The size an entry asks for.
    static QSize measureEntry(const QAction& action, bool hasImages);
    // Paints one entry or separator into rect.
    static void drawEntry(
        QPainter& painter, const QAction& action, const QRect& rect, bool highlighted, bool hasImages);

private:
    class Style;
    QPointer<QMenu> m_menu;
    std::unique_ptr<Style> m_style; // set on the menu, which does not own it
};

// Fills rect with n horizontal bands from start to end, the first band one
// step away from start and the last one at end.
void fillBandGradient(QPainter& painter, const QRect& rect, int n, TColor start, TColor end);
