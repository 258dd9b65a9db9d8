#pragma once

#include "Sensor.h"

namespace Sensors {

// A Rototilt tiltrotator (identifier 0CFF2ADC): three angles in tenths of a degree around an offset of 2000.
class RototiltSensor : public Sensor {
public:
    RototiltSensor(SensorManager* manager, int cuaId, unsigned char sensorId);
    RototiltSensor(const RototiltSensor& other) = default;

    RototiltSensor* Clone() override;
    void Clean() override;
    using Sensor::ToXML;  // the element that the XML of the adapter and of the manager is made of
    wxString ToXML() const;
    using Sensor::Parse;
    bool Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time) override;
    bool Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time) override;

    double GetFirstAngle() const { return firstAngle; }    // degrees, data bytes 0-1
    double GetSecondAngle() const { return secondAngle; }  // degrees, data bytes 2-3
    double GetRotationAngle() const { return rotationAngle; }  // degrees, data bytes 4-5
    bool GetIsOk() const { return ok; }

private:
    double firstAngle;
    double secondAngle;
    double rotationAngle;
    bool ok;
};

}  // namespace Sensors
