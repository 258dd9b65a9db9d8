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
#include "SensorManagerThread.h"
#include "WispEasyWrapper.h"

namespace Sensors {

// --- shared receive ring and the manager thread ----------------------------------------------------

void SensorManager::pushToRxBuffer(RxCANFrameT* frame)
{
    if (!rxFifo) {
        QLOG_ERROR("pushToRxBuffer") << "RXBuffer is NULL";
        return;
    }
    if (frame && RxDataBufferInsertFrame(frame))
        notifier.Post();
    else
        QLOG_ERROR("pushToRxBuffer") << "Failed to push RxCANFrameT to buffer";
}

bool SensorManager::RxDataBufferInsertFrame(RxCANFrameT* frame)
{
    wxCriticalSectionLocker guard(fifoLock);
    if (!rxFifo) {
        QLOG_ERROR("RxDataBufferInsertFrame") << "RXBuffer is NULL";
        return false;
    }
    if (!frame) {
        QLOG_ERROR("RxDataBufferInsertFrame") << "RxDataBuffer error";
        return false;
    }
    if (((rxFifoWrite + 1) & (RX_FIFO_SLOTS - 1)) == rxFifoRead) {
        QLOG_ERROR("RxDataBufferInsertFrame") << "RxDataBuffer Full";
        return false;
    }
    RxCANFrameT& slot = rxFifo[rxFifoWrite];
    slot = *frame;
    slot.createAllowed = true;
    slot.time = getTickCount();
    ++rxFifoCount;
    rxFifoWrite = (rxFifoWrite + 1) & (RX_FIFO_SLOTS - 1);
    return true;
}

bool SensorManager::RxDataBufferReadAndDeleteNext(RxCANFrameT* out)
{
    wxCriticalSectionLocker guard(fifoLock);
    if (!out || !rxFifo || rxFifoRead == rxFifoWrite)
        return false;
    *out = rxFifo[rxFifoRead];
    rxFifoRead = (rxFifoRead + 1) & (RX_FIFO_SLOTS - 1);
    --rxFifoCount;
    return true;
}

bool SensorManager::RxDataBufferFull()
{
    wxCriticalSectionLocker guard(fifoLock);
    if (!rxFifo) {
        QLOG_ERROR("RxDataBufferFull") << "RXBuffer is NULL";
        return false;
    }
    return ((rxFifoWrite + 1) & (RX_FIFO_SLOTS - 1)) == rxFifoRead;
}

bool SensorManager::RxDataBufferIsEmpty()
{
    wxCriticalSectionLocker guard(fifoLock);
    if (!rxFifo) {
        QLOG_ERROR("RxDataBufferIsEmpty") << "RXBuffer is NULL";
        return true;
    }
    return rxFifoRead == rxFifoWrite;
}

bool SensorManager::processRxBuffer()
{
    // The handlers run outside fifoLock: the receive path of an adapter takes fifoLock inside their
    // receive lock, and a handler may well read the counters of an adapter or change its parsers.
    // handlerCallLock keeps a handler from being called after its unregistering returned.
    wxCriticalSectionLocker calls(handlerCallLock);
    RxCANFrameT frame;
    std::vector<RegisteredFrameHandler> handlers;
    {
        wxCriticalSectionLocker guard(fifoLock);
        if (!rxFifo || rxFifoRead == rxFifoWrite)
            return false;
        if (!RxDataBufferReadAndDeleteNext(&frame)) {
            QLOG_ERROR("processRxBuffer") << "QCAN RXBuffer read error";
            return false;
        }
        for (auto& entry : registeredParsers)
            if (entry.second)
                handlers.push_back(entry.second);
    }
    bool result = false;
    for (RegisteredFrameHandler handler : handlers)
        result = handler(&frame, nullptr);
    return result;
}

void SensorManager::setMaxReceivedFiFoSize(unsigned int size, int)
{
    wxCriticalSectionLocker guard(fifoLock);
    maxReceivedFifoSize = size;
}

void SensorManager::clearReceivedMessagesFifo()
{
    wxCriticalSectionLocker guard(fifoLock);
    rxFifoRead = 0;
    rxFifoWrite = 0;
    rxFifoCount = 0;
}

void SensorManager::startCUAThread()
{
    startThread();
}

bool SensorManager::startThread()
{
    joinEndedThread();
    // A thread that ended after that join is joined on the way out, after the thread lock.
    const auto join = [](SensorManagerThread* t) {
        if (t) {
            t->Wait();
            delete t;
        }
    };
    std::unique_ptr<SensorManagerThread, decltype(join)> ended(nullptr, join);
    std::lock_guard<std::mutex> starting(threadLock);
    {
        wxCriticalSectionLocker guard(stateLock);
        if (threadRunning)
            return threadRun;  // looping, or winding down and about to remove every adapter
    }
    ended.reset(thread);
    thread = nullptr;
    SensorManagerThread* created = new SensorManagerThread();
    if (created->Create(SensorManagerThread::STACK_SIZE) != wxTHREAD_NO_ERROR) {
        {
            wxCriticalSectionLocker guard(stateLock);
            threadRun = false;
            notifier.Post();
            threadRunning = false;
        }
        QLOG_ERROR("startCUAThread") << "SensorManager Cannot start thread";
        delete created;  // never ran: a joinable thread object that was not started is deleted
        return false;
    }
    {
        wxCriticalSectionLocker guard(stateLock);
        threadRun = true;
        notifier.Post();
        // Marked running before Run: the thread may end before Run returns.
        threadRunning = true;
    }
    if (created->Run() != wxTHREAD_NO_ERROR) {
        wxCriticalSectionLocker guard(stateLock);
        threadRunning = false;
        threadRun = false;
        delete created;
        return false;
    }
    thread = created;
    return true;
}

bool SensorManager::hasManagerThread()
{
    std::lock_guard<std::mutex> guard(threadLock);
    return thread != nullptr;
}

void SensorManager::joinEndedThread()
{
    // Once threadRunning is false the thread has done its last act and is only returning. Joining
    // it makes its end, the clean-up of the thread by wxWidgets included, happen before whatever
    // the caller does next. It is taken out under the thread lock and joined after it: a join in
    // the main thread gives up and re-takes wxWidgets' GUI mutex, which must not come inside ours.
    SensorManagerThread* ended = nullptr;
    {
        std::lock_guard<std::mutex> joining(threadLock);
        if (!thread || wxThread::This() == thread || isThreadRunning())
            return;
        ended = thread;
        thread = nullptr;
    }
    ended->Wait();
    delete ended;
}

bool SensorManager::waitThreadEnd(unsigned long timeoutMs)
{
    {
        std::unique_lock<std::mutex> lock(threadEndMutex);
        threadEnded.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !isThreadRunning(); });
    }
    if (isThreadRunning())
        return false;
    joinEndedThread();
    return true;
}

