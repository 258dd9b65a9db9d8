#include "CANFrameTypes.h"

namespace Sensors {

int getBaudrateAsInt(ECANBaud baud)
{
    switch (baud) {
    case CAN_BAUD_0: return 0;
    case CAN_BAUD_125K: return 125;
    case CAN_BAUD_250K: return 250;
    case CAN_BAUD_500K: return 500;
    case CAN_BAUD_1M: return 1000;
    case CAN_BAUD_NONE: return -1;
    }
    return -2;
}

wxString translateCANModeString(ECANMode mode)
{
    switch (mode) {
    case CAN_MODE_DISABLED: return wxT("Disabled");
    case CAN_MODE_UNKNOWN: return wxT("Unknown");
    case CAN_MODE_CONFIG: return wxT("Config");
    case CAN_MODE_NORMAL: return wxT("Normal");
    case CAN_MODE_LOOPBACK: return wxT("Loopback");
    case CAN_MODE_LISTEN_ONLY: return wxT("Listen only");
    case CAN_MODE_SLEEP: return wxT("Sleep");
    }
    return wxT("--");
}

wxString translateCANBusStateString(ECANBusState state)
{
    switch (state) {
    case CAN_BUS_HW_FAILURE: return wxT("HW Failure");
    case CAN_BUS_UNKNOWN: return wxT("Unknown");
    case CAN_BUS_ON: return wxT("Bus On");
    case CAN_BUS_ERR_ACTIVE: return wxT("Err Active");
    case CAN_BUS_ERR_PASSIVE: return wxT("Err Passive");
    case CAN_BUS_OFF: return wxT("Bus Off");
    }
    return wxT("--");
}

}  // namespace Sensors
