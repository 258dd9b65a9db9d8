#pragma once

// The host's single entry into the plug-in: one process-wide manager that owns the adapter table,
// the manager thread and the shared receive ring, and hands out copies of sensors.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include <wx/string.h>
#include <wx/thread.h>

#include "CANFrameTypes.h"
#include "QCANDeviceTypes.h"
#include "SensorTypes.h"
#include "WakeSemaphore.h"

class wxWindow;

namespace Sensors {

class QCANDevice;
class DeviceList;
class Sensor;
class TiltSensorG1;
class RayGauge;
class KM7;
class MDS2000IO;
class SlopeSensor;
class DSM500Sensor;
class DSM500SensorComponent;
class MobaDrillDepthSensor;
class BoomHeadingSensor;
class RotationSensor;
class SteelwristSlopeSensor;
class SteelwristRotationSensor;
class SteelwristJoystickSensor;
class EngconTiltrotatorSensor;
class CANopenEncoderSensor;
class RototiltSensor;
class SandvikTIMSensor;
class GenericPositionSensor;
class MobaCommProtocol;
class SimulatorClientSensor;
class NMEA2KHeadingSensor;
class NMEA2KPositionSensor;
class DT500Sensor;

// Which text of an adapter-list item findAndConnect compares, and how.
enum CUAMatchType { CUA_MATCH_NAME = 1, CUA_MATCH_VENDOR = 2, CUA_MATCH_DESCRIPTION = 3 };
enum CUANameMatch { CUA_NAME_STARTS_WITH = 1, CUA_NAME_CONTAINS = 2, CUA_NAME_EQUALS = 3 };

// A handler registered by name; receives a copy of a frame of the shared ring and a null context.
typedef bool (*RegisteredFrameHandler)(void* frame, void* context);

class SensorManagerThread;

// An adapter held for the length of a call: the table may drop the adapter meanwhile, but the
// object lives until the last holder lets go of it.
typedef std::shared_ptr<QCANDevice> QCANDeviceRef;

// Lock order, outermost first. A thread that holds one of these locks takes only locks further
// down the list, never one above it:
//   threadLock          starting and joining the manager thread; nothing else is held around it
//   handlerCallLock     named frame handlers run under it and may call anything below
//   adapterListLock     the cached adapter list; the enumeration lock is its only lock inside
//   QCANDevice::s_QCAN_Lock   the enumeration lock: held only around the library's listing and
//                       opening calls (whose threads may enter an adapter's receive path)
//   an adapter's rxLock, then its deviceLock
//   a sensor's lock     a host may hold it and send
//   tableLock, stateLock, flagLock, fifoLock and an adapter's txLock, handleLock, statusLock:
//                       held only to read or change their own fields. The table lock in
//                       particular is never held across a call into an adapter, the adapter
//                       library or the logger: the table keeps each adapter's id and name itself.
class SensorManager {
public:
    static SensorManager* getInstance();

    // --- flags and clock ---
    void setEnabled(bool enabled);
    bool isEnabled();
    void setSensorManagerEnabled(bool enabled);
    bool isSensorManagerEnabled();
    void setSensorManagerOK(bool ok);
    bool isSensorManagerOK();
    void setThreadRun(bool run);
    bool getThreadRun();
    bool isThreadRunning();
    void setThreadActive(bool active);
    bool getThreadActive();
    bool isRunning() const;
    bool isConnected(int cuaId = 0);
    bool isCuaConnected();
    bool isAPIConnected();
    static unsigned long long getTickCount();
    void updateMainThreadTick();
    unsigned long long getMainThreadLastTick();
    void updateLastConnectTick();
    unsigned long long getLastConnectTick();
    void setExportDataPath(const wxString& path, int unused = 0);
    wxString getExportDataPath(int unused = 0) const;
    WakeSemaphore* getNotifier();
    wxSemaError wait(unsigned long ms);
    wxSemaError notify();
    // Opens a diagnostics frame of its own (no parent); the argument is not used.
    void showNativeDiagnostics(wxWindow* window);
    void diagnosticsClosed();

