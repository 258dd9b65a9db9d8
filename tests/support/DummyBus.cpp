#include "DummyBus.h"

#include <cstring>
#include <dlfcn.h>
#include <stdexcept>

#include <gtest/gtest.h>

#include "QCANLibrary.h"

DummyBus& DummyBus::instance()
{
    static DummyBus bus;
    return bus;
}

DummyBus::DummyBus()
{
    // The same file the plug-in loads, so both see one library instance and one set of dummies.
    const wxString path = Sensors::QCANLibrary::libraryPath();
    handle_ = dlopen(path.utf8_str().data(), RTLD_NOW);
    if (!handle_)
        throw std::runtime_error(std::string("cannot load the adapter library: ") + dlerror());
}

template <class F>
F DummyBus::fn(const char* name)
{
    void* symbol = dlsym(handle_, name);
    if (!symbol)
        throw std::runtime_error(std::string("adapter library lacks ") + name);
    return reinterpret_cast<F>(symbol);
}

void DummyBus::reset()
{
    fn<void (*)()>("QCANTest_Reset")();
}

void DummyBus::setLibraryFaults(bool refuseInitialize, bool failDeviceList)
{
    fn<void (*)(int, int)>("QCANTest_SetLibraryFaults")(refuseInitialize, failDeviceList);
}

void DummyBus::setBuildString(const char* text)
{
    fn<void (*)(const char*)>("QCANTest_SetBuildString")(text);
}

void DummyBus::setRefuseOpen(const std::string& name, bool refuse)
{
    fn<int (*)(const char*, int)>("QCANTest_SetRefuseOpen")(name.c_str(), refuse);
}

void DummyBus::setStatusReports(const std::string& name, bool on)
{
    fn<int (*)(const char*, int)>("QCANTest_SetStatusReports")(name.c_str(), on);
}

void DummyBus::setBusState(const std::string& name, int state)
{
    fn<int (*)(const char*, int)>("QCANTest_SetBusState")(name.c_str(), state);
}

bool DummyBus::reportStatusNow(const std::string& name)
{
    return fn<int (*)(const char*)>("QCANTest_ReportStatusNow")(name.c_str()) == 1;
}

void DummyBus::setReportedBaud(const std::string& name, int baud)
{
    fn<int (*)(const char*, int)>("QCANTest_SetReportedBaud")(name.c_str(), baud);
}

void DummyBus::setReportedMode(const std::string& name, int mode)
{
    fn<int (*)(const char*, int)>("QCANTest_SetReportedMode")(name.c_str(), mode);
}

void DummyBus::setReportedTermination(const std::string& name, int on)
{
    fn<int (*)(const char*, int)>("QCANTest_SetReportedTermination")(name.c_str(), on);
}

void DummyBus::setReportedBusPower(const std::string& name, int power)
{
    fn<int (*)(const char*, int)>("QCANTest_SetReportedBusPower")(name.c_str(), power);
}

void DummyBus::setStatsFail(const std::string& name, bool fail)
{
    fn<int (*)(const char*, int)>("QCANTest_SetStatsFail")(name.c_str(), fail);
}

bool DummyBus::inject(const std::string& name, uint32_t id, bool ext, std::vector<uint8_t> data, bool rtr)
{
    unsigned char bytes[8] = {0};
    if (!data.empty())  // an empty vector may have no storage at all
        std::memcpy(bytes, data.data(), data.size() < 8 ? data.size() : 8);
    return fn<int (*)(const char*, unsigned, int, int, int, const unsigned char*)>("QCANTest_InjectFrame")(
               name.c_str(), id, ext, rtr, static_cast<int>(data.size()), bytes) == 1;
}

bool DummyBus::waitDelivered(const std::string& name, int timeoutMs)
{
    return fn<int (*)(const char*, int)>("QCANTest_WaitRxDelivered")(name.c_str(), timeoutMs) == 1;
}

std::vector<_TGENERIC_CAN_FRAME> DummyBus::sent(const std::string& name)
{
    const int n = fn<int (*)(const char*)>("QCANTest_GetSentCount")(name.c_str());
    auto get = fn<int (*)(const char*, int, void*)>("QCANTest_GetSentFrame");
    std::vector<_TGENERIC_CAN_FRAME> frames(static_cast<size_t>(n > 0 ? n : 0));
    for (int i = 0; i < n; ++i)
        get(name.c_str(), i, &frames[static_cast<size_t>(i)]);
    return frames;
}

void DummyBus::clearSent(const std::string& name)
{
    fn<void (*)(const char*)>("QCANTest_ClearSent")(name.c_str());
}

bool DummyBus::isOpen(const std::string& name)
{
    return fn<int (*)(const char*)>("QCANTest_IsOpen")(name.c_str()) == 1;
}

int DummyBus::openCount(const std::string& name)
{
    return fn<int (*)(const char*)>("QCANTest_GetOpenCount")(name.c_str());
}

bool DummyBus::settings(const std::string& name, int& baud, int& mode, int& termination, int& busPower)
{
    return fn<int (*)(const char*, int*, int*, int*, int*)>("QCANTest_GetSettings")(name.c_str(), &baud, &mode,
                                                                                     &termination, &busPower) == 1;
}

int DummyBus::callCount(const std::string& name, int entry)
{
    return fn<int (*)(const char*, int)>("QCANTest_GetCallCount")(name.c_str(), entry);
}
