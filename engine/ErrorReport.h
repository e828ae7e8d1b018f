#pragma once

#include <functional>
#include <string>

// Where errors go that the user must see but that no caller can catch (a
// child that cannot be started, for one). Without a window they are written
// to standard error; the window installs a message box instead.
using ErrorReporter = std::function<void(const std::string& message)>;

void setErrorReporter(ErrorReporter reporter);
void reportError(const std::string& message);

// Something passed over that the user may want to know of (a file in the
// user's folders that is not a regular file, a log that could not be made):
// written to standard error as "<program>: warning: message", never a box.
void reportWarning(const std::string& message);
