#pragma once

// Drives the plug-in's clock (manual mode) from real time while the manager thread runs against a
// real kernel: at pace 1 the clock follows real time; a higher pace runs the plug-in's waits
// (status silence, the close-and-reopen steps, back-offs) that many times faster, so a
// reconnection takes a fraction of its real duration. The adapter library's status reports keep
// real time, so a connected adapter must only see pace 1 or 0. Pace 0 stands the clock still:
// nothing times out, so a check on a machine too busy to keep real time reads what was sent.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

class ClockPump {
public:
    ClockPump();   // freezes the clock at the current wall time and starts pumping at pace 1
    ~ClockPump();  // stops pumping; the clock goes back to real time
    void setPace(int pace);

private:
    void loop();
    std::atomic<int> pace_{1};
    std::mutex mutex_;
    std::condition_variable cv_;
    bool stop_ = false;
    std::thread thread_;
};
