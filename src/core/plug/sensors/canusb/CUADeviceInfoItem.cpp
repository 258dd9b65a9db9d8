#include "CUADeviceInfoItem.h"

namespace Sensors {

CUADeviceInfoItem::CUADeviceInfoItem(const wxString& name_, const wxString& description_, const wxString& vendor_)
    : name(name_), description(description_), vendor(vendor_)
{
}

CUADeviceInfoItem::CUADeviceInfoItem(const CUADeviceInfoItem* other)
    : name(other ? other->name : wxString(wxT("Error"))),
      description(other ? other->description : wxString(wxT("Error"))),
      vendor(other ? other->vendor : wxString(wxT("Error")))
{
}

}  // namespace Sensors
