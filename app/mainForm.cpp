#include "mainForm.h"

#include "imagebutton.h"
#include "PngImageList.h"
#include "MyFlatHintUnit.h"
#include "MyButtonEx.h"
#include "LinePanelUnit.h"
#include "JobListView.h"
#include "OptionsPage.h"
#include "FormsSupport.h"
#include "FSProgressBar.h"
#include "uihook.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QScreen>

namespace {

QImage art(const QString& name)
{
    return QImage(":/art/" + name);
}

// The pictures of a tool button in its four states.
void setToolPictures(TImageButton& button, const QString& name)
{
    button.SetImage(art(name + "-normal.png"));
    button.SetImageOver(art(name + "-over.png"));
    button.SetImageDown(art(name + "-down.png"));
    button.SetImageDisable(art(name + "-disabled.png"));
}

TImageButton* toolButton(QWidget* parent, const QString& name, const QString& objectName, int left, const QString& hint)
{
    auto* button = new TImageButton(parent);
    button->setObjectName(objectName);
    button->setGeometry(left, 16, 112, 101);
    setToolPictures(*button, name);
    button->SetUseDown(false);
    button->setToolTip(hint);
    return button;
}

QLabel* label(QWidget* parent, const QString& objectName, const QString& text, const QRect& geometry, const QFont& font,
    TColor color, Qt::Alignment alignment = Qt::AlignLeft)
{
    auto* created = new QLabel(text, parent);
    created->setObjectName(objectName);
    created->setGeometry(geometry);
    created->setFont(font);
    created->setAlignment(alignment | Qt::AlignVCenter);
    created->setAttribute(Qt::WA_TranslucentBackground);
    setTextColor(*created, color);
    return created;
}

// A tool's caption: "&" underlines the next letter; the letters are bound to nothing.
QString captionText(const QString& text)
{
    QString shown = text.toHtmlEscaped();
    const int amp = shown.indexOf("&amp;");
    if (amp >= 0 && amp + 5 < shown.size())
        shown = shown.left(amp) + "<u>" + shown.mid(amp + 5, 1) + "</u>" + shown.mid(amp + 6);
    return shown;
}

// The tool buttons' captions sit centred in their lower part, wider than
// their fixed labels so that any font fits.
QLabel* toolLabel(QWidget* parent, const QString& objectName, const QString& text, int buttonLeft)
{
    QLabel* created = label(parent, objectName, captionText(text), QRect(buttonLeft, 96, 112, 18), formFont(13, true),
        kCaptionColor, Qt::AlignHCenter);
    created->setTextFormat(Qt::RichText);
    return created;
}

TImageButton* tabButton(QWidget* parent, const QString& objectName, int left)
{
    auto* button = new TImageButton(parent);
    button->setObjectName(objectName);
    button->setGeometry(left, 14, 66, 29);
    button->SetImage(art("tab-normal.png"));
    button->SetImageOver(art("tab-over.png"));
    button->SetImageDown(art("tab-normal.png"));
    button->SetImageChosen(art("tab-chosen.png"));
    button->SetUseDown(false);
    return button;
}

} // namespace

