#pragma once

#include "FileDialog.h"

// The Item Property dialog: one item's file, format, directory and size
// limit, or those of several items at once.
class TItemDlg final : public TFileDialog {
    Q_OBJECT

public:
    explicit TItemDlg(const std::vector<std::string>& formats, QWidget* parent = nullptr);

    // Several items whose formats, or whose save paths, differ: a line of the
    // information box says each keeps its own until one is chosen, and then
    // what OK gives them all.
    void showSeveralFormats();
    void showSeveralPaths();
    // Several items whose size limits differ, in the same way.
    void showSeveralSizeLimits();

protected:
    void formatTextChanged() override;
    void directoryChanged() override;
    void sizeLimitChanged() override;

private:
    void showFormatLine();

    int m_formatLine = -1;
    int m_pathLine = -1;
    int m_sizeLimitLine = -1;
};
