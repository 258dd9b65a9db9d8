#include "QCANLibrary.h"

#include <cstdlib>
#include <dlfcn.h>

#include <wx/filename.h>
#include <wx/log.h>

namespace Sensors {

const wxString QCANLibrary::QCAN_API_DLL_NAME = wxT("QCAN_API.dll");
const wxString QCANLibrary::QCAN_API_DEBUG_DLL_NAME = wxT("QCAN_API_d.dll");

QCANLibrary::QCANLibrary()
{
    clearExports();
}

QCANLibrary::~QCANLibrary()
{
    unload();
}

wxString QCANLibrary::libraryPath()
{
    // The library's file name on this platform: "QCAN_API.dll" on Windows, "libQCAN_API.so" here.
    const wxString fileName = wxDynamicLibrary::CanonicalizeName(wxT("QCAN_API"));
    const char* folder = std::getenv("QCAN_API_PATH");
    if (folder && *folder)
        return wxFileName(wxString::FromUTF8(folder), fileName).GetFullPath();
    // Beside the plug-in, as a Windows host finds a DLL in its own folder.
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&QCANLibrary::libraryPath), &info) && info.dli_fname) {
        wxFileName beside(wxString::FromUTF8(info.dli_fname));
        beside.SetFullName(fileName);
        if (beside.FileExists())
            return beside.GetFullPath();
    }
    return fileName;
}

bool QCANLibrary::load()
{
    unload();
    wxLogNull quiet;  // failures are reported by the caller in the host log
    if (!library_.Load(libraryPath(), wxDL_NOW | wxDL_QUIET))
        return false;
    InitializeLibrary = reinterpret_cast<QCAN_InitializeLibrary_t>(lookUp("QCAN_InitializeLibrary@0"));
    UnInitializeLibrary = reinterpret_cast<QCAN_UnInitializeLibrary_t>(lookUp("QCAN_UnInitializeLibrary@4"));
    GetBuildString = reinterpret_cast<QCAN_GetBuildString_t>(lookUp("QCAN_GetBuildString@12"));
    CreateDeviceList = reinterpret_cast<QCAN_CreateDeviceList_t>(lookUp("QCAN_CreateDeviceList@4"));
    GetDeviceCount = reinterpret_cast<QCAN_GetDeviceCount_t>(lookUp("QCAN_GetDeviceCount@4"));
    GetInterfaceFileName = reinterpret_cast<QCAN_GetInterfaceText_t>(lookUp("QCAN_GetInterfaceFileName@16"));
    GetInterfaceDescription = reinterpret_cast<QCAN_GetInterfaceText_t>(lookUp("QCAN_GetInterfaceDescription@16"));
    DestroyDeviceList = reinterpret_cast<QCAN_DestroyDeviceList_t>(lookUp("QCAN_DestroyDeviceList@4"));
    InitializeCUA = reinterpret_cast<QCAN_InitializeCUA_t>(lookUp("QCAN_InitializeCUA@36"));
    return true;
}

void QCANLibrary::unload()
{
    clearExports();
    if (library_.IsLoaded())
        library_.Unload();
}

bool QCANLibrary::isLoaded() const
{
    return library_.IsLoaded();
}

void QCANLibrary::clearExports()
{
    InitializeLibrary = nullptr;
    UnInitializeLibrary = nullptr;
    GetBuildString = nullptr;
    CreateDeviceList = nullptr;
    GetDeviceCount = nullptr;
    GetInterfaceFileName = nullptr;
    GetInterfaceDescription = nullptr;
    DestroyDeviceList = nullptr;
    InitializeCUA = nullptr;
}

void* QCANLibrary::lookUp(const char* decoratedName)
{
    wxString name = wxString::FromAscii(decoratedName);
#if !(defined(_WIN32) && !defined(_WIN64))
    // Only 32-bit Windows decorates stdcall names; elsewhere the part before "@" is the export.
    name = name.BeforeFirst('@');
#endif
    if (!library_.HasSymbol(name))
        return nullptr;
    return library_.GetSymbol(name);
}

}  // namespace Sensors
