#include "HostSnapshot.h"

#include <algorithm>

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

HostSnapshot HostSnapshot::take(Sensors::SensorManager& manager, const std::vector<int>& adapterIds, long long sequence)
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
        s.adapters.push_back(a);
    }
    // Every sensor heard on any adapter; the records are the plug-in's and go back to it.
    std::vector<Sensors::SensorInfo*> infos = manager.getSensorsInfo(0);
    for (const Sensors::SensorInfo* info : infos)
        if (info)
            s.sensors.push_back(SensorReader::read(manager, *info));
    manager.deleteSensorsInfo(infos);
    std::sort(s.sensors.begin(), s.sensors.end(), [](const Sensor& a, const Sensor& b) {
        if (a.adapterId != b.adapterId)
            return a.adapterId < b.adapterId;
        if (a.sensorId != b.sensorId)
            return a.sensorId < b.sensorId;
        return a.deviceType < b.deviceType;
    });
    return s;
}
