#include "RototiltSensor.h"

#include "FrameBytes.h"
#include "SensorManager.h"

namespace Sensors {

namespace {
const uint32_t kRototiltId = 0x0CFF2ADC;

double angleAt(const uint8_t* p)
{
    return (static_cast<int>(FrameBytes::le16(p)) - 2000) / 10.0;
}
}  // namespace

RototiltSensor::RototiltSensor(SensorManager* manager_, int cuaId_, unsigned char sensorId_)
    : Sensor(manager_, cuaId_, sensorId_, SDT_ROTOTILT), firstAngle(0.0), secondAngle(0.0), rotationAngle(0.0), ok(false)
{
    errorTimeoutTime = 1500;
}

RototiltSensor* RototiltSensor::Clone()
{
    return new RototiltSensor(*this);
}

void RototiltSensor::Clean()
{
    firstAngle = secondAngle = rotationAngle = 0.0;
    ok = false;
}

wxString RototiltSensor::ToXML() const
{
    return wxT(".RototiltSensor");
}

bool RototiltSensor::Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time)
{
    return parseAsGeneric(frame, time);
}

bool RototiltSensor::Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time)
{
    if (!frame || frame->header.id != kRototiltId)
        return false;
    acceptFrame(time);
    ok = true;
    firstAngle = angleAt(frame->data);
    secondAngle = angleAt(frame->data + 2);
    rotationAngle = angleAt(frame->data + 4);
    return true;
}

}  // namespace Sensors
