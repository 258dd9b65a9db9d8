#include "ExcavatorTraffic.h"

#include <algorithm>

#include "BusLoad.h"
#include "ExcavatorMotion.h"
#include "ExcavatorScenario.h"

namespace {

ExcavatorScenario& scenario()
{
    static ExcavatorScenario s;
    return s;
}

}  // namespace

const double ExcavatorTraffic::kLat0 = ExcavatorScenario::kLat0;
const double ExcavatorTraffic::kLon0 = ExcavatorScenario::kLon0;
const double ExcavatorTraffic::kHeight0 = ExcavatorScenario::kHeight0;
const double ExcavatorTraffic::kGeoid = ExcavatorScenario::kGeoid;

std::vector<ExcavatorTraffic::Frame> ExcavatorTraffic::frames(uint64_t fromMs, uint64_t toMs)
{
    std::vector<PeriodicStream::TimedFrame> due;
    for (size_t i = 0; i < scenario().streams().size(); ++i)
        scenario().streams()[i].due(fromMs, toMs, i, due);
    // Bus order as the simulated adapter sends them: by time, then by stream.
    std::stable_sort(due.begin(), due.end(), [](const PeriodicStream::TimedFrame& a, const PeriodicStream::TimedFrame& b) {
        return a.tMs < b.tMs || (a.tMs == b.tMs && a.order < b.order);
    });
    std::vector<Frame> out;
    for (const PeriodicStream::TimedFrame& f : due) {
        const _TGENERIC_CAN_FRAME& c = f.frame;
        out.push_back({f.tMs, c.header.id, c.header.ext != 0, std::vector<uint8_t>(c.data, c.data + c.header.dlc),
                       BusLoad::bitsPerFrame(c.header.ext != 0, c.header.dlc)});
    }
    return out;
}

void ExcavatorTraffic::linkAngles(int sensor, uint64_t t, double& pitch, double& roll)
{
    ExcavatorScenario::linkAngles(static_cast<uint32_t>(sensor), ExcavatorMotion::poseAt(t), pitch, roll);
}

double ExcavatorTraffic::heading(uint64_t t)
{
    return ExcavatorMotion::poseAt(t).heading;
}
