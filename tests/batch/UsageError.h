#pragma once

#include "BatchCommandLine.h"

#include <string>
#include <vector>

// What calvera-batch says of a command line it refuses; "(accepted)" when it takes it.
inline std::string usageError(const std::vector<std::string>& arguments)
{
    try {
        parseBatchCommandLine(arguments);
    } catch (const BatchUsageError& error) {
        return error.what();
    }
    return "(accepted)";
}
