#pragma once

// An excavator at work. For now one tilt sensor of the maker (device type 16, device number 101)
// sends message 1 at 50 Hz: bytes 0-1 a rolling counter, bytes 2-3 an angle in 0.01 degree that
// swings +-30 degrees over 20 s, bytes 4-7 zero. More devices are added as further periodic
// streams in framesDue.

#include "Scenario.h"

class ExcavatorScenario : public Scenario {
public:
    static constexpr uint32_t kTiltDevType = 16;
    static constexpr uint32_t kTiltDevNumber = 101;
    static constexpr uint32_t kTiltPeriodMs = 20;  // 50 Hz

    // Maker identifier: msg bits 21-28 | cmd bits 18-20 | devType bits 8-14 | devNumber bits 0-6.
    static uint32_t makerId(uint32_t msg, uint32_t cmd, uint32_t devType, uint32_t devNumber)
    {
        return (msg << 21) | (cmd << 18) | (devType << 8) | devNumber;
    }

    void framesDue(uint64_t fromMs, uint64_t toMs, std::vector<_TGENERIC_CAN_FRAME>& out) override;

private:
    static _TGENERIC_CAN_FRAME tiltFrame(uint64_t tMs);
};
