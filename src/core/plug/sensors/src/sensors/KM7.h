#pragma once

// The KM7 speaks the maker's protocol but reports nothing this system reads: any of its frames
// marks it present.

#include "QuillardSensor.h"

namespace Sensors {

class KM7 : public QuillardSensor {
public:
    KM7(SensorManager* manager, int cuaId, unsigned char sensorId);
    KM7(const KM7& other) = default;
    KM7* Clone() override;
    ~KM7() override;
};

}  // namespace Sensors
