#pragma once

// The writer thread of one DataLogging: formats queued frames and appends them to the log file in
// batches. Detached; it ends by itself once its logger is no longer active.

#include <atomic>

#include <wx/thread.h>

namespace Sensors {

class DataLogging;

class LoggerThread : public wxThread {
public:
    explicit LoggerThread(DataLogging* logger);
    ~LoggerThread() override;
    // Writer threads that exist now (created and not yet deleted).
    static int liveCount();

protected:
    ExitCode Entry() override;

private:
    DataLogging* logger;
    static std::atomic<int> live;
};

}  // namespace Sensors
