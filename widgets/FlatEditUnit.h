#pragma once

#include "Colors.h"

#include <QComboBox>
#include <QLineEdit>

enum TEditValueType { evDefault, evtInteger, evtFloat };

// A single-line edit with a flat 3-pixel painted frame whose colour follows
// focus and hover, and an integer mode with key filtering and stepping by
// arrow keys and the mouse wheel.
class TMyCustomFlatEdit : public QLineEdit {
    Q_OBJECT

public:
    explicit TMyCustomFlatEdit(QWidget* parent = nullptr);

    TEditValueType ValueType() const { return m_valueType; }
    void SetValueType(TEditValueType type) { m_valueType = type; }
    int MinValue() const { return m_minValue; }
    void SetMinValue(int value) { m_minValue = value; }
    // 0: no upper bound.
    int MaxValue() const { return m_maxValue; }
    void SetMaxValue(int value) { m_maxValue = value; }
    TColor ColorFocused() const { return m_colorFocused; }
    void SetColorFocused(TColor color);
    TColor ColorBorder() const { return m_colorBorder; }
    void SetColorBorder(TColor color);
    TColor ColorFlat() const { return m_colorFlat; }
    // Also stops following the parent's colour.
    void SetColorFlat(TColor color);
    bool ParentColor() const { return m_parentColor; }
    void SetParentColor(bool follow);
    // The text as an integer (empty text: 0); always 0 for free text. Text
    // that is not a number is reported through integerError and reads as 0.
    int asInteger() const;

    // Active: focused, or hovered while no other flat edit has the focus.
    bool isActiveLook() const;

signals:
    // The text was read as an integer and is not one; the text stays.
    void integerError(const QString& message);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    // Whether a typed character may reach the text.
    virtual bool acceptsCharacter(QChar character) const;

private:
    void stepUp();
    void stepDown();
    bool readInteger(int& value) const;
    void refreshLook();
    void followParentColor();
    void fitHeight();

    TEditValueType m_valueType = evDefault;
    int m_minValue = 0;
    int m_maxValue = 0;
    TColor m_colorFocused = 16777215;
    TColor m_colorBorder = 8623776;
    TColor m_colorFlat = 14805739;
    bool m_parentColor = true;
    bool m_hover = false;
};

class TMyFlatEdit final : public TMyCustomFlatEdit {
    Q_OBJECT

public:
    using TMyCustomFlatEdit::TMyCustomFlatEdit;
};

// A combo box with a flat border and its own 11-pixel arrow box.
class TMyFlatComboBox final : public QComboBox {
    Q_OBJECT

public:
    explicit TMyFlatComboBox(QWidget* parent = nullptr);

    TColor Color() const { return m_color; }
    void SetColor(TColor color);
    TColor ColorArrow() const { return m_colorArrow; }
    void SetColorArrow(TColor color);
    TColor ColorArrowBackground() const { return m_colorArrowBackground; }
    void SetColorArrowBackground(TColor color);
    TColor ColorBorder() const { return m_colorBorder; }
    void SetColorBorder(TColor color);
    // The rows the drop-down list shows at most; 8 unless changed.
    static constexpr int kDropDownCount = 8;
    int DropDownCount() const { return maxVisibleItems(); }

    // The drop-down list's height for the current items and font.
    int dropDownHeight() const;
    // The height of one row of the drop-down list: the list's height holds
    // its rows whole.
    int dropDownRowHeight() const;

    // Greys an entry out: the mouse cannot choose it, the keyboard passes
    // over it and its text says why. The current entry stays current, so a
    // choice already made (or an item's own entry shown) is kept.
    void setItemUnavailable(int index, const QString& reason);
    bool isItemAvailable(int index) const;
    bool isDroppedDown() const { return m_dropped; }
    // The combo as it is painted now.
    QImage renderCombo() const;

    void showPopup() override;
    void hidePopup() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Wraps the list's own row painter so that its rows are dropDownRowHeight() tall.
    void fitDropDownRows();

    TColor m_color = 16777215;
    TColor m_colorArrow = 0;
    TColor m_colorArrowBackground = 12965593;
    TColor m_colorBorder = 8623776;
    bool m_dropped = false;
};
