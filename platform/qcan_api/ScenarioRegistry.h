#pragma once

// The scenarios a simulated adapter can play, by the name given in the adapter configuration
// ("SIM_EXCAVATOR=sim:excavator"). A new scenario is one class in its own source file plus one
// line in each of the two functions here.

#include <memory>
#include <string>

#include "Scenario.h"

// The adapter description of a scenario ("Simulated excavator"); empty for an unknown name.
std::string scenarioDescription(const std::string& name);

// A fresh scenario, or null for an unknown name.
std::unique_ptr<Scenario> createScenario(const std::string& name);
