#include "ClockPump.h"

#include <chrono>

#include "Clock.h"

ClockPump::ClockPump()
{
    using namespace std::chrono;
    Sensors::Clock::setManual(
        static_cast<unsigned long long>(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count()));
    thread_ = std::thread([this] { loop(); });
}

ClockPump::~ClockPump()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    cv_.notify_all();
    thread_.join();
    Sensors::Clock::setReal();
}

void ClockPump::setPace(int pace)
{
    pace_ = pace < 0 ? 0 : pace;
}

void ClockPump::loop()
{
    using clock = std::chrono::steady_clock;
    auto last = clock::now();
    long long carryUs = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!cv_.wait_for(lock, std::chrono::milliseconds(5), [this] { return stop_; })) {
        const auto now = clock::now();
        carryUs += std::chrono::duration_cast<std::chrono::microseconds>(now - last).count() * pace_.load();
        last = now;
        if (carryUs >= 1000) {
            Sensors::Clock::advance(static_cast<unsigned long long>(carryUs / 1000));
            carryUs %= 1000;
        }
    }
}
