#pragma once

#include <QWidget>

#include <memory>

class JobListView;
class OptionsPage;
class QAction;
class QLabel;
class QMenu;
class TFSProgressBar;
class TImageButton;
class TLinePanel;
class TMyButtonEx;
class TMyFlatHint;
class TPngImageList;
class TUIHook;

// The main window: a fixed 861 × 529 client area with the tool row, the job
// list panel, the progress bar and the list buttons. It does no work of its
// own: its controller, created with it, wires every control.
class TmainDlg final : public QWidget {
    Q_OBJECT

public:
    TmainDlg();
    ~TmainDlg() override;

    QLabel* Image1;
    TImageButton* btnAdd;
    QLabel* lbAdd;
    QLabel* Image2;
    TFSProgressBar* ProgressBar1;
    QLabel* lbUpdate;
    QLabel* Image3;
    TImageButton* btnConvert;
    QLabel* lbConvert;
    QLabel* lbTimer;
    TImageButton* btnStop;
    QLabel* lbStop;
    TImageButton* btnSupport;
    QLabel* lbSupport;
    TMyButtonEx* btnImport;
    TMyButtonEx* btnExport;
    TLinePanel* LinePanel1;
    TImageButton* btnOption;
    TImageButton* btnList;
    QWidget* Shape1;
    QLabel* lbList;
    QLabel* lbOption;
    QLabel* lbCount;
    JobListView* VirtualStringTree1;
    TLinePanel* LinePanel2;
    OptionsPage* OptionsPage1;
    TPngImageList* listImage;
    TMyFlatHint* MyFlatHint1;
    QMenu* PopupMenu1;
    QAction* pmiDelete;
    QAction* pmiClear;
    QAction* N1;
    QAction* pmiProperties;
    QAction* N2;
    QAction* pmiShowLog;
    QAction* pmiOpenFolder;
    QAction* N3;
    QAction* pmiConvertRest;
    QAction* pmiStopItem;
    QAction* pmiPause;
    QAction* pmiRemoveFinished;

    // What the Convert button shows: "convert", or "pause" and "resume" while
    // a run goes on; its pictures, caption and hint follow.
    void showConvertAs(const QString& picture);
    // The popup's entry that holds a run or lets it go on.
    static QString pauseEntryText(bool paused);

    TUIHook* controller() const { return m_hook.get(); }

protected:
    void closeEvent(QCloseEvent* event) override;
    // The tabs follow the page that shows, whoever shows it.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<TUIHook> m_hook;
};
