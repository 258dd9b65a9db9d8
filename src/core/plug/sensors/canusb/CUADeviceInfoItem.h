#pragma once

#include <wx/string.h>

namespace Sensors {

// One adapter found by the adapter library: its interface name, description and vendor text.
class CUADeviceInfoItem {
public:
    CUADeviceInfoItem(const wxString& name, const wxString& description, const wxString& vendor);
    CUADeviceInfoItem(const CUADeviceInfoItem& other) = default;
    explicit CUADeviceInfoItem(const CUADeviceInfoItem* other);  // texts "Error" for null
    CUADeviceInfoItem& operator=(const CUADeviceInfoItem& other) = default;
    virtual ~CUADeviceInfoItem() = default;

    const wxString& getName() const { return name; }
    const wxString& getDescription() const { return description; }
    const wxString& getVendor() const { return vendor; }

    wxString name;
    wxString description;
    wxString vendor;
};

}  // namespace Sensors
