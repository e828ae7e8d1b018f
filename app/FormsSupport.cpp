#include "FormsSupport.h"

#include "FlatEditUnit.h"
#include "MyButtonEx.h"

#include <QApplication>

void nameApplication()
{
    QApplication::setApplicationName(kApplicationName);
    QApplication::setApplicationDisplayName(kApplicationName);
    QGuiApplication::setDesktopFileName(kDesktopFileId);
}

TMyButtonEx* makeFormsButton(QWidget* parent, const QString& caption, const QRect& geometry)
{
    auto* button = new TMyButtonEx(parent);
    button->setGeometry(geometry);
    button->SetDefaultColorFrom(15852245);
    button->SetDefaultColorTo(15849665);
    button->SetClickColorFrom(16576454);
    button->SetClickColorTo(16769224);
    button->SetOverColorFrom(clBlack);
    button->SetOverColorTo(clBlack);
    button->SetBorderColor(14401438);
    // Where the keyboard is must show: the focus is drawn.
    button->SetDrawFocus(true);
    button->setFont(formFont(12, true));
    setTextColor(*button, kCaptionColor);
    button->SetCaption(caption);
    return button;
}

TMyFlatEdit* makeFolderField(QWidget* parent, const QRect& geometry)
{
    auto* field = new TMyFlatEdit(parent);
    field->setGeometry(geometry);
    field->setReadOnly(true);
    field->SetColorBorder(clWhite);
    field->SetColorFlat(clWhite);
    field->setFont(formFont(16));
    setTextColor(*field, kFieldTextColor);
    return field;
}

TMyFlatComboBox* makeFormsComboBox(QWidget* parent, const QRect& geometry)
{
    auto* combo = new TMyFlatComboBox(parent);
    combo->setGeometry(geometry);
    combo->SetColorArrowBackground(clBtnFace);
    combo->SetColorBorder(clWhite);
    combo->setFont(formFont(16));
    setTextColor(*combo, kFieldTextColor);
    return combo;
}

void fillBackground(QWidget& widget, TColor color)
{
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, toQColor(color));
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

void setTextColor(QWidget& widget, TColor color)
{
    QPalette palette = widget.palette();
    palette.setColor(QPalette::WindowText, toQColor(color));
    palette.setColor(QPalette::Text, toQColor(color));
    widget.setPalette(palette);
}

QFont formFont(int pixels, bool bold, bool italic)
{
    QFont font("Trebuchet MS");
    font.setPixelSize(pixels);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}
