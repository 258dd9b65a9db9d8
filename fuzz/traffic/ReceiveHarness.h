#pragma once

// The plug-in as a host runs it, driven by fuzz input: dummy adapters connected through the
// adapter library, frames handed to each adapter's receive callback as the library's receive
// thread would, the adapters' periodic passes (receive ring, sensor creation, time-outs, queued
// sends) on a hand-driven clock, and a host reading everything in between.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "CANFrameTypes.h"
#include "QCANDevice.h"
#include "TestAdapter.h"

class ReceiveHarness {
public:
    static constexpr int ADAPTERS = 2;

    // Created once per fuzzing process (adapters connect in it), kept until exit.
    static ReceiveHarness& instance();
    // What a fuzz target's start-up does once: wxWidgets initialised, no adapters from the
    // environment but the harness's own dummies, and those connected.
    static void startProcess();

    // One frame through the receive callback of adapter (0 or 1), as the library delivers it.
    void receive(int adapter, const _TGENERIC_CAN_FRAME& frame);
    // One periodic pass of every adapter after the clock moved by stepMs.
    void pass(unsigned long long stepMs);
    // What a host reads: every typed getter for every sensor present, the sensor infos with their
    // status texts, every sensor's XML and the manager's status.
    void readEverything();
    // Back to connected adapters without sensors or queued frames, so that inputs do not depend on
    // each other.
    void reset();

private:
    ReceiveHarness();
    std::vector<std::unique_ptr<TestAdapter>> adapters_;
};

// What a host reads of one adapter: every typed getter of the manager for every sensor present,
// and with texts also the sensor infos with their status texts, every sensor's XML and the
// manager's status. Returns the number of typed getter calls made.
int readEverySensor(Sensors::QCANDevice* device, int cuaId, bool withTexts);

// Runs one fuzz input of 14-byte frame records (see TrafficCorpus.h). The flags byte of each
// record also steers the run: bit 2 picks the adapter, bit 3 runs a pass after the frame, bit 4
// lets the host read everything, bits 5-7 move the clock (0 to 7 times 300 ms) before the pass.
void runTrafficInput(const uint8_t* data, size_t size);
