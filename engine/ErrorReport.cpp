#include "ErrorReport.h"

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
