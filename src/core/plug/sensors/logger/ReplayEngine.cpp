#include "ReplayEngine.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include <wx/utils.h>

#include "Clock.h"
#include "QCANDevice.h"
#include "SensorManager.h"
#include "WispEasyWrapper.h"

namespace Sensors {

namespace {

const wxString COLUMN_LINE = wxT("<Time><Tx/Rx><Channel><CAN ID><Type><DLC><DataBytes>");
const wxString END_LINE = wxT("***END DATE AND TIME ");
const wxString SESSION_START = wxT("***START DATE AND TIME ");

// BUSMASTER 1.x writes no column line: its frames follow the end of the database block.
bool endsDatabaseBlock(const wxString& line)
{
    return line.Contains(wxT("***END DATABASE FILES (DBF/DBC)***")) ||
           line.Contains(wxT("***END OF DATABASE FILES (DBF/DBC)***"));
}
const unsigned int IDLE_MS = 100;
const unsigned int NO_DEVICE_MS = 100;
const unsigned int BUS_REPORT_MS = 100;
const unsigned int BAD_LINES_REPORTED = 10;
const unsigned long long HALF_DAY_US = 12ULL * 3600ULL * 1000000ULL;
const long long DAY_US = 24LL * 3600LL * 1000000LL;
// The longest single wait of the exact mode; the thread then looks again.
const unsigned long long LONGEST_WAIT_US = 1000000ULL;

void printLine(const char* text)
{
    std::fputs(text, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace

ReplayEngine::ReplayEngine(const wxString& fileName_, int cuaId_, bool loop_, bool reportBusState_, int interval_,
                           ReplayPacing pacing_)
    : active(false),
      threadActive(false),
      loop(loop_),
      status(REPLAY_LOAD),
      fileName(fileName_),
      cuaId(cuaId_),
      reportBus(reportBusState_),
      interval(interval_),
      pacing(pacing_),
      hexadecimal(false),
      fileOpen(false),
      firstDataLine(0),
      lastDataLine(0),
      currentIndex(0),
      resetRequested(false),
      wakeRequested(false),
      pending(),
      lastReportMs(0),
      reportedOnce(false),
      hasBase(false),
      baseFileUs(0),
      baseTickUs(0),
      hasOrigin(false),
      originFileUs(0),
      originTickUs(0),
      lastFileUs(0),
      hasLastRaw(false),
      lastDated(false),
      lastRawUs(0),
      dayOffsetUs(0),
      tickSeen(false),
      lastTick32(0),
      tickHigh(0),
      deviceMissing(false),
      badLinesReported(0),
      framesSent(0),
      behindMs(0)
{
    pending.index = static_cast<unsigned int>(-1);
}

bool ReplayEngine::readLines(const wxString& name, std::deque<wxString>& lines, size_t maxLines)
{
    lines.clear();
    std::FILE* f = std::fopen(name.fn_str(), "rb");
    if (!f)
        return false;
    const bool ok = readLines(f, lines, maxLines);
    std::fclose(f);
    return ok;
}

bool ReplayEngine::readLines(std::FILE* f, std::deque<wxString>& lines, size_t maxLines)
{
    lines.clear();
    std::vector<char> chunk(64 * 1024);
    std::string partial;
    bool ok = true;
    auto addLine = [&](const char* b, size_t n) {
        if (n > 0 && b[n - 1] == '\r')
            --n;
        if (lines.empty() && n >= 3 && std::memcmp(b, "\xEF\xBB\xBF", 3) == 0) {
            b += 3;  // a byte-order mark
            n -= 3;
        }
        size_t i = 0;
        while (i < n && !(b[i] & 0x80))
            ++i;
        wxString text;
        if (i == n) {
            text = wxString::FromAscii(b, n);  // logs are ASCII: no conversion needed
        } else {
            text = wxString::FromUTF8(b, n);
            if (text.empty())
                text = wxString(b, wxConvISO8859_1, n);
        }
        lines.push_back(std::move(text));
    };
    while (lines.size() < maxLines) {
        const size_t got = std::fread(chunk.data(), 1, chunk.size(), f);
        if (got == 0) {
            ok = !std::ferror(f);
            break;
        }
        size_t start = 0;
        for (size_t i = 0; i < got && lines.size() < maxLines; ++i) {
            if (chunk[i] != '\n')
                continue;
            if (partial.empty()) {
                addLine(chunk.data() + start, i - start);
            } else {
                partial.append(chunk.data() + start, i - start);
                addLine(partial.data(), partial.size());
                partial.clear();
            }
            start = i + 1;
        }
        if (lines.size() < maxLines)
            partial.append(chunk.data() + start, got - start);
    }
    if (ok && !partial.empty() && lines.size() < maxLines)
        addLine(partial.data(), partial.size());
    if (!ok)
        lines.clear();
    return ok;
}

wxString ReplayEngine::headerText(const std::deque<wxString>& lines)
{
    wxString header;
    const size_t n = lines.size() < HEADER_LINES ? lines.size() : HEADER_LINES;
    for (size_t i = 0; i < n; ++i) {
        header += wxT("\n");
        header += lines[i].length() > 1024 ? lines[i].Left(1024) : lines[i];
    }
    return header;
}

bool ReplayEngine::checkHeader(const wxString& header)
{
    if (!header.Contains(wxT("***BUSMASTER Ver"))) {
        QLOG_INFO("validateLogFile") << "Replay file missing ***BUSMASTER Ver";
        return false;
    }
    if (!header.Contains(wxT("***PROTOCOL CAN***"))) {
        QLOG_INFO("validateLogFile") << "Replay file missing ***PROTOCOL CAN*** ";
        return false;
    }
    if (!header.Contains(wxT("***HEX***")) && !header.Contains(wxT("***DEC***"))) {
        QLOG_INFO("validateLogFile") << "Replay file missing data format";
        return false;
    }
    if (!header.Contains(wxT("***<Time><Tx/Rx><Channel><CAN ID><Type><DLC><DataBytes>***")) && !endsDatabaseBlock(header)) {
        QLOG_INFO("validateLogFile")
            << "Replay file start of data missing ***<Time><Tx/Rx><Channel><CAN ID><Type><DLC><DataBytes>*** ";
        return false;
    }
    return true;
}

bool ReplayEngine::load(bool startRunning)
{
    // The file is read once; the checks of validateLogFile run on what was read.
    if (!readLines(fileName, file)) {
        QLOG_INFO("validateLogFile") << "Replay file open failed : " << fileName;
        printLine("Replay file was not good");
        setStatus(REPLAY_ERROR);
        return false;
    }
    const wxString header = headerText(file);
    if (!checkHeader(header)) {
        printLine("Replay file was not good");
        setStatus(REPLAY_ERROR);
        file.clear();
        return false;
    }
    if (!SensorManager::getInstance()->getQCANDeviceByID(cuaId)) {
        setStatus(REPLAY_ERROR);
        printLine("Bad CUAID for replay");
        file.clear();
        return false;
    }
    if (header.Contains(wxT("***HEX***")))
        hexadecimal = true;
    else if (header.Contains(wxT("***DEC**")))
        hexadecimal = false;
    else
        setStatus(REPLAY_ERROR);

    printLine("Find start");
    fileOpen = true;
    const size_t lines = file.size();
    for (size_t i = 0; i < lines; ++i) {
        if (file[i].Contains(COLUMN_LINE)) {
            firstDataLine = static_cast<unsigned int>(i + 1);
            break;
        }
    }
    for (size_t i = 0; i < lines && firstDataLine == 0; ++i)
        if (endsDatabaseBlock(file[i]))
            firstDataLine = static_cast<unsigned int>(i + 1);
    printLine("Find end");
    // The last END line after the data: a file may hold several logging sessions, and the first
    // ones may have no frames at all.
    for (size_t i = lines; i > firstDataLine; --i) {
        if (file[i - 1].Contains(END_LINE)) {
            lastDataLine = static_cast<unsigned int>(i - 2);
            break;
        }
    }
    std::printf("Data at lines %d .. %d\n", static_cast<int>(firstDataLine), static_cast<int>(lastDataLine));
    std::fflush(stdout);

    if (firstDataLine < lastDataLine && getStatus() != REPLAY_ERROR) {
        printLine("Logfile ok");
        currentIndex = firstDataLine;
        if (startRunning) {
            printLine("start()");
            start();
        } else {
            // Paused, but with a live thread that idles until start().
            printLine("pause()");
            wxMutexLocker guard(lock);
            status = REPLAY_PAUSE;
            active = true;
        }
        printLine("startThread()");
        return true;
    }
    setStatus(REPLAY_ERROR);
    printLine("Logfile error");
    return false;
}

// --- locked fields ----------------------------------------------------------------------------

void ReplayEngine::start()
{
    {
        wxMutexLocker guard(lock);
        status = REPLAY_RUNNING;
        active = true;
    }
    wake();
}

void ReplayEngine::pause()
{
    setStatus(REPLAY_PAUSE);
}

void ReplayEngine::stop()
{
    {
        wxMutexLocker guard(lock);
        status = REPLAY_STOP;
        active = false;
    }
    wake();
}

void ReplayEngine::markStopping()
{
    stop();
}

int ReplayEngine::getStatus()
{
    wxMutexLocker guard(lock);
    return status;
}

void ReplayEngine::setStatus(int value)
{
    {
        wxMutexLocker guard(lock);
        status = value;
    }
    wake();
}

bool ReplayEngine::getLoop()
{
    wxMutexLocker guard(lock);
    return loop;
}

void ReplayEngine::setLoop(bool value)
{
    wxMutexLocker guard(lock);
    loop = value;
}

bool ReplayEngine::getActive()
{
    wxMutexLocker guard(lock);
    return active;
}

bool ReplayEngine::getThreadActive()
{
    wxMutexLocker guard(lock);
    return threadActive;
}

void ReplayEngine::wake()
{
    wakeRequested = true;
    Clock::wakeSleepers();
}

bool ReplayEngine::stillRunning()
{
    wxMutexLocker guard(lock);
    return active && status == REPLAY_RUNNING;
}

// --- the thread ------------------------------------------------------------------------------------

void ReplayEngine::replayThreadStarted()
{
    {
        wxMutexLocker guard(lock);
        threadActive = true;
    }
    QLOG_INFO("replayThreadStarted") << "LogFileReplay started";
}

void ReplayEngine::replayThreadStopped()
{
    {
        wxMutexLocker guard(lock);
        threadActive = false;
        status = REPLAY_END;
    }
    QLOG_INFO("replayThreadStopped") << "LogFileReplay stopped";
}

void ReplayEngine::run()
{
    replayThreadStarted();
    bool idled = true;
    for (;;) {
        // Cleared before the status is read: a change made after this point cuts the next wait short.
        wakeRequested = false;
        bool isActive;
        int now;
        {
            wxMutexLocker guard(lock);
            isActive = active;
            now = status;
        }
        if (!isActive) {
            replayThreadStopped();
            return;
        }
        if (now != REPLAY_RUNNING) {
            idled = true;
            Clock::sleepMsUnless(IDLE_MS, wakeRequested);
            continue;
        }
        // After a pause the exact schedule starts anew; otherwise every frame of the pause would be due.
        if (idled && pacing == REPLAY_PACING_EXACT)
            resetRequested = true;
        idled = false;
        const unsigned int waitMs = sendNextFrame();
        if (waitMs > 0)
            Clock::sleepMsUnless(waitMs, wakeRequested);
    }
}

bool ReplayEngine::waitThreadEnd(unsigned int ms)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (!getThreadActive())
            return true;
        if (std::chrono::steady_clock::now() >= until)
            return false;
        wake();
        wxMilliSleep(5);
    }
}

unsigned long long ReplayEngine::nowUs()
{
    const unsigned int tick = Clock::tickCount();
    if (tickSeen && tick < lastTick32)
        tickHigh += 0x100000000ULL;
    tickSeen = true;
    lastTick32 = tick;
    return (tickHigh + tick) * 1000ULL;
}

QCANDevice* ReplayEngine::device()
{
    return SensorManager::getInstance()->getQCANDeviceByID(cuaId);
}

void ReplayEngine::reportBusState(unsigned long long nowMs)
{
    if (!reportBus || (reportedOnce && nowMs - lastReportMs <= BUS_REPORT_MS))
        return;
    reportedOnce = true;
    lastReportMs = nowMs;
    // What the adapter library's status report does: keeps a connected adapter from timing out.
    if (QCANDevice* dev = device())
        dev->NotifyHandler(CAN_MODE_NORMAL, CAN_BUS_ON);
}

void ReplayEngine::clearPacing()
{
    hasBase = false;
    hasOrigin = false;
    hasLastRaw = false;
    dayOffsetUs = 0;
}

void ReplayEngine::resetPacing()
{
    clearPacing();
    pending.index = static_cast<unsigned int>(-1);  // its time was widened against the lines before
}

void ReplayEngine::warnBadLine(unsigned int index, const char* why)
{
    if (badLinesReported > BAD_LINES_REPORTED)
        return;
    ++badLinesReported;
    if (badLinesReported > BAD_LINES_REPORTED) {
        QLOG_WARN("sendNextFrame") << "Replay passes over further bad lines of " << fileName << " without a message";
        return;
    }
    QLOG_WARN("sendNextFrame") << "Replay passed over line " << (index + 1) << " of " << fileName << ": " << why;
}

const ReplayEngine::Pending& ReplayEngine::current()
{
    const unsigned int index = currentIndex.load();
    if (pending.index == index)
        return pending;
    pending.index = index;
    const wxString& text = file[index];
    const char* why = nullptr;
    pending.kind = ReplayLineParser::parse(text, hexadecimal.load(), pending.line, &why);
    if (pending.kind == REPLAY_LINE_BAD) {
        warnBadLine(index, why);
    } else if (pending.kind == REPLAY_LINE_OTHER) {
        // A later logging session in the same file: its own number base, its own time line.
        if (text.Contains(wxT("***HEX***")))
            hexadecimal = true;
        else if (text.Contains(wxT("***DEC***")))
            hexadecimal = false;
        else if (text.Contains(COLUMN_LINE) || text.StartsWith(SESSION_START))
            clearPacing();
    } else if (pending.line.received) {
        // A time of day that jumps back by more than half a day has passed midnight.
        const unsigned long long raw = pending.line.timeUs;
        // Time of day and date-and-time lines do not share a time line: a change starts a new one.
        if (hasLastRaw && pending.line.dated != lastDated)
            clearPacing();
        lastDated = pending.line.dated;
        if (!pending.line.dated && hasLastRaw && raw + HALF_DAY_US < lastRawUs)
            dayOffsetUs += DAY_US;
        hasLastRaw = true;
        lastRawUs = raw;
        pending.timeUs = static_cast<long long>(raw) + dayOffsetUs;
    }
    return pending;
}

bool ReplayEngine::advance()
{
    const unsigned int index = currentIndex.load();
    if (index >= lastDataLine)
        return false;
    currentIndex = index + 1;
    return true;
}

unsigned int ReplayEngine::endOfData()
{
    if (getLoop()) {
        printLine("Loop replay");
        currentIndex = firstDataLine + 1;
        resetPacing();
        return interval > 0 ? static_cast<unsigned int>(interval) : 1;
    }
    printLine("End of replay");
    stop();
    return 0;
}

unsigned int ReplayEngine::sendNextFrame()
{
    const unsigned int pauseMs = interval > 0 ? static_cast<unsigned int>(interval) : 1;
    if (resetRequested.exchange(false))
        resetPacing();
    unsigned long long now = nowUs();
    reportBusState(now / 1000);

    unsigned int walked = 0;
    for (;;) {
        const Pending& p = current();
        if (p.kind == REPLAY_LINE_FRAME && p.line.received) {
            const long long t = p.timeUs;
            unsigned long long dueUs = now;
            if (interval <= 0) {
                if (!hasOrigin) {
                    hasOrigin = true;
                    originFileUs = t;
                    originTickUs = now;
                    lastFileUs = t;
                } else if (t < lastFileUs) {
                    // A step back in the log's time: the frame follows the previous one at once.
                    originTickUs = originTickUs + static_cast<unsigned long long>(lastFileUs - originFileUs);
                    originFileUs = t;
                }
                dueUs = originTickUs + static_cast<unsigned long long>(t - originFileUs);
                if (pacing == REPLAY_PACING_EXACT) {
                    if (dueUs > now) {
                        const unsigned long long waitUs = dueUs - now < LONGEST_WAIT_US ? dueUs - now : LONGEST_WAIT_US;
                        return static_cast<unsigned int>((waitUs + 999) / 1000);
                    }
                } else if (!hasBase) {
                    hasBase = true;
                    baseFileUs = t;
                    baseTickUs = now;
                } else {
                    // The frame goes once strictly more time has passed since the previous frame
                    // went out than lies between their stamps (a step back counts as no gap).
                    const long long gapUs = t > baseFileUs ? t - baseFileUs : 0;
                    if (now - baseTickUs <= static_cast<unsigned long long>(gapUs))
                        return pauseMs;
                    baseFileUs = t;
                    baseTickUs = now;
                }
            }
            QCANDevice* dev = device();
            if (!dev) {
                printLine("LogReplay:: No CUA Device");
                if (!deviceMissing)
                    QLOG_WARN("sendNextFrame") << "Replay of " << fileName << " waits on line " << (p.index + 1)
                                               << ": adapter CUA#" << cuaId << " is gone";
                deviceMissing = true;
                resetRequested = true;  // the schedule starts anew when the adapter is back
                return NO_DEVICE_MS;
            }
            deviceMissing = false;
            _TGENERIC_CAN_FRAME frame = p.line.frame;
            dev->RxHandler(&frame.header, frame.data);
            ++framesSent;
            lastFileUs = t;
            if (interval <= 0)
                behindMs = (static_cast<long long>(now) - static_cast<long long>(dueUs)) / 1000;
            if (interval > 0) {
                // A fixed interval sends one frame per pass.
                if (!advance())
                    return endOfData();
                return pauseMs;
            }
            if (pacing == REPLAY_PACING_EXACT) {
                if (!stillRunning())
                    return advance() ? 0 : endOfData();
                now = nowUs();
            }
        }
        if (!advance())
            return endOfData();
        // A long stretch of lines that send nothing still lets a stop through.
        if ((++walked & 0xFFF) == 0 && !stillRunning())
            return 0;
    }
}

// --- position and text ---------------------------------------------------------------------------

bool ReplayEngine::setNewStartPos(long position)
{
    if (position < 0 || static_cast<unsigned long long>(position) + firstDataLine >= lastDataLine) {
        printLine("LogFileReplayThread new position was set too much !!!");
        QLOG_INFO("setNewStartPos") << "LogFileReplayThread new position was set too much !!!";
        return false;
    }
    printLine("LogFileReplayThread new position was set !!!");
    QLOG_INFO("setNewStartPos") << "LogFileReplayThread new position was set !!!";
    currentIndex = firstDataLine + static_cast<unsigned int>(position) + 1;
    resetRequested = true;
    wake();
    return true;
}

wxString ReplayEngine::getCurrentLine()
{
    if (!fileOpen)
        return wxString();
    return file[currentIndex.load()];
}

wxString ReplayEngine::toString()
{
    static const char* const texts[] = {"[ERROR] ", "[LOAD ] ", "[ >>  ] ", "[ END ] ", "[PAUSE] ", "[STOP ] "};
    const int s = getStatus();
    wxString text = s >= -1 && s <= 4 ? wxString(texts[s + 1]) : wxString();
    if (fileOpen) {
        const int slash = fileName.Find(wxFILE_SEP_PATH, true);
        const int backslash = fileName.Find(wxT('\\'), true);
        const int cut = slash > backslash ? slash : backslash;
        text += fileName.Mid(static_cast<size_t>(cut + 1));
        text += wxString::Format(wxT(" -> CUA#%d (%d / %d)"), cuaId,
                                 static_cast<int>(currentIndex.load() - firstDataLine),
                                 static_cast<int>(lastDataLine - firstDataLine));
    }
    return text;
}

}  // namespace Sensors
