#include "GenericPositionSensor.h"

#include <algorithm>
#include <cstring>

#include "FrameBytes.h"
#include "SensorManager.h"

namespace Sensors {

namespace {
// Message types: 1-6 the parts of the position, 7-9 receiver state.
const uint8_t kFirstPart = 1;
const uint8_t kLastPart = 6;
const uint8_t kTimeAndFix = 7;
const uint8_t kSatellitesAndHdop = 8;
const uint8_t kGeoidHeight = 9;

double doubleAt(const uint8_t* data)
{
    const uint64_t bits = FrameBytes::le64(data);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}
}  // namespace

GenericPositionSensor::GenericPositionSensor(SensorManager* manager_, int cuaId_, unsigned char sensorId_)
    : Sensor(manager_, cuaId_, sensorId_, SDT_CAN_GNSS),
      pending{},
      received{},
      x(0.0),
      y(0.0),
      z(0.0),
      lat(0.0),
      lon(0.0),
      alt(0.0),
      gnssTime(0),
      fixQuality(0),
      satellites(0),
      hdop(0),
      geoidHeight(0)
{
    errorTimeoutTime = 1500;
}

GenericPositionSensor* GenericPositionSensor::Clone()
{
    return new GenericPositionSensor(*this);
}

bool GenericPositionSensor::Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time)
{
    return parseAsMaker(frame, time);
}

bool GenericPositionSensor::Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time)
{
    if (!frame)
        return false;
    acceptFrame(time);
    const uint8_t msg = frame->header.msg;
    const uint8_t* data = frame->data;

    if (msg >= kFirstPart && msg <= kLastPart) {
        const int part = msg - kFirstPart;
        // A part seen twice means the receiver has moved on to the next fix.
        if (received[part])
            std::fill(received, received + PARTS, false);
        pending[part] = doubleAt(data);
        received[part] = true;
        if (allValuesReceived())
            readTempValues();
        return true;
    }
    switch (msg) {
    case kTimeAndFix:
        gnssTime = FrameBytes::les32(data);
        fixQuality = FrameBytes::les32(data + 4);
        return true;
    case kSatellitesAndHdop:
        satellites = FrameBytes::les32(data);
        hdop = FrameBytes::les32(data + 4);
        return true;
    case kGeoidHeight:
        geoidHeight = FrameBytes::les32(data);
        return true;
    default:
        return false;
    }
}

bool GenericPositionSensor::allValuesReceived() const
{
    return std::all_of(received, received + PARTS, [](bool r) { return r; });
}

void GenericPositionSensor::readTempValues()
{
    x = pending[X];
    y = pending[Y];
    z = pending[Z];
    lat = pending[LAT];
    lon = pending[LON];
    alt = pending[ALT];
}

void GenericPositionSensor::uncheckTempValues()
{
    received[X] = false;
    received[LON] = false;
}

}  // namespace Sensors
