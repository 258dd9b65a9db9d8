#pragma once

// A text record of the frames one adapter sends. The adapter hands every frame it sends to
// addFrame (which only queues it) and calls processBuffer on each pass of its periodic processing;
// the frames become lines, and the lines are appended to the file once more than 1024 characters
// have gathered, and at the end.
//
// File: <user configuration folder>/Quillard/qcan/log/<adapter name>_<YYYY-mm-dd_HH-MM-SS>__TXLOG.log
// (the folder is not created here). Contents:
//   Logfile created 2016-05-03 14:07:09
//    000100117 EXT=1 RTR=0 DLC=2 QuilDevType=001 QuilDevNumber=023 QuilMsg=000 QuilCmd=004 QuilErr=0  Data: 01 A0 
//    000000123 EXT=0 RTR=0 DLC=0 QuilDevType=001 QuilDevNumber=035 QuilMsg=000 QuilCmd=000 QuilErr=0 
//   <empty line>
//   End of log                                     (no line end after it)
// Every frame line begins with a space; the maker fields are read from the identifier whatever
// protocol the frame belongs to; " Data: " and one "%02X " per byte follow only when the DLC is not 0.

#include <cstdint>
#include <deque>

#include <wx/ffile.h>
#include <wx/string.h>
#include <wx/thread.h>

#include "CANFrameTypes.h"

namespace Sensors {

struct LoggedFrame {
    wxString prefix;
    _TGENERIC_CAN_FRAME_HEADER header;
    uint8_t data[8];
};

class CANTxLogger {
public:
    // `prefix` is the adapter's name; the file is created (truncated) at once.
    explicit CANTxLogger(const wxString& prefix);
    virtual ~CANTxLogger();
    CANTxLogger(const CANTxLogger&) = delete;
    CANTxLogger& operator=(const CANTxLogger&) = delete;

    void addFrame(_TGENERIC_CAN_FRAME_HEADER* header, void* data);
    // The maker's view and whole-frame forms are converted to the generic header and queued too.
    void addFrame(_TQUIL1G5_CAN_FRAME_HEADER* header, void* data);
    void addFrame(_TGENERIC_CAN_FRAME* frame);
    void addFrame(_TQUIL1G5_CAN_FRAME* frame);
    void processBuffer();
    wxString parseNextLoggedFrameToString();
    wxString parseLoggedFrameToString(LoggedFrame frame);
    void flushBuffer();
    static wxString getTimestamp();
    wxString getPath() const { return path; }
    // The folder transmit logs go to: Quillard/qcan/log below the user configuration folder,
    // ending with the path separator.
    static wxString getLogFolder();

private:
    wxString textBuffer;
    wxFFile file;
    wxString path;
    std::deque<LoggedFrame> queue;
    wxMutex lock;
    bool failing;  // a failure is logged once until a write succeeds again
};

}  // namespace Sensors
