#include "KM7.h"

namespace Sensors {

KM7::KM7(SensorManager* manager_, int cuaId_, unsigned char sensorId_)
    : QuillardSensor(manager_, cuaId_, sensorId_, SDT_KM7)
{
    SetErrorTimeoutTime(5000);
}

KM7* KM7::Clone()
{
    return new KM7(*this);
}

KM7::~KM7() = default;

}  // namespace Sensors
