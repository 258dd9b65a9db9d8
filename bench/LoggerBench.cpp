// The CAN traffic logger: how many BUSMASTER lines per second its writer thread formats and appends
// to the file, what logging adds to the receive path per frame, and whether memory stays flat while
// the writer keeps up with a steady bus.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>

#include "Clock.h"
#include "CountingSensor.h"
#include "DataLogging.h"
#include "LogCapture.h"
#include "QCANDevice.h"
#include "TestAdapter.h"

namespace {

std::string benchFile(const char* name)
{
    return std::string("/tmp/qcan_bench_") + std::to_string(getpid()) + "_" + name + ".log";
}

RxCANFrameT sampleFrame(int cuaId)
{
    RxCANFrameT f{};
    f.frame.header = {0x18FF1234, 1, 0, 8};
    for (int i = 0; i < 8; ++i)
        f.frame.data[i] = static_cast<uint8_t>(0x11 * i);
    f.time = Sensors::Clock::wallMs();
    f.cuaId = cuaId;
    return f;
}

long residentKb()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void waitFormatted(Sensors::DataLogging& logger, unsigned long long n)
{
    while (logger.getFramesFormatted() < n)
        std::this_thread::yield();
}

// Bursts of frames handed to the logger at once; the time is that of the writer turning the whole
// burst into lines of the BUSMASTER form in the file.
void BM_WriterSustainedRate(benchmark::State& state)
{
    BasicLogger::setQuiet(true);
    Sensors::QCANDevice device(1, wxT("DUMMY1"));
    const std::string path = benchFile("writer");
    const int burst = static_cast<int>(state.range(0));
    unsigned long long total = 0;
    {
        Sensors::DataLogging logger(&device, wxString::FromUTF8(path.c_str()), Sensors::TIMESTAMP_TIME,
                                    Sensors::CANID_FORMAT_HEX, Sensors::CANDATA_FORMAT_HEX, wxT(" "),
                                    Sensors::CANIDTYPE_ALL, true);
        RxCANFrameT frame = sampleFrame(1);
        for (auto _ : state) {
            const auto start = std::chrono::steady_clock::now();
            for (int i = 0; i < burst; ++i) {
                frame.time += (i & 7) == 0;
                frame.frame.data[0] = static_cast<uint8_t>(i);
                logger.appendMsg(&frame);
            }
            total += static_cast<unsigned long long>(burst);
            waitFormatted(logger, total);
            state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(total));
    state.counters["lines_per_s"] = benchmark::Counter(static_cast<double>(total), benchmark::Counter::kIsRate);
    std::remove(path.c_str());
    BasicLogger::setQuiet(false);
}

// A steady 100,000 frames per second (over ten saturated 1 Mbit/s buses) for a second: the queue
// never builds up and the process does not grow.
void BM_WriterKeepsUpMemoryFlat(benchmark::State& state)
{
    BasicLogger::setQuiet(true);
    Sensors::QCANDevice device(1, wxT("DUMMY1"));
    const std::string path = benchFile("steady");
    long growthKb = 0;
    unsigned long long total = 0;
    {
        Sensors::DataLogging logger(&device, wxString::FromUTF8(path.c_str()), Sensors::TIMESTAMP_TIME,
                                    Sensors::CANID_FORMAT_HEX, Sensors::CANDATA_FORMAT_HEX, wxT(" "),
                                    Sensors::CANIDTYPE_ALL, true);
        RxCANFrameT frame = sampleFrame(1);
        // Warm-up: buffers and allocator reach their working size.
        for (int i = 0; i < 20000; ++i)
            logger.appendMsg(&frame);
        total = 20000;
        waitFormatted(logger, total);
        const long before = residentKb();
        for (auto _ : state) {
            const auto start = std::chrono::steady_clock::now();
            for (int ms = 0; ms < 1000; ++ms) {
                for (int i = 0; i < 100; ++i)
                    logger.appendMsg(&frame);
                total += 100;
                std::this_thread::sleep_until(start + std::chrono::milliseconds(ms + 1));
            }
            waitFormatted(logger, total);
        }
        growthKb = residentKb() - before;
    }
    state.counters["rss_growth_kb"] = static_cast<double>(growthKb);
    std::remove(path.c_str());
    BasicLogger::setQuiet(false);
}

// One received frame from the adapter library's callback to its sensor, with and without a logger
// on the adapter: the difference is what logging adds to the receive path.
void receivePath(benchmark::State& state, bool withLogger)
{
    TestAdapter adapter("DUMMY1", 1);
    if (!adapter.connect()) {
        state.SkipWithError("adapter did not connect");
        return;
    }
    adapter.device()->deleteAllParsers();
    adapter.device()->addParser(parseCounting, nullptr);
    adapter.receive(CountingSensor::ID_BASE + 1, true, {0});
    BasicLogger::setQuiet(true);
    const std::string path = benchFile("rx");
    std::unique_ptr<Sensors::DataLogging> logger;
    if (withLogger)
        logger.reset(new Sensors::DataLogging(adapter.device(), wxString::FromUTF8(path.c_str()),
                                              Sensors::TIMESTAMP_TIME, Sensors::CANID_FORMAT_HEX,
                                              Sensors::CANDATA_FORMAT_HEX, wxT(" "), Sensors::CANIDTYPE_ALL, true));
    _TGENERIC_CAN_FRAME_HEADER header{CountingSensor::ID_BASE + 1, 1, 0, 8};
    uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    long long frames = 0;
    for (auto _ : state) {
        data[0] = static_cast<uint8_t>(frames);
        Sensors::QCANDevice::QCANRxHandler(nullptr, 0, &header, data, adapter.device());
        ++frames;
    }
    if (logger) {
        waitFormatted(*logger, static_cast<unsigned long long>(frames));
        logger.reset();
    }
    state.SetItemsProcessed(frames);
    state.counters["time_per_frame"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    std::remove(path.c_str());
    BasicLogger::setQuiet(false);
}

void BM_ReceivePath_NoLogger(benchmark::State& state)
{
    receivePath(state, false);
}
void BM_ReceivePath_WithLogger(benchmark::State& state)
{
    receivePath(state, true);
}

}  // namespace

BENCHMARK(BM_WriterSustainedRate)->Arg(100000)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriterKeepsUpMemoryFlat)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReceivePath_NoLogger);
BENCHMARK(BM_ReceivePath_WithLogger);
