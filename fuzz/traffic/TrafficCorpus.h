#pragma once

// Traffic of every make the parsers know, built from the frame layouts of each device (identifier
// fields, payload encodings, multi-frame sequences) rather than taken from recordings: the seeds of
// the fuzz targets and the load of the receive benchmarks.

#include <cstdint>
#include <string>
#include <vector>

#include "CANFrameTypes.h"

struct TrafficMake {
    std::string name;  // one word, usable as a file and benchmark name
    std::vector<_TGENERIC_CAN_FRAME> frames;
};

// One entry per make, each a plausible stretch of that make's traffic (a few dozen frames).
std::vector<TrafficMake> trafficCorpus();

// Every make's frames interleaved round-robin, one from each make in turn.
std::vector<_TGENERIC_CAN_FRAME> mixedTraffic(const std::vector<TrafficMake>& makes);

// The byte record the receive-path fuzz targets read: flags (bit 0 extended, bit 1 remote),
// identifier (4 bytes, little-endian), length, eight data bytes.
constexpr size_t TRAFFIC_RECORD_SIZE = 14;
void appendTrafficRecord(std::string& out, const _TGENERIC_CAN_FRAME& frame);
// Reads one record from data (at least TRAFFIC_RECORD_SIZE bytes); masks the identifier to its
// width and the length to the four bits a bus carries, so that lengths 9 to 15 reach the adapter
// as they would off a bus.
_TGENERIC_CAN_FRAME readTrafficRecord(const uint8_t* data);
