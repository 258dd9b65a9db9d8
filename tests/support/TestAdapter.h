#pragma once

// One dummy adapter driven by hand: the test owns the clock (manual mode) and runs the adapter's
// passes itself, so every step is deterministic. The adapter object is entered in the manager's
// table (without starting the manager thread), so sensors send through the manager as in a host.

#include <string>
#include <vector>

#include "CANFrameTypes.h"
#include "QCANDevice.h"

class TestAdapter {
public:
    explicit TestAdapter(const std::string& name = "DUMMY1", int cuaId = 1);
    ~TestAdapter();  // removes the adapter from the manager's table, closes it, restores the clock

    // Runs passes, 10 ms of clock apart, until the adapter is CONNECTED; false after 10 s of clock.
    bool connect();
    // One pass of the adapter after moving the clock by stepMs; returns the status after it.
    int pass(unsigned long long stepMs = 10);
    // Injects a frame into the dummy, waits until the library delivered it, then runs passes
    // until the adapter's receive ring is empty.
    bool receive(uint32_t id, bool ext, std::vector<uint8_t> data, bool rtr = false);
    // Frames the adapter sent so far; runs passes first until the delayed queue is drained.
    std::vector<_TGENERIC_CAN_FRAME> sentFrames();
    void clearSent();
    // Whether each pass first has the dummy deliver one status report (default on), so that
    // driving the clock does not by itself make the adapter silent.
    void setAutoReport(bool on) { autoReport_ = on; }

    Sensors::QCANDevice* device() { return device_; }
    int cuaId() const { return cuaId_; }
    const std::string& name() const { return name_; }

private:
    std::string name_;
    int cuaId_;
    Sensors::QCANDevice* device_;
    bool autoReport_ = true;
};
