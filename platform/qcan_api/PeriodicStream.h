#pragma once

// One periodic message stream of a simulated device: every period (from an offset, so that the
// devices of a machine do not all send in the same millisecond) its generator appends the frames
// of that instant. The description (identifier kind, length, frames per period) also feeds the
// bus load estimate.

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

    PeriodicStream(std::string name, uint32_t periodMs, uint32_t offsetMs, bool extended, uint16_t dlc,
                   unsigned framesPerPeriod, Generator generator);

    // Appends the frames of every instant t of this stream with fromMs < t <= toMs.
    void due(uint64_t fromMs, uint64_t toMs, size_t order, std::vector<TimedFrame>& out) const;

    const std::string& name() const { return name_; }
    uint32_t periodMs() const { return periodMs_; }
    bool extended() const { return extended_; }
    uint16_t dlc() const { return dlc_; }
    double framesPerSecond() const { return framesPerPeriod_ * 1000.0 / periodMs_; }

private:
    std::string name_;
    uint32_t periodMs_;
    uint32_t offsetMs_;
    bool extended_;
    uint16_t dlc_;
    unsigned framesPerPeriod_;
    Generator generator_;
};
