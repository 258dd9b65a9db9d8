#include "DSM500SensorComponent.h"

#include <cstring>

#include "Clock.h"
#include "FrameBytes.h"
#include "SensorManager.h"

namespace Sensors {

namespace {

const uint32_t HEARTBEAT_BASE = 0x700;
const uint32_t TPDO1_BASE = 0x180;
const uint32_t SDO_RX_BASE = 0x600;
const unsigned char NMT_STATE_OPERATIONAL = 5;
const unsigned char NMT_ENTER_PREOPERATIONAL = 0x80;
const unsigned char FORM_NORMAL_MARK = 0x00;
const unsigned char FORM_INVERTED_MARK = 0xFF;
// Below this quality the measurement shows the unit's byte order.
const unsigned char QUALITY_FORM_LIMIT = 10;

bool isStandardDataFrame(const _TGENERIC_CAN_FRAME& frame, uint32_t id, uint16_t dlc)
{
    return frame.header.id == id && frame.header.ext == 0 && frame.header.rtr == 0 && frame.header.dlc == dlc;
}

}  // namespace

DSM500SensorComponent::DSM500SensorComponent(SensorManager* manager_, int cuaId_, unsigned char sensorId_)
    : Sensor(manager_, cuaId_, sensorId_, SDT_DSM500_UNIT),
      operational(false),
      unitOk(false),
      heartbeatTime(0),
      distance(0.0),
      second(0.0),
      quality(0),
      processDataTime(0),
      form(FORM_UNKNOWN),
      changePending(false),
      pendingId(0),
      preOperationalSent(0),
      nextPreOperational(0)
{
    SetErrorTimeoutTime(5000);
}

DSM500SensorComponent* DSM500SensorComponent::Clone()
{
    return new DSM500SensorComponent(*this);
}

DSM500SensorComponent::~DSM500SensorComponent() = default;

bool DSM500SensorComponent::Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time)
{
    if (!frame)
        return false;
    if (isStandardDataFrame(*frame, HEARTBEAT_BASE + sensorId, 1)) {
        acceptFrame(time);
        operational = frame->data[0] == NMT_STATE_OPERATIONAL;
        unitOk = operational;
        heartbeatTime = time;
        return true;
    }
    if (!isStandardDataFrame(*frame, TPDO1_BASE + sensorId, 8))
        return false;
    acceptFrame(time);
    const unsigned char mark = frame->data[4];
    if (mark != FORM_NORMAL_MARK && mark != FORM_INVERTED_MARK)
        return true;
    // An inverted measurement carries every byte bit-inverted.
    unsigned char bytes[8];
    for (int i = 0; i < 8; ++i)
        bytes[i] = mark == FORM_INVERTED_MARK ? static_cast<unsigned char>(~frame->data[i]) : frame->data[i];
    distance = FrameBytes::le16(&bytes[0]) / 1000.0;
    second = FrameBytes::le16(&bytes[2]) / 1000.0;
    quality = bytes[6];
    processDataTime = time;
    if (quality < QUALITY_FORM_LIMIT) {
        acceptFrame(time);
        form = mark == FORM_INVERTED_MARK ? FORM_INVERTED : FORM_NORMAL;
    }
    return true;
}

EDSM500STATUS DSM500SensorComponent::getComponentStatus() const
{
    if (messageCount == 0)
        return DSM500_NO_DATA;
    if (!operational)
        return DSM500_NO_MASTER;
    if (!unitOk)
        return DSM500_MASTER_ERROR;
    if (SensorManager::getTickCount() > processDataTime + errorTimeoutTime)
        return DSM500_TIMEOUT;
    return DSM500_OK;
}

EDSM500STATUS DSM500SensorComponent::getDistance(double& distanceOut, double& secondOut, unsigned char& qualityOut) const
{
    const EDSM500STATUS status = getComponentStatus();
    if (status == DSM500_OK) {
        distanceOut = distance;
        secondOut = second;
        qualityOut = quality;
    }
    return status;
}

