#include "SensorManager.h"

#include <cstring>

#include <cstdio>
#include <cwchar>
#include <chrono>
#include <exception>
#include <memory>

#include <wx/intl.h>
#include <wx/utils.h>

#include "CUADeviceInfoItem.h"
#include "Clock.h"
#include "DeviceList.h"
#include "FrameParsers.h"
#include "QCANDevice.h"
#include "Sensor.h"
#include "SensorManagerThread.h"
#include "WispEasyWrapper.h"

namespace Sensors {

// --- connecting ----------------------------------------------------------------------------------

int SensorManager::connect(const wxString& name, int cuaId)
{
    // A thread on its way out removes every adapter in the table, a new one included: let it end
    // first. It needs the table lock for that, so this wait comes before the lock.
    if (isThreadRunning() && !getThreadRun() && !waitThreadEnd(CONNECT_WAIT_MS)) {
        QLOG_ERROR("connect") << "SensorManager: connect refused, the manager thread is still stopping: " << name;
        return -1;
    }
    // The refusals are checked under the table lock; the adapter object is built, described and
    // logged outside it (the table lock is never held across a call into an adapter or the logger).
    enum Refusal { ACCEPTED, NAME_OR_ID, ENDED };
    auto refusal = [&]() -> Refusal {
        if (name.IsEmpty() || cuaId < 1 || QCANDeviceExists(cuaId))
            return NAME_OR_ID;
        // Once the manager has ended, no thread would ever serve the adapter.
        return isSensorManagerOK() ? ACCEPTED : ENDED;
    };
    auto refuse = [&](Refusal why) {
        if (why == ENDED)
            QLOG_ERROR("connect") << "SensorManager: connect refused after shutdown " << name;
        // Written narrow: standard output is shared with the host, and one stream cannot mix wide
        // and narrow writes.
        printf("SensorManager: abort connect %s", static_cast<const char*>(name.utf8_str()));
        fflush(stdout);
        return -1;
    };
    Refusal why;
    {
        wxCriticalSectionLocker guard(tableLock);
        why = refusal();
    }
    if (why != ACCEPTED)
        return refuse(why);
    QCANDevice* device = new QCANDevice(cuaId, name);
    device->setReconn(true);
    // Described before it enters the table: host threads read the description without a lock.
    device->setDescription(describedAs(name));
    TableEntry entry{cuaId, name, QCANDeviceRef(device)};
    setSensorManagerEnabled(true);
    {
        wxCriticalSectionLocker guard(tableLock);
        // Another connect may have taken the id while the adapter was being built.
        why = refusal();
        if (why == ACCEPTED) {
            running = true;
            devices.push_back(entry);
            devicePointers.push_back(device);
        }
    }
    if (why != ACCEPTED)
        return refuse(why);  // the entry, the only holder, deletes the adapter
    entry.device.reset();
    QLOG_INFO("addQCANDevice") << "SensorManager: Add QCANDevice ID" << cuaId << " = " << name;
    notifier.Post();
    if (!isEnabled()) {
        printf("SensorManager: QCANDevice %d created but not connected. Enable SensorManager to connect devices",
               cuaId);
        fflush(stdout);
    }
    // Started after the table lock: starting may join an ended thread, and the thread lock never
    // comes inside the table lock. A disconnect of all adapters that came in between leaves a
    // stopping thread, which would take this adapter with it and leave nothing running.
    if (!startThread()) {
        // A host call may hold the adapter meanwhile; its last holder deletes it.
        QLOG_ERROR("connect") << "SensorManager: connect refused, the manager thread is still stopping: " << name;
        removeQCANDevice(cuaId);
        return -1;
    }
    return cuaId;
}

int SensorManager::connect(const wxString& name)
{
    return connect(name, popNextCUAID());
}

int SensorManager::connect(int cuaId)
{
    DeviceList* list = createQCANDeviceList();
    const wxString name = list->getSize() > 0 ? list->getDeviceInfo(0).name : wxString();
    deleteQCANDeviceList(list);
    return connect(name, cuaId);
}

int SensorManager::connect()
{
    if (getQCANDeviceCount() > 0)
        return -1;
    return connect(popNextCUAID());
}

std::vector<int>& SensorManager::connectAll()
{
    DeviceList* list = createQCANDeviceList();
    for (int i = 0; i < getDeviceListItemCount(list); ++i) {
        wxString name, description, vendor;
        if (!getDeviceListItemInfo(list, i, name, description, vendor))
            continue;
        printf("Available cua device to connect : %s : %s : %s\n", static_cast<const char*>(name.ToAscii()),
               static_cast<const char*>(description.ToAscii()), static_cast<const char*>(vendor.ToAscii()));
        const int id = connect(popNextCUAID());
        if (id >= 0) {
            connectedIds.push_back(id);
            printf("CUA:%s connected !\n", static_cast<const char*>(description.ToAscii()));
        } else {
            printf("Unable to connect CUA:%s\n", static_cast<const char*>(description.ToAscii()));
        }
    }
    fflush(stdout);
    deleteQCANDeviceList(list);
    return connectedIds;
}

int SensorManager::findAndConnect(CUAMatchType matchType, CUANameMatch nameMatch, const wxString& pattern, int cuaId)
{
    DeviceList* list = createQCANDeviceList();
    if (!list)
        return -1;
    const wxString wanted = pattern.Lower();
    for (int i = 0; i < list->getSize(); ++i) {
        const CUADeviceInfoItem item = list->getDeviceInfo(i);
        wxString text;
        switch (matchType) {
        case CUA_MATCH_NAME: text = item.name; break;
        case CUA_MATCH_VENDOR: text = item.vendor; break;
        case CUA_MATCH_DESCRIPTION: text = item.description; break;
        default: continue;
        }
        text.MakeLower();
        bool match = false;
        switch (nameMatch) {
        case CUA_NAME_STARTS_WITH: match = text.StartsWith(wanted); break;
        case CUA_NAME_CONTAINS: match = text.Contains(wanted); break;
        case CUA_NAME_EQUALS: match = text == wanted; break;
        default: break;
        }
        if (!match)
            continue;
        const int id = cuaId > 0 ? cuaId : popNextCUAID();
        const int result = connect(item.name, id);
        if (result != -1) {
            deleteQCANDeviceList(list);
            return result;
        }
    }
    deleteQCANDeviceList(list);
    return -1;
}

DeviceList* SensorManager::createQCANDeviceList()
{
    if (!isEnabled())
        return new DeviceList();
    // The listing loads the adapter library and runs its code: under the list's own lock, never
    // under the table lock (the library's threads enter adapters, whose sensors' holders send).
    std::vector<CUADeviceInfoItem> items;
    bool cached;
    {
        wxCriticalSectionLocker guard(adapterListLock);
        if (!adapterCache) {
            QLOG_INFO("createQCANDeviceList") << "Initialize cache";
            adapterCache = QCANDevice::GetAvailableQCANDevices();
            adapterCacheTime = getTickCount();
        } else if (getTickCount() - adapterCacheTime > 999) {
            QCANDevice::DeleteQCANDeviceList(adapterCache);
            adapterCache = QCANDevice::GetAvailableQCANDevices();
            adapterCacheTime = getTickCount();
            QLOG_INFO("createQCANDeviceList") << "Rebuild cache";
        }
        cached = adapterCache != nullptr;
        if (cached)
            for (int i = 0; i < adapterCache->getSize(); ++i)
                items.push_back(adapterCache->getDeviceInfo(i));
    }
    DeviceList* result = new DeviceList();
    if (!cached) {
        QLOG_ERROR("createQCANDeviceList") << "NULL device cache";
        return result;
    }
    for (const CUADeviceInfoItem& item : items)
        if (!nameIsInTable(item.name))
            result->insert(item);
    return result;
}

bool SensorManager::nameIsInTable(const wxString& name)
{
    wxCriticalSectionLocker guard(tableLock);
    for (const TableEntry& entry : devices)
        if (entry.name == name)
            return true;
    return false;
}

wxString SensorManager::describedAs(const wxString& name)
{
    wxCriticalSectionLocker guard(adapterListLock);
    wxString description;
    if (adapterCache)
        for (int i = 0; i < adapterCache->getSize(); ++i) {
            const CUADeviceInfoItem item = adapterCache->getDeviceInfo(i);
            if (item.name == name)
                description = item.description;  // the last one of the name
        }
    return description;
}

int SensorManager::getDeviceListItemCount(void* list)
{
    if (!list) {
        QLOG_ERROR("getDeviceListItemCount") << "NULL handle";
        return 0;
    }
    return static_cast<DeviceList*>(list)->getSize();
}

bool SensorManager::getDeviceListItemInfo(void* list, int index, wxString& name, wxString& description,
                                          wxString& vendor)
{
    if (!list) {
        QLOG_ERROR("getDeviceListItemInfo") << "NULL handle";
        return false;
    }
    DeviceList* devicesFound = static_cast<DeviceList*>(list);
    if (index < 0 || index >= devicesFound->getSize()) {
        name = description = vendor = wxT("Error Out of bounds");
        return false;
    }
    const CUADeviceInfoItem item = devicesFound->getDeviceInfo(index);
    name = item.name;
    description = item.description;
    vendor = item.vendor;
    return true;
}

void SensorManager::deleteQCANDeviceList(void* list)
{
    if (!list) {
        QLOG_ERROR("deleteQCANDeviceList") << "NULL handle";
        return;
    }
    QCANDevice::DeleteQCANDeviceList(list);
}

wxString SensorManager::getAvailableQCANDeviceNameByIndex(int index)
{
    DeviceList* list = createQCANDeviceList();
    wxString name;
    if (index >= 0 && index < list->getSize())
        name = list->getDeviceInfo(index).name;
    deleteQCANDeviceList(list);
    return name;
}

}  // namespace Sensors
