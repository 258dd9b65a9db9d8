#include "RayGauge.h"

#include "FrameBytes.h"
#include "SensorManager.h"

namespace Sensors {

namespace {
const unsigned char MSG_HIT = 1;
}

RayGauge::RayGauge(SensorManager* manager_, int cuaId_, unsigned char sensorId_)
    : QuillardSensor(manager_, cuaId_, sensorId_, SDT_RAY_GAUGE), newHit{false, false, false, false}
{
    SetErrorTimeoutTime(5000);
}

RayGauge* RayGauge::Clone()
{
    return new RayGauge(*this);
}

RayGauge::~RayGauge() = default;

bool RayGauge::Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time)
{
    if (!frame)
        return false;
    acceptFrame(time);
    ++handledCount;
    if (frame->header.msg != MSG_HIT) {
        --handledCount;
        ++unknownCount;
        return false;
    }
    AddNewHitData(FrameBytes::les16(&frame->data[0]), FrameBytes::les16(&frame->data[2]), time);
    return true;
}

void RayGauge::Update(const unsigned long long& elapsed, const unsigned long long& now)
{
    QuillardSensor::Update(elapsed, now);
    CleanHitList(now);
}

void RayGauge::CleanHitList(unsigned long long now)
{
    auto fresh = hits.begin();
    while (fresh != hits.end() && now > fresh->time && now - fresh->time > HIT_LIFETIME_MS)
        ++fresh;
    hits.erase(hits.begin(), fresh);
}

void RayGauge::AddNewHitData(short channel, short position, unsigned long long time)
{
    LaserHit hit;
    hit.channel = channel;
    hit.position = position;
    hit.time = time;
    hits.push_back(hit);
    // Only the receiver's four channels have a flag; other channel numbers still count as hits.
    if (channel >= 0 && channel < CHANNEL_COUNT)
        newHit[channel] = true;
}

LaserHit RayGauge::GetLastHit() const
{
    return hits.empty() ? LaserHit() : hits.back();
}

int RayGauge::GetLastHitPosition(short channel) const
{
    for (auto it = hits.rbegin(); it != hits.rend(); ++it)
        if (it->channel == channel)
            return it->position;
    return -1;
}

int RayGauge::GetFilteredPosition(short, unsigned long long maxAge, int minCount, int tolerance) const
{
    const unsigned long long now = SensorManager::getTickCount();
    double sum = 0.0;
    int count = 0;
    int minimum = 0;
    int maximum = 0;
    for (auto it = hits.rbegin(); it != hits.rend(); ++it) {
        const unsigned long long age = now > it->time ? now - it->time : 0;
        if (age >= maxAge)
            return -1;
        const int position = it->position;
        if (count == 0 || position < minimum)
            minimum = position;
        if (count == 0 || position > maximum)
            maximum = position;
        sum += position;
        ++count;
        const double mean = sum / count;
        if (count >= minCount && maximum - mean <= tolerance && mean - minimum <= tolerance)
            return static_cast<int>(mean);
    }
    return -1;
}

int RayGauge::IsNewLaserHitReceived() const
{
    for (int channel = 0; channel < CHANNEL_COUNT; ++channel)
        if (newHit[channel])
            return channel;
    return -1;
}

void RayGauge::resetNewLaserHits()
{
    for (bool& flag : newHit)
        flag = false;
}

void RayGauge::resetNewLaserHit(int channel)
{
    if (channel >= 0 && channel < CHANNEL_COUNT)
        newHit[channel] = false;
}

}  // namespace Sensors
