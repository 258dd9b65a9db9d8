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

// --- library callbacks ---------------------------------------------------------------------------

void QCAN_CALLCONV QCANDevice::QCANRxHandler(void*, unsigned short, const _TGENERIC_CAN_FRAME_HEADER* header,
                                             const unsigned char* data, void* device)
{
    if (device)
        static_cast<QCANDevice*>(device)->RxHandler(header, data);
}

void QCAN_CALLCONV QCANDevice::QCANNotifyHandler(void*, int mode, int busState, void* device)
{
    if (device)
        static_cast<QCANDevice*>(device)->NotifyHandler(mode, static_cast<ECANBusState>(busState));
}

void QCAN_CALLCONV QCANDevice::QCANTxHandler(void* device, void*, int value, unsigned short value2)
{
    if (device)
        static_cast<QCANDevice*>(device)->TxHandler(value, value2);
}

void QCANDevice::NotifyHandler(int mode, ECANBusState state)
{
    wxCriticalSectionLocker guard(statusLock);
    if (!isStatus(status, QCAN_STATUS_CONNECTING, QCAN_STATUS_CONNECTED))
        return;
    reportedMode = static_cast<ECANMode>(mode);
    reportedBusState = state;
    if (state != CAN_BUS_HW_FAILURE) {
        setQCANDevStatus(QCAN_STATUS_CONNECTED);
        statusSeen = true;
        statusUpdateTick = GetTick();
    } else if (ignoreTimeout) {
        statusUpdateTick = GetTick() + 2500;
    }
}

void QCANDevice::TxHandler(int, unsigned short)
{
    wxCriticalSectionLocker guard(statusLock);
}

void QCANDevice::RxHandler(const _TGENERIC_CAN_FRAME_HEADER* header, const void* data)
{
    if (!header || !data)
        return;
    if (getQCANDevStatus() != QCAN_STATUS_CONNECTED)
        return;
    RxCANFrameT frame;
    std::memcpy(&frame.frame.header, header, sizeof frame.frame.header);
    std::memcpy(frame.frame.data, data, sizeof frame.frame.data);
    frame.time = GetTick();
    frame.reserved = 0;
    frame.cuaId = cuaId;
    frame.createAllowed = false;

    wxCriticalSectionLocker guard(rxLock);
    if (rxCount == 0) {
        // The normal path: nothing waits, so the frame is parsed here without copy or wake-up.
        parseMsg(&frame);
    } else if (RxDataBufferInsertFrame(&frame)) {
        SensorManager::getInstance()->notify();
    } else {
        QLOG_WARN("RxHandler") << "QCANDevice RX Buffer full!";
        ++rxOverflow;
    }
    ++rxTotal;
}

// --- receive ring and parsing --------------------------------------------------------------------

bool QCANDevice::RxDataBufferInsertFrame(RxCANFrameT* frame)
{
    wxCriticalSectionLocker guard(rxLock);
    if (!rxBuffer) {
        QLOG_WARN("RxDataBufferInsertFrame") << "RXBuffer is NULL";
        return false;
    }
    if (!frame) {
        QLOG_ERROR("RxDataBufferInsertFrame") << "RxDataBuffer error";
        return false;
    }
    if (RxDataBufferFull()) {
        QLOG_WARN("RxDataBufferInsertFrame") << "RxDataBuffer Full";
        return false;
    }
    RxCANFrameT& slot = rxBuffer[rxWrite];
    slot = *frame;
    slot.createAllowed = true;
    slot.time = GetTick();
    ++rxCount;
    rxWrite = (rxWrite + 1) % RX_BUFFER_SLOTS;
    return true;
}

bool QCANDevice::RxDataBufferFull()
{
    wxCriticalSectionLocker guard(rxLock);
    return (rxWrite + 1) % RX_BUFFER_SLOTS == rxRead;
}