void SensorManager::stopCUAThread(unsigned int waitMs)
{
    {
        wxCriticalSectionLocker guard(stateLock);
        if (!threadRunning)
            return;
        threadRun = false;
        notifier.Post();
    }
    notifier.Post();
    if (waitMs != 0)
        waitForManagerThreadTermination(waitMs);
}

bool SensorManager::waitForManagerThreadTermination(unsigned long timeoutMs)
{
    if (timeoutMs == 0) {
        QLOG_INFO("waitForManagerThreadTermination")
            << "No wait time, notify and leave SensorManager thread to stop in background";
        notifier.Post();
        return true;
    }
    unsigned long elapsed = 0;
    do {
        if (!isThreadRunning()) {
            waitThreadEnd(0);  // joins it
            QLOG_INFO("waitForManagerThreadTermination") << "Thread stopped";
            return true;
        }
        notifier.Post();
        QLOG_INFO("waitForManagerThreadTermination") << "Wait for thread to stop";
        // Real time, in steps: this waits for a real thread, not for the clock of the plug-in. The
        // end of the thread wakes the wait at once.
        {
            std::unique_lock<std::mutex> lock(threadEndMutex);
            threadEnded.wait_for(lock, std::chrono::milliseconds(50), [this] { return !isThreadRunning(); });
        }
        elapsed += 50;
    } while (timeoutMs > elapsed);
    QLOG_INFO("waitForManagerThreadTermination") << "Thread stop wait timeout";
    return false;
}

