#pragma once

// Classic CAN frames as can-utils writes them in candump's log format (`candump -L`), one per line:
//   (1717000000.123456) vcan0 123#1122334455667788      standard identifier, 3 hex digits
//   (1717000000.123789) vcan0 00601003#6400FEFF          extended identifier, 8 hex digits
//   (1717000000.124000) vcan0 12345678#R                 remote frame, DLC 0
//   (1717000000.124100) vcan0 123#R5                     remote frame, DLC 5
// CAN FD lines (`##`) are not classic frames and are left out.

#include <cstdint>
#include <string>
#include <vector>

#include "CANFrameTypes.h"

struct CanLogFrame {
    std::string interfaceName;
    uint32_t id = 0;
    bool ext = false;
    bool rtr = false;
    unsigned dlc = 0;
    uint8_t data[8] = {};

    static CanLogFrame of(const _TGENERIC_CAN_FRAME& f);
    bool sameFrame(const CanLogFrame& o) const;  // identifier, flags, length and bytes
    std::string text() const;                    // the log's "ID#DATA" form
};

class CanFrameLog {
public:
    // The frames of a candump -L file in file order; malformed lines are returned in bad.
    static std::vector<CanLogFrame> read(const std::string& path, std::vector<std::string>* bad = nullptr);
};