    // --- adapter table ---
    int popNextCUAID();
    int getFirstDevId();
    bool QCANDeviceExists(int cuaId);
    // The plain pointers stay valid only while the adapter is in the table; code that may run
    // while the manager thread removes adapters holds them through the Ref forms instead.
    QCANDevice* getQCANDeviceByID(int cuaId);
    QCANDevice* getQCANDeviceByIndex(int index);
    QCANDeviceRef holdQCANDeviceByID(int cuaId);
    QCANDeviceRef holdQCANDeviceByIndex(int index);
    QCANDevice* getQCANDeviceByName(const wxString& name);
    int getQCANDeviceCount();
    std::vector<QCANDevice*>* getConnectedQCANDevices();
    // The table takes ownership of the adapter.
    void addQCANDevice(QCANDevice* device);
    bool removeQCANDevice(int cuaId);
    bool removeQCANDevice(QCANDevice* device);
    QCANConnStatus getDeviceStatus(int cuaId);
    bool getDeviceInfo(int cuaId, QCANDeviceInfo* info);
    QCANReceived getReceived(int cuaId);
    int GetDeviceReceived(int cuaId, int* total, int* parsed, int* overflow, int* r1, int* r2, int* r3, int* r4);
    int GetDeviceCanStats(int cuaId, _TCANStats* stats, bool throttle);
    int GetDeviceRXBufferCount(int cuaId);
    int GetDeviceTXBufferCount(int cuaId);
    int GetDeviceErrorCount(int cuaId);
    ECANBaud GetDeviceBaudRate(int cuaId);
    int GetDeviceBaudRateInt(int cuaId);
    wxString getDeviceEventLog(int cuaId, int index);
    void setBusPower(int cuaId, bool on);
    bool getBusPower(int cuaId);
    void setTermination(int cuaId, bool on);
    bool getTermination(int cuaId);

    // --- connecting and the adapter enumeration ---
    int connect(const wxString& name, int cuaId);
    int connect(const wxString& name);
    int connect(int cuaId);
    int connect();
    std::vector<int>& connectAll();
    int findAndConnect(CUAMatchType matchType, CUANameMatch nameMatch, const wxString& pattern, int cuaId);
    DeviceList* createQCANDeviceList();
    int getDeviceListItemCount(void* list);
    bool getDeviceListItemInfo(void* list, int index, wxString& name, wxString& description, wxString& vendor);
    void deleteQCANDeviceList(void* list);
    wxString getAvailableQCANDeviceNameByIndex(int index);

