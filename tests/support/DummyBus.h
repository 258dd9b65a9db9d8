#pragma once

// The dummy adapters of our adapter library, reached the way the plug-in reaches the library:
// run-time loading of the same file. Tests use it to inject frames, read back sent frames and
// produce the adapter faults. Each call goes to the library's QCANTest_ export of the same name.

#include <string>
#include <vector>

#include "CANFrameTypes.h"

class DummyBus {
public:
    // Loads the adapter library the plug-in would load; fails the test when it cannot.
    static DummyBus& instance();

    // Forgets every dummy's state and the library-wide faults.
    void reset() { call<void>("QCANTest_Reset"); }
    void setLibraryFaults(bool refuseInitialize, bool failDeviceList)
    {
        call<void>("QCANTest_SetLibraryFaults", int(refuseInitialize), int(failDeviceList));
    }
    // null: the library's own; "": the call fails.
    void setBuildString(const char* text) { call<void>("QCANTest_SetBuildString", text); }
    void setRefuseOpen(const std::string& name, bool refuse) { on(name, "QCANTest_SetRefuseOpen", refuse); }
    void setStatusReports(const std::string& name, bool on_) { on(name, "QCANTest_SetStatusReports", on_); }
    void setBusState(const std::string& name, int state) { on(name, "QCANTest_SetBusState", state); }
    // Returns after the adapter's status callback has run.
    bool reportStatusNow(const std::string& name) { return call<int>("QCANTest_ReportStatusNow", name.c_str()) == 1; }
    // What the adapter reports back; -1: what was set, for bus power -2: unsupported.
    void setReportedBaud(const std::string& name, int baud) { on(name, "QCANTest_SetReportedBaud", baud); }
    void setReportedTermination(const std::string& name, int v) { on(name, "QCANTest_SetReportedTermination", v); }
    void setReportedBusPower(const std::string& name, int power) { on(name, "QCANTest_SetReportedBusPower", power); }
    void setStatsFail(const std::string& name, bool fail) { on(name, "QCANTest_SetStatsFail", fail); }
    bool inject(const std::string& name, uint32_t id, bool ext, std::vector<uint8_t> data, bool rtr = false);
    bool waitDelivered(const std::string& name, int timeoutMs = 2000)
    {
        return on(name, "QCANTest_WaitRxDelivered", timeoutMs) == 1;
    }
    std::vector<_TGENERIC_CAN_FRAME> sent(const std::string& name);
    void clearSent(const std::string& name) { call<void>("QCANTest_ClearSent", name.c_str()); }
    bool isOpen(const std::string& name) { return call<int>("QCANTest_IsOpen", name.c_str()) == 1; }
    int openCount(const std::string& name) { return call<int>("QCANTest_GetOpenCount", name.c_str()); }
    // Last values set through the adapter's table: rate, mode, termination, bus power.
    bool settings(const std::string& name, int& baud, int& mode, int& termination, int& busPower)
    {
        return call<int>("QCANTest_GetSettings", name.c_str(), &baud, &mode, &termination, &busPower) == 1;
    }
    int callCount(const std::string& name, int entry) { return on(name, "QCANTest_GetCallCount", entry); }

private:
    DummyBus();
    void* symbol(const char* name);
    template <class R, class... A>
    R call(const char* name, A... args)
    {
        return reinterpret_cast<R (*)(A...)>(symbol(name))(args...);
    }
    int on(const std::string& name, const char* entry, int value) { return call<int>(entry, name.c_str(), value); }
    void* handle_;
};
