#include "addForm.h"

#include "FlatEditUnit.h"
#include "MyListBox.h"
#include "Settings.h"
#include "SizeLimitField.h"

#include <QFileInfo>
#include <QPlainTextEdit>

namespace {

// The information box's lines: count, format, save to, and two hints.
constexpr int kLineCount = 5;

} // namespace

TaddDlg::TaddDlg(const std::vector<std::string>& formats, const QString& globalFolder, QWidget* parent)
    : TFileDialog(tr("Add Files"), formats, parent)
    , m_globalFolder(globalFolder)
{
    setObjectName("addDlg");
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, [this] { showFormat(); });
}

void TaddDlg::showFormat()
{
    setLine(1, tr("format: %1").arg(ComboBox1->currentText()));
}

void TaddDlg::formatTextChanged()
{
    showFormat();
}

void TaddDlg::rememberChoice(bool startFromLast)
{
    m_remember = true;
    if (!startFromLast)
        return;
    const AddChoice last = AddChoice::load();
    if (last.format >= 0 && last.format < ComboBox1->count() && ComboBox1->isItemAvailable(last.format))
        ComboBox1->setCurrentIndex(last.format);
    if (!last.folder.isEmpty() && QFileInfo(last.folder).isDir())
        etDirectory->setText(last.folder);
    sizeLimitField->setBytes(last.sizeLimit);
}

void TaddDlg::done(int result)
{
    if (result == Accepted && OK() && m_remember)
        AddChoice {formatIndex(), directory(), sizeLimitField->bytes()}.save();
    TFileDialog::done(result);
}

void TaddDlg::Fill(const QStringList& files)
{
    MyListBox1->addItems(files);
    Memo1->clear();
    Memo1->appendPlainText(tr("file count: %1").arg(files.size()));
    Memo1->appendPlainText(tr("format: %1").arg(ComboBox1->currentText()));
    Memo1->appendPlainText(
        tr("save to: %1").arg(etDirectory->text().isEmpty() ? globalPathText() : etDirectory->text()));
    Memo1->appendPlainText(tr("Ready to go...click OK"));
    Memo1->appendPlainText(tr("Cancel the operation...click Cancel"));
    sizeLimitChanged();
}

QString TaddDlg::globalPathText() const
{
    // What an empty folder means, with the folder it means on this machine.
    return tr("use global path (%1)").arg(m_globalFolder);
}

void TaddDlg::setLine(int index, const QString& text)
{
    if (informationLines().size() >= kLineCount) // filled
        setInformationLine(index, text);
}

void TaddDlg::showSaveTo()
{
    setLine(2, tr("save to: %1").arg(etDirectory->text().isEmpty() ? globalPathText() : etDirectory->text()));
}

void TaddDlg::directoryChanged()
{
    showSaveTo();
}

void TaddDlg::sizeLimitChanged()
{
    QStringList lines = informationLines();
    if (lines.size() < kLineCount) // not filled
        return;
    // The limit's line follows the five others, and only while there is a limit.
    lines = lines.mid(0, kLineCount);
    if (const std::int64_t bytes = sizeLimitField->bytes(); bytes > 0)
        lines << tr("size: each at most %1 MB").arg(SizeLimitField::megabytes(bytes));
    Memo1->setPlainText(lines.join('\n'));
}
