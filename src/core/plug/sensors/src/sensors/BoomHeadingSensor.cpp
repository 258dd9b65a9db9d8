#include "BoomHeadingSensor.h"

#include <cstring>

#include "FrameBytes.h"
#include "SensorManager.h"
#include "WispEasyWrapper.h"

namespace Sensors {

namespace {
const uint32_t kHeadingId = 103;
const uint16_t kHeadingLength = 5;  // four heading bytes and a status byte
}

BoomHeadingSensor::BoomHeadingSensor(SensorManager* manager_, int cuaId_, unsigned char sensorId_)
    : Sensor(manager_, cuaId_, sensorId_, SDT_HEADING), heading{0, 0, 0, 0}, valid(false), frameTime(0), validTime(0)
{
    errorTimeoutTime = 5000;
}

BoomHeadingSensor* BoomHeadingSensor::Clone()
{
    return new BoomHeadingSensor(*this);
}

wxString BoomHeadingSensor::ToXML() const
{
    return wxT("<BoomHeadingSensors />");
}

bool BoomHeadingSensor::Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time)
{
    return parseAsGeneric(frame, time);
}

bool BoomHeadingSensor::Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time)
{
    if (!frame)
        return false;
    if (frame->header.id != kHeadingId) {
        QLOG_ERROR("Parse") << "BoomHeadingSensor::Parse error CANID " << frame->header.id << " DLC "
                            << frame->header.dlc;
        return false;
    }
    acceptFrame(time);
    if (frame->header.dlc != kHeadingLength)
        return false;
    frameTime = time;
    if (frame->data[4] == 0) {
        valid = true;
        std::memcpy(heading, frame->data, sizeof heading);
        validTime = time;
    } else {
        valid = false;
    }
    return true;
}

void BoomHeadingSensor::Update(const unsigned long long& elapsed, const unsigned long long& now)
{
    Sensor::Update(elapsed, now);
    if (!valid)
        sensorOk = false;
}

uint32_t BoomHeadingSensor::getHeadingRaw() const
{
    return FrameBytes::le32(heading);
}

float BoomHeadingSensor::getHeadingFloat() const
{
    float value;
    static_assert(sizeof value == sizeof heading, "single-precision float is four bytes");
    std::memcpy(&value, heading, sizeof value);
    return value;
}

}  // namespace Sensors
