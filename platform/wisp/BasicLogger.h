#pragma once

#include <string>
#include <vector>

#include "WispLogLevels.h"

// The host's logging library. Messages are written one line each, to standard error or to the file
// named by WISP_LOG_FILE; WISP_LOG_LEVEL (a number 0 to 5 or a level name) sets the minimum level.
// Every call may come from any thread.
class BasicLogger {
public:
    // One message as it was handed to logMessage.
    struct Record {
        WispLogLevels::WispLevel level;
        std::string message;
        unsigned int line;
        std::string file;
        std::string function;
    };

    static void logMessage(WispLogLevels::WispLevel level, const std::string& message, unsigned int line,
                           const std::string& file, const std::string& function, bool flag);
    static WispLogLevels::WispLevel getMinimumLogLevel();

    // Host side: change the minimum level and the destination at run time.
    static void setMinimumLogLevel(WispLogLevels::WispLevel level);
    static void setOutputFile(const std::string& path);  // empty: standard error
    static void setQuiet(bool quiet);                      // true: write nothing (capture still works)

    // Capture keeps a copy of every message handed over, so that a caller can read exact texts.
    static void startCapture();
    static std::vector<Record> capturedMessages();
    static void stopCapture();
};
