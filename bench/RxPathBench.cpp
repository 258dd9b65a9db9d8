// The cost of one received frame from the adapter library's receive callback to the updated fields
// of an existing sensor, and the heap allocations on that path (which must be none).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include <wx/init.h>

#include "AllocationCount.h"
#include "CountingSensor.h"
#include "LogCapture.h"
#include "SensorManager.h"
#include "TestAdapter.h"

// Every allocation of the process is counted, the plug-in's included.
std::atomic<long long> g_allocations{0};

void* operator new(std::size_t size)
{
    ++g_allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
// These deletes pair with the malloc-based new above, which the compiler cannot see through.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
#pragma GCC diagnostic pop

namespace {

// Adapters connected to dummies, each with one counting sensor that already exists.
struct Bench {
    std::vector<std::unique_ptr<TestAdapter>> adapters;

    explicit Bench(int count)
    {
        for (int i = 1; i <= count; ++i) {
            adapters.emplace_back(new TestAdapter("DUMMY" + std::to_string(i), i));
            TestAdapter& a = *adapters.back();
            if (!a.connect()) {
                fprintf(stderr, "adapter %d did not connect: status %d\n", i, a.device()->getQCANDevStatus());
                std::abort();
            }
            a.device()->deleteAllParsers();
            a.device()->addParser(parseCounting, nullptr);
            a.receive(CountingSensor::ID_BASE + 1, true, {0});
        }
    }
};

void runCallbackPath(benchmark::State& state, int adapterCount)
{
    Bench bench(adapterCount);
    BasicLogger::setQuiet(true);
    std::vector<Sensors::QCANDevice*> devices;
    for (auto& a : bench.adapters)
        devices.push_back(a->device());
    _TGENERIC_CAN_FRAME_HEADER header{CountingSensor::ID_BASE + 1, 1, 0, 8};
    uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};

    std::vector<int> countsBefore;
    for (Sensors::QCANDevice* device : devices)
        countsBefore.push_back(device->getSensor(1, CountingSensor::TYPE, false)->getMessageCount());

    const long long allocationsBefore = g_allocations.load();
    long long frames = 0;
    for (auto _ : state) {
        data[0] = static_cast<uint8_t>(frames);
        for (Sensors::QCANDevice* device : devices)
            Sensors::QCANDevice::QCANRxHandler(nullptr, 0, &header, data, device);
        frames += static_cast<long long>(devices.size());
    }
    const long long allocations = g_allocations.load() - allocationsBefore;

    // Every frame must have reached its sensor's fields.
    for (size_t i = 0; i < devices.size(); ++i) {
        auto* sensor = static_cast<CountingSensor*>(devices[i]->getSensor(1, CountingSensor::TYPE, false));
        const long long perAdapter = frames / static_cast<long long>(devices.size());
        if (sensor->getMessageCount() - countsBefore[i] != perAdapter || sensor->reading != data[0])
            state.SkipWithError("a frame did not reach its sensor");
    }
    state.SetItemsProcessed(frames);
    state.counters["frames_per_s"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
    state.counters["time_per_frame"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["allocs_per_frame"] = static_cast<double>(allocations) / static_cast<double>(frames ? frames : 1);
    if (allocations != 0)
        state.SkipWithError("the receive path allocated on the heap");
    BasicLogger::setQuiet(false);
}

void BM_ReceiveCallback_OneAdapter(benchmark::State& state)
{
    runCallbackPath(state, 1);
}
void BM_ReceiveCallback_FourAdapters(benchmark::State& state)
{
    runCallbackPath(state, 4);
}

}  // namespace

BENCHMARK(BM_ReceiveCallback_OneAdapter);
BENCHMARK(BM_ReceiveCallback_FourAdapters);

int main(int argc, char** argv)
{
    wxInitializer wx;
    setenv("QCAN_ADAPTERS", "", 1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
