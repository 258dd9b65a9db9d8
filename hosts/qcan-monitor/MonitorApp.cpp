#include "MonitorApp.h"

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include <wx/filename.h>
#include <wx/image.h>
#include <wx/textctrl.h>

#include <unistd.h>
#include <wx/listbox.h>
#include <wx/timer.h>

#include <wx/checkbox.h>
#include <wx/listctrl.h>
#include <wx/notebook.h>
#include <wx/tglbtn.h>

#include "DataLogging.h"
#include "DialogQcanConfiguration.h"
#include "CANTrafficGenerator.h"
#include "QCANMonitor.h"
#include "SensorGenerator.h"
#include "SensorSimulator.h"
#include "QCANDevice.h"
#include "SensorManager.h"
#include "WindowCapture.h"

namespace {

// How long the dialog is given to be mapped and drawn before it is captured.
const int kCaptureDelayMs = 700;

}  // namespace

void MonitorApp::OnInitCmdLine(wxCmdLineParser& parser)
{
    wxApp::OnInitCmdLine(parser);
    parser.AddSwitch(wxEmptyString, wxT("config"), wxT("open the adapter configuration dialog"));
    parser.AddSwitch(wxEmptyString, wxT("replay-window"), wxT("open the log replay window (CAN Data Replay)"));
    parser.AddSwitch(wxEmptyString, wxT("generator"), wxT("open the sensor data generator"));
    parser.AddOption(wxEmptyString, wxT("load"), wxT("with --replay-window: load this log as a looping replay"),
                     wxCMD_LINE_VAL_STRING, wxCMD_LINE_HIDDEN);
    parser.AddOption(wxEmptyString, wxT("adapter"), wxT("connect this adapter (repeatable); default: every available adapter"),
                     wxCMD_LINE_VAL_STRING, wxCMD_LINE_PARAM_MULTIPLE);
    parser.AddOption(wxEmptyString, wxT("vendor"), wxT("connect the first adapter whose vendor contains PATTERN (any case)"));
    parser.AddOption(wxEmptyString, wxT("screenshot"), wxT("save the opened window as a PNG, then close it"),
                     wxCMD_LINE_VAL_STRING, wxCMD_LINE_HIDDEN);
    parser.AddOption(wxEmptyString, wxT("page"), wxT("with --screenshot: only this page (lower case)"),
                     wxCMD_LINE_VAL_STRING, wxCMD_LINE_HIDDEN);
    parser.AddOption(wxEmptyString, wxT("measure"), wxT("run for SECONDS, then report the longest refresh and memory"),
                     wxCMD_LINE_VAL_NUMBER, wxCMD_LINE_HIDDEN);
}

