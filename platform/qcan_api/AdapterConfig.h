#pragma once

// Which adapters exist. The list comes from outside any caller of the library, read anew whenever
// it is needed:
//   1. the environment variable QCAN_ADAPTERS, when set (set but empty: no adapters);
//   2. otherwise the file named by QCAN_ADAPTERS_FILE, when it can be read;
//   3. otherwise $HOME/.config/Quillard/qcan/qcan_adapters.conf, when it can be read;
//   4. otherwise one simulated adapter, SIM_EXCAVATOR=sim:excavator.
// Grammar of one entry:  NAME=KIND[:ARG]   KIND: dummy | sim (ARG scenario) | socketcan (ARG interface)
//   QCAN_ADAPTERS="DUMMY1=dummy;SIM_EXCAVATOR=sim:excavator;SC_vcan0=socketcan:vcan0"
// In a file: one entry per line, '#' starts a comment, blank lines are ignored.

#include <string>
#include <vector>

enum class AdapterKind { Dummy, Sim, SocketCan };

struct AdapterEntry {
    std::string name;
    AdapterKind kind = AdapterKind::Dummy;
    std::string arg;
    std::string description;  // generated from kind and argument
};

// Parses entries separated by any of the given characters. Malformed entries (no name, unknown
// kind, missing argument, unknown scenario) and repeated names are skipped.
std::vector<AdapterEntry> parseAdapterEntries(const std::string& text, const std::string& separators);

// The current list, following the order of sources above.
std::vector<AdapterEntry> loadAdapterConfig();

// The entry of that name in the current list; false when there is none.
bool findAdapterEntry(const std::string& name, AdapterEntry& out);
