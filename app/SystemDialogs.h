#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// The dialogs and services the system shows (file and folder choosers, the
// web browser), behind one seam so that tests can answer them.
class SystemDialogs {
public:
    virtual ~SystemDialogs() = default;
    // Empty when the user cancelled.
    virtual QString getOpenFileName(QWidget* owner, const QString& title, const QString& filter) = 0;
    virtual QStringList getOpenFileNames(QWidget* owner, const QString& title, const QString& filter) = 0;
    virtual QString getSaveFileName(QWidget* owner, const QString& title, const QString& filter) = 0;
    virtual QString getExistingDirectory(QWidget* owner, const QString& title, const QString& initial) = 0;
    virtual bool openUrl(const QString& address) = 0;

    // The dialogs in force: the system's unless replaced.
    static SystemDialogs& current();
    // Replaces them (with null: the system's again); for tests.
    static void replace(SystemDialogs* dialogs);
};
