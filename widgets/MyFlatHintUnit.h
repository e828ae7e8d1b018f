#pragma once

#include "Colors.h"

#include <QFont>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

class TMyFlatHint;

// A control whose hint depends on where the pointer is (a list's rows).
class FlatHintSource {
public:
    virtual ~FlatHintSource() = default;
    // The hint at a global position; empty for none.
    virtual QString hintAt(const QPoint& globalPosition) const = 0;
};

// The tooltip window: a flat rectangle with a side strip whose small arrow
// points at the mouse cursor, placed beside the cursor toward the screen's centre.
class TMyFlatHintWindow final : public QWidget {
    Q_OBJECT

public:
    TMyFlatHintWindow();

    // Shows text for the cursor at cursor on a screen with the given geometry;
    // false when no form holds a TMyFlatHint.
    bool ActivateHint(const QString& text, const QPoint& cursor, const QRect& screen);

    // Where a hint goes: the window rectangle and its direction (0 to 3).
    static QRect hintRect(
        const TMyFlatHint& settings, const QString& text, const QPoint& cursor, const QRect& screen, int& direction);
    int direction() const { return m_direction; }
    const QString& text() const { return m_text; }
    QImage renderHint() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    int m_direction = 1;
    QPointer<TMyFlatHint> m_settings;
};

// Replaces every tooltip of the application with TMyFlatHintWindow, shown
// 500 ms after the pointer rests on a control (25 ms when moving on from a
// shown hint) and hidden after 5000 ms. The first form that holds one
// provides the look; with none left, no hints are shown.
class TMyFlatHint final : public QObject {
    Q_OBJECT

public:
    // Belongs to the form (or any object of it) given as owner.
    explicit TMyFlatHint(QObject* owner);
    ~TMyFlatHint() override;

    TColor ColorBackground = 16777215;
    TColor ColorBorder = 0;
    TColor ColorArrowBackground = 5493503;
    TColor ColorArrow = 0;
    int MaxHintWidth = 200;
    QFont Font;
    TColor FontColor = 0;
    // Called before each hint is shown; it may change the text or refuse.
    std::function<void(QString& hintText, bool& canShow, QWidget* control)> OnShowHint;

    // The settings in force: the first live TMyFlatHint, or none.
    static TMyFlatHint* current();
    static TMyFlatHintWindow* window();

    static constexpr int kHintPause = 500;
    static constexpr int kHintShortPause = 25;
    static constexpr int kHintHidePause = 5000;
};
