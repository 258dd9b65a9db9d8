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

}  // namespace Sensors
