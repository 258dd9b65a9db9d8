#pragma once

// The simulated excavator's frames and poses for tests that also include the plug-in's headers,
// which declare the frame records in their own way: this interface names neither.

#include <cstdint>
#include <vector>

class ExcavatorTraffic {
public:
    struct Frame {
        uint64_t tMs;  // scenario time it is sent at
        uint32_t id;
        bool ext;
        std::vector<uint8_t> data;
        unsigned busBits;  // bits it occupies on the bus, worst-case stuffing
    };

    // Every frame due at a time t with fromMs < t <= toMs, in bus order.
    std::vector<Frame> frames(uint64_t fromMs, uint64_t toMs);

    // The pitch and roll in degrees of the link a tilt sensor sits on, in the pose at t.
    static void linkAngles(int sensor, uint64_t t, double& pitch, double& roll);
    // Machine heading in degrees at t.
    static double heading(uint64_t t);

    static const double kLat0, kLon0, kHeight0, kGeoid;
};
