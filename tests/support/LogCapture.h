#pragma once

#include <string>
#include <vector>

#include "BasicLogger.h"

// Captures what the plug-in hands to the host log while it lives, at Information level and up.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    std::vector<BasicLogger::Record> messages() const;
    // Messages whose text is exactly the given text, at the given level.
    int count(WispLogLevels::WispLevel level, const std::string& text) const;
    // Messages at the level whose text starts with the given prefix.
    int countPrefix(WispLogLevels::WispLevel level, const std::string& prefix) const;
    bool has(WispLogLevels::WispLevel level, const std::string& text) const { return count(level, text) > 0; }
    void clear();

private:
    WispLogLevels::WispLevel savedLevel_;
};
