// Renders Calvera's widgets in their states into PNG files, to look at them:
//   widget_gallery OUTPUT_FOLDER

#include "FSProgressBar.h"
#include "FormsSupport.h"
#include "JobListView.h"
#include "Fonts.h"
#include "FlatEditUnit.h"
#include "MyFlatHintUnit.h"
#include "mainForm.h"
#include "menuDraw.h"
#include "LinePanelUnit.h"
#include "MyButtonEx.h"
#include "MyListBox.h"
#include "PngImageList.h"
#include "PngSpeedButton.h"
#include "imagebutton.h"

#include <QLabel>
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QDir>
#include <QMouseEvent>
#include <QPainter>

#include <cstdio>

namespace {

QString folder;

void save(QWidget& widget, const QString& name)
{
    const QString path = folder + "/" + name + ".png";
    widget.grab().save(path);
    std::printf("%s\n", qPrintable(path));
}

QImage disc(int size, QColor colour)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(colour);
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(1, 1, size - 2, size - 2);
    return image;
}

void press(QWidget& widget, bool down)
{
    QMouseEvent event(down ? QEvent::MouseButtonPress : QEvent::MouseButtonRelease, QPointF(10, 10), QPointF(10, 10),
        Qt::LeftButton, down ? Qt::LeftButton : Qt::NoButton, {});
    QApplication::sendEvent(&widget, &event);
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    installFontFallbacks();
    folder = argc > 1 ? argv[1] : "gallery";
    QDir().mkpath(folder);

    QWidget backdrop;
    backdrop.resize(900, 400);
    QPalette palette = backdrop.palette();
    palette.setColor(QPalette::Window, toQColor(13739137));
    backdrop.setPalette(palette);
    backdrop.setAutoFillBackground(true);

    TMyButtonEx& button = *makeFormsButton(&backdrop, "&Import", QRect(0, 0, 121, 41));
    backdrop.show();
    save(button, "button-normal");
    press(button, true);
    save(button, "button-pressed");
    press(button, false);
    button.SetGlyph(disc(20, QColor(40, 120, 200)));
    save(button, "button-glyph");
    button.setEnabled(false);
    save(button, "button-disabled");

    TImageButton image(&backdrop);
    image.move(200, 0);
    image.resize(66, 66);
    image.SetImage(disc(64, QColor(60, 160, 60)));
    image.SetImageOver(disc(64, QColor(90, 200, 90)));
    image.SetImageDown(disc(64, QColor(30, 110, 30)));
    image.SetImageDisable(disc(64, QColor(160, 160, 160)));
    save(image, "imagebutton-normal");
    press(image, true);
    save(image, "imagebutton-pressed");
    press(image, false);
    // A chosen tab keeps its picture whatever the mouse does.
    image.SetImageChosen(disc(64, QColor(40, 80, 160)));
    image.SetChosen(true);
    save(image, "imagebutton-chosen");
    image.SetChosen(false);
    image.SetEnabled(false);
    save(image, "imagebutton-disabled");

    TFSProgressBar bar(&backdrop);
    bar.move(0, 100);
    bar.resize(828, 17);
    bar.SetColorBorder(14922381);
    for (int position : {0, 33, 66, 100}) {
        bar.SetPosition(position);
        save(bar, QString("progress-%1").arg(position));
    }
    for (TColorScheme scheme : {csGrass, csSky, csNight, csToxic}) {
        bar.SetColorScheme(scheme);
        bar.SetPosition(60);
        save(bar, QString("progress-scheme-%1").arg(static_cast<int>(scheme)));
    }
    bar.resize(20, 120);
    bar.SetOrientation(pbVertical);
    save(bar, "progress-vertical");

    TLinePanel panel(&backdrop);
    panel.move(0, 150);
    panel.resize(200, 40);
    panel.SetColor(16767935);
    panel.SetLineColor(14922381);
    panel.SetLineBorders(lbTop | lbBottom | lbLeft | lbRight);
    panel.SetCaption("Line panel");
    save(panel, "panel-enabled");
    panel.setEnabled(false);
    save(panel, "panel-disabled");

    TPngImageList files;
    files.SetWidth(32);
    files.SetHeight(32);
    files.Add(disc(32, QColor(220, 140, 40)));
    TMyListBox list(&backdrop);
    list.move(300, 150);
    list.resize(300, 110);
    list.SetImageList(&files);
    list.SetItemHeight(35);
    list.addItems({"/home/me/Videos/holiday.avi", "/home/me/Videos/party.mpg", "/home/me/Videos/garden.mov"});
    list.setCurrentRow(1);
    save(list, "listbox");

    TPngSpeedButton folderButton(&backdrop);
    folderButton.move(650, 150);
    folderButton.resize(24, 24);
    folderButton.SetPngImage(disc(16, QColor(230, 190, 60)));
    save(folderButton, "speedbutton");
    folderButton.setDown(true);
    save(folderButton, "speedbutton-down");
    folderButton.setDown(false);
    folderButton.setEnabled(false);
    save(folderButton, "speedbutton-disabled");

    TMyFlatEdit edit(&backdrop);
    edit.move(0, 300);
    edit.resize(393, 28);
    edit.SetColorBorder(clWhite);
    edit.SetColorFlat(clWhite);
    edit.setText("/home/me/Converted/");
    save(edit, "flatedit-flat");
    edit.SetColorBorder(8623776);
    edit.SetColorFlat(14805739);
    edit.setFocus();
    save(edit, "flatedit-focused");

    TMyFlatComboBox combo(&backdrop);
    combo.move(420, 300);
    combo.resize(300, 30);
    combo.SetColorArrowBackground(clBtnFace);
    combo.addItems({"MP4 video (H.264 + AAC)", "WebM video (VP9 + Opus)"});
    combo.renderCombo().save(folder + "/combo-closed.png");
    combo.setFocus();
    combo.renderCombo().save(folder + "/combo-focused.png");
    combo.setEnabled(false);
    combo.renderCombo().save(folder + "/combo-disabled.png");

    TMyFlatHint hint(&backdrop);
    hint.ColorBackground = 14811135; // the info colour of the main window
    hint.ColorArrowBackground = 14811135;
    hint.ColorArrow = 9126421;
    hint.FontColor = 9126421;
    TMyFlatHintWindow* window = TMyFlatHint::window();
    window->ActivateHint("add video files", {100, 100}, QRect(0, 0, 1000, 800));
    window->renderHint().save(folder + "/hint-top-left.png");
    window->ActivateHint("[File Name]: /home/me/Videos/holiday.avi\n[format]: MP4 video (H.264 + AAC)\n[path]: ",
        {900, 700}, QRect(0, 0, 1000, 800));
    window->renderHint().save(folder + "/hint-bottom-right.png");
    window->hide();

    QMenu menu;
    QAction* del = menu.addAction("&Delete");
    del->setStatusTip("delete selected item");
    QAction* clear = menu.addAction("&Clear");
    clear->setStatusTip("clear all items");
    QAction* separator = menu.addSeparator();
    QAction* properties = menu.addAction("&Properties");
    properties->setStatusTip("show properties");
    int menuWidth = 0;
    for (QAction* action : menu.actions())
        menuWidth = std::max(menuWidth, TMenuDraw::measureEntry(*action, false).width());
    QImage entries(menuWidth, 200, QImage::Format_RGB32);
    entries.fill(Qt::white);
    QPainter painter(&entries);
    int top = 0;
    for (QAction* action : {del, clear, separator, properties}) {
        const int height = action->isSeparator() ? 9 : TMenuDraw::measureEntry(*action, false).height();
        TMenuDraw::drawEntry(painter, *action, QRect(0, top, menuWidth, height), action == clear, false);
        top += height;
    }
    painter.end();
    entries.copy(0, 0, menuWidth, top).save(folder + "/menu.png");
    return 0;
}
