#pragma once

// The client of a sensor simulator, announcing itself in the maker's protocol: whether it reaches
// the simulator and whether simulated sensors are switched on.

#include "Sensor.h"

namespace Sensors {

class SimulatorClientSensor : public Sensor {
public:
    // The client's state report: message 1 with sub-field 1, read together as the 16-bit message
    // type 257 (message in the low byte, sub-field in the high byte), with two data bytes.
    static constexpr unsigned short MSG_CLIENT_STATE = 257;

    SimulatorClientSensor(SensorManager* manager, int cuaId, unsigned char sensorId);
    SimulatorClientSensor(const SimulatorClientSensor& other) = default;
    SimulatorClientSensor* Clone() override;
    ~SimulatorClientSensor() override;

    void Clean() override;
    bool Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time) override;
    bool Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time) override;
    using Sensor::ToXML;
    virtual wxString ToXML() const;

    bool isClientConnected() const { return clientConnected; }
    bool isSimulatorConnected() const { return simulatorConnected; }
    bool isSensorSimulationEnabled() const { return sensorSimulationEnabled; }

private:
    bool clientConnected;
    bool simulatorConnected;
    bool sensorSimulationEnabled;
};

}  // namespace Sensors