bool MonitorApp::OnCmdLineParsed(wxCmdLineParser& parser)
{
    if (!wxApp::OnCmdLineParsed(parser))
        return false;
    if (parser.Found(wxT("config")))
        mode = Mode::Configuration;
    else if (parser.Found(wxT("replay-window")))
        mode = Mode::Replay;
    else if (parser.Found(wxT("generator")))
        mode = Mode::Generator;
    parser.Found(wxT("load"), &loadPath);
    parser.Found(wxT("screenshot"), &screenshotPath);
    parser.Found(wxT("vendor"), &vendor);
    parser.Found(wxT("page"), &screenshotPage);
    parser.Found(wxT("measure"), &measureSeconds);
    for (const wxCmdLineArg& arg : parser.GetArguments())
        if (arg.GetKind() == wxCMD_LINE_OPTION && arg.GetLongName() == wxT("adapter"))
            adapters.push_back(arg.GetStrVal());
    if (!adapters.empty() && !vendor.empty()) {
        std::fprintf(stderr, "qcan-monitor: --adapter and --vendor cannot be combined\n");
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
    case Mode::Replay:
    case Mode::Generator:
        return runToolWindow();
    case Mode::Diagnostics:
        break;
    }
    return runDiagnostics();
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
            auto* list = dynamic_cast<wxListBox*>(dialog->FindWindow(DialogQcanConfiguration::ID_LISTBOX1));
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

namespace {

// How long the plug-in may take to close its adapters and end its thread.
const unsigned long kDisconnectWaitMs = 3000;
// How long the adapters are given to connect and the sensors to appear before pictures are taken.
const int kSettleMs = 3000;
const int kPageDelayMs = 600;
// The endurance run's probe of the event loop.
const int kGapMs = 20;

template <class T>
T* control(wxWindow* frame, long id)
{
    return dynamic_cast<T*>(frame->FindWindow(id));
}

// What a control sends when service staff use it.
void click(wxWindow* frame, long id)
{
    wxWindow* w = frame->FindWindow(id);
    if (!w)
        return;
    wxEventType type = wxEVT_BUTTON;
    if (auto* toggle = dynamic_cast<wxToggleButton*>(w)) {
        toggle->SetValue(!toggle->GetValue());
        type = wxEVT_TOGGLEBUTTON;
    }
    wxCommandEvent event(type, w->GetId());
    event.SetEventObject(w);
    event.SetInt(type == wxEVT_TOGGLEBUTTON ? dynamic_cast<wxToggleButton*>(w)->GetValue() : 0);
    w->GetEventHandler()->ProcessEvent(event);
}

// Marks the first adapter the manager has in the list and presses "Select".
bool selectFirstAdapter(wxWindow* frame)
{
    auto* list = control<wxListCtrl>(frame, QCANMonitor::ID_DEVICE_LIST);
    for (long i = 0; list && i < list->GetItemCount(); ++i)
        if (static_cast<long>(list->GetItemData(i)) >= 0) {
            list->SetItemState(i, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
            click(frame, QCANMonitor::ID_MGR_SELECT);
            return true;
        }
    return false;
}

long residentKb()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Bytes the allocator has handed out and not got back: grows with a leak, unlike the resident size,
// which also grows when freed memory is scattered.
size_t heapInUseKb()
{
    return mallinfo2().uordblks / 1024;
}

}  // namespace

bool MonitorApp::connectAdapters()
{
    Sensors::SensorManager* manager = Sensors::SensorManager::getInstance();
    if (!adapters.empty()) {
        // Only names the adapter library offers; the manager would otherwise retry a missing one.
        std::vector<wxString> available;
        void* list = manager->createQCANDeviceList();
        for (int i = 0; i < manager->getDeviceListItemCount(list); ++i) {
            wxString name, description, vendorName;
            if (manager->getDeviceListItemInfo(list, i, name, description, vendorName))
                available.push_back(name);
        }
        manager->deleteQCANDeviceList(list);
        for (const wxString& name : adapters)
            if (std::find(available.begin(), available.end(), name) == available.end() || manager->connect(name) < 1) {
                std::fprintf(stderr, "qcan-monitor: adapter '%s' could not be connected\n",
                             static_cast<const char*>(name.utf8_str()));
                return false;
            }
        return true;
    }
    if (!vendor.empty()) {
        if (manager->findAndConnect(Sensors::CUA_MATCH_VENDOR, Sensors::CUA_NAME_CONTAINS, vendor, 0) < 1) {
            std::fprintf(stderr, "qcan-monitor: no available adapter has a vendor containing '%s'\n",
                         static_cast<const char*>(vendor.utf8_str()));
            return false;
        }
        return true;
    }
    // No adapter yet is no failure: the window waits for one and says so.
    manager->connectAll();
    return true;
}

int MonitorApp::runDiagnostics()
{
    Sensors::SensorManager* manager = Sensors::SensorManager::getInstance();
    int status = connectAdapters() ? 0 : 1;
    if (status == 0) {
        QCANMonitor* frame = QCANMonitor::getInstance(nullptr);
        // The window leaves the loggers still in its list alive when it closes; the host ends them
        // (their writer threads with them) before it disconnects the adapters they record. Bound
        // after the window's own close handler, so called before it.
        std::vector<Sensors::DataLogging*> leftLoggers;
        frame->Bind(wxEVT_CLOSE_WINDOW, [&](wxCloseEvent& event) {
            leftLoggers = frame->getLoggers();
            event.Skip();
        });
        wxTimer stepTimer;
        wxTimer gapTimer;
        int step = 0;
        std::chrono::steady_clock::time_point lastGap;
        RefreshTiming::ThreadTimes lastTimes;
        RefreshTiming::Histogram loopLatency, loopHeld;
        long startKb = 0;
        const wxString logPath = wxFileName::CreateTempFileName(wxT("qcan-monitor-measure"));
        if (!screenshotPath.empty()) {
            stepTimer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
                auto* notebook = control<wxNotebook>(frame, QCANMonitor::ID_NOTEBOOK);
                if (step == 0) {
                    selectFirstAdapter(frame);
                    click(frame, QCANMonitor::ID_CAP_CAPTURE);
                    if (screenshotPage == wxT("generator"))
                        click(frame, QCANMonitor::ID_DBG_GENERATOR);
                } else if (step == static_cast<int>(notebook->GetPageCount()) && screenshotPage == wxT("generator")) {
                    // The traffic generator the button opened, on top of the frame.
                    wxWindow* generator = nullptr;
                    for (wxWindow* w : wxTopLevelWindows)
                        if (dynamic_cast<Sensors::CANTrafficGenerator*>(w))
                            generator = w;
                    const wxString path = screenshotPath + wxT("-generator.png");
                    if (!generator || !WindowCapture::saveAsPng(generator, path)) {
                        std::fprintf(stderr, "qcan-monitor: cannot save %s\n", static_cast<const char*>(path.utf8_str()));
                        status = 1;
                    }
                } else if (step <= static_cast<int>(notebook->GetPageCount())) {
                    const wxString name = notebook->GetPageText(step - 1);
                    const wxString path = screenshotPath + wxT("-") + name.Lower() + wxT(".png");
                    if ((screenshotPage.empty() || screenshotPage == name.Lower()) &&
                        !WindowCapture::saveAsPng(frame, path)) {
                        std::fprintf(stderr, "qcan-monitor: cannot save %s\n", static_cast<const char*>(path.utf8_str()));
                        status = 1;
                    }
                }
                if (step < static_cast<int>(notebook->GetPageCount())) {
                    notebook->SetSelection(step);
                    notebook->GetPage(step)->Refresh();
                    frame->Update();
                    if (step == 5)
                        click(frame, QCANMonitor::ID_EVENTS_REFRESH);
                    ++step;
                    stepTimer.StartOnce(kPageDelayMs);
                } else {
                    click(frame, QCANMonitor::ID_CLOSE);
                }
            });
            stepTimer.StartOnce(kSettleMs);
        } else if (measureSeconds > 0) {
            // The loop is meant to run this timer every 20 ms; anything later is time the GUI thread
            // spent elsewhere (our refresh, the toolkit's drawing, or not being scheduled at all).
            // Lateness the thread spent waiting for a CPU is the machine's, not ours; the rest
            // ("held") is the GUI thread running or blocked in something.
            gapTimer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
                const auto now = std::chrono::steady_clock::now();
                const RefreshTiming::ThreadTimes times = RefreshTiming::ThreadTimes::now();
                if (step >= 1 && lastGap != std::chrono::steady_clock::time_point()) {
                    const double late = std::chrono::duration<double, std::milli>(now - lastGap).count() - kGapMs;
                    loopLatency.add(std::max(0.0, late));
                    loopHeld.add(std::max(0.0, late - (times.queuedMs - lastTimes.queuedMs)));
                }
                lastGap = now;
                lastTimes = times;
            });
            gapTimer.Start(kGapMs);
            stepTimer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
                if (step == 0) {
                    selectFirstAdapter(frame);
                    click(frame, QCANMonitor::ID_CAP_CAPTURE);
                    control<wxTextCtrl>(frame, QCANMonitor::ID_LOG_FILE)->SetValue(logPath);
                    click(frame, QCANMonitor::ID_LOG_ADD);
                    control<wxNotebook>(frame, QCANMonitor::ID_NOTEBOOK)->SetSelection(2);
                    startKb = residentKb();
                    std::printf("measure: start %ld kB resident, %zu kB heap in use\n", startKb, heapInUseKb());
                } else {
                    std::printf("measure: %d s %ld kB resident, %zu kB heap in use\n", step * 10, residentKb(), heapInUseKb());
                }
                std::fflush(stdout);
                if (step++ * 10 >= measureSeconds) {
                    std::printf("measure: end %ld kB resident (start %ld kB), log %s\n", residentKb(), startKb,
                                static_cast<const char*>(logPath.utf8_str()));
                    std::printf("measure: event loop latency max %.1f p99 %.1f, held max %.1f p99 %.1f ms (%llu timer runs)\n%s",
                                loopLatency.max(), loopLatency.percentile(0.99), loopHeld.max(),
                                loopHeld.percentile(0.99), loopLatency.count(), frame->getRefreshTiming().report().c_str());
                    // Removing a logger stops its writer thread and writes its last lines from the GUI thread.
                    const auto removing = std::chrono::steady_clock::now();
                    click(frame, QCANMonitor::ID_LOG_REMOVE_ALL);
                    std::printf("measure: removing the logger took %.1f ms\n",
                                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - removing).count());
                    std::fflush(stdout);
                    click(frame, QCANMonitor::ID_CLOSE);
                    return;
                }
                stepTimer.StartOnce(10000);
            });
            stepTimer.StartOnce(kSettleMs);
        }
        wxApp::OnRun();
        stepTimer.Stop();
        gapTimer.Stop();
        for (Sensors::DataLogging* logger : leftLoggers)
            delete logger;
    }
    manager->disconnect(kDisconnectWaitMs, 0);
    if (manager->isThreadRunning()) {
        std::fprintf(stderr, "qcan-monitor: the plug-in's thread did not stop within %lu ms\n", kDisconnectWaitMs);
        return 1;
    }
    return status;
}