bool QCANDevice::RxDataBufferIsEmpty()
{
    wxCriticalSectionLocker guard(rxLock);
    return rxRead == rxWrite;
}

bool QCANDevice::RxDataBufferReadAndDeleteNext(RxCANFrameT* out)
{
    wxCriticalSectionLocker guard(rxLock);
    if (!out || !rxBuffer || rxRead == rxWrite)
        return false;
    *out = rxBuffer[rxRead];
    --rxCount;
    rxRead = (rxRead + 1) % RX_BUFFER_SLOTS;
    return true;
}

void QCANDevice::clearRxBuffer()
{
    wxCriticalSectionLocker guard(rxLock);
    rxRead = 0;
    rxWrite = 0;
    rxCount = 0;
}

int QCANDevice::getRxBufferCount()
{
    wxCriticalSectionLocker guard(rxLock);
    return static_cast<int>(rxCount);
}

void QCANDevice::pushToRxBuffer(RxCANFrameT* frame)
{
    if (!rxBuffer) {
        QLOG_WARN("pushToRxBuffer") << "RXBuffer is NULL";
        return;
    }
    if (frame && RxDataBufferInsertFrame(frame))
        SensorManager::getInstance()->notify();
    else
        QLOG_ERROR("pushToRxBuffer") << "Failed to push RxCANFrameT to buffer";
}

int QCANDevice::processRxBuffer()
{
    wxCriticalSectionLocker guard(rxLock);
    if (!rxBuffer) {
        QLOG_WARN("processRxBuffer") << "RXBuffer is NULL";
        return static_cast<int>(rxCount);
    }
    if (rxRead == rxWrite)
        return 0;
    RxCANFrameT frame;
    if (!RxDataBufferReadAndDeleteNext(&frame)) {
        QLOG_WARN("processRxBuffer") << "QCAN RXBuffer read error";
        return static_cast<int>(rxCount);
    }
    parseMsg(&frame);
    return static_cast<int>(rxCount);
}

void QCANDevice::parseMsg(RxCANFrameT* frame)
{
    // Runs under rxLock; the parser lists change only under rxLock as well.
    bool claimed = false;
    for (size_t i = 0; i < parsers.size(); ++i) {
        _QCANParserInfo* info = parsers[i];
        if (!info || !info->parser)
            continue;
        if (info->parser(frame, this, info->context) != PARSE_RESULT_ERROR) {
            claimed = true;
            ++rxParsed;
            break;
        }
    }
    if (!claimed && !frame->createAllowed) {
        // External parsers see the frame when it comes out of the ring.
        pushToRxBuffer(frame);
        return;
    }
    for (size_t i = 0; i < externalParsers.size(); ++i) {
        _QCANParserInfo* info = externalParsers[i];
        if (info && info->parser)
            info->parser(frame, this, info->context);
    }
}

unsigned int QCANDevice::addParser(QCANParserFunction parser, void* context)
{
    logDeviceEvent(wxT("Register custom message parser"));
    wxCriticalSectionLocker rx(rxLock);
    wxCriticalSectionLocker guard(deviceLock);
    const unsigned int id = parserIdCounter++;
    parsers.push_back(new _QCANParserInfo{id, parser, context});
    return id;
}

unsigned int QCANDevice::addExternalParser(QCANParserFunction parser, void* context)
{
    wxCriticalSectionLocker rx(rxLock);
    wxCriticalSectionLocker guard(deviceLock);
    const unsigned int id = externalParserIdCounter++;
    externalParsers.push_back(new _QCANParserInfo{id, parser, context});
    return id;
}

void QCANDevice::deleteExternalParserById(unsigned int id)
{
    wxCriticalSectionLocker rx(rxLock);
    wxCriticalSectionLocker guard(deviceLock);
    for (auto it = externalParsers.begin(); it != externalParsers.end();) {
        if ((*it)->id == id) {
            delete *it;
            it = externalParsers.erase(it);
        } else {
            ++it;
        }
    }
}

