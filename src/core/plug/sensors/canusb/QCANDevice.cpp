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

namespace {
bool isStatus(QCANConnStatus s, QCANConnStatus a, QCANConnStatus b)
{
    return s == a || s == b;
}
}  // namespace

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
    // Opening an adapter is serialised with the listing of adapters across all devices.
    const bool globalLocked = s_QCAN_Lock.Lock() == wxMUTEX_NO_ERROR;
    struct Unlocker {
        bool locked;
        ~Unlocker()
        {
            if (locked)
                s_QCAN_Lock.Unlock();
        }
    } unlocker{globalLocked};

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
    if (initializeCUA)
        handle = initializeCUA(context, table, devName.mb_str(), &QCANDevice::QCANRxHandler,
                               &QCANDevice::QCANNotifyHandler, &QCANDevice::QCANTxHandler, this, this, this);
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

// --- library callbacks ---------------------------------------------------------------------------

void QCAN_CALLCONV QCANDevice::QCANRxHandler(void*, unsigned short, _TGENERIC_CAN_FRAME_HEADER* header, void* data,
                                             void* device)
{
    if (device)
        static_cast<QCANDevice*>(device)->RxHandler(header, data);
}

void QCAN_CALLCONV QCANDevice::QCANNotifyHandler(void*, int mode, ECANBusState state, void* device)
{
    if (device)
        static_cast<QCANDevice*>(device)->NotifyHandler(mode, state);
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

void QCANDevice::RxHandler(_TGENERIC_CAN_FRAME_HEADER* header, void* data)
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
    return getBaud ? getBaud(handle) : CAN_BAUD_NONE;
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
        currentBaud = getBaud(handle);
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
    return get ? get(handle) : CAN_MODE_UNKNOWN;
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

// --- adapter enumeration -------------------------------------------------------------------------

DeviceList* QCANDevice::GetAvailableQCANDevices()
{
    QCANLibrary lib;
    if (!lib.load()) {
        QLOG_ERROR("GetAvailableQCANDevices") << "QCAN_API.dll not found. CUAs disabled";
        return nullptr;
    }
    void* context = nullptr;
    if (!lib.InitializeLibrary || !lib.UnInitializeLibrary || !(context = lib.InitializeLibrary())) {
        QLOG_ERROR("GetAvailableQCANDevices") << "QCANDevice::GetAvailableQCANDevices() FAIL";
        return nullptr;
    }
    void* list = nullptr;
    if (s_QCAN_Lock.Lock() == wxMUTEX_NO_ERROR) {
        if (lib.CreateDeviceList)
            list = lib.CreateDeviceList(context);
        s_QCAN_Lock.Unlock();
    }
    if (!list) {
        QLOG_ERROR("GetAvailableQCANDevices") << "Cannot get handle to QCAN device list";
        lib.UnInitializeLibrary(context);
        return nullptr;
    }
    if (!lib.GetDeviceCount || !lib.GetInterfaceDescription || !lib.GetInterfaceFileName || !lib.DestroyDeviceList) {
        QLOG_ERROR("GetAvailableQCANDevices") << "Cannot get handle to QCAN_API functions";
        if (lib.DestroyDeviceList)
            lib.DestroyDeviceList(list);
        lib.UnInitializeLibrary(context);
        return nullptr;
    }
    DeviceList* result = new (std::nothrow) DeviceList();
    if (!result) {
        QLOG_ERROR("GetAvailableQCANDevices") << "Allocation failed";
    } else {
        static const struct {
            const wchar_t* code;
            const wchar_t* vendor;
        } codes[] = {{L"QU", L"QUILLARD"}, {L"PK", L"PEAK"},    {L"KV", L"KVASER"},
                     {L"DU", L"Dummy"},    {L"WX", L"Virtual"}, {L"BL", L"TestSimulator"}};
        for (int i = 0; i < lib.GetDeviceCount(list); ++i) {
            char name[64];
            char text[64];
            std::memset(name, 0, sizeof name);
            std::memset(text, 0, sizeof text);
            lib.GetInterfaceFileName(list, i, name, sizeof name);
            lib.GetInterfaceDescription(list, i, text, sizeof text);
            name[sizeof name - 1] = 0;
            text[sizeof text - 1] = 0;
            const wxString itemName = wxString::FromAscii(name);
            wxString vendor = wxT("Unknown");
            for (const auto& c : codes)
                if (itemName.Contains(c.code))
                    vendor = c.vendor;  // a later code overrides an earlier one
            result->insert(CUADeviceInfoItem(itemName, wxString::FromAscii(text), vendor));
        }
    }
    lib.DestroyDeviceList(list);
    lib.UnInitializeLibrary(context);
    return result;
}

void QCANDevice::DeleteQCANDeviceList(void* list)
{
    delete static_cast<DeviceList*>(list);
}

}  // namespace Sensors
