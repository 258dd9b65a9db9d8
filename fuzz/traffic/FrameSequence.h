#pragma once

// Frame sequences of the multi-frame protocols, for the sequence fuzz target: each record names a
// protocol and a variant (which identifier of it), so that the fuzzer spends its input on the
// payloads and the order of the frames rather than on finding the identifiers.
//
// Record (11 bytes): protocol (0-7), variant, control (bits 0-3 length, bit 4 a pass after the
// frame, bit 5 the host reads everything, bits 6-7 move the clock by 0 to 3 times 500 ms), data.

#include <cstddef>
#include <cstdint>
#include <string>

#include "CANFrameTypes.h"

constexpr size_t SEQUENCE_RECORD_SIZE = 11;
constexpr int SEQUENCE_PROTOCOLS = 8;

// The identifier a protocol and variant stand for.
_TGENERIC_CAN_FRAME_HEADER sequenceHeader(uint8_t protocol, uint8_t variant);
// Appends the record of a frame when one of the protocols carries it; false otherwise.
bool appendSequenceRecord(std::string& out, const _TGENERIC_CAN_FRAME& frame);
// Runs one input of such records through the receive harness.
void runSequenceInput(const uint8_t* data, size_t size);
