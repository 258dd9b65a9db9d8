#pragma once
// The manager as a host runs it: adapters offered by the adapter library (QCAN_ADAPTERS), connected
// through the manager, whose own thread drives them in real time.
#include <chrono>
#include <cstdlib>
#include <thread>

#include "DummyBus.h"
#include "SensorManager.h"

inline Sensors::SensorManager* manager()
{
    return Sensors::SensorManager::getInstance();
}

// Waits in real time for a condition that the manager thread brings about.
template <class F>
bool eventually(F condition, int timeoutMs = 8000)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < until) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}

// Offers exactly these adapters ("NAME=dummy;..."), all of them fresh dummies.
inline void useAdapters(const char* adapters)
{
    setenv("QCAN_ADAPTERS", adapters, 1);
    DummyBus::instance().reset();
}

inline bool connected(int cuaId)
{
    return manager()->getDeviceStatus(cuaId) == QCAN_STATUS_CONNECTED;
}