void SensorManager::managerThreadDisconnected()
{
    setThreadActive(false);
    QLOG_INFO("managerThreadDisconnected") << "SensorManager Thread stopped";
    for (;;) {
        const QCANDeviceRef first = holdQCANDeviceByIndex(0);
        if (!first)
            break;
        removeQCANDevice(first->getCuaId());
    }
    {
        wxCriticalSectionLocker guard(stateLock);
        threadRunning = false;
    }
    // The last act of the thread: whoever waits for its end may now join it.
    std::lock_guard<std::mutex> lock(threadEndMutex);
    threadEnded.notify_all();
}

void SensorManager::disconnect(unsigned long waitMs, int cuaId)
{
    try {
        if (getQCANDeviceCount() == 0 || !isSensorManagerEnabled() || !getThreadRun())
            return;
        auto stopAdapter = [](QCANDevice* device) {
            device->SetTermination(false, true);
            device->SetBusPowerSwitch(0, true);
            device->setReconn(false);
            device->Disconnect(QCAN_DISCONNECT_LATER);
        };
        if (cuaId > 0) {
            const QCANDeviceRef device = holdQCANDeviceByID(cuaId);
            if (!device)
                return;
            const QCANConnStatus s = device->getQCANDevStatus();
            if (s == QCAN_STATUS_DISCONNECTING || s == QCAN_STATUS_DISCONNECTED)
                return;
            QLOG_INFO("disconnect") << "SensorManager::Disconnect Device id" << cuaId;
            stopAdapter(device.get());
            return;
        }
        setSensorManagerEnabled(false);
        running = false;
        const int count = getQCANDeviceCount();
        for (int i = 0; i < count; ++i)
            if (const QCANDeviceRef device = holdQCANDeviceByIndex(i))
                stopAdapter(device.get());
        setThreadRun(false);
        // A thread that is on its way out of its loop is no longer active but still removing its
        // adapters, and one that has already ended is still to be joined: both are waited for, so
        // the outcome does not depend on how fast the thread ends. Only without a thread object at
        // all is there nothing to wait for.
        if (!getThreadActive() && !isThreadRunning() && !hasManagerThread()) {
            wxCriticalSectionLocker guard(stateLock);
            threadRun = false;
            return;
        }
        if (waitMs == 0)
            return;
        if (!waitForManagerThreadTermination(waitMs))
            QLOG_WARN("disconnect") << "SensorManager called all devices to stop, but thread didn't stop before timeout";
    } catch (const std::exception& e) {
        QLOG_ERROR("disconnect") << "SensorManager::Disconnect(" << cuaId << " ) ( :" << e.what();
    }
}

// --- frame views ---------------------------------------------------------------------------------

