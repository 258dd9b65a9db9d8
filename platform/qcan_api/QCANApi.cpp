// The C exports of the adapter library and the adapter function table. Every call goes through
// the AdapterLibrary registry, so a handle that was closed meanwhile gets the failure value of
// its entry instead of reaching a freed adapter.

#include "QCANApi.h"

#include <cstring>

#include "AdapterLibrary.h"

namespace {

AdapterLibrary& lib()
{
    return AdapterLibrary::instance();
}

// The adapter behind a handle, with the call counted; null for a stale handle.
std::shared_ptr<Adapter> entered(void* handle, int entry)
{
    std::shared_ptr<Adapter> a = lib().adapter(handle);
    if (a)
        a->countCall(entry);
    return a;
}

// Entries 0, 1, 5, 8 and 10 are present for the table's sake only.
void QCAN_CALL entryReserved0(void* h) { entered(h, 0); }
void QCAN_CALL entryReserved1(void* h) { entered(h, 1); }
void QCAN_CALL entryReserved5(void* h) { entered(h, 5); }
void QCAN_CALL entryReserved8(void* h) { entered(h, 8); }
void QCAN_CALL entryReserved10(void* h) { entered(h, 10); }

void QCAN_CALL entryClose(void* h)
{
    if (entered(h, QCAN_ENTRY_CLOSE))
        lib().closeAdapter(h);
}

void QCAN_CALL entrySetMode(void* h, int mode)
{
    if (auto a = entered(h, QCAN_ENTRY_SET_MODE))
        a->setMode(mode);
}

int QCAN_CALL entryGetMode(void* h)
{
    auto a = entered(h, QCAN_ENTRY_GET_MODE);
    return a ? a->getMode() : CAN_MODE_UNKNOWN;
}

int QCAN_CALL entryGetBaud(void* h)
{
    auto a = entered(h, QCAN_ENTRY_GET_BAUD);
    return a ? a->getBaud() : CAN_BAUD_NONE;
}

void QCAN_CALL entrySetBaud(void* h, int baud)
{
    if (auto a = entered(h, QCAN_ENTRY_SET_BAUD))
        a->setBaud(baud);
}

int QCAN_CALL entrySend(void* h, const _TGENERIC_CAN_FRAME_HEADER* header, const unsigned char* data, int, int, int,
                        int)
{
    auto a = entered(h, QCAN_ENTRY_SEND);
    if (!a || !header || header->dlc > 8 || (header->dlc > 0 && !data))
        return 0;
    // Only dlc bytes are the caller's; the rest of the frame stays zero.
    _TGENERIC_CAN_FRAME frame{};
    frame.header = *header;
    if (header->dlc > 0)
        std::memcpy(frame.data, data, header->dlc);
    return a->send(frame);
}

void QCAN_CALL entrySetBusPower(void* h, int on)
{
    if (auto a = entered(h, QCAN_ENTRY_SET_BUS_POWER))
        a->setBusPower(on);
}

int QCAN_CALL entryGetBusPower(void* h)
{
    auto a = entered(h, QCAN_ENTRY_GET_BUS_POWER);
    return a ? a->getBusPower() : -1;
}

void QCAN_CALL entryAddFilter(void* h, unsigned short index, const void* code8, const void* mask8, int, int, int)
{
    if (auto a = entered(h, QCAN_ENTRY_ADD_FILTER))
        a->addFilter(index, code8, mask8);
}

int QCAN_CALL entryGetStats(void* h, _TCANStats* stats)
{
    auto a = entered(h, QCAN_ENTRY_GET_STATS);
    return a ? a->getStats(stats) : 0;
}

int QCAN_CALL entryGetTermination(void* h)
{
    auto a = entered(h, QCAN_ENTRY_GET_TERMINATION);
    return a ? a->getTermination() : 0;
}

void QCAN_CALL entrySetTermination(void* h, int on)
{
    if (auto a = entered(h, QCAN_ENTRY_SET_TERMINATION))
        a->setTermination(on);
}

template <class F>
void* asEntry(F f)
{
    return reinterpret_cast<void*>(f);
}

void fillTable(void** table)
{
    table[0] = asEntry(&entryReserved0);
    table[1] = asEntry(&entryReserved1);
    table[QCAN_ENTRY_CLOSE] = asEntry(&entryClose);
    table[QCAN_ENTRY_SET_MODE] = asEntry(&entrySetMode);
    table[QCAN_ENTRY_GET_MODE] = asEntry(&entryGetMode);
    table[5] = asEntry(&entryReserved5);
    table[QCAN_ENTRY_GET_BAUD] = asEntry(&entryGetBaud);
    table[QCAN_ENTRY_SET_BAUD] = asEntry(&entrySetBaud);
    table[8] = asEntry(&entryReserved8);
    table[QCAN_ENTRY_SEND] = asEntry(&entrySend);
    table[10] = asEntry(&entryReserved10);
    table[QCAN_ENTRY_SET_BUS_POWER] = asEntry(&entrySetBusPower);
    table[QCAN_ENTRY_GET_BUS_POWER] = asEntry(&entryGetBusPower);
    table[QCAN_ENTRY_ADD_FILTER] = asEntry(&entryAddFilter);
    table[QCAN_ENTRY_GET_STATS] = asEntry(&entryGetStats);
    table[QCAN_ENTRY_GET_TERMINATION] = asEntry(&entryGetTermination);
    table[QCAN_ENTRY_SET_TERMINATION] = asEntry(&entrySetTermination);
}

std::shared_ptr<DummyAdapter> openDummy(const char* name)
{
    return name ? lib().openDummy(name) : nullptr;
}

// Applies a change to a name's dummy state; 0 for a missing name.
template <class F>
int changeDummy(const char* name, F change)
{
    if (!name)
        return 0;
    lib().dummyState(name)->update(change);
    return 1;
}

}  // namespace

