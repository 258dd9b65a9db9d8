#pragma once
// Frames as one line of text each, "0x2BD x r | 01 02": the identifier in hex, x when extended, r when
// remote, dlc=N only above 8, then the data bytes (at most eight). Comparing whole lists of them
// makes a failure name the frame and the field that differ.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "CANFrameTypes.h"

inline std::string frameText(const _TGENERIC_CAN_FRAME& f)
{
    char text[64];
    int n = std::snprintf(text, sizeof text, "0x%X%s%s", static_cast<unsigned>(f.header.id), f.header.ext ? " x" : "",
                          f.header.rtr ? " r" : "");
    if (f.header.dlc > 8)
        n += std::snprintf(text + n, sizeof text - n, " dlc=%d", f.header.dlc);
    n += std::snprintf(text + n, sizeof text - n, " |");
    for (int i = 0; i < std::min<int>(f.header.dlc, 8); ++i)
        n += std::snprintf(text + n, sizeof text - n, " %02X", f.data[i]);
    return text;
}

inline std::vector<std::string> frameTexts(const std::vector<_TGENERIC_CAN_FRAME>& frames)
{
    std::vector<std::string> out;
    for (const _TGENERIC_CAN_FRAME& f : frames)
        out.push_back(frameText(f));
    return out;
}
