#pragma once

#include "Sensor.h"

namespace Sensors {

// Vessel heading (NMEA 2000 parameter group 127250) from any source on the bus.
class NMEA2KHeadingSensor : public Sensor {
public:
    NMEA2KHeadingSensor(SensorManager* manager, int cuaId, unsigned char sensorId);
    NMEA2KHeadingSensor(const NMEA2KHeadingSensor& other) = default;

    NMEA2KHeadingSensor* Clone() override;
    using Sensor::ToXML;  // the element that the XML of the adapter and of the manager is made of
    wxString ToXML() const;
    using Sensor::Parse;
    bool Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time) override;
    bool Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time) override;
    // A compass that sends "not available" is alive but of no use: it is reported as not ok.
    void Update(const unsigned long long& elapsed, const unsigned long long& now) override;

    double getHeading() const { return heading; }  // radians
    bool hasHeading() const { return headingAvailable; }

private:
    double heading;
    bool headingAvailable;
};

}  // namespace Sensors
