#pragma once

// Zeroes one live slope sensor: checks that the unit is ok, in range and steady for a second, sends the
// zero command and its release on identifier 701, then waits up to five seconds for the slopes to
// come back near zero. Joinable: every zeroing thread is kept in one list and joined once it has
// ended (or, when the program ends, told to stop and joined), so that whatever it did happens
// before whoever sees it gone.

#include <atomic>

#include <wx/thread.h>

namespace Sensors {

class SensorManager;

class SlopeZeroingThread : public wxThread {
public:
    enum class Start { Running, NotCreated, NotStarted };
    // Creates, runs and keeps a zeroing thread.
    static Start start(SensorManager* manager, int cuaId, unsigned char sensorId);

    // Zeroing threads not yet joined. Joins every thread that has ended first, so 0 means every
    // zeroing has ended and its thread has been waited for.
    static int liveCount();

    // Tells every zeroing thread to stop at its next step and joins them all. The program's end
    // (and the plug-in's unloading) does this, so no thread outlives the threading library.
    static void stopAll();

    ~SlopeZeroingThread() override;

    // Waits between the protocol steps.
    static constexpr unsigned int STABILITY_WAIT_MS = 1000;
    static constexpr unsigned int ZERO_HOLD_MS = 1000;
    static constexpr unsigned long long SETTLE_TIMEOUT_MS = 5000;
    static constexpr unsigned int SETTLE_POLL_MS = 100;
    static constexpr unsigned int COMMAND_ID = 701;

protected:
    ExitCode Entry() override;

private:
    SlopeZeroingThread(SensorManager* manager, int cuaId, unsigned char sensorId);

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
    void run();
    // False when told to stop meanwhile.
    bool pause(unsigned int ms);
    // Joins (and deletes) the threads whose Entry has returned; with `all`, every thread.
    static void join(bool all);

    // The sensor is looked up for every step: its adapter may delete it at any time.
    SensorManager* manager;
    int cuaId;
    unsigned char sensorId;
    std::atomic<bool> cancelled;
    std::atomic<bool> ended;
};

}  // namespace Sensors
