#pragma once

// The slope sensor of a Steelwrist tiltrotator (device type 160), sending the J1939 slope sensor
// information message. Two angles in degrees, turned into the gravity direction on each update.

#include <cstdint>

#include "Sensor.h"
#include "Vector3d.h"

namespace Sensors {

class SteelwristSlopeSensor : public Sensor {
public:
    // status values
    enum { STATUS_VALID = 0, STATUS_NOT_VALID = 2, STATUS_NO_DATA = 3 };
    // The slope sensor information message (parameter group 61459) from source address 0xA9.
    static constexpr uint32_t SLOPE_MESSAGE_ID = 0x0CF013A9;

    SteelwristSlopeSensor(SensorManager* manager, int cuaId, unsigned char sensorId);
    SteelwristSlopeSensor(const SteelwristSlopeSensor& other) = default;
    SteelwristSlopeSensor& operator=(const SteelwristSlopeSensor& other) = default;

    SteelwristSlopeSensor* Clone() override;
    ~SteelwristSlopeSensor() override;
    void Clean() override;
    bool Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time) override;
    bool Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time) override;
    void Update(const unsigned long long& elapsed, const unsigned long long& now) override;
    using Sensor::ToXML;
    wxString ToXML() const;

    Vector3d& getAcc() { return acc; }
    const Vector3d& getAcc() const { return acc; }
    uint32_t getSensorStatus() const { return status; }
    double getAngle1() const { return angle1; }
    double getAngle2() const { return angle2; }

private:
    uint32_t status;
    Vector3d acc;
    double angle1;
    double angle2;
};

}  // namespace Sensors
