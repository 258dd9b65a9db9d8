#include "BasicLogger.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <sys/time.h>

namespace {

const char* levelName(WispLogLevels::WispLevel level)
{
    switch (level) {
    case WispLogLevels::Trace: return "TRACE";
    case WispLogLevels::Debug: return "DEBUG";
    case WispLogLevels::Information: return "INFO";
    case WispLogLevels::Warning: return "WARN";
    case WispLogLevels::Error: return "ERROR";
    case WispLogLevels::Fatal: return "FATAL";
    }
    return "?";
}

WispLogLevels::WispLevel levelFromEnvironment()
{
    const char* text = std::getenv("WISP_LOG_LEVEL");
    if (!text || !*text)
        return WispLogLevels::Information;
    static const char* names[] = {"trace", "debug", "info", "warn", "error", "fatal"};
    for (int i = 0; i < 6; ++i)
        if (strncasecmp(text, names[i], std::strlen(names[i])) == 0)
            return static_cast<WispLogLevels::WispLevel>(i);
    int value = std::atoi(text);
    if (value < 0)
        value = 0;
    if (value > 6)
        value = 6;
    return static_cast<WispLogLevels::WispLevel>(value);
}

struct LoggerState {
    std::mutex mutex;
    std::atomic<int> minimum{levelFromEnvironment()};
    FILE* out = nullptr;  // null: standard error
    bool quiet = false;
    bool capturing = false;
    std::vector<BasicLogger::Record> captured;

    LoggerState()
    {
        const char* path = std::getenv("WISP_LOG_FILE");
        if (path && *path)
            out = std::fopen(path, "a");
    }
};

// Built on first use and never destroyed: threads may still log while the process exits.
LoggerState& state()
{
    static LoggerState* s = new LoggerState();
    return *s;
}

}  // namespace

void BasicLogger::logMessage(WispLogLevels::WispLevel level, const std::string& message, unsigned int line,
                             const std::string& file, const std::string& function, bool)
{
    LoggerState& s = state();
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    struct tm local;
    localtime_r(&tv.tv_sec, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);

    const char* base = std::strrchr(file.c_str(), '/');
    base = base ? base + 1 : file.c_str();

    std::lock_guard<std::mutex> guard(s.mutex);
    if (s.capturing)
        s.captured.push_back(Record{level, message, line, file, function});
    if (s.quiet)
        return;
    // One fprintf per message under the lock, so concurrent messages never interleave.
    std::fprintf(s.out ? s.out : stderr, "%s.%03ld %-5s %s:%u %s: %s\n", stamp, static_cast<long>(tv.tv_usec / 1000),
                 levelName(level), base, line, function.c_str(), message.c_str());
    std::fflush(s.out ? s.out : stderr);
}

WispLogLevels::WispLevel BasicLogger::getMinimumLogLevel()
{
    return static_cast<WispLogLevels::WispLevel>(state().minimum.load());
}

void BasicLogger::setMinimumLogLevel(WispLogLevels::WispLevel level)
{
    state().minimum.store(level);
}

void BasicLogger::setOutputFile(const std::string& path)
{
    LoggerState& s = state();
    std::lock_guard<std::mutex> guard(s.mutex);
    if (s.out)
        std::fclose(s.out);
    s.out = path.empty() ? nullptr : std::fopen(path.c_str(), "a");
}

void BasicLogger::setQuiet(bool quiet)
{
    LoggerState& s = state();
    std::lock_guard<std::mutex> guard(s.mutex);
    s.quiet = quiet;
}

void BasicLogger::startCapture()
{
    LoggerState& s = state();
    std::lock_guard<std::mutex> guard(s.mutex);
    s.captured.clear();
    s.capturing = true;
}

std::vector<BasicLogger::Record> BasicLogger::capturedMessages()
{
    LoggerState& s = state();
    std::lock_guard<std::mutex> guard(s.mutex);
    return s.captured;
}

void BasicLogger::stopCapture()
{
    LoggerState& s = state();
    std::lock_guard<std::mutex> guard(s.mutex);
    s.capturing = false;
    s.captured.clear();
}
