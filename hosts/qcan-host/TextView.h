#pragma once

// One refresh as a table for people: on a terminal the screen is cleared and redrawn in place and
// stale sensors are red, otherwise each refresh is a block of plain lines under a header line.
// Below each sensor its summary (tilt angles, a position) comes first, then its readings; the raw
// streams only with `raw`.

#include <string>

#include "HostSnapshot.h"

class TextView {
public:
    static std::string render(const HostSnapshot& snapshot, bool terminal, bool raw = false);
    // A reading as "name=value" (groups as "name(a=1 b=2)").
    static std::string formatReading(const HostSnapshot::Reading& r);
    // A number with that many decimals, as every unit-bearing value of the table is written.
    static std::string fixed(double v, int decimals);
};
