#pragma once

#include <atomic>

// Every heap allocation of the benchmark process, the plug-in's included (operator new is
// replaced in RxPathBench.cpp).
extern std::atomic<long long> g_allocations;
