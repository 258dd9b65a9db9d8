#pragma once

#include <vector>

#include <wx/string.h>

#include "CUADeviceInfoItem.h"

namespace Sensors {

// The adapters found, in enumeration order; owns its items. Handed to the host as an opaque handle.
class DeviceList {
public:
    DeviceList() = default;
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;
    virtual ~DeviceList();

    int getSize() const;
    // A copy of the item; an item whose texts are "Error:getDeviceInfo" when out of range.
    CUADeviceInfoItem getDeviceInfo(int index) const;
    bool containsItemName(const wxString& name) const;
    void insert(const CUADeviceInfoItem& item);

private:
    std::vector<CUADeviceInfoItem*> items;
};

}  // namespace Sensors
