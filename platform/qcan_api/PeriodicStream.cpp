#include "PeriodicStream.h"

#include <utility>

PeriodicStream::PeriodicStream(std::string name, uint32_t periodMs, uint32_t offsetMs, Generator generator)
    : name_(std::move(name)),
      periodMs_(periodMs == 0 ? 1 : periodMs),
      offsetMs_(offsetMs % (periodMs == 0 ? 1 : periodMs)),
      generator_(std::move(generator))
{
}

void PeriodicStream::due(uint64_t fromMs, uint64_t toMs, size_t order, std::vector<TimedFrame>& out) const
{
    // The first instant offset + k * period that lies after fromMs.
    uint64_t t = offsetMs_;
    if (fromMs >= offsetMs_)
        t = offsetMs_ + ((fromMs - offsetMs_) / periodMs_ + 1) * periodMs_;
    std::vector<_TGENERIC_CAN_FRAME> frames;
    for (; t <= toMs; t += periodMs_) {
        if (t == 0)
            continue;  // nothing is due at the instant of opening
        frames.clear();
        generator_(t, frames);
        for (const _TGENERIC_CAN_FRAME& f : frames)
            out.push_back(TimedFrame{t, order, f});
    }
}

std::vector<_TGENERIC_CAN_FRAME> PeriodicStream::sample() const
{
    std::vector<_TGENERIC_CAN_FRAME> frames;
    generator_(offsetMs_ == 0 ? periodMs_ : offsetMs_, frames);
    return frames;
}
