#ifndef QCAN_API_H
#define QCAN_API_H

/*
 * The C interface of the CAN-USB adapter library: the records exchanged with a caller, the
 * callback types, the types of the 17 adapter function-table entries, the library exports and the
 * control exports through which tests drive dummy adapters.
 *
 * Callers load the library at run time and look the exports up by name; this header is for the
 * library itself and for programs that want the exact types. Its records repeat, byte for byte, the
 * layouts a caller uses, and are checked below.
 */

#include <stdint.h>

#ifndef __cplusplus
#error "QCANApi.h declares its enumerations with a fixed 32-bit type and needs C++"
#endif

#if defined(_WIN32) && !defined(_WIN64)
#define QCAN_CALL __stdcall
#else
#define QCAN_CALL
#endif

#if defined(_WIN32)
#define QCAN_EXPORT __declspec(dllexport)
#else
#define QCAN_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* One CAN frame header: identifier right-aligned (11 or 29 bits), flags, valid data bytes. */
typedef struct _TGENERIC_CAN_FRAME_HEADER {
    uint32_t id;
    uint8_t ext;  /* 1 = 29-bit identifier */
    uint8_t rtr;  /* 1 = remote transmission request */
    uint16_t dlc; /* 0 to 8 */
} _TGENERIC_CAN_FRAME_HEADER;

typedef struct _TGENERIC_CAN_FRAME {
    _TGENERIC_CAN_FRAME_HEADER header;
    uint8_t data[8];
} _TGENERIC_CAN_FRAME;

/* Nine counters filled by table entry 14; the order is listed in QCANStatsIndex. */
typedef struct _TCANStats {
    uint32_t counter[9];
} _TCANStats;

enum QCANStatsIndex {
    QCAN_STAT_RX_FRAMES = 0,     /* frames delivered to the receive callback */
    QCAN_STAT_TX_FRAMES = 1,     /* frames accepted by the send entry */
    QCAN_STAT_RX_BYTES = 2,      /* data bytes delivered */
    QCAN_STAT_TX_BYTES = 3,      /* data bytes sent */
    QCAN_STAT_RX_DROPPED = 4,    /* received frames lost (queue full, socket overrun) */
    QCAN_STAT_TX_FAILED = 5,     /* send calls refused */
    QCAN_STAT_STATUS_REPORTS = 6,/* status callbacks made */
    QCAN_STAT_BUS_ERRORS = 7,    /* error frames seen on the bus */
    QCAN_STAT_UPTIME_S = 8       /* seconds since the adapter was opened */
};

