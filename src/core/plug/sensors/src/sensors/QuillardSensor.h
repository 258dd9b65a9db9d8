#pragma once

#include "Sensor.h"

namespace Sensors {

// Base of the sensors that speak the maker's own CAN protocol; adds their common commands.
class QuillardSensor : public Sensor {
public:
    QuillardSensor() = default;
    QuillardSensor(SensorManager* manager, int cuaId, unsigned char sensorId, unsigned char deviceType);

    virtual int pollMessage(int type, int sub);
    virtual int sendReset();
    virtual int sendStartBootloader();
    virtual int sendStartMainProgram();
    virtual int sendPing(unsigned char length);
    virtual int sendChangeId(unsigned char newId);

protected:
    // A maker frame addressed to this sensor: message type, sub-field, remote flag and length.
    _TQUIL1G5_CAN_FRAME makeFrame(unsigned char msg, unsigned char cmd, unsigned char rtr, unsigned short dlc) const;
};

}  // namespace Sensors
