#pragma once

// The working part of a log replay: the log in memory, the position, the pacing and the status.
// A `LogFileReplay` and its thread share one engine, so that a replay deleted while its thread is
// still inside a pass (stuck in a parser, say) frees nothing the thread still uses: the engine
// lives until the last of the two lets go of it.

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <deque>

#include <wx/string.h>
#include <wx/thread.h>

#include "ReplayLineParser.h"

namespace Sensors {

class QCANDevice;

// How a replay spaces the frames of the log.
enum ReplayPacing {
    // Each frame waits for its gap to the previous frame, measured from the moment that frame went
    // out; at most one frame per pass. Slow traffic replays as recorded; busy traffic falls behind.
    REPLAY_PACING_CLASSIC = 0,
    // Each frame goes out when its time, counted from the first frame, has come; every frame that
    // is due goes out in the same pass. A long replay of busy traffic keeps its schedule.
    REPLAY_PACING_EXACT = 1
};

enum ReplayStatus {
    REPLAY_ERROR = -1,
    REPLAY_LOAD = 0,
    REPLAY_RUNNING = 1,
    REPLAY_END = 2,
    REPLAY_PAUSE = 3,
    REPLAY_STOP = 4
};

class ReplayEngine {
public:
    ReplayEngine(const wxString& fileName, int cuaId, bool loop, bool reportBusState, int interval,
                 ReplayPacing pacing);
    ReplayEngine(const ReplayEngine&) = delete;
    ReplayEngine& operator=(const ReplayEngine&) = delete;

    // The construction steps after the fields: reads and checks the file, finds the adapter and
    // the data block. True when the replay thread is to be started.
    bool load(bool startRunning);
    // The header checks of a log already read; logs the first failure.
    static bool checkHeader(const wxString& header);
    // The first 250 lines, each preceded by "\n"; of a longer line only its first 1024 characters
    // count, which hold any marker a header line can carry.
    static wxString headerText(const std::deque<wxString>& lines);
    // Reads up to `maxLines` lines of a text file (LF or CR LF), each from UTF-8, or byte for byte
    // when it is not UTF-8; false when the file cannot be read.
    static bool readLines(const wxString& fileName, std::deque<wxString>& lines, size_t maxLines = ~size_t(0));
    static bool readLines(std::FILE* file, std::deque<wxString>& lines, size_t maxLines = ~size_t(0));
    static const unsigned int HEADER_LINES = 250;

    // --- under the lock ---
    void start();
    void pause();
    void stop();
    int getStatus();
    void setStatus(int value);
    bool getLoop();
    void setLoop(bool value);
    bool getActive();
    bool getThreadActive();
    void markStopping();  // status STOP and active false, as the destructor does

    // --- the thread's steps ---
    void replayThreadStarted();
    void replayThreadStopped();
    // One pass; returns how many milliseconds the thread waits before the next one.
    unsigned int sendNextFrame();
    // The thread's loop, until active goes false.
    void run();
    // Waits (real time) up to `ms` for the thread to end.
    bool waitThreadEnd(unsigned int ms);
    // Rouses a waiting thread so that it looks at the status at once.
    void wake();

    bool setNewStartPos(long position);
    wxString toString();

    int getInterval() const { return interval; }
    ReplayPacing getPacing() const { return pacing; }
    const wxString& getFilename() const { return fileName; }
    int getCuaId() const { return cuaId; }
    bool isHexadecimal() const { return hexadecimal.load(); }
    unsigned int getFirstDataLine() const { return firstDataLine; }
    unsigned int getLastDataLine() const { return lastDataLine; }
    unsigned int getPosition() const { return currentIndex.load() - firstDataLine; }
    unsigned int getTotal() const { return lastDataLine - firstDataLine; }
    unsigned long long getFramesSent() const { return framesSent.load(); }
    long long getBehindMs() const { return behindMs.load(); }
    wxString getCurrentLine();

private:
    struct Pending {
        unsigned int index;  // line the fields below belong to
        ReplayLineKind kind;
        ReplayLine line;
        long long timeUs;  // file time with days added across midnight
    };

    const Pending& current();
    bool advance();  // false at the last data line
    unsigned int endOfData();
    void clearPacing();
    void resetPacing();  // clearPacing, and the current line is read again
    unsigned long long nowUs();  // the tick count, widened past its 32-bit wrap, in microseconds
    bool stillRunning();
    void reportBusState(unsigned long long nowMs);
    QCANDevice* device();
    void warnBadLine(unsigned int index, const char* why);

    wxMutex lock;
    bool active;
    bool threadActive;
    bool loop;
    int status;

    const wxString fileName;
    const int cuaId;
    const bool reportBus;
    const int interval;
    const ReplayPacing pacing;
    std::atomic<bool> hexadecimal;
    std::deque<wxString> file;  // the whole log
    bool fileOpen;
    unsigned int firstDataLine;
    unsigned int lastDataLine;

    // Owned by the replay thread; the position is moved by others only while the replay is paused.
    std::atomic<unsigned int> currentIndex;
    std::atomic<bool> resetRequested;
    std::atomic<bool> wakeRequested;
    Pending pending;
    unsigned long long lastReportMs;
    bool reportedOnce;
    // The pacing base of the classic mode: the last frame sent and when it went out.
    bool hasBase;
    long long baseFileUs;
    unsigned long long baseTickUs;
    // The schedule origin: the first frame since the last reset and when it went out. The exact
    // mode sends by it; both modes measure how far behind they are by it.
    bool hasOrigin;
    long long originFileUs;
    unsigned long long originTickUs;
    long long lastFileUs;  // the last received frame's time, for steps backwards
    // Across midnight: the raw time of the previous frame line and the days added so far.
    bool hasLastRaw;
    bool lastDated;
    unsigned long long lastRawUs;
    long long dayOffsetUs;
    // The widened tick count.
    bool tickSeen;
    unsigned int lastTick32;
    unsigned long long tickHigh;

    bool deviceMissing;
    unsigned int badLinesReported;
    std::atomic<unsigned long long> framesSent;
    std::atomic<long long> behindMs;
};

}  // namespace Sensors
