#pragma once

// The plug-in's one source of time. Every time stamp, timeout and protocol wait reads it, so that a
// program (a test, or a replay at a fixed time base) can freeze it and drive it by hand: in manual
// mode time stands still until advance() moves it, and sleepers wake when their time has come.

#include <atomic>

namespace Sensors {

class Clock {
public:
    // Wall-clock milliseconds since 1970-01-01: whole seconds times 1000 plus the millisecond of the
    // local time; the seconds are taken as -1 when they do not fit in 31 bits.
    static unsigned long long wallMs();
    // A monotonic millisecond counter cut to 32 bits, like the tick count of the original platform.
    static unsigned int tickCount();
    // Waits ms milliseconds of this clock. In manual mode the caller waits until advance() has
    // moved the clock that far.
    static void sleepMs(unsigned int ms);
    // Like sleepMs, but returns early once `cancelled` is true: whoever sets it calls
    // wakeSleepers() so that the sleeper looks again. True when the whole time was slept.
    static bool sleepMsUnless(unsigned int ms, const std::atomic<bool>& cancelled);
    static void wakeSleepers();

    // Freezes the clock at wallStartMs; the tick count then moves in step with the wall time.
    static void setManual(unsigned long long wallStartMs);
    // Back to the system's clocks; wakes every manual sleeper.
    static void setReal();
    static bool isManual();
    // Moves manual time forward and wakes the sleepers whose time has come.
    static void advance(unsigned long long ms);
    // Sets manual time to an absolute value (never backwards).
    static void setTo(unsigned long long wallMs);
    // Blocks up to realTimeoutMs of real time until at least n threads sleep on the manual clock.
    static bool waitForSleepers(int n, unsigned int realTimeoutMs);
};

}  // namespace Sensors
