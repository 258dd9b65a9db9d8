#pragma once

// The traffic generator: "Start" sends a burst of numbered frames out of the adapter named by
// "CUAID" ("Frames" frames, a pause of "Interval" ms after every second one) from a
// CANTrafficGeneratorThread. Every burst still running when the window goes is stopped and waited for.

#include <vector>

#include <wx/frame.h>

class wxTextCtrl;

namespace Sensors {

class CANTrafficGeneratorThread;

class CANTrafficGenerator : public wxFrame {
public:
    explicit CANTrafficGenerator(wxWindow* parent, wxWindowID id = -1);
    ~CANTrafficGenerator() override;

    // Bursts started and not yet reaped (a finished one is reaped at the next "Start").
    size_t getThreadCount() const { return threads.size(); }

    // Control ids, stable so that scripts and tests find the controls.
    enum { ID_CUAID = wxID_HIGHEST + 1, ID_FRAMES, ID_INTERVAL, ID_START };

private:
    void onStart(wxCommandEvent& event);
    void reap(bool all);

    wxTextCtrl* cuaId;
    wxTextCtrl* frames;
    wxTextCtrl* interval;
    std::vector<CANTrafficGeneratorThread*> threads;
};

}  // namespace Sensors