/* The adapter settings and bus state, identical to the caller's enumerations. */
enum ECANBaud : int32_t {
    CAN_BAUD_0 = 0,
    CAN_BAUD_125K = 1,
    CAN_BAUD_250K = 2,
    CAN_BAUD_500K = 3,
    CAN_BAUD_1M = 4,
    CAN_BAUD_NONE = 5  /* no valid rate */
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

/* Callbacks run on the adapter's own threads. "device" is the first device pointer given to
 * QCAN_InitializeCUA. The first two receive arguments carry no meaning (NULL and 0). */
typedef void(QCAN_CALL* QCAN_RxCallback)(void* ptr, unsigned short value, const _TGENERIC_CAN_FRAME_HEADER* header,
                                         const unsigned char* data8, void* device);
typedef void(QCAN_CALL* QCAN_StatusCallback)(void* ptr, int mode, int busState, void* device);
/* After each sent frame: ptr NULL, value 1, value2 0. */
typedef void(QCAN_CALL* QCAN_TxCallback)(void* device, void* ptr, int value, unsigned short value2);

/* The adapter function table filled by QCAN_InitializeCUA; every entry takes the handle first. */
enum { QCAN_TABLE_SIZE = 17 };
typedef void(QCAN_CALL* QCAN_Fn_Reserved)(void* handle);                                    /* 0, 1, 5, 8, 10 */
typedef void(QCAN_CALL* QCAN_Fn_Close)(void* handle);                                       /* 2 */
typedef void(QCAN_CALL* QCAN_Fn_SetMode)(void* handle, int mode);                           /* 3 */
typedef int(QCAN_CALL* QCAN_Fn_GetMode)(void* handle);                                      /* 4 */
typedef int(QCAN_CALL* QCAN_Fn_GetBaud)(void* handle);                                      /* 6 */
typedef void(QCAN_CALL* QCAN_Fn_SetBaud)(void* handle, int baud);                           /* 7 */
typedef int(QCAN_CALL* QCAN_Fn_Send)(void* handle, const _TGENERIC_CAN_FRAME_HEADER* header,
                                     const unsigned char* data, int a, int b, int c, int d); /* 9: 1 = sent */
typedef void(QCAN_CALL* QCAN_Fn_SetBusPower)(void* handle, int on);                         /* 11 */
typedef int(QCAN_CALL* QCAN_Fn_GetBusPower)(void* handle);                                  /* 12: <0 unsupported */
typedef void(QCAN_CALL* QCAN_Fn_AddFilter)(void* handle, unsigned short index, const void* code8,
                                           const void* mask8, int a, int b, int c);        /* 13 */
typedef int(QCAN_CALL* QCAN_Fn_GetStats)(void* handle, _TCANStats* stats);                  /* 14: >0 filled */
typedef int(QCAN_CALL* QCAN_Fn_GetTermination)(void* handle);                               /* 15 */
typedef void(QCAN_CALL* QCAN_Fn_SetTermination)(void* handle, int on);                      /* 16 */

enum QCANTableEntry {
    QCAN_ENTRY_CLOSE = 2,
    QCAN_ENTRY_SET_MODE = 3,
    QCAN_ENTRY_GET_MODE = 4,
    QCAN_ENTRY_GET_BAUD = 6,
    QCAN_ENTRY_SET_BAUD = 7,
    QCAN_ENTRY_SEND = 9,
    QCAN_ENTRY_SET_BUS_POWER = 11,
    QCAN_ENTRY_GET_BUS_POWER = 12,
    QCAN_ENTRY_ADD_FILTER = 13,
    QCAN_ENTRY_GET_STATS = 14,
    QCAN_ENTRY_GET_TERMINATION = 15,
    QCAN_ENTRY_SET_TERMINATION = 16
};

/* Library exports. */
#ifndef QCAN_API_NO_INIT_EXPORTS
QCAN_EXPORT void* QCAN_CALL QCAN_InitializeLibrary(void);
QCAN_EXPORT void QCAN_CALL QCAN_UnInitializeLibrary(void* ctx);
#endif
QCAN_EXPORT int QCAN_CALL QCAN_GetBuildString(void* ctx, char* buf, int size);
QCAN_EXPORT void* QCAN_CALL QCAN_CreateDeviceList(void* ctx);
QCAN_EXPORT int QCAN_CALL QCAN_GetDeviceCount(void* list);
QCAN_EXPORT int QCAN_CALL QCAN_GetInterfaceFileName(void* list, int index, char* buf, int size);
QCAN_EXPORT int QCAN_CALL QCAN_GetInterfaceDescription(void* list, int index, char* buf, int size);
QCAN_EXPORT void QCAN_CALL QCAN_DestroyDeviceList(void* list);
QCAN_EXPORT void* QCAN_CALL QCAN_InitializeCUA(void* ctx, void** table, const char* interfaceName, QCAN_RxCallback rx,
                                                QCAN_StatusCallback status, QCAN_TxCallback tx, void* dev1,
                                                void* dev2, void* dev3);

/* Control of dummy adapters (plain C calling convention everywhere). Names are adapter names;
 * a name's state is created on first mention. Functions returning int return 1 on success and 0
 * on failure unless noted. */
QCAN_EXPORT void QCANTest_Reset(void);
QCAN_EXPORT void QCANTest_SetLibraryFaults(int refuseInitialize, int failDeviceList);
QCAN_EXPORT void QCANTest_SetBuildString(const char* text);
QCAN_EXPORT int QCANTest_SetRefuseOpen(const char* name, int refuse);
QCAN_EXPORT int QCANTest_SetStatusReports(const char* name, int on);
QCAN_EXPORT int QCANTest_SetBusState(const char* name, int state);
QCAN_EXPORT int QCANTest_ReportStatusNow(const char* name);
QCAN_EXPORT int QCANTest_SetReportedBaud(const char* name, int baud);
QCAN_EXPORT int QCANTest_SetReportedMode(const char* name, int mode);
QCAN_EXPORT int QCANTest_SetReportedTermination(const char* name, int on);
QCAN_EXPORT int QCANTest_SetReportedBusPower(const char* name, int power);
QCAN_EXPORT int QCANTest_SetStatsFail(const char* name, int fail);
QCAN_EXPORT int QCANTest_InjectFrame(const char* name, unsigned int id, int ext, int rtr, int dlc,
                                     const unsigned char* data);
QCAN_EXPORT int QCANTest_WaitRxDelivered(const char* name, int timeoutMs);
QCAN_EXPORT int QCANTest_GetSentCount(const char* name);
QCAN_EXPORT int QCANTest_GetSentFrame(const char* name, int index, void* frame16);
QCAN_EXPORT void QCANTest_ClearSent(const char* name);
QCAN_EXPORT int QCANTest_IsOpen(const char* name);
QCAN_EXPORT int QCANTest_GetOpenCount(const char* name);
QCAN_EXPORT int QCANTest_GetSettings(const char* name, int* baud, int* mode, int* termination, int* busPower);
QCAN_EXPORT int QCANTest_GetCallCount(const char* name, int entry);

#ifdef __cplusplus
}  // extern "C"

#include <cstddef>
static_assert(sizeof(_TGENERIC_CAN_FRAME_HEADER) == 8, "frame header is 8 bytes");
static_assert(offsetof(_TGENERIC_CAN_FRAME_HEADER, ext) == 4 && offsetof(_TGENERIC_CAN_FRAME_HEADER, rtr) == 5 &&
                  offsetof(_TGENERIC_CAN_FRAME_HEADER, dlc) == 6,
              "frame header field offsets");
static_assert(sizeof(_TGENERIC_CAN_FRAME) == 16 && offsetof(_TGENERIC_CAN_FRAME, data) == 8, "frame is 16 bytes");
static_assert(sizeof(_TCANStats) == 36, "nine 32-bit counters");
static_assert(sizeof(ECANBaud) == 4 && sizeof(ECANMode) == 4 && sizeof(ECANBusState) == 4, "32-bit enums");
#endif

#endif /* QCAN_API_H */
