#include "EngconTiltrotatorSensor.h"

#include <cmath>

#include "FrameBytes.h"
#include "SensorManager.h"

namespace Sensors {

namespace {
const int kProprietaryBPF = 255;
const int kRotatorPS = 185;
const uint16_t kFrameLength = 8;
const double kDegreesPerBit = 0.0078125;  // 1/128
const double kBitsPerDegree = 128.0;
const double kOffsetDegrees = 200.0;
}

EngconTiltrotatorSensor::EngconTiltrotatorSensor(SensorManager* manager_, int cuaId_, unsigned char sensorId_)
    : Sensor(manager_, cuaId_, sensorId_, SDT_UPROP), rawAngle(0), angle(0.0), status(0)
{
    errorTimeoutTime = 1500;
}

EngconTiltrotatorSensor* EngconTiltrotatorSensor::Clone()
{
    return new EngconTiltrotatorSensor(*this);
}

void EngconTiltrotatorSensor::Clean()
{
    rawAngle = 0;
    angle = 0.0;
    status = 0;
}

wxString EngconTiltrotatorSensor::ToXML() const
{
    return wxT(".EngconTiltrotatorSensor");
}

bool EngconTiltrotatorSensor::Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time)
{
    return parseAsGeneric(frame, time);
}

bool EngconTiltrotatorSensor::Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time)
{
    if (!frame || !SensorManager::checkJ1939Header(frame->header.id, kProprietaryBPF, kRotatorPS, -1) ||
        frame->header.dlc != kFrameLength)
        return false;
    acceptFrame(time);
    status = frame->data[3] % 4;
    if (status == 0) {
        rawAngle = FrameBytes::le16(frame->data);
        angle = decodeSPN3331(rawAngle);
    } else {
        // The rotator reports a fault: its last good angle is kept, but it is not to be trusted.
        sensorOk = false;
    }
    return true;
}

void EngconTiltrotatorSensor::Update(const unsigned long long& elapsed, const unsigned long long& now)
{
    Sensor::Update(elapsed, now);
    switch (status) {
    case 1: statusText = wxT("ENGCON_STATUS_CAN_FAULT"); break;
    case 2: statusText = wxT("ENGCON_STATUS_SHORT_CIRCUIT"); break;
    case 3: statusText = wxT("ENGCON_STATUS_DATA_ERROR"); break;
    default: break;
    }
}

double EngconTiltrotatorSensor::decodeSPN3331(unsigned short raw)
{
    return (raw - 0.5) * kDegreesPerBit - kOffsetDegrees;
}

unsigned short EngconTiltrotatorSensor::encodeSPN3331(double angle)
{
    if (!std::isfinite(angle))
        return 0;
    // Whole bits, cut towards zero, wrapped into 16 bits.
    double bits = std::fmod(std::trunc((kOffsetDegrees + angle) * kBitsPerDegree), 65536.0);
    if (bits < 0)
        bits += 65536.0;
    return static_cast<unsigned short>(bits);
}

}  // namespace Sensors
