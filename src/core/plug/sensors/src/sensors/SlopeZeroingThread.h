#pragma once

// Zeroes one live slope sensor: checks that the unit is ok, in range and steady for a second, sends the
// zero command and its release on identifier 701, then waits up to five seconds for the slopes to
// come back near zero. Detached; it deletes itself when it ends.

#include <atomic>

#include <wx/thread.h>

namespace Sensors {

class SensorManager;

class SlopeZeroingThread : public wxThread {
public:
    SlopeZeroingThread(SensorManager* manager, int cuaId, unsigned char sensorId);
    ~SlopeZeroingThread() override;

    // Zeroing threads whose objects still exist; a program that ends (or unloads the plug-in) waits
    // for 0 so that no thread is left inside the threading library while it shuts down.
    static int liveCount();

    // Waits between the protocol steps.
    static constexpr unsigned int STABILITY_WAIT_MS = 1000;
    static constexpr unsigned int ZERO_HOLD_MS = 1000;
    static constexpr unsigned long long SETTLE_TIMEOUT_MS = 5000;
    static constexpr unsigned int SETTLE_POLL_MS = 100;
    static constexpr unsigned int COMMAND_ID = 701;

protected:
    ExitCode Entry() override;

private:
    struct Reading {
        float x;
        float y;
        bool unitOk;
        bool xInRange;
        bool yInRange;
    };
    Reading read();
    bool usable(const Reading& r) const { return r.unitOk && r.xInRange && r.yInRange; }
    void send(unsigned char command);
    void finish();

    // The sensor is looked up for every step: its adapter may delete it at any time.
    SensorManager* manager;
    int cuaId;
    unsigned char sensorId;
    static std::atomic<int> live;
};

}  // namespace Sensors
