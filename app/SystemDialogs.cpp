#include "SystemDialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QUrl>

namespace {

// The type box shows "All Supported Formats", not the long list of patterns
// behind it (which spells every extension in both cases).
constexpr QFileDialog::Options kFilterNamesOnly = QFileDialog::HideNameFilterDetails;

class PlatformDialogs final : public SystemDialogs {
public:
    QString getOpenFileName(QWidget* owner, const QString& title, const QString& filter) override
    {
        return QFileDialog::getOpenFileName(owner, title, {}, filter, nullptr, kFilterNamesOnly);
    }
    QStringList getOpenFileNames(QWidget* owner, const QString& title, const QString& filter) override
    {
        return QFileDialog::getOpenFileNames(owner, title, {}, filter, nullptr, kFilterNamesOnly);
    }
    QString getSaveFileName(QWidget* owner, const QString& title, const QString& filter) override
    {
        // No overwrite question: the name chosen may still gain an extension, so
        // the question could be about another file than the one written.
        return QFileDialog::getSaveFileName(
            owner, title, {}, filter, nullptr, kFilterNamesOnly | QFileDialog::DontConfirmOverwrite);
    }
    QString getExistingDirectory(QWidget* owner, const QString& title, const QString& initial) override
    {
        return QFileDialog::getExistingDirectory(owner, title, initial, QFileDialog::ShowDirsOnly);
    }
    bool openUrl(const QString& address) override { return QDesktopServices::openUrl(QUrl(address)); }
};

SystemDialogs* replacement = nullptr;

} // namespace

SystemDialogs& SystemDialogs::current()
{
    static PlatformDialogs platform;
    return replacement ? *replacement : platform;
}

void SystemDialogs::replace(SystemDialogs* dialogs)
{
    replacement = dialogs;
}
