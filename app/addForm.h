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

// The Add Files dialog: lists the chosen files, offers the catalogue's
// formats and an optional output directory, and sums it up in a black
// console-like box. Only OK sets the OK flag; Cancel, Esc and the close box
// leave it false.
class TaddDlg final : public QDialog {
    Q_OBJECT

public:
    TaddDlg(const std::vector<std::string>& formats, QWidget* parent = nullptr);

    // Lists the files and writes the five information lines.
    void Fill(const QStringList& files);

    bool OK() const { return m_ok; }
    int formatIndex() const;
    QString directory() const;
    QStringList informationLines() const;

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

    void btDirectoryClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setLine(int index, const QString& text);
    void showSaveTo();

    bool m_ok = false;
};
