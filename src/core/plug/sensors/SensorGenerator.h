#pragma once

// "Sensor Data Generator": feeds invented DSM500 distance frames into an adapter's receive path, as
// if the adapter had received them, from a worker thread (GeneratorThread) that runs from the
// window's creation to its destruction.
//
// Threads: the controls belong to the GUI thread. Whenever one changes, the GUI thread publishes
// what the controls say (Settings) under the window's lock; the worker reads only that copy, and
// leaves what it has to show (the "%d cm" labels, "Bad CUAID") under the same lock for the GUI
// thread's timer to put on the screen. The worker is joined before the window goes.

#include <wx/frame.h>
#include <wx/thread.h>
#include <wx/timer.h>

class wxCheckBox;
class wxSlider;
class wxStaticText;
class wxTextCtrl;

namespace Sensors {

class GeneratorThread;

class SensorGenerator : public wxFrame {
public:
    explicit SensorGenerator(wxWindow* parent, wxWindowID id = -1);
    ~SensorGenerator() override;

    // The controls as the GUI thread last published them.
    struct Settings {
        bool on = false;
        bool dsm500 = false;
        bool feed = false;
        int distance = 100;      // first slider, cm
        int feedDistance = 100;  // second slider, cm
        long interval = 20;      // ms between cycles; 0 when the field holds no number
        long cuaId = 1;          // -1 when the field holds no number
    };
    Settings getSettings();

    // What the worker wants shown; the GUI thread's timer shows it.
    void showDistance(bool feed, int cm);
    void showBadCuaId(bool bad);

    // Control ids, stable so that scripts and tests find the controls.
    enum {
        ID_DSM500 = wxID_HIGHEST + 1, ID_DSM500_SLIDER, ID_DSM500_LABEL, ID_FEED, ID_FEED_SLIDER, ID_FEED_LABEL,
        ID_ON, ID_INTERVAL, ID_CUA, ID_TIMER
    };
    static const int SLIDER_MAX = 600;

private:
    void publish(wxCommandEvent& event);
    void onTimer(wxTimerEvent& event);

    wxCheckBox* dsm500;
    wxSlider* distance;
    wxStaticText* distanceLabel;
    wxCheckBox* feed;
    wxSlider* feedDistance;
    wxStaticText* feedLabel;
    wxCheckBox* on;
    wxTextCtrl* interval;
    wxTextCtrl* cua;
    wxTimer timer;
    GeneratorThread* thread;

    wxMutex lock;  // guards the three fields below
    Settings settings;
    int shown[2];  // cm the worker last sent per slider, -1 before the first
    bool badCuaId;
};

}  // namespace Sensors
