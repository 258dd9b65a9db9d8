#pragma once

#include <cstdint>

#include "Sensor.h"

namespace Sensors {

// A GNSS receiver speaking the maker's protocol: one double per message for the position, which is
// published only once all six of its parts have arrived, so that the host never sees a position
// mixed from two fixes.
class GenericPositionSensor : public Sensor {
public:
    GenericPositionSensor(SensorManager* manager, int cuaId, unsigned char sensorId);
    GenericPositionSensor(const GenericPositionSensor& other) = default;

    GenericPositionSensor* Clone() override;
    using Sensor::Parse;
    bool Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time) override;
    // A generic frame is read in its maker view.
    bool Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time) override;

    double getX() const { return x; }
    double getY() const { return y; }
    double getZ() const { return z; }
    double getLat() const { return lat; }
    double getLong() const { return lon; }
    double getAlt() const { return alt; }
    int32_t getTime() const { return gnssTime; }
    int32_t getFixQuality() const { return fixQuality; }
    int32_t getSatellites() const { return satellites; }
    int32_t getHDOP() const { return hdop; }
    int32_t getHGEOID() const { return geoidHeight; }

    bool allValuesReceived() const;
    // Publishes the pending parts now, complete or not.
    void readTempValues();
    // Forgets that the longitude and x parts arrived.
    void uncheckTempValues();

private:
    enum Part { LAT, LON, ALT, X, Y, Z, PARTS };

    double pending[PARTS];
    bool received[PARTS];
    double x, y, z, lat, lon, alt;
    int32_t gnssTime;
    int32_t fixQuality;
    int32_t satellites;
    int32_t hdop;
    int32_t geoidHeight;
};

}  // namespace Sensors
