#pragma once

// One CAN-USB adapter: loads the adapter library, opens the adapter, follows its status reports
// through the connection state machine and reopens it when it falls silent. It owns the adapter's
// receive ring, its parsers, its sensors and its send queue.

#include <atomic>
#include <deque>
#include <vector>

#include <wx/string.h>
#include <wx/thread.h>

#include "CANFrameTypes.h"
#include "QCANDeviceTypes.h"
#include "QCANLibrary.h"
#include "SensorTypes.h"

namespace Sensors {

class Sensor;
class DeviceList;
class CANTxLogger;

class QCANDevice {
public:
    static const wxString QCAN_API_DLL_NAME;
    static const wxString QCAN_API_DEBUG_DLL_NAME;
    static constexpr unsigned int RX_BUFFER_SLOTS = 64;
    static constexpr unsigned int TX_QUEUE_LIMIT = 128;

    QCANDevice(int cuaId, const wxString& name);
    virtual ~QCANDevice();
    QCANDevice(const QCANDevice&) = delete;
    QCANDevice& operator=(const QCANDevice&) = delete;

    // --- lifecycle ---
    void finalizeQCANDevice();
    bool init();
    void uninit();
    bool Connect();
    void disconnectHandle();
    void reset();
    int processDevice(unsigned long long now, bool enabled);
    bool Disconnect(QCANDisConnOption option);
    void setQCANDevStatus(QCANConnStatus status);
    QCANConnStatus getQCANDevStatus();
    wxString getStatusString();
    static wxString translateStatusString(QCANConnStatus status);
    bool IsConnected();
    bool getReconn();
    void setReconn(bool reconnect);
    bool getIgnoreTimeout();
    void setIgnoreTimeout(bool ignore);
    unsigned long long getStatusUpdateTick();
    void setStatusUpdateTick(unsigned long long tick);
    unsigned int getErrorCount();
    int getCuaId();
    void setCuaId(int id);
    wxString getDevName();
    wxString getVendorName();
    wxString getDescription();
    void setDescription(const wxString& text);
    void lock();
    void unlock();
    static unsigned long long GetTick();
    static int GetRandom(int n);
    void quessVendor();
    void logDeviceEvent(const wxString& text);
    wxString getDeviceLog(unsigned int index);

    // --- library callbacks ---
    static void QCAN_CALLCONV QCANRxHandler(void* ptr, unsigned short value, const _TGENERIC_CAN_FRAME_HEADER* header,
                                            const unsigned char* data, void* device);
    static void QCAN_CALLCONV QCANNotifyHandler(void* ptr, int mode, int busState, void* device);
    static void QCAN_CALLCONV QCANTxHandler(void* device, void* ptr, int value, unsigned short value2);
    void RxHandler(const _TGENERIC_CAN_FRAME_HEADER* header, const void* data);
    void NotifyHandler(int mode, ECANBusState state);
    void TxHandler(int value, unsigned short value2);

    // --- receive ring and parsing ---
    bool RxDataBufferInsertFrame(RxCANFrameT* frame);
    bool RxDataBufferFull();
    bool RxDataBufferIsEmpty();
    bool RxDataBufferReadAndDeleteNext(RxCANFrameT* out);
    void clearRxBuffer();
    int getRxBufferCount();
    void pushToRxBuffer(RxCANFrameT* frame);
    int processRxBuffer();
    void parseMsg(RxCANFrameT* frame);
    unsigned int addParser(QCANParserFunction parser, void* context);
    unsigned int addExternalParser(QCANParserFunction parser, void* context);
    void deleteExternalParserById(unsigned int id);
    void deleteAllExternalParsers();
    // How many external parsers see this adapter's frames (capture windows, loggers).
    size_t getExternalParserCount();
    void deleteAllParsers();

    // --- sensors ---
    Sensor* getSensor(unsigned short id, SensorDeviceType type, bool lock);
    Sensor* getSensor(unsigned short index, bool lock);
    // Takes ownership and returns true, unless the sensor is null or the adapter is not CONNECTED.
    bool addSensor(Sensor* sensor);
    std::vector<Sensor*>& GetSensors();
    int getSensorCount();
    int getActiveSensorCount(unsigned int window);
    void clearSensorList();
    bool getRemoveSensorsFlag();
    void setRemoveSensorsFlag(bool flag);
    void removeSensors();
    void updateSensors(unsigned long long now);
    void rebuildSensorInfoCache();
    std::vector<_SensorInfo*>& getSensorInfoCache();
    void clearSensorInfoCache();
    // The cache exists from its first build (the first healthy pass after connecting, or a call of
    // getSensorInfoCache) until the sensor list is dropped; without it the adapter cannot tell how
    // its sensors are.
    bool hasSensorInfoCache();
    wxString ToXML(unsigned short sensorId, int indent);
    bool GetReceivedValues(int* total, int* parsed, int* overflow, int* r1, int* r2, int* r3, int* r4);
    QCANReceived GetReceived();

