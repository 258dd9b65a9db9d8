#pragma once

// The binding of the CAN-USB adapter library: every export the plug-in uses, with its function
// type, listed once and looked up in one place when the library is loaded. Calls go through the
// typed pointers of this object; a missing export is a null pointer, found at load time.

#include <memory>

#include <wx/dynlib.h>
#include <wx/string.h>

#include "CANFrameTypes.h"

#if defined(_WIN32) && !defined(_WIN64)
#define QCAN_CALLCONV __stdcall
#else
#define QCAN_CALLCONV
#endif

extern "C" {
// Every function type here is exactly the library's own (const pointers, int where it takes or gives
// a mode, rate or bus state): a call through a pointer of another type is undefined, even when the
// calling convention happens to agree.
typedef void(QCAN_CALLCONV* QCANRxCallback)(void* ptr, unsigned short value, const _TGENERIC_CAN_FRAME_HEADER* header,
                                            const unsigned char* data, void* device);
typedef void(QCAN_CALLCONV* QCANStatusCallback)(void* ptr, int mode, int busState, void* device);
typedef void(QCAN_CALLCONV* QCANTxCallback)(void* device, void* ptr, int value, unsigned short value2);

typedef void(QCAN_CALLCONV* QCANTableEntry)(void);

typedef void*(QCAN_CALLCONV* QCAN_InitializeLibrary_t)(void);
typedef void(QCAN_CALLCONV* QCAN_UnInitializeLibrary_t)(void* context);
typedef int(QCAN_CALLCONV* QCAN_GetBuildString_t)(void* context, char* buffer, int size);
typedef void*(QCAN_CALLCONV* QCAN_CreateDeviceList_t)(void* context);
typedef int(QCAN_CALLCONV* QCAN_GetDeviceCount_t)(void* list);
typedef int(QCAN_CALLCONV* QCAN_GetInterfaceText_t)(void* list, int index, char* buffer, int size);
typedef void(QCAN_CALLCONV* QCAN_DestroyDeviceList_t)(void* list);
// The library fills the table as plain pointers (void**, as it exports the function); the adapter
// turns them into function entries itself. Calling through any other type is undefined.
typedef void*(QCAN_CALLCONV* QCAN_InitializeCUA_t)(void* context, void** table, const char* name,
                                                   QCANRxCallback rx, QCANStatusCallback status, QCANTxCallback tx,
                                                   void* device1, void* device2, void* device3);

// The adapter's function table, each entry taking the adapter handle first.
typedef void(QCAN_CALLCONV* QCANClose_t)(void* handle);                                  // entry 2
typedef void(QCAN_CALLCONV* QCANSetMode_t)(void* handle, int mode);                      // entry 3
typedef int(QCAN_CALLCONV* QCANGetMode_t)(void* handle);                                 // entry 4
typedef int(QCAN_CALLCONV* QCANGetBaud_t)(void* handle);                                 // entry 6
typedef void(QCAN_CALLCONV* QCANSetBaud_t)(void* handle, int baud);                      // entry 7
typedef int(QCAN_CALLCONV* QCANSend_t)(void* handle, const _TGENERIC_CAN_FRAME_HEADER* header,
                                       const unsigned char* data, int, int, int, int);   // entry 9
typedef void(QCAN_CALLCONV* QCANSetBusPower_t)(void* handle, int on);                    // entry 11
typedef int(QCAN_CALLCONV* QCANGetBusPower_t)(void* handle);                             // entry 12
typedef void(QCAN_CALLCONV* QCANAddFilter_t)(void* handle, unsigned short index, const void* code,
                                             const void* mask, int, int, int);           // entry 13
typedef int(QCAN_CALLCONV* QCANGetStats_t)(void* handle, _TCANStats* stats);             // entry 14
typedef int(QCAN_CALLCONV* QCANGetTermination_t)(void* handle);                          // entry 15
typedef void(QCAN_CALLCONV* QCANSetTermination_t)(void* handle, int on);                 // entry 16
}

enum QCANTableIndex {
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
    QCAN_ENTRY_SET_TERMINATION = 16,
    QCAN_TABLE_SIZE = 17
};

namespace Sensors {

class QCANLibrary {
public:
    static const wxString QCAN_API_DLL_NAME;        // "QCAN_API.dll"
    static const wxString QCAN_API_DEBUG_DLL_NAME;  // "QCAN_API_d.dll", named and never loaded

    QCANLibrary();
    ~QCANLibrary();

    // Where the library is looked for: the folder named by QCAN_API_PATH when it is set, else the
    // plug-in's own folder when the file lies there, else the system's search for the platform name.
    static wxString libraryPath();

    bool load();    // resolve-now; then looks up every export
    void unload();  // forgets every export
    bool isLoaded() const;

    QCAN_InitializeLibrary_t InitializeLibrary;
    QCAN_UnInitializeLibrary_t UnInitializeLibrary;
    QCAN_GetBuildString_t GetBuildString;
    QCAN_CreateDeviceList_t CreateDeviceList;
    QCAN_GetDeviceCount_t GetDeviceCount;
    QCAN_GetInterfaceText_t GetInterfaceFileName;
    QCAN_GetInterfaceText_t GetInterfaceDescription;
    QCAN_DestroyDeviceList_t DestroyDeviceList;
    QCAN_InitializeCUA_t InitializeCUA;

private:
    void clearExports();
    void* lookUp(const char* decoratedName);

    wxDynamicLibrary library_;
};

}  // namespace Sensors
