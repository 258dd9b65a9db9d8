#include "RotationSensor.h"

#include "FrameBytes.h"
#include "SensorManager.h"

namespace Sensors {

namespace {
const uint32_t kRotationId = 170;
}

RotationSensor::RotationSensor(SensorManager* manager_, int cuaId_, unsigned char sensorId_)
    : Sensor(manager_, cuaId_, sensorId_, SDT_ROTATION), raw(0), rotation(0.0), ok(false)
{
    errorTimeoutTime = 5000;
}

RotationSensor* RotationSensor::Clone()
{
    return new RotationSensor(*this);
}

void RotationSensor::Clean()
{
    raw = 0;
    rotation = 0.0;
    ok = false;
}

wxString RotationSensor::ToXML() const
{
    return wxString::Format(wxT("<sensor id=\"%i\""), static_cast<int>(sensorId));
}

bool RotationSensor::Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time)
{
    return parseAsGeneric(frame, time);
}

bool RotationSensor::Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time)
{
    if (!frame || frame->header.id != kRotationId)
        return false;
    // Byte 0 is the sensor's own validity flag; only 1 carries a reading.
    if (frame->data[0] != 1) {
        ok = false;
        rotation = 0.0;
        return false;
    }
    ok = true;
    acceptFrame(time);
    raw = FrameBytes::be16(frame->data + 1);
    rotation = raw * 0.1;
    return true;
}

Vector3d RotationSensor::getUnit() const
{
    return Vector3d(0.0, 0.0, 1.0);
}

}  // namespace Sensors
