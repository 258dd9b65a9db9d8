#include "SensorGenerator.h"

#include <wx/checkbox.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/slider.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "GeneratorThread.h"
#include "WispEasyWrapper.h"

namespace Sensors {

namespace {

const int SHOW_MS = 100;

wxString centimetres(int cm)
{
    return wxString::Format(wxT("%d cm"), cm);
}

}  // namespace

SensorGenerator::SensorGenerator(wxWindow* parent, wxWindowID id)
    : wxFrame(parent, id, wxT("Sensor Data Generator"), wxDefaultPosition, wxSize(460, 260)),
      timer(this, ID_TIMER),
      thread(nullptr),
      shown{-1, -1},
      badCuaId(false)
{
    wxPanel* root = new wxPanel(this);
    wxFlexGridSizer* grid = new wxFlexGridSizer(3, 4, 8);
    grid->AddGrowableCol(1);
    dsm500 = new wxCheckBox(root, ID_DSM500, wxT("DSM500"));
    distance = new wxSlider(root, ID_DSM500_SLIDER, 100, 0, SLIDER_MAX);
    distanceLabel = new wxStaticText(root, ID_DSM500_LABEL, centimetres(100), wxDefaultPosition, wxSize(60, -1));
    feed = new wxCheckBox(root, ID_FEED, wxT("DSM Feed"));
    feedDistance = new wxSlider(root, ID_FEED_SLIDER, 100, 0, SLIDER_MAX);
    feedLabel = new wxStaticText(root, ID_FEED_LABEL, centimetres(100), wxDefaultPosition, wxSize(60, -1));
    for (wxWindow* w : {static_cast<wxWindow*>(dsm500), static_cast<wxWindow*>(distance),
                        static_cast<wxWindow*>(distanceLabel), static_cast<wxWindow*>(feed),
                        static_cast<wxWindow*>(feedDistance), static_cast<wxWindow*>(feedLabel)})
        grid->Add(w, 0, wxALIGN_CENTER_VERTICAL | wxEXPAND);

    wxBoxSizer* row = new wxBoxSizer(wxHORIZONTAL);
    on = new wxCheckBox(root, ID_ON, wxT("On"));
    row->Add(on, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 12);
    row->Add(new wxStaticText(root, wxID_ANY, wxT("Interval (ms)")), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    interval = new wxTextCtrl(root, ID_INTERVAL, wxT("20"), wxDefaultPosition, wxSize(60, -1));
    row->Add(interval, 0, wxRIGHT, 12);
    row->Add(new wxStaticText(root, wxID_ANY, wxT("CUA")), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    cua = new wxTextCtrl(root, ID_CUA, wxT("1"), wxDefaultPosition, wxSize(40, -1));
    row->Add(cua, 0);

    wxBoxSizer* top = new wxBoxSizer(wxVERTICAL);
    top->Add(grid, 0, wxEXPAND | wxALL, 8);
    top->Add(row, 0, wxALL, 8);
    root->SetSizer(top);
    CreateStatusBar();

    // The controls' events only publish their values; the worker decides what to do with them.
    Bind(wxEVT_CHECKBOX, &SensorGenerator::publish, this);
    Bind(wxEVT_SLIDER, &SensorGenerator::publish, this);
    Bind(wxEVT_TEXT, &SensorGenerator::publish, this);
    Bind(wxEVT_TIMER, &SensorGenerator::onTimer, this, ID_TIMER);
    wxCommandEvent initial;
    publish(initial);

    thread = new GeneratorThread(this);
    if (thread->Run() == wxTHREAD_NO_ERROR) {
        QLOG_INFO("SensorGenerator") << "GeneratorThread started";
    } else {
        QLOG_ERROR("SensorGenerator") << "GeneratorThread thread failed to start";
        delete thread;
        thread = nullptr;
    }
    timer.Start(SHOW_MS);
}

SensorGenerator::~SensorGenerator()
{
    timer.Stop();
    if (thread) {
        thread->stop();
        thread->Wait();
        delete thread;
        thread = nullptr;
    }
}

SensorGenerator::Settings SensorGenerator::getSettings()
{
    wxMutexLocker guard(lock);
    return settings;
}

void SensorGenerator::showDistance(bool second, int cm)
{
    wxMutexLocker guard(lock);
    shown[second ? 1 : 0] = cm;
}

void SensorGenerator::showBadCuaId(bool bad)
{
    wxMutexLocker guard(lock);
    badCuaId = bad;
}

void SensorGenerator::publish(wxCommandEvent& event)
{
    event.Skip();
    Settings s;
    s.on = on->GetValue();
    s.dsm500 = dsm500->GetValue();
    s.feed = feed->GetValue();
    s.distance = distance->GetValue();
    s.feedDistance = feedDistance->GetValue();
    if (!interval->GetValue().ToLong(&s.interval))
        s.interval = 0;
    if (!cua->GetValue().ToLong(&s.cuaId))
        s.cuaId = -1;
    wxMutexLocker guard(lock);
    settings = s;
}

void SensorGenerator::onTimer(wxTimerEvent&)
{
    int cm[2];
    bool bad;
    {
        wxMutexLocker guard(lock);
        cm[0] = shown[0];
        cm[1] = shown[1];
        bad = badCuaId;
    }
    wxStaticText* labels[2] = {distanceLabel, feedLabel};
    for (int i = 0; i < 2; ++i)
        if (cm[i] >= 0 && labels[i]->GetLabel() != centimetres(cm[i]))
            labels[i]->SetLabel(centimetres(cm[i]));
    const wxString status = bad ? wxString(wxT("Bad CUAID")) : wxString();
    if (GetStatusBar()->GetStatusText() != status)
        SetStatusText(status);
}

}  // namespace Sensors
