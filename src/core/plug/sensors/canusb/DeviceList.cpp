#include "DeviceList.h"

namespace Sensors {

DeviceList::~DeviceList()
{
    for (CUADeviceInfoItem* item : items)
        delete item;
}

int DeviceList::getSize() const
{
    return static_cast<int>(items.size());
}

CUADeviceInfoItem DeviceList::getDeviceInfo(int index) const
{
    if (index < 0 || index >= getSize()) {
        const wxString error = wxT("Error:getDeviceInfo");
        return CUADeviceInfoItem(error, error, error);
    }
    return *items[index];
}

bool DeviceList::containsItemName(const wxString& name) const
{
    for (const CUADeviceInfoItem* item : items)
        if (item->name == name)
            return true;
    return false;
}

void DeviceList::insert(const CUADeviceInfoItem& item)
{
    items.push_back(new CUADeviceInfoItem(item));
}

}  // namespace Sensors
