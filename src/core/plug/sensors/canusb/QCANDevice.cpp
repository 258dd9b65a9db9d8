#include "QCANDevice.h"

#include <cstring>
#include <new>

#include <wx/datetime.h>

#include "CANTxLogger.h"
#include "CUADeviceInfoItem.h"
#include "Clock.h"
#include "DeviceList.h"
#include "FrameParsers.h"
#include "Sensor.h"
#include "SensorManager.h"
#include "WispEasyWrapper.h"

namespace Sensors {

const wxString QCANDevice::QCAN_API_DLL_NAME = QCANLibrary::QCAN_API_DLL_NAME;
const wxString QCANDevice::QCAN_API_DEBUG_DLL_NAME = QCANLibrary::QCAN_API_DEBUG_DLL_NAME;
wxMutex QCANDevice::s_QCAN_Lock;
unsigned long long QCANDevice::sConnectTime = 0;

// --- construction and lifecycle ------------------------------------------------------------------

QCANDevice::QCANDevice(int cuaId_, const wxString& name)
    : cuaId(cuaId_),
      devName(name),
      status(QCAN_STATUS_UNINITIALIZED),
      library(nullptr),
      libraryContext(nullptr),
      initializeLibrary(nullptr),
      unInitializeLibrary(nullptr),
      adapterHandle(nullptr),
      statusUpdateTick(0),
      connectTime(0),
      nextRetryTime(0),
      lastStatsTime(0),
      lastCacheRebuild(0),
      lastUpdateTick(0),
      lastProcessTick(0),
      delayedMessageTimer(0),
      errorCount(0),
      filterIndex(0),
      timeoutHandled(0),
      reconnect(false),
      ignoreTimeout(false),
      statusSeen(false),
      parametersVerified(false),
      configurationChanged(false),
      removeSensorsFlag(false),
      txLoggerEnabled(false),
      currentBaud(CAN_BAUD_NONE),
      configuredBaud(CAN_BAUD_250K),
      configuredMode(CAN_MODE_NORMAL),
      reportedMode(CAN_MODE_UNKNOWN),
      reportedBusState(CAN_BUS_OFF),
      configuredTermination(false),
      reportedTermination(false),
      configuredBusPower(true),
      powerControlSupported(true),
      rxBuffer(new RxCANFrameT[RX_BUFFER_SLOTS]),
      rxRead(0),
      rxWrite(0),
      rxCount(0),
      rxTotal(0),
      rxParsed(0),
      rxOverflow(0),
      parserIdCounter(0),
      externalParserIdCounter(0),
      sensorInfoCacheBuilt(false),
      txLogger(nullptr)
{
    std::memset(functionTable, 0, sizeof functionTable);
    std::memset(&stats, 0, sizeof stats);
    std::memset(rxBuffer, 0, sizeof(RxCANFrameT) * RX_BUFFER_SLOTS);
    logDeviceEvent(wxT("Create instance"));
    parsers.push_back(new _QCANParserInfo{0, parseDefault, SensorManager::getInstance()});
    parserIdCounter = 1;
    quessVendor();
    reset();
    QLOG_INFO("QCANDevice") << "New QCANDevice CUAID" << cuaId << " Name " << devName << " Vendor " << vendorName;
}

QCANDevice::~QCANDevice()
{
    logDeviceEvent(wxT("Destroy Instance"));
    finalizeQCANDevice();
    clearSensorList();
    clearSensorInfoCache();
    QLOG_INFO("~QCANDevice") << "Delete QCANDevice CUAID" << cuaId << " Name " << devName << " Vendor " << vendorName;
    delete[] rxBuffer;
    rxBuffer = nullptr;
}

void QCANDevice::finalizeQCANDevice()
{
    // Closed before the device lock is taken: closing joins the library's threads, whose
    // callbacks may be waiting for that lock.
    setTxLoggerEnabled(false);
    disconnectHandle();
    // Each of these takes its locks in the adapter's order (rxLock before deviceLock).
    deleteAllExternalParsers();
    deleteAllParsers();
    clearRxBuffer();
    clearTxBuffer();
    setRemoveSensorsFlag(true);
    wxCriticalSectionLocker guard(deviceLock);
    releaseLibrary();
}

void QCANDevice::releaseLibrary()
{
    wxCriticalSectionLocker guard(deviceLock);
    if (library) {
        if (library->isLoaded() && unInitializeLibrary && libraryContext)
            unInitializeLibrary(libraryContext);
        library->unload();
        delete library;
        library = nullptr;
    }
    libraryContext = nullptr;
    initializeLibrary = nullptr;
    unInitializeLibrary = nullptr;
}

void QCANDevice::reset()
{
    logDeviceEvent(wxT("Reset instance"));
    const unsigned long long now = GetTick();
    {
        wxCriticalSectionLocker guard(statusLock);
        errorCount = 0;
        reportedMode = CAN_MODE_UNKNOWN;
        reportedBusState = CAN_BUS_OFF;
        statusUpdateTick = now;
        status = QCAN_STATUS_UNINITIALIZED;
    }
    wxCriticalSectionLocker guard(deviceLock);
    configuredTermination = false;
    reportedTermination = false;
    reconnect = false;
    configuredBusPower = true;
    powerControlSupported = true;
    filterIndex = 0;
    ignoreTimeout = false;
    statusSeen = false;
    connectTime = now;
    nextRetryTime = now;
    releaseLibrary();
    forgetHandle();
    currentBaud = CAN_BAUD_NONE;
    configuredBaud = CAN_BAUD_250K;
    configuredMode = CAN_MODE_NORMAL;
    lastProcessTick = 0;
    lastUpdateTick = 0;
    lastCacheRebuild = 0;
    delayedMessageTimer = 0;
    timeoutHandled = 0;
    parserIdCounter = 1;
    externalParserIdCounter = 1;
}

bool QCANDevice::init()
{
    logDeviceEvent(wxT("Initialize QCAN API"));
    wxCriticalSectionLocker guard(deviceLock);
    if (!library)
        library = new QCANLibrary();
    if (getQCANDevStatus() != QCAN_STATUS_UNINITIALIZED)
        return true;
    if (library->isLoaded())
        library->unload();
    if (!library->load()) {
        QLOG_ERROR("init") << "Failed to load QCAN API library";
        return false;
    }
    if (!library->InitializeLibrary || !library->UnInitializeLibrary) {
        QLOG_ERROR("init") << "Failed to load QCAN API init functions";
        library->unload();
        return false;
    }
    initializeLibrary = library->InitializeLibrary;
    unInitializeLibrary = library->UnInitializeLibrary;
    libraryContext = initializeLibrary();
    if (!libraryContext) {
        initializeLibrary = nullptr;
        unInitializeLibrary = nullptr;
        library->unload();
        QLOG_ERROR("init") << "QCANDevice::init() QCAN API Init failed";
        return false;
    }
    forgetHandle();
    return true;
}

void QCANDevice::uninit()
{
    logDeviceEvent(wxT("Uninitialize QCAN API"));
    wxCriticalSectionLocker guard(deviceLock);
    releaseLibrary();
    statusSeen = false;
    forgetHandle();
    filterIndex = 0;
    lastProcessTick = 0;
    delayedMessageTimer = 0;
    timeoutHandled = 0;
    connectTime = GetTick();
    nextRetryTime = connectTime;
}

bool QCANDevice::Connect()
{
    logDeviceEvent(wxT("Connect interface"));
    ignoreTimeout = false;
    if (getQCANDevStatus() == QCAN_STATUS_CONNECTED) {
        QLOG_WARN("Connect") << "QCANDevice::Connect already connected";
        return false;
    }
    QCAN_InitializeCUA_t initializeCUA = nullptr;
    void* context = nullptr;
    {
        wxCriticalSectionLocker guard(deviceLock);
        if (library && library->isLoaded())
            initializeCUA = library->InitializeCUA;
        context = libraryContext;
    }
    // The adapter is opened without the device lock: the library starts its threads here, and
    // their callbacks must never wait for a lock this thread holds.
    void* table[QCAN_TABLE_SIZE];
    std::memset(table, 0, sizeof table);
    void* handle = nullptr;
    if (initializeCUA) {
        // Opening an adapter is serialised with the listing of adapters across all devices; the
        // enumeration lock is held around the library's call only, never with a lock of ours.
        const wxCharBuffer name = devName.mb_str();
        wxMutexLocker opening(s_QCAN_Lock);
        handle = initializeCUA(context, table, name, &QCANDevice::QCANRxHandler, &QCANDevice::QCANNotifyHandler,
                               &QCANDevice::QCANTxHandler, this, this, this);
    }
    if (!handle) {
        QLOG_ERROR("Connect") << "QCANDevice::Connect Failed to initialize CUA " << devName;
        return false;
    }
    {
        wxCriticalSectionLocker guard(handleLock);
        for (int i = 0; i < QCAN_TABLE_SIZE; ++i)
            functionTable[i] = reinterpret_cast<QCANTableEntry>(table[i]);
        adapterHandle = handle;
    }
    setDefaultAPIFilter();
    {
        wxCriticalSectionLocker guard(statusLock);
        statusUpdateTick = GetTick();
    }
    wxCriticalSectionLocker guard(deviceLock);
    configurationChanged = true;
    return true;
}

void QCANDevice::disconnectHandle()
{
    logDeviceEvent(wxT("Disconnect interface"));
    QCANClose_t closeAdapter = nullptr;
    void* handle = nullptr;
    {
        wxCriticalSectionLocker guard(handleLock);
        if (adapterHandle && functionTable[QCAN_ENTRY_CLOSE]) {
            closeAdapter = reinterpret_cast<QCANClose_t>(functionTable[QCAN_ENTRY_CLOSE]);
            handle = adapterHandle;
            std::memset(functionTable, 0, sizeof functionTable);
            adapterHandle = nullptr;
        }
    }
    // Closing joins the library's threads; their callbacks may wait for our locks meanwhile.
    if (closeAdapter)
        closeAdapter(handle);
}

bool QCANDevice::Disconnect(QCANDisConnOption option)
{
    if (getQCANDevStatus() < QCAN_STATUS_DISCONNECTING) {
        if (option == QCAN_DISCONNECT_NOW) {
            disconnectHandle();
            setQCANDevStatus(QCAN_STATUS_DISCONNECTED);
        } else {
            setQCANDevStatus(QCAN_STATUS_DISCONNECTING);
        }
    }
    return true;
}

bool QCANDevice::gateOpen(unsigned long long now) const
{
    return now > sConnectTime;
}

void QCANDevice::takeGate(unsigned long long now, unsigned long long ms)
{
    sConnectTime = now + ms;
}

int QCANDevice::processDevice(unsigned long long now, bool enabled)
{
    delayedMessageTimer += static_cast<unsigned int>(now - lastProcessTick);
    lastProcessTick = now;

    if (!enabled) {
        disconnectHandle();
        uninit();
        setQCANDevStatus(QCAN_STATUS_HALT);
        return getQCANDevStatus();
    }

    switch (getQCANDevStatus()) {
    case QCAN_STATUS_UNINITIALIZED:
        connectTime = now;
        if (now > nextRetryTime && gateOpen(now)) {
            takeGate(now, 250);
            if (init()) {
                setQCANDevStatus(QCAN_STATUS_INITIALIZED);
            } else {
                QLOG_ERROR("processDevice") << "QCANDevice init failed CUAID" << cuaId;
                setQCANDevStatus(QCAN_STATUS_UNINITIALIZED);
                nextRetryTime = now + 2500;
            }
        }
        break;
    case QCAN_STATUS_INITIALIZED:
        if (now > nextRetryTime && gateOpen(now)) {
            takeGate(now, 250);
            if (!Connect()) {
                QLOG_ERROR("processDevice") << "QCANDevice connect failed CUAID" << cuaId;
                uninit();
                setQCANDevStatus(QCAN_STATUS_UNINITIALIZED);
                nextRetryTime = now + 500ULL * static_cast<unsigned long long>(GetRandom(8));
            } else {
                setQCANDevStatus(QCAN_STATUS_CONNECTING);
                QLOG_INFO("processDevice") << "QCANDevice connected successfully CUAID" << cuaId;
                connectTime = now;
                statusSeen = false;
                {
                    wxCriticalSectionLocker guard(statusLock);
                    statusUpdateTick = now + 5000;
                }
                applyBaudrate(configuredBaud);
                SetTermination(configuredTermination, true);
                SetMode(configuredMode);
                SetBusPowerSwitch(configuredBusPower, true);
                GetCanStats(nullptr, false);
                wxCriticalSectionLocker guard(deviceLock);
                parametersVerified = false;
                configurationChanged = true;
            }
        }
        break;
    case QCAN_STATUS_CONNECTING:
    case QCAN_STATUS_CONNECTED: {
        const unsigned long long tick = GetTick();
        const unsigned long long lastGood = getStatusUpdateTick();
        const unsigned long long silence = tick - lastGood;
        const bool stale = tick >= lastGood && silence > 1500 && getVendorName().CmpNoCase(wxT("Virtual")) != 0;
        if (stale) {
            if (ignoreTimeout || (!statusSeen && now <= connectTime + 10000)) {
                QLOG_WARN("processDevice") << "QCANDevice timeout CUAID" << cuaId << " : " << silence
                                           << " ms since last good status message IGNORED";
            } else {
                QLOG_WARN("processDevice") << "QCANDevice timeout CUAID" << cuaId << " : " << silence
                                           << " ms since last good status message ";
                setQCANDevStatus(QCAN_STATUS_TIMEOUT);
                break;
            }
        }
        processHealthy(now);
        break;
    }
    case QCAN_STATUS_TIMEOUT: {
        const unsigned long long lastGood = getStatusUpdateTick();
        const unsigned long long since = now > lastGood ? now - lastGood : 0;
        if (since > 3000) {
            if (timeoutHandled == 0) {
                // Sensors of a silent adapter go; they are made again from new frames.
                setRemoveSensorsFlag(true);
                clearRxBuffer();
                clearTxBuffer();
                timeoutHandled = 1;
            } else if (since > 5000) {
                logDeviceEvent(wxT("Timeout"));
                QLOG_WARN("processDevice") << "QCANDevice CUAID" << cuaId << " : disconnect due timeout";
                setQCANDevStatus(QCAN_STATUS_DISCONNECTING);
                nextRetryTime = now + 500ULL * static_cast<unsigned long long>(GetRandom(8));
            }
        }
        break;
    }
    case QCAN_STATUS_HALT:
        setQCANDevStatus(QCAN_STATUS_RESTORE);
        break;
    case QCAN_STATUS_RESTORE:
        setQCANDevStatus(QCAN_STATUS_UNINITIALIZED);
        break;
    case QCAN_STATUS_DISCONNECTING:
        if (gateOpen(now)) {
            takeGate(now, 500);
            disconnectHandle();
            {
                wxCriticalSectionLocker guard(deviceLock);
                filterIndex = 0;
            }
            clearRxBuffer();
            clearTxBuffer();
            setQCANDevStatus(QCAN_STATUS_DISCONNECTED);
        }
        break;
    case QCAN_STATUS_DISCONNECTED:
        if (gateOpen(now)) {
            takeGate(now, 500);
            uninit();
            setQCANDevStatus(QCAN_STATUS_CLEANUP);
        }
        break;
    case QCAN_STATUS_ERROR:
        QLOG_WARN("processDevice") << "QCANDevice CUAID" << cuaId << " : ERROR. Restarting device";
        setQCANDevStatus(QCAN_STATUS_DISCONNECTING);
        logDeviceEvent(wxT("Error"));
        break;
    default:
        break;
    }
    {
        // The transmit logger turns the frames sent since the last pass into text.
        wxCriticalSectionLocker guard(txLock);
        if (txLoggerEnabled && txLogger)
            txLogger->processBuffer();
    }
    return getQCANDevStatus();
}

void QCANDevice::processHealthy(unsigned long long now)
{
    if (!parametersVerified && GetTick() > connectTime + 5000)
        parametersVerified = verifyConnectionParameters();
    if (getConfigurationChanged())
        parametersVerified = verifyConnectionParameters();
    processRxBuffer();
    updateSensors(now);
    if (getRemoveSensorsFlag()) {
        clearSensorList();
        setRemoveSensorsFlag(false);
        clearSensorInfoCache();
    } else if (now > lastCacheRebuild + 500) {
        rebuildSensorInfoCache();
    }
    if (delayedMessageTimer > 49) {
        delayedMessageTimer = 0;
        processDelayedMessages();
    }
}

// --- status --------------------------------------------------------------------------------------

void QCANDevice::setQCANDevStatus(QCANConnStatus next)
{
    wxCriticalSectionLocker guard(statusLock);
    if (status == QCAN_STATUS_CLEANUP && next != QCAN_STATUS_UNINITIALIZED)
        return;
    if ((next == QCAN_STATUS_ERROR || next == QCAN_STATUS_TIMEOUT) && next != status)
        ++errorCount;
    if (next == QCAN_STATUS_CONNECTED && status != QCAN_STATUS_CONNECTING)
        return;
    status = next;
    logDeviceEvent(wxT("Status ") + translateStatusString(next));
}

QCANConnStatus QCANDevice::getQCANDevStatus()
{
    wxCriticalSectionLocker guard(statusLock);
    return status;
}

wxString QCANDevice::getStatusString()
{
    return translateStatusString(getQCANDevStatus());
}

wxString QCANDevice::translateStatusString(QCANConnStatus s)
{
    switch (s) {
    case QCAN_STATUS_ERROR: return wxT("ERROR");
    case QCAN_STATUS_UNINITIALIZED: return wxT("UNINITIALIZED");
    case QCAN_STATUS_INITIALIZED: return wxT("INITIALIZED");
    case QCAN_STATUS_CONNECTING: return wxT("CONNECTING");
    case QCAN_STATUS_CONNECTED: return wxT("CONNECTED");
    case QCAN_STATUS_TIMEOUT: return wxT("TIMEOUT");
    case QCAN_STATUS_HALT: return wxT("HALT");
    case QCAN_STATUS_RESTORE: return wxT("RESTORE");
    case QCAN_STATUS_DISCONNECTING: return wxT("DISCONNECTING");
    case QCAN_STATUS_DISCONNECTED: return wxT("DISCONNECTED");
    case QCAN_STATUS_CLEANUP:
    case QCAN_STATUS_CLEANUP_FINAL: return wxT("CLEANUP");
    }
    return wxString::Format(wxT("UNKNOWN (%d)"), static_cast<int>(s));
}

bool QCANDevice::IsConnected()
{
    return getQCANDevStatus() == QCAN_STATUS_CONNECTED;
}

bool QCANDevice::getReconn()
{
    wxCriticalSectionLocker guard(deviceLock);
    return reconnect;
}

void QCANDevice::setReconn(bool value)
{
    wxCriticalSectionLocker guard(deviceLock);
    reconnect = value;
}

bool QCANDevice::getIgnoreTimeout()
{
    return ignoreTimeout;
}

void QCANDevice::setIgnoreTimeout(bool ignore)
{
    ignoreTimeout = ignore;
}

unsigned long long QCANDevice::getStatusUpdateTick()
{
    wxCriticalSectionLocker guard(statusLock);
    return statusUpdateTick;
}

void QCANDevice::setStatusUpdateTick(unsigned long long tick)
{
    wxCriticalSectionLocker guard(statusLock);
    statusUpdateTick = tick;
}

unsigned int QCANDevice::getErrorCount()
{
    wxCriticalSectionLocker guard(statusLock);
    return errorCount;
}

int QCANDevice::getCuaId()
{
    return cuaId;
}

void QCANDevice::setCuaId(int id)
{
    wxCriticalSectionLocker guard(deviceLock);
    cuaId = id;
}

wxString QCANDevice::getDevName()
{
    return devName;
}

wxString QCANDevice::getVendorName()
{
    wxCriticalSectionLocker guard(deviceLock);
    return vendorName;
}

wxString QCANDevice::getDescription()
{
    return description;
}

void QCANDevice::setDescription(const wxString& text)
{
    description = text;
}

void QCANDevice::lock()
{
    deviceLock.Enter();
}

void QCANDevice::unlock()
{
    deviceLock.Leave();
}

unsigned long long QCANDevice::GetTick()
{
    return Clock::wallMs();
}

int QCANDevice::GetRandom(int n)
{
    return n > 0 ? static_cast<int>(Clock::tickCount() % static_cast<unsigned int>(n)) : 0;
}

void QCANDevice::quessVendor()
{
    static const struct {
        const wchar_t* prefix;
        const wchar_t* vendor;
    } table[] = {{L"QU", L"Quillard"}, {L"Q0", L"Quillard"}, {L"PK", L"Peak"},   {L"KV", L"Kvaser"},
                 {L"SO", L"Virtual"},  {L"SC", L"Socket"},   {L"SS", L"Socket"}, {L"WX", L"Socket"},
                 {L"SI", L"Simulation"}, {L"BS", L"Blender"}, {L"DU", L"Dummy"}};
    wxCriticalSectionLocker guard(deviceLock);
    vendorName = wxT("Unknown vendor");
    const wxString firstTwo = devName.Left(2);
    for (const auto& entry : table)
        if (firstTwo == entry.prefix)
            vendorName = entry.vendor;
}

void QCANDevice::logDeviceEvent(const wxString& text)
{
    const time_t seconds = static_cast<time_t>(GetTick() / 1000);
    const wxString stamp = wxDateTime(seconds).Format(wxT("[%Y-%m-%d %H:%M:%S] "));
    wxCriticalSectionLocker guard(statusLock);
    for (int i = 15; i > 0; --i)
        eventLog[i] = eventLog[i - 1];
    eventLog[0] = stamp + text;
}

wxString QCANDevice::getDeviceLog(unsigned int index)
{
    wxCriticalSectionLocker guard(statusLock);
    return index < 16 ? eventLog[index] : wxString();
}

}  // namespace Sensors
