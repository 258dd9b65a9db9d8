#pragma once

// How long the work of a window's refresh takes on the GUI thread, per named phase: the wall time,
// the thread's own CPU time, and the time it was blocked, i.e. neither running nor waiting for a
// CPU (the kernel's run-queue wait of the thread, which a busy machine adds, is taken out): a lock,
// the disk, a round trip to the X server. CPU time plus blocked time is what the code itself holds
// the GUI thread for. Durations are kept as counts per 0.1 ms step, so that a run of hours costs a
// fixed amount of memory and still gives the maximum and any percentile.

#include <chrono>
#include <string>
#include <vector>

class RefreshTiming {
public:
    // Counts of durations in 0.1 ms steps up to one second; longer ones count in the last step.
    class Histogram {
    public:
        void add(double ms);
        unsigned long long count() const { return n; }
        double max() const { return maxMs; }
        // The duration `fraction` (0.99 for p99) of all runs stayed within, to the step.
        double percentile(double fraction) const;

    private:
        static constexpr int kSteps = 10000;
        std::vector<unsigned long long> steps = std::vector<unsigned long long>(kSteps + 1, 0);
        unsigned long long n = 0;
        double maxMs = 0;
    };

    struct Phase {
        std::string name;
        Histogram wall;
        Histogram cpu;
        Histogram blocked;
    };

    // The calling thread's CPU time and run-queue wait so far, in ms (the wait 0 where the kernel
    // does not keep it).
    struct ThreadTimes {
        double cpuMs = 0;
        double queuedMs = 0;
        static ThreadTimes now();
    };

    // Measures one run of a phase from construction to destruction.
    class Scope {
    public:
        Scope(RefreshTiming& timing, int phase);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        Phase& phase;
        std::chrono::steady_clock::time_point wallStart;
        ThreadTimes start;
    };

    explicit RefreshTiming(const std::vector<std::string>& phaseNames);
    const std::vector<Phase>& phases() const { return all; }
    // "NAME wall max X p99 Y, cpu max X p99 Y, blocked max X p99 Y ms (N runs)" per phase, one line each.
    std::string report() const;

private:
    std::vector<Phase> all;
};
