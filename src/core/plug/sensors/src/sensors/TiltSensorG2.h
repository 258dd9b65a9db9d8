#pragma once

#include "TiltSensor.h"

namespace Sensors {

// The second-generation tilt sensor; it reads nothing beyond the common tilt base. The frame
// parser never creates one: only the host constructs it.
class TiltSensorG2 : public TiltSensor {
public:
    TiltSensorG2(SensorManager* manager, int cuaId, unsigned char sensorId);
    TiltSensorG2(const TiltSensorG2& other) = default;
    TiltSensorG2& operator=(const TiltSensorG2& other) = default;

    TiltSensorG2* Clone() override;
    ~TiltSensorG2() override;
};

}  // namespace Sensors
