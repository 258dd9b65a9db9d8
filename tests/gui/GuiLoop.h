#pragma once

#include <chrono>
#include <filesystem>
#include <iterator>

#include <wx/app.h>
#include <wx/utils.h>

// Lets the windows' timers and the toolkit run until `done` holds or `ms` of real time have passed.
template <class F>
bool runUntil(F done, int ms = 3000)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done() && std::chrono::steady_clock::now() < until) {
        wxTheApp->Yield(true);
        wxMilliSleep(5);
    }
    return done();
}

inline void runFor(int ms) { runUntil([] { return false; }, ms); }

// Threads of this process, the test's own included.
inline int threadCount()
{
    return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/task"), {}));
}
