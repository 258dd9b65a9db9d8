#include "DummyBus.h"

#include <cstring>
#include <dlfcn.h>
#include <stdexcept>

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

void* DummyBus::symbol(const char* name)
{
    void* s = dlsym(handle_, name);
    if (!s)
        throw std::runtime_error(std::string("adapter library lacks ") + name);
    return s;
}

bool DummyBus::inject(const std::string& name, uint32_t id, bool ext, std::vector<uint8_t> data, bool rtr)
{
    unsigned char bytes[8] = {0};
    if (!data.empty())  // an empty vector may have no storage at all
        std::memcpy(bytes, data.data(), data.size() < 8 ? data.size() : 8);
    return call<int>("QCANTest_InjectFrame", name.c_str(), unsigned(id), int(ext), int(rtr), static_cast<int>(data.size()),
                     static_cast<const unsigned char*>(bytes)) == 1;
}

std::vector<_TGENERIC_CAN_FRAME> DummyBus::sent(const std::string& name)
{
    const int n = call<int>("QCANTest_GetSentCount", name.c_str());
    std::vector<_TGENERIC_CAN_FRAME> frames(static_cast<size_t>(n > 0 ? n : 0));
    for (int i = 0; i < n; ++i)
        call<int>("QCANTest_GetSentFrame", name.c_str(), i, static_cast<void*>(&frames[static_cast<size_t>(i)]));
    return frames;
}