    // --- sensors ---
    Sensor* getSensor(unsigned char sensorId, SensorDeviceType type, int cuaId, bool lock);
    Sensor* getSensor(unsigned short sensorId, bool lock, int cuaId);
    TiltSensorG1 getTiltSensorG1(unsigned char sensorId, int cuaId = 0);
    RayGauge getRayGauge(unsigned char sensorId, int cuaId = 0);
    KM7 getKM7(unsigned char sensorId, int cuaId = 0);
    MDS2000IO getMDS2000(unsigned char sensorId, int cuaId = 0);
    SlopeSensor getSlopeSensor(unsigned char sensorId, int cuaId = 0);
    DSM500Sensor getDSM500Sensor(unsigned char sensorId, int cuaId = 0);
    DSM500SensorComponent getDSM500SensorComponent(unsigned char sensorId, int cuaId = 0);
    MobaDrillDepthSensor getMobaDrillDepthSensor(unsigned char sensorId, int cuaId = 0);
    BoomHeadingSensor getBoomHeadingSensor(unsigned char sensorId, int cuaId = 0);
    RotationSensor getRotationSensor(unsigned char sensorId, int cuaId = 0);
    SteelwristSlopeSensor getSteeelwristSlopeSensor(unsigned char sensorId, int cuaId = 0);
    SteelwristRotationSensor getSteelwristRotationSensor(unsigned char sensorId, int cuaId = 0);
    SteelwristJoystickSensor getSteelwristJoystickSensor(unsigned char sensorId, int cuaId = 0);
    EngconTiltrotatorSensor getEngconTiltrotatorSensor(unsigned char sensorId, int cuaId = 0);
    CANopenEncoderSensor getCANopenEncoderSensor(unsigned char sensorId, int cuaId = 0);
    RototiltSensor getRototiltSensor(unsigned char sensorId, int cuaId = 0);
    SandvikTIMSensor getSandvikTIMSensor(unsigned char sensorId, int cuaId = 0);
    GenericPositionSensor getGenericPositionSensor(unsigned char sensorId, int cuaId = 0);
    MobaCommProtocol getMobaCommProtocol(unsigned char sensorId, int cuaId = 0);
    SimulatorClientSensor getSimulatorClientSensor(unsigned char sensorId, int cuaId = 0);
    NMEA2KHeadingSensor getNMEA2KHeadingSensor(unsigned char sensorId, int cuaId = 0);
    NMEA2KPositionSensor getNMEA2KPositionSensor(unsigned char sensorId, int cuaId = 0);
    DT500Sensor getDT500Sensor(unsigned char sensorId, int cuaId = 0);
    Sensor getAnySensor(unsigned char sensorId, SensorDeviceType type, int cuaId = 0);
    void addSensor(Sensor* sensor, int cuaId);
    void removeSensors(int cuaId);
    int getSensorCount(int cuaId = 0);
    int getActiveSensorCount(unsigned int window, int cuaId = 0);
    int getSensorsCount(int cuaId = 0);
    std::vector<SensorInfo*> getSensorsInfo(int cuaId = 0);
    void deleteSensorsInfo(std::vector<SensorInfo*>& infos);
    bool getSensorInfo(int cuaId, int index, _SensorInfo* info);
    wxString ToXML(unsigned char sensorId, int indent, int cuaId = 0);
    wxString getStatus(int cuaId = 0);
    // Runs fn on the live sensor, under its lock, with its adapter held; false when there is none.
    // Not for a caller that holds a sensor's lock: the adapter's lock comes before a sensor's.
    bool withLiveSensor(unsigned char sensorId, SensorDeviceType type, int cuaId,
                        const std::function<void(Sensor&)>& fn);

    // --- sending ---
    int sendGenCanMsg(int cuaId, _TGENERIC_CAN_FRAME* frame, bool queued);
    int sendCanMsg(int cuaId, _TQUIL1G5_CAN_FRAME* frame, bool queued);

    // --- frame parsers ---
    void processParserString(int cuaId, const wxString& text);
    int addExternalParser(int cuaId, QCANParserFunction parser, void* context);
    bool deleteExternalParserById(int cuaId, unsigned int id);
    void setExternalParsersToQCANDevice(QCANDevice* device);
    void registerParser(const wxString& name, RegisteredFrameHandler handler);
    void unregisterParser(const wxString& name);
    void clearParsers();
    bool useExternalParsers();

    // --- shared receive ring and the manager thread ---
    void pushToRxBuffer(RxCANFrameT* frame);
    bool RxDataBufferInsertFrame(RxCANFrameT* frame);
    bool RxDataBufferReadAndDeleteNext(RxCANFrameT* out);
    bool RxDataBufferFull();
    bool RxDataBufferIsEmpty();
    bool processRxBuffer();
    void setMaxReceivedFiFoSize(unsigned int size, int unused = 0);
    void clearReceivedMessagesFifo();
    void startCUAThread();
    void stopCUAThread(unsigned int waitMs);
    bool waitForManagerThreadTermination(unsigned long timeoutMs);
    void managerThreadDisconnected();
    void disconnect(unsigned long waitMs, int cuaId);

    // --- frame views and the J1939 filter ---
    static _TQUIL1G5_CAN_FRAME_HEADER* genericHeader2Quil_copy(const _TGENERIC_CAN_FRAME_HEADER& header);
    static _TQUIL1G5_CAN_FRAME* genericFrame2Quil_copy(const _TGENERIC_CAN_FRAME& frame);
    static _TGENERIC_CAN_FRAME_HEADER* quilHeader2Generic_copy(const _TQUIL1G5_CAN_FRAME_HEADER& header);
    static _TGENERIC_CAN_FRAME* quilFrame2Generic_copy(const _TQUIL1G5_CAN_FRAME& frame);
    static _TQUIL1G5_CAN_FRAME_HEADER* GenMsgHdr2Quil_InPlace(_TGENERIC_CAN_FRAME_HEADER* header);
    static _TGENERIC_CAN_FRAME_HEADER* QuilMsgHdr2Gen_InPlace(_TQUIL1G5_CAN_FRAME_HEADER* header);
    static _TQUIL1G5_CAN_FRAME* GenMsg2Quil_InPlace(_TGENERIC_CAN_FRAME* frame);
    static _TGENERIC_CAN_FRAME* QuilMsg2Gen_InPlace(_TQUIL1G5_CAN_FRAME* frame);
    static bool checkJ1939Header(unsigned int id, int pf, int ps, int sa);

