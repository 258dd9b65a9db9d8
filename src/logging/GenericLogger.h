#pragma once

#include <string>

#include "BasicLogger.h"
#include "LogTypeTraits.h"

namespace WispEasyWrapper {

// Hands one finished message to the host's logging library at the level of Traits, unless the
// library's current minimum level is above it.
template <class Traits>
class GenericLogger {
public:
    static constexpr WispLogLevels::WispLevel level = Traits::level;

    static void log(const std::string& text, unsigned int line, const char* file, const char* function)
    {
        // Asked per message, after the text is built: the host may change the level at any time.
        if (BasicLogger::getMinimumLogLevel() <= Traits::level)
            BasicLogger::logMessage(Traits::level, text, line, file, function, false);
    }
};

}  // namespace WispEasyWrapper
