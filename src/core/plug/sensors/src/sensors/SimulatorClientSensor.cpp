#include "SimulatorClientSensor.h"

#include "SensorManager.h"

namespace Sensors {

SimulatorClientSensor::SimulatorClientSensor(SensorManager* manager_, int cuaId_, unsigned char sensorId_)
    : Sensor(manager_, cuaId_, sensorId_, SDT_SIMULATOR_CLIENT),
      clientConnected(false),
      simulatorConnected(false),
      sensorSimulationEnabled(false)
{
    SetErrorTimeoutTime(5000);
}

SimulatorClientSensor* SimulatorClientSensor::Clone()
{
    return new SimulatorClientSensor(*this);
}

SimulatorClientSensor::~SimulatorClientSensor() = default;

void SimulatorClientSensor::Clean()
{
    clientConnected = false;
    simulatorConnected = false;
    sensorSimulationEnabled = false;
}

bool SimulatorClientSensor::Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time)
{
    if (!frame)
        return false;
    const unsigned short messageType = static_cast<unsigned short>(frame->header.msg | (frame->header.cmd << 8));
    if (messageType != MSG_CLIENT_STATE || frame->header.dlc != 2)
        return false;
    acceptFrame(time);
    clientConnected = true;
    simulatorConnected = frame->data[0] != 0;
    sensorSimulationEnabled = frame->data[1] != 0;
    return true;
}

bool SimulatorClientSensor::Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time)
{
    return parseAsMaker(frame, time);
}

wxString SimulatorClientSensor::ToXML() const
{
    return wxString(".SimulatorClient");
}

}  // namespace Sensors
