#include "QuillardSensor.h"

#include <cstring>

namespace Sensors {

QuillardSensor::QuillardSensor(SensorManager* manager_, int cuaId_, unsigned char sensorId_, unsigned char deviceType_)
    : Sensor(manager_, cuaId_, sensorId_, deviceType_)
{
}

_TQUIL1G5_CAN_FRAME QuillardSensor::makeFrame(unsigned char msg, unsigned char cmd, unsigned char rtr,
                                              unsigned short dlc) const
{
    _TQUIL1G5_CAN_FRAME frame;
    std::memset(&frame, 0, sizeof frame);
    frame.header.devType = deviceType;
    frame.header.devNumber = sensorId;
    frame.header.msg = msg;
    frame.header.cmd = cmd;
    frame.header.rtr = rtr;
    frame.header.dlc = dlc;
    return frame;
}

int QuillardSensor::pollMessage(int type, int sub)
{
    _TQUIL1G5_CAN_FRAME frame = makeFrame(static_cast<unsigned char>(type), static_cast<unsigned char>(sub), 1, 0);
    return sendMessage(frame, false);
}

int QuillardSensor::sendReset()
{
    _TQUIL1G5_CAN_FRAME frame = makeFrame(0, 0, 1, 0);
    return sendMessage(frame, true);
}

int QuillardSensor::sendStartBootloader()
{
    _TQUIL1G5_CAN_FRAME frame = makeFrame(251, 0, 0, 0);
    return sendMessage(frame, true);
}

int QuillardSensor::sendStartMainProgram()
{
    _TQUIL1G5_CAN_FRAME frame = makeFrame(251, 1, 0, 0);
    return sendMessage(frame, true);
}

int QuillardSensor::sendPing(unsigned char length)
{
    _TQUIL1G5_CAN_FRAME frame = makeFrame(200, 0, 1, length);
    return sendMessage(frame, true);
}

int QuillardSensor::sendChangeId(unsigned char newId)
{
    // Each step through the virtual slots, so that a derived class may replace any of them.
    sendReset();
    sendStartBootloader();
    _TQUIL1G5_CAN_FRAME frame = makeFrame(249, 0, 0, 1);
    frame.data[0] = newId;
    sendMessage(frame, true);
    sendStartMainProgram();
    sendReset();
    sensorId = newId;
    return sendStartMainProgram();
}

}  // namespace Sensors
