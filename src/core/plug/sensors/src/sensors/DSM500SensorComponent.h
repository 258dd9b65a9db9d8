#pragma once

// One DSM500 distance measuring unit: a CANopen node whose node id is the sensor id. It reports its
// state in heartbeats and its measurement in the first transmit process data object.

#include "DSM500UnitData.h"
#include "EDSM500STATUS.h"
#include "Sensor.h"

namespace Sensors {

class DSM500SensorComponent : public Sensor {
public:
    // The byte order a unit has shown in a poor-quality measurement; it decides which node ids the
    // unit may take.
    enum Form { FORM_UNKNOWN = 0, FORM_NORMAL = 1, FORM_INVERTED = 2 };

    static constexpr int MAX_PREOPERATIONAL_FRAMES = 5;
    // Between two enter-pre-operational commands the unit gets this long to report the change.
    static constexpr unsigned int PREOPERATIONAL_RETRY_MS = 100;

    DSM500SensorComponent(SensorManager* manager, int cuaId, unsigned char sensorId);
    DSM500SensorComponent(const DSM500SensorComponent& other) = default;
    DSM500SensorComponent* Clone() override;
    ~DSM500SensorComponent() override;

    using Sensor::Parse;
    bool Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time) override;
    // Starts the node-id change on the live unit and returns at once; the manager's passes carry
    // it on (Update).
    virtual bool sendChangeId(unsigned int newId);
    void Update(const unsigned long long& elapsed, const unsigned long long& now) override;
    bool isChangingId() const { return changePending; }
    using Sensor::ToXML;
    virtual wxString ToXML() const;

    EDSM500STATUS getComponentStatus() const;
    EDSM500STATUS getDistance(double& distance, double& second, unsigned char& quality) const;
    // The unit as a pair records it.
    DSM500UnitData getUnitData() const;

    bool isOperational() const { return operational; }
    bool isUnitOk() const { return unitOk; }
    int getForm() const { return form; }
    unsigned long long getHeartbeatTime() const { return heartbeatTime; }
    unsigned long long getProcessDataTime() const { return processDataTime; }

private:
    // Sends a CANopen frame on a standard identifier through the manager's queue.
    void sendQueued(uint32_t id, const unsigned char* data, uint16_t dlc);
    void beginChangeId(unsigned int newId, unsigned long long now);
    // One step of a node-id change: an enter-pre-operational command while the unit still reports
    // operational (at most five, one per retry time), then the three writes.
    void stepChangeId(unsigned long long now);

    bool operational;
    bool unitOk;
    unsigned long long heartbeatTime;
    double distance;
    double second;
    unsigned char quality;
    unsigned long long processDataTime;
    int form;
    bool changePending;
    unsigned char pendingId;
    int preOperationalSent;
    unsigned long long nextPreOperational;
};

}  // namespace Sensors
