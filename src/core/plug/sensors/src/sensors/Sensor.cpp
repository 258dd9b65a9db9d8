#include "Sensor.h"

#include <utility>

#include <wx/intl.h>

#include "SensorManager.h"
#include "WispEasyWrapper.h"

namespace Sensors {

Sensor::Sensor() : Sensor(nullptr, 0, 255, 0) {}

Sensor::Sensor(SensorManager* manager_, int cuaId_, unsigned char sensorId_, unsigned char deviceType_)
    : cuaId(cuaId_),
      sensorId(sensorId_),
      deviceType(deviceType_),
      lastMessageTime(0),
      manager(manager_),
      lock(nullptr),
      active(false),
      sensorOk(false),
      messageCount(0),
      handledCount(0),
      skippedCount(0),
      unknownCount(0),
      errorTimeoutTime(0),
      lastErrorTime(0),
      errorCount(0)
{
}

Sensor::Sensor(const Sensor& o)
    : cuaId(o.cuaId),
      sensorId(o.sensorId),
      deviceType(o.deviceType),
      lastMessageTime(o.lastMessageTime),
      manager(o.manager),
      lock(nullptr),
      active(o.active),
      sensorOk(o.sensorOk),
      statusText(o.statusText),
      messageCount(o.messageCount),
      handledCount(o.handledCount),
      skippedCount(o.skippedCount),
      unknownCount(o.unknownCount),
      errorTimeoutTime(o.errorTimeoutTime),
      lastErrorTime(o.lastErrorTime),
      errorCount(o.errorCount)
{
}

Sensor::Sensor(Sensor&& other) noexcept : Sensor()
{
    swap(other);
}

Sensor& Sensor::operator=(Sensor other)
{
    swap(other);
    return *this;
}

void Sensor::swap(Sensor& o) noexcept
{
    std::swap(cuaId, o.cuaId);
    std::swap(sensorId, o.sensorId);
    std::swap(deviceType, o.deviceType);
    std::swap(lastMessageTime, o.lastMessageTime);
    std::swap(manager, o.manager);
    std::swap(lock, o.lock);
    std::swap(active, o.active);
    std::swap(sensorOk, o.sensorOk);
    statusText.swap(o.statusText);
    std::swap(messageCount, o.messageCount);
    std::swap(handledCount, o.handledCount);
    std::swap(skippedCount, o.skippedCount);
    std::swap(unknownCount, o.unknownCount);
    std::swap(errorTimeoutTime, o.errorTimeoutTime);
    std::swap(lastErrorTime, o.lastErrorTime);
    std::swap(errorCount, o.errorCount);
}

Sensor* Sensor::Clone()
{
    return new Sensor(*this);
}

Sensor::~Sensor()
{
    delete lock;
}

void Sensor::Clean() {}

wxString Sensor::ToXML(int) const
{
    return wxString::Format(wxT("<sensor device=\"%i\" id=\"%i\" />\n"), cuaId, static_cast<int>(sensorId));
}

wxString Sensor::getStatus()
{
    wxString typeText;
    getSensorTypeString(static_cast<SensorDeviceType>(deviceType), typeText);
    wxString result = wxString::Format(wxT("%i: %s"), static_cast<int>(sensorId), typeText);
    if (sensorOk)
        return result;
    if (messageCount == 0)
        statusText = wxGetTranslation(wxT("[SENSOR_STATUS] Not detected"));
    if (!statusText.IsEmpty())
        result += wxString::Format(wxT(", %s"), statusText);
    result += wxString::Format(wxT(", %s: %i"), wxGetTranslation(wxT("[SENSOR_STATUS] Errors")),
                               static_cast<int>(errorCount));
    return result;
}

bool Sensor::isErrorTimeExceeded(const unsigned long long& now)
{
    const unsigned long long last = getLastMessageTime();
    if (last == 0 || now <= last)
        return false;
    return now - last > errorTimeoutTime;
}

int Sensor::sendMessage(_TQUIL1G5_CAN_FRAME& frame, bool queued)
{
    if (sensorId == 0) {
        QLOG_ERROR("sendMessage") << "Sensor ID is 0";
        return -1;
    }
    if (!isSensorOk())
        QLOG_WARN("sendMessage") << "Sensor is not ok (" << static_cast<int>(sensorId) << ")";
    if (!manager)
        return -1;
    return manager->sendCanMsg(cuaId, &frame, queued);
}

int Sensor::sendMessage(_TGENERIC_CAN_FRAME& frame, bool queued)
{
    if (sensorId == 0) {
        QLOG_ERROR("sendMessage") << "Sensor ID is 0";
        return -1;
    }
    if (!isSensorOk())
        QLOG_WARN("sendMessage") << "Sensor is not ok (" << static_cast<int>(sensorId) << ")";
    if (!manager)
        return -1;
    return manager->sendGenCanMsg(cuaId, &frame, queued);
}

unsigned long long Sensor::getLastMessageTime() const
{
    return lastMessageTime;
}

unsigned int Sensor::getElapsedTimeFromLastMessage() const
{
    if (lastMessageTime == 0)
        return 0;
    return static_cast<unsigned int>(SensorManager::getTickCount() - lastMessageTime);
}

bool Sensor::isActive() const
{
    return active;
}

bool Sensor::isSensorOk() const
{
    return sensorOk;
}

bool Sensor::Parse(_TQUIL1G5_CAN_FRAME*, const unsigned long long& time)
{
    acceptFrame(time);
    return true;
}

bool Sensor::Parse(_TGENERIC_CAN_FRAME*, const unsigned long long& time)
{
    acceptFrame(time);
    return true;
}

bool Sensor::parseAsGeneric(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time)
{
    if (!frame)
        return false;
    _TQUIL1G5_CAN_FRAME copy = *frame;
    return Parse(SensorManager::QuilMsg2Gen_InPlace(&copy), time);
}

bool Sensor::parseAsMaker(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time)
{
    if (!frame)
        return false;
    _TGENERIC_CAN_FRAME copy = *frame;
    return Parse(SensorManager::GenMsg2Quil_InPlace(&copy), time);
}

void Sensor::acceptFrame(unsigned long long time)
{
    ++messageCount;
    sensorOk = true;
    lastMessageTime = time;
}

void Sensor::Update(const unsigned long long&, const unsigned long long& now)
{
    if (errorTimeoutTime == 0) {
        if (messageCount > 0) {
            statusText.clear();
            sensorOk = true;
        } else {
            statusText = wxGetTranslation(wxT("[SENSOR_STATUS] Not detected"));
            sensorOk = false;
        }
        return;
    }
    if (now <= lastMessageTime || now - lastMessageTime <= errorTimeoutTime) {
        statusText.clear();
        sensorOk = true;
        return;
    }
    sensorOk = false;
    if (lastErrorTime != lastMessageTime) {
        // A new silence: clear the readings and count it once, however many passes see it.
        Clean();
        ++errorCount;
        lastErrorTime = lastMessageTime;
    }
    statusText = wxGetTranslation(wxT("[SENSOR_STATUS] Timeout"));
}

void Sensor::setLastMessageTime(unsigned long long time)
{
    lastMessageTime = time;
}

void Sensor::setActive()
{
    active = true;
}

wxMutex* Sensor::getLock()
{
    // Made lazily without a guard: the first lock request comes from the creating thread before
    // any other thread can see the sensor.
    if (!lock)
        lock = new wxMutex(wxMUTEX_DEFAULT);
    return lock;
}

void Sensor::LockSensor()
{
    getLock()->Lock();
}

void Sensor::UnlockSensor()
{
    getLock()->Unlock();
}

bool Sensor::IsCorrectSensor(const int& cuaId_, const _TQUIL1G5_CAN_FRAME& frame) const
{
    return cuaId_ == cuaId && frame.header.devNumber == sensorId && frame.header.devType == deviceType;
}

bool Sensor::IsCorrectSensor(const int& cuaId_, const unsigned char& sensorId_, const unsigned char& deviceType_) const
{
    return cuaId_ == cuaId && sensorId_ == sensorId && deviceType_ == deviceType;
}

void Sensor::SetErrorTimeoutTime(unsigned long long ms)
{
    errorTimeoutTime = ms;
}

unsigned long long Sensor::GetErrorTimeoutTime() const
{
    return errorTimeoutTime;
}

unsigned int Sensor::GetErrorCount() const
{
    return errorCount;
}

bool Sensor::getSensorTypeString(SensorDeviceType type, wxString& out)
{
    switch (type) {
    case SDT_SIMULATOR_CLIENT: out = wxT("Simulator client"); return true;
    case SDT_CAN_GNSS: out = wxT("CAN GNSS"); return true;
    case SDT_DSM500_UNIT: out = wxT("DSM500 Unit"); return true;
    case SDT_G1: out = wxT("G1"); return true;
    case SDT_DT500: out = wxT("DT500"); return true;
    case SDT_RAY_GAUGE: out = wxT("Ray gauge"); return true;
    case SDT_KM7: out = wxT("KM7"); return true;
    case SDT_LASERMAST: out = wxT("Lasermast"); return true;
    case SDT_MOBA_PROTOCOL: out = wxT("Moba CAN Communication protocol instance"); return true;
    case SDT_QUILLARD_SPARE: out = wxT("Quillard spare sensor"); return true;
    case SDT_HMI: out = wxT("HMI"); return true;
    case SDT_CONTROLLER: out = wxT("Controller"); return true;
    case SDT_SLOPE: out = wxT("Slope"); return true;
    case SDT_DSM500_PAIR: out = wxT("DSM500 Pair"); return true;
    case SDT_LASER: out = wxGetTranslation(wxT("[SENSOR_TYPE] Laser")); return true;
    case SDT_DEPTH: out = wxGetTranslation(wxT("[SENSOR_TYPE] Depth")); return true;
    case SDT_HEADING: out = wxGetTranslation(wxT("[SENSOR_TYPE] Heading")); return true;
    case SDT_ROTATION: out = wxGetTranslation(wxT("[SENSOR_TYPE] Rotation")); return true;
    case SDT_STEELWRIST_SLOPE: out = wxT("Steelwrist slope"); return true;
    case SDT_STEELWRIST_BLADE: out = wxT("Steelwrist blade"); return true;
    case SDT_JOYSTICK: out = wxGetTranslation(wxT("[SENSOR_TYPE] Joystick")); return true;
    case SDT_UPROP: out = wxT("uProp"); return true;
    case SDT_CANOPEN_ENCODER: out = wxT("CANopen encoder"); return true;
    case SDT_ROTOTILT: out = wxT("Rototilt"); return true;
    case SDT_SANDVIK_TIM: out = wxT("Sandvik TIM"); return true;
    case SDT_NMEA2K_HEADING: out = wxGetTranslation(wxT("[SENSOR_TYPE] Heading")); return true;
    case SDT_NMEA2K_POSITION: out = wxGetTranslation(wxT("[SENSOR_TYPE] Position")); return true;
    }
    out = wxGetTranslation(wxT("[SENSOR_STATUS] Unknown sensor"));
    return false;
}

bool Sensor::getSensorIDString(unsigned char id, wxString& out)
{
    const wchar_t* text = nullptr;
    switch (id) {
    case 5: text = L"Simulator client"; break;
    case 32: text = L"CANopen encoder"; break;
    case 46: text = L"Distance sensor"; break;
    case 90: text = L"MDS2000"; break;
    case 91: text = L"Moba protocol"; break;
    case 99: text = L"Compass"; break;
    case 101: text = L"Bucket sensor"; break;
    case 102: text = L"Stick sensor"; break;
    case 103: text = L"Main boom sensor"; break;
    case 105: text = L"Frame sensor"; break;
    case 106: text = L"Dual boom sensor"; break;
    case 107: text = L"Tilt bucket sensor"; break;
    case 111: text = L"Linkage sensor"; break;
    case 115: text = L"Tracks sensor"; break;
    case 116:
    case 120: text = L"Rail sensor"; break;
    case 117: text = L"Depth sensor"; break;
    case 118: text = L"Boom heading sensor"; break;
    case 119:
    case 150: text = L"Boom extension sensor"; break;
    case 121: text = L"Drifter sensor"; break;
    case 122: text = L"Boom head sensor"; break;
    case 123: text = L"Feed extension sensor"; break;
    case 130:
    case 131: text = L"Tiltrotator sensor"; break;
    case 140: text = L"Steelwrist"; break;
    case 200: text = L"Upper carriage rotation sensor"; break;
    case 201: text = L"Position sensor"; break;
    case 255: text = L"Inactive sensor"; break;
    default: break;
    }
    if (!text) {
        out = wxT("Unknown sensor");
        return false;
    }
    out = text;
    return true;
}

wxString getTranslatableSensorName(const wxString& name)
{
    static const struct {
        const wchar_t* name;
        const wchar_t* key;
    } table[] = {
        {L"Bucket", L"[SENSOR_NAME] Bucket sensor"},
        {L"Stick", L"[SENSOR_NAME] Stick sensor"},
        {L"Boom", L"[SENSOR_NAME] Main boom sensor"},
        {L"Boom2", L"[SENSOR_NAME] Dual boom sensor"},
        {L"Frame", L"[SENSOR_NAME] Frame sensor"},
        {L"TiltBucketSensor", L"[SENSOR_NAME] Tilt bucket sensor"},
        {L"KM7", L"[SENSOR_NAME] KM7"},
        {L"RayGauge", L"[SENSOR_NAME] Laser receiver"},
        {L"GNSSCompassSensor", L"[SENSOR_NAME] Generic heading sensor"},
        {L"NMEA2KHeadingSensor", L"[SENSOR_NAME] Generic heading sensor"},
        {L"SteelwristRotationSensor", L"[SENSOR_NAME] Steelwrist rotation sensor"},
    };
    for (const auto& entry : table)
        if (name == entry.name)
            return entry.key;
    return name;
}

wxString getTranslatedSensorName(const wxString& name)
{
    return wxGetTranslation(getTranslatableSensorName(name));
}

}  // namespace Sensors
