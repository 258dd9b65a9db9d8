#include "SimFrame.h"

#include <cstring>

uint32_t SimFrame::makerId(uint32_t msg, uint32_t cmd, uint32_t devType, uint32_t devNumber)
{
    return ((msg & 0xFF) << 21) | ((cmd & 7) << 18) | ((devType & 0x7F) << 8) | (devNumber & 0x7F);
}

uint32_t SimFrame::j1939Id(uint32_t priority, uint32_t pgn, uint32_t sourceAddress)
{
    return ((priority & 7) << 26) | ((pgn & 0x1FFFF) << 8) | (sourceAddress & 0xFF);
}

_TGENERIC_CAN_FRAME SimFrame::extended(uint32_t id, uint16_t dlc)
{
    _TGENERIC_CAN_FRAME f{};
    f.header.id = id & 0x1FFFFFFF;
    f.header.ext = 1;
    f.header.dlc = dlc;
    return f;
}

_TGENERIC_CAN_FRAME SimFrame::standard(uint32_t id, uint16_t dlc)
{
    _TGENERIC_CAN_FRAME f{};
    f.header.id = id & 0x7FF;
    f.header.dlc = dlc;
    return f;
}

_TGENERIC_CAN_FRAME SimFrame::standard(uint32_t id, std::initializer_list<uint8_t> data)
{
    _TGENERIC_CAN_FRAME f = standard(id, static_cast<uint16_t>(data.size() > 8 ? 8 : data.size()));
    int i = 0;
    for (uint8_t b : data) {
        if (i == 8)
            break;
        f.data[i++] = b;
    }
    return f;
}

void SimFrame::putLe16(_TGENERIC_CAN_FRAME& f, int at, uint16_t v)
{
    f.data[at] = static_cast<uint8_t>(v);
    f.data[at + 1] = static_cast<uint8_t>(v >> 8);
}

void SimFrame::putLe32(_TGENERIC_CAN_FRAME& f, int at, uint32_t v)
{
    putLe16(f, at, static_cast<uint16_t>(v));
    putLe16(f, at + 2, static_cast<uint16_t>(v >> 16));
}

void SimFrame::putLe64(_TGENERIC_CAN_FRAME& f, int at, uint64_t v)
{
    putLe32(f, at, static_cast<uint32_t>(v));
    putLe32(f, at + 4, static_cast<uint32_t>(v >> 32));
}

void SimFrame::putDouble(_TGENERIC_CAN_FRAME& f, double v)
{
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    putLe64(f, 0, bits);
}

void SimFrame::putFloat(_TGENERIC_CAN_FRAME& f, int at, float v)
{
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    putLe32(f, at, bits);
}
