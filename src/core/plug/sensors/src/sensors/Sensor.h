#pragma once

// Base of every sensor: identity, its own lock, timeout supervision, the status line and the
// sending of frames through the manager. The host only ever receives copies of sensors.

#include <wx/string.h>
#include <wx/thread.h>

#include "CANFrameTypes.h"
#include "SensorTypes.h"

namespace Sensors {

class SensorManager;

class Sensor {
public:
    Sensor();
    Sensor(SensorManager* manager, int cuaId, unsigned char sensorId, unsigned char deviceType);
    Sensor(const Sensor& other);  // copies everything but the lock
    Sensor(Sensor&& other) noexcept;
    Sensor& operator=(Sensor other);  // exchanges all fields, the lock included

    virtual Sensor* Clone();
    virtual ~Sensor();
    virtual void Clean();
    virtual wxString ToXML(int indent) const;
    virtual wxString getStatus();
    virtual bool isErrorTimeExceeded(const unsigned long long& now);
    virtual int sendMessage(_TQUIL1G5_CAN_FRAME& frame, bool queued);
    virtual int sendMessage(_TGENERIC_CAN_FRAME& frame, bool queued);
    virtual unsigned long long getLastMessageTime() const;
    virtual unsigned int getElapsedTimeFromLastMessage() const;
    virtual bool isActive() const;
    virtual bool isSensorOk() const;
    virtual bool Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time);
    virtual bool Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time);
    virtual void Update(const unsigned long long& elapsed, const unsigned long long& now);
    virtual void setLastMessageTime(unsigned long long time);
    virtual void setActive();

    wxMutex* getLock();
    void LockSensor();
    void UnlockSensor();
    bool IsCorrectSensor(const int& cuaId, const _TQUIL1G5_CAN_FRAME& frame) const;
    bool IsCorrectSensor(const int& cuaId, const unsigned char& sensorId, const unsigned char& deviceType) const;
    void SetErrorTimeoutTime(unsigned long long ms);
    unsigned long long GetErrorTimeoutTime() const;
    unsigned int GetErrorCount() const;

    int getCuaId() const { return cuaId; }
    unsigned char getSensorId() const { return sensorId; }
    unsigned char getDeviceType() const { return deviceType; }
    int getMessageCount() const { return messageCount; }
    int getHandledCount() const { return handledCount; }
    int getSkippedCount() const { return skippedCount; }
    int getUnknownCount() const { return unknownCount; }
    const wxString& getStatusText() const { return statusText; }
    SensorManager* getManager() const { return manager; }
    // True only for the object an adapter keeps; copies handed to the host are never live, so an
    // operation that must reach the bus through the live sensor knows to look it up.
    bool isLive() const { return live; }
    void setLive() { live = true; }

    static bool getSensorTypeString(SensorDeviceType type, wxString& out);
    static bool getSensorIDString(unsigned char sensorId, wxString& out);

protected:
    // The bookkeeping of every accepted frame: counted, ok, and its time remembered.
    void acceptFrame(unsigned long long time);
    // For classes that decode one view only: the frame is read through the other view's Parse,
    // converted on the stack.
    bool parseAsGeneric(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time);
    bool parseAsMaker(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time);
    void swap(Sensor& other) noexcept;

    int cuaId;
    unsigned char sensorId;
    unsigned char deviceType;
    unsigned long long lastMessageTime;
    SensorManager* manager;
    wxMutex* lock;
    bool active;
    bool sensorOk;
    wxString statusText;
    int messageCount;
    int handledCount;
    int skippedCount;
    int unknownCount;
    unsigned long long errorTimeoutTime;
    unsigned long long lastErrorTime;
    unsigned int errorCount;
    bool live = false;  // stays with the object: neither copied nor exchanged
};

wxString getTranslatableSensorName(const wxString& name);
wxString getTranslatedSensorName(const wxString& name);

}  // namespace Sensors
