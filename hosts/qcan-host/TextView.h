#pragma once

// One refresh as a table for people: on a terminal the screen is cleared and redrawn in place,
// otherwise each refresh is a block of plain lines under a header line.

#include <string>

#include "HostSnapshot.h"

class TextView {
public:
    static std::string render(const HostSnapshot& snapshot, bool terminal);
    // A reading as "name=value" (groups as "name(a=1 b=2)").
    static std::string formatReading(const HostSnapshot::Reading& r);
};
