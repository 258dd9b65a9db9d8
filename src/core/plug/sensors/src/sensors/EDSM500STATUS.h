#pragma once

// The state of a DSM500 measuring unit or pair, as the host sees it.

namespace Sensors {

enum EDSM500STATUS {
    DSM500_UNKNOWN = 0,
    DSM500_OK = 1,
    DSM500_NO_MASTER = 2,
    DSM500_NO_SLAVE = 3,
    DSM500_MASTER_ERROR = 4,
    DSM500_SLAVE_ERROR = 5,
    DSM500_BAD_QUALITY = 6,
    DSM500_TIMEOUT = 7,
    DSM500_NO_DATA = 8,
    DSM500_MASTER_VALUE_OUT_OF_TOLERANCE = 9,
    DSM500_SLAVE_VALUE_OUT_OF_TOLERANCE = 10,
    DSM500_MASTER_SLAVE_DIFFERENCE_OUT_OF_TOLERANCE = 11
};

}  // namespace Sensors
