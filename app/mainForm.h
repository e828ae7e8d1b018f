#pragma once

#include "FSProgressBar.h"
#include "JobListView.h"
#include "LinePanelUnit.h"
#include "MyButtonEx.h"
#include "MyFlatHintUnit.h"
#include "PngImageList.h"
#include "imagebutton.h"

#include <QLabel>
#include <QMenu>
#include <QWidget>

#include <memory>

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
    TPngImageList* listImage;
    TMyFlatHint* MyFlatHint1;
    QMenu* PopupMenu1;
    QAction* pmiDelete;
    QAction* pmiClear;
    QAction* N1;
    QAction* pmiProperties;

    TUIHook* controller() const { return m_hook.get(); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::unique_ptr<TUIHook> m_hook;
};

// Colours and fonts shared by the windows.
inline constexpr TColor kCaptionColor = 9126421;
inline constexpr TColor kDisabledCaptionColor = 9276813;
void setTextColor(QWidget& widget, TColor color);
// A gradient button as every form of the program sets it up.
TMyButtonEx* makeFormsButton(QWidget* parent, const QString& caption, const QRect& geometry);
QFont formFont(int pixels, bool bold = false, bool italic = false);
