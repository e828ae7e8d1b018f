#include "ItemForm.h"

TItemDlg::TItemDlg(const std::vector<std::string>& formats, QWidget* parent)
    : TFileDialog(tr("Item Property"), formats, parent)
{
    setObjectName("ItemDlg");
}