TmainDlg::TmainDlg()
    : QWidget(nullptr,
        Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
            | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName("mainDlg");
    setFixedSize(861, 529);
    fillBackground(*this, kFormBackground);
    setFont(formFont(12));

    Image1 = new QLabel(this);
    Image1->setObjectName("Image1");
    Image1->setPixmap(QPixmap(":/art/header.png"));
    Image1->setGeometry(0, 0, 400, 200);

    btnAdd = toolButton(this, "add", "btnAdd", 16, tr("add video files"));
    lbAdd = toolLabel(this, "lbAdd", tr("&Add"), 16);

    Image2 = new QLabel(this);
    Image2->setObjectName("Image2");
    Image2->setGeometry(0, 529 - 21, 861, 21);
    Image2->setPixmap(QPixmap(":/art/status.png"));
    Image2->setScaledContents(true);

    ProgressBar1 = new TFSProgressBar(this);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setGeometry(16, 432, 828, 17);
    ProgressBar1->SetColorBorder(14922381);
    ProgressBar1->SetBackColorFace(13036799);
    ProgressBar1->SetBackColorGrad(clWhite);
    ProgressBar1->SetForeColorFace(10215167);
    ProgressBar1->SetForeColorGrad(31671);
    ProgressBar1->SetColorScheme(csCustom);
    ProgressBar1->SetMin(0);
    ProgressBar1->SetMax(100);
    ProgressBar1->SetPosition(0);
    ProgressBar1->SetStep(10);

    QFont updateFont = formFont(12, true, true);
    updateFont.setUnderline(true);
    lbUpdate
        = label(this, "lbUpdate", tr("check for updates"), QRect(740, 8, 104, 18), updateFont, clWhite, Qt::AlignRight);
    // Right-aligned at the window's edge: longer words in another language take room to the left.
    if (const int wanted = lbUpdate->sizeHint().width(); wanted > lbUpdate->width())
        lbUpdate->setGeometry(844 - wanted, 8, wanted, 18);
    lbUpdate->setCursor(Qt::PointingHandCursor);

    Image3 = new QLabel(this);
    Image3->setObjectName("Image3");
    Image3->setGeometry(849, 517, 11, 11);
    Image3->setPixmap(QPixmap(":/art/corner.png"));

    btnConvert = toolButton(this, "convert", "btnConvert", 144, tr("start converting"));
    lbConvert = toolLabel(this, "lbConvert", tr("&Convert"), 144);
    lbTimer = label(this, "lbTimer", timestampText(0), QRect(600, 456, 244, 18), formFont(12, false, true), clWhite,
        Qt::AlignRight);
    btnStop = toolButton(this, "stop", "btnStop", 272, tr("stop converting"));
    lbStop = toolLabel(this, "lbStop", tr("&Stop"), 272);
    btnSupport = toolButton(this, "support", "btnSupport", 400, tr("online support"));
    lbSupport = toolLabel(this, "lbSupport", tr("S&upport"), 400);

    btnImport = makeFormsButton(this, tr("&Import"), QRect(16, 456, 121, 41));
    btnImport->setObjectName("btnImport");
    btnImport->setToolTip(tr("load list from a disk file"));
    btnExport = makeFormsButton(this, tr("&Export"), QRect(144, 456, 121, 41));
    btnExport->setObjectName("btnExport");
    btnExport->setToolTip(tr("save list to a disk file"));
    setTabOrder(btnImport, btnExport);

    LinePanel1 = new TLinePanel(this);
    LinePanel1->setObjectName("LinePanel1");
    LinePanel1->setGeometry(16, 136, 828, 289);
    LinePanel1->SetColor(16767935);
    LinePanel1->SetLineColor(14922381);
    btnOption = tabButton(LinePanel1, "btnOption", 73);
    btnList = tabButton(LinePanel1, "btnList", 8);
    Shape1 = new QWidget(LinePanel1);
    Shape1->setObjectName("Shape1");
    Shape1->setGeometry(0, 39, 828, 1);
    fillBackground(*Shape1, 14922381);
    lbList = label(
        LinePanel1, "lbList", tr("List"), QRect(8, 21, 66, 16), formFont(11, true), kCaptionColor, Qt::AlignHCenter);
    lbOption = label(LinePanel1, "lbOption", tr("Option"), QRect(73, 21, 66, 16), formFont(11, true), kCaptionColor,
        Qt::AlignHCenter);
    lbCount = label(LinePanel1, "lbCount", tr("0 files finished 0 of 0"), QRect(576, 8, 244, 18), formFont(12),
        kCaptionColor, Qt::AlignRight);

    VirtualStringTree1 = new JobListView(LinePanel1);
    VirtualStringTree1->setObjectName("VirtualStringTree1");
    VirtualStringTree1->setGeometry(0, 40, 828, 249);
    LinePanel2 = new TLinePanel(LinePanel1);
    LinePanel2->setObjectName("LinePanel2");
    LinePanel2->setGeometry(0, 40, 828, 249);
    LinePanel2->SetColor(15657705);
    OptionsPage1 = new OptionsPage(LinePanel2);
    OptionsPage1->setGeometry(0, 0, 828, 249);
    LinePanel2->hide();
    btnList->SetChosen(true);
    LinePanel2->installEventFilter(this);

    listImage = new TPngImageList(this);
    listImage->setObjectName("listImage");
    listImage->BeginUpdate();
    // Stored in this order under these names: down, right, up, bar.
    listImage->Add(art("state-0.png"), "PngImage0");
    listImage->Add(art("state-1.png"), "PngImage1");
    listImage->Add(art("state-2.png"), "PngImage3");
    listImage->Add(art("state-3.png"), "PngImage2");
    listImage->Add(art("state-4.png"), "PngImage4");
    listImage->Add(art("state-5.png"), "PngImage5");
    listImage->EndUpdate();

    MyFlatHint1 = new TMyFlatHint(this);
    MyFlatHint1->setObjectName("MyFlatHint1");
    const TColor tooltip = fromQColor(QPalette().color(QPalette::ToolTipBase));
    MyFlatHint1->ColorBackground = tooltip;
    MyFlatHint1->ColorArrowBackground = tooltip;
    MyFlatHint1->ColorArrow = kCaptionColor;
    MyFlatHint1->ColorBorder = clBlack;
    MyFlatHint1->Font = formFont(16);
    MyFlatHint1->FontColor = kCaptionColor;

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    // An entry: its caption, its name, and the hint the menu painter shows under it.
    const auto entry = [this](const QString& caption, const QString& name, const QString& hint) {
        QAction* action = PopupMenu1->addAction(caption);
        action->setObjectName(name);
        action->setStatusTip(hint);
        return action;
    };
    pmiDelete = entry(tr("&Delete"), "pmiDelete", tr("delete selected item"));
    pmiClear = entry(tr("&Clear"), "pmiClear", tr("clear all items"));
    N1 = PopupMenu1->addSeparator();
    N1->setObjectName("N1");
    pmiProperties = entry(tr("&Properties"), "pmiProperties", tr("show properties"));
    N2 = PopupMenu1->addSeparator();
    pmiShowLog = entry(tr("Show &log"), "pmiShowLog", tr("ffmpeg's words on the last conversion"));
    pmiOpenFolder = entry(tr("&Open output folder"), "pmiOpenFolder", tr("where the converted file is"));
    N3 = PopupMenu1->addSeparator();
    pmiConvertRest = entry(tr("Convert the &rest"), "pmiConvertRest", tr("convert the items not converted yet"));
    pmiStopItem = entry(tr("&Stop this item"), "pmiStopItem", tr("end the chosen items' conversions, the run goes on"));
    pmiPause = entry(pauseEntryText(false), "pmiPause", tr("hold every running conversion"));
    pmiRemoveFinished
        = entry(tr("Remove co&nverted items"), "pmiRemoveFinished", tr("take the converted items off the list"));

    // Labels over the buttons must not hide the buttons' pictures.
    for (QLabel* caption : {lbAdd, lbConvert, lbStop, lbSupport})
        caption->raise();
    lbList->raise();

    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    m_hook = std::make_unique<TUIHook>();
    m_hook->HookControls(*this);
}

