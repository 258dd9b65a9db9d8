#pragma once

// One periodic message stream of a simulated device: every period (from an offset, so that the
// devices of a machine do not all send in the same millisecond) its generator appends the frames
// of that instant. The frames of one instant also give the stream's share of the bus load.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "QCANApi.h"

class PeriodicStream {
public:
    using Generator = std::function<void(uint64_t tMs, std::vector<_TGENERIC_CAN_FRAME>& out)>;

    struct TimedFrame {
        uint64_t tMs;
        size_t order;  // position of the stream in its scenario; breaks ties in time
        _TGENERIC_CAN_FRAME frame;
    };

    PeriodicStream(std::string name, uint32_t periodMs, uint32_t offsetMs, Generator generator);

    // Appends the frames of every instant t of this stream with fromMs < t <= toMs.
    void due(uint64_t fromMs, uint64_t toMs, size_t order, std::vector<TimedFrame>& out) const;

    const std::string& name() const { return name_; }
    uint32_t periodMs() const { return periodMs_; }
    // The frames of the stream's first instant: what it sends every period.
    std::vector<_TGENERIC_CAN_FRAME> sample() const;

private:
    std::string name_;
    uint32_t periodMs_;
    uint32_t offsetMs_;
    Generator generator_;
};
