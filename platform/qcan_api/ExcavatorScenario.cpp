#include "ExcavatorScenario.h"

#include <cmath>

void ExcavatorScenario::framesDue(uint64_t fromMs, uint64_t toMs, std::vector<_TGENERIC_CAN_FRAME>& out)
{
    // The first multiple of the period after fromMs, up to toMs.
    for (uint64_t t = (fromMs / kTiltPeriodMs + 1) * kTiltPeriodMs; t <= toMs; t += kTiltPeriodMs)
        out.push_back(tiltFrame(t));
}

_TGENERIC_CAN_FRAME ExcavatorScenario::tiltFrame(uint64_t tMs)
{
    _TGENERIC_CAN_FRAME f{};
    f.header.id = makerId(1, 0, kTiltDevType, kTiltDevNumber);
    f.header.ext = 1;
    f.header.dlc = 8;
    const uint16_t counter = static_cast<uint16_t>(tMs / kTiltPeriodMs);
    const double pi = 3.14159265358979323846;
    const int16_t angle = static_cast<int16_t>(std::lround(3000.0 * std::sin(2.0 * pi * static_cast<double>(tMs) / 20000.0)));
    const uint16_t a = static_cast<uint16_t>(angle);
    f.data[0] = static_cast<uint8_t>(counter & 0xFF);
    f.data[1] = static_cast<uint8_t>(counter >> 8);
    f.data[2] = static_cast<uint8_t>(a & 0xFF);
    f.data[3] = static_cast<uint8_t>(a >> 8);
    return f;
}
