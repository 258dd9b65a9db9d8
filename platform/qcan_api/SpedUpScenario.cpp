#include "SpedUpScenario.h"

SpedUpScenario::SpedUpScenario(std::unique_ptr<Scenario> inner, uint32_t factor) : inner_(std::move(inner)), factor_(factor)
{
}

void SpedUpScenario::framesDue(uint64_t fromMs, uint64_t toMs, std::vector<_TGENERIC_CAN_FRAME>& out)
{
    inner_->framesDue(fromMs * factor_, toMs * factor_, out);
}
