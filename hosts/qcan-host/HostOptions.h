#pragma once

// The command line of qcan-host, parsed into plain settings. Parsing never exits the process: it
// reports the first problem as one line, which main prints.

#include <string>
#include <vector>

class HostOptions {
public:
    std::vector<std::string> adapters;  // --adapter NAME, repeatable; empty: all (or --vendor)
    std::string vendor;                 // --vendor PATTERN
    long waitMs = 5000;
    long intervalMs = 500;
    double durationS = -1.0;  // below 0: until interrupted
    long count = -1;          // below 0: no limit
    bool json = false;
    bool xml = false;
    bool list = false;
    bool help = false;
    bool raw = false;                     // --raw: the table shows the raw streams too
    std::vector<int> sensorIds;           // --sensor ID, repeatable; empty: every sensor
    std::vector<std::string> classNames;  // --class NAME, repeatable; empty: every class

    // False with `error` set for an unknown option, a missing or malformed value, or a clash.
    static bool parse(int argc, const char* const* argv, HostOptions& out, std::string& error);
    static std::string usage();
};
