#pragma once

#include <atomic>

#include <wx/thread.h>

namespace Sensors {

// The one background thread of the plug-in: gives every adapter a pass at least every 100 ms (at
// once when a frame was queued), re-arms or removes finished adapters and feeds the named frame
// handlers. Detached: it deletes itself when Entry returns.
class SensorManagerThread : public wxThread {
public:
    static constexpr unsigned int STACK_SIZE = 16388608;

    SensorManagerThread();
    ~SensorManagerThread() override;
    // Thread objects not yet deleted, that is threads not yet at their very end.
    static int liveCount();
    // Waits, up to timeoutMs, until the last manager thread has left the process entirely: its
    // object is deleted a little before the thread itself is gone.
    static void waitUntilGone(unsigned int timeoutMs);

protected:
    ExitCode Entry() override;

private:
    static std::atomic<int> live;
    static std::atomic<long> lastThreadId;  // the system's id of the last thread that ran
};

}  // namespace Sensors
