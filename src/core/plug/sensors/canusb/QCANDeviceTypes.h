#pragma once

// Plain records and enumerations of an adapter object, shared by the manager and the host.

#include <cstdint>

#include <wx/string.h>

#include "CANFrameTypes.h"

// Connection status of one adapter.
enum QCANConnStatus : int32_t {
    QCAN_STATUS_ERROR = -1,
    QCAN_STATUS_UNINITIALIZED = 0,
    QCAN_STATUS_INITIALIZED = 1,
    QCAN_STATUS_CONNECTING = 2,
    QCAN_STATUS_CONNECTED = 3,
    QCAN_STATUS_TIMEOUT = 4,
    QCAN_STATUS_HALT = 5,
    QCAN_STATUS_RESTORE = 6,
    QCAN_STATUS_DISCONNECTING = 7,
    QCAN_STATUS_DISCONNECTED = 8,
    QCAN_STATUS_CLEANUP = 9,
    QCAN_STATUS_CLEANUP_FINAL = 10  // same text as CLEANUP; nothing leads to it
};

// Argument of QCANDevice::Disconnect: close at once, or leave the closing to the next passes.
enum QCANDisConnOption : int32_t {
    QCAN_DISCONNECT_NOW = 0,
    QCAN_DISCONNECT_LATER = 1
};

// What getDeviceInfo reports of one adapter.
struct QCANDeviceInfo {
    wxString name;
    wxString description;
    wxString vendor;
    int cuaId = 0;
    QCANConnStatus status = QCAN_STATUS_UNINITIALIZED;
    ECANBaud baud = CAN_BAUD_NONE;
    ECANMode mode = CAN_MODE_UNKNOWN;
    ECANBusState busState = CAN_BUS_UNKNOWN;
};

// The received-frame counters of one adapter: accepted, parsed, dropped on overflow, and four
// counters kept for the diagnostics windows that stay 0.
struct QCANReceived {
    int rxTotal = 0;
    int rxParsed = 0;
    int rxOverflow = 0;
    int reserved1 = 0;
    int reserved2 = 0;
    int reserved3 = 0;
    int reserved4 = 0;
};

enum PARSE_RESULT : int32_t {
    PARSE_RESULT_ERROR = 0,           // bad arguments; the next parser is tried
    PARSE_RESULT_UNKNOWN = 1,         // not a frame of this parser
    PARSE_RESULT_SENSOR_MISSING = 2,  // recognised, sensor absent and creation not allowed
    PARSE_RESULT_OK = 3               // handed to its sensor
};

// A frame parser: called with an RxCANFrameT*, the receiving QCANDevice* and its registered context.
typedef PARSE_RESULT (*QCANParserFunction)(void* frame, void* device, void* context);

struct _QCANParserInfo {
    uint32_t id;
    QCANParserFunction parser;
    void* context;
};
