#pragma once

// "CAN Data Replay": plays BUSMASTER logs into the first adapter of the manager, several at once.
// The window owns its replays (in the order loaded) and shows each one's toString in a list that a
// 500 ms timer refreshes; the same tick deletes replays that ended or were refused. Closing the
// window deletes every replay, each waiting for its thread.

#include <vector>

#include <wx/frame.h>
#include <wx/timer.h>

class wxCheckBox;
class wxListCtrl;
class wxTextCtrl;

namespace Sensors {
class LogFileReplay;
}

class SensorSimulator : public wxFrame {
public:
    explicit SensorSimulator(wxWindow* parent, wxWindowID id = -1);
    ~SensorSimulator() override;

    const std::vector<Sensors::LogFileReplay*>& getReplays() const { return replays; }

    // Control ids, stable so that scripts and tests find the controls.
    enum {
        ID_FILE = wxID_HIGHEST + 1, ID_SELECT, ID_LOAD, ID_LOOP, ID_HEX, ID_START, ID_INTERVAL, ID_LIST,
        ID_CLEAR_STOPPED, ID_DELETE_ALL, ID_PAUSE_ALL, ID_RESUME_ALL, ID_POSITION, ID_SET, ID_TIMER
    };
    static const int REFRESH_MS = 500;

private:
    void onSelect(wxCommandEvent& event);
    void onLoad(wxCommandEvent& event);
    void onClearStopped(wxCommandEvent& event);
    void onDeleteAll(wxCommandEvent& event);
    void onPauseAll(wxCommandEvent& event);
    void onResumeAll(wxCommandEvent& event);
    void onSet(wxCommandEvent& event);
    void onTimer(wxTimerEvent& event);

    void clearStopped();
    void deleteAll();
    void refreshList();

    std::vector<Sensors::LogFileReplay*> replays;
    wxTextCtrl* file;
    wxCheckBox* loop;
    wxCheckBox* startReplay;
    wxTextCtrl* interval;
    wxListCtrl* list;
    wxTextCtrl* position;
    wxTimer timer;
};
