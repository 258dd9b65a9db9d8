#include "HostRunner.h"

#include <algorithm>
#include <chrono>
#include <utility>
#include <thread>

#include "DeviceList.h"
#include "HostLogging.h"
#include "HostSnapshot.h"
#include "JsonView.h"
#include "QCANDeviceTypes.h"
#include "SensorManager.h"
#include "TextView.h"

using Sensors::SensorManager;

volatile std::sig_atomic_t HostRunner::stopFlag = 0;

namespace {

// How long the plug-in may take to close its adapters and end its thread.
const unsigned long kDisconnectWaitMs = 3000;

std::string utf8(const wxString& s)
{
    return std::string(s.utf8_str());
}

}  // namespace

HostRunner::HostRunner(const HostOptions& options_, std::FILE* out_, std::FILE* err_, bool terminal_)
    : options(options_), out(out_), err(err_), terminal(terminal_)
{
    filter.sensorIds = options.sensorIds;
    filter.classNames = options.classNames;
}

void HostRunner::onSignal(int)
{
    stopFlag = 1;
}

void HostRunner::installSignalHandlers()
{
    struct sigaction sa {};
    sa.sa_handler = &HostRunner::onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

bool HostRunner::stopRequested()
{
    return stopFlag != 0;
}

long long HostRunner::monotonicMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool HostRunner::sleepUntil(long long untilMs)
{
    while (!stopRequested()) {
        const long long left = untilMs - monotonicMs();
        if (left <= 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(left, 20LL)));
    }
    return false;
}

void HostRunner::fail(const std::string& reason)
{
    std::fprintf(err, "qcan-host: %s\n", reason.c_str());
    std::fflush(err);
}

int HostRunner::run()
{
    SensorManager* manager = SensorManager::getInstance();
    if (!manager) {
        fail("the sensor plug-in did not start");
        return 1;
    }
    if (options.list)
        return listAdapters(*manager);

    std::vector<int> ids;
    if (!connectAdapters(*manager, ids))
        return shutdown(*manager, 1);
    std::string reason;
    if (logging && !logging->start(*manager, ids, reason)) {
        fail(reason);
        return shutdown(*manager, 1);
    }
    if (!waitForAdapters(*manager, ids)) {
        if (stopRequested())
            return shutdown(*manager, 0);
        fail("no adapter connected within " + std::to_string(options.waitMs) + " ms");
        return shutdown(*manager, 1);
    }

    for (HostSession* session : sessions)
        if (!session->begin(*manager, ids))
            return shutdown(*manager, 1);

    const long long start = monotonicMs();
    const long long deadline = options.durationS >= 0.0 ? start + static_cast<long long>(options.durationS * 1000.0) : -1;
    long long sequence = 0;
    long long next = start;
    while (!stopRequested()) {
        show(*manager, ids, ++sequence);
        if (options.count > 0 && sequence >= options.count)
            break;
        if (sessionFinished())
            break;
        if (deadline >= 0 && monotonicMs() >= deadline)
            break;
        next += options.intervalMs;
        if (deadline >= 0 && next > deadline)
            next = deadline;  // the last refresh shows the state at the end of the run
        if (!sleepUntil(next))
            break;
    }
    return shutdown(*manager, 0);
}

int HostRunner::listAdapters(SensorManager& manager)
{
    void* list = manager.createQCANDeviceList();
    const int n = manager.getDeviceListItemCount(list);
    std::string json = "{\"adapters\":[";
    for (int i = 0; i < n; ++i) {
        wxString name, description, vendor;
        if (!manager.getDeviceListItemInfo(list, i, name, description, vendor))
            continue;
        if (options.json) {
            json += std::string(i ? "," : "") + "{\"name\":" + JsonView::quote(utf8(name)) + ",\"vendor\":" +
                    JsonView::quote(utf8(vendor)) + ",\"description\":" + JsonView::quote(utf8(description)) + "}";
        } else {
            std::fprintf(out, "%-20s %-14s %s\n", utf8(name).c_str(), utf8(vendor).c_str(), utf8(description).c_str());
        }
    }
    manager.deleteQCANDeviceList(list);
    if (options.json)
        std::fprintf(out, "%s]}\n", json.c_str());
    else if (n == 0)
        std::fprintf(out, "(no adapter available)\n");
    std::fflush(out);
    return 0;
}

