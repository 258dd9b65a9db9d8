#include "TestAdapter.h"

#include <algorithm>
#include <cstdlib>

#include "Clock.h"
#include "DummyBus.h"
#include "SensorManager.h"

using Sensors::Clock;
using Sensors::SensorManager;

namespace {
// Names of the test adapters alive now: together they are the adapters the library offers.
std::vector<std::string>& liveAdapters()
{
    static std::vector<std::string> names;
    return names;
}

// Where the last hand-driven run left the clock: a new run starts after it, never before.
unsigned long long lastManualTime = 0;

void configureLiveAdapters()
{
    std::string adapters;
    for (const std::string& n : liveAdapters())
        adapters += (adapters.empty() ? "" : ";") + n + "=dummy";
    setenv("QCAN_ADAPTERS", adapters.c_str(), 1);
}
}  // namespace

TestAdapter::TestAdapter(const std::string& name, int cuaId) : name_(name), cuaId_(cuaId), device_(nullptr)
{
    if (liveAdapters().empty()) {
        // The first adapter of a test starts the hand-driven clock at the current wall time, so
        // that time never runs backwards between tests, and starts from fresh dummies.
        Clock::setManual(std::max(Clock::wallMs() + 10000, lastManualTime + 1000));
        DummyBus::instance().reset();
    }
    liveAdapters().push_back(name);
    configureLiveAdapters();
    device_ = new Sensors::QCANDevice(cuaId, wxString::FromUTF8(name.c_str()));
    SensorManager::getInstance()->addQCANDevice(device_);
}

TestAdapter::~TestAdapter()
{
    SensorManager::getInstance()->removeQCANDevice(cuaId_);
    auto& live = liveAdapters();
    live.erase(std::find(live.begin(), live.end(), name_));
    configureLiveAdapters();
    if (live.empty()) {
        lastManualTime = Clock::wallMs();
        Clock::setReal();
    }
}

int TestAdapter::pass(unsigned long long stepMs)
{
    Clock::advance(stepMs);
    const int status = device_->getQCANDevStatus();
    if (autoReport_ && (status == QCAN_STATUS_CONNECTING || status == QCAN_STATUS_CONNECTED))
        DummyBus::instance().reportStatusNow(name_);
    return device_->processDevice(Clock::wallMs(), true);
}

bool TestAdapter::connect()
{
    for (int i = 0; i < 1000; ++i) {
        pass(10);
        if (device_->getQCANDevStatus() == QCAN_STATUS_CONNECTED) {
            pass(10);  // the first healthy pass verifies the settings
            return true;
        }
    }
    return false;
}

bool TestAdapter::receive(uint32_t id, bool ext, std::vector<uint8_t> data, bool rtr)
{
    if (!DummyBus::instance().inject(name_, id, ext, std::move(data), rtr))
        return false;
    if (!DummyBus::instance().waitDelivered(name_))
        return false;
    for (int i = 0; i < 100 && device_->getRxBufferCount() > 0; ++i)
        pass(1);
    return device_->getRxBufferCount() == 0;
}

std::vector<_TGENERIC_CAN_FRAME> TestAdapter::sentFrames()
{
    for (int i = 0; i < 300 && device_->getTxBufferCount() > 0; ++i)
        pass(50);
    return DummyBus::instance().sent(name_);
}

void TestAdapter::clearSent()
{
    DummyBus::instance().clearSent(name_);
}
