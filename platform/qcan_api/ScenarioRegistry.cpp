#include "ScenarioRegistry.h"

#include "ExcavatorScenario.h"

std::string scenarioDescription(const std::string& name)
{
    if (name == "excavator")
        return "Simulated excavator";
    return std::string();
}

std::unique_ptr<Scenario> createScenario(const std::string& name)
{
    if (name == "excavator")
        return std::unique_ptr<Scenario>(new ExcavatorScenario());
    return nullptr;
}
