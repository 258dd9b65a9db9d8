#pragma once

// Builders for the frames a simulated machine puts on the bus. The library keeps its own copy of
// the identifier layouts of the makes it simulates, so that it needs nothing from the plug-in:
//
//   maker protocol (extended): msg bits 21-28 | cmd bits 18-20 | devType bits 8-14 | devNumber bits 0-6
//   J1939 (extended):          priority bits 26-28 | data page bit 24 | PF bits 16-23 | PS bits 8-15 | SA bits 0-7
//   CANopen / Moba / SICK:     standard 11-bit identifiers

#include <cstdint>
#include <initializer_list>

#include "QCANApi.h"

class SimFrame {
public:
    static uint32_t makerId(uint32_t msg, uint32_t cmd, uint32_t devType, uint32_t devNumber);
    // pgn carries the data page in bit 16, PF in bits 8-15 and PS (or 0 for PDU1) in bits 0-7.
    static uint32_t j1939Id(uint32_t priority, uint32_t pgn, uint32_t sourceAddress);

    static _TGENERIC_CAN_FRAME extended(uint32_t id, uint16_t dlc);
    static _TGENERIC_CAN_FRAME standard(uint32_t id, uint16_t dlc);
    static _TGENERIC_CAN_FRAME standard(uint32_t id, std::initializer_list<uint8_t> data);

    // Little-endian writers at byte offset `at` of the frame's data.
    static void putLe16(_TGENERIC_CAN_FRAME& f, int at, uint16_t v);
    static void putLe32(_TGENERIC_CAN_FRAME& f, int at, uint32_t v);
    static void putLe64(_TGENERIC_CAN_FRAME& f, int at, uint64_t v);
    static void putDouble(_TGENERIC_CAN_FRAME& f, double v);  // IEEE 754, little-endian, bytes 0-7
    static void putFloat(_TGENERIC_CAN_FRAME& f, int at, float v);  // IEEE 754, little-endian
};
