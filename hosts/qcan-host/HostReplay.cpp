#include "HostReplay.h"

#include <chrono>

#include "LogFileReplay.h"

namespace {

long long monotonicMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

HostReplay::HostReplay(const ReplayOptions& options_, std::FILE* err_, bool errIsTerminal)
    : options(options_), err(err_), terminal(errIsTerminal), startMs(0)
{
}

HostReplay::~HostReplay()
{
    end();
}

bool HostReplay::begin(Sensors::SensorManager&, const std::vector<int>& ids)
{
    if (ids.empty())
        return false;
    // Bus-state reports on: an adapter that reports no status of its own stays connected.
    replay.reset(new Sensors::LogFileReplay(wxString::FromUTF8(options.file.c_str()), ids.front(), options.loop, true,
                                            options.intervalMs > 0 ? static_cast<int>(options.intervalMs) : -1, true,
                                            options.pacing));
    if (replay->getStatus() == Sensors::REPLAY_ERROR) {
        std::fprintf(err, "qcan-host: '%s' cannot be replayed (not a complete BUSMASTER log with at least two frame lines)\n",
                     options.file.c_str());
        std::fflush(err);
        replay.reset();
        return false;
    }
    startMs = monotonicMs();
    return true;
}

void HostReplay::refreshed()
{
    if (!replay || !terminal)
        return;
    std::fprintf(err, "\r\x1b[Kreplay %u / %u  elapsed %.1f s  behind %lld ms", replay->getPosition(), replay->getTotal(),
                 (monotonicMs() - startMs) / 1000.0, replay->getBehindMs());
    std::fflush(err);
}

bool HostReplay::finished()
{
    if (!replay)
        return false;
    const int status = replay->getStatus();
    return status == Sensors::REPLAY_END || status == Sensors::REPLAY_STOP;
}

void HostReplay::end()
{
    if (!replay)
        return;
    replay.reset();
    if (terminal) {
        std::fputc('\n', err);
        std::fflush(err);
    }
}
