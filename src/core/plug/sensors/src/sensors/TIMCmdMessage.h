#pragma once

// The three values every command to the Sandvik TIM carries.

#include <cstdint>

typedef struct _TIMCmdMessage {
    uint16_t compassHorzVal;   // 0 to 3599, tenths of a degree
    uint16_t blastDir;         // 0 to 3599, tenths of a degree
    uint16_t holeInclination;  // 0 to 1800, tenths of a degree
} _TIMCmdMessage;
