#include "SandvikTIMSensor.h"

#include <cstdio>
#include <cstring>

#include "FrameBytes.h"
#include "SensorManager.h"

namespace Sensors {

namespace {
const unsigned char MSG_DEPTH = 1;
const unsigned char MSG_SIGHT = 2;
}

SandvikTIMSensor::SandvikTIMSensor(SensorManager* manager_, int cuaId_, unsigned char sensorId_)
    : Sensor(manager_, cuaId_, sensorId_, SDT_SANDVIK_TIM),
      statusBits(0),
      drillBitPosition(0),
      drilledHoleDepth(0),
      carrierTurnValue(0),
      sightValue(0),
      depthReceived(false),
      sightReceived(false),
      compassHorzVal(0),
      blastDir(0),
      holeInclination(0)
{
    SetErrorTimeoutTime(5000);
}

SandvikTIMSensor* SandvikTIMSensor::Clone()
{
    return new SandvikTIMSensor(*this);
}

SandvikTIMSensor::~SandvikTIMSensor() = default;

void SandvikTIMSensor::Clean()
{
    statusBits = 0;
    drillBitPosition = 0;
    drilledHoleDepth = 0;
    carrierTurnValue = 0;
    sightValue = 0;
    depthReceived = false;
    sightReceived = false;
}

bool SandvikTIMSensor::Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time)
{
    if (!frame)
        return false;
    acceptFrame(time);
    if (frame->header.id != RECEIVE_ID)
        return false;
    const unsigned char* d = frame->data;
    if (d[0] == MSG_DEPTH && frame->header.dlc >= 6) {
        statusBits = d[1];
        drillBitPosition = FrameBytes::le16(&d[2]);
        drilledHoleDepth = FrameBytes::le16(&d[4]);
        depthReceived = true;
        return true;
    }
    if (d[0] == MSG_SIGHT && frame->header.dlc >= 4) {
        carrierTurnValue = FrameBytes::le16(&d[2]);
        sightValue = FrameBytes::le16(&d[4]);
        sightReceived = true;
        return true;
    }
    return false;
}

wxString SandvikTIMSensor::ToXML() const
{
    return wxString("<SandvikTIMSensor/>");
}

bool SandvikTIMSensor::isDataAvailable() const { return depthReceived && sightReceived; }
bool SandvikTIMSensor::getDrillingState() const { return statusBit(0); }
bool SandvikTIMSensor::isDesiredDepthReached() const { return statusBit(3); }
bool SandvikTIMSensor::getLaserReceiverCurrentState() const { return statusBit(4); }
bool SandvikTIMSensor::isLaserLevelReached() const { return statusBit(5); }
bool SandvikTIMSensor::isLastHoleRejected() const { return statusBit(6); }
bool SandvikTIMSensor::getSightButtonState() const { return statusBit(7); }

bool SandvikTIMSensor::setCompassHorzValFromExtSys(unsigned short value)
{
    if (value > MAX_DIRECTION)
        return false;
    compassHorzVal = value;
    return true;
}

bool SandvikTIMSensor::setBlastDir(unsigned short value)
{
    if (value > MAX_DIRECTION)
        return false;
    blastDir = value;
    return true;
}

bool SandvikTIMSensor::setHoleInclination(unsigned short value)
{
    if (value > MAX_INCLINATION)
        return false;
    holeInclination = value;
    return true;
}

int SandvikTIMSensor::sendCommand(unsigned char code, const _TIMCmdMessage* values, bool queued)
{
    if (!values || !manager)
        return -1;
    _TGENERIC_CAN_FRAME frame;
    std::memset(&frame, 0, sizeof frame);
    frame.header.id = COMMAND_ID;
    frame.header.dlc = 8;
    frame.data[0] = code;
    FrameBytes::putLe16(&frame.data[2], values->compassHorzVal);
    FrameBytes::putLe16(&frame.data[4], values->blastDir);
    FrameBytes::putLe16(&frame.data[6], values->holeInclination);
    // The TIM is addressed by identifier alone, so the sensor-id checks of ordinary sends do not apply.
    return manager->sendGenCanMsg(cuaId, &frame, queued);
}

int SandvikTIMSensor::sendOwnValues(unsigned char code)
{
    _TIMCmdMessage values;
    values.compassHorzVal = compassHorzVal;
    values.blastDir = blastDir;
    values.holeInclination = holeInclination;
    return sendCommand(code, &values, true);
}

int SandvikTIMSensor::sendHeartBeat()
{
    return sendOwnValues(CMD_NO_COMMAND);
}

int SandvikTIMSensor::sendCmdNoCommand()
{
    std::fputs("** CAN command to TIM : sendCmdNoCommand() **\n", stdout);
    return sendOwnValues(CMD_NO_COMMAND);
}

int SandvikTIMSensor::sendCmdZeroDepthCounter()
{
    return sendOwnValues(CMD_ZERO_DEPTH_COUNTER);
}

int SandvikTIMSensor::sendCmdDesiredDepthReached()
{
    return sendOwnValues(CMD_DESIRED_DEPTH_REACHED);
}

int SandvikTIMSensor::sendCmdDepthCounterOFF()
{
    return sendOwnValues(CMD_DEPTH_COUNTER_OFF);
}

int SandvikTIMSensor::sendCmdRejectHole()
{
    std::fputs("** CAN command to TIM : sendCmdRejectHole() **\n", stdout);
    return sendOwnValues(CMD_REJECT_HOLE);
}

int SandvikTIMSensor::sendCmdStoreHole()
{
    std::fputs("** CAN command to TIM : sendCmdStoreHole() **\n", stdout);
    return sendOwnValues(CMD_STORE_HOLE);
}

}  // namespace Sensors
