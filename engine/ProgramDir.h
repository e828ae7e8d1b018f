#pragma once

#include <string>

// The directory of the running executable with a trailing "/".
std::string programDirectory();
