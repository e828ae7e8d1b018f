#pragma once

#include <QDialog>

#include <string>
#include <vector>

class QPlainTextEdit;
class QLabel;
class TLinePanel;
class TMyButtonEx;
class TMyFlatComboBox;
class TMyFlatEdit;
class TMyListBox;
class TPngImageList;
class TPngSpeedButton;

// What the Add Files and Item Property dialogs share: the file list, the
// catalogue's formats, the output directory with its chooser, a black
// console-like information box, OK and Cancel. Only OK sets the OK flag;
// Cancel, Esc and the close box leave it false; Enter does nothing.
class TFileDialog : public QDialog {
    Q_OBJECT

public:
    TFileDialog(const QString& caption, const std::vector<std::string>& formats, QWidget* parent);

    bool OK() const { return m_ok; }
    int formatIndex() const;
    QString directory() const;
    // Whether the user chose a directory in the chooser (even the one shown before).
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

    // Lets the user choose the output directory; a cancelled chooser changes nothing.
    virtual void btDirectoryClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A format's text changed (setUnavailable).
    virtual void formatTextChanged() { }

private:
    bool m_ok = false;
    bool m_directoryChosen = false;
};
