#include "SensorManager.h"

#include <cstring>

#include "Clock.h"
#include "WispEasyWrapper.h"

namespace Sensors {

SensorManager* SensorManager::getInstance()
{
    // One-time construction is thread-safe; the instance is destroyed at process exit.
    static SensorManager instance;
    return &instance;
}

SensorManager::SensorManager()
    : enabled(true),
      threadRunning(false),
      threadRun(false),
      maxReceivedFifoSize(64),
      rxFifo(new RxCANFrameT[64]),
      rxFifoRead(0),
      rxFifoWrite(0),
      rxFifoCount(0),
      notifier(0, 0),
      mainThreadLastTick(0),
      lastConnectTick(0),
      running(true),
      statusCacheTime(0),
      lastCuaId(0),
      threadActive(false),
      adapterCache(nullptr),
      adapterCacheTime(0),
      sensorManagerEnabled(false),
      sensorManagerOK(true)
{
}

SensorManager::~SensorManager()
{
    delete[] rxFifo;
}

unsigned long long SensorManager::getTickCount()
{
    return Clock::wallMs();
}

int SensorManager::sendGenCanMsg(int, _TGENERIC_CAN_FRAME*, bool)
{
    return 0;
}

int SensorManager::sendCanMsg(int cuaId, _TQUIL1G5_CAN_FRAME* frame, bool queued)
{
    if (!frame)
        return -1;
    _TGENERIC_CAN_FRAME* generic = quilFrame2Generic_copy(*frame);
    int result = sendGenCanMsg(cuaId, generic, queued);
    delete generic;
    return result;
}

// --- frame views ---------------------------------------------------------------------------------

namespace {

void fillQuil(_TQUIL1G5_CAN_FRAME_HEADER& out, const _TGENERIC_CAN_FRAME_HEADER& in)
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

void fillGeneric(_TGENERIC_CAN_FRAME_HEADER& out, const _TQUIL1G5_CAN_FRAME_HEADER& in)
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

}  // namespace

_TQUIL1G5_CAN_FRAME_HEADER* SensorManager::genericHeader2Quil_copy(const _TGENERIC_CAN_FRAME_HEADER& header)
{
    _TQUIL1G5_CAN_FRAME_HEADER* out = new _TQUIL1G5_CAN_FRAME_HEADER;
    fillQuil(*out, header);
    return out;
}

_TQUIL1G5_CAN_FRAME* SensorManager::genericFrame2Quil_copy(const _TGENERIC_CAN_FRAME& frame)
{
    _TQUIL1G5_CAN_FRAME* out = new _TQUIL1G5_CAN_FRAME;
    fillQuil(out->header, frame.header);
    std::memcpy(out->data, frame.data, 8);
    return out;
}

_TGENERIC_CAN_FRAME_HEADER* SensorManager::quilHeader2Generic_copy(const _TQUIL1G5_CAN_FRAME_HEADER& header)
{
    _TGENERIC_CAN_FRAME_HEADER* out = new _TGENERIC_CAN_FRAME_HEADER;
    fillGeneric(*out, header);
    return out;
}

_TGENERIC_CAN_FRAME* SensorManager::quilFrame2Generic_copy(const _TQUIL1G5_CAN_FRAME& frame)
{
    _TGENERIC_CAN_FRAME* out = new _TGENERIC_CAN_FRAME;
    fillGeneric(out->header, frame.header);
    std::memcpy(out->data, frame.data, 8);
    return out;
}

_TQUIL1G5_CAN_FRAME_HEADER* SensorManager::GenMsgHdr2Quil_InPlace(_TGENERIC_CAN_FRAME_HEADER* header)
{
    _TGENERIC_CAN_FRAME_HEADER in = *header;
    _TQUIL1G5_CAN_FRAME_HEADER* out = reinterpret_cast<_TQUIL1G5_CAN_FRAME_HEADER*>(header);
    fillQuil(*out, in);
    return out;
}

_TGENERIC_CAN_FRAME_HEADER* SensorManager::QuilMsgHdr2Gen_InPlace(_TQUIL1G5_CAN_FRAME_HEADER* header)
{
    _TQUIL1G5_CAN_FRAME_HEADER in = *header;
    _TGENERIC_CAN_FRAME_HEADER* out = reinterpret_cast<_TGENERIC_CAN_FRAME_HEADER*>(header);
    fillGeneric(*out, in);
    return out;
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
