#pragma once

// The DT500 laser distance sensor on standard identifier 46: one distance in metres and whether the
// sensor currently measures a valid one.

#include "Sensor.h"

namespace Sensors {

class DT500Sensor : public Sensor {
public:
    static constexpr uint32_t FRAME_ID = 46;
    // Readings at or beyond this distance (m) are out of the sensor's range.
    static constexpr double RANGE_LIMIT_M = 100.0;

    DT500Sensor(SensorManager* manager, int cuaId, unsigned char sensorId);
    DT500Sensor(const DT500Sensor& other) = default;
    DT500Sensor* Clone() override;
    ~DT500Sensor() override;

    void Clean() override;
    using Sensor::Parse;
    bool Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time) override;
    void Update(const unsigned long long& elapsed, const unsigned long long& now) override;
    using Sensor::ToXML;
    virtual wxString ToXML() const;

    // Fills the last distance (m); true when it is valid.
    bool getDistance(double& out) const;

private:
    double distance;
    bool valid;
};

}  // namespace Sensors
