#include "LogCapture.h"

LogCapture::LogCapture() : savedLevel_(BasicLogger::getMinimumLogLevel())
{
    BasicLogger::setMinimumLogLevel(WispLogLevels::Information);
    BasicLogger::startCapture();
}

LogCapture::~LogCapture()
{
    BasicLogger::stopCapture();
    BasicLogger::setMinimumLogLevel(savedLevel_);
}

std::vector<BasicLogger::Record> LogCapture::messages() const
{
    return BasicLogger::capturedMessages();
}

int LogCapture::count(WispLogLevels::WispLevel level, const std::string& text) const
{
    int n = 0;
    for (const auto& r : messages())
        if (r.level == level && r.message == text)
            ++n;
    return n;
}

int LogCapture::countPrefix(WispLogLevels::WispLevel level, const std::string& prefix) const
{
    int n = 0;
    for (const auto& r : messages())
        if (r.level == level && r.message.compare(0, prefix.size(), prefix) == 0)
            ++n;
    return n;
}

void LogCapture::clear()
{
    BasicLogger::startCapture();
}
