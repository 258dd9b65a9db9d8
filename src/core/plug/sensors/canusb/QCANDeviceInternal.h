#pragma once

// Helpers shared by the QCANDevice source files; not part of the adapter's interface.

#include "QCANDeviceTypes.h"

namespace Sensors {
namespace QCANDeviceInternal {

inline bool isStatus(QCANConnStatus s, QCANConnStatus a, QCANConnStatus b)
{
    return s == a || s == b;
}

}  // namespace QCANDeviceInternal
}  // namespace Sensors
