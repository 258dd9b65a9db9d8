#pragma once

// Work that runs beside qcan-host's refresh loop while the adapters are connected, such as a log
// replay. HostRunner calls begin once the adapters are connected, refreshed after every refresh and
// end before it disconnects; the run ends after the refresh at which a session says it is finished.

#include <vector>

namespace Sensors {
class SensorManager;
}

class HostSession {
public:
    virtual ~HostSession() = default;
    // False when the session cannot run; it has printed why, and the run ends with status 1.
    virtual bool begin(Sensors::SensorManager& manager, const std::vector<int>& ids) = 0;
    virtual void refreshed() {}
    virtual bool finished() = 0;
    virtual void end() = 0;
};
