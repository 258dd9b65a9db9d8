#pragma once

// The application object of qcan-monitor. The command line chooses the window to open:
//   --config              the adapter configuration dialog on its own; the program ends when it closes
//   --screenshot=FILE     (hidden) with --config: saves the dialog as a PNG once it is drawn, then
//                         closes it through its "Save and close" button
// Without a mode the diagnostics window is meant; until it exists the program says so and ends
// with status 2.

#include <wx/app.h>
#include <wx/cmdline.h>
#include <wx/string.h>

class MonitorApp : public wxApp {
public:
    enum class Mode { Diagnostics, Configuration, Help };

    bool OnInit() override;
    int OnRun() override;
    void OnInitCmdLine(wxCmdLineParser& parser) override;
    bool OnCmdLineParsed(wxCmdLineParser& parser) override;
    bool OnCmdLineHelp(wxCmdLineParser& parser) override;

private:
    int runConfiguration();

    Mode mode = Mode::Diagnostics;
    wxString screenshotPath;
};

wxDECLARE_APP(MonitorApp);
