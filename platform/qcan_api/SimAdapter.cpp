#include "SimAdapter.h"

#include <chrono>
#include <vector>

SimAdapter::SimAdapter(const std::string& name, const AdapterCallbacks& callbacks, std::unique_ptr<Scenario> scenario)
    : Adapter(name, callbacks), scenario_(std::move(scenario))
{
}

void SimAdapter::receiveLoop()
{
    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    uint64_t doneUntil = 0;
    std::vector<_TGENERIC_CAN_FRAME> due;
    while (!waitForStop(std::chrono::milliseconds(kTickMs))) {
        const uint64_t now =
            static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(clock::now() - start).count());
        due.clear();
        scenario_->framesDue(doneUntil, now, due);
        doneUntil = now;
        for (const _TGENERIC_CAN_FRAME& f : due) {
            if (stopping())
                return;
            deliver(f);
        }
    }
}
