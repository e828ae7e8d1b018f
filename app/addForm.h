#pragma once

#include "FileDialog.h"

// The Add Files dialog: its information box sums up the files, the format
// and where the output goes.
class TaddDlg final : public TFileDialog {
    Q_OBJECT

public:
    // globalFolder: the folder items without a save path of their own go to.
    TaddDlg(const std::vector<std::string>& formats, const QString& globalFolder, QWidget* parent = nullptr);

    // Lists the files and writes the five information lines.
    void Fill(const QStringList& files);
    void btDirectoryClick() override;

protected:
    void formatTextChanged() override;

private:
    void showFormat();
    void setLine(int index, const QString& text);
    void showSaveTo();
    QString globalPathText() const;

    QString m_globalFolder;
};