    ~SensorManager();

private:
    // Only the exit path ends the manager: the end of wxWidgets in the host and the process exit.
    friend class SensorManagerModule;
    friend struct SensorManagerExitGuard;
    // Ends the manager: stops the thread, disconnects every adapter and gives the thread a bounded
    // time to close them. Safe to call more than once. Connecting is refused from then on.
    void shutdown();

    SensorManager();
    SensorManager(const SensorManager&) = delete;
    SensorManager& operator=(const SensorManager&) = delete;

    static constexpr unsigned int RX_FIFO_SLOTS = 64;
    static constexpr unsigned long CONNECT_WAIT_MS = 5000;  // how long a connect waits for a stopping thread

    template <class T>
    T getTypedSensor(unsigned char sensorId, SensorDeviceType type, int cuaId, bool markActive);
    int resolveCuaId(int cuaId);
    Sensor* findSensor(unsigned char sensorId, SensorDeviceType type, int cuaId, bool lock, QCANDeviceRef& holder);
    // Starts a manager thread unless one is looping; false while one is winding down.
    bool startThread();
    // Waits up to timeoutMs for the thread to end; a thread that has ended is joined.
    bool waitThreadEnd(unsigned long timeoutMs);
    void joinEndedThread();
    // True while a thread object exists: looping, winding down, or ended and not yet joined.
    bool hasManagerThread();
    bool nameIsInTable(const wxString& name);
    // The description the cached adapter list gives the adapter of that name; empty when none.
    wxString describedAs(const wxString& name);

    // One adapter of the table with the id and name it had when it entered: read under the table
    // lock without calling into the adapter.
    struct TableEntry {
        int cuaId;
        wxString name;
        QCANDeviceRef device;
    };


    bool enabled;
    wxCriticalSection tableLock;
    wxCriticalSection stateLock;
    std::map<wxString, RegisteredFrameHandler> registeredParsers;
    bool threadRunning;
    bool threadRun;
    QCANReceived emptyReceived;
    wxString exportDataPath;
    wxCriticalSection fifoLock;
    unsigned int maxReceivedFifoSize;
    RxCANFrameT* rxFifo;
    unsigned int rxFifoRead;
    unsigned int rxFifoWrite;
    unsigned int rxFifoCount;
    WakeSemaphore notifier;
    std::vector<TableEntry> devices;
    std::vector<QCANDevice*> devicePointers;  // the same table as plain pointers, for getConnectedQCANDevices
    std::mutex threadLock;                    // starting and joining the manager thread
    SensorManagerThread* thread;              // joinable; joined once it has ended
    std::mutex threadEndMutex;                // with threadEnded: the thread's end as a signal
    std::condition_variable threadEnded;
    wxCriticalSection handlerCallLock;        // held while named handlers run, outside fifoLock
    unsigned long long mainThreadLastTick;
    unsigned long long lastConnectTick;
    std::atomic<bool> running;  // read without a lock
    wxString statusCacheText;
    unsigned long long statusCacheTime;
    int lastCuaId;
    bool threadActive;
    wxCriticalSection adapterListLock;  // the adapter-list cache and its time
    DeviceList* adapterCache;
    unsigned long long adapterCacheTime;
    wxCriticalSection flagLock;
    bool sensorManagerEnabled;
    bool sensorManagerOK;
    std::vector<int> connectedIds;
};

// Forwards a claimed frame into the manager's shared ring; registered as an external parser.
PARSE_RESULT processExtCallback(void* frame, void* device, void* context);

}  // namespace Sensors