namespace {

void fill(_TQUIL1G5_CAN_FRAME_HEADER& out, const _TGENERIC_CAN_FRAME_HEADER& in)
{
    const uint32_t id = in.id;
    const uint8_t rtr = in.rtr;
    const uint16_t dlc = in.dlc;
    out.devType = static_cast<uint8_t>((id >> 8) & 0x7F);
    out.devNumber = static_cast<uint8_t>(id & 0x7F);
    out.msg = static_cast<uint8_t>((id >> 21) & 0xFF);
    out.cmd = static_cast<uint8_t>((id >> 18) & 7);
    out.err = static_cast<uint8_t>((id >> 7) & 1);
    out.rtr = rtr;
    out.dlc = dlc;
}

void fill(_TGENERIC_CAN_FRAME_HEADER& out, const _TQUIL1G5_CAN_FRAME_HEADER& in)
{
    // Fields are added as stored, not masked; only the lowest bit of err counts.
    const uint32_t id = static_cast<uint32_t>(in.msg) * (1u << 21) + static_cast<uint32_t>(in.cmd) * (1u << 18) +
                        static_cast<uint32_t>(in.devType) * (1u << 8) + in.devNumber + 128u * (in.err & 1u);
    const uint8_t rtr = in.rtr;
    const uint16_t dlc = in.dlc;
    out.id = id;
    out.ext = 1;
    out.rtr = rtr;
    out.dlc = dlc;
}

// A frame in the other view: its header converted, the same eight data bytes.
template <class Out, class In>
void fill(Out& out, const In& in)
{
    fill(out.header, in.header);
    std::memcpy(out.data, in.data, sizeof out.data);
}

// A new header or frame in the other view; the caller owns it.
template <class Out, class In>
Out* copyAs(const In& in)
{
    Out* out = new Out;
    fill(*out, in);
    return out;
}

// The header rewritten in the other view where it lies; both views have the same size.
template <class Out, class In>
Out* rewriteAs(In* header)
{
    static_assert(sizeof(Out) == sizeof(In), "both views of a header have one size");
    const In in = *header;
    Out* out = reinterpret_cast<Out*>(header);
    fill(*out, in);
    return out;
}

}  // namespace

_TQUIL1G5_CAN_FRAME_HEADER* SensorManager::genericHeader2Quil_copy(const _TGENERIC_CAN_FRAME_HEADER& header)
{
    return copyAs<_TQUIL1G5_CAN_FRAME_HEADER>(header);
}

_TQUIL1G5_CAN_FRAME* SensorManager::genericFrame2Quil_copy(const _TGENERIC_CAN_FRAME& frame)
{
    return copyAs<_TQUIL1G5_CAN_FRAME>(frame);
}

_TGENERIC_CAN_FRAME_HEADER* SensorManager::quilHeader2Generic_copy(const _TQUIL1G5_CAN_FRAME_HEADER& header)
{
    return copyAs<_TGENERIC_CAN_FRAME_HEADER>(header);
}

_TGENERIC_CAN_FRAME* SensorManager::quilFrame2Generic_copy(const _TQUIL1G5_CAN_FRAME& frame)
{
    return copyAs<_TGENERIC_CAN_FRAME>(frame);
}

_TQUIL1G5_CAN_FRAME_HEADER* SensorManager::GenMsgHdr2Quil_InPlace(_TGENERIC_CAN_FRAME_HEADER* header)
{
    return rewriteAs<_TQUIL1G5_CAN_FRAME_HEADER>(header);
}

_TGENERIC_CAN_FRAME_HEADER* SensorManager::QuilMsgHdr2Gen_InPlace(_TQUIL1G5_CAN_FRAME_HEADER* header)
{
    return rewriteAs<_TGENERIC_CAN_FRAME_HEADER>(header);
}

_TQUIL1G5_CAN_FRAME* SensorManager::GenMsg2Quil_InPlace(_TGENERIC_CAN_FRAME* frame)
{
    GenMsgHdr2Quil_InPlace(&frame->header);
    return reinterpret_cast<_TQUIL1G5_CAN_FRAME*>(frame);
}

_TGENERIC_CAN_FRAME* SensorManager::QuilMsg2Gen_InPlace(_TQUIL1G5_CAN_FRAME* frame)
{
    QuilMsgHdr2Gen_InPlace(&frame->header);
    return reinterpret_cast<_TGENERIC_CAN_FRAME*>(frame);
}

bool SensorManager::checkJ1939Header(unsigned int id, int pf, int ps, int sa)
{
    if (pf != -1 && static_cast<int>((id >> 16) & 0xFF) != pf)
        return false;
    if (ps != -1 && static_cast<int>((id >> 8) & 0xFF) != ps)
        return false;
    if (sa != -1 && static_cast<int>(id & 0xFF) != sa)
        return false;
    return true;
}

}  // namespace Sensors
