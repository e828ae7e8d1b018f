#pragma once

#include "ErrorReport.h"

#include <QCoreApplication>

#include <exception>
#include <utility>

// Every handler of the window runs through this: an error that escapes it
// is shown to the user instead of unwinding through the toolkit, and
// whatever the handler held on its stack has been released by then.
template <typename Handler> auto guarded(Handler handler)
{
    return [handler](auto&&... arguments) {
        try {
            handler(std::forward<decltype(arguments)>(arguments)...);
        } catch (const std::exception& error) {
            reportError(error.what());
        } catch (...) {
            reportError(QCoreApplication::translate("TUIHook", "An unexpected error occurred.").toStdString());
        }
    };
}
