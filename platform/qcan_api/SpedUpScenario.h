#pragma once

// Another scenario played faster: every slice of elapsed time asks the scenario for the frames of
// a slice `factor` times as long, so each device sends `factor` times as often (and moves as
// many times faster). Named `<scenario>@<factor>`, e.g. `sim:excavator@10`, for load and
// long-run memory tests.

#include <memory>

#include "Scenario.h"

class SpedUpScenario : public Scenario {
public:
    SpedUpScenario(std::unique_ptr<Scenario> inner, uint32_t factor);

    void framesDue(uint64_t fromMs, uint64_t toMs, std::vector<_TGENERIC_CAN_FRAME>& out) override;

private:
    std::unique_ptr<Scenario> inner_;
    uint32_t factor_;
};
