#pragma once

// Records every frame that one adapter hands to its external parsers into a text file. The parser
// callback only copies the frame into a queue; a writer thread (LoggerThread) formats the queued
// frames and appends them to the file in batches, opening and closing the file around each batch
// so that other programs can read the log while it grows.
//
// File forms (chosen at construction). "<sep>" is the separator given to the constructor, "\n" the
// line end (LF here, CR LF on Windows); readers accept both.
//
// 1. Delimited table (appendHeader false): one column-header line, then one line per frame, no
//    trailer. Column header = [time title] <sep> "CUAID" <sep> id titles <sep> "DLC" <sep> data titles:
//      time title:  0 "Time[YYYY-MM-ddTHH:mm:ss:ms]", 1 "Time[HH:mm:ss:ms]", other: nothing
//      id titles:   0 "MsgID[Hex]", 1 "MsgID[Dec]", 2 "Command<sep>Command<sep>DeviceType<sep>DeviceNumber"
//      data titles: 0 "Data0[Hex]<sep>...<sep>Data7[Hex]", 1 "Data0[Dec]<sep>...<sep>Data7[Dec]",
//                   2 "Data0[INT16]<sep>...<sep>Data3[INT16]", 3 "Data0[REAL16]<sep>...<sep>Data3[REAL16]"
//    Example (separator ";", time 1, id 0, data 0):
//      Time[HH:mm:ss:ms];CUAID;MsgID[Hex];DLC;Data0[Hex];Data1[Hex];...;Data7[Hex]
//      14:07:09:045;1;0x1F5;2;01;02
//
// 2. BUSMASTER log (appendHeader true), exactly these header lines:
//      ***BUSMASTER Ver 1.8.0***
//      ***PROTOCOL CAN***
//      ***NOTE: PLEASE DO NOT EDIT THIS DOCUMENT***
//      ***NOTE: CREATED WITH QUILLARD DATALOGGER***
//      ***START DATE AND TIME 03:05:2016 14:07:09:0000***      (dd:mm:YYYY HH:MM:SS, then literal 0000)
//      ***HEX***                                               (***DEC*** unless the id format is 0)
//      ***SYSTEM MODE***
//      ***START CHANNEL BAUD RATE***
//      ***CHANNEL 1 - DUMMY1 - 0h - 250000 bps***              (CUA id, adapter name, kbit/s + "000")
//      ***END CHANNEL BAUD RATE***
//      ***<Time><Tx/Rx><Channel><CAN ID><Type><DLC><DataBytes>***
//    then frame lines, and when the logger is destroyed:
//      ***END DATE AND TIME 03:05:2016 14:09:30:***            (no digits between the last colon and ***)
//      ***[STOP LOGGING SESSION]***
//
// 3. Interoperable BUSMASTER log (DataLoggingOptions::busmasterCompatible with appendHeader): what
//    BUSMASTER 1.8 itself writes, so that BUSMASTER and Wireshark (tshark) open it with correct times:
//      ***BUSMASTER Ver 1.8.0***
//      ***PROTOCOL CAN***
//      ***NOTE: PLEASE DO NOT EDIT THIS DOCUMENT***
//      ***NOTE: CREATED WITH QUILLARD DATALOGGER***
//      ***[START LOGGING SESSION]***
//      ***START DATE AND TIME 3:5:2016 14:07:09:0450***        (d:m:YYYY unpadded, HH:MM:SS, 4-digit 0.1 ms)
//      ***HEX***
//      ***SYSTEM MODE***
//      ***START CHANNEL BAUD RATE***
//      ***CHANNEL 1 - DUMMY1 - 0h - 250000 bps***
//      ***END CHANNEL BAUD RATE***
//      ***START DATABASE FILES (DBF/DBC)***
//      ***END DATABASE FILES (DBF/DBC)***
//      ***<Time><Tx/Rx><Channel><CAN ID><Type><DLC><DataBytes>***
//      14:07:09:0450 Rx 1 0x1F5 x 8 01 02 03 04 05 06 07 08 
//      ***END DATE AND TIME 3:5:2016 14:09:30:1230***
//      ***[STOP LOGGING SESSION]***
//    A reader tells the two BUSMASTER forms apart by the "***[START LOGGING SESSION]***" line: with
//    it, the last time field of frame, START and END lines counts tenths of a millisecond (4 digits);
//    without it, milliseconds (3 digits).
//
// Frame line (all forms): time <sep> ["Rx" <sep>] cuaId <sep> id <sep> ["x"|"s" <sep>] dlc <sep> data
//   ([...] only in the BUSMASTER forms).
//   time: format 0 "YYYY-mm-ddTHH:MM:SS:" + fraction, 1 "HH:MM:SS:" + fraction, other values
//         nothing (the line then begins with the separator). The fraction is the milliseconds "%03i"
//         (045), in the interoperable form the tenths of a millisecond "%04i" (0450). Local time.
//   id:   format 0 "0x%X" (0x1F5), 1 "%i" (501), 2 four "%i" joined by <sep>: identifier bits 28-21,
//         20-18, 14-8, 6-0 (5<sep>3<sep>16<sep>2).
//   data: format 0 "%.2X" per byte (0A), 1 "%i" per byte (10); 2 INT16 and 3 REAL16 ("%f" of the
//         value / 32768) per little-endian byte pair from byte 0. Values joined by <sep>; with an
//         odd DLC in formats 2 and 3 the last byte is dropped and one <sep> is added, so DLC 1
//         writes just one <sep>. DLC 0 ends the line with the <sep> after the DLC. At most eight
//         bytes are read, whatever the DLC says. In the interoperable form every data value is
//         followed by <sep> instead (BUSMASTER ends lines with a space), odd DLC adds nothing.
//   Examples (space separator, time 1, id 0, data 0):
//     BUSMASTER:      14:07:09:045 Rx 1 0x1F5 x 8 01 02 03 04 05 06 07 08
//     interoperable:  14:07:09:0450 Rx 1 0x1F5 x 8 01 02 03 04 05 06 07 08 <- trailing space
//     DLC 0:          14:07:09:045 Rx 1 0x123 s 0 <- trailing space
//     INT16, DLC 5:   14:07:09:045 Rx 1 0x123 s 5 32767 -1 <- trailing space

