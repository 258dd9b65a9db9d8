#pragma once

// qcan-host's log replay: plays the log into the first connected adapter with the plug-in's
// LogFileReplay, shows a progress line on standard error when that is a terminal, and ends the run
// when the log has been played (unless it loops).

#include <cstdio>
#include <memory>

#include "HostSession.h"
#include "ReplayOptions.h"

namespace Sensors {
class LogFileReplay;
}

class HostReplay : public HostSession {
public:
    HostReplay(const ReplayOptions& options, std::FILE* err, bool errIsTerminal);
    ~HostReplay() override;

    bool begin(Sensors::SensorManager& manager, const std::vector<int>& ids) override;
    void refreshed() override;
    bool finished() override;
    void end() override;

private:
    ReplayOptions options;
    std::FILE* err;
    bool terminal;
    std::unique_ptr<Sensors::LogFileReplay> replay;
    long long startMs;
};