TmainDlg::~TmainDlg()
{
    m_hook.reset();
}

void TmainDlg::showConvertAs(const QString& picture)
{
    struct Look {
        const char* picture;
        const char* caption;
        const char* hint;
        const char* name;
    };
    static const Look looks[] = {
        {"convert", QT_TR_NOOP("&Convert"), QT_TR_NOOP("start converting"), QT_TR_NOOP("Convert")},
        {"pause", QT_TR_NOOP("&Pause"), QT_TR_NOOP("hold every running conversion (Ctrl+P)"), QT_TR_NOOP("Pause")},
        {"resume", QT_TR_NOOP("&Resume"), QT_TR_NOOP("let the held conversions go on (Ctrl+P)"), QT_TR_NOOP("Resume")},
    };
    for (const Look& look : looks) {
        if (picture != look.picture)
            continue;
        setToolPictures(*btnConvert, picture);
        btnConvert->setToolTip(tr(look.hint));
        btnConvert->setAccessibleName(tr(look.name));
        lbConvert->setText(captionText(tr(look.caption)));
    }
}

QString TmainDlg::pauseEntryText(bool paused)
{
    return paused ? tr("&Resume", "menu") : tr("P&ause", "menu");
}

bool TmainDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == LinePanel2 && (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent)) {
        const bool options = event->type() == QEvent::ShowToParent;
        btnOption->SetChosen(options);
        btnList->SetChosen(!options);
    }
    return QWidget::eventFilter(watched, event);
}

void TmainDlg::closeEvent(QCloseEvent* event)
{
    // Closing the window ends the program: a running ffmpeg goes at once
    // rather than when the window is finally destroyed, once the user agreed.
    if (!m_hook->MayClose()) {
        event->ignore();
        return;
    }
    m_hook->WindowClosing();
    QWidget::closeEvent(event);
}
