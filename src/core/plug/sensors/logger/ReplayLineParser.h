#pragma once

// One line of a CAN log in the BUSMASTER form, as the replay reads it. A frame line is pieces
// separated by spaces:
//
//   <time> <Tx|Rx> <channel> <identifier> <type> <DLC> <data bytes ...>
//   14:07:09:045 Rx 1 0x1F5 x 8 01 02 03 04 05 06 07 08          our logger, HEX file
//   14:15:15:4899 Rx 2 0x200 xr 8 00 00 00 00 00 00 00 00        BUSMASTER: 0.1 ms steps, remote frame
//   00:00:00:8539 Rx 2 0021 s 8 000 000 000 000 000 000 000 000   DEC file
//   2016-05-03T14:07:09:045 Rx 1 0x1F5 x 2 01 02                  date-and-time form
//
// The time has four parts separated by ":". Its last part counts milliseconds when it has up to
// three digits (our logger, and writers that do not pad) and tenths of a millisecond when it has
// four (BUSMASTER; further digits are ignored). The type holds "s" for a standard identifier or "x"
// for an extended one, and "r" for a remote frame. Identifiers and data are hexadecimal in HEX files
// ("0x" optional) and decimal in DEC files. A DLC above 8 sends eight bytes; a data frame needs as
// many data pieces as bytes it sends, a remote frame needs none. Pieces after the eighth data byte
// are ignored. Only Rx lines are sent; Tx lines are frame lines that are stepped over.

#include <wx/string.h>

#include "CANFrameTypes.h"

namespace Sensors {

struct ReplayLine {
    _TGENERIC_CAN_FRAME frame;  // filled for received lines only
    unsigned long long timeUs;  // since midnight; since 1970-01-01 in the date-and-time form
    bool received;              // an Rx line
    bool dated;                 // the date-and-time form
};

enum ReplayLineKind {
    REPLAY_LINE_OTHER,  // empty, or a "***" line of a header or trailer: nothing to send, nothing wrong
    REPLAY_LINE_BAD,    // neither a frame line nor a marker line
    REPLAY_LINE_FRAME
};

class ReplayLineParser {
public:
    // Longest piece read; a longer time, identifier, type, DLC or data piece makes the line bad.
    static const size_t MAX_PIECE = 40;

    // `why`, when given, receives a short reason for a bad line (a static text).
    static ReplayLineKind parse(const wxString& line, bool hexadecimal, ReplayLine& out, const char** why = nullptr);
};

}  // namespace Sensors