void QCANDevice::clearParserList(std::vector<_QCANParserInfo*>& list)
{
    for (_QCANParserInfo* info : list)
        delete info;
    list.clear();
}

void QCANDevice::deleteAllExternalParsers()
{
    wxCriticalSectionLocker rx(rxLock);
    wxCriticalSectionLocker guard(deviceLock);
    clearParserList(externalParsers);
}

size_t QCANDevice::getExternalParserCount()
{
    wxCriticalSectionLocker guard(deviceLock);
    return externalParsers.size();
}

void QCANDevice::deleteAllParsers()
{
    logDeviceEvent(wxT("Delete message parsers"));
    wxCriticalSectionLocker rx(rxLock);
    wxCriticalSectionLocker guard(deviceLock);
    clearParserList(parsers);
}

// --- sensors -------------------------------------------------------------------------------------

namespace {
Sensor* lockFound(Sensor* sensor, bool lock, const char* deadlockText)
{
    if (sensor && lock && sensor->getLock()->Lock() != wxMUTEX_NO_ERROR)
        QLOG_ERROR("getSensor") << deadlockText;
    return sensor;
}
}  // namespace

Sensor* QCANDevice::getSensor(unsigned short id, SensorDeviceType type, bool lockIt)
{
    if (!IsConnected())
        return nullptr;
    wxCriticalSectionLocker guard(deviceLock);
    const unsigned char id8 = static_cast<unsigned char>(id);
    const unsigned char type8 = static_cast<unsigned char>(type);
    for (Sensor* s : sensors)
        if (s && s->IsCorrectSensor(cuaId, id8, type8))
            return lockFound(s, lockIt, "SensorManager::getSensor - A deadlock situation was detected.");
    return nullptr;
}

Sensor* QCANDevice::getSensor(unsigned short index, bool lockIt)
{
    if (!IsConnected())
        return nullptr;
    wxCriticalSectionLocker guard(deviceLock);
    if (index >= sensors.size())
        return nullptr;
    return lockFound(sensors[index], lockIt, "SensorManager::getSensor - A deadlock situation was detected");
}

bool QCANDevice::addSensor(Sensor* sensor)
{
    if (!sensor || !IsConnected())
        return false;
    sensor->setLive();
    wxCriticalSectionLocker guard(deviceLock);
    sensors.push_back(sensor);
    return true;
}

std::vector<Sensor*>& QCANDevice::GetSensors()
{
    return sensors;
}

int QCANDevice::getSensorCount()
{
    if (!IsConnected())
        return 0;
    wxCriticalSectionLocker guard(deviceLock);
    return static_cast<int>(sensors.size());
}

int QCANDevice::getActiveSensorCount(unsigned int window)
{
    if (!IsConnected())
        return 0;
    wxCriticalSectionLocker guard(deviceLock);
    const unsigned long long now = GetTick();
    int n = 0;
    for (Sensor* s : sensors) {
        s->LockSensor();
        if (s->getLastMessageTime() + window > now)
            ++n;
        s->UnlockSensor();
    }
    return n;
}

void QCANDevice::clearSensorList()
{
    wxCriticalSectionLocker guard(deviceLock);
    for (Sensor* s : sensors) {
        // A host thread may be copying it: wait for its lock before the sensor goes.
        s->LockSensor();
        s->UnlockSensor();
        delete s;
    }
    sensors.clear();
}

bool QCANDevice::getRemoveSensorsFlag()
{
    wxCriticalSectionLocker guard(deviceLock);
    return removeSensorsFlag;
}

void QCANDevice::setRemoveSensorsFlag(bool flag)
{
    wxCriticalSectionLocker guard(deviceLock);
    removeSensorsFlag = flag;
}

void QCANDevice::removeSensors()
{
    setRemoveSensorsFlag(true);
}

