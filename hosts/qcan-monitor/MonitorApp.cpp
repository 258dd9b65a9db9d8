#include "MonitorApp.h"

#include <cstdio>

#include <wx/image.h>
#include <wx/listbox.h>
#include <wx/timer.h>

#include "DialogQcanConfiguration.h"
#include "WindowCapture.h"

namespace {

// How long the dialog is given to be mapped and drawn before it is captured.
const int kCaptureDelayMs = 700;

}  // namespace

void MonitorApp::OnInitCmdLine(wxCmdLineParser& parser)
{
    wxApp::OnInitCmdLine(parser);
    parser.AddSwitch(wxEmptyString, wxT("config"), wxT("open the adapter configuration dialog"));
    parser.AddOption(wxEmptyString, wxT("screenshot"), wxT("save the opened window as a PNG, then close it"),
                     wxCMD_LINE_VAL_STRING, wxCMD_LINE_HIDDEN);
}

bool MonitorApp::OnCmdLineParsed(wxCmdLineParser& parser)
{
    if (!wxApp::OnCmdLineParsed(parser))
        return false;
    if (parser.Found(wxT("config")))
        mode = Mode::Configuration;
    parser.Found(wxT("screenshot"), &screenshotPath);
    if (!screenshotPath.empty() && mode != Mode::Configuration) {
        std::fprintf(stderr, "qcan-monitor: --screenshot needs --config\n");
        return false;
    }
    return true;
}

bool MonitorApp::OnInit()
{
    if (!wxApp::OnInit())
        return false;
    SetAppName(wxT("qcan-monitor"));
    return true;
}

bool MonitorApp::OnCmdLineHelp(wxCmdLineParser& parser)
{
    parser.Usage();
    mode = Mode::Help;
    return true;
}

int MonitorApp::OnRun()
{
    switch (mode) {
    case Mode::Help:
        return 0;
    case Mode::Configuration:
        return runConfiguration();
    case Mode::Diagnostics:
        break;
    }
    std::fprintf(stderr, "qcan-monitor: the diagnostics window is not part of this build; "
                         "--config opens the adapter configuration\n");
    return 2;
}

int MonitorApp::runConfiguration()
{
    // Opened as the diagnostics window opens it: modal, destroyed when the modal loop ends, which
    // writes the configuration file back.
    DialogQcanConfiguration* dialog = new DialogQcanConfiguration(nullptr, -1);
    int status = 0;
    wxTimer captureTimer;
    if (!screenshotPath.empty()) {
        captureTimer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
            // The first adapter marked, as service staff see it, by a real selection event.
            auto* list = wxDynamicCast(dialog->FindWindow(DialogQcanConfiguration::ID_LISTBOX1), wxListBox);
            if (list && list->GetCount() > 0 && list->GetSelection() == wxNOT_FOUND) {
                list->SetSelection(0);
                wxCommandEvent select(wxEVT_LISTBOX, list->GetId());
                select.SetEventObject(list);
                select.SetInt(0);
                list->GetEventHandler()->ProcessEvent(select);
                dialog->Update();
                captureTimer.StartOnce(kCaptureDelayMs);
                return;
            }
            if (!WindowCapture::saveAsPng(dialog, screenshotPath)) {
                std::fprintf(stderr, "qcan-monitor: cannot save %s\n", static_cast<const char*>(screenshotPath.utf8_str()));
                status = 1;
            }
            wxWindow* button = dialog->FindWindow(DialogQcanConfiguration::ID_BUTTON1);
            wxCommandEvent click(wxEVT_BUTTON, button->GetId());
            click.SetEventObject(button);
            button->GetEventHandler()->ProcessEvent(click);
        });
        captureTimer.StartOnce(kCaptureDelayMs);
    }
    dialog->ShowModal();
    captureTimer.Stop();
    delete dialog;
    return status;
}
