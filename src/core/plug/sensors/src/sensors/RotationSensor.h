#pragma once

#include "Sensor.h"
#include "Vector3d.h"

namespace Sensors {

// Upper-carriage rotation reported by the Moba bus on standard identifier 170, in tenths of a degree.
class RotationSensor : public Sensor {
public:
    RotationSensor(SensorManager* manager, int cuaId, unsigned char sensorId);
    RotationSensor(const RotationSensor& other) = default;

    RotationSensor* Clone() override;
    void Clean() override;
    using Sensor::ToXML;  // the element that the XML of the adapter and of the manager is made of
    // Only the opening of the element: the host completes it.
    wxString ToXML() const;
    using Sensor::Parse;
    bool Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time) override;
    bool Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time) override;

    void getRotation(double& out) const { out = rotation; }
    bool getOk() const { return ok; }
    unsigned short getRaw() const { return raw; }
    // The rotation turns the machine about its vertical axis.
    Vector3d getUnit() const;

private:
    unsigned short raw;
    double rotation;  // degrees
    bool ok;
};

}  // namespace Sensors
