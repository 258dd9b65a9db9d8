#pragma once

// Kept apart from Frames.h so that tests of the adapter library, which see its own frame records
// instead of the plug-in's, can use it too.

#include <cstdint>

// The maker's 29-bit identifier: msg bits 21-28 | cmd 18-20 | devType 8-14 | error bit 7 | devNumber 0-6.
inline uint32_t makerId(uint32_t msg, uint32_t cmd, uint32_t devType, uint32_t devNumber, uint32_t err = 0)
{
    return (msg << 21) | (cmd << 18) | (devType << 8) | (err << 7) | devNumber;
}
