#include "DSM500Sensor.h"

#include "DSM500SensorComponent.h"
#include "SensorManager.h"

namespace Sensors {

namespace {

bool isOlderThan(const DSM500UnitData& unit, unsigned long long now, unsigned long long maxAge)
{
    return now > unit.time && now - unit.time > maxAge;
}

}  // namespace

DSM500Sensor::DSM500Sensor(SensorManager* manager_, int cuaId_, unsigned char sensorId_)
    : Sensor(manager_, cuaId_, sensorId_, SDT_DSM500_PAIR)
{
    SetErrorTimeoutTime(1000);
}

DSM500Sensor* DSM500Sensor::Clone()
{
    return new DSM500Sensor(*this);
}

DSM500Sensor::~DSM500Sensor() = default;

bool DSM500Sensor::Parse(_TQUIL1G5_CAN_FRAME*, const unsigned long long&)
{
    return false;
}

bool DSM500Sensor::Parse(_TGENERIC_CAN_FRAME*, const unsigned long long&)
{
    return false;
}

wxString DSM500Sensor::ToXML() const
{
    return wxString("<DSM500Sensor />");
}

void DSM500Sensor::setUnits(const DSM500SensorComponent& masterUnit, const DSM500SensorComponent& slaveUnit)
{
    master = masterUnit.getUnitData();
    slave = slaveUnit.getUnitData();
}

EDSM500STATUS DSM500Sensor::getDistance(double& d1, double& s1, unsigned char& q1, double& d2, double& s2,
                                        unsigned char& q2) const
{
    const unsigned long long now = SensorManager::getTickCount();
    EDSM500STATUS status = DSM500_OK;
    if (!master.present)
        status = DSM500_NO_MASTER;
    else if (isOlderThan(master, now, MAX_UNIT_AGE_MS))
        status = DSM500_TIMEOUT;
    else if (!master.ok)
        status = DSM500_MASTER_ERROR;
    else if (!slave.present)
        status = DSM500_NO_SLAVE;
    else if (isOlderThan(slave, now, MAX_UNIT_AGE_MS))
        status = DSM500_TIMEOUT;
    else if (!slave.ok)
        status = DSM500_SLAVE_ERROR;

    if (status != DSM500_OK) {
        d1 = s1 = d2 = s2 = 0.0;
        q1 = q2 = 0;
        return status;
    }
    d1 = master.distance;
    s1 = master.second;
    q1 = master.quality;
    d2 = slave.distance;
    s2 = slave.second;
    q2 = slave.quality;
    return status;
}

wxString DSM500Sensor::getDSM500Status(const EDSM500STATUS& status)
{
    switch (status) {
    case DSM500_OK: return "DSM500_OK";
    case DSM500_NO_MASTER: return "DSM500_NO_MASTER";
    case DSM500_NO_SLAVE: return "DSM500_NO_SLAVE";
    case DSM500_MASTER_ERROR: return "DSM500_MASTER_ERROR";
    // The slave-error name carries a doubled D; hosts compare against it as it is.
    case DSM500_SLAVE_ERROR: return "DDSM500_SLAVE_ERROR";
    case DSM500_BAD_QUALITY: return "DSM500_BAD_QUALITY";
    case DSM500_TIMEOUT: return "DSM500_TIMEOUT";
    case DSM500_NO_DATA: return "DSM500_NO_DATA";
    case DSM500_MASTER_VALUE_OUT_OF_TOLERANCE: return "DSM500_MASTER_VALUE_OUT_OF_TOLERANCE";
    case DSM500_SLAVE_VALUE_OUT_OF_TOLERANCE: return "DSM500_SLAVE_VALUE_OUT_OF_TOLERANCE";
    case DSM500_MASTER_SLAVE_DIFFERENCE_OUT_OF_TOLERANCE: return "DSM500_MASTER_SLAVE_DIFFERENCE_OUT_OF_TOLERANCE";
    case DSM500_UNKNOWN:
    default: return "DSM500_UNKNOWN";
    }
}

}  // namespace Sensors