#include <atomic>
#include <deque>
#include <string>

#include <wx/ffile.h>
#include <wx/string.h>
#include <wx/thread.h>

#include "CANFrameTypes.h"
#include "QCANDeviceTypes.h"

namespace Sensors {

class QCANDevice;

enum ETimeStampFormat { TIMESTAMP_DATE_TIME = 0, TIMESTAMP_TIME = 1, TIMESTAMP_NONE = 2 };
enum ECanIdFormat { CANID_FORMAT_HEX = 0, CANID_FORMAT_DEC = 1, CANID_FORMAT_QUILLARD = 2 };
enum ECanDataFormat { CANDATA_FORMAT_HEX = 0, CANDATA_FORMAT_DEC = 1, CANDATA_FORMAT_INT16 = 2, CANDATA_FORMAT_REAL16 = 3 };
// The identifier rule chosen in the diagnostics window; kept with the options, writes nothing.
enum ECANIDType { CANIDTYPE_ALL = 0, CANIDTYPE_STANDARD = 1, CANIDTYPE_EXTENDED = 2 };

// Every choice of a logger in one record, for the constructor that can also write the
// interoperable BUSMASTER form.
struct DataLoggingOptions {
    ETimeStampFormat timeFormat = TIMESTAMP_TIME;
    ECanIdFormat idFormat = CANID_FORMAT_HEX;
    ECanDataFormat dataFormat = CANDATA_FORMAT_HEX;
    wxString separator = wxT(" ");
    ECANIDType idRule = CANIDTYPE_ALL;
    bool appendHeader = true;
    // With appendHeader: the form BUSMASTER 1.8 writes (session line, database block, 0.1 ms times).
    bool busmasterCompatible = false;
};

class DataLogging {
public:
    DataLogging(QCANDevice* device, const wxString& fileName, ETimeStampFormat timeFormat, ECanIdFormat idFormat,
                ECanDataFormat dataFormat, const wxString& separator, ECANIDType idRule, bool appendHeader);
    DataLogging(QCANDevice* device, const wxString& fileName, const DataLoggingOptions& options);
    virtual ~DataLogging();
    DataLogging(const DataLogging&) = delete;
    DataLogging& operator=(const DataLogging&) = delete;

    void SetFilterToDevice();
    void RemoveFilterFromDevice();
    // Queues a copy of the frame as the parser callback does.
    void appendMsg(RxCANFrameT* frame);
    // "<cuaId> <file name after the last path separator>"
    wxString getDescription();

    // One line of the chosen form for a frame, with its line end.
    std::string formatLine(const RxCANFrameT& frame);
    // Frames written to the file (or dropped by a failed write) so far; read by hosts for a summary.
    unsigned long long getFramesFormatted() const { return framesFormatted.load(); }

private:
    friend class LoggerThread;
    friend PARSE_RESULT processMsg(void* frame, void* device, void* logger);

    void start();
    std::string buildHeader();
    std::string buildTrailer();
    void queueFrame(const RxCANFrameT& frame);
    // Writer side: format the front frame when the queue lock is free; false when none was taken.
    bool formatNext();
    void flush();
    bool writeBuffer(const std::string& text);
    void runWriter();

    QCANDevice* device;
    std::atomic<bool> active;
    wxSemaphore wake;
    std::atomic<bool> writerRunning;
    wxString fileName;
    wxString separator;
    ETimeStampFormat timeFormat;
    ECanIdFormat idFormat;
    ECanDataFormat dataFormat;
    unsigned int parserId;
    ECANIDType idRule;
    bool appendHeader;
    bool busmasterCompatible;
    wxFFile file;
    wxMutex queueLock;
    std::deque<RxCANFrameT*> queue;
    // Frames in the queue, readable without the lock: a pass whose try-lock failed has used up a
    // wake-up without taking a frame, so the writer only sleeps when nothing is waiting.
    std::atomic<size_t> queued;
    // Formatted lines not yet written; UTF-8 already, so a flush writes it as it stands.
    std::string textBuffer;

    int cuaId;
    std::string sepUtf8;
    std::string fileNameUtf8;
    // The local time text of the last second seen, reused by the frames of the same second.
    long long cachedSecond;
    std::string cachedTimeText;
    bool writeFailing;  // a failure is logged once until a write succeeds again
    std::atomic<unsigned long long> framesFormatted;
};

// The external parser of a logger (registered with the logger as context): queues the frame.
PARSE_RESULT processMsg(void* frame, void* device, void* logger);

}  // namespace Sensors