extern "C" {

#ifndef QCAN_API_NO_INIT_EXPORTS
void* QCAN_CALL QCAN_InitializeLibrary(void)
{
    return lib().initialize();
}

void QCAN_CALL QCAN_UnInitializeLibrary(void* ctx)
{
    lib().uninitialize(ctx);
}
#endif

int QCAN_CALL QCAN_GetBuildString(void* ctx, char* buf, int size)
{
    return lib().buildString(ctx, buf, size);
}

void* QCAN_CALL QCAN_CreateDeviceList(void* ctx)
{
    return lib().createDeviceList(ctx);
}

int QCAN_CALL QCAN_GetDeviceCount(void* list)
{
    return lib().deviceCount(list);
}

int QCAN_CALL QCAN_GetInterfaceFileName(void* list, int index, char* buf, int size)
{
    return lib().interfaceName(list, index, buf, size);
}

int QCAN_CALL QCAN_GetInterfaceDescription(void* list, int index, char* buf, int size)
{
    return lib().interfaceDescription(list, index, buf, size);
}

void QCAN_CALL QCAN_DestroyDeviceList(void* list)
{
    lib().destroyDeviceList(list);
}

void* QCAN_CALL QCAN_InitializeCUA(void* ctx, void** table, const char* interfaceName, QCAN_RxCallback rx,
                                    QCAN_StatusCallback status, QCAN_TxCallback tx, void* dev1, void*, void*)
{
    if (!table || !interfaceName)
        return nullptr;
    AdapterCallbacks callbacks;
    callbacks.rx = rx;
    callbacks.status = status;
    callbacks.tx = tx;
    callbacks.device = dev1;
    void* handle = lib().openAdapter(ctx, interfaceName, callbacks);
    if (handle)
        fillTable(table);
    return handle;
}

void QCANTest_Reset(void)
{
    lib().reset();
}

void QCANTest_SetLibraryFaults(int refuseInitialize, int failDeviceList)
{
    lib().setLibraryFaults(refuseInitialize != 0, failDeviceList != 0);
}

void QCANTest_SetBuildString(const char* text)
{
    lib().setBuildString(text);
}

int QCANTest_SetRefuseOpen(const char* name, int refuse)
{
    return changeDummy(name, [refuse](DummyConfig& c) { c.refuseOpen = refuse != 0; });
}

int QCANTest_SetStatusReports(const char* name, int on)
{
    if (!changeDummy(name, [on](DummyConfig& c) { c.statusReports = on != 0; }))
        return 0;
    // After this returns no report that began before is still running.
    if (auto a = openDummy(name))
        a->waitReportIdle();
    return 1;
}

int QCANTest_SetBusState(const char* name, int state)
{
    return changeDummy(name, [state](DummyConfig& c) { c.busState = state; });
}

int QCANTest_ReportStatusNow(const char* name)
{
    auto a = openDummy(name);
    return a && a->reportStatusNow(5000) ? 1 : 0;
}

int QCANTest_SetReportedBaud(const char* name, int baud)
{
    return changeDummy(name, [baud](DummyConfig& c) { c.reportedBaud = baud; });
}

int QCANTest_SetReportedMode(const char* name, int mode)
{
    return changeDummy(name, [mode](DummyConfig& c) { c.reportedMode = mode; });
}

int QCANTest_SetReportedTermination(const char* name, int on)
{
    return changeDummy(name, [on](DummyConfig& c) { c.reportedTermination = on; });
}

int QCANTest_SetReportedBusPower(const char* name, int power)
{
    return changeDummy(name, [power](DummyConfig& c) { c.reportedBusPower = power; });
}

int QCANTest_SetStatsFail(const char* name, int fail)
{
    return changeDummy(name, [fail](DummyConfig& c) { c.statsFail = fail != 0; });
}

int QCANTest_InjectFrame(const char* name, unsigned int id, int ext, int rtr, int dlc, const unsigned char* data)
{
    if (dlc < 0 || dlc > 8 || (dlc > 0 && !data))
        return 0;
    auto a = openDummy(name);
    if (!a)
        return 0;
    _TGENERIC_CAN_FRAME f{};
    f.header.id = id;
    f.header.ext = ext ? 1 : 0;
    f.header.rtr = rtr ? 1 : 0;
    f.header.dlc = static_cast<uint16_t>(dlc);
    if (dlc > 0)
        std::memcpy(f.data, data, static_cast<size_t>(dlc));
    return a->inject(f) ? 1 : 0;
}

int QCANTest_WaitRxDelivered(const char* name, int timeoutMs)
{
    auto a = openDummy(name);
    return a && a->waitDelivered(timeoutMs) ? 1 : 0;
}

int QCANTest_GetSentCount(const char* name)
{
    return name ? lib().dummyState(name)->sentCount() : 0;
}

int QCANTest_GetSentFrame(const char* name, int index, void* frame16)
{
    _TGENERIC_CAN_FRAME f;
    if (!name || !frame16 || !lib().dummyState(name)->sentFrame(index, f))
        return 0;
    std::memcpy(frame16, &f, sizeof f);
    return 1;
}

void QCANTest_ClearSent(const char* name)
{
    if (name)
        lib().dummyState(name)->clearSent();
}

int QCANTest_IsOpen(const char* name)
{
    return openDummy(name) ? 1 : 0;
}

int QCANTest_GetOpenCount(const char* name)
{
    return name ? lib().dummyState(name)->openCount() : 0;
}

int QCANTest_GetSettings(const char* name, int* baud, int* mode, int* termination, int* busPower)
{
    if (!name)
        return 0;
    const DummyConfig c = lib().dummyState(name)->config();
    if (baud)
        *baud = c.baud;
    if (mode)
        *mode = c.mode;
    if (termination)
        *termination = c.termination;
    if (busPower)
        *busPower = c.busPower;
    return 1;
}

int QCANTest_GetCallCount(const char* name, int entry)
{
    return name ? lib().dummyState(name)->callCount(entry) : 0;
}

}  // extern "C"
