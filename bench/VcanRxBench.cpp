// Receive-path figures of the SocketCAN adapter against the kernel's CAN stack. Runs only inside
// the test VM (`tests/vcan/vm-run.sh build bench`), where vcan0 exists and can-utils generate the
// traffic: every frame goes to one G1 tilt sensor (id 4, fast raw orientation with a counting
// payload), so each frame is a sensor update.
//   CangenFlood:   `cangen -g 0` as fast as the kernel takes frames; frames/s from the first frame
//                  sent to the last sensor update, and the frames lost on the way.
//   SaturatedBus:  about 8000 frames/s (a saturated 1 Mbit/s bus), bursts of 80 every 10 ms; the CPU
//                  the whole plug-in process uses (adapter library threads, manager thread), in
//                  percent of one core, and per frame. Idle: the same with no traffic.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include <sys/resource.h>
#include <sys/wait.h>
#include <wx/init.h>

#include "SensorManager.h"
#include "TiltSensorG1.h"

using namespace Sensors;

namespace {

constexpr uint32_t kG1Id = (3u << 21) | (SDT_G1 << 8) | 4u;  // msg 3, device type G1, number 4

double cpuSeconds()
{
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6;
}

double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

int received(SensorManager* m, int cua)
{
    int total = 0, parsed, overflow, r1, r2, r3, r4;
    m->GetDeviceReceived(cua, &total, &parsed, &overflow, &r1, &r2, &r3, &r4);
    return total;
}

// Connected once for all runs.
int adapter()
{
    static int cua = [] {
        SensorManager* m = SensorManager::getInstance();
        const int id = m->connect(wxString("SC_vcan0"));
        for (int i = 0; i < 1000 && m->getDeviceStatus(id) != QCAN_STATUS_CONNECTED; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        char cmd[128];
        std::snprintf(cmd, sizeof cmd, "cansend vcan0 %08X#0000000000000000", kG1Id);  // creates the sensor
        if (std::system(cmd) != 0)
            return -1;
        for (int i = 0; i < 300 && !m->getTiltSensorG1(4, id).isUnitAvaiable(FAST, RAW); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return id;
    }();
    return cua;
}

// Sends `frames` G1 frames with the given cangen pacing; fills the state's counters.
void run(benchmark::State& state, const std::string& pacing, int frames)
{
    SensorManager* m = SensorManager::getInstance();
    const int cua = adapter();
    if (cua < 0 || m->getDeviceStatus(cua) != QCAN_STATUS_CONNECTED) {
        state.SkipWithError("SC_vcan0 is not connected (run inside the test VM)");
        return;
    }
    char cmd[160];
    std::snprintf(cmd, sizeof cmd, "cangen %s -n %d -e -I %08X -L 8 -D i vcan0", pacing.c_str(), frames, kG1Id);
    for (auto _ : state) {
        _TCANStats before{}, after{};
        m->GetDeviceCanStats(cua, &before, false);
        const int rx0 = received(m, cua);
        const double cpu0 = cpuSeconds(), t0 = now();
        if (std::system(cmd) != 0) {
            state.SkipWithError("cangen failed");
            return;
        }
        const double sent = now();
        // The last update: when every frame is through, or the count stopped growing for 300 ms.
        int seen = received(m, cua);
        double lastChange = now();
        while (seen - rx0 < frames && now() - lastChange < 0.3) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            const int cur = received(m, cua);
            if (cur != seen) {
                seen = cur;
                lastChange = now();
            }
        }
        const double t1 = lastChange, cpu1 = cpuSeconds();
        const int got = received(m, cua) - rx0;
        m->GetDeviceCanStats(cua, &after, false);
        state.SetIterationTime(t1 - t0);
        state.counters["frames"] = got;
        state.counters["lost"] = frames - got;
        state.counters["kernel_drops"] = after.counter[4] - before.counter[4];
        state.counters["frames_per_s"] = got / (t1 - t0);
        state.counters["send_s"] = sent - t0;
        state.counters["cpu_percent"] = 100.0 * (cpu1 - cpu0) / (t1 - t0);
        state.counters["cpu_us_per_frame"] = got > 0 ? 1e6 * (cpu1 - cpu0) / got : 0;
        const TiltValue v = m->getTiltSensorG1(4, cua).getValue(FAST, RAW);
        state.counters["last_x"] = v.x;  // cangen's counter of the last frame, low 16 bits
    }
}

void CangenFlood(benchmark::State& state)
{
    run(state, "-g 0", static_cast<int>(state.range(0)));
}
BENCHMARK(CangenFlood)->Arg(20000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void SaturatedBus(benchmark::State& state)
{
    // 80 frames every 10 ms: the VM's timers are too coarse for 8 every millisecond.
    run(state, "-g 10 -c 80", static_cast<int>(state.range(0)));
}
BENCHMARK(SaturatedBus)->Arg(40000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// The plug-in connected with no traffic: status reports and manager passes alone.
void Idle(benchmark::State& state)
{
    SensorManager* m = SensorManager::getInstance();
    const int cua = adapter();
    if (cua < 0 || m->getDeviceStatus(cua) != QCAN_STATUS_CONNECTED) {
        state.SkipWithError("SC_vcan0 is not connected (run inside the test VM)");
        return;
    }
    for (auto _ : state) {
        const double cpu0 = cpuSeconds(), t0 = now();
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const double t1 = now();
        state.SetIterationTime(t1 - t0);
        state.counters["cpu_percent"] = 100.0 * (cpuSeconds() - cpu0) / (t1 - t0);
    }
}
BENCHMARK(Idle)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    wxInitializer wx;
    if (!wx.IsOk())
        return 2;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    SensorManager::getInstance()->disconnect(3000, 0);
    benchmark::Shutdown();
    return 0;
}
