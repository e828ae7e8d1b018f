#include "FileDialog.h"

#include "BrowseFolder.h"
#include "FlatEditUnit.h"
#include "LinePanelUnit.h"
#include "MyButtonEx.h"
#include "MyListBox.h"
#include "PngImageList.h"
#include "PngSpeedButton.h"
#include "FormsSupport.h"
#include "SizeLimitField.h"

#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTextBlock>

namespace {

constexpr int kSizeLimitRowHeight = 40;

TLinePanel* framePanel(QWidget* parent, TColor color, const QRect& geometry)
{
    auto* panel = new TLinePanel(parent);
    panel->setGeometry(geometry);
    panel->SetColor(color);
    panel->SetLineColor(14922381);
    panel->SetBorderWidth(5);
    return panel;
}

// A small cross in the colour of the field's text.
QIcon clearIcon()
{
    QPixmap cross(16, 16);
    cross.fill(Qt::transparent);
    QPainter painter(&cross);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(toQColor(kFieldTextColor), 2, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(4, 4), QPointF(12, 12));
    painter.drawLine(QPointF(12, 4), QPointF(4, 12));
    return QIcon(cross);
}

} // namespace

TFileDialog::TFileDialog(const QString& caption, const std::vector<std::string>& formats, QWidget* parent)
    : QDialog(parent,
        Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
            | Qt::MSWindowsFixedSizeDialogHint)
{
    setWindowTitle(caption);
    // The form's area, and below it the size limit's row.
    setFixedSize(442, 547 + kSizeLimitRowHeight);
    fillBackground(*this, kFormBackground);
    setFont(formFont(12));

    LinePanel2 = framePanel(this, clBlack, QRect(9, 304, 425, 177));
    Memo1 = new QPlainTextEdit(LinePanel2);
    Memo1->setGeometry(5, 5, 415, 167);
    Memo1->setReadOnly(true);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setFont(formFont(16));
    Memo1->viewport()->setCursor(Qt::ArrowCursor);
    QPalette console = Memo1->palette();
    console.setColor(QPalette::Base, Qt::black);
    console.setColor(QPalette::Text, QColor(0x00, 0xFF, 0x00));
    Memo1->setPalette(console);
    Memo1->installEventFilter(this);

    LinePanel1 = framePanel(this, clWhite, QRect(9, 8, 425, 129));
    PngImageList1 = new TPngImageList(this);
    PngImageList1->SetWidth(32);
    PngImageList1->SetHeight(32);
    PngImageList1->Add(QImage(":/art/file.png"));
    MyListBox1 = new TMyListBox(LinePanel1);
    MyListBox1->setGeometry(5, 5, 415, 119);
    MyListBox1->setFrameShape(QFrame::NoFrame);
    MyListBox1->SetItemHeight(35);
    MyListBox1->SetImageList(PngImageList1);
    MyListBox1->SetImageIndex(0);
    MyListBox1->setFont(formFont(16));
    setTextColor(*MyListBox1, kFieldTextColor);

    btnOk = makeFormsButton(this, tr("&OK"), QRect(312, 496, 121, 41));
    btnCancel = makeFormsButton(this, tr("&Cancel"), QRect(184, 496, 121, 41));
    btnOk->OnClick = [this](TMyButtonEx*) {
        m_ok = true;
        accept();
    };
    btnCancel->OnClick = [this](TMyButtonEx*) { reject(); };

    etDirectory = makeFolderField(this, QRect(8, 224, 393, 28));
    acClearDirectory = etDirectory->addAction(clearIcon(), QLineEdit::TrailingPosition);
    acClearDirectory->setObjectName("acClearDirectory");
    acClearDirectory->setToolTip(tr("use the global path"));
    connect(acClearDirectory, &QAction::triggered, this, [this] { clearDirectory(); });
    connect(etDirectory, &QLineEdit::textChanged, this, [this] { showClearButton(); });
    showClearButton();
    ComboBox1 = makeFormsComboBox(this, QRect(9, 152, 425, 30));
    for (const std::string& format : formats)
        ComboBox1->addItem(QString::fromStdString(format));
    ComboBox1->setCurrentIndex(formats.empty() ? -1 : 0);

    Label1 = new QLabel(tr("Information"), this);
    Label1->move(8, 272);
    Label1->setFont(formFont(16));
    setTextColor(*Label1, kCaptionColor);
    Label1->adjustSize();
    Label2 = new QLabel(tr("save path (leave it blank to use global path)"), this);
    Label2->move(8, 192);
    Label2->setFont(formFont(16));
    setTextColor(*Label2, kCaptionColor);
    Label2->adjustSize();

    btDirectory = new TPngSpeedButton(this);
    btDirectory->setGeometry(410, 226, 24, 24);
    btDirectory->SetPngImage(QImage(":/art/folder.png"));
    btDirectory->setToolTip(tr("directory select"));
    connect(btDirectory, &QAbstractButton::clicked, this, [this] { btDirectoryClick(); });

    sizeLimitField = new SizeLimitField(this);
    sizeLimitField->setGeometry(8, 547, 426, kSizeLimitRowHeight - 8);
    connect(sizeLimitField, &SizeLimitField::edited, this, [this] { sizeLimitChanged(); });

    // The information box comes first, so it takes the focus and hands it to OK.
    setTabOrder(Memo1, btnCancel);
    setTabOrder(btnCancel, btnOk);
    setTabOrder(btnOk, ComboBox1);
    setTabOrder(ComboBox1, sizeLimitField->edit);
    btnOk->setFocus();

    if (parent)
        move(parent->geometry().center() - rect().center());
}

int TFileDialog::formatIndex() const
{
    return ComboBox1->currentIndex();
}

QString TFileDialog::directory() const
{
    return etDirectory->text();
}

QStringList TFileDialog::informationLines() const
{
    QStringList lines;
    for (QTextBlock block = Memo1->document()->begin(); block.isValid(); block = block.next())
        lines << block.text();
    return lines;
}

void TFileDialog::btDirectoryClick()
{
    const QString chosen = BrowseForFolder(this, tr("Save Directory"));
    if (chosen.isEmpty())
        return;
    etDirectory->setText(withTrailingSeparator(chosen));
    m_directoryChosen = true;
    directoryChanged();
}

void TFileDialog::clearDirectory()
{
    etDirectory->clear();
    // Not "(several)" any more: each item goes to the global path.
    etDirectory->setPlaceholderText({});
    m_directoryChosen = true;
    showClearButton();
    directoryChanged();
}

void TFileDialog::showClearButton()
{
    acClearDirectory->setVisible(!etDirectory->text().isEmpty() || !etDirectory->placeholderText().isEmpty());
}

void TFileDialog::showEvent(QShowEvent* event)
{
    // Whoever filled the edit, the button agrees with it once the dialog shows.
    showClearButton();
    QDialog::showEvent(event);
}

void TFileDialog::setInformationLine(int index, const QString& text)
{
    QStringList lines = informationLines();
    if (index < 0 || index >= lines.size())
        return;
    lines[index] = text;
    Memo1->setPlainText(lines.join('\n'));
}

void TFileDialog::setUnavailable(int index, const QString& reason)
{
    ComboBox1->setItemUnavailable(index, reason);
    if (index == ComboBox1->currentIndex())
        formatTextChanged();
}

void TFileDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        reject();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        return; // Enter means nothing here
    QDialog::keyPressEvent(event);
}

bool TFileDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Memo1 && event->type() == QEvent::FocusIn)
        btnOk->setFocus();
    return QDialog::eventFilter(watched, event);
}
