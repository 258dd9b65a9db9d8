#pragma once

// A DSM500 measuring pair: a master and a slave unit whose measurements are used together. The
// pair hears no frames of its own; its owner hands it the state of both units.

#include "DSM500UnitData.h"
#include "EDSM500STATUS.h"
#include "Sensor.h"

namespace Sensors {

class DSM500SensorComponent;

class DSM500Sensor : public Sensor {
public:
    // A unit measurement older than this is no longer part of a pair reading.
    static constexpr unsigned long long MAX_UNIT_AGE_MS = 100;

    DSM500Sensor(SensorManager* manager, int cuaId, unsigned char sensorId);
    DSM500Sensor(const DSM500Sensor& other) = default;
    DSM500Sensor* Clone() override;
    ~DSM500Sensor() override;

    bool Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time) override;
    bool Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time) override;
    using Sensor::ToXML;
    virtual wxString ToXML() const;

    void setMasterData(const DSM500UnitData& data) { master = data; }
    void setSlaveData(const DSM500UnitData& data) { slave = data; }
    // Takes both records from the units' current state.
    void setUnits(const DSM500SensorComponent& masterUnit, const DSM500SensorComponent& slaveUnit);
    const DSM500UnitData& getMasterData() const { return master; }
    const DSM500UnitData& getSlaveData() const { return slave; }

    // Both units' readings when both are present, current and ok; all outputs 0 otherwise.
    EDSM500STATUS getDistance(double& d1, double& s1, unsigned char& q1, double& d2, double& s2, unsigned char& q2) const;
    static wxString getDSM500Status(const EDSM500STATUS& status);

private:
    DSM500UnitData master;
    DSM500UnitData slave;
};

}  // namespace Sensors
