#pragma once

#include <cstdint>

#include "Sensor.h"

namespace Sensors {

// Rotation angle of an Engcon tiltrotator, sent as J1939 proprietary B group 65465 by any source.
// The angle uses the resolution of J1939 parameter 3331: 1/128 degree per bit, offset -200 degrees.
class EngconTiltrotatorSensor : public Sensor {
public:
    EngconTiltrotatorSensor(SensorManager* manager, int cuaId, unsigned char sensorId);
    EngconTiltrotatorSensor(const EngconTiltrotatorSensor& other) = default;

    EngconTiltrotatorSensor* Clone() override;
    void Clean() override;
    using Sensor::ToXML;  // the element that the XML of the adapter and of the manager is made of
    wxString ToXML() const;
    using Sensor::Parse;
    bool Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time) override;
    bool Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time) override;
    // Shows the rotator's own fault report in the status text.
    void Update(const unsigned long long& elapsed, const unsigned long long& now) override;

    unsigned short getRotationAngleRaw() const { return rawAngle; }
    double getRotationAngle() const { return angle; }  // degrees
    unsigned short getStatusValue() const { return status; }  // 0 ok, 1 CAN fault, 2 short circuit, 3 data error

    static double decodeSPN3331(unsigned short raw);
    // Angles outside the representable range wrap around; a value that is not finite gives 0.
    static unsigned short encodeSPN3331(double angle);

private:
    unsigned short rawAngle;
    double angle;
    unsigned short status;
};

}  // namespace Sensors
