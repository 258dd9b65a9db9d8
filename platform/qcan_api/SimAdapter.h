#pragma once

// A simulated adapter: its receive thread plays a scenario paced by real time, asking it every
// kTickMs for the frames due since the last tick. Sent frames are accepted and dropped.

#include <memory>

#include "Adapter.h"
#include "Scenario.h"

class SimAdapter : public Adapter {
public:
    static constexpr int kTickMs = 10;

    SimAdapter(const std::string& name, const AdapterCallbacks& callbacks, std::unique_ptr<Scenario> scenario);

protected:
    void receiveLoop() override;

private:
    std::unique_ptr<Scenario> scenario_;
};
