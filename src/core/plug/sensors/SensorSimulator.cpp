#include "SensorSimulator.h"

#include <cstdio>
#include <cstdlib>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/filedlg.h>
#include <wx/listctrl.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "LogFileReplay.h"
#include "QCANDevice.h"
#include "ReplayEngine.h"
#include "SensorManager.h"

namespace {

// Service staff follow the replays on standard output as well.
void print(const wxString& text)
{
    std::fputs(text.utf8_str(), stdout);
    std::fflush(stdout);
}

}  // namespace

SensorSimulator::SensorSimulator(wxWindow* parent, wxWindowID id)
    : wxFrame(parent, id, wxT("CAN Data Replay"), wxDefaultPosition, wxSize(560, 420)), timer(this, ID_TIMER)
{
    wxPanel* root = new wxPanel(this);
    wxBoxSizer* top = new wxBoxSizer(wxVERTICAL);

    wxBoxSizer* fileRow = new wxBoxSizer(wxHORIZONTAL);
    file = new wxTextCtrl(root, ID_FILE);
    file->SetHint(wxT("Select file -->"));
    fileRow->Add(file, 1, wxRIGHT, 4);
    fileRow->Add(new wxButton(root, ID_SELECT, wxT("Select file")), 0, wxRIGHT, 4);
    fileRow->Add(new wxButton(root, ID_LOAD, wxT("Load file")), 0);
    top->Add(fileRow, 0, wxEXPAND | wxALL, 6);

    wxBoxSizer* options = new wxBoxSizer(wxHORIZONTAL);
    loop = new wxCheckBox(root, ID_LOOP, wxT("Loop"));
    options->Add(loop, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 8);
    // Not read: the log's own HEX or DEC marker decides.
    options->Add(new wxCheckBox(root, ID_HEX, wxT("CANID and data in hex")), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 8);
    startReplay = new wxCheckBox(root, ID_START, wxT("Start replay"));
    startReplay->SetValue(true);
    options->Add(startReplay, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 8);
    options->Add(new wxStaticText(root, wxID_ANY, wxT("Interval")), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    interval = new wxTextCtrl(root, ID_INTERVAL, wxEmptyString, wxDefaultPosition, wxSize(60, -1));
    options->Add(interval, 0);
    top->Add(options, 0, wxLEFT | wxRIGHT, 6);

    list = new wxListCtrl(root, ID_LIST, wxDefaultPosition, wxDefaultSize, wxLC_REPORT | wxLC_SINGLE_SEL);
    list->InsertColumn(0, wxT("LogReplay"), wxLIST_FORMAT_LEFT, 520);
    top->Add(list, 1, wxEXPAND | wxALL, 6);

    wxBoxSizer* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->Add(new wxButton(root, ID_CLEAR_STOPPED, wxT("Clear stopped")), 0, wxRIGHT, 4);
    buttons->Add(new wxButton(root, ID_DELETE_ALL, wxT("Delete All")), 0, wxRIGHT, 4);
    buttons->Add(new wxButton(root, ID_PAUSE_ALL, wxT("Pause all")), 0, wxRIGHT, 4);
    buttons->Add(new wxButton(root, ID_RESUME_ALL, wxT("Resume all")), 0);
    top->Add(buttons, 0, wxLEFT | wxRIGHT, 6);

    wxBoxSizer* positionRow = new wxBoxSizer(wxHORIZONTAL);
    positionRow->Add(new wxStaticText(root, wxID_ANY, wxT("Start position")), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    position = new wxTextCtrl(root, ID_POSITION, wxT("0"), wxDefaultPosition, wxSize(80, -1));
    positionRow->Add(position, 0, wxRIGHT, 4);
    positionRow->Add(new wxButton(root, ID_SET, wxT("Set")), 0);
    top->Add(positionRow, 0, wxALL, 6);
    root->SetSizer(top);
    CreateStatusBar();

    Bind(wxEVT_BUTTON, &SensorSimulator::onSelect, this, ID_SELECT);
    Bind(wxEVT_BUTTON, &SensorSimulator::onLoad, this, ID_LOAD);
    Bind(wxEVT_BUTTON, &SensorSimulator::onClearStopped, this, ID_CLEAR_STOPPED);
    Bind(wxEVT_BUTTON, &SensorSimulator::onDeleteAll, this, ID_DELETE_ALL);
    Bind(wxEVT_BUTTON, &SensorSimulator::onPauseAll, this, ID_PAUSE_ALL);
    Bind(wxEVT_BUTTON, &SensorSimulator::onResumeAll, this, ID_RESUME_ALL);
    Bind(wxEVT_BUTTON, &SensorSimulator::onSet, this, ID_SET);
    Bind(wxEVT_TIMER, &SensorSimulator::onTimer, this, ID_TIMER);
    timer.Start(REFRESH_MS);
}

SensorSimulator::~SensorSimulator()
{
    timer.Stop();
    print(wxT("Stop replays\n"));
    // Each deletion stops its replay and waits for the replay's thread.
    for (Sensors::LogFileReplay* replay : replays)
        delete replay;
    replays.clear();
}

void SensorSimulator::onSelect(wxCommandEvent&)
{
    wxFileDialog dialog(this, wxT("Select Log file"), wxEmptyString, wxEmptyString, wxT("*.*"),
                        wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    if (dialog.ShowModal() != wxID_OK)
        return;
    const wxString name = dialog.GetPath();
    file->SetValue(name);
    SetStatusText(wxString::Format(wxT("Validating %s"), name));
    if (Sensors::LogFileReplay::validateLogFile(name)) {
        print(wxT("Log file ok: ") + name + wxT("\n"));
        SetStatusText(wxT("Log file ok"));
    } else {
        print(wxT("Bad log file: ") + name + wxT("\n"));
        SetStatusText(wxT("Bad log file"));
    }
}

void SensorSimulator::onLoad(wxCommandEvent&)
{
    SetStatusText(wxT("Opening replay"));
    // The first adapter the manager holds; with none the replay refuses and says so.
    Sensors::QCANDeviceRef device = Sensors::SensorManager::getInstance()->holdQCANDeviceByIndex(0);
    const int cuaId = device ? device->getCuaId() : 0;
    device.reset();
    const wxString text = interval->GetValue();
    const int pause = text.empty() ? -1 : std::atoi(text.utf8_str());
    replays.push_back(new Sensors::LogFileReplay(file->GetValue(), cuaId, loop->GetValue(), true, pause,
                                                 startReplay->GetValue()));
    print(wxT("Done\n"));
    file->SetValue(wxEmptyString);
    SetStatusText(wxT("Done"));
    refreshList();
}

void SensorSimulator::onClearStopped(wxCommandEvent&)
{
    clearStopped();
}

void SensorSimulator::onDeleteAll(wxCommandEvent&)
{
    deleteAll();
}

void SensorSimulator::onPauseAll(wxCommandEvent&)
{
    for (Sensors::LogFileReplay* replay : replays)
        replay->pause();
    refreshList();
}

void SensorSimulator::onResumeAll(wxCommandEvent&)
{
    for (Sensors::LogFileReplay* replay : replays)
        replay->start();
    refreshList();
}

void SensorSimulator::onSet(wxCommandEvent&)
{
    const wxString text = position->GetValue();
    long value = 0;
    if (!text.ToLong(&value)) {
        print(wxT("ERROR : LogPlayer : SET value : ") + text + wxT(" is not a valid number !\n"));
        return;
    }
    print(wxString::Format(wxT("SET A NEW STARTING POSITION : %ld\n"), value));
    // The position moves only while a replay is paused.
    for (Sensors::LogFileReplay* replay : replays)
        replay->pause();
    for (Sensors::LogFileReplay* replay : replays)
        replay->setNewStartPos(value);
    for (Sensors::LogFileReplay* replay : replays)
        replay->start();
    refreshList();
}

void SensorSimulator::onTimer(wxTimerEvent&)
{
    refreshList();
    clearStopped();
}

void SensorSimulator::clearStopped()
{
    for (auto it = replays.begin(); it != replays.end();) {
        const int status = (*it)->getStatus();
        if (status == Sensors::REPLAY_END || status == Sensors::REPLAY_ERROR) {
            delete *it;
            it = replays.erase(it);
        } else {
            ++it;
        }
    }
    refreshList();
}

void SensorSimulator::deleteAll()
{
    for (Sensors::LogFileReplay* replay : replays)
        delete replay;
    replays.clear();
    refreshList();
}

void SensorSimulator::refreshList()
{
    // Rows are rewritten in place so that the list does not flicker every half second.
    while (list->GetItemCount() > static_cast<int>(replays.size()))
        list->DeleteItem(list->GetItemCount() - 1);
    for (size_t i = 0; i < replays.size(); ++i) {
        const wxString text = replays[i]->toString();
        const long row = static_cast<long>(i);
        if (row >= list->GetItemCount())
            list->InsertItem(row, text);
        else if (list->GetItemText(row) != text)
            list->SetItemText(row, text);
    }
}
