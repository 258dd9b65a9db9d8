#pragma once

// Plays a CAN log in the BUSMASTER form back into one adapter as if the adapter had received the
// frames: each received-frame line becomes a frame handed to the adapter's receive handler, so that
// parsers, sensors, the manager and any loggers see it like live traffic. The replay paces the
// frames by the time stamps of the log (classic or exact pacing, see ReplayPacing) or sends one
// frame per fixed interval, can loop, be paused, resumed and moved to another line, and runs on
// its own thread (LogFileReplayThread). Line format: ReplayLineParser.h.
//
// Status texts of toString: "[ERROR] " refused, "[LOAD ] " being built, "[ >>  ] " running,
// "[ END ] " thread ended, "[PAUSE] " paused, "[STOP ] " told to end.

#include <memory>

#include <wx/string.h>

#include "CANFrameTypes.h"
#include "ReplayEngine.h"

namespace Sensors {

class LogFileReplay {
public:
    // `interval` is the fixed pause between frames in ms; -1 selects time-stamp pacing, and then
    // `pacing` says which. `reportBusState` reports "bus on" to the adapter every 100 ms while the
    // replay runs, so that an adapter whose own reports are missing does not time out.
    LogFileReplay(const wxString& fileName, int cuaId, bool loop, bool reportBusState, int interval,
                  bool startRunning, ReplayPacing pacing = REPLAY_PACING_CLASSIC);
    // Stops the thread and waits for it at most 1000 ms; a thread still busy after that keeps
    // what it uses alive by itself and ends at its next look at the status.
    virtual ~LogFileReplay();
    LogFileReplay(const LogFileReplay&) = delete;
    LogFileReplay& operator=(const LogFileReplay&) = delete;

    // True when the file can be read and its first 250 lines hold the four BUSMASTER markers.
    static bool validateLogFile(const wxString& fileName);
    // Reads one line (time in ms); false when it is no frame line. A Tx line is a frame line with
    // `received` false and the frame left as it was.
    static bool getCanFrame(const wxString& line, bool hexadecimal, _TGENERIC_CAN_FRAME& frame,
                            unsigned long long& fileTime, bool& received);

    void start();
    void pause();
    void stop();
    int getStatus();
    bool getLoop();
    void setLoop(bool loop);
    bool getActive();
    bool getThreadActive();
    int getInterval();
    wxString getFilename();
    // Moves the replay to the data line after `position` (0 continues at the second data line);
    // refuses a position at or beyond the end of the data. Meant for a paused replay.
    void setNewStartPos(long position);
    wxString toString();
    void skip();

    // The thread's steps.
    void sendNextFrame();
    void startThread();
    void stopThread(int milliseconds);
    void replayThreadStarted();
    void replayThreadStopped();

    ReplayPacing getPacing();
    // Data lines passed and data lines in all, as toString shows them.
    unsigned int getPosition();
    unsigned int getTotal();
    unsigned long long getFramesSent();
    // How late the last frame went out against the log's time line since the replay (re)started.
    long long getBehindMs();

private:
    std::shared_ptr<ReplayEngine> engine;
};

}  // namespace Sensors
