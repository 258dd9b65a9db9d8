#pragma once

// The laser receiver: a time-ordered list of the beam's recent hits, oldest first, and a new-hit
// flag for each of its four channels.

#include <vector>

#include "LaserHit.h"
#include "QuillardSensor.h"

namespace Sensors {

class RayGauge : public QuillardSensor {
public:
    static constexpr int CHANNEL_COUNT = 4;
    // Hits older than this are of no use for levelling and leave the list.
    static constexpr unsigned long long HIT_LIFETIME_MS = 3000;

    RayGauge(SensorManager* manager, int cuaId, unsigned char sensorId);
    RayGauge(const RayGauge& other) = default;
    RayGauge* Clone() override;
    ~RayGauge() override;

    using QuillardSensor::Parse;
    bool Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time) override;
    void Update(const unsigned long long& elapsed, const unsigned long long& now) override;

    void CleanHitList(unsigned long long now);
    void AddNewHitData(short channel, short position, unsigned long long time);
    LaserHit GetLastHit() const;
    int GetLastHitPosition(short channel) const;
    // The mean of the newest hits once at least minCount of them, none older than maxAge, lie within
    // tolerance of their mean; -1 when no such run exists. Hits of every channel are used.
    int GetFilteredPosition(short channel, unsigned long long maxAge, int minCount, int tolerance) const;
    int IsNewLaserHitReceived() const;
    void resetNewLaserHits();
    void resetNewLaserHit(int channel);

    int getHitCount() const { return static_cast<int>(hits.size()); }
    const std::vector<LaserHit>& getHits() const { return hits; }

private:
    // Oldest first. A vector, not a deque: once it holds a few seconds of hits its storage is reused,
    // where a deque takes a new block every 32 hits on the receive path.
    std::vector<LaserHit> hits;
    bool newHit[CHANNEL_COUNT];
};

}  // namespace Sensors
