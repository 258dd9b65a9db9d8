#include "CANopenEncoderSensor.h"

#include <cmath>
#include <iostream>

#include "FrameBytes.h"
#include "SensorManager.h"

namespace Sensors {

namespace {
const uint32_t kTpdo1Node32 = 0x180 + 32;
}

CANopenEncoderSensor::CANopenEncoderSensor(SensorManager* manager_, int cuaId_, unsigned char sensorId_)
    : Sensor(manager_, cuaId_, sensorId_, SDT_CANOPEN_ENCODER), pulseCount(0)
{
    errorTimeoutTime = 5000;
}

CANopenEncoderSensor* CANopenEncoderSensor::Clone()
{
    return new CANopenEncoderSensor(*this);
}

void CANopenEncoderSensor::Clean()
{
    pulseCount = 0;
}

wxString CANopenEncoderSensor::ToXML() const
{
    return wxT(".CANopenEncoderSensor");
}

bool CANopenEncoderSensor::Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time)
{
    return parseAsGeneric(frame, time);
}

bool CANopenEncoderSensor::Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time)
{
    if (!frame || frame->header.id != kTpdo1Node32)
        return false;
    acceptFrame(time);
    pulseCount = FrameBytes::les32(frame->data);
    return true;
}

double CANopenEncoderSensor::getRotationAngle(uint32_t pulsesPerTurn, uint32_t turnsPerRevolution) const
{
    // The product is kept in 64 bits so that large encoder resolutions cannot wrap to zero.
    const uint64_t perRevolution = static_cast<uint64_t>(pulsesPerTurn) * turnsPerRevolution;
    if (perRevolution == 0) {
        std::cerr << "full_rotator_revolution cannot be zero!" << std::endl;
        return 0.0;
    }
    // The counter wraps around as an unsigned 32-bit number, so a count just below zero lies
    // just below a full revolution.
    const uint64_t withinRevolution = static_cast<uint32_t>(pulseCount) % perRevolution;
    return 2.0 * M_PI * static_cast<double>(withinRevolution) / static_cast<double>(perRevolution);
}

}  // namespace Sensors
