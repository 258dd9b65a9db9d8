#pragma once

// The CAN traffic recording of qcan-host: --log FILE records every frame of one connected adapter
// for the whole run (the interoperable BUSMASTER form unless --log-format says otherwise), --tx-log
// switches on the transmit log of every connected adapter. The recording is closed before the
// plug-in disconnects, however the run ends, so that nothing received is lost.

#include <cstdio>
#include <string>
#include <vector>

#include "DataLogging.h"

namespace Sensors {
class SensorManager;
class QCANDevice;
}  // namespace Sensors

class HostLogging {
public:
    std::string file;     // --log FILE; empty: no recording
    std::string adapter;  // --log-adapter NAME; empty: the first connected adapter
    Sensors::DataLoggingOptions format = defaultFormat();
    bool txLog = false;  // --tx-log

    static Sensors::DataLoggingOptions defaultFormat();
    // Takes the logging options out of argv (what stays is for the other options), false with
    // `error` set for a bad value.
    static bool extract(std::vector<std::string>& args, HostLogging& out, std::string& error);
    // Parses a --log-format list, e.g. "table,sep=;,id=dec,data=int16".
    static bool parseFormat(const std::string& text, Sensors::DataLoggingOptions& out, std::string& error);
    static std::string usage();

    bool enabled() const { return !file.empty() || txLog; }
    // Called once the adapters exist and before they connect, so that the recording holds every
    // frame they accept. False with a one-line reason in `error`.
    bool start(Sensors::SensorManager& manager, const std::vector<int>& ids, std::string& error);
    // Stops frame reception, closes the recording and the transmit logs and reports on `err` how
    // many frames the file holds against the adapter's counters.
    void finish(Sensors::SensorManager& manager, std::FILE* err);

    ~HostLogging();

private:
    Sensors::DataLogging* logger = nullptr;
    Sensors::QCANDevice* loggedDevice = nullptr;
    std::vector<int> txIds;
};
