#pragma once

// The replay options of qcan-host (--replay FILE, --loop, --replay-interval MS, --pace), taken out
// of the command line before the host's own options are read.

#include <string>
#include <vector>

#include "ReplayEngine.h"

class ReplayOptions {
public:
    static const char* const DUMMY_ADAPTER;  // the adapter a replay plays into when none is named

    std::string file;                 // empty: no replay
    bool loop = false;
    long intervalMs = -1;             // -1: time-stamp pacing
    Sensors::ReplayPacing pacing = Sensors::REPLAY_PACING_EXACT;

    bool enabled() const { return !file.empty(); }

    // Takes the replay options out of args (what stays is for the other options). False with
    // `error` set for a missing or malformed value, or an option without --replay.
    static bool extract(std::vector<std::string>& args, ReplayOptions& out, std::string& error);
    static std::string usage();
};
