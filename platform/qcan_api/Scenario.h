#pragma once

// A scenario is the traffic of one simulated machine. The simulated adapter asks it, on its
// receive thread, for the frames that fall due in each slice of elapsed time; the scenario keeps
// no clock of its own, so it produces the same frames for the same times.

#include <cstdint>
#include <vector>

#include "QCANApi.h"

class Scenario {
public:
    virtual ~Scenario() = default;
    // Appends, in bus order, every frame due at an elapsed time t with fromMs < t <= toMs
    // (milliseconds since the adapter opened).
    virtual void framesDue(uint64_t fromMs, uint64_t toMs, std::vector<_TGENERIC_CAN_FRAME>& out) = 0;
};
