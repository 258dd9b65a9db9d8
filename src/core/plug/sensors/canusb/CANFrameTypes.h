#pragma once

// The frame records exchanged with the adapter library and handed to every parser, and the small
// enumerations of the adapter state. The records cross into foreign code by memory layout, so
// their sizes and offsets are checked below at compile time.

#include <cstddef>
#include <cstdint>

#include <wx/string.h>

// A CAN frame header as the adapter library takes and delivers it.
typedef struct _TGENERIC_CAN_FRAME_HEADER {
    uint32_t id;   // right-aligned: 11 bits standard, 29 bits extended
    uint8_t ext;   // 1 = extended identifier
    uint8_t rtr;   // 1 = remote transmission request
    uint16_t dlc;  // valid data bytes, 0 to 8
} _TGENERIC_CAN_FRAME_HEADER;

typedef struct _TGENERIC_CAN_FRAME {
    _TGENERIC_CAN_FRAME_HEADER header;
    uint8_t data[8];
} _TGENERIC_CAN_FRAME;

// The maker's view of an extended identifier, one byte per field:
//   bits 0-6 devNumber | bit 7 err | bits 8-14 devType | bits 15-17 zero | bits 18-20 cmd | bits 21-28 msg
typedef struct _TQUIL1G5_CAN_FRAME_HEADER {
    uint8_t devType;
    uint8_t devNumber;
    uint8_t msg;
    uint8_t cmd;
    uint8_t err;
    uint8_t rtr;
    uint16_t dlc;
} _TQUIL1G5_CAN_FRAME_HEADER;

typedef struct _TQUIL1G5_CAN_FRAME {
    _TQUIL1G5_CAN_FRAME_HEADER header;
    uint8_t data[8];
} _TQUIL1G5_CAN_FRAME;

// A received frame as it travels through receive rings and parsers; copied by value.
struct RxCANFrameT {
    _TGENERIC_CAN_FRAME frame;
    uint64_t time;       // wall-clock ms: reception, then the time it entered a ring
    uint16_t reserved;   // always 0
    int32_t cuaId;       // adapter that received it
    bool createAllowed;  // a parser may create a missing sensor only when true
};

// Counters the adapter library fills on request; opaque to the plug-in.
typedef struct _TCANStats {
    uint32_t counter[9];
} _TCANStats;

enum ECANBaud : int32_t {
    CAN_BAUD_0 = 0,
    CAN_BAUD_125K = 1,
    CAN_BAUD_250K = 2,
    CAN_BAUD_500K = 3,
    CAN_BAUD_1M = 4,
    CAN_BAUD_NONE = 5  // no valid rate reported
};

enum ECANMode : int32_t {
    CAN_MODE_DISABLED = 0,
    CAN_MODE_UNKNOWN = 1,
    CAN_MODE_CONFIG = 2,
    CAN_MODE_NORMAL = 3,
    CAN_MODE_LOOPBACK = 4,
    CAN_MODE_LISTEN_ONLY = 5,
    CAN_MODE_SLEEP = 6
};

enum ECANBusState : int32_t {
    CAN_BUS_HW_FAILURE = -1,
    CAN_BUS_UNKNOWN = 0,
    CAN_BUS_ON = 1,
    CAN_BUS_ERR_ACTIVE = 2,
    CAN_BUS_ERR_PASSIVE = 3,
    CAN_BUS_OFF = 4
};

static_assert(sizeof(_TGENERIC_CAN_FRAME_HEADER) == 8, "generic header is 8 bytes");
static_assert(offsetof(_TGENERIC_CAN_FRAME_HEADER, id) == 0, "id at 0");
static_assert(offsetof(_TGENERIC_CAN_FRAME_HEADER, ext) == 4, "ext at 4");
static_assert(offsetof(_TGENERIC_CAN_FRAME_HEADER, rtr) == 5, "rtr at 5");
static_assert(offsetof(_TGENERIC_CAN_FRAME_HEADER, dlc) == 6, "dlc at 6");
static_assert(sizeof(_TGENERIC_CAN_FRAME) == 16, "generic frame is 16 bytes");
static_assert(offsetof(_TGENERIC_CAN_FRAME, data) == 8, "data at 8");
static_assert(sizeof(_TQUIL1G5_CAN_FRAME_HEADER) == 8, "maker header is 8 bytes");
static_assert(offsetof(_TQUIL1G5_CAN_FRAME_HEADER, devType) == 0, "devType at 0");
static_assert(offsetof(_TQUIL1G5_CAN_FRAME_HEADER, devNumber) == 1, "devNumber at 1");
static_assert(offsetof(_TQUIL1G5_CAN_FRAME_HEADER, msg) == 2, "msg at 2");
static_assert(offsetof(_TQUIL1G5_CAN_FRAME_HEADER, cmd) == 3, "cmd at 3");
static_assert(offsetof(_TQUIL1G5_CAN_FRAME_HEADER, err) == 4, "err at 4");
static_assert(offsetof(_TQUIL1G5_CAN_FRAME_HEADER, rtr) == 5, "rtr at 5");
static_assert(offsetof(_TQUIL1G5_CAN_FRAME_HEADER, dlc) == 6, "dlc at 6");
static_assert(sizeof(_TQUIL1G5_CAN_FRAME) == 16, "maker frame is 16 bytes");
static_assert(offsetof(_TQUIL1G5_CAN_FRAME, data) == 8, "data at 8");
static_assert(sizeof(RxCANFrameT) == 40, "received frame record is 40 bytes");
static_assert(offsetof(RxCANFrameT, frame) == 0 && offsetof(RxCANFrameT, time) == 16 &&
                  offsetof(RxCANFrameT, reserved) == 24 && offsetof(RxCANFrameT, cuaId) == 28 &&
                  offsetof(RxCANFrameT, createAllowed) == 32,
              "received frame field order");
static_assert(sizeof(_TCANStats) == 36, "nine 32-bit counters");
static_assert(sizeof(ECANBaud) == 4 && sizeof(ECANMode) == 4 && sizeof(ECANBusState) == 4, "32-bit enums");

namespace Sensors {

// kbit/s of a rate: -1 for "no valid rate" (5), -2 for anything unknown.
int getBaudrateAsInt(ECANBaud baud);
wxString translateCANModeString(ECANMode mode);
wxString translateCANBusStateString(ECANBusState state);

}  // namespace Sensors
