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
#include "QCANMonitor.h"
#include "Sensor.h"
#include "BoomHeadingSensor.h"
#include "CANopenEncoderSensor.h"
#include "DSM500Sensor.h"
#include "DSM500SensorComponent.h"
#include "DT500Sensor.h"
#include "EngconTiltrotatorSensor.h"
#include "GenericPositionSensor.h"
#include "KM7.h"
#include "MDS2000IO.h"
#include "MobaCommProtocol.h"
#include "MobaDrillDepthSensor.h"
#include "NMEA2KHeadingSensor.h"
#include "NMEA2KPositionSensor.h"
#include "RayGauge.h"
#include "RotationSensor.h"
#include "RototiltSensor.h"
#include "SandvikTIMSensor.h"
#include "SimulatorClientSensor.h"
#include "SlopeSensor.h"
#include "SteelwristJoystickSensor.h"
#include "SteelwristRotationSensor.h"
#include "SteelwristSlopeSensor.h"
#include "TiltSensorG1.h"
#include "SensorManagerThread.h"
#include "WispEasyWrapper.h"

namespace Sensors {

// Runs the end of the manager when the process exits. The instance itself is never freed, so that a
// thread that is still finishing never touches freed memory.
struct SensorManagerExitGuard {
    SensorManager* manager;
    ~SensorManagerExitGuard() { manager->shutdown(); }
};

SensorManager* SensorManager::getInstance()
{
    // One-time construction is thread-safe.
    static SensorManager* instance = new SensorManager();
    static SensorManagerExitGuard guard{instance};
    return instance;
}

SensorManager::SensorManager()
    : enabled(true),
      threadRunning(false),
      threadRun(false),
      maxReceivedFifoSize(64),
      rxFifo(new RxCANFrameT[RX_FIFO_SLOTS]),
      rxFifoRead(0),
      rxFifoWrite(0),
      rxFifoCount(0),
      notifier(0, 0),
      thread(nullptr),
      mainThreadLastTick(0),
      lastConnectTick(0),
      running(true),
      statusCacheTime(0),
      lastCuaId(0),
      threadActive(false),
      adapterCache(nullptr),
      adapterCacheTime(0),
      sensorManagerEnabled(false),
      sensorManagerOK(true)
{
    std::memset(rxFifo, 0, sizeof(RxCANFrameT) * RX_FIFO_SLOTS);
}

SensorManager::~SensorManager()
{
    shutdown();
}

void SensorManager::shutdown()
{
    if (isThreadRunning()) {
        {
            wxCriticalSectionLocker guard(stateLock);
            threadRun = false;
            notifier.Post();
        }
        notifier.Post();
    }
    if (isSensorManagerEnabled() && getQCANDeviceCount() > 0)
        disconnect(0, 0);
    setSensorManagerEnabled(false);
    clearReceivedMessagesFifo();
    // The thread closes its adapters on its way out; it is given a bounded time for that, and
    // joined when it made it.
    const bool ended = waitThreadEnd(3000);
    setSensorManagerOK(false);
    std::vector<QCANDeviceRef> left;
    {
        wxCriticalSectionLocker guard(tableLock);
        QCANDevice::DeleteQCANDeviceList(adapterCache);
        adapterCache = nullptr;
        if (ended) {
            left.swap(devices);
            devicePointers.clear();
        }
    }
    left.clear();  // outside the table lock: closing an adapter waits for the threads of the library
}

// --- flags and clock ---------------------------------------------------------------------------

void SensorManager::setEnabled(bool value)
{
    wxCriticalSectionLocker guard(stateLock);
    enabled = value;
}

bool SensorManager::isEnabled()
{
    wxCriticalSectionLocker guard(stateLock);
    return enabled;
}

void SensorManager::setSensorManagerEnabled(bool value)
{
    wxCriticalSectionLocker guard(flagLock);
    sensorManagerEnabled = value;
}

bool SensorManager::isSensorManagerEnabled()
{
    wxCriticalSectionLocker guard(flagLock);
    return sensorManagerEnabled;
}

void SensorManager::setSensorManagerOK(bool value)
{
    wxCriticalSectionLocker guard(flagLock);
    sensorManagerOK = value;
}

bool SensorManager::isSensorManagerOK()
{
    wxCriticalSectionLocker guard(flagLock);
    return sensorManagerOK;
}

void SensorManager::setThreadRun(bool value)
{
    wxCriticalSectionLocker guard(stateLock);
    threadRun = value;
    notifier.Post();
}

bool SensorManager::getThreadRun()
{
    wxCriticalSectionLocker guard(stateLock);
    return threadRun;
}

bool SensorManager::isThreadRunning()
{
    wxCriticalSectionLocker guard(stateLock);
    return threadRunning;
}

void SensorManager::setThreadActive(bool value)
{
    wxCriticalSectionLocker guard(stateLock);
    threadActive = value;
}

bool SensorManager::getThreadActive()
{
    wxCriticalSectionLocker guard(stateLock);
    return threadActive;
}

bool SensorManager::isRunning() const
{
    return running;
}

bool SensorManager::isConnected(int)
{
    return getQCANDeviceCount() > 0;
}

bool SensorManager::isCuaConnected()
{
    return getQCANDeviceCount() > 0;
}

bool SensorManager::isAPIConnected()
{
    for (int i = 0; i < getQCANDeviceCount(); ++i) {
        const QCANDeviceRef device = holdQCANDeviceByIndex(i);
        if (device && device->getQCANDevStatus() == QCAN_STATUS_CONNECTED)
            return true;
    }
    return false;
}

unsigned long long SensorManager::getTickCount()
{
    return Clock::wallMs();
}

void SensorManager::updateMainThreadTick()
{
    wxCriticalSectionLocker guard(stateLock);
    mainThreadLastTick = getTickCount();
}

unsigned long long SensorManager::getMainThreadLastTick()
{
    wxCriticalSectionLocker guard(stateLock);
    return mainThreadLastTick;
}

void SensorManager::updateLastConnectTick()
{
    wxCriticalSectionLocker guard(stateLock);
    lastConnectTick = getTickCount();
}

unsigned long long SensorManager::getLastConnectTick()
{
    wxCriticalSectionLocker guard(stateLock);
    return lastConnectTick;
}

void SensorManager::setExportDataPath(const wxString& path, int)
{
    wxCriticalSectionLocker guard(stateLock);
    exportDataPath = path;
}

wxString SensorManager::getExportDataPath(int) const
{
    return exportDataPath;
}

wxSemaphore* SensorManager::getNotifier()
{
    return &notifier;
}

wxSemaError SensorManager::wait(unsigned long ms)
{
    return notifier.WaitTimeout(ms);
}

wxSemaError SensorManager::notify()
{
    return notifier.Post();
}

void SensorManager::showNativeDiagnostics(wxWindow*)
{
    new QCANMonitor(nullptr, -1, wxDefaultPosition, wxDefaultSize);  // shows itself, lives until closed
}

void SensorManager::diagnosticsClosed() {}

// --- adapter table -------------------------------------------------------------------------------

int SensorManager::popNextCUAID()
{
    wxCriticalSectionLocker guard(tableLock);
    ++lastCuaId;
    while (lastCuaId > 0 && QCANDeviceExists(lastCuaId))
        ++lastCuaId;
    return lastCuaId;
}

int SensorManager::getFirstDevId()
{
    wxCriticalSectionLocker guard(tableLock);
    return devices.empty() || !devices.front() ? -1 : devices.front()->getCuaId();
}

bool SensorManager::QCANDeviceExists(int cuaId)
{
    return getQCANDeviceByID(cuaId) != nullptr;
}

QCANDevice* SensorManager::getQCANDeviceByID(int cuaId)
{
    if (cuaId < 1)
        return nullptr;
    wxCriticalSectionLocker guard(tableLock);
    QCANDevice* found = nullptr;
    for (const QCANDeviceRef& device : devices)
        if (device && device->getCuaId() == cuaId)
            found = device.get();  // the last one with the id
    return found;
}

QCANDevice* SensorManager::getQCANDeviceByIndex(int index)
{
    return holdQCANDeviceByIndex(index).get();
}

QCANDeviceRef SensorManager::holdQCANDeviceByID(int cuaId)
{
    if (cuaId < 1)
        return nullptr;
    wxCriticalSectionLocker guard(tableLock);
    QCANDeviceRef found;
    for (const QCANDeviceRef& device : devices)
        if (device && device->getCuaId() == cuaId)
            found = device;  // the last one with the id
    return found;
}

QCANDeviceRef SensorManager::holdQCANDeviceByIndex(int index)
{
    wxCriticalSectionLocker guard(tableLock);
    if (index < 0 || index >= static_cast<int>(devices.size()))
        return nullptr;
    return devices[index];
}

QCANDevice* SensorManager::getQCANDeviceByName(const wxString& name)
{
    wxCriticalSectionLocker guard(tableLock);
    for (const QCANDeviceRef& device : devices)
        if (device && device->getDevName() == name)
            return device.get();
    return nullptr;
}

int SensorManager::getQCANDeviceCount()
{
    wxCriticalSectionLocker guard(tableLock);
    return static_cast<int>(devices.size());
}

std::vector<QCANDevice*>* SensorManager::getConnectedQCANDevices()
{
    return &devicePointers;
}

void SensorManager::addQCANDevice(QCANDevice* device)
{
    if (!device)
        return;
    wxCriticalSectionLocker guard(tableLock);
    QLOG_INFO("addQCANDevice") << "SensorManager: Add QCANDevice ID" << device->getCuaId() << " = "
                               << device->getDevName();
    devices.push_back(QCANDeviceRef(device));
    devicePointers.push_back(device);
}

bool SensorManager::removeQCANDevice(int cuaId)
{
    QCANDeviceRef device;
    {
        wxCriticalSectionLocker guard(tableLock);
        for (auto it = devices.begin(); it != devices.end(); ++it) {
            if (*it && (*it)->getCuaId() == cuaId) {
                device = *it;
                QLOG_INFO("removeQCANDevice") << "SensorManager: Remove QCANDevice ID" << cuaId << " = "
                                              << device->getDevName();
                devicePointers.erase(devicePointers.begin() + (it - devices.begin()));
                devices.erase(it);
                break;
            }
        }
    }
    if (!device)
        return false;
    // Closed outside the table lock: closing waits for the threads of the library, whose callbacks may
    // send through the manager. Closed here, not by whichever holder lets go last, so that no
    // library thread can be that holder and wait for itself.
    if (device->IsConnected())
        device->Disconnect(QCAN_DISCONNECT_NOW);
    device->disconnectHandle();
    return true;  // the object goes when the last host call that holds it returns
}

bool SensorManager::removeQCANDevice(QCANDevice* device)
{
    return device ? removeQCANDevice(device->getCuaId()) : false;
}

QCANConnStatus SensorManager::getDeviceStatus(int cuaId)
{
    const QCANDeviceRef device = holdQCANDeviceByID(cuaId);
    return device ? device->getQCANDevStatus() : QCAN_STATUS_ERROR;
}

bool SensorManager::getDeviceInfo(int cuaId, QCANDeviceInfo* info)
{
    const QCANDeviceRef device = info ? holdQCANDeviceByID(cuaId) : nullptr;
    return device ? device->getDeviceInfo(*info) : false;
}

QCANReceived SensorManager::getReceived(int cuaId)
{
    const QCANDeviceRef device = holdQCANDeviceByID(cuaId);
    return device ? device->GetReceived() : emptyReceived;
}

int SensorManager::GetDeviceReceived(int cuaId, int* total, int* parsed, int* overflow, int* r1, int* r2, int* r3,
                                     int* r4)
{
    const QCANDeviceRef device = holdQCANDeviceByID(cuaId);
    return device ? device->GetReceivedValues(total, parsed, overflow, r1, r2, r3, r4) : 0;
}

int SensorManager::GetDeviceCanStats(int cuaId, _TCANStats* stats, bool throttle)
{
    const QCANDeviceRef device = stats ? holdQCANDeviceByID(cuaId) : nullptr;
    return device ? device->GetCanStats(stats, throttle) : -1;
}

int SensorManager::GetDeviceRXBufferCount(int cuaId)
{
    const QCANDeviceRef device = holdQCANDeviceByID(cuaId);
    return device ? device->getRxBufferCount() : -1;
}

int SensorManager::GetDeviceTXBufferCount(int cuaId)
{
    const QCANDeviceRef device = holdQCANDeviceByID(cuaId);
    return device ? device->getTxBufferCount() : -1;
}

int SensorManager::GetDeviceErrorCount(int cuaId)
{
    const QCANDeviceRef device = holdQCANDeviceByID(cuaId);
    return device ? static_cast<int>(device->getErrorCount()) : -1;
}

ECANBaud SensorManager::GetDeviceBaudRate(int cuaId)
{
    const QCANDeviceRef device = holdQCANDeviceByID(cuaId);
    return device ? device->GetBaudrate(false) : CAN_BAUD_NONE;
}

int SensorManager::GetDeviceBaudRateInt(int cuaId)
{
    const QCANDeviceRef device = holdQCANDeviceByID(cuaId);
    return device ? device->getBaudrateAsInt() : -1;
}

wxString SensorManager::getDeviceEventLog(int cuaId, int index)
{
    const QCANDeviceRef device = holdQCANDeviceByID(cuaId);
    if (!device)
        return wxT("Invalid device");
    if (index != -1)
        return device->getDeviceLog(static_cast<unsigned int>(index));
    wxString all;
    for (int i = 16; i >= 0; --i)
        all += device->getDeviceLog(static_cast<unsigned int>(i)) + wxT("\n");
    return all;
}

void SensorManager::setBusPower(int cuaId, bool on)
{
    const QCANDeviceRef device = holdQCANDeviceByID(cuaId);
    if (!device) {
        QLOG_ERROR("setBusPower") << "No device";
        return;
    }
    device->SetBusPowerSwitch(on ? 1 : 0, false);
}

bool SensorManager::getBusPower(int cuaId)
{
    const QCANDeviceRef device = holdQCANDeviceByID(cuaId);
    if (!device) {
        QLOG_ERROR("getBusPower") << "No device";
        return false;
    }
    return device->GetBusPowerSwitch(false) == 1;
}

void SensorManager::setTermination(int cuaId, bool on)
{
    const QCANDeviceRef device = holdQCANDeviceByID(cuaId);
    if (!device) {
        QLOG_ERROR("setTermination") << "No device";
        return;
    }
    device->SetTermination(on, false);
}

bool SensorManager::getTermination(int cuaId)
{
    const QCANDeviceRef device = holdQCANDeviceByID(cuaId);
    if (!device) {
        QLOG_ERROR("getTermination") << "No device";
        return false;
    }
    return device->GetTermination(false);
}

// --- connecting ----------------------------------------------------------------------------------

int SensorManager::connect(const wxString& name, int cuaId)
{
    // A thread on its way out removes every adapter in the table, a new one included: let it end
    // first. It needs the table lock for that, so this wait comes before the lock.
    if (isThreadRunning() && !getThreadRun() && !waitThreadEnd(CONNECT_WAIT_MS)) {
        QLOG_ERROR("connect") << "SensorManager: connect refused, the manager thread is still stopping: " << name;
        return -1;
    }
    bool refused;
    {
        wxCriticalSectionLocker guard(tableLock);
        if (name.IsEmpty() || cuaId < 1 || QCANDeviceExists(cuaId)) {
            // Written narrow: standard output is shared with the host, and one stream cannot mix
            // wide and narrow writes.
            printf("SensorManager: abort connect %s", static_cast<const char*>(name.utf8_str()));
            fflush(stdout);
            return -1;
        }
        if (!isSensorManagerOK()) {
            // Once the manager has ended, no thread would ever serve the adapter.
            QLOG_ERROR("connect") << "SensorManager: connect refused after shutdown " << name;
            printf("SensorManager: abort connect %s", static_cast<const char*>(name.utf8_str()));
            fflush(stdout);
            return -1;
        }
        QCANDevice* device = new QCANDevice(cuaId, name);
        device->setReconn(true);
        // Described before it enters the table: host threads read the description without a lock.
        if (adapterCache) {
            for (int i = 0; i < adapterCache->getSize(); ++i) {
                const CUADeviceInfoItem item = adapterCache->getDeviceInfo(i);
                if (item.name == name)
                    device->setDescription(item.description);
            }
        }
        setSensorManagerEnabled(true);
        running = true;
        addQCANDevice(device);
        notifier.Post();
        if (!isEnabled()) {
            printf("SensorManager: QCANDevice %d created but not connected. Enable SensorManager to connect devices",
                   cuaId);
            fflush(stdout);
        }
    }
    // Started after the table lock: starting may join an ended thread, and the thread lock never
    // comes inside the table lock. A disconnect of all adapters that came in between leaves a
    // stopping thread, which would take this adapter with it and leave nothing running.
    refused = !startThread();
    if (refused) {
        // Taken out after the table lock: a host call may hold the adapter, and its last holder
        // closes it.
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
    wxCriticalSectionLocker guard(tableLock);
    if (!isEnabled())
        return new DeviceList();
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
    DeviceList* result = new DeviceList();
    if (!adapterCache) {
        QLOG_ERROR("createQCANDeviceList") << "NULL device cache";
        return result;
    }
    for (int i = 0; i < adapterCache->getSize(); ++i) {
        const CUADeviceInfoItem item = adapterCache->getDeviceInfo(i);
        if (!nameIsInTable(item.name))
            result->insert(item);
    }
    return result;
}

bool SensorManager::nameIsInTable(const wxString& name)
{
    wxCriticalSectionLocker guard(tableLock);
    for (const QCANDeviceRef& device : devices)
        if (device && device->getDevName() == name)
            return true;
    return false;
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

// --- sensors ---------------------------------------------------------------------------------------

int SensorManager::resolveCuaId(int cuaId)
{
    return cuaId < 1 ? getFirstDevId() : cuaId;
}

Sensor* SensorManager::findSensor(unsigned char sensorId, SensorDeviceType type, int cuaId, bool lock,
                                  QCANDeviceRef& holder)
{
    if (cuaId > 0) {
        holder = holdQCANDeviceByID(cuaId);
        return holder ? holder->getSensor(sensorId, type, lock) : nullptr;
    }
    for (int i = 0; i < getQCANDeviceCount(); ++i) {
        holder = holdQCANDeviceByIndex(i);
        if (!holder)
            continue;
        if (Sensor* s = holder->getSensor(sensorId, type, lock))
            return s;
    }
    holder.reset();
    return nullptr;
}

Sensor* SensorManager::getSensor(unsigned char sensorId, SensorDeviceType type, int cuaId, bool lock)
{
    QCANDeviceRef holder;
    return findSensor(sensorId, type, cuaId, lock, holder);
}

Sensor* SensorManager::getSensor(unsigned short sensorId, bool lock, int cuaId)
{
    if (cuaId > 0) {
        const QCANDeviceRef device = holdQCANDeviceByID(cuaId);
        return device ? device->getSensor(sensorId, lock) : nullptr;
    }
    for (int i = 0; i < getQCANDeviceCount(); ++i) {
        const QCANDeviceRef device = holdQCANDeviceByIndex(i);
        if (!device)
            continue;
        if (Sensor* s = device->getSensor(sensorId, lock))
            return s;
    }
    return nullptr;
}

bool SensorManager::withLiveSensor(unsigned char sensorId, SensorDeviceType type, int cuaId,
                                   const std::function<void(Sensor&)>& fn)
{
    QCANDeviceRef holder;
    Sensor* s = findSensor(sensorId, type, cuaId, true, holder);
    if (!s)
        return false;
    fn(*s);
    s->UnlockSensor();
    return true;
}

template <class T>
T SensorManager::getTypedSensor(unsigned char sensorId, SensorDeviceType type, int cuaId, bool markActive)
{
    // The host gets a copy taken under the lock of the sensor, never the live object; the adapter is
    // held until the copy is made. The table is looked at before the sensor is locked: its lock is
    // never taken inside the lock of a sensor.
    const bool noAdapters = getQCANDeviceCount() == 0;
    QCANDeviceRef holder;
    Sensor* s = findSensor(sensorId, type, cuaId, true, holder);
    if (!s)
        return T(this, cuaId, sensorId);
    if (markActive)
        s->setActive();
    T* typed = dynamic_cast<T*>(s);
    if (!typed || noAdapters) {
        s->getLock()->Unlock();
        return T(this, cuaId, sensorId);
    }
    T copy(*typed);
    s->getLock()->Unlock();
    return copy;
}

TiltSensorG1 SensorManager::getTiltSensorG1(unsigned char sensorId, int cuaId)
{
    return getTypedSensor<TiltSensorG1>(sensorId, SDT_G1, cuaId, true);
}

RayGauge SensorManager::getRayGauge(unsigned char sensorId, int cuaId)
{
    return getTypedSensor<RayGauge>(sensorId, SDT_RAY_GAUGE, cuaId, true);
}

KM7 SensorManager::getKM7(unsigned char sensorId, int cuaId)
{
    return getTypedSensor<KM7>(sensorId, SDT_KM7, cuaId, true);
}

MDS2000IO SensorManager::getMDS2000(unsigned char sensorId, int cuaId)
{
    return getTypedSensor<MDS2000IO>(sensorId, SDT_CONTROLLER, cuaId, true);
}

SlopeSensor SensorManager::getSlopeSensor(unsigned char sensorId, int cuaId)
{
    return getTypedSensor<SlopeSensor>(sensorId, SDT_SLOPE, cuaId, true);
}

DSM500Sensor SensorManager::getDSM500Sensor(unsigned char sensorId, int cuaId)
{
    return getTypedSensor<DSM500Sensor>(sensorId, SDT_DSM500_PAIR, cuaId, true);
}

DSM500SensorComponent SensorManager::getDSM500SensorComponent(unsigned char sensorId, int cuaId)
{
    return getTypedSensor<DSM500SensorComponent>(sensorId, SDT_DSM500_UNIT, cuaId, true);
}

MobaDrillDepthSensor SensorManager::getMobaDrillDepthSensor(unsigned char sensorId, int cuaId)
{
    return getTypedSensor<MobaDrillDepthSensor>(sensorId, SDT_DEPTH, cuaId, true);
}

BoomHeadingSensor SensorManager::getBoomHeadingSensor(unsigned char sensorId, int cuaId)
{
    return getTypedSensor<BoomHeadingSensor>(sensorId, SDT_HEADING, cuaId, true);
}

RotationSensor SensorManager::getRotationSensor(unsigned char sensorId, int cuaId)
{
    return getTypedSensor<RotationSensor>(sensorId, SDT_ROTATION, cuaId, true);
}

SteelwristSlopeSensor SensorManager::getSteeelwristSlopeSensor(unsigned char sensorId, int cuaId)
{
    return getTypedSensor<SteelwristSlopeSensor>(sensorId, SDT_STEELWRIST_SLOPE, cuaId, true);
}

SteelwristRotationSensor SensorManager::getSteelwristRotationSensor(unsigned char sensorId, int cuaId)
{
    return getTypedSensor<SteelwristRotationSensor>(sensorId, SDT_STEELWRIST_BLADE, cuaId, true);
}

SteelwristJoystickSensor SensorManager::getSteelwristJoystickSensor(unsigned char sensorId, int cuaId)
{
    return getTypedSensor<SteelwristJoystickSensor>(sensorId, SDT_JOYSTICK, cuaId, true);
}

EngconTiltrotatorSensor SensorManager::getEngconTiltrotatorSensor(unsigned char sensorId, int cuaId)
{
    return getTypedSensor<EngconTiltrotatorSensor>(sensorId, SDT_UPROP, cuaId, true);
}

CANopenEncoderSensor SensorManager::getCANopenEncoderSensor(unsigned char sensorId, int cuaId)
{
    return getTypedSensor<CANopenEncoderSensor>(sensorId, SDT_CANOPEN_ENCODER, cuaId, true);
}

RototiltSensor SensorManager::getRototiltSensor(unsigned char sensorId, int cuaId)
{
    return getTypedSensor<RototiltSensor>(sensorId, SDT_ROTOTILT, cuaId, true);
}

SandvikTIMSensor SensorManager::getSandvikTIMSensor(unsigned char sensorId, int cuaId)
{
    return getTypedSensor<SandvikTIMSensor>(sensorId, SDT_SANDVIK_TIM, cuaId, true);
}

GenericPositionSensor SensorManager::getGenericPositionSensor(unsigned char sensorId, int cuaId)
{
    return getTypedSensor<GenericPositionSensor>(sensorId, SDT_CAN_GNSS, cuaId, true);
}

MobaCommProtocol SensorManager::getMobaCommProtocol(unsigned char sensorId, int cuaId)
{
    return getTypedSensor<MobaCommProtocol>(sensorId, SDT_MOBA_PROTOCOL, cuaId, true);
}

SimulatorClientSensor SensorManager::getSimulatorClientSensor(unsigned char sensorId, int cuaId)
{
    return getTypedSensor<SimulatorClientSensor>(sensorId, SDT_SIMULATOR_CLIENT, cuaId, true);
}

NMEA2KHeadingSensor SensorManager::getNMEA2KHeadingSensor(unsigned char sensorId, int cuaId)
{
    return getTypedSensor<NMEA2KHeadingSensor>(sensorId, SDT_NMEA2K_HEADING, cuaId, true);
}

NMEA2KPositionSensor SensorManager::getNMEA2KPositionSensor(unsigned char sensorId, int cuaId)
{
    return getTypedSensor<NMEA2KPositionSensor>(sensorId, SDT_NMEA2K_POSITION, cuaId, true);
}

DT500Sensor SensorManager::getDT500Sensor(unsigned char sensorId, int cuaId)
{
    // Reading a distance does not make the sensor active.
    return getTypedSensor<DT500Sensor>(sensorId, SDT_DT500, cuaId, false);
}

Sensor SensorManager::getAnySensor(unsigned char sensorId, SensorDeviceType type, int cuaId)
{
    const bool noAdapters = getQCANDeviceCount() == 0;
    QCANDeviceRef holder;
    Sensor* s = findSensor(sensorId, type, cuaId, true, holder);
    if (!s)
        return Sensor(this, cuaId, sensorId, 0);
    s->setActive();
    if (noAdapters) {
        s->UnlockSensor();
        return Sensor(this, cuaId, sensorId, 0);
    }
    Sensor copy(*s);
    s->getLock()->Unlock();
    return copy;
}

void SensorManager::addSensor(Sensor* sensor, int cuaId)
{
    const QCANDeviceRef device = holdQCANDeviceByID(resolveCuaId(cuaId));
    if (device)
        device->addSensor(sensor);
}

void SensorManager::removeSensors(int cuaId)
{
    const QCANDeviceRef device = holdQCANDeviceByID(resolveCuaId(cuaId));
    if (device)
        device->removeSensors();
}

int SensorManager::getSensorCount(int cuaId)
{
    if (getQCANDeviceCount() == 0)
        return 0;
    if (cuaId > 0) {
        const QCANDeviceRef device = holdQCANDeviceByID(cuaId);
        return device ? device->getSensorCount() : 0;
    }
    int total = 0;
    for (int i = 0; i < getQCANDeviceCount(); ++i)
        if (const QCANDeviceRef device = holdQCANDeviceByIndex(i))
            total += device->getSensorCount();
    return total;
}

int SensorManager::getActiveSensorCount(unsigned int window, int cuaId)
{
    if (getQCANDeviceCount() == 0)
        return 0;
    if (cuaId > 0) {
        const QCANDeviceRef device = holdQCANDeviceByID(cuaId);
        return device ? device->getActiveSensorCount(window) : 0;
    }
    int total = 0;
    for (int i = 0; i < getQCANDeviceCount(); ++i)
        if (const QCANDeviceRef device = holdQCANDeviceByIndex(i))
            total += device->getActiveSensorCount(window);
    return total;
}

int SensorManager::getSensorsCount(int cuaId)
{
    const QCANDeviceRef device = holdQCANDeviceByID(resolveCuaId(cuaId));
    if (!device)
        return 0;
    device->lock();
    const int n = static_cast<int>(device->getSensorInfoCache().size());
    device->unlock();
    return n;
}

namespace {
void appendSensorInfos(QCANDevice* device, bool onlyHeard, std::vector<SensorInfo*>& out)
{
    device->lock();
    for (Sensor* s : device->GetSensors()) {
        s->LockSensor();
        if (!onlyHeard || s->getLastMessageTime() != 0) {
            SensorInfo* info = new SensorInfo;
            info->sensorId = s->getSensorId();
            info->deviceType = s->getDeviceType();
            info->cuaId = static_cast<uint8_t>(device->getCuaId());
            info->lastMessageTime = s->getLastMessageTime();
            info->errorCount = s->GetErrorCount();
            out.push_back(info);
        }
        s->UnlockSensor();
    }
    device->unlock();
}
}  // namespace

std::vector<SensorInfo*> SensorManager::getSensorsInfo(int cuaId)
{
    std::vector<SensorInfo*> result;
    if (cuaId > 0) {
        if (const QCANDeviceRef device = holdQCANDeviceByID(cuaId))
            appendSensorInfos(device.get(), false, result);
        return result;
    }
    for (int i = 0; i < getQCANDeviceCount(); ++i)
        if (const QCANDeviceRef device = holdQCANDeviceByIndex(i))
            appendSensorInfos(device.get(), true, result);
    return result;
}

void SensorManager::deleteSensorsInfo(std::vector<SensorInfo*>& infos)
{
    for (SensorInfo* info : infos)
        delete info;
    infos.clear();
}

bool SensorManager::getSensorInfo(int cuaId, int index, _SensorInfo* info)
{
    const int id = resolveCuaId(cuaId);
    const QCANDeviceRef device = info ? holdQCANDeviceByID(id) : nullptr;
    if (!device)
        return false;
    try {
        device->lock();
        std::vector<_SensorInfo*>& cache = device->getSensorInfoCache();
        bool found = index >= 0 && index < static_cast<int>(cache.size()) && cache[index];
        if (found) {
            const _SensorInfo* cached = cache.at(static_cast<size_t>(index));
            info->sensorId = cached->sensorId;
            info->deviceType = cached->deviceType;
            info->cuaId = static_cast<uint8_t>(id);
            info->lastMessageTime = cached->lastMessageTime;
            info->errorCount = cached->errorCount;
        }
        device->unlock();
        return found;
    } catch (const std::exception& e) {
        device->unlock();
        QLOG_ERROR("getSensorInfo") << "Exception in SensorManager::getSensorInfo(CUAID = " << cuaId
                                    << ", index = " << index << ", *info = " << static_cast<void*>(info) << " -> "
                                    << e.what() << ".";
        return false;
    }
}

wxString SensorManager::ToXML(unsigned char sensorId, int indent, int cuaId)
{
    if (getQCANDeviceCount() == 0)
        return wxString();
    if (cuaId > 0) {
        const QCANDeviceRef device = holdQCANDeviceByID(cuaId);
        return device ? device->ToXML(sensorId, indent) : wxString();
    }
    wxString xml;
    for (int i = 0; i < getQCANDeviceCount(); ++i)
        if (const QCANDeviceRef device = holdQCANDeviceByIndex(i))
            xml += device->ToXML(sensorId, indent);
    return xml;
}

wxString SensorManager::getStatus(int cuaId)
{
    const unsigned long long now = getTickCount();
    {
        // Host threads ask concurrently; the cached text is shared between them.
        wxCriticalSectionLocker guard(stateLock);
        if (now < statusCacheTime + 1000)
            return statusCacheText;
    }
    const int count = getQCANDeviceCount();
    if (count == 0)
        return wxGetTranslation(wxT("[SENSOR_STATUS] CAN adapter is not connected"));
    int position = 0;
    int id = cuaId;
    if (cuaId <= 0) {
        // Several adapters take turns in the text, seven seconds each.
        position = static_cast<int>(static_cast<unsigned int>(now / 7000) % static_cast<unsigned int>(count));
        const QCANDeviceRef shown = holdQCANDeviceByIndex(position);
        id = shown ? shown->getCuaId() : -1;
    }
    wxString text;
    const QCANDeviceRef device = holdQCANDeviceByID(id);
    if (!device) {
        text += wxString::Format(wxT("%s %d"), wxGetTranslation(wxT("[SENSOR_STATUS] No CAN adapter on id:")), cuaId);
        QLOG_WARN("getStatus") << text;
    } else {
        const wxString adapterText = wxGetTranslation(wxT("[SENSOR_STATUS] CAN adapter"));
        if (count >= 2)
            text += wxString::Format(wxT("%s %d / %d\n"), adapterText, position + 1, count);
        text += wxString::Format(wxT("%s: %s (%d)\n"), adapterText, device->getDevName(), device->getCuaId());
        text += wxString::Format(wxT("%s: %s, %s,\n%s, %dk,\n"), wxGetTranslation(wxT("[SENSOR_STATUS] Adapter status")),
                                 device->getStatusString(), device->getCANBusStateString(),
                                 device->getCANModeString(), device->getBaudrateAsInt());
        text += device->GetBusPowerSwitch(false) != 0 ? wxGetTranslation(wxT("[SENSOR_STATUS] CAN power ON"))
                                                      : wxGetTranslation(wxT("[SENSOR_STATUS] CAN power OFF"));
        text += wxT("\n");
        device->lock();
        if (device->hasSensorInfoCache()) {
            const std::vector<_SensorInfo*>& cache = device->getSensorInfoCache();
            int ok = 0;
            for (const _SensorInfo* info : cache)
                if (info && info->sensorOk)
                    ++ok;
            text += wxString::Format(wxT("%s: %d/%d\n"), wxGetTranslation(wxT("[SENSOR_STATUS] Sensors total/ok")),
                                     static_cast<int>(cache.size()), ok);
            device->unlock();
        } else {
            device->unlock();
            text += wxGetTranslation(wxT("[SENSOR_STATUS] Cannot get sensor status"));
            text += wxT("\n");
            QLOG_WARN("getStatus") << text;
        }
    }
    wxCriticalSectionLocker guard(stateLock);
    statusCacheText = text;
    statusCacheTime = getTickCount();
    return text;
}

// --- sending ---------------------------------------------------------------------------------------

int SensorManager::sendGenCanMsg(int cuaId, _TGENERIC_CAN_FRAME* frame, bool queued)
{
    const QCANDeviceRef device = holdQCANDeviceByID(resolveCuaId(cuaId));
    return device ? device->SendCanMessage(frame, queued) : 0;
}

int SensorManager::sendCanMsg(int cuaId, _TQUIL1G5_CAN_FRAME* frame, bool queued)
{
    if (!frame)
        return -1;
    std::unique_ptr<_TGENERIC_CAN_FRAME> generic(quilFrame2Generic_copy(*frame));
    return sendGenCanMsg(cuaId, generic.get(), queued);
}

// --- frame parsers ---------------------------------------------------------------------------------

void SensorManager::processParserString(int cuaId, const wxString& text)
{
    const QCANDeviceRef device = holdQCANDeviceByID(cuaId);
    if (!device)
        return;
    device->deleteAllParsers();
    device->deleteAllExternalParsers();
    // No escape character: a keyword list has no use for one.
    const wxArrayString tokens = wxSplit(text, wxT('|'), wxT('\0'));
    for (const wxString& token : tokens) {
        if (token.IsSameAs(wxT("quil"), false))
            device->addParser(parseQuillardSensorMsg, this);
        if (token.IsSameAs(wxT("moba"), false))
            device->addParser(parseMobaSensorMsg, this);
        if (token.IsSameAs(wxT("steelwrist"), false))
            device->addParser(parseSteelwristSensorMsg, this);
        if (token.IsSameAs(wxT("gnss"), false))
            device->addParser(parseNMEA2KSensorMsg, this);
        if (token.IsSameAs(wxT("ext"), false))
            device->addExternalParser(processExtCallback, this);
    }
}

int SensorManager::addExternalParser(int cuaId, QCANParserFunction parser, void* context)
{
    const QCANDeviceRef device = holdQCANDeviceByID(cuaId);
    return device ? static_cast<int>(device->addExternalParser(parser, context)) : -1;
}

bool SensorManager::deleteExternalParserById(int cuaId, unsigned int id)
{
    const QCANDeviceRef device = holdQCANDeviceByID(cuaId);
    if (!device)
        return false;
    device->deleteExternalParserById(id);
    return true;
}

void SensorManager::setExternalParsersToQCANDevice(QCANDevice* device)
{
    if (device)
        device->addExternalParser(processExtCallback, nullptr);
}

void SensorManager::registerParser(const wxString& name, RegisteredFrameHandler handler)
{
    wxCriticalSectionLocker guard(fifoLock);
    registeredParsers[name] = handler;
}

void SensorManager::unregisterParser(const wxString& name)
{
    wxCriticalSectionLocker calls(handlerCallLock);
    wxCriticalSectionLocker guard(fifoLock);
    registeredParsers.erase(name);
}

void SensorManager::clearParsers()
{
    wxCriticalSectionLocker calls(handlerCallLock);
    wxCriticalSectionLocker guard(fifoLock);
    registeredParsers.clear();
}

bool SensorManager::useExternalParsers()
{
    wxCriticalSectionLocker guard(fifoLock);
    return !registeredParsers.empty();
}

PARSE_RESULT processExtCallback(void* frame, void*, void*)
{
    SensorManager::getInstance()->pushToRxBuffer(static_cast<RxCANFrameT*>(frame));
    return PARSE_RESULT_OK;
}

// --- shared receive ring and the manager thread ----------------------------------------------------

void SensorManager::pushToRxBuffer(RxCANFrameT* frame)
{
    if (!rxFifo) {
        QLOG_ERROR("pushToRxBuffer") << "RXBuffer is NULL";
        return;
    }
    if (frame && RxDataBufferInsertFrame(frame))
        notifier.Post();
    else
        QLOG_ERROR("pushToRxBuffer") << "Failed to push RxCANFrameT to buffer";
}

bool SensorManager::RxDataBufferInsertFrame(RxCANFrameT* frame)
{
    wxCriticalSectionLocker guard(fifoLock);
    if (!rxFifo) {
        QLOG_ERROR("RxDataBufferInsertFrame") << "RXBuffer is NULL";
        return false;
    }
    if (!frame) {
        QLOG_ERROR("RxDataBufferInsertFrame") << "RxDataBuffer error";
        return false;
    }
    if (((rxFifoWrite + 1) & (RX_FIFO_SLOTS - 1)) == rxFifoRead) {
        QLOG_ERROR("RxDataBufferInsertFrame") << "RxDataBuffer Full";
        return false;
    }
    RxCANFrameT& slot = rxFifo[rxFifoWrite];
    slot = *frame;
    slot.createAllowed = true;
    slot.time = getTickCount();
    ++rxFifoCount;
    rxFifoWrite = (rxFifoWrite + 1) & (RX_FIFO_SLOTS - 1);
    return true;
}

bool SensorManager::RxDataBufferReadAndDeleteNext(RxCANFrameT* out)
{
    wxCriticalSectionLocker guard(fifoLock);
    if (!out || !rxFifo || rxFifoRead == rxFifoWrite)
        return false;
    *out = rxFifo[rxFifoRead];
    rxFifoRead = (rxFifoRead + 1) & (RX_FIFO_SLOTS - 1);
    --rxFifoCount;
    return true;
}

bool SensorManager::RxDataBufferFull()
{
    wxCriticalSectionLocker guard(fifoLock);
    if (!rxFifo) {
        QLOG_ERROR("RxDataBufferFull") << "RXBuffer is NULL";
        return false;
    }
    return ((rxFifoWrite + 1) & (RX_FIFO_SLOTS - 1)) == rxFifoRead;
}

bool SensorManager::RxDataBufferIsEmpty()
{
    wxCriticalSectionLocker guard(fifoLock);
    if (!rxFifo) {
        QLOG_ERROR("RxDataBufferIsEmpty") << "RXBuffer is NULL";
        return true;
    }
    return rxFifoRead == rxFifoWrite;
}

bool SensorManager::processRxBuffer()
{
    // The handlers run outside fifoLock: the receive path of an adapter takes fifoLock inside their
    // receive lock, and a handler may well read the counters of an adapter or change its parsers.
    // handlerCallLock keeps a handler from being called after its unregistering returned.
    wxCriticalSectionLocker calls(handlerCallLock);
    RxCANFrameT frame;
    std::vector<RegisteredFrameHandler> handlers;
    {
        wxCriticalSectionLocker guard(fifoLock);
        if (!rxFifo || rxFifoRead == rxFifoWrite)
            return false;
        if (!RxDataBufferReadAndDeleteNext(&frame)) {
            QLOG_ERROR("processRxBuffer") << "QCAN RXBuffer read error";
            return false;
        }
        for (auto& entry : registeredParsers)
            if (entry.second)
                handlers.push_back(entry.second);
    }
    bool result = false;
    for (RegisteredFrameHandler handler : handlers)
        result = handler(&frame, nullptr);
    return result;
}

void SensorManager::setMaxReceivedFiFoSize(unsigned int size, int)
{
    wxCriticalSectionLocker guard(fifoLock);
    maxReceivedFifoSize = size;
}

void SensorManager::clearReceivedMessagesFifo()
{
    wxCriticalSectionLocker guard(fifoLock);
    rxFifoRead = 0;
    rxFifoWrite = 0;
    rxFifoCount = 0;
}

void SensorManager::startCUAThread()
{
    startThread();
}

bool SensorManager::startThread()
{
    std::lock_guard<std::mutex> starting(threadLock);
    {
        wxCriticalSectionLocker guard(stateLock);
        if (threadRunning)
            return threadRun;  // looping, or winding down and about to remove every adapter
    }
    joinEndedThread();
    SensorManagerThread* created = new SensorManagerThread();
    if (created->Create(SensorManagerThread::STACK_SIZE) != wxTHREAD_NO_ERROR) {
        {
            wxCriticalSectionLocker guard(stateLock);
            threadRun = false;
            notifier.Post();
            threadRunning = false;
        }
        QLOG_ERROR("startCUAThread") << "SensorManager Cannot start thread";
        delete created;  // never ran: a joinable thread object that was not started is deleted
        return false;
    }
    {
        wxCriticalSectionLocker guard(stateLock);
        threadRun = true;
        notifier.Post();
        // Marked running before Run: the thread may end before Run returns.
        threadRunning = true;
    }
    if (created->Run() != wxTHREAD_NO_ERROR) {
        wxCriticalSectionLocker guard(stateLock);
        threadRunning = false;
        threadRun = false;
        delete created;
        return false;
    }
    thread = created;
    return true;
}

void SensorManager::joinEndedThread()
{
    // Called with threadLock held, once threadRunning is false: the thread has done its last act
    // and is only returning. Joining it makes its end, the clean-up of the thread by wxWidgets
    // included, happen before whatever the caller does next.
    if (!thread || wxThread::This() == thread)
        return;
    thread->Wait();
    delete thread;
    thread = nullptr;
}

bool SensorManager::waitThreadEnd(unsigned long timeoutMs)
{
    {
        std::unique_lock<std::mutex> lock(threadEndMutex);
        threadEnded.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !isThreadRunning(); });
    }
    if (isThreadRunning())
        return false;
    std::lock_guard<std::mutex> joining(threadLock);
    joinEndedThread();
    return true;
}

void SensorManager::stopCUAThread(unsigned int waitMs)
{
    {
        wxCriticalSectionLocker guard(stateLock);
        if (!threadRunning)
            return;
        threadRun = false;
        notifier.Post();
    }
    notifier.Post();
    if (waitMs != 0)
        waitForManagerThreadTermination(waitMs);
}

bool SensorManager::waitForManagerThreadTermination(unsigned long timeoutMs)
{
    if (timeoutMs == 0) {
        QLOG_INFO("waitForManagerThreadTermination")
            << "No wait time, notify and leave SensorManager thread to stop in background";
        notifier.Post();
        return true;
    }
    unsigned long elapsed = 0;
    do {
        if (!isThreadRunning()) {
            waitThreadEnd(0);  // joins it
            QLOG_INFO("waitForManagerThreadTermination") << "Thread stopped";
            return true;
        }
        notifier.Post();
        QLOG_INFO("waitForManagerThreadTermination") << "Wait for thread to stop";
        // Real time, in steps: this waits for a real thread, not for the clock of the plug-in. The
        // end of the thread wakes the wait at once.
        {
            std::unique_lock<std::mutex> lock(threadEndMutex);
            threadEnded.wait_for(lock, std::chrono::milliseconds(50), [this] { return !isThreadRunning(); });
        }
        elapsed += 50;
    } while (timeoutMs > elapsed);
    QLOG_INFO("waitForManagerThreadTermination") << "Thread stop wait timeout";
    return false;
}

void SensorManager::managerThreadDisconnected()
{
    setThreadActive(false);
    QLOG_INFO("managerThreadDisconnected") << "SensorManager Thread stopped";
    for (;;) {
        const QCANDeviceRef first = holdQCANDeviceByIndex(0);
        if (!first)
            break;
        removeQCANDevice(first->getCuaId());
    }
    {
        wxCriticalSectionLocker guard(stateLock);
        threadRunning = false;
    }
    // The last act of the thread: whoever waits for its end may now join it.
    std::lock_guard<std::mutex> lock(threadEndMutex);
    threadEnded.notify_all();
}

void SensorManager::disconnect(unsigned long waitMs, int cuaId)
{
    try {
        if (getQCANDeviceCount() == 0 || !isSensorManagerEnabled() || !getThreadRun())
            return;
        auto stopAdapter = [](QCANDevice* device) {
            device->SetTermination(false, true);
            device->SetBusPowerSwitch(0, true);
            device->setReconn(false);
            device->Disconnect(QCAN_DISCONNECT_LATER);
        };
        if (cuaId > 0) {
            const QCANDeviceRef device = holdQCANDeviceByID(cuaId);
            if (!device)
                return;
            const QCANConnStatus s = device->getQCANDevStatus();
            if (s == QCAN_STATUS_DISCONNECTING || s == QCAN_STATUS_DISCONNECTED)
                return;
            QLOG_INFO("disconnect") << "SensorManager::Disconnect Device id" << cuaId;
            stopAdapter(device.get());
            return;
        }
        setSensorManagerEnabled(false);
        running = false;
        const int count = getQCANDeviceCount();
        for (int i = 0; i < count; ++i)
            if (const QCANDeviceRef device = holdQCANDeviceByIndex(i))
                stopAdapter(device.get());
        setThreadRun(false);
        // A thread that is on its way out of its loop is no longer active but still removing its
        // adapters; only a thread that is not running at all is not waited for.
        if (!getThreadActive() && !isThreadRunning()) {
            wxCriticalSectionLocker guard(stateLock);
            threadRun = false;
            return;
        }
        if (waitMs == 0)
            return;
        if (!waitForManagerThreadTermination(waitMs))
            QLOG_WARN("disconnect") << "SensorManager called all devices to stop, but thread didn't stop before timeout";
    } catch (const std::exception& e) {
        QLOG_ERROR("disconnect") << "SensorManager::Disconnect(" << cuaId << " ) ( :" << e.what();
    }
}

// --- frame views ---------------------------------------------------------------------------------

namespace {

void fillQuil(_TQUIL1G5_CAN_FRAME_HEADER& out, const _TGENERIC_CAN_FRAME_HEADER& in)
{
    const uint32_t id = in.id;
    const uint8_t rtr = in.rtr;
    const uint16_t dlc = in.dlc;
    out.devType = static_cast<uint8_t>((id >> 8) & 0x7F);
    out.devNumber = static_cast<uint8_t>(id & 0x7F);
    out.msg = static_cast<uint8_t>((id >> 21) & 0xFF);
    out.cmd = static_cast<uint8_t>((id >> 18) & 7);
    out.err = static_cast<uint8_t>((id >> 7) & 1);
    out.rtr = rtr;
    out.dlc = dlc;
}

void fillGeneric(_TGENERIC_CAN_FRAME_HEADER& out, const _TQUIL1G5_CAN_FRAME_HEADER& in)
{
    // Fields are added as stored, not masked; only the lowest bit of err counts.
    const uint32_t id = static_cast<uint32_t>(in.msg) * (1u << 21) + static_cast<uint32_t>(in.cmd) * (1u << 18) +
                        static_cast<uint32_t>(in.devType) * (1u << 8) + in.devNumber + 128u * (in.err & 1u);
    const uint8_t rtr = in.rtr;
    const uint16_t dlc = in.dlc;
    out.id = id;
    out.ext = 1;
    out.rtr = rtr;
    out.dlc = dlc;
}

}  // namespace

_TQUIL1G5_CAN_FRAME_HEADER* SensorManager::genericHeader2Quil_copy(const _TGENERIC_CAN_FRAME_HEADER& header)
{
    _TQUIL1G5_CAN_FRAME_HEADER* out = new _TQUIL1G5_CAN_FRAME_HEADER;
    fillQuil(*out, header);
    return out;
}

_TQUIL1G5_CAN_FRAME* SensorManager::genericFrame2Quil_copy(const _TGENERIC_CAN_FRAME& frame)
{
    _TQUIL1G5_CAN_FRAME* out = new _TQUIL1G5_CAN_FRAME;
    fillQuil(out->header, frame.header);
    std::memcpy(out->data, frame.data, 8);
    return out;
}

_TGENERIC_CAN_FRAME_HEADER* SensorManager::quilHeader2Generic_copy(const _TQUIL1G5_CAN_FRAME_HEADER& header)
{
    _TGENERIC_CAN_FRAME_HEADER* out = new _TGENERIC_CAN_FRAME_HEADER;
    fillGeneric(*out, header);
    return out;
}

_TGENERIC_CAN_FRAME* SensorManager::quilFrame2Generic_copy(const _TQUIL1G5_CAN_FRAME& frame)
{
    _TGENERIC_CAN_FRAME* out = new _TGENERIC_CAN_FRAME;
    fillGeneric(out->header, frame.header);
    std::memcpy(out->data, frame.data, 8);
    return out;
}

_TQUIL1G5_CAN_FRAME_HEADER* SensorManager::GenMsgHdr2Quil_InPlace(_TGENERIC_CAN_FRAME_HEADER* header)
{
    _TGENERIC_CAN_FRAME_HEADER in = *header;
    _TQUIL1G5_CAN_FRAME_HEADER* out = reinterpret_cast<_TQUIL1G5_CAN_FRAME_HEADER*>(header);
    fillQuil(*out, in);
    return out;
}

_TGENERIC_CAN_FRAME_HEADER* SensorManager::QuilMsgHdr2Gen_InPlace(_TQUIL1G5_CAN_FRAME_HEADER* header)
{
    _TQUIL1G5_CAN_FRAME_HEADER in = *header;
    _TGENERIC_CAN_FRAME_HEADER* out = reinterpret_cast<_TGENERIC_CAN_FRAME_HEADER*>(header);
    fillGeneric(*out, in);
    return out;
}

_TQUIL1G5_CAN_FRAME* SensorManager::GenMsg2Quil_InPlace(_TGENERIC_CAN_FRAME* frame)
{
    GenMsgHdr2Quil_InPlace(&frame->header);
    return reinterpret_cast<_TQUIL1G5_CAN_FRAME*>(frame);
}

_TGENERIC_CAN_FRAME* SensorManager::QuilMsg2Gen_InPlace(_TQUIL1G5_CAN_FRAME* frame)
{
    QuilMsgHdr2Gen_InPlace(&frame->header);
    return reinterpret_cast<_TGENERIC_CAN_FRAME*>(frame);
}

bool SensorManager::checkJ1939Header(unsigned int id, int pf, int ps, int sa)
{
    if (pf != -1 && static_cast<int>((id >> 16) & 0xFF) != pf)
        return false;
    if (ps != -1 && static_cast<int>((id >> 8) & 0xFF) != ps)
        return false;
    if (sa != -1 && static_cast<int>(id & 0xFF) != sa)
        return false;
    return true;
}

}  // namespace Sensors
