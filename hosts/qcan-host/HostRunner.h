#pragma once

// What qcan-host does with the plug-in, in the order a host application does it: get the manager,
// connect adapters, wait for them, read sensors and status at every refresh, disconnect.

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "HostOptions.h"
#include "HostSession.h"
#include "HostSnapshot.h"

class HostLogging;

namespace Sensors {
class SensorManager;
}

class HostRunner {
public:
    // `out` receives the views; `err` the one-line reasons of a failure.
    HostRunner(const HostOptions& options, std::FILE* out, std::FILE* err, bool terminal);

    // The process's exit status: 0 done or interrupted, 1 no adapter connected (or the plug-in
    // did not stop cleanly).
    int run();
    // Work beside the refresh loop (not owned); see HostSession.
    void attach(HostSession* session) { sessions.push_back(session); }
    // Traffic recording to start once the adapters exist and to close before they disconnect.
    void setLogging(HostLogging* logging_) { logging = logging_; }

    // SIGINT and SIGTERM only set a flag; the refresh loop sees it within a few milliseconds.
    static void installSignalHandlers();
    static bool stopRequested();

private:
    int listAdapters(Sensors::SensorManager& manager);
    bool connectAdapters(Sensors::SensorManager& manager, std::vector<int>& ids);
    // True when at least one adapter connected; waits until all have, the time is up or a stop.
    bool waitForAdapters(Sensors::SensorManager& manager, const std::vector<int>& ids);
    void show(Sensors::SensorManager& manager, const std::vector<int>& ids, long long sequence);
    int shutdown(Sensors::SensorManager& manager, int status);
    // Tells every session of the refresh; true when one of them is finished.
    bool sessionFinished();
    // Sleeps in short steps until the monotonic millisecond `untilMs`; false when a stop came.
    static bool sleepUntil(long long untilMs);
    static long long monotonicMs();
    void fail(const std::string& reason);

    static void onSignal(int);
    static volatile std::sig_atomic_t stopFlag;

    HostOptions options;
    std::vector<HostSession*> sessions;
    HostLogging* logging = nullptr;
    HostSnapshot::Filter filter;  // from --sensor and --class
    HostSnapshot last;            // the previous refresh, for rates over the time between
    bool haveLast = false;
    std::FILE* out;
    std::FILE* err;
    bool terminal;
};
