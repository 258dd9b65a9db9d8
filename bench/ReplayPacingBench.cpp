// How closely a log replay keeps the time line of a busy log. A log of a saturated 1 Mbit/s bus
// (about 7,600 frames/s, time stamps in milliseconds as our logger writes them) is replayed into a
// dummy adapter; a parser records when each frame is handed to the adapter, and that is compared
// with the frame's time in the log, counted from the first frame.
//
//   build/bin/qcan_replay_bench                       exact pacing over 60 s, classic over 10 s
//   QCAN_REPLAY_BENCH_SECONDS=10 build/bin/qcan_replay_bench
//
// Counters: log_s and replay_s (first to last frame), drift_pct (replay against log), p99_late_ms
// and max_late_ms (hand-over after the frame's due time), and for the classic mode behind_s (how
// much of the log is still unplayed when the log's own length has passed).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>
#include <wx/init.h>

#include "Clock.h"
#include "LogFileReplay.h"
#include "TestAdapter.h"

namespace {

const double kFramesPerSecond = 7600.0;  // 29-bit identifiers, 8 data bytes, worst-case stuffing at 1 Mbit/s

long long nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Hand-over times by frame number (data bytes 0 to 3).
struct Handover {
    std::vector<long long> ns;
    static PARSE_RESULT parse(void* frame, void*, void* context)
    {
        const _TGENERIC_CAN_FRAME& f = static_cast<RxCANFrameT*>(frame)->frame;
        const size_t i = f.data[0] | (f.data[1] << 8) | (f.data[2] << 16) | (static_cast<size_t>(f.data[3]) << 24);
        auto* self = static_cast<Handover*>(context);
        if (i < self->ns.size())
            self->ns[i] = nowNs();
        return PARSE_RESULT_OK;
    }
};

int logSeconds()
{
    const char* s = std::getenv("QCAN_REPLAY_BENCH_SECONDS");
    const int v = s ? std::atoi(s) : 60;
    return v > 0 ? v : 60;
}

// Writes the log; returns each frame's time in ms since the first.
std::vector<long long> writeLog(const std::string& path, int seconds)
{
    const size_t frames = static_cast<size_t>(seconds * kFramesPerSecond);
    std::vector<long long> ms(frames);
    std::FILE* f = std::fopen(path.c_str(), "w");
    std::fputs("***BUSMASTER Ver 1.8.0***\n***PROTOCOL CAN***\n***NOTE: PLEASE DO NOT EDIT THIS DOCUMENT***\n"
               "***NOTE: CREATED WITH QUILLARD DATALOGGER***\n***START DATE AND TIME 05:12:2026 10:00:00:0000***\n"
               "***HEX***\n***SYSTEM MODE***\n***START CHANNEL BAUD RATE***\n***CHANNEL 1 - DUMMY1 - 0h - 1000000 bps***\n"
               "***END CHANNEL BAUD RATE***\n***<Time><Tx/Rx><Channel><CAN ID><Type><DLC><DataBytes>***\n",
               f);
    for (size_t i = 0; i < frames; ++i) {
        const long long t = static_cast<long long>(i * 1000.0 / kFramesPerSecond);  // ms, as the logger rounds
        ms[i] = t;
        const long long s = 36000 + t / 1000;
        std::fprintf(f, "%02lld:%02lld:%02lld:%03lld Rx 1 0x%X x 8 %02X %02X %02X %02X 00 00 00 00\n", s / 3600,
                     (s / 60) % 60, s % 60, t % 1000, 0x18FF0000u + static_cast<unsigned>(i % 256),
                     static_cast<unsigned>(i & 0xFF), static_cast<unsigned>((i >> 8) & 0xFF),
                     static_cast<unsigned>((i >> 16) & 0xFF), static_cast<unsigned>((i >> 24) & 0xFF));
    }
    std::fputs("***END DATE AND TIME 05:12:2026 10:01:00:***\n***[STOP LOGGING SESSION]***\n", f);
    std::fclose(f);
    return ms;
}

void replay(benchmark::State& state, Sensors::ReplayPacing pacing, int seconds)
{
    const std::string path = "/tmp/qcan_replay_bench." + std::to_string(getpid()) + ".log";
    const std::vector<long long> due = writeLog(path, seconds);
    TestAdapter adapter;
    if (!adapter.connect()) {
        state.SkipWithError("dummy adapter did not connect");
        return;
    }
    // Real time from here; nothing runs the adapter's passes, so it stays connected.
    Sensors::Clock::setReal();
    Handover handover;
    handover.ns.assign(due.size(), -1);
    adapter.device()->deleteAllParsers();
    adapter.device()->addParser(&Handover::parse, &handover);

    for (auto _ : state) {
        const long long start = nowNs();
        std::unique_ptr<Sensors::LogFileReplay> r(
            new Sensors::LogFileReplay(wxString::FromUTF8(path.c_str()), adapter.cuaId(), false, false, -1, true, pacing));
        const long long limitNs = start + static_cast<long long>(seconds) * 1000000000LL;
        if (pacing == Sensors::REPLAY_PACING_CLASSIC) {
            // The classic mode cannot keep up: see how much of the log is left when its time is up.
            while (nowNs() < limitNs && r->getStatus() == Sensors::REPLAY_RUNNING)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            size_t done = 0;
            while (done < due.size() && handover.ns[done] >= 0)
                ++done;
            const double playedS = done ? due[done - 1] / 1000.0 : 0.0;
            state.counters["frames_sent"] = static_cast<double>(done);
            state.counters["behind_s"] = (nowNs() - handover.ns[0]) / 1e9 - playedS;
            state.counters["frames_per_s"] = done / ((nowNs() - handover.ns[0]) / 1e9);
            r.reset();
            continue;
        }
        while (r->getStatus() != Sensors::REPLAY_END && nowNs() < limitNs + 30000000000LL)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        r.reset();
        std::vector<double> lateMs;
        lateMs.reserve(due.size());
        size_t missing = 0;
        for (size_t i = 0; i < due.size(); ++i) {
            if (handover.ns[i] < 0) {
                ++missing;
                continue;
            }
            lateMs.push_back((handover.ns[i] - handover.ns[0]) / 1e6 - static_cast<double>(due[i] - due[0]));
        }
        std::vector<double> sorted = lateMs;
        std::sort(sorted.begin(), sorted.end());
        const double logS = (due.back() - due.front()) / 1000.0;
        const double replayS = (handover.ns.back() - handover.ns.front()) / 1e9;
        state.counters["frames"] = static_cast<double>(due.size());
        state.counters["missing"] = static_cast<double>(missing);
        state.counters["log_s"] = logS;
        state.counters["replay_s"] = replayS;
        state.counters["drift_pct"] = (replayS - logS) / logS * 100.0;
        state.counters["p99_late_ms"] = sorted.empty() ? -1 : sorted[sorted.size() * 99 / 100];
        state.counters["max_late_ms"] = sorted.empty() ? -1 : sorted.back();
        state.counters["min_late_ms"] = sorted.empty() ? -1 : sorted.front();
        std::size_t within2 = 0;
        for (double l : lateMs)
            within2 += l >= -2.0 && l <= 2.0;
        state.counters["within_2ms_pct"] = lateMs.empty() ? 0 : 100.0 * within2 / lateMs.size();
    }
    std::remove(path.c_str());
}

void BM_ReplayExactPacing(benchmark::State& state)
{
    replay(state, Sensors::REPLAY_PACING_EXACT, logSeconds());
}

void BM_ReplayClassicPacing(benchmark::State& state)
{
    replay(state, Sensors::REPLAY_PACING_CLASSIC, std::min(10, logSeconds()));
}

}  // namespace

BENCHMARK(BM_ReplayExactPacing)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_ReplayClassicPacing)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

int main(int argc, char** argv)
{
    wxInitializer wx;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
