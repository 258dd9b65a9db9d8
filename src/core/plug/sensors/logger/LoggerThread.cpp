#include "LoggerThread.h"

#include <cstdio>

#include "DataLogging.h"

namespace Sensors {

std::atomic<int> LoggerThread::live{0};

LoggerThread::LoggerThread(DataLogging* logger_) : wxThread(wxTHREAD_DETACHED), logger(logger_)
{
    ++live;
}

LoggerThread::~LoggerThread()
{
    --live;
}

int LoggerThread::liveCount()
{
    return live;
}

wxThread::ExitCode LoggerThread::Entry()
{
    // The logger may be freed as soon as its writer reports that it has stopped, so nothing after
    // this call touches it.
    logger->runWriter();
    std::fputs("Datalogging thread stopped\n", stdout);
    std::fflush(stdout);
    return nullptr;
}

}  // namespace Sensors
