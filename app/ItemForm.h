#pragma once

#include "FileDialog.h"

// The Item Property dialog: one item's file, format and directory, or those
// of several items at once.
class TItemDlg final : public TFileDialog {
    Q_OBJECT

public:
    explicit TItemDlg(const std::vector<std::string>& formats, QWidget* parent = nullptr);

    // Several items whose formats, or whose save paths, differ: a line of the
    // information box says each keeps its own until one is chosen, and then
    // what OK gives them all.
    void showSeveralFormats();
    void showSeveralPaths();

protected:
    void formatTextChanged() override;
    void directoryChanged() override;

private:
    void showFormatLine();

    int m_formatLine = -1;
    int m_pathLine = -1;
};
