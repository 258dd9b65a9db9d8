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

WakeSemaphore* SensorManager::getNotifier()
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

}  // namespace Sensors
