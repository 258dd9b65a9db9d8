#include "SteelwristRotationSensor.h"

#include "FrameBytes.h"
#include "SensorManager.h"

namespace Sensors {

namespace {
const uint32_t kRotationId = 0x0CF014A9;
const uint16_t kMinLength = 6;
const double kDegreesPerTick = 0.0078125;  // 1/128
}

SteelwristRotationSensor::SteelwristRotationSensor(SensorManager* manager_, int cuaId_, unsigned char sensorId_)
    : Sensor(manager_, cuaId_, sensorId_, SDT_STEELWRIST_BLADE), ticks(0), angle(0.0), status(0)
{
    errorTimeoutTime = 5000;
}

SteelwristRotationSensor* SteelwristRotationSensor::Clone()
{
    return new SteelwristRotationSensor(*this);
}

void SteelwristRotationSensor::Clean()
{
    ticks = 0;
    angle = 0.0;
    status = 0;
}

wxString SteelwristRotationSensor::ToXML() const
{
    return wxT(".SteelwristRotationSensor");
}

bool SteelwristRotationSensor::Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time)
{
    return parseAsGeneric(frame, time);
}

bool SteelwristRotationSensor::Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time)
{
    if (!frame || frame->header.id != kRotationId || frame->header.dlc < kMinLength)
        return false;
    acceptFrame(time);
    ticks = FrameBytes::le16(frame->data + 2);
    angle = ticks * kDegreesPerTick;
    // The upper half of byte 5 is all zero while the rotator has no valid position.
    status = (frame->data[5] >> 4) == 0 ? kStatusNotValid : kStatusValid;
    return true;
}

}  // namespace Sensors
