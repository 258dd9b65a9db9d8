#pragma once

// Frames as the tests write them.

#include <algorithm>
#include <cstdint>
#include <initializer_list>

#include "CANFrameTypes.h"
#include "MakerId.h"

// A frame carrying the given bytes, its length their count, extended or not as said.
inline _TGENERIC_CAN_FRAME frame(uint32_t id, std::initializer_list<uint8_t> data, bool ext)
{
    _TGENERIC_CAN_FRAME f{};
    f.header.id = id;
    f.header.ext = ext ? 1 : 0;
    f.header.dlc = static_cast<uint16_t>(data.size());
    std::copy(data.begin(), data.end(), f.data);
    return f;
}

// As the bus would carry it: extended exactly when the identifier does not fit 11 bits.
inline _TGENERIC_CAN_FRAME frame(uint32_t id, std::initializer_list<uint8_t> data)
{
    return frame(id, data, id > 0x7FF);
}

// Hands the sensor that frame at the given receive time; what its Parse returns.
template <class S>
bool parse(S& sensor, uint32_t id, std::initializer_list<uint8_t> data, unsigned long long time)
{
    _TGENERIC_CAN_FRAME f = frame(id, data);
    return sensor.Parse(&f, time);
}
