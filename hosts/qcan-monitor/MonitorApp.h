#pragma once

// The application object of qcan-monitor. The command line chooses the window to open:
//   --config              the adapter configuration dialog on its own; the program ends when it closes
//   --screenshot=FILE     (hidden) with --config: saves the dialog as a PNG once it is drawn, then
//                         closes it through its "Save and close" button
// Without --config it connects the adapters (every available one, or those of --adapter NAME, or
// the first of --vendor PATTERN) and opens the diagnostics window; closing the window disconnects
// the adapters, waits for the plug-in's thread and ends the program.
//   --screenshot=PREFIX   (hidden) in that mode: selects the first adapter, turns the capture on,
//                         saves each page as PREFIX-<page>.png, then closes through "Close"
//   --measure=SECONDS     (hidden) in that mode: an endurance run with capture, a logger and the
//                         Sensors page; prints the longest refresh and the memory, then closes
//   --page=generator      (hidden) with --screenshot: presses the Debug page's "Generator" and saves
//                         the traffic generator window as PREFIX-generator.png
// --replay-window and --generator connect the adapters the same way and open the log replay window
// or the sensor data generator instead; closing it ends the program.
//   --screenshot=FILE     (hidden) in those modes: saves the window as a PNG, then closes it
//   --load=LOG            (hidden) with --replay-window: loads LOG as a looping replay first

#include <wx/app.h>
#include <wx/cmdline.h>
#include <wx/string.h>

#include <vector>

class MonitorApp : public wxApp {
public:
    enum class Mode { Diagnostics, Configuration, Replay, Generator, Help };

    bool OnInit() override;
    int OnRun() override;
    void OnInitCmdLine(wxCmdLineParser& parser) override;
    bool OnCmdLineParsed(wxCmdLineParser& parser) override;
    bool OnCmdLineHelp(wxCmdLineParser& parser) override;

private:
    int runConfiguration();
    int runDiagnostics();
    int runToolWindow();
    bool connectAdapters();

    Mode mode = Mode::Diagnostics;
    wxString screenshotPath;
    wxString vendor;
    wxString screenshotPage;
    wxString loadPath;
    std::vector<wxString> adapters;
    long measureSeconds = 0;
};

wxDECLARE_APP(MonitorApp);
