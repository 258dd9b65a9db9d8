#pragma once

// The slope unit of the MDS2000 system (device type 142): slope X and Y, range flags and set
// points on small standard identifiers. It can be zeroed on request; the zeroing runs in a
// SlopeZeroingThread that commands the unit on identifier 701.

#include "Sensor.h"
#include "Vector3d.h"

namespace Sensors {

class SlopeZeroingThread;

class SlopeSensor : public Sensor {
public:
    SlopeSensor(SensorManager* manager, int cuaId, unsigned char sensorId);
    SlopeSensor(const SlopeSensor& other) = default;
    SlopeSensor& operator=(const SlopeSensor& other) = default;

    SlopeSensor* Clone() override;
    ~SlopeSensor() override;
    void Clean() override;
    using Sensor::ToXML;
    wxString ToXML() const;
    bool Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time) override;
    bool Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time) override;

    // The unit measures about the vertical axis; not normalised.
    Vector3d getUnit() const { return Vector3d(0, 0, 1); }
    // Starts zeroing this sensor object in a thread of its own; call it on the live sensor, which
    // keeps receiving the slope values while the zeroing watches them.
    bool Zero();

    float getSlopeX() const { return slopeX; }
    float getSlopeY() const { return slopeY; }
    bool isUnitOk() const { return unitOk; }
    bool isSlopeXInRange() const { return slopeXInRange; }
    bool isSlopeYInRange() const { return slopeYInRange; }
    float getSlopeXSet() const { return slopeXSet; }
    float getSlopeYSet() const { return slopeYSet; }
    bool isZeroing() const { return zeroing; }
    unsigned long long getSlopeXTime() const { return slopeXTime; }
    unsigned long long getSlopeYTime() const { return slopeYTime; }
    unsigned long long getUnitOkTime() const { return unitOkTime; }
    unsigned long long getSlopeXInRangeTime() const { return slopeXInRangeTime; }
    unsigned long long getSlopeYInRangeTime() const { return slopeYInRangeTime; }
    unsigned long long getSlopeXSetTime() const { return slopeXSetTime; }
    unsigned long long getSlopeYSetTime() const { return slopeYSetTime; }

private:
    friend class SlopeZeroingThread;

    float slopeX;
    float slopeY;
    bool unitOk;
    bool slopeXInRange;
    bool slopeYInRange;
    float slopeXSet;
    float slopeYSet;
    bool zeroing;
    unsigned long long slopeXTime;
    unsigned long long slopeYTime;
    unsigned long long unitOkTime;
    unsigned long long slopeXInRangeTime;
    unsigned long long slopeYInRangeTime;
    unsigned long long slopeXSetTime;
    unsigned long long slopeYSetTime;
};

}  // namespace Sensors
