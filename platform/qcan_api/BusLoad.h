#pragma once

// Bits a CAN 2.0 data frame occupies on the bus, with the worst-case number of stuff bits, and the
// bus load of a set of periodic streams. Frame without stuffing: 44 + 8n bits for an 11-bit
// identifier, 64 + 8n for a 29-bit one (SOF to EOF), plus 3 bits of interframe space. Stuffing can
// add one bit per four bits from SOF to the end of the CRC (34 + 8n, or 54 + 8n bits).

#include <vector>

#include "PeriodicStream.h"

class BusLoad {
public:
    static unsigned bitsPerFrame(bool extended, unsigned dlc);
    static double bitsPerSecond(const std::vector<PeriodicStream>& streams);
    static double framesPerSecond(const std::vector<PeriodicStream>& streams);
    // Share of the bit rate, 0 to 1 (and above for an overloaded bus).
    static double load(const std::vector<PeriodicStream>& streams, unsigned bitRate);
};
