#pragma once

// Sends a burst of numbered test frames out of one adapter to load the bus: extended identifier
// 0x29A, DLC 8, bytes 0-3 the frame's number and bytes 4-7 the tick count when it went out, both
// little-endian; a pause of `interval` ms after every even number, so the frames leave in pairs.
// Joinable: the window that started it stops it and waits for it.

#include <atomic>

#include <wx/thread.h>

#include "SensorManager.h"

namespace Sensors {

class CANTrafficGeneratorThread : public wxThread {
public:
    CANTrafficGeneratorThread(QCANDeviceRef device, int frames, int interval);
    // Asks the thread to end and rouses it from its pause; the caller then Wait()s.
    void stop();
    bool hasEnded() const { return ended.load(); }

    static const uint32_t FRAME_ID = 0x29A;

protected:
    ExitCode Entry() override;

private:
    QCANDeviceRef device;  // held, so that the adapter outlives the burst
    const int frames;
    const int interval;
    std::atomic<bool> stopping;
    std::atomic<bool> ended;
};

}  // namespace Sensors
