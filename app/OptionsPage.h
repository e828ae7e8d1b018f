#pragma once

#include "Settings.h"

#include <QWidget>

class QLabel;
class TMyButtonEx;
class TMyFlatComboBox;
class TMyFlatEdit;
class TPngSpeedButton;

// The Option tab's page: how many conversions run at once and where items
// without a folder of their own go, shown as the real folder. A change takes
// effect at once and is reported through changed().
class OptionsPage final : public QWidget {
    Q_OBJECT

public:
    explicit OptionsPage(QWidget* parent);

    void setSettings(const Settings& settings);
    const Settings& settings() const { return m_settings; }

    TMyFlatComboBox* cbJobs;
    TMyFlatEdit* etFolder;
    TPngSpeedButton* btFolder;
    TMyButtonEx* btnDefaultFolder;

signals:
    void changed(const Settings& settings);

private:
    void showSettings();
    void change(const Settings& settings);

    Settings m_settings;
};
