#include "ItemForm.h"

#include "FlatEditUnit.h"
#include "SizeLimitField.h"

#include <QPlainTextEdit>

TItemDlg::TItemDlg(const std::vector<std::string>& formats, QWidget* parent)
    : TFileDialog(tr("Item Property"), formats, parent)
{
    setObjectName("ItemDlg");
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, [this] { showFormatLine(); });
}

void TItemDlg::showSeveralFormats()
{
    Memo1->appendPlainText(tr("format: several, each kept unless one is chosen"));
    m_formatLine = static_cast<int>(informationLines().size()) - 1;
}

void TItemDlg::showSeveralPaths()
{
    Memo1->appendPlainText(tr("save path: several, each kept unless one is chosen"));
    m_pathLine = static_cast<int>(informationLines().size()) - 1;
}

void TItemDlg::showFormatLine()
{
    if (m_formatLine >= 0 && ComboBox1->currentIndex() >= 0)
        setInformationLine(m_formatLine, tr("format: each becomes %1").arg(ComboBox1->currentText()));
}

void TItemDlg::formatTextChanged()
{
    showFormatLine();
}

void TItemDlg::directoryChanged()
{
    if (m_pathLine < 0)
        return;
    setInformationLine(m_pathLine,
        directory().isEmpty() ? tr("save path: each goes to the global path")
                              : tr("save path: each goes to %1").arg(directory()));
}

void TItemDlg::showSeveralSizeLimits()
{
    sizeLimitField->showSeveral();
    Memo1->appendPlainText(tr("size limit: several, each kept unless one is given"));
    m_sizeLimitLine = static_cast<int>(informationLines().size()) - 1;
}

void TItemDlg::sizeLimitChanged()
{
    if (m_sizeLimitLine < 0)
        return;
    const std::int64_t bytes = sizeLimitField->bytes();
    setInformationLine(m_sizeLimitLine,
        bytes > 0 ? tr("size limit: each at most %1 MB").arg(SizeLimitField::megabytes(bytes))
                  : tr("size limit: none for each"));
}
