#pragma once

// What a DSM500 pair knows of one of its two units: the unit's last measurement and state.

#include <cstdint>

namespace Sensors {

struct DSM500UnitData {
    uint64_t time = 0;     // receive time of the measurement, ms
    bool present = false;  // the unit has been heard
    bool ok = false;       // the unit is operational and reports no error
    double distance = 0.0;
    double second = 0.0;
    uint8_t quality = 0;
};

}  // namespace Sensors
