#pragma once

#include "FileDialog.h"

// The Item Property dialog: one item's file, format and directory.
class TItemDlg final : public TFileDialog {
    Q_OBJECT

public:
    explicit TItemDlg(const std::vector<std::string>& formats, QWidget* parent = nullptr);
};
