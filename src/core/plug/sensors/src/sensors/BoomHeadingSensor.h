#pragma once

#include <cstdint>

#include "Sensor.h"

namespace Sensors {

// Heading of the boom reported by the Moba bus on standard identifier 103. The four heading bytes
// are kept exactly as received; they can be read as an integer or as a single-precision float.
class BoomHeadingSensor : public Sensor {
public:
    BoomHeadingSensor(SensorManager* manager, int cuaId, unsigned char sensorId);
    BoomHeadingSensor(const BoomHeadingSensor& other) = default;

    BoomHeadingSensor* Clone() override;
    using Sensor::ToXML;  // the element that the XML of the adapter and of the manager is made of
    wxString ToXML() const;
    using Sensor::Parse;
    bool Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time) override;
    bool Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time) override;
    // A sensor that keeps sending but reports no valid heading is not ok either.
    void Update(const unsigned long long& elapsed, const unsigned long long& now) override;

    bool isValid() const { return valid; }
    // Data bytes 0-3 as a little-endian unsigned number.
    uint32_t getHeadingRaw() const;
    // The same four bytes read as an IEEE single-precision number.
    float getHeadingFloat() const;
    unsigned long long getLastFrameTime() const { return frameTime; }
    unsigned long long getLastValidTime() const { return validTime; }

private:
    uint8_t heading[4];
    bool valid;
    unsigned long long frameTime;  // receive time of the last complete heading frame
    unsigned long long validTime;  // receive time of the last valid heading
};

}  // namespace Sensors
