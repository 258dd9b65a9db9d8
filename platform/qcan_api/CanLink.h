#pragma once

// What the kernel tells about one network interface over rtnetlink (RTM_GETLINK): whether it still
// exists and is up, and for CAN controllers (kind "can") the bit rate, the controller state, the
// termination and the controller mode that were configured with `ip link set DEV type can ...`.
// Virtual interfaces (vcan, vxcan) have none of the CAN settings.

#include <cstdint>
#include <string>

class CanLink {
public:
    struct State {
        bool exists = false;
        bool up = false;            // IFF_UP
        std::string kind;           // "can", "vcan", ... (IFLA_INFO_KIND), empty when not told
        uint32_t bitrate = 0;       // bit/s; 0 when the interface has none
        int canState = -1;          // enum can_state; -1 when not told
        int terminationOhm = -1;    // -1 when the controller has no switchable termination
        bool listenOnly = false;    // CAN_CTRLMODE_LISTENONLY
        bool loopback = false;      // CAN_CTRLMODE_LOOPBACK
    };

    // Asks the kernel about the interface with this index. False when the question could not be
    // asked at all (no rtnetlink); a missing interface is a successful answer with exists false.
    static bool query(int ifindex, State& out);
};
