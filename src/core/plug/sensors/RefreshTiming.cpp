#include "RefreshTiming.h"

#include <time.h>

#include <algorithm>
#include <cstdio>

void RefreshTiming::Histogram::add(double ms)
{
    const int step = std::min(kSteps, std::max(0, static_cast<int>(ms * 10.0)));
    ++steps[step];
    ++n;
    maxMs = std::max(maxMs, ms);
}

double RefreshTiming::Histogram::percentile(double fraction) const
{
    if (n == 0)
        return 0;
    const unsigned long long wanted = static_cast<unsigned long long>(fraction * static_cast<double>(n) + 0.999999);
    unsigned long long seen = 0;
    for (int step = 0; step <= kSteps; ++step) {
        seen += steps[step];
        if (seen >= wanted)
            return std::min(maxMs, (step + 1) / 10.0);
    }
    return maxMs;
}

RefreshTiming::Scope::Scope(RefreshTiming& timing, int index)
    : phase(timing.all.at(static_cast<size_t>(index))), wallStart(std::chrono::steady_clock::now()),
      start(ThreadTimes::now())
{
}

RefreshTiming::Scope::~Scope()
{
    const ThreadTimes end = ThreadTimes::now();
    const double wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wallStart).count();
    const double cpu = end.cpuMs - start.cpuMs;
    phase.wall.add(wall);
    phase.cpu.add(cpu);
    phase.blocked.add(std::max(0.0, wall - cpu - (end.queuedMs - start.queuedMs)));
}

RefreshTiming::RefreshTiming(const std::vector<std::string>& phaseNames)
{
    for (const std::string& name : phaseNames)
        all.push_back(Phase{name, {}, {}, {}});
}

std::string RefreshTiming::report() const
{
    std::string out;
    char line[200];
    for (const Phase& p : all) {
        std::snprintf(line, sizeof line,
                      "%s wall max %.1f p99 %.1f, cpu max %.1f p99 %.1f, blocked max %.1f p99 %.1f ms (%llu runs)\n",
                      p.name.c_str(), p.wall.max(), p.wall.percentile(0.99), p.cpu.max(), p.cpu.percentile(0.99),
                      p.blocked.max(), p.blocked.percentile(0.99), p.wall.count());
        out += line;
    }
    return out;
}

RefreshTiming::ThreadTimes RefreshTiming::ThreadTimes::now()
{
    ThreadTimes t;
    timespec cpu = {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
    t.cpuMs = static_cast<double>(cpu.tv_sec) * 1000.0 + static_cast<double>(cpu.tv_nsec) / 1e6;
    // schedstat: CPU time, run-queue wait, time slices (ns, ns, count).
    if (FILE* f = std::fopen("/proc/thread-self/schedstat", "r")) {
        unsigned long long running = 0, waiting = 0;
        if (std::fscanf(f, "%llu %llu", &running, &waiting) == 2)
            t.queuedMs = static_cast<double>(waiting) / 1e6;
        std::fclose(f);
    }
    return t;
}