void QCANDevice::updateSensors(unsigned long long now)
{
    const unsigned long long elapsed = GetTick() - lastUpdateTick;
    lastUpdateTick = now;
    // The device lock is held only while each sensor is found and locked, not across its Update:
    // an Update may send, and sending takes the manager's table lock, which must never come after
    // the device lock. Sensors are deleted only on this thread, so the walk by index stays valid;
    // a sensor added meanwhile is updated on the next pass.
    for (unsigned short i = 0;; ++i) {
        Sensor* s = getSensor(i, true);
        if (!s)
            break;
        s->Update(elapsed, now);
        s->UnlockSensor();
    }
}

void QCANDevice::rebuildSensorInfoCache()
{
    wxCriticalSectionLocker guard(deviceLock);
    const size_t n = IsConnected() ? sensors.size() : 0;
    for (_SensorInfo* info : sensorInfoCache)
        delete info;
    sensorInfoCache.clear();
    for (size_t i = 0; i < n; ++i) {
        Sensor* s = sensors[i];
        if (!s)
            continue;
        s->LockSensor();
        if (s->getLastMessageTime() != 0) {
            _SensorInfo* info = new _SensorInfo;
            info->sensorId = s->getSensorId();
            info->deviceType = s->getDeviceType();
            info->cuaId = static_cast<uint8_t>(cuaId);
            info->lastMessageTime = s->getLastMessageTime();
            info->errorCount = s->GetErrorCount();
            info->statusText = s->getStatus();
            info->sensorOk = s->isSensorOk();
            sensorInfoCache.push_back(info);
        }
        s->UnlockSensor();
    }
    lastCacheRebuild = GetTick();
    sensorInfoCacheBuilt = true;
}

std::vector<_SensorInfo*>& QCANDevice::getSensorInfoCache()
{
    wxCriticalSectionLocker guard(deviceLock);
    if (GetTick() > lastCacheRebuild + 40)
        rebuildSensorInfoCache();
    return sensorInfoCache;
}

void QCANDevice::clearSensorInfoCache()
{
    wxCriticalSectionLocker guard(deviceLock);
    for (_SensorInfo* info : sensorInfoCache)
        delete info;
    sensorInfoCache.clear();
    sensorInfoCacheBuilt = false;
}

bool QCANDevice::hasSensorInfoCache()
{
    wxCriticalSectionLocker guard(deviceLock);
    return sensorInfoCacheBuilt;
}

wxString QCANDevice::ToXML(unsigned short sensorId, int indent)
{
    wxString xml;
    wxCriticalSectionLocker guard(deviceLock);
    for (Sensor* s : sensors) {
        if (sensorId != 0 && s->getSensorId() != sensorId)
            continue;
        s->LockSensor();
        Sensor* copy = s->Clone();
        s->UnlockSensor();
        xml += copy->ToXML(indent);
        delete copy;
    }
    return xml;
}

bool QCANDevice::GetReceivedValues(int* total, int* parsed, int* overflow, int* r1, int* r2, int* r3, int* r4)
{
    const QCANReceived r = GetReceived();
    if (total) *total = r.rxTotal;
    if (parsed) *parsed = r.rxParsed;
    if (overflow) *overflow = r.rxOverflow;
    if (r1) *r1 = r.reserved1;
    if (r2) *r2 = r.reserved2;
    if (r3) *r3 = r.reserved3;
    if (r4) *r4 = r.reserved4;
    return true;
}

QCANReceived QCANDevice::GetReceived()
{
    // The counters are raised under rxLock, so they are read under it too.
    wxCriticalSectionLocker rx(rxLock);
    wxCriticalSectionLocker guard(statusLock);
    QCANReceived r;
    r.rxTotal = static_cast<int>(rxTotal);
    r.rxParsed = static_cast<int>(rxParsed);
    r.rxOverflow = static_cast<int>(rxOverflow);
    return r;
}

}  // namespace Sensors
