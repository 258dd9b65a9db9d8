#pragma once

// The Sandvik TIM, the drill rig's interface: it reports drilling state and depth on standard
// identifier 1904 and takes commands, each carrying the plug-in's compass and hole values, on 880.

#include "Sensor.h"
#include "TIMCmdMessage.h"

namespace Sensors {

class SandvikTIMSensor : public Sensor {
public:
    static constexpr uint32_t RECEIVE_ID = 1904;
    static constexpr uint32_t COMMAND_ID = 880;
    static constexpr uint16_t MAX_DIRECTION = 3599;
    static constexpr uint16_t MAX_INCLINATION = 1800;

    enum Command : unsigned char {
        CMD_NO_COMMAND = 0,
        CMD_ZERO_DEPTH_COUNTER = 1,
        CMD_DESIRED_DEPTH_REACHED = 2,
        CMD_DEPTH_COUNTER_OFF = 3,
        CMD_REJECT_HOLE = 4,
        CMD_STORE_HOLE = 5
    };

    SandvikTIMSensor(SensorManager* manager, int cuaId, unsigned char sensorId);
    SandvikTIMSensor(const SandvikTIMSensor& other) = default;
    SandvikTIMSensor* Clone() override;
    ~SandvikTIMSensor() override;

    void Clean() override;
    using Sensor::Parse;
    bool Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time) override;
    using Sensor::ToXML;
    virtual wxString ToXML() const;

    bool isDataAvailable() const;
    bool getDrillingState() const;
    bool isDesiredDepthReached() const;
    bool getLaserReceiverCurrentState() const;
    bool isLaserLevelReached() const;
    bool isLastHoleRejected() const;
    bool getSightButtonState() const;
    unsigned char getStatusBits() const { return statusBits; }
    unsigned short getDrillBitPosition() const { return drillBitPosition; }
    unsigned short getDrilledHoleDepth() const { return drilledHoleDepth; }
    unsigned short getCarrierTurnValue() const { return carrierTurnValue; }
    unsigned short getSightValue() const { return sightValue; }

    // Values outside their range are refused and the previous value kept.
    bool setCompassHorzValFromExtSys(unsigned short value);
    bool setBlastDir(unsigned short value);
    bool setHoleInclination(unsigned short value);
    unsigned short getCompassHorzValFromExtSys() const { return compassHorzVal; }
    unsigned short getBlastDir() const { return blastDir; }
    unsigned short getHoleInclination() const { return holeInclination; }

    int sendHeartBeat();
    int sendCmdNoCommand();
    int sendCmdZeroDepthCounter();
    int sendCmdDesiredDepthReached();
    int sendCmdDepthCounterOFF();
    int sendCmdRejectHole();
    int sendCmdStoreHole();
    // Sends a command with the values of the record instead of this object's; the manager's result.
    int sendCommand(unsigned char code, const _TIMCmdMessage* values, bool queued);

private:
    bool statusBit(unsigned bit) const { return ((statusBits >> bit) & 1u) != 0; }
    int sendOwnValues(unsigned char code);

    unsigned char statusBits;
    unsigned short drillBitPosition;
    unsigned short drilledHoleDepth;
    unsigned short carrierTurnValue;
    unsigned short sightValue;
    bool depthReceived;
    bool sightReceived;
    unsigned short compassHorzVal;
    unsigned short blastDir;
    unsigned short holeInclination;
};

}  // namespace Sensors
