#include "HostSnapshot.h"

#include <algorithm>
#include <cctype>

#include "QCANDevice.h"
#include "QCANDeviceTypes.h"
#include "SensorManager.h"
#include "SensorReader.h"

HostSnapshot::Reading HostSnapshot::Reading::real(std::string name, double v)
{
    Reading r;
    r.name = std::move(name);
    r.kind = NUMBER;
    r.number = v;
    return r;
}

HostSnapshot::Reading HostSnapshot::Reading::whole(std::string name, long long v)
{
    Reading r;
    r.name = std::move(name);
    r.kind = INTEGER;
    r.integer = v;
    return r;
}

HostSnapshot::Reading HostSnapshot::Reading::boolean(std::string name, bool v)
{
    Reading r;
    r.name = std::move(name);
    r.kind = FLAG;
    r.flag = v;
    return r;
}

HostSnapshot::Reading HostSnapshot::Reading::string(std::string name, std::string v)
{
    Reading r;
    r.name = std::move(name);
    r.kind = TEXT;
    r.text = std::move(v);
    return r;
}

HostSnapshot::Reading HostSnapshot::Reading::group(std::string name, std::vector<std::pair<std::string, double>> parts)
{
    Reading r;
    r.name = std::move(name);
    r.kind = GROUP;
    r.parts = std::move(parts);
    return r;
}

namespace {

bool sameText(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// Counters of the adapter library's statistics block.
enum { kRxFrames = 0, kTxFrames = 1, kRxBytes = 2, kTxBytes = 3, kRxLost = 4 };

}  // namespace

bool HostSnapshot::Filter::accepts(int sensorId, const std::string& className) const
{
    const bool idOk = sensorIds.empty() || std::find(sensorIds.begin(), sensorIds.end(), sensorId) != sensorIds.end();
    const bool classOk = classNames.empty() || std::any_of(classNames.begin(), classNames.end(),
                                                           [&](const std::string& c) { return sameText(c, className); });
    return idOk && classOk;
}

double HostSnapshot::busBits(unsigned long long frames, unsigned long long bytes)
{
    return 80.0 * static_cast<double>(frames) + 10.0 * static_cast<double>(bytes);
}

HostSnapshot HostSnapshot::take(Sensors::SensorManager& manager, const std::vector<int>& adapterIds, long long sequence,
                                const Filter& filter, const HostSnapshot* previous)
{
    HostSnapshot s;
    s.sequence = sequence;
    s.timeMs = Sensors::SensorManager::getTickCount();
    s.managerStatus = std::string(manager.getStatus(0).utf8_str());
    for (int id : adapterIds) {
        QCANDeviceInfo info;
        Adapter a;
        a.id = id;
        if (manager.getDeviceInfo(id, &info)) {
            a.name = std::string(info.name.utf8_str());
            a.description = std::string(info.description.utf8_str());
            a.vendor = std::string(info.vendor.utf8_str());
            a.status = std::string(Sensors::QCANDevice::translateStatusString(info.status).utf8_str());
            a.connected = info.status == QCAN_STATUS_CONNECTED;
            a.baudKbit = Sensors::QCANDevice::getBaudrateAsInt(info.baud);
        } else {
            a.status = "GONE";
        }
        _TCANStats stats{};
        if (manager.GetDeviceCanStats(id, &stats, false) > 0) {
            a.hasStats = true;
            a.rxFrames = stats.counter[kRxFrames];
            a.txFrames = stats.counter[kTxFrames];
            a.lostFrames = stats.counter[kRxLost];
            a.rxBytes = stats.counter[kRxBytes];
            a.txBytes = stats.counter[kTxBytes];
        }
        s.adapters.push_back(a);
    }
    // Every sensor heard on any adapter; the records are the plug-in's and go back to it.
    std::vector<Sensors::SensorInfo*> infos = manager.getSensorsInfo(0);
    for (const Sensors::SensorInfo* info : infos)
        if (info && filter.accepts(info->sensorId, SensorReader::className(info->deviceType)))
            s.sensors.push_back(SensorReader::read(manager, *info));
    manager.deleteSensorsInfo(infos);
    std::sort(s.sensors.begin(), s.sensors.end(), [](const Sensor& a, const Sensor& b) {
        if (a.adapterId != b.adapterId)
            return a.adapterId < b.adapterId;
        if (a.sensorId != b.sensorId)
            return a.sensorId < b.sensorId;
        return a.deviceType < b.deviceType;
    });
    if (previous && s.timeMs > previous->timeMs)
        s.rates(*previous);
    return s;
}

void HostSnapshot::rates(const HostSnapshot& before)
{
    const double seconds = static_cast<double>(timeMs - before.timeMs) / 1000.0;
    for (Sensor& x : sensors) {
        for (const Sensor& b : before.sensors) {
            // A count that went down belongs to a new sensor object (the adapter was reopened).
            if (b.adapterId == x.adapterId && b.sensorId == x.sensorId && b.deviceType == x.deviceType && x.frames >= b.frames)
                x.fps = static_cast<double>(x.frames - b.frames) / seconds;
        }
    }
    for (Adapter& a : adapters) {
        for (const Adapter& b : before.adapters) {
            if (b.id != a.id || !a.hasStats || !b.hasStats || a.baudKbit <= 0 || a.rxFrames < b.rxFrames ||
                a.txFrames < b.txFrames || a.rxBytes < b.rxBytes || a.txBytes < b.txBytes)
                continue;
            const double bits = busBits(a.rxFrames - b.rxFrames + a.txFrames - b.txFrames, a.rxBytes - b.rxBytes + a.txBytes - b.txBytes);
            a.busLoadPercent = 100.0 * bits / (seconds * a.baudKbit * 1000.0);
        }
    }
}
