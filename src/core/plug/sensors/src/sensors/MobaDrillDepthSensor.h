#pragma once

// A Moba drill depth unit on the bus. Its frames carry nothing this system decodes: the object is
// there so that the host finds a depth sensor and can render it.

#include "Sensor.h"

namespace Sensors {

class MobaDrillDepthSensor : public Sensor {
public:
    MobaDrillDepthSensor(SensorManager* manager, int cuaId, unsigned char sensorId);
    MobaDrillDepthSensor(const MobaDrillDepthSensor& other) = default;
    MobaDrillDepthSensor* Clone() override;
    ~MobaDrillDepthSensor() override;

    void Clean() override;
    bool Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time) override;
    bool Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time) override;
    using Sensor::ToXML;
    virtual wxString ToXML() const;

    bool Zero();

    float getDepthLinear() const { return depthLinear; }
    float getDepthLinearMax() const { return depthLinearMax; }
    float getDepthVertical() const { return depthVertical; }
    float getDepthVerticalMax() const { return depthVerticalMax; }
    float getSpeed() const { return speed; }
    float getAvgSpeed() const { return avgSpeed; }
    bool isDepthSensorOk() const { return depthSensorOk; }

private:
    float depthLinear;
    float depthLinearMax;
    float depthVertical;
    float depthVerticalMax;
    float speed;
    float avgSpeed;
    bool depthSensorOk;
};

}  // namespace Sensors
