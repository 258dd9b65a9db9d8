#pragma once

#include <cstdint>

#include "Sensor.h"

namespace Sensors {

// GNSS position from NMEA 2000: the rapid position update (group 129025, one frame) and the full
// GNSS position data (group 129029), a fast-packet message assembled here from seven frames.
class NMEA2KPositionSensor : public Sensor {
public:
    NMEA2KPositionSensor(SensorManager* manager, int cuaId, unsigned char sensorId);
    NMEA2KPositionSensor(const NMEA2KPositionSensor& other) = default;

    NMEA2KPositionSensor* Clone() override;
    void Clean() override;
    using Sensor::ToXML;  // the element that the XML of the adapter and of the manager is made of
    wxString ToXML() const;
    using Sensor::Parse;
    bool Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time) override;
    bool Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time) override;

    // rapid: the values of the rapid update instead of the full position message.
    double getLat(bool rapid) const { return rapid ? rapidLat : lat; }  // degrees
    double getLon(bool rapid) const { return rapid ? rapidLon : lon; }  // degrees
    bool hasPosition(bool rapid) const { return rapid ? hasRapidPosition : hasFullPosition; }
    double getAlt() const { return alt; }  // metres
    double getFix() const { return systemType; }
    double getSatellites() const { return satellites; }
    double getHDOP() const { return hdop; }
    double getPDOP() const { return pdop; }
    double getGeoidSep() const { return geoidSeparation; }  // whole metres
    uint32_t getTimeSeconds() const { return static_cast<uint32_t>(timeSeconds); }
    double getDeviation() const { return deviation; }
    double getVariation() const { return variation; }

    // The remaining fields of the full position message.
    uint8_t getSid() const { return sid; }
    uint16_t getDays() const { return days; }  // since 1970-01-01
    uint8_t getMethod() const { return method; }
    uint8_t getIntegrity() const { return integrity; }
    uint8_t getReferenceStations() const { return referenceStations; }
    uint8_t getReferenceStationType() const { return stationType; }
    uint16_t getReferenceStationId() const { return stationId; }
    uint16_t getReferenceStationAge() const { return stationAge; }  // whole seconds

    // Bytes of the assembled message: six in the first frame, seven in each of the six others.
    static constexpr int kFastPacketFrames = 7;
    static constexpr int kMessageBytes = 6 + 7 * (kFastPacketFrames - 1);

private:
    void addFastPacketFrame(const uint8_t* data);
    void decodePosition();

    double rapidLat;
    double rapidLon;
    bool hasRapidPosition;

    uint8_t sequence;
    bool frameSeen[kFastPacketFrames];
    uint8_t packet[kMessageBytes];

    uint8_t sid;
    uint16_t days;
    int64_t timeSeconds;
    double lat;
    double lon;
    double alt;
    uint8_t method;
    uint8_t systemType;
    uint8_t integrity;
    uint8_t satellites;
    int16_t hdop;
    int16_t pdop;
    int32_t geoidSeparation;
    uint8_t referenceStations;
    uint8_t stationType;
    uint16_t stationId;
    uint16_t stationAge;
    bool hasFullPosition;
    double deviation;
    double variation;
};

}  // namespace Sensors
