#include "ErrorReport.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

ErrorReporter& reporter()
{
    static ErrorReporter instance;
    return instance;
}

} // namespace

void setErrorReporter(ErrorReporter newReporter)
{
    reporter() = std::move(newReporter);
}

void reportError(const std::string& message)
{
    if (reporter())
        reporter()(message);
    else
        std::fprintf(stderr, "%s\n", message.c_str());
}

void reportWarning(const std::string& message)
{
    const std::string program
        = QCoreApplication::instance() ? QCoreApplication::applicationName().toStdString() : std::string("calvera");
    const QString warning
        = QCoreApplication::translate("ErrorReport", "warning: %1").arg(QString::fromStdString(message));
    std::fprintf(stderr, "%s: %s\n", program.c_str(), warning.toStdString().c_str());
}