int MonitorApp::runToolWindow()
{
    Sensors::SensorManager* manager = Sensors::SensorManager::getInstance();
    int status = connectAdapters() ? 0 : 1;
    if (status == 0) {
        wxFrame* window = nullptr;
        if (mode == Mode::Replay)
            window = new SensorSimulator(nullptr);
        else
            window = new Sensors::SensorGenerator(nullptr);
        window->Show();
        wxTimer stepTimer;
        int step = 0;
        if (!screenshotPath.empty() || !loadPath.empty()) {
            stepTimer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
                if (step++ == 0) {
                    // What the window shows once it is used: a looping replay, or the first
                    // slider's distance fed into the first adapter.
                    if (mode == Mode::Replay && !loadPath.empty()) {
                        control<wxCheckBox>(window, SensorSimulator::ID_LOOP)->SetValue(true);
                        control<wxTextCtrl>(window, SensorSimulator::ID_FILE)->SetValue(loadPath);
                        click(window, SensorSimulator::ID_LOAD);
                    } else if (mode == Mode::Generator) {
                        for (long id : {Sensors::SensorGenerator::ID_DSM500, Sensors::SensorGenerator::ID_ON}) {
                            auto* box = control<wxCheckBox>(window, id);
                            box->SetValue(true);
                            wxCommandEvent event(wxEVT_CHECKBOX, id);
                            event.SetEventObject(box);
                            event.SetInt(1);
                            box->GetEventHandler()->ProcessEvent(event);
                        }
                    }
                    stepTimer.StartOnce(kSettleMs);
                    return;
                }
                if (screenshotPath.empty())
                    return;
                if (!WindowCapture::saveAsPng(window, screenshotPath)) {
                    std::fprintf(stderr, "qcan-monitor: cannot save %s\n", static_cast<const char*>(screenshotPath.utf8_str()));
                    status = 1;
                }
                window->Close();
            });
            stepTimer.StartOnce(kPageDelayMs);
        }
        wxApp::OnRun();
        stepTimer.Stop();
    }
    manager->disconnect(kDisconnectWaitMs, 0);
    if (manager->isThreadRunning()) {
        std::fprintf(stderr, "qcan-monitor: the plug-in's thread did not stop within %lu ms\n", kDisconnectWaitMs);
        return 1;
    }
    return status;
}
