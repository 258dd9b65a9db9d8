#include "ScenarioRegistry.h"

#include <cstdlib>

#include "ExcavatorScenario.h"
#include "SpedUpScenario.h"

namespace {

// Splits "name@factor"; factor 1 without the suffix, 0 when the suffix is not a number 2 to 100.
std::string splitFactor(const std::string& text, uint32_t& factor)
{
    const size_t at = text.find('@');
    factor = 1;
    if (at == std::string::npos)
        return text;
    const std::string digits = text.substr(at + 1);
    char* end = nullptr;
    const long n = std::strtol(digits.c_str(), &end, 10);
    factor = (!digits.empty() && *end == '\0' && n >= 2 && n <= 100) ? static_cast<uint32_t>(n) : 0;
    return text.substr(0, at);
}

}  // namespace

std::string scenarioDescription(const std::string& text)
{
    uint32_t factor = 1;
    const std::string name = splitFactor(text, factor);
    if (name != "excavator" || factor == 0)
        return std::string();
    if (factor == 1)
        return "Simulated excavator";
    return "Simulated excavator at " + std::to_string(factor) + " times its rate";
}

std::unique_ptr<Scenario> createScenario(const std::string& text)
{
    uint32_t factor = 1;
    const std::string name = splitFactor(text, factor);
    if (name != "excavator" || factor == 0)
        return nullptr;
    std::unique_ptr<Scenario> scenario(new ExcavatorScenario());
    if (factor == 1)
        return scenario;
    return std::unique_ptr<Scenario>(new SpedUpScenario(std::move(scenario), factor));
}
