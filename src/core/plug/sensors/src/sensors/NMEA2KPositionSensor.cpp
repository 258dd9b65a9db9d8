#include "NMEA2KPositionSensor.h"

#include <algorithm>
#include <cstring>

#include "FrameBytes.h"
#include "SensorManager.h"

namespace Sensors {

using FrameBytes::le16;
using FrameBytes::le32;
using FrameBytes::le64;

NMEA2KPositionSensor::NMEA2KPositionSensor(SensorManager* manager_, int cuaId_, unsigned char sensorId_)
    : Sensor(manager_, cuaId_, sensorId_, SDT_NMEA2K_POSITION)
{
    errorTimeoutTime = 2000;
    Clean();
}

NMEA2KPositionSensor* NMEA2KPositionSensor::Clone()
{
    return new NMEA2KPositionSensor(*this);
}

void NMEA2KPositionSensor::Clean()
{
    rapidLat = rapidLon = 0.0;
    hasRapidPosition = false;
    sequence = 0;
    std::fill(frameSeen, frameSeen + kFastPacketFrames, false);
    std::memset(packet, 0, sizeof packet);
    sid = 0;
    days = 0;
    timeSeconds = 0;
    lat = lon = alt = 0.0;
    method = systemType = integrity = satellites = 0;
    hdop = pdop = 0;
    geoidSeparation = 0;
    referenceStations = stationType = 0;
    stationId = stationAge = 0;
    hasFullPosition = false;
    deviation = variation = 0.0;
}

wxString NMEA2KPositionSensor::ToXML() const
{
    return wxT(".NMEA2KPositionSensor");
}

bool NMEA2KPositionSensor::Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time)
{
    return parseAsGeneric(frame, time);
}

bool NMEA2KPositionSensor::Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time)
{
    if (!frame)
        return false;
    const uint32_t id = frame->header.id;
    auto group = [id](int pf, int ps) { return SensorManager::checkJ1939Header(id, pf, ps, -1); };

    // Other traffic of a position receiver (system time, speed, dilutions, satellites in view,
    // course and speed): none of it feeds the position.
    if (group(240, 16) || group(245, 3) || group(250, 3) || group(250, 4) || group(248, 4))
        return false;

    if (group(248, 1)) {
        // Rapid position update: latitude and longitude in 1e-7 degrees.
        rapidLat = FrameBytes::les32(frame->data) * 1e-7;
        rapidLon = FrameBytes::les32(frame->data + 4) * 1e-7;
        hasRapidPosition = true;
        return true;
    }

    if (group(248, 5)) {
        acceptFrame(time);
        addFastPacketFrame(frame->data);
        return true;
    }
    return false;
}

// Data byte 0 of a fast-packet frame: sequence counter in bits 3-7, frame index in bits 0-2.
void NMEA2KPositionSensor::addFastPacketFrame(const uint8_t* data)
{
    const uint8_t counter = static_cast<uint8_t>(data[0] >> 3);
    const int index = data[0] & 0x07;
    if (counter != sequence) {
        // A new message has begun; whatever was gathered of the previous one is lost.
        sequence = counter;
        std::fill(frameSeen, frameSeen + kFastPacketFrames, false);
        std::memset(packet, 0, sizeof packet);
    }
    if (index >= kFastPacketFrames)
        return;  // would lie beyond the message
    if (index == 0)
        std::memcpy(packet, data + 2, 6);  // data byte 1 is the byte count, not needed
    else
        std::memcpy(packet + 7 * index - 1, data + 1, 7);
    frameSeen[index] = true;

    if (std::all_of(frameSeen, frameSeen + kFastPacketFrames, [](bool seen) { return seen; })) {
        decodePosition();
        hasFullPosition = true;
        // The frames stay seen until the counter changes: a frame repeated with the same counter
        // replaces its part of the message, which is decoded again at once.
    }
}

void NMEA2KPositionSensor::decodePosition()
{
    const uint8_t* m = packet;
    sid = m[0];
    days = le16(m + 1);
    // Scaled values are kept in whole units, truncated towards zero.
    timeSeconds = le32(m + 3) / 10000;  // 0.0001 s
    lat = static_cast<int64_t>(le64(m + 7)) * 1e-16;
    lon = static_cast<int64_t>(le64(m + 15)) * 1e-16;
    alt = static_cast<int64_t>(le64(m + 23)) * 1e-6;
    method = static_cast<uint8_t>(m[31] >> 4);
    systemType = static_cast<uint8_t>(m[31] & 0x0F);
    integrity = static_cast<uint8_t>(m[32] >> 6);
    satellites = m[33];
    hdop = static_cast<int16_t>(FrameBytes::les16(m + 34) / 100);
    pdop = static_cast<int16_t>(FrameBytes::les16(m + 36) / 100);
    geoidSeparation = FrameBytes::les32(m + 38) / 100;
    referenceStations = m[42];
    // Only the first reference station fits in the seven frames.
    stationType = static_cast<uint8_t>(m[43] >> 4);
    stationId = static_cast<uint16_t>(m[44] * 256 + (m[43] & 0x0F));
    stationAge = static_cast<uint16_t>(le16(m + 45) / 100);
}

}  // namespace Sensors
