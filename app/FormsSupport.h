#pragma once

#include "Colors.h"

#include <QFont>
#include <QRect>
#include <QString>

class QWidget;
class TMyButtonEx;
class TMyFlatComboBox;
class TMyFlatEdit;

inline constexpr const char* kApplicationName = "Calvera";
// The installed desktop entry's name without ".desktop", which is also the
// icon's name: desktops match the window and notifications to them by it.
inline constexpr const char* kDesktopFileId = "org.calvera_video.Calvera";
// Names the application once at start-up: message boxes, the window title and
// the desktop take it from there.
void nameApplication();

// The look that the main window and the dialogs share.
inline constexpr TColor kCaptionColor = 9126421;
inline constexpr TColor kDisabledCaptionColor = 9276813;
// The background of the main window and the dialogs.
inline constexpr TColor kFormBackground = 13739137;
// The text of lists and fields.
inline constexpr TColor kFieldTextColor = 7960979;

// Fills a widget's background with a colour.
void fillBackground(QWidget& widget, TColor color);
// Text colour of a label or button, in both palette roles that Qt paints text with.
void setTextColor(QWidget& widget, TColor color);
// A gradient button as every form of the program sets it up.
TMyButtonEx* makeFormsButton(QWidget* parent, const QString& caption, const QRect& geometry);
// The white, read-only field that shows a chosen folder.
TMyFlatEdit* makeFolderField(QWidget* parent, const QRect& geometry);
// The white drop-down list of the forms.
TMyFlatComboBox* makeFormsComboBox(QWidget* parent, const QRect& geometry);
// "Trebuchet MS" at a pixel size: the font of every text in the windows.
QFont formFont(int pixels, bool bold = false, bool italic = false);
