#pragma once

// The dummy adapters of our adapter library, reached the way the plug-in reaches the library:
// run-time loading of the same file. Tests use it to inject frames, read back sent frames and
// produce the adapter faults.

#include <string>
#include <vector>

#include "CANFrameTypes.h"

class DummyBus {
public:
    // Loads the adapter library the plug-in would load; fails the test when it cannot.
    static DummyBus& instance();

    void reset();  // forget every dummy's state and the library-wide faults
    void setLibraryFaults(bool refuseInitialize, bool failDeviceList);
    void setBuildString(const char* text);  // null: the library's own; "": the call fails
    void setRefuseOpen(const std::string& name, bool refuse);
    void setStatusReports(const std::string& name, bool on);
    void setBusState(const std::string& name, int state);
    bool reportStatusNow(const std::string& name);  // returns after the callback has run
    void setReportedBaud(const std::string& name, int baud);         // -1: what was set
    void setReportedMode(const std::string& name, int mode);         // -1: what was set
    void setReportedTermination(const std::string& name, int on);    // -1: what was set
    void setReportedBusPower(const std::string& name, int power);    // -1: what was set, -2: unsupported
    void setStatsFail(const std::string& name, bool fail);
    bool inject(const std::string& name, uint32_t id, bool ext, std::vector<uint8_t> data, bool rtr = false);
    bool waitDelivered(const std::string& name, int timeoutMs = 2000);
    std::vector<_TGENERIC_CAN_FRAME> sent(const std::string& name);
    void clearSent(const std::string& name);
    bool isOpen(const std::string& name);
    int openCount(const std::string& name);
    // Last values set through the adapter's table: rate, mode, termination, bus power.
    bool settings(const std::string& name, int& baud, int& mode, int& termination, int& busPower);
    int callCount(const std::string& name, int entry);

private:
    DummyBus();
    void* handle_;
    template <class F>
    F fn(const char* name);
};
