#include "QCANDevice.h"

#include <cstring>
#include <new>

#include <wx/datetime.h>

#include "CANTxLogger.h"
#include "CUADeviceInfoItem.h"
#include "Clock.h"
#include "DeviceList.h"
#include "FrameParsers.h"
#include "QCANDeviceInternal.h"
#include "Sensor.h"
#include "SensorManager.h"
#include "WispEasyWrapper.h"

namespace Sensors {

using QCANDeviceInternal::isStatus;

// --- sending -------------------------------------------------------------------------------------

bool QCANDevice::hasHandle()
{
    wxCriticalSectionLocker guard(handleLock);
    return adapterHandle != nullptr;
}

void QCANDevice::forgetHandle()
{
    wxCriticalSectionLocker guard(handleLock);
    adapterHandle = nullptr;
}

template <class F>
F QCANDevice::entry(QCANTableIndex index, void** handle)
{
    // Its own innermost lock, not the device lock: sends come from code that holds a sensor's
    // lock, and the device lock comes before a sensor's.
    wxCriticalSectionLocker guard(handleLock);
    *handle = adapterHandle;
    if (!adapterHandle)
        return nullptr;
    return reinterpret_cast<F>(functionTable[index]);
}

int QCANDevice::SendCanMessage(_TGENERIC_CAN_FRAME_HEADER* header, void* data, bool delayed)
{
    if (!IsConnected())
        return -4;
    if (!header || (!data && header->dlc > 0) || header->dlc > 8)
        return -1;
    if (!delayed) {
        void* handle = nullptr;
        QCANSend_t send = entry<QCANSend_t>(QCAN_ENTRY_SEND, &handle);
        wxCriticalSectionLocker guard(txLock);
        if (!send)
            return -4;
        uint8_t bytes[8] = {0};
        if (data)
            std::memcpy(bytes, data, header->dlc);
        const int result = send(handle, header, bytes, 0, 1000, 0, 0);
        if (txLoggerEnabled && txLogger)
            txLogger->addFrame(header, bytes);
        return result;
    }
    wxCriticalSectionLocker guard(txLock);
    if (txQueue.size() > TX_QUEUE_LIMIT - 1)
        return -2;
    _TGENERIC_CAN_FRAME* copy = new _TGENERIC_CAN_FRAME;
    std::memset(copy, 0, sizeof *copy);
    copy->header = *header;
    if (data)
        std::memcpy(copy->data, data, header->dlc);
    txQueue.push_back(copy);
    return 1;
}

int QCANDevice::SendCanMessage(_TGENERIC_CAN_FRAME* frame, bool delayed)
{
    if (!IsConnected())
        return -1;
    if (!IsConnected())
        return -4;
    if (!frame)
        return -1;
    return SendCanMessage(&frame->header, frame->data, delayed);
}

bool QCANDevice::processDelayedMessages()
{
    void* handle = nullptr;
    QCANSend_t send = entry<QCANSend_t>(QCAN_ENTRY_SEND, &handle);
    wxCriticalSectionLocker guard(txLock);
    if (txQueue.empty())
        return true;
    _TGENERIC_CAN_FRAME* frame = txQueue.front();
    txQueue.pop_front();
    if (IsConnected() && send) {
        send(handle, &frame->header, frame->data, 0, 1000, 0, 0);
        if (txLoggerEnabled && txLogger)
            txLogger->addFrame(&frame->header, frame->data);
    }
    delete frame;
    return true;
}

void QCANDevice::clearTxBuffer()
{
    wxCriticalSectionLocker guard(txLock);
    for (_TGENERIC_CAN_FRAME* f : txQueue)
        delete f;
    txQueue.clear();
}

int QCANDevice::getTxBufferCount()
{
    wxCriticalSectionLocker guard(txLock);
    return static_cast<int>(txQueue.size());
}

void QCANDevice::setTxLoggerEnabled(bool on)
{
    // The switch is on only while a logger exists. Under txLock, so that no send or pass uses a
    // logger being deleted.
    wxCriticalSectionLocker guard(txLock);
    if (!on) {
        delete txLogger;
        txLogger = nullptr;
    } else if (!txLogger) {
        txLogger = new CANTxLogger(devName);
    }
    txLoggerEnabled = on && txLogger != nullptr;
}

// --- settings and diagnostics --------------------------------------------------------------------

ECANBaud QCANDevice::readBaud()
{
    if (!isStatus(getQCANDevStatus(), QCAN_STATUS_CONNECTED, QCAN_STATUS_INITIALIZED))
        return CAN_BAUD_NONE;
    void* handle = nullptr;
    QCANGetBaud_t getBaud = entry<QCANGetBaud_t>(QCAN_ENTRY_GET_BAUD, &handle);
    return getBaud ? static_cast<ECANBaud>(getBaud(handle)) : CAN_BAUD_NONE;
}

void QCANDevice::SetBaudrate(ECANBaud baud)
{
    wxCriticalSectionLocker guard(deviceLock);
    configuredBaud = baud;
    configurationChanged = true;
}

void QCANDevice::applyBaudrate(ECANBaud wanted)
{
    wxCriticalSectionLocker guard(deviceLock);
    if (currentBaud == wanted)
        return;
    const QCANConnStatus s = getQCANDevStatus();
    if (!isStatus(s, QCAN_STATUS_CONNECTED, QCAN_STATUS_INITIALIZED)) {
        currentBaud = CAN_BAUD_NONE;
        return;
    }
    void* handle = nullptr;
    if (QCANGetBaud_t getBaud = entry<QCANGetBaud_t>(QCAN_ENTRY_GET_BAUD, &handle))
        currentBaud = static_cast<ECANBaud>(getBaud(handle));
    // An adapter that reports no valid rate is never given a new one.
    if (currentBaud == wanted || currentBaud == CAN_BAUD_NONE)
        return;
    ignoreTimeout = true;
    if (isStatus(getQCANDevStatus(), QCAN_STATUS_CONNECTED, QCAN_STATUS_CONNECTING))
        if (QCANSetBaud_t setBaud = entry<QCANSetBaud_t>(QCAN_ENTRY_SET_BAUD, &handle))
            setBaud(handle, wanted);
    currentBaud = readBaud();
    ignoreTimeout = false;
}

ECANBaud QCANDevice::GetBaudrate(bool ask)
{
    wxCriticalSectionLocker guard(deviceLock);
    if (!ask)
        return currentBaud;
    if (!isStatus(getQCANDevStatus(), QCAN_STATUS_CONNECTED, QCAN_STATUS_INITIALIZED))
        return CAN_BAUD_NONE;
    if (hasHandle())
        currentBaud = readBaud();
    return currentBaud;
}

int QCANDevice::getBaudrateAsInt()
{
    wxCriticalSectionLocker guard(deviceLock);
    return Sensors::getBaudrateAsInt(currentBaud);
}

int QCANDevice::getBaudrateAsInt(ECANBaud baud)
{
    return Sensors::getBaudrateAsInt(baud);
}

bool QCANDevice::SetTermination(bool on, bool apply)
{
    wxCriticalSectionLocker guard(deviceLock);
    configurationChanged = true;
    configuredTermination = on;
    void* handle = nullptr;
    if (apply)
        if (QCANSetTermination_t set = entry<QCANSetTermination_t>(QCAN_ENTRY_SET_TERMINATION, &handle))
            set(handle, on ? 1 : 0);
    return true;
}

bool QCANDevice::GetTermination(bool ask)
{
    wxCriticalSectionLocker guard(deviceLock);
    void* handle = nullptr;
    if (ask)
        if (QCANGetTermination_t get = entry<QCANGetTermination_t>(QCAN_ENTRY_GET_TERMINATION, &handle))
            reportedTermination = get(handle) != 0;
    return reportedTermination;
}

bool QCANDevice::SetBusPowerSwitch(unsigned int on, bool apply)
{
    wxCriticalSectionLocker guard(deviceLock);
    configuredBusPower = on != 0;
    void* handle = nullptr;
    QCANSetBusPower_t set = apply ? entry<QCANSetBusPower_t>(QCAN_ENTRY_SET_BUS_POWER, &handle) : nullptr;
    if (set)
        set(handle, configuredBusPower ? 1 : 0);
    else
        configurationChanged = true;
    return configuredBusPower;
}

unsigned int QCANDevice::GetBusPowerSwitch(bool ask)
{
    wxCriticalSectionLocker guard(deviceLock);
    if (!ask || !hasHandle())
        return configuredBusPower ? 1u : 0u;
    if (!isStatus(getQCANDevStatus(), QCAN_STATUS_CONNECTED, QCAN_STATUS_CONNECTING))
        return 0;
    if (!powerControlSupported)
        return static_cast<unsigned int>(-1);
    void* handle = nullptr;
    QCANGetBusPower_t get = entry<QCANGetBusPower_t>(QCAN_ENTRY_GET_BUS_POWER, &handle);
    if (!get)
        return configuredBusPower ? 1u : 0u;
    const int result = get(handle);
    if (result < 0) {
        powerControlSupported = false;
    } else {
        // Only the maker's adapters (and our dummies standing in for them) switch bus power.
        powerControlSupported = vendorName.Contains(wxT("Quillard")) || vendorName.Contains(wxT("Dummy"));
    }
    return result > 0 ? 1u : 0u;
}

ECANMode QCANDevice::SetMode(ECANMode mode)
{
    wxCriticalSectionLocker guard(deviceLock);
    ECANMode reported;
    {
        wxCriticalSectionLocker status(statusLock);
        reported = reportedMode;
    }
    if (configuredMode == mode && reported == mode)
        return mode;
    configuredMode = mode;
    if (isStatus(getQCANDevStatus(), QCAN_STATUS_CONNECTED, QCAN_STATUS_CONNECTING)) {
        ignoreTimeout = true;
        void* handle = nullptr;
        if (QCANSetMode_t set = entry<QCANSetMode_t>(QCAN_ENTRY_SET_MODE, &handle))
            set(handle, mode);
        // An adapter put to sleep stops its status reports and must not time out.
        if (mode != CAN_MODE_SLEEP)
            ignoreTimeout = false;
    }
    configurationChanged = true;
    return configuredMode;
}

ECANMode QCANDevice::GetMode()
{
    void* handle = nullptr;
    QCANGetMode_t get = entry<QCANGetMode_t>(QCAN_ENTRY_GET_MODE, &handle);
    return get ? static_cast<ECANMode>(get(handle)) : CAN_MODE_UNKNOWN;
}

wxString QCANDevice::getCANModeString()
{
    wxCriticalSectionLocker guard(statusLock);
    return translateCANModeString(reportedMode);
}

wxString QCANDevice::getCANBusStateString()
{
    wxCriticalSectionLocker guard(statusLock);
    return translateCANBusStateString(reportedBusState);
}

bool QCANDevice::getConfigurationChanged()
{
    wxCriticalSectionLocker guard(deviceLock);
    const bool changed = configurationChanged;
    configurationChanged = false;
    return changed;
}

void QCANDevice::setConfigurationChanged(bool changed)
{
    wxCriticalSectionLocker guard(deviceLock);
    configurationChanged = changed;
}

bool QCANDevice::verifyConnectionParameters()
{
    wxCriticalSectionLocker guard(deviceLock);
    void* handle = nullptr;
    applyBaudrate(configuredBaud);
    if (hasHandle() && isStatus(getQCANDevStatus(), QCAN_STATUS_CONNECTED, QCAN_STATUS_INITIALIZED))
        currentBaud = readBaud();
    SetTermination(configuredTermination, true);
    if (QCANGetTermination_t get = entry<QCANGetTermination_t>(QCAN_ENTRY_GET_TERMINATION, &handle))
        reportedTermination = get(handle) != 0;
    SetMode(configuredMode);
    SetBusPowerSwitch(configuredBusPower, true);
    GetBusPowerSwitch(true);
    if (isStatus(getQCANDevStatus(), QCAN_STATUS_CONNECTING, QCAN_STATUS_CONNECTED))
        if (QCANGetStats_t getStats = entry<QCANGetStats_t>(QCAN_ENTRY_GET_STATS, &handle))
            if (getStats(handle, &stats) > 0)
                lastStatsTime = GetTick();

    bool ok = true;
    if (powerControlSupported) {
        bool termination = reportedTermination;
        if (QCANGetTermination_t get = entry<QCANGetTermination_t>(QCAN_ENTRY_GET_TERMINATION, &handle))
            termination = get(handle) != 0;
        if (termination != configuredTermination) {
            QLOG_ERROR("verifyConnectionParameters") << "QCANDevice: Failed to set QCAN Device bus termination correctly";
            ok = false;
        }
        if (GetBusPowerSwitch(true) != (configuredBusPower ? 1u : 0u)) {
            QLOG_ERROR("verifyConnectionParameters") << "QCANDevice: Failed to set QCAN Device bus power correctly";
            ok = false;
        }
    }
    if (readBaud() != configuredBaud) {
        QLOG_ERROR("verifyConnectionParameters") << "QCANDevice: Failed to set QCAN Device bus baud correctly";
        if (GetMode() != configuredMode)
            QLOG_ERROR("verifyConnectionParameters") << "QCANDevice: Failed to set QCAN Device mode";
        return false;
    }
    if (GetMode() != configuredMode) {
        QLOG_ERROR("verifyConnectionParameters") << "QCANDevice: Failed to set QCAN Device mode";
        return false;
    }
    if (ok)
        configurationChanged = false;
    return ok;
}

int QCANDevice::GetCanStats(_TCANStats* out, bool throttle)
{
    wxCriticalSectionLocker guard(deviceLock);
    if (!isStatus(getQCANDevStatus(), QCAN_STATUS_CONNECTING, QCAN_STATUS_CONNECTED))
        return -1;
    if (throttle && GetTick() < lastStatsTime + 2000) {
        if (!out)
            return 0;
        *out = stats;
        return 1;
    }
    void* handle = nullptr;
    QCANGetStats_t getStats = entry<QCANGetStats_t>(QCAN_ENTRY_GET_STATS, &handle);
    if (getStats && getStats(handle, &stats) > 0) {
        lastStatsTime = GetTick();
        if (out)
            *out = stats;
        return 1;
    }
    return 0;
}

bool QCANDevice::getDeviceInfo(QCANDeviceInfo& info)
{
    wxCriticalSectionLocker guard(deviceLock);
    info.name = devName;
    info.description = description;
    info.vendor = vendorName;
    info.cuaId = cuaId;
    info.baud = currentBaud;
    wxCriticalSectionLocker status(statusLock);
    info.status = this->status;
    info.mode = reportedMode;
    info.busState = reportedBusState;
    return true;
}

wxString QCANDevice::getQCANBuildInfo()
{
    wxCriticalSectionLocker guard(deviceLock);
    if (!library || !library->isLoaded())
        return wxT("QCANAPI not loaded");
    char buffer[600];
    std::memset(buffer, 0, sizeof buffer);
    if (!library->GetBuildString)
        return wxString();
    if (library->GetBuildString(libraryContext, buffer, sizeof buffer) < 1) {
        QLOG_WARN("getQCANBuildInfo") << "Didn't get QCAN Build info string correctly";
        return wxString();
    }
    buffer[sizeof buffer - 1] = 0;
    return wxString::FromAscii(buffer);
}

void QCANDevice::setDefaultAPIFilter()
{
    void* handle = nullptr;
    QCANAddFilter_t addFilter = entry<QCANAddFilter_t>(QCAN_ENTRY_ADD_FILTER, &handle);
    if (!addFilter)
        return;
    unsigned short index;
    {
        wxCriticalSectionLocker guard(deviceLock);
        index = static_cast<unsigned short>(filterIndex++);
    }
    // Code and mask with their first 32 bits zero: every frame passes.
    const uint8_t code[8] = {0};
    const uint8_t mask[8] = {0};
    addFilter(handle, index, code, mask, 0, 1, 0);
}

void QCANDevice::deleteAPIFilters()
{
    wxCriticalSectionLocker guard(deviceLock);
    filterIndex = 0;
}

}  // namespace Sensors
