#include "TiltSensorG2.h"

namespace Sensors {

TiltSensorG2::TiltSensorG2(SensorManager* manager_, int cuaId_, unsigned char sensorId_)
    : TiltSensor(manager_, cuaId_, sensorId_)
{
}

TiltSensorG2* TiltSensorG2::Clone()
{
    return new TiltSensorG2(*this);
}

TiltSensorG2::~TiltSensorG2() = default;

}  // namespace Sensors