    // --- sending ---
    int SendCanMessage(_TGENERIC_CAN_FRAME_HEADER* header, void* data, bool delayed);
    int SendCanMessage(_TGENERIC_CAN_FRAME* frame, bool delayed);
    bool processDelayedMessages();
    void clearTxBuffer();
    int getTxBufferCount();
    void setTxLoggerEnabled(bool on);

    // --- settings and diagnostics ---
    void SetBaudrate(ECANBaud baud);
    void applyBaudrate(ECANBaud baud);
    ECANBaud GetBaudrate(bool ask);
    int getBaudrateAsInt();
    static int getBaudrateAsInt(ECANBaud baud);
    bool SetTermination(bool on, bool apply);
    bool GetTermination(bool ask);
    bool SetBusPowerSwitch(unsigned int on, bool apply);
    unsigned int GetBusPowerSwitch(bool ask);
    ECANMode SetMode(ECANMode mode);
    ECANMode GetMode();
    wxString getCANModeString();
    wxString getCANBusStateString();
    bool getConfigurationChanged();
    void setConfigurationChanged(bool changed);
    bool verifyConnectionParameters();
    int GetCanStats(_TCANStats* out, bool throttle);
    bool getDeviceInfo(QCANDeviceInfo& info);
    wxString getQCANBuildInfo();
    void setDefaultAPIFilter();
    void deleteAPIFilters();

    // --- adapter enumeration ---
    static DeviceList* GetAvailableQCANDevices();
    static void DeleteQCANDeviceList(void* list);

private:
    // Typed access to one entry of the function table, read under the device lock; null when the
    // adapter is closed. The call itself is made without holding the lock.
    template <class F>
    F entry(QCANTableIndex index, void** handle);
    bool hasHandle();
    void forgetHandle();
    // Releases the library context, unloads the library and forgets its entry points.
    void releaseLibrary();
    bool gateOpen(unsigned long long now) const;
    void takeGate(unsigned long long now, unsigned long long ms);
    void processHealthy(unsigned long long now);
    void clearParserList(std::vector<_QCANParserInfo*>& list);
    ECANBaud readBaud();  // entry 6 in CONNECTED or INITIALIZED, else 5

    // identity
    int cuaId;
    wxString devName;
    wxString vendorName;
    wxString description;
    QCANConnStatus status;

    // library binding
    QCANLibrary* library;
    void* libraryContext;
    QCAN_InitializeLibrary_t initializeLibrary;
    QCAN_UnInitializeLibrary_t unInitializeLibrary;
    void* adapterHandle;
    QCANTableEntry functionTable[QCAN_TABLE_SIZE];

    // times
    unsigned long long statusUpdateTick;
    unsigned long long connectTime;
    unsigned long long nextRetryTime;
    unsigned long long lastStatsTime;
    unsigned long long lastCacheRebuild;
    unsigned long long lastUpdateTick;
    unsigned long long lastProcessTick;
    unsigned int delayedMessageTimer;
    unsigned int errorCount;
    unsigned int filterIndex;
    unsigned int timeoutHandled;

    // flags
    bool reconnect;
    std::atomic<bool> ignoreTimeout;  // also read by the status callback
    std::atomic<bool> statusSeen;
    bool parametersVerified;
    bool configurationChanged;
    bool removeSensorsFlag;
    bool txLoggerEnabled;

    // settings and reports
    ECANBaud currentBaud;
    ECANBaud configuredBaud;
    ECANMode configuredMode;
    ECANMode reportedMode;
    ECANBusState reportedBusState;
    bool configuredTermination;
    bool reportedTermination;
    bool configuredBusPower;
    bool powerControlSupported;
    _TCANStats stats;

    wxString eventLog[16];

    // receive ring [rxLock]
    RxCANFrameT* rxBuffer;
    unsigned int rxRead;
    unsigned int rxWrite;
    unsigned int rxCount;
    // counters, raised under rxLock and read under statusLock
    unsigned int rxTotal;
    unsigned int rxParsed;
    unsigned int rxOverflow;

    // parsers, sensors, cache [deviceLock]
    std::vector<_QCANParserInfo*> parsers;
    std::vector<_QCANParserInfo*> externalParsers;
    unsigned int parserIdCounter;
    unsigned int externalParserIdCounter;
    std::vector<Sensor*> sensors;
    std::vector<_SensorInfo*> sensorInfoCache;
    bool sensorInfoCacheBuilt;

    // send queue [txLock]
    std::deque<_TGENERIC_CAN_FRAME*> txQueue;
    CANTxLogger* txLogger;  // transmit log of the frames sent; see setTxLoggerEnabled

    wxCriticalSection statusLock;
    wxCriticalSection deviceLock;
    wxCriticalSection rxLock;
    wxCriticalSection txLock;
    // The adapter handle and the function table; innermost, held only to read or change them.
    wxCriticalSection handleLock;

    static wxMutex s_QCAN_Lock;
    static unsigned long long sConnectTime;
};

}  // namespace Sensors