bool HostRunner::connectAdapters(SensorManager& manager, std::vector<int>& ids)
{
    if (!options.adapters.empty()) {
        // Only names the adapter library offers; the manager would otherwise retry a missing one.
        std::vector<std::string> available;
        void* list = manager.createQCANDeviceList();
        const int n = manager.getDeviceListItemCount(list);
        for (int i = 0; i < n; ++i) {
            wxString name, description, vendor;
            if (manager.getDeviceListItemInfo(list, i, name, description, vendor))
                available.push_back(utf8(name));
        }
        manager.deleteQCANDeviceList(list);
        for (const std::string& name : options.adapters) {
            if (std::find(available.begin(), available.end(), name) == available.end()) {
                fail("adapter '" + name + "' is not available (see --list)");
                return false;
            }
            const int id = manager.connect(wxString::FromUTF8(name.c_str()));
            if (id < 1) {
                fail("adapter '" + name + "' could not be connected");
                return false;
            }
            ids.push_back(id);
        }
        return true;
    }
    if (!options.vendor.empty()) {
        const int id = manager.findAndConnect(Sensors::CUA_MATCH_VENDOR, Sensors::CUA_NAME_CONTAINS,
                                              wxString::FromUTF8(options.vendor.c_str()), 0);
        if (id < 1) {
            fail("no available adapter has a vendor containing '" + options.vendor + "'");
            return false;
        }
        ids.push_back(id);
        return true;
    }
    ids = manager.connectAll();
    if (ids.empty()) {
        fail("no CAN adapter available (set QCAN_ADAPTERS, see --list)");
        return false;
    }
    return true;
}

bool HostRunner::waitForAdapters(SensorManager& manager, const std::vector<int>& ids)
{
    const long long until = monotonicMs() + options.waitMs;
    for (;;) {
        int connected = 0;
        for (int id : ids)
            if (manager.getDeviceStatus(id) == QCAN_STATUS_CONNECTED)
                ++connected;
        if (connected == static_cast<int>(ids.size()))
            return true;
        if (stopRequested())
            return false;
        if (monotonicMs() >= until)
            return connected > 0;
        sleepUntil(std::min(until, monotonicMs() + 50));
    }
}

void HostRunner::show(SensorManager& manager, const std::vector<int>& ids, long long sequence)
{
    if (options.xml) {
        // Each refresh is a document of its own: the elements of the sensors under one root.
        std::string xml = utf8(manager.ToXML(0, 0, 0));
        std::fprintf(out, "%s<!-- refresh %lld -->\n<sensors>\n%s</sensors>\n", terminal ? "\x1b[H\x1b[2J" : "",
                     sequence, xml.c_str());
    } else {
        HostSnapshot snapshot = HostSnapshot::take(manager, ids, sequence, filter, haveLast ? &last : nullptr);
        if (options.json)
            std::fprintf(out, "%s\n", JsonView::render(snapshot).c_str());
        else
            std::fputs(TextView::render(snapshot, terminal, options.raw).c_str(), out);
        last = std::move(snapshot);
        haveLast = true;
    }
    std::fflush(out);
}

bool HostRunner::sessionFinished()
{
    bool finished = false;
    for (HostSession* session : sessions) {
        session->refreshed();
        finished = finished || session->finished();
    }
    return finished;
}

int HostRunner::shutdown(SensorManager& manager, int status)
{
    // The replay stops before the recording closes: the recording keeps every frame it played.
    for (HostSession* session : sessions)
        session->end();
    if (logging)
        logging->finish(manager, err);
    manager.disconnect(kDisconnectWaitMs, 0);
    if (manager.isThreadRunning()) {
        fail("the plug-in's thread did not stop within " + std::to_string(kDisconnectWaitMs) + " ms");
        return status == 0 ? 1 : status;
    }
    return status;
}
