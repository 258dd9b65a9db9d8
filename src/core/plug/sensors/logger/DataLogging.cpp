#include "DataLogging.h"

#include <cstdio>

#include <wx/datetime.h>
#include <wx/utils.h>

#include "Clock.h"
#include "LogFileIO.h"
#include "LoggerThread.h"
#include "QCANDevice.h"
#include "WispEasyWrapper.h"

namespace Sensors {

namespace {

const unsigned int NO_PARSER = static_cast<unsigned int>(-1);

std::string utf8(const wxString& s)
{
    const wxScopedCharBuffer b = s.utf8_str();
    return std::string(b.data(), b.length());
}

void appendUnsigned(std::string& out, unsigned long long v, int minDigits = 1)
{
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    while (n < minDigits)
        digits[n++] = '0';
    while (n > 0)
        out.push_back(digits[--n]);
}

void appendSigned(std::string& out, long long v)
{
    if (v < 0) {
        out.push_back('-');
        appendUnsigned(out, static_cast<unsigned long long>(-(v + 1)) + 1);
    } else {
        appendUnsigned(out, static_cast<unsigned long long>(v));
    }
}

const char HEX_DIGITS[] = "0123456789ABCDEF";

void appendHex(std::string& out, unsigned long v, int minDigits)
{
    char digits[16];
    int n = 0;
    do {
        digits[n++] = HEX_DIGITS[v & 0xF];
        v >>= 4;
    } while (v != 0);
    while (n < minDigits)
        digits[n++] = '0';
    while (n > 0)
        out.push_back(digits[--n]);
}

// Local time of a wall-clock second. Kept apart so that the writer asks the time zone once per second.
wxDateTime localTime(long long seconds)
{
    return wxDateTime(static_cast<time_t>(seconds));
}

// "d:m:YYYY HH:MM:SS:" as BUSMASTER writes it in its START and END lines.
std::string busmasterDateTime(const wxDateTime& t)
{
    std::string s;
    appendUnsigned(s, static_cast<unsigned>(t.GetDay()));
    s += ':';
    appendUnsigned(s, static_cast<unsigned>(t.GetMonth()) + 1);
    s += ':';
    appendUnsigned(s, static_cast<unsigned>(t.GetYear()));
    s += ' ';
    s += utf8(t.Format(wxT("%H:%M:%S:")));
    return s;
}

}  // namespace

DataLogging::DataLogging(QCANDevice* device_, const wxString& fileName_, ETimeStampFormat timeFormat_,
                         ECanIdFormat idFormat_, ECanDataFormat dataFormat_, const wxString& separator_,
                         ECANIDType idRule_, bool appendHeader_)
    : device(device_),
      active(true),
      wake(0, 0),
      writerRunning(false),
      fileName(fileName_),
      separator(separator_),
      timeFormat(timeFormat_),
      idFormat(idFormat_),
      dataFormat(dataFormat_),
      parserId(NO_PARSER),
      idRule(idRule_),
      appendHeader(appendHeader_),
      busmasterCompatible(false),
      queued(0),
      cuaId(0),
      cachedSecond(-1),
      writeFailing(false),
      framesFormatted(0)
{
    start();
}

DataLogging::DataLogging(QCANDevice* device_, const wxString& fileName_, const DataLoggingOptions& options)
    : device(device_),
      active(true),
      wake(0, 0),
      writerRunning(false),
      fileName(fileName_),
      separator(options.separator),
      timeFormat(options.timeFormat),
      idFormat(options.idFormat),
      dataFormat(options.dataFormat),
      parserId(NO_PARSER),
      idRule(options.idRule),
      appendHeader(options.appendHeader),
      busmasterCompatible(options.appendHeader && options.busmasterCompatible),
      queued(0),
      cuaId(0),
      cachedSecond(-1),
      writeFailing(false),
      framesFormatted(0)
{
    start();
}

void DataLogging::start()
{
    sepUtf8 = utf8(separator);
    fileNameUtf8 = utf8(fileName);
    if (device)
        cuaId = device->getCuaId();
    openLogFile(file, fileName, "w");
    if (!device) {
        QLOG_INFO("DataLogging") << "No device passed to DataLogging";
        closeLogFile(file);
        return;
    }
    if (!file.IsOpened()) {
        QLOG_WARN("DataLogging") << "Failed to open datalogging on file " << fileName;
        writeFailing = true;  // said once; the flushes of the destruction need not say it again
        return;
    }
    QLOG_INFO("DataLogging") << "Opened datalogger file " << fileName;
    writeBuffer(buildHeader());
    closeLogFile(file);

    if (parserId == NO_PARSER)
        SetFilterToDevice();

    LoggerThread* thread = new LoggerThread(this);
    if (thread->Create() != wxTHREAD_NO_ERROR) {
        QLOG_WARN("DataLogging") << "Failed to create datalogging thread";
        delete thread;
        return;
    }
    // Running before the thread's first step: the destructor must wait for a writer that has
    // been started but has not reached its loop yet.
    writerRunning = true;
    if (thread->Run() != wxTHREAD_NO_ERROR) {
        writerRunning = false;
        QLOG_WARN("DataLogging") << "Failed to start datalogging thread";
        delete thread;
    }
}

DataLogging::~DataLogging()
{
    active = false;
    wake.Post();
    while (writerRunning) {
        wake.Post();
        active = false;
        wxMilliSleep(10);
    }
    // Unregistered before the queue lock is taken: the device calls its external parsers under its
    // receive lock, and a callback waiting there for the queue lock would otherwise wait for us while
    // we wait for it. Once this returns no callback runs, and one that ran has finished its push.
    RemoveFilterFromDevice();
    wxMutexLocker guard(queueLock);
    while (!queue.empty()) {
        RxCANFrameT* frame = queue.front();
        queue.pop_front();
        textBuffer += formatLine(*frame);
        ++framesFormatted;
        delete frame;
    }
    flush();
    QLOG_INFO("~DataLogging") << "Closing datalogger file " << fileName;
    if (file.IsOpened())
        std::fflush(file.fp());
    if (!file.IsOpened())
        openLogFile(file, fileName, "a");
    if (file.IsOpened()) {
        if (appendHeader)
            writeBuffer(buildTrailer());
        closeLogFile(file);
    }
    std::fputs("Datalogging stopped\n", stdout);
    std::fflush(stdout);
}

void DataLogging::SetFilterToDevice()
{
    if (device && parserId == NO_PARSER)
        parserId = device->addExternalParser(processMsg, this);
}

void DataLogging::RemoveFilterFromDevice()
{
    if (parserId == NO_PARSER)
        return;
    if (device)
        device->deleteExternalParserById(parserId);
    parserId = NO_PARSER;
}

void DataLogging::appendMsg(RxCANFrameT* frame)
{
    queueFrame(*frame);
}

void DataLogging::queueFrame(const RxCANFrameT& frame)
{
    wxMutexLocker guard(queueLock);
    if (!active)
        return;
    queue.push_back(new RxCANFrameT(frame));
    ++queued;
    wake.Post();
}

wxString DataLogging::getDescription()
{
    const int id = device ? device->getCuaId() : cuaId;
    wxString name = fileName;
    const int cut = name.find_last_of(wxT("\\/"));
    if (cut != wxNOT_FOUND)
        name = name.Mid(cut + 1);
    return wxString::Format(wxT("%d "), id) + name;
}

PARSE_RESULT processMsg(void* frame, void* /*device*/, void* logger)
{
    DataLogging* self = static_cast<DataLogging*>(logger);
    if (!self || !frame || !self->active)
        return PARSE_RESULT_OK;
    self->queueFrame(*static_cast<RxCANFrameT*>(frame));
    return PARSE_RESULT_OK;
}

// --- the writer ----------------------------------------------------------------------------------

void DataLogging::runWriter()
{
    unsigned int formatted = 0;
    unsigned int passes = 0;
    writerRunning = true;
    while (active) {
        if (formatNext())
            ++formatted;
        if (active) {
            // A batch is written after 100 frames, or on every sixth pass.
            if (formatted > 100 || passes >= 5) {
                if (!textBuffer.empty())
                    flush();
                formatted = 0;
                passes = 0;
            } else {
                ++passes;
            }
        }
        if (queued.load() == 0)
            wake.WaitTimeout(50);
        else
            wake.TryWait();  // keeps the count in step with the frames taken
    }
    // Last touch of the logger: the destructor may free it from here on.
    writerRunning = false;
}

bool DataLogging::formatNext()
{
    // Never waits for the lock: a busy receive side costs this pass its frame, not its time.
    if (queueLock.TryLock() != wxMUTEX_NO_ERROR)
        return false;
    if (queue.empty()) {
        queueLock.Unlock();
        return false;
    }
    RxCANFrameT* frame = queue.front();
    queue.pop_front();
    --queued;
    queueLock.Unlock();
    textBuffer += formatLine(*frame);
    delete frame;
    ++framesFormatted;
    return true;
}

void DataLogging::flush()
{
    if (!file.IsOpened())
        openLogFile(file, fileName, "a");
    if (file.IsOpened()) {
        writeBuffer(textBuffer);
        closeLogFile(file);
    } else if (!writeFailing) {
        // The folder may have gone; the batch is dropped like one that failed to write.
        writeFailing = true;
        QLOG_WARN("flush") << "Failed to open datalogging on file " << fileName;
    }
    textBuffer.clear();
}

bool DataLogging::writeBuffer(const std::string& text)
{
    if (text.empty())
        return true;  // proves nothing about the disk
    const bool ok = writeLogFile(file, text.data(), text.size());
    if (!ok && !writeFailing) {
        writeFailing = true;
        QLOG_ERROR("flush") << "Error writing log to file " << fileName;
    } else if (ok) {
        writeFailing = false;
    }
    return ok;
}

// --- the file format -----------------------------------------------------------------------------

std::string DataLogging::buildHeader()
{
    const std::string& sep = sepUtf8;
    std::string h;
    if (!appendHeader) {
        if (timeFormat == TIMESTAMP_DATE_TIME)
            h += "Time[YYYY-MM-ddTHH:mm:ss:ms]";
        else if (timeFormat == TIMESTAMP_TIME)
            h += "Time[HH:mm:ss:ms]";
        h += sep + "CUAID" + sep;
        if (idFormat == CANID_FORMAT_HEX)
            h += "MsgID[Hex]";
        else if (idFormat == CANID_FORMAT_DEC)
            h += "MsgID[Dec]";
        else if (idFormat == CANID_FORMAT_QUILLARD)
            h += "Command" + sep + "Command" + sep + "DeviceType" + sep + "DeviceNumber";
        h += sep + "DLC" + sep;
        const char* kind = nullptr;
        int columns = 8;
        switch (dataFormat) {
        case CANDATA_FORMAT_DEC:
            kind = "Dec";
            break;
        case CANDATA_FORMAT_HEX:
            kind = "Hex";
            break;
        case CANDATA_FORMAT_INT16:
            kind = "INT16";
            columns = 4;
            break;
        case CANDATA_FORMAT_REAL16:
            kind = "REAL16";
            columns = 4;
            break;
        }
        for (int i = 0; kind && i < columns; ++i) {
            if (i > 0)
                h += sep;
            h += "Data" + std::to_string(i) + "[" + kind + "]";
        }
        h += "\n";
        return h;
    }

    const unsigned long long now = Clock::wallMs();
    const wxDateTime t = localTime(static_cast<long long>(now / 1000));
    h += "***BUSMASTER Ver 1.8.0***\n";
    h += "***PROTOCOL CAN***\n";
    h += "***NOTE: PLEASE DO NOT EDIT THIS DOCUMENT***\n";
    h += "***NOTE: CREATED WITH QUILLARD DATALOGGER***\n";
    if (busmasterCompatible) {
        h += "***[START LOGGING SESSION]***\n";
        h += "***START DATE AND TIME " + busmasterDateTime(t);
        appendUnsigned(h, (now % 1000) * 10, 4);
        h += "***\n";
    } else {
        h += "***START DATE AND TIME " + utf8(t.Format(wxT("%d:%m:%Y %H:%M:%S:"))) + "0000***\n";
    }
    h += idFormat == CANID_FORMAT_HEX ? "***HEX***\n" : "***DEC***\n";
    h += "***SYSTEM MODE***\n";
    h += "***START CHANNEL BAUD RATE***\n";
    h += "***CHANNEL ";
    appendSigned(h, cuaId);
    h += " - " + utf8(device ? device->getDevName() : wxString()) + " - 0h - ";
    appendSigned(h, device ? device->getBaudrateAsInt() : 0);
    h += "000 bps***\n";
    h += "***END CHANNEL BAUD RATE***\n";
    if (busmasterCompatible) {
        h += "***START DATABASE FILES (DBF/DBC)***\n";
        h += "***END DATABASE FILES (DBF/DBC)***\n";
    }
    h += "***<Time><Tx/Rx><Channel><CAN ID><Type><DLC><DataBytes>***\n";
    return h;
}

std::string DataLogging::buildTrailer()
{
    const unsigned long long now = Clock::wallMs();
    const wxDateTime t = localTime(static_cast<long long>(now / 1000));
    std::string s = "***END DATE AND TIME ";
    if (busmasterCompatible) {
        s += busmasterDateTime(t);
        appendUnsigned(s, (now % 1000) * 10, 4);
    } else {
        s += utf8(t.Format(wxT("%d:%m:%Y %H:%M:%S:")));
    }
    s += "***\n***[STOP LOGGING SESSION]***\n";
    return s;
}

std::string DataLogging::formatLine(const RxCANFrameT& frame)
{
    const std::string& sep = sepUtf8;
    std::string line;
    line.reserve(80);

    if (timeFormat == TIMESTAMP_DATE_TIME || timeFormat == TIMESTAMP_TIME) {
        const long long second = static_cast<long long>(frame.time / 1000);
        if (second != cachedSecond) {
            const wxDateTime t = localTime(second);
            cachedTimeText = utf8(t.Format(timeFormat == TIMESTAMP_DATE_TIME ? wxT("%Y-%m-%dT%H:%M:%S:") : wxT("%H:%M:%S:")));
            cachedSecond = second;
        }
        line += cachedTimeText;
        const unsigned ms = static_cast<unsigned>(frame.time % 1000);
        if (busmasterCompatible)
            appendUnsigned(line, ms * 10, 4);
        else
            appendUnsigned(line, ms, 3);
    }
    line += sep;
    if (appendHeader)
        line += "Rx" + sep;
    appendSigned(line, device ? cuaId : frame.cuaId);
    line += sep;

    const uint32_t id = frame.frame.header.id;
    switch (idFormat) {
    case CANID_FORMAT_HEX:
        line += "0x";
        appendHex(line, id, 1);
        break;
    case CANID_FORMAT_DEC:
        appendSigned(line, static_cast<int32_t>(id));
        break;
    case CANID_FORMAT_QUILLARD:
        appendUnsigned(line, (id >> 21) & 0xFF);
        line += sep;
        appendUnsigned(line, (id >> 18) & 0x7);
        line += sep;
        appendUnsigned(line, (id >> 8) & 0x7F);
        line += sep;
        appendUnsigned(line, id & 0x7F);
        break;
    }
    line += sep;
    if (appendHeader) {
        line += frame.frame.header.ext ? "x" : "s";
        line += sep;
    }
    const unsigned dlc = frame.frame.header.dlc;
    appendUnsigned(line, dlc);
    line += sep;

    const unsigned bytes = dlc > 8 ? 8 : dlc;
    const uint8_t* d = frame.frame.data;
    // BUSMASTER ends every data value with the separator; the other forms join them.
    const bool trailing = busmasterCompatible;
    if (dataFormat == CANDATA_FORMAT_HEX || dataFormat == CANDATA_FORMAT_DEC) {
        for (unsigned i = 0; i < bytes; ++i) {
            if (i > 0 && !trailing)
                line += sep;
            if (dataFormat == CANDATA_FORMAT_HEX)
                appendHex(line, d[i], 2);
            else
                appendUnsigned(line, d[i]);
            if (trailing)
                line += sep;
        }
    } else {
        for (unsigned i = 0; i + 1 < bytes; i += 2) {
            if (i > 0 && !trailing)
                line += sep;
            const int16_t v = static_cast<int16_t>(d[i] | (d[i + 1] << 8));
            if (dataFormat == CANDATA_FORMAT_INT16) {
                appendSigned(line, v);
            } else {
                char text[32];
                std::snprintf(text, sizeof text, "%f", v * (1.0 / 32768.0));
                line += text;
            }
            if (trailing)
                line += sep;
        }
        if ((bytes & 1) && !trailing)
            line += sep;
    }
    line += "\n";
    return line;
}

}  // namespace Sensors
