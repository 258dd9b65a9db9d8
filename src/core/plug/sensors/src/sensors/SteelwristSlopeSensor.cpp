#include "SteelwristSlopeSensor.h"

#include <cmath>

#include "FrameBytes.h"
#include "SensorManager.h"

namespace Sensors {

SteelwristSlopeSensor::SteelwristSlopeSensor(SensorManager* manager_, int cuaId_, unsigned char sensorId_)
    : Sensor(manager_, cuaId_, sensorId_, SDT_STEELWRIST_SLOPE), status(STATUS_NO_DATA), angle1(0), angle2(0)
{
    errorTimeoutTime = 5000;
}

SteelwristSlopeSensor* SteelwristSlopeSensor::Clone()
{
    return new SteelwristSlopeSensor(*this);
}

SteelwristSlopeSensor::~SteelwristSlopeSensor() = default;

void SteelwristSlopeSensor::Clean()
{
    status = STATUS_NO_DATA;
    acc = Vector3d();
    angle1 = 0;
    angle2 = 0;
}

bool SteelwristSlopeSensor::Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time)
{
    return parseAsGeneric(frame, time);
}

bool SteelwristSlopeSensor::Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time)
{
    if (!frame || frame->header.ext != 1 || frame->header.id != SLOPE_MESSAGE_ID)
        return false;
    acceptFrame(time);
    // Whole degrees: the raw value is divided by 500 in integer arithmetic, truncated toward zero.
    angle1 = static_cast<double>(FrameBytes::les16(frame->data) / 500);
    angle2 = static_cast<double>(FrameBytes::les16(frame->data + 2) / 500);
    status = (frame->data[6] & 0xF0) == 0 ? STATUS_NOT_VALID : STATUS_VALID;
    return true;
}

void SteelwristSlopeSensor::Update(const unsigned long long& elapsed, const unsigned long long& now)
{
    Sensor::Update(elapsed, now);
    if (isErrorTimeExceeded(now) || status != STATUS_VALID)
        return;
    const double a1 = angle1 * 3.14159265 / 180;
    const double a2 = angle2 * 3.14159265 / 180;
    acc = Vector3d(std::cos(a1) * std::cos(a2), std::cos(a1) * std::sin(a2), std::sin(a1));
}

wxString SteelwristSlopeSensor::ToXML() const
{
    return wxT(".SteelwristSlopeSensor");
}

}  // namespace Sensors
