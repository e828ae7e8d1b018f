#pragma once

#include "FileDialog.h"

// The Add Files dialog: its information box sums up the files, the format
// and where the output goes.
class TaddDlg final : public TFileDialog {
    Q_OBJECT

public:
    // globalFolder: the folder items without a save path of their own go to.
    TaddDlg(const std::vector<std::string>& formats, const QString& globalFolder, QWidget* parent = nullptr);

    // Lists the files and writes the five information lines, and a sixth
    // while a size limit is given: what OK will give each file.
    void Fill(const QStringList& files);
    // Keeps what OK confirms for the next Add Files, and with startFromLast
    // starts from what the last one confirmed: its format, where this
    // machine can still make it, its folder, where it still exists, and its
    // size limit.
    // Call it before Fill.
    void rememberChoice(bool startFromLast);

protected:
    void done(int result) override;
    void formatTextChanged() override;
    // The summary line always tells what OK will use; a cancelled chooser keeps what was chosen before.
    void directoryChanged() override;
    void sizeLimitChanged() override;

private:
    void showFormat();
    void setLine(int index, const QString& text);
    void showSaveTo();
    QString globalPathText() const;

    QString m_globalFolder;
    bool m_remember = false;
};
