#include "Clock.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <iterator>
#include <set>
#include <thread>

#include <wx/datetime.h>

namespace Sensors {

namespace {

struct ManualState {
    std::mutex mutex;
    std::condition_variable moved;
    bool manual = false;
    unsigned long long wall = 0;
    unsigned long long tickBase = 0;
    std::multiset<unsigned long long> wakeTimes;  // of the threads sleeping on manual time
};

ManualState& manualState()
{
    static ManualState* s = new ManualState();  // outlives every thread that may still read it
    return *s;
}

unsigned long long systemWallMs()
{
    wxDateTime now = wxDateTime::UNow();
    time_t seconds = now.GetTicks();  // (time_t)-1 when out of range
    long long secs = static_cast<long long>(seconds);
    if (secs > 0x7FFFFFFFLL || seconds == static_cast<time_t>(-1))
        secs = -1;
    long long ms = secs * 1000 + now.GetMillisecond(wxDateTime::Local);
    return static_cast<unsigned long long>(ms);
}

unsigned long long systemMonotonicMs()
{
    using namespace std::chrono;
    return static_cast<unsigned long long>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

unsigned long long Clock::wallMs()
{
    ManualState& s = manualState();
    {
        std::lock_guard<std::mutex> guard(s.mutex);
        if (s.manual)
            return s.wall;
    }
    return systemWallMs();
}

unsigned int Clock::tickCount()
{
    ManualState& s = manualState();
    {
        std::lock_guard<std::mutex> guard(s.mutex);
        if (s.manual)
            return static_cast<unsigned int>(s.tickBase + s.wall);
    }
    return static_cast<unsigned int>(systemMonotonicMs());
}

void Clock::sleepMs(unsigned int ms)
{
    ManualState& s = manualState();
    std::unique_lock<std::mutex> lock(s.mutex);
    if (!s.manual) {
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return;
    }
    const unsigned long long until = s.wall + ms;
    auto entry = s.wakeTimes.insert(until);
    s.moved.notify_all();  // lets waitForSleepers see the new sleeper
    s.moved.wait(lock, [&] { return !s.manual || s.wall >= until; });
    s.wakeTimes.erase(entry);
}

bool Clock::sleepMsUnless(unsigned int ms, const std::atomic<bool>& cancelled)
{
    ManualState& s = manualState();
    std::unique_lock<std::mutex> lock(s.mutex);
    if (!s.manual) {
        // Real time: a condition wait, so that wakeSleepers() ends it at once.
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        s.moved.wait_until(lock, until, [&] { return cancelled.load() || s.manual; });
        return !cancelled.load() && std::chrono::steady_clock::now() >= until;
    }
    const unsigned long long until = s.wall + ms;
    auto entry = s.wakeTimes.insert(until);
    s.moved.notify_all();
    s.moved.wait(lock, [&] { return !s.manual || s.wall >= until || cancelled.load(); });
    s.wakeTimes.erase(entry);
    return !cancelled.load() && s.manual && s.wall >= until;
}

void Clock::wakeSleepers()
{
    ManualState& s = manualState();
    std::lock_guard<std::mutex> guard(s.mutex);
    s.moved.notify_all();
}

void Clock::setManual(unsigned long long wallStartMs)
{
    ManualState& s = manualState();
    std::lock_guard<std::mutex> guard(s.mutex);
    s.tickBase = systemMonotonicMs() - wallStartMs;
    s.wall = wallStartMs;
    s.manual = true;
    s.moved.notify_all();
}

void Clock::setReal()
{
    ManualState& s = manualState();
    std::lock_guard<std::mutex> guard(s.mutex);
    s.manual = false;
    s.moved.notify_all();
}

bool Clock::isManual()
{
    ManualState& s = manualState();
    std::lock_guard<std::mutex> guard(s.mutex);
    return s.manual;
}

void Clock::advance(unsigned long long ms)
{
    ManualState& s = manualState();
    std::lock_guard<std::mutex> guard(s.mutex);
    s.wall += ms;
    s.moved.notify_all();
}

void Clock::setTo(unsigned long long wallMs)
{
    ManualState& s = manualState();
    std::lock_guard<std::mutex> guard(s.mutex);
    if (wallMs > s.wall)
        s.wall = wallMs;
    s.moved.notify_all();
}

bool Clock::waitForSleepers(int n, unsigned int realTimeoutMs)
{
    ManualState& s = manualState();
    std::unique_lock<std::mutex> lock(s.mutex);
    // Only sleepers whose time is still ahead count: one that advance() already woke is on its way.
    return s.moved.wait_for(lock, std::chrono::milliseconds(realTimeoutMs), [&] {
        return static_cast<int>(std::distance(s.wakeTimes.upper_bound(s.wall), s.wakeTimes.end())) >= n;
    });
}

}  // namespace Sensors
