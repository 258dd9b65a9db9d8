#include "CANTrafficGenerator.h"

#include <wx/button.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "CANTrafficGeneratorThread.h"
#include "SensorManager.h"
#include "WispEasyWrapper.h"

namespace Sensors {

namespace {

long number(wxTextCtrl* field)
{
    long value = 0;
    return field->GetValue().ToLong(&value) ? value : 0;
}

}  // namespace

CANTrafficGenerator::CANTrafficGenerator(wxWindow* parent, wxWindowID id)
    : wxFrame(parent, id, wxT("CAN Traffic Generator"), wxDefaultPosition, wxSize(320, 200))
{
    wxPanel* root = new wxPanel(this);
    wxFlexGridSizer* grid = new wxFlexGridSizer(2, 6, 8);
    const auto field = [&](const wxString& label, long fieldId, const wxString& value) {
        grid->Add(new wxStaticText(root, wxID_ANY, label), 0, wxALIGN_CENTER_VERTICAL);
        wxTextCtrl* text = new wxTextCtrl(root, fieldId, value, wxDefaultPosition, wxSize(100, -1));
        grid->Add(text, 0);
        return text;
    };
    cuaId = field(wxT("CUAID"), ID_CUAID, wxT("1"));
    frames = field(wxT("Frames"), ID_FRAMES, wxT("10000"));
    interval = field(wxT("Interval"), ID_INTERVAL, wxT("10"));
    wxBoxSizer* top = new wxBoxSizer(wxVERTICAL);
    top->Add(grid, 0, wxALL, 10);
    top->Add(new wxButton(root, ID_START, wxT("Start")), 0, wxLEFT | wxBOTTOM, 10);
    root->SetSizer(top);
    Bind(wxEVT_BUTTON, &CANTrafficGenerator::onStart, this, ID_START);
}

CANTrafficGenerator::~CANTrafficGenerator()
{
    reap(true);
}

void CANTrafficGenerator::onStart(wxCommandEvent&)
{
    reap(false);
    QCANDeviceRef device = SensorManager::getInstance()->holdQCANDeviceByID(static_cast<int>(number(cuaId)));
    auto* thread = new CANTrafficGeneratorThread(device, static_cast<int>(number(frames)),
                                                 static_cast<int>(number(interval)));
    if (thread->Run() != wxTHREAD_NO_ERROR) {
        QLOG_WARN("onStart") << "CANTrafficGeneratorThread failed to start";
        delete thread;
        return;
    }
    threads.push_back(thread);
}

void CANTrafficGenerator::reap(bool all)
{
    for (auto it = threads.begin(); it != threads.end();) {
        if (all || (*it)->hasEnded()) {
            (*it)->stop();
            (*it)->Wait();
            delete *it;
            it = threads.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace Sensors
