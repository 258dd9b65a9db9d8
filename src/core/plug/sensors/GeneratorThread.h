#pragma once

// The worker of the sensor data generator: every cycle it reads the window's published settings and
// hands the adapter's receive handler the frame pairs of the ticked sliders. Joinable: the window
// stops it and waits for it.

#include <atomic>

#include <wx/thread.h>

namespace Sensors {

class SensorGenerator;

class GeneratorThread : public wxThread {
public:
    explicit GeneratorThread(SensorGenerator* window);
    // Asks the thread to end and rouses it from its pause; the caller then Wait()s.
    void stop();
    bool isRunning();

protected:
    ExitCode Entry() override;

private:
    SensorGenerator* window;
    wxMutex lock;  // guards running
    bool running;
    std::atomic<bool> stopping;
};

}  // namespace Sensors
