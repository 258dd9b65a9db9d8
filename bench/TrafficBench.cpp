// The real receive path under every make's traffic: frames of the traffic corpus, round-robin,
// through each adapter's receive callback, the parsers and the real sensors, once every sensor
// exists. Per make and mixed, on one and on four adapters; then the same mixed traffic while a
// host thread calls every typed getter, and the cost of one getter call on its own.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "AllocationCount.h"
#include "LogCapture.h"
#include "QCANDevice.h"
#include "ReceiveHarness.h"
#include "TestAdapter.h"
#include "TrafficCorpus.h"

namespace {

struct TrafficBench {
    std::vector<std::unique_ptr<TestAdapter>> adapters;
    std::vector<_TGENERIC_CAN_FRAME> frames;

    TrafficBench(int count, std::vector<_TGENERIC_CAN_FRAME> traffic) : frames(std::move(traffic))
    {
        for (int i = 1; i <= count; ++i) {
            adapters.emplace_back(new TestAdapter("DUMMY" + std::to_string(i), i));
            if (!adapters.back()->connect()) {
                fprintf(stderr, "adapter %d did not connect\n", i);
                std::abort();
            }
        }
        // Every sensor of the traffic is created by the adapters' passes before measuring.
        for (int round = 0; round < 2; ++round)
            for (auto& a : adapters) {
                for (_TGENERIC_CAN_FRAME f : frames) {
                    Sensors::QCANDevice::QCANRxHandler(nullptr, 0, &f.header, f.data, a->device());
                    if (a->device()->getRxBufferCount() > 0)
                        a->pass(1);
                }
                a->pass(1);
            }
    }
    ~TrafficBench()
    {
        for (auto& a : adapters)
            a->device()->clearSensorList();
    }
};

void report(benchmark::State& state, long long frames, long long allocations)
{
    state.SetItemsProcessed(frames);
    state.counters["frames_per_s"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
    state.counters["time_per_frame"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["allocs_per_frame"] = static_cast<double>(allocations) / static_cast<double>(frames ? frames : 1);
}

// One frame to each adapter per iteration; returns the frames delivered. Frames whose sensor the
// callback may not create (the maker's layout with a device type no sensor has, which foreign
// J1939 and the small extended Moba identifiers fit) go to the adapter's receive ring; the ring is
// drained every 16 frames as the manager thread's pass would, and that cost is part of the figure.
long long runFrames(benchmark::State& state, TrafficBench& bench)
{
    std::vector<Sensors::QCANDevice*> devices;
    for (auto& a : bench.adapters)
        devices.push_back(a->device());
    const size_t n = bench.frames.size();
    size_t next = 0;
    long long frames = 0;
    unsigned iterations = 0;
    for (auto _ : state) {
        _TGENERIC_CAN_FRAME f = bench.frames[next];
        next = next + 1 == n ? 0 : next + 1;
        for (Sensors::QCANDevice* device : devices)
            Sensors::QCANDevice::QCANRxHandler(nullptr, 0, &f.header, f.data, device);
        frames += static_cast<long long>(devices.size());
        if ((++iterations & 15) == 0)
            for (Sensors::QCANDevice* device : devices)
                while (device->processRxBuffer() > 0) {
                }
    }
    return frames;
}

void runTraffic(benchmark::State& state, int adapterCount, std::vector<_TGENERIC_CAN_FRAME> traffic)
{
    BasicLogger::setQuiet(true);
    TrafficBench bench(adapterCount, std::move(traffic));
    int sensors = 0;
    for (auto& a : bench.adapters)
        sensors += a->device()->getSensorCount();
    const long long allocationsBefore = g_allocations.load();
    const long long frames = runFrames(state, bench);
    report(state, frames, g_allocations.load() - allocationsBefore);
    state.counters["sensors"] = sensors;
    for (auto& a : bench.adapters)
        if (a->device()->getRxBufferCount() > 0)
            state.counters["queued"] = a->device()->getRxBufferCount();
    BasicLogger::setQuiet(false);
}

// Mixed traffic on one adapter while a host thread reads every sensor through the typed getters.
void BM_TrafficMixed_WithHostGetters(benchmark::State& state)
{
    BasicLogger::setQuiet(true);
    TrafficBench bench(1, mixedTraffic(trafficCorpus()));
    std::atomic<bool> stop{false};
    std::atomic<long long> getterCalls{0};
    Sensors::QCANDevice* device = bench.adapters[0]->device();
    std::thread host([&] {
        while (!stop.load(std::memory_order_relaxed))
            getterCalls += readEverySensor(device, 1, false);
    });
    const long long frames = runFrames(state, bench);
    stop = true;
    host.join();
    report(state, frames, 0);
    state.counters["getter_calls_per_s"] =
        benchmark::Counter(static_cast<double>(getterCalls.load()), benchmark::Counter::kIsRate);
    BasicLogger::setQuiet(false);
}

// One typed getter call (a copy of the sensor under its lock), on its own.
void BM_TypedGetter(benchmark::State& state)
{
    BasicLogger::setQuiet(true);
    TrafficBench bench(1, mixedTraffic(trafficCorpus()));
    Sensors::QCANDevice* device = bench.adapters[0]->device();
    long long calls = 0;
    for (auto _ : state)
        calls += readEverySensor(device, 1, false);
    state.counters["time_per_call"] =
        benchmark::Counter(static_cast<double>(calls), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    BasicLogger::setQuiet(false);
}

const bool registered = [] {
    for (const TrafficMake& m : trafficCorpus()) {
        benchmark::RegisterBenchmark(("BM_Traffic_" + m.name + "_OneAdapter").c_str(), runTraffic, 1, m.frames);
        benchmark::RegisterBenchmark(("BM_Traffic_" + m.name + "_FourAdapters").c_str(), runTraffic, 4, m.frames);
    }
    benchmark::RegisterBenchmark("BM_TrafficMixed_OneAdapter", runTraffic, 1, mixedTraffic(trafficCorpus()));
    benchmark::RegisterBenchmark("BM_TrafficMixed_FourAdapters", runTraffic, 4, mixedTraffic(trafficCorpus()));
    benchmark::RegisterBenchmark("BM_TrafficMixed_WithHostGetters", BM_TrafficMixed_WithHostGetters)->UseRealTime();
    benchmark::RegisterBenchmark("BM_TypedGetter", BM_TypedGetter);
    return true;
}();

}  // namespace
