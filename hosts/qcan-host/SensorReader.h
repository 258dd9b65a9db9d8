#pragma once

// The one place that knows, for each kind of sensor, which typed getter of the manager returns it
// and which of its getters hold its readings. The text and JSON views only show what it returns.

#include <string>
#include <vector>

#include "HostSnapshot.h"

namespace Sensors {
class SensorManager;
struct SensorInfo;
}

class SensorReader {
public:
    // A copy of the sensor through its typed getter, summarised with its readings named after the
    // getters that return them.
    static HostSnapshot::Sensor read(Sensors::SensorManager& manager, const Sensors::SensorInfo& info);

    // The class the typed getter for a device type returns; "Sensor" for kinds without one.
    static const char* className(unsigned deviceType);
    // Every name className can return.
    static const std::vector<std::string>& classNames();
};
