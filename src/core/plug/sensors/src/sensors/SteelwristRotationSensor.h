#pragma once

#include <cstdint>

#include "Sensor.h"

namespace Sensors {

// Rotation of a Steelwrist tiltrotator (identifier 0CF014A9), 1/128 degree per tick.
class SteelwristRotationSensor : public Sensor {
public:
    SteelwristRotationSensor(SensorManager* manager, int cuaId, unsigned char sensorId);
    SteelwristRotationSensor(const SteelwristRotationSensor& other) = default;

    SteelwristRotationSensor* Clone() override;
    void Clean() override;
    using Sensor::ToXML;  // the element that the XML of the adapter and of the manager is made of
    wxString ToXML() const;
    using Sensor::Parse;
    bool Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time) override;
    bool Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time) override;

    static constexpr int32_t kStatusValid = 0;
    static constexpr int32_t kStatusNotValid = 2;

    int32_t getRotationTicks() const { return ticks; }
    double getRotationAngle() const { return angle; }  // degrees
    int32_t getSensorStatus() const { return status; }

private:
    int32_t ticks;
    double angle;
    int32_t status;
};

}  // namespace Sensors