DSM500UnitData DSM500SensorComponent::getUnitData() const
{
    DSM500UnitData data;
    data.time = processDataTime;
    data.present = processDataTime != 0;
    data.ok = operational && unitOk;
    data.distance = distance;
    data.second = second;
    data.quality = quality;
    return data;
}

void DSM500SensorComponent::sendQueued(uint32_t id, const unsigned char* data, uint16_t dlc)
{
    _TGENERIC_CAN_FRAME frame;
    std::memset(&frame, 0, sizeof frame);
    frame.header.id = id;
    frame.header.dlc = dlc;
    std::memcpy(frame.data, data, dlc);
    if (manager)
        manager->sendGenCanMsg(cuaId, &frame, true);
}

bool DSM500SensorComponent::sendChangeId(unsigned int newId)
{
    // A unit takes only node ids of the parity that matches its byte order; until it has shown its
    // order there is no safe choice.
    if (form == FORM_UNKNOWN)
        return false;
    if (form == FORM_NORMAL && newId % 2 == 0)
        return false;
    if (form == FORM_INVERTED && newId % 2 == 1)
        return false;

    // The sequence waits for the unit between its steps, so it runs on the live unit, step by step
    // on the manager's passes (see Update): whoever calls this, maybe holding the unit's lock, never
    // waits, and the unit's answers keep coming in meanwhile.
    const unsigned long long now = SensorManager::getTickCount();
    if (isLive()) {
        beginChangeId(newId, now);
        return true;
    }
    bool started = false;
    if (manager)
        started = manager->withLiveSensor(sensorId, SDT_DSM500_UNIT, cuaId, [&](Sensor& s) {
            if (DSM500SensorComponent* unit = dynamic_cast<DSM500SensorComponent*>(&s))
                unit->beginChangeId(newId, now);
        });
    if (!started) {
        // An object no adapter keeps learns nothing new while it waits: the whole sequence at once.
        beginChangeId(newId, now);
        while (changePending)
            stepChangeId(nextPreOperational);
    }
    return true;
}

void DSM500SensorComponent::beginChangeId(unsigned int newId, unsigned long long now)
{
    pendingId = static_cast<unsigned char>(newId);
    preOperationalSent = 0;
    changePending = true;
    stepChangeId(now);
}

void DSM500SensorComponent::stepChangeId(unsigned long long now)
{
    if (!changePending)
        return;
    // The node takes configuration writes only outside the operational state. Each command gets the
    // unit a moment to report the change, at most five commands in all.
    if (operational && preOperationalSent < MAX_PREOPERATIONAL_FRAMES) {
        if (preOperationalSent > 0 && now < nextPreOperational)
            return;
        const unsigned char preOperational[2] = {NMT_ENTER_PREOPERATIONAL, 0x00};
        sendQueued(0, preOperational, 2);
        nextPreOperational = now + PREOPERATIONAL_RETRY_MS;
        if (++preOperationalSent < MAX_PREOPERATIONAL_FRAMES)
            return;
    }
    changePending = false;
    const unsigned char id = pendingId;
    const unsigned char enableChange[8] = {0x23, 0x80, 0x1F, 0x00, 0x01, 0x00, 0x00, 0x00};
    const unsigned char firstId[8] = {0x2F, 0x01, 0x30, 0x01, id, 0x00, 0x00, 0x00};
    const unsigned char secondId[8] = {0x2F, 0x01, 0x30, 0x02, id, 0x00, 0x00, 0x00};
    const uint32_t sdo = SDO_RX_BASE + sensorId;
    sendQueued(sdo, enableChange, 8);
    sendQueued(sdo, firstId, 8);
    sendQueued(sdo, secondId, 8);
}

void DSM500SensorComponent::Update(const unsigned long long& elapsed, const unsigned long long& now)
{
    Sensor::Update(elapsed, now);
    stepChangeId(now);
}

wxString DSM500SensorComponent::ToXML() const
{
    return wxString("<DSM500SensorComponent />");
}

}  // namespace Sensors
