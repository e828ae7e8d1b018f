#pragma once

#include <QDialog>

#include <string>
#include <vector>

class QAction;
class QPlainTextEdit;
class QLabel;
class TLinePanel;
class TMyButtonEx;
class TMyFlatComboBox;
class TMyFlatEdit;
class TMyListBox;
class TPngImageList;
class TPngSpeedButton;
class SizeLimitField;

// What the Add Files and Item Property dialogs share: the file list, the
// catalogue's formats, the output directory with its chooser, a black
// console-like information box, OK and Cancel. Only OK sets the OK flag;
// Cancel, Esc and the close box leave it false; Enter does nothing. The
// directory edit is read-only: the chooser fills it, and a button inside it
// empties it again, back to the global path. Below the buttons, one row
// more than the controls above need: the size limit of the items' outputs.
class TFileDialog : public QDialog {
    Q_OBJECT

public:
    TFileDialog(const QString& caption, const std::vector<std::string>& formats, QWidget* parent);

    bool OK() const { return m_ok; }
    int formatIndex() const;
    QString directory() const;
    // Whether the user chose a directory in the chooser (even the one shown
    // before) or cleared the edit for the global path.
    bool directoryChosen() const { return m_directoryChosen; }
    QStringList informationLines() const;

    // Greys the format at index out of the list, saying why: it cannot be
    // chosen any more, but a format already chosen stays chosen. Also while
    // the dialog is open, as what ffmpeg can do becomes known.
    void setUnavailable(int index, const QString& reason);

    TLinePanel* LinePanel2;
    QPlainTextEdit* Memo1;
    TLinePanel* LinePanel1;
    TMyListBox* MyListBox1;
    TMyButtonEx* btnOk;
    TMyButtonEx* btnCancel;
    TMyFlatEdit* etDirectory;
    TMyFlatComboBox* ComboBox1;
    QLabel* Label1;
    QLabel* Label2;
    TPngSpeedButton* btDirectory;
    TPngImageList* PngImageList1;
    // The button inside etDirectory that empties it: shown while the edit
    // holds a directory, or stands for several ("(several)" as placeholder).
    QAction* acClearDirectory;
    // "at most … MB (blank: no limit)", below OK and Cancel.
    SizeLimitField* sizeLimitField;

    // Lets the user choose the output directory; a cancelled chooser changes nothing.
    void btDirectoryClick();
    // Empties the directory edit: the global path, for every item concerned.
    void clearDirectory();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A format's text changed (setUnavailable).
    virtual void formatTextChanged() { }
    // The user chose a directory or cleared it.
    virtual void directoryChanged() { }
    // The user changed the size limit.
    virtual void sizeLimitChanged() { }
    // Rewrites line index of the information box; nothing without that line.
    void setInformationLine(int index, const QString& text);

private:
    void showClearButton();

    bool m_ok = false;
    bool m_directoryChosen = false;
};
