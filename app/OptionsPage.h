#pragma once

#include "Settings.h"

#include <QWidget>

class QCheckBox;
class QLabel;
class TMyButtonEx;
class TMyFlatComboBox;
class TMyFlatEdit;
class TPngSpeedButton;

// The Option tab's page: how many conversions run at once, what happens when
// a run ends, where items without a folder of their own go (shown as the real
// folder), whether the list is kept for the next start, whether outputs are
// checked by decoding them, whether Add Files starts from the last choice,
// whether items already converted are skipped and whether a dropped folder's
// subfolders are kept in the output folder.
// A change takes effect at once and is reported through changed().
class OptionsPage final : public QWidget {
    Q_OBJECT

public:
    explicit OptionsPage(QWidget* parent);

    void setSettings(const Settings& settings);
    const Settings& settings() const { return m_settings; }

    TMyFlatComboBox* cbJobs;
    TMyFlatComboBox* cbWhenDone;
    TMyFlatEdit* etFolder;
    TPngSpeedButton* btFolder;
    TMyButtonEx* btnDefaultFolder;
    QCheckBox* cbStartEmpty;
    QCheckBox* cbVerifyDecode;
    QCheckBox* cbAddFromLast;
    QCheckBox* cbFlat;
    QCheckBox* cbSkipExisting;

signals:
    void changed(const Settings& settings);

private:
    void showSettings();
    void change(const Settings& settings);

    Settings m_settings;
};
