#include "QCANDevice.h"

#include <cstring>
#include <new>

#include <wx/datetime.h>

#include "CANTxLogger.h"
#include "CUADeviceInfoItem.h"
#include "Clock.h"
#include "DeviceList.h"
#include "FrameParsers.h"
#include "Sensor.h"
#include "SensorManager.h"
#include "WispEasyWrapper.h"

namespace Sensors {

// --- adapter enumeration -------------------------------------------------------------------------

DeviceList* QCANDevice::GetAvailableQCANDevices()
{
    QCANLibrary lib;
    if (!lib.load()) {
        QLOG_ERROR("GetAvailableQCANDevices") << "QCAN_API.dll not found. CUAs disabled";
        return nullptr;
    }
    void* context = nullptr;
    if (!lib.InitializeLibrary || !lib.UnInitializeLibrary || !(context = lib.InitializeLibrary())) {
        QLOG_ERROR("GetAvailableQCANDevices") << "QCANDevice::GetAvailableQCANDevices() FAIL";
        return nullptr;
    }
    void* list = nullptr;
    if (s_QCAN_Lock.Lock() == wxMUTEX_NO_ERROR) {
        if (lib.CreateDeviceList)
            list = lib.CreateDeviceList(context);
        s_QCAN_Lock.Unlock();
    }
    if (!list) {
        QLOG_ERROR("GetAvailableQCANDevices") << "Cannot get handle to QCAN device list";
        lib.UnInitializeLibrary(context);
        return nullptr;
    }
    if (!lib.GetDeviceCount || !lib.GetInterfaceDescription || !lib.GetInterfaceFileName || !lib.DestroyDeviceList) {
        QLOG_ERROR("GetAvailableQCANDevices") << "Cannot get handle to QCAN_API functions";
        if (lib.DestroyDeviceList)
            lib.DestroyDeviceList(list);
        lib.UnInitializeLibrary(context);
        return nullptr;
    }
    DeviceList* result = new (std::nothrow) DeviceList();
    if (!result) {
        QLOG_ERROR("GetAvailableQCANDevices") << "Allocation failed";
    } else {
        static const struct {
            const wchar_t* code;
            const wchar_t* vendor;
        } codes[] = {{L"QU", L"QUILLARD"}, {L"PK", L"PEAK"},    {L"KV", L"KVASER"},
                     {L"DU", L"Dummy"},    {L"WX", L"Virtual"}, {L"BL", L"TestSimulator"}};
        for (int i = 0; i < lib.GetDeviceCount(list); ++i) {
            char name[64];
            char text[64];
            std::memset(name, 0, sizeof name);
            std::memset(text, 0, sizeof text);
            lib.GetInterfaceFileName(list, i, name, sizeof name);
            lib.GetInterfaceDescription(list, i, text, sizeof text);
            name[sizeof name - 1] = 0;
            text[sizeof text - 1] = 0;
            const wxString itemName = wxString::FromAscii(name);
            wxString vendor = wxT("Unknown");
            for (const auto& c : codes)
                if (itemName.Contains(c.code))
                    vendor = c.vendor;  // a later code overrides an earlier one
            result->insert(CUADeviceInfoItem(itemName, wxString::FromAscii(text), vendor));
        }
    }
    lib.DestroyDeviceList(list);
    lib.UnInitializeLibrary(context);
    return result;
}

void QCANDevice::DeleteQCANDeviceList(void* list)
{
    delete static_cast<DeviceList*>(list);
}

}  // namespace Sensors
