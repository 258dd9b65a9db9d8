#pragma once

#include <cstdint>

#include "Sensor.h"

namespace Sensors {

// A CANopen rotary encoder (node 32) whose first transmit process data object carries its pulse count.
class CANopenEncoderSensor : public Sensor {
public:
    CANopenEncoderSensor(SensorManager* manager, int cuaId, unsigned char sensorId);
    CANopenEncoderSensor(const CANopenEncoderSensor& other) = default;

    CANopenEncoderSensor* Clone() override;
    void Clean() override;
    using Sensor::ToXML;  // the element that the XML of the adapter and of the manager is made of
    wxString ToXML() const;
    using Sensor::Parse;
    bool Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time) override;
    bool Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time) override;

    int32_t getRotationPulseCount() const { return pulseCount; }
    // Angle within one revolution of the rotator, in radians [0, 2 pi). The encoder may turn
    // several times per revolution of the rotator, so one revolution is pulsesPerTurn times
    // turnsPerRevolution pulses; 0 for a zero revolution.
    double getRotationAngle(uint32_t pulsesPerTurn, uint32_t turnsPerRevolution) const;

private:
    int32_t pulseCount;
};

}  // namespace Sensors
