#pragma once

// One hit of the laser beam on a receiver channel, as the laser receiver reports it.

#include <cstdint>

namespace Sensors {

struct LaserHit {
    int16_t channel = 0;
    int16_t position = 0;
    uint64_t time = 0;  // receive time, ms
};

}  // namespace Sensors
