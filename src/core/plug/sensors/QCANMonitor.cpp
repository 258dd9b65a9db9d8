#include "QCANMonitor.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <set>
#include <algorithm>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/filedlg.h>
#include <wx/listbox.h>
#include <wx/listctrl.h>
#include <wx/msgdlg.h>
#include <wx/notebook.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/tglbtn.h>

#include "CANTrafficGenerator.h"
#include "DataLogging.h"
#include "DialogQcanConfiguration.h"
#include "QCANDevice.h"
#include "Sensor.h"
#include "SensorManager.h"
#include "TiltSensorG1.h"


using Sensors::SensorManager;

namespace {

const char* const kBenchmarkParser = "__MONITORBENCHMARK__";
// The capture list keeps this many lines; older ones scroll away so that a long capture stays
// within a fixed amount of memory.
const unsigned int kCaptureLines = 1000;
// Matrix cells of the G1 end matrix, and how long one cell's read-back is waited for.
const int kG1MatrixCells = 16;
const int kG1CellWaitMs = 50;
const int kG1PollMs = 2;

// The frames alive and the one the benchmark callbacks feed. The receive threads look a frame up
// here before touching it, so a frame being destroyed is never reached.
wxMutex& registryLock()
{
    static wxMutex m;
    return m;
}
std::set<QCANMonitor*>& liveFrames()
{
    static std::set<QCANMonitor*> frames;
    return frames;
}
QCANMonitor* captureTarget = nullptr;
QCANMonitor* processInstance = nullptr;

SensorManager& manager()
{
    return *SensorManager::getInstance();
}

wxStaticText* label(wxWindow* parent, const wxString& text, wxWindowID id = wxID_ANY)
{
    return new wxStaticText(parent, id, text);
}

// The last row of both senders: the data bytes, "Send" and the line its return text goes to.
wxBoxSizer* sendRow(wxWindow* box, wxWindowID dataId, wxWindowID sendId, wxWindowID returnId, wxTextCtrl*& data,
                    wxStaticText*& returned)
{
    wxBoxSizer* row = new wxBoxSizer(wxHORIZONTAL);
    data = new wxTextCtrl(box, dataId, wxT("0011223344556677"), wxDefaultPosition, wxSize(200, -1));
    row->Add(data, 0, wxRIGHT, 6);
    row->Add(new wxButton(box, sendId, wxT("Send")), 0, wxRIGHT, 6);
    returned = label(box, wxEmptyString, returnId);
    row->Add(returned, 1, wxALIGN_CENTER_VERTICAL);
    return row;
}

wxArrayString numbers(int from, int to)
{
    wxArrayString out;
    for (int i = from; i <= to; ++i)
        out.Add(wxString::Format(wxT("%d"), i));
    return out;
}

// Every text the frame prints goes to standard output at once, as service staff read it live.
void print(const wxString& text)
{
    std::fputs(text.utf8_str(), stdout);
    std::fflush(stdout);
}

// A log path this system can write: not empty, absolute, and free of the shell's redirection
// characters (a path with them is a mistyped command line pasted into the field).
bool isValidLogPath(const wxString& path)
{
    return !path.empty() && path[0] == '/' && path.Find('>') == wxNOT_FOUND && path.Find('<') == wxNOT_FOUND;
}

}  // namespace

const char* const QCANMonitor::kDeviceLabels[] = {
    "Interface name", "Description", "Vendor", "QCAN Status", "Bus State", "Device Mode",
    "Status in SensorManager", "CANBus hardware", "CUA Device hardware mode", "Total RX", "Handled RX",
    "Unknown RX", "RX Queue", "Total TX", "RX CAN Errors", "TX CAN Errors", "Tota CAN Errors", "TX Queue",
    "Sensors (active/total)", "Baudrate", "CUA Power | Termination", "CANBUS powered with Quillard CUA",
    "Messages/Sec", "Adapter Error Counter"};
const int QCANMonitor::kDeviceLabelCount = sizeof(kDeviceLabels) / sizeof(kDeviceLabels[0]);

QCANMonitor* QCANMonitor::getInstance(wxWindow* parent)
{
    if (!processInstance)
        processInstance = new QCANMonitor(parent, -1);
    return processInstance;
}

QCANMonitor::QCANMonitor(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size)
    : wxFrame(parent, id, wxT("QCAN Diagnostics"), pos, size == wxDefaultSize ? wxSize(760, 560) : size),
      timing({"tick", "manager", "device", "sensors", "capture", "queue lock"}), timer(this)
{
    g1Timer.Bind(wxEVT_TIMER, &QCANMonitor::onG1Step, this);
    clearRings();
    instanceGuard.reset(new wxSingleInstanceChecker(wxString::Format(wxT("QCANMonitor_%lu_Guard"),
                                                                     static_cast<unsigned long>(getuid()))));

    wxPanel* root = new wxPanel(this);
    wxBoxSizer* top = new wxBoxSizer(wxVERTICAL);
    notebook = new wxNotebook(root, ID_NOTEBOOK);
    const char* pages[] = {"Manager", "Device", "Sensors", "Capture", "Send", "Events", "Log", "Debug"};
    for (const char* name : pages) {
        wxPanel* page = new wxPanel(notebook);
        notebook->AddPage(page, name);
    }
    buildManagerPage(notebook->GetPage(0));
    buildDevicePage(notebook->GetPage(1));
    buildSensorsPage(notebook->GetPage(2));
    buildCapturePage(notebook->GetPage(3));
    buildSendPage(notebook->GetPage(4));
    buildEventsPage(notebook->GetPage(5));
    buildLogPage(notebook->GetPage(6));
    buildDebugPage(notebook->GetPage(7));
    top->Add(notebook, 1, wxEXPAND | wxALL, 4);

    wxBoxSizer* bottom = new wxBoxSizer(wxHORIZONTAL);
    bottom->Add(new wxButton(root, ID_PREV, wxT("<"), wxDefaultPosition, wxSize(40, -1)), 0, wxRIGHT, 2);
    bottom->Add(new wxButton(root, ID_NEXT, wxT(">"), wxDefaultPosition, wxSize(40, -1)), 0, wxRIGHT, 8);
    bottom->Add(new wxButton(root, ID_QCAN, wxT("QCAN")), 0, wxRIGHT, 4);
    bottom->Add(new wxButton(root, ID_CLOSE, wxT("Close")), 0, wxRIGHT, 4);
    enableCua = new wxToggleButton(root, ID_ENABLE_CUA, wxT("Enable CUA"));
    enableCua->SetValue(manager().isEnabled());
    bottom->Add(enableCua, 0, wxRIGHT, 8);
    statusText = label(root, wxT("SensorManager Status"), ID_STATUS);
    bottom->Add(statusText, 1, wxALIGN_CENTER_VERTICAL);
    top->Add(bottom, 0, wxEXPAND | wxALL, 4);
    root->SetSizer(top);

    Bind(wxEVT_TIMER, &QCANMonitor::onTimer, this);
    Bind(wxEVT_CLOSE_WINDOW, &QCANMonitor::onClose, this);
    Bind(wxEVT_BUTTON, &QCANMonitor::onPrev, this, ID_PREV);
    Bind(wxEVT_BUTTON, &QCANMonitor::onNext, this, ID_NEXT);
    Bind(wxEVT_BUTTON, &QCANMonitor::onQcan, this, ID_QCAN);
    Bind(wxEVT_BUTTON, &QCANMonitor::onCloseButton, this, ID_CLOSE);
    Bind(wxEVT_TOGGLEBUTTON, &QCANMonitor::onEnableCua, this, ID_ENABLE_CUA);

    {
        wxMutexLocker guard(registryLock());
        liveFrames().insert(this);
    }
    timer.Start(100);
    setViewOnly();
}

QCANMonitor::~QCANMonitor()
{
    timer.Stop();
    manager().unregisterParser(kBenchmarkParser);
    if (captureParserId >= 0 && selectedCuaId >= 0)
        manager().deleteExternalParserById(selectedCuaId, static_cast<unsigned int>(captureParserId));
    captureParserId = -1;
    {
        wxMutexLocker guard(registryLock());
        liveFrames().erase(this);
        if (captureTarget == this)
            captureTarget = nullptr;
    }
    {
        wxMutexLocker guard(lock);
        for (RxCANFrameT* frame : captureQueue)
            delete frame;
        captureQueue.clear();
    }
    if (processInstance == this)
        processInstance = nullptr;
    print(wxT("QCANMonitor Closed\n"));
}

void QCANMonitor::setViewOnly()
{
    viewOnly = true;
    SetTitle(wxT("QCAN Diagnostics (View Only)"));
}

bool QCANMonitor::isCaptureTarget() const
{
    wxMutexLocker guard(registryLock());
    return captureTarget == this;
}

// --- pages ---------------------------------------------------------------------------------------

void QCANMonitor::buildManagerPage(wxWindow* page)
{
    wxBoxSizer* sizer = new wxBoxSizer(wxVERTICAL);
    wxFlexGridSizer* grid = new wxFlexGridSizer(2, 4, 12);
    grid->Add(label(page, wxT("Sensor Manager Enabled")));
    grid->Add(mgrEnabled = label(page, wxT("--"), ID_MGR_ENABLED));
    grid->Add(label(page, wxT("Sensor Manager Thread")));
    grid->Add(mgrThread = label(page, wxT("--"), ID_MGR_THREAD));
    grid->Add(label(page, wxT("Connected Devices")));
    grid->Add(mgrConnected = label(page, wxT("--"), ID_MGR_CONNECTED));
    grid->Add(label(page, wxT("Available Devices")));
    grid->Add(mgrAvailable = label(page, wxT("--"), ID_MGR_AVAILABLE));
    sizer->Add(grid, 0, wxALL, 6);
    mgrSelected = label(page, wxT("No CUA Adapter selected"), ID_MGR_SELECTED);
    sizer->Add(mgrSelected, 0, wxLEFT | wxBOTTOM, 6);

    deviceList = new wxListCtrl(page, ID_DEVICE_LIST, wxDefaultPosition, wxDefaultSize, wxLC_REPORT | wxLC_SINGLE_SEL);
    deviceList->AppendColumn(wxT("Device"), wxLIST_FORMAT_LEFT, 260);
    deviceList->AppendColumn(wxT("Status"), wxLIST_FORMAT_LEFT, 220);
    deviceList->AppendColumn(wxT("Baud"), wxLIST_FORMAT_LEFT, 90);
    sizer->Add(deviceList, 1, wxEXPAND | wxLEFT | wxRIGHT, 6);

    wxBoxSizer* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->Add(new wxButton(page, ID_MGR_REFRESH, wxT("Refresh")), 0, wxRIGHT, 4);
    buttons->Add(new wxButton(page, ID_MGR_SELECT, wxT("Select")), 0, wxRIGHT, 4);
    buttons->Add(new wxButton(page, ID_MGR_CONNECT, wxT("Connect")), 0, wxRIGHT, 4);
    buttons->Add(new wxButton(page, ID_MGR_DISCONNECT, wxT("Disconnect")), 0, wxRIGHT, 4);
    powerButton = new wxToggleButton(page, ID_MGR_POWER, wxT("Power"));
    powerButton->SetValue(true);
    buttons->Add(powerButton, 0, wxRIGHT, 4);
    baudButton = new wxButton(page, ID_MGR_BAUD, wxT("250K"));
    buttons->Add(baudButton, 0);
    sizer->Add(buttons, 0, wxALL, 6);
    page->SetSizer(sizer);

    page->Bind(wxEVT_BUTTON, &QCANMonitor::onRefreshList, this, ID_MGR_REFRESH);
    page->Bind(wxEVT_BUTTON, &QCANMonitor::onSelect, this, ID_MGR_SELECT);
    page->Bind(wxEVT_BUTTON, &QCANMonitor::onConnect, this, ID_MGR_CONNECT);
    page->Bind(wxEVT_BUTTON, &QCANMonitor::onDisconnect, this, ID_MGR_DISCONNECT);
    page->Bind(wxEVT_TOGGLEBUTTON, &QCANMonitor::onPower, this, ID_MGR_POWER);
    page->Bind(wxEVT_BUTTON, &QCANMonitor::onBaud, this, ID_MGR_BAUD);
    deviceList->Bind(wxEVT_LIST_ITEM_ACTIVATED, &QCANMonitor::onListActivated, this);
}

void QCANMonitor::buildDevicePage(wxWindow* page)
{
    wxFlexGridSizer* grid = new wxFlexGridSizer(2, 2, 12);
    for (int i = 0; i < kDeviceLabelCount; ++i) {
        grid->Add(label(page, wxString::FromUTF8(kDeviceLabels[i])));
        wxStaticText* value = label(page, wxT("--"), ID_DEV_FIRST + i);
        deviceValues.push_back(value);
        grid->Add(value);
    }
    wxBoxSizer* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(grid, 0, wxALL, 6);
    page->SetSizer(sizer);
}

void QCANMonitor::buildSensorsPage(wxWindow* page)
{
    wxBoxSizer* sizer = new wxBoxSizer(wxVERTICAL);
    sensorList = new wxListCtrl(page, ID_SENSOR_LIST, wxDefaultPosition, wxDefaultSize, wxLC_REPORT);
    sensorList->AppendColumn(wxT("ID"), wxLIST_FORMAT_LEFT, 50);
    sensorList->AppendColumn(wxT("Type"), wxLIST_FORMAT_LEFT, 60);
    sensorList->AppendColumn(wxT("Last tick"), wxLIST_FORMAT_LEFT, 90);
    sensorList->AppendColumn(wxT("Error"), wxLIST_FORMAT_LEFT, 60);
    sensorList->AppendColumn(wxT("Device"), wxLIST_FORMAT_LEFT, 380);
    sizer->Add(sensorList, 1, wxEXPAND | wxALL, 6);
    wxBoxSizer* row = new wxBoxSizer(wxHORIZONTAL);
    sensorTotal = label(page, wxT("Total Sensors : 0"), ID_SENSOR_TOTAL);
    row->Add(sensorTotal, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 12);
    row->Add(label(page, wxT("Offset")), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    sensorOffset = new wxSpinCtrl(page, ID_SENSOR_OFFSET, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                                  wxSP_ARROW_KEYS, 0, 255, 0);
    row->Add(sensorOffset, 0, wxRIGHT, 12);
    sensorAuto = new wxCheckBox(page, ID_SENSOR_AUTO, wxT("Auto refresh"));
    sensorAuto->SetValue(true);
    row->Add(sensorAuto, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 12);
    row->Add(new wxButton(page, ID_SENSOR_DELETE, wxT("Delete Sensorlist")), 0);
    sizer->Add(row, 0, wxALL, 6);
    page->SetSizer(sizer);
    page->Bind(wxEVT_BUTTON, &QCANMonitor::onDeleteSensors, this, ID_SENSOR_DELETE);
}

void QCANMonitor::buildCapturePage(wxWindow* page)
{
    wxBoxSizer* sizer = new wxBoxSizer(wxVERTICAL);
    wxBoxSizer* row = new wxBoxSizer(wxHORIZONTAL);
    captureButton = new wxToggleButton(page, ID_CAP_CAPTURE, wxT("Capture"));
    captureButton->SetToolTip(wxT("Toggle RX Capture"));
    row->Add(captureButton, 0, wxRIGHT, 6);
    parseBox = new wxCheckBox(page, ID_CAP_PARSE, wxT("Parse"));
    parseBox->SetToolTip(wxT("Parse Quillard Frames"));
    row->Add(parseBox, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
    row->Add(new wxButton(page, ID_CAP_CLEAR, wxT("Clear")), 0, wxRIGHT, 6);
    filterBox = new wxCheckBox(page, ID_CAP_FILTER, wxT("Filter"));
    filterBox->SetToolTip(wxT("Filter Selected CUA Only"));
    row->Add(filterBox, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 12);
    captureCount = label(page, wxT("0 Frames"), ID_CAP_COUNT);
    row->Add(captureCount, 0, wxALIGN_CENTER_VERTICAL);
    sizer->Add(row, 0, wxALL, 6);
    captureList = new wxListBox(page, ID_CAP_LIST);
    captureList->SetFont(wxFont(9, wxFONTFAMILY_TELETYPE, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL));
    sizer->Add(captureList, 1, wxEXPAND | wxALL, 6);
    page->SetSizer(sizer);
    page->Bind(wxEVT_TOGGLEBUTTON, &QCANMonitor::onCapture, this, ID_CAP_CAPTURE);
    page->Bind(wxEVT_BUTTON, &QCANMonitor::onClearCapture, this, ID_CAP_CLEAR);
}

void QCANMonitor::buildSendPage(wxWindow* page)
{
    wxBoxSizer* sizer = new wxBoxSizer(wxVERTICAL);

    wxStaticBoxSizer* std = new wxStaticBoxSizer(wxVERTICAL, page, wxT("Standard Header"));
    wxWindow* sb = std->GetStaticBox();
    wxBoxSizer* r1 = new wxBoxSizer(wxHORIZONTAL);
    r1->Add(label(sb, wxT("CAN ID")), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    stdId = new wxTextCtrl(sb, ID_STD_ID, wxT("0x100"));
    stdId->SetToolTip(wxT("Prepend 0x for HEX value"));
    r1->Add(stdId, 0, wxRIGHT, 6);
    stdExt = new wxToggleButton(sb, ID_STD_EXT, wxT("Std ID"));
    r1->Add(stdExt, 0, wxRIGHT, 6);
    stdRtr = new wxToggleButton(sb, ID_STD_RTR, wxT("RTR Off"));
    r1->Add(stdRtr, 0, wxRIGHT, 6);
    r1->Add(label(sb, wxT("DLC")), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    stdDlc = new wxSpinCtrl(sb, ID_STD_DLC, wxEmptyString, wxDefaultPosition, wxDefaultSize, wxSP_ARROW_KEYS, 0, 8, 8);
    r1->Add(stdDlc, 0);
    std->Add(r1, 0, wxALL, 4);
    std->Add(sendRow(sb, ID_STD_DATA, ID_STD_SEND, ID_STD_RETURN, stdData, stdReturn), 0, wxEXPAND | wxALL, 4);
    sizer->Add(std, 0, wxEXPAND | wxALL, 6);

    wxStaticBoxSizer* mk = new wxStaticBoxSizer(wxVERTICAL, page, wxT("Quillard Header"));
    wxWindow* mb = mk->GetStaticBox();
    wxBoxSizer* m1 = new wxBoxSizer(wxHORIZONTAL);
    m1->Add(label(mb, wxT("DeviceType")), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    wxArrayString types;
    types.Add(wxT("All (0)"));
    types.Add(wxT("Tilt (16)"));
    types.Add(wxT("Ray Gauge (67)"));
    types.Add(wxT("KM7 (68)"));
    types.Add(wxT("Other"));
    qType = new wxChoice(mb, ID_Q_TYPE, wxDefaultPosition, wxDefaultSize, types);
    qType->SetSelection(1);
    m1->Add(qType, 0, wxRIGHT, 4);
    qOther = new wxTextCtrl(mb, ID_Q_OTHER, wxT("0"), wxDefaultPosition, wxSize(60, -1));
    qOther->Enable(false);
    m1->Add(qOther, 0, wxRIGHT, 8);
    m1->Add(label(mb, wxT("DeviceNumber")), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    qNumber = new wxChoice(mb, ID_Q_NUMBER, wxDefaultPosition, wxDefaultSize, numbers(0, 127));
    qNumber->SetSelection(101);
    m1->Add(qNumber, 0);
    mk->Add(m1, 0, wxALL, 4);
    wxBoxSizer* m2 = new wxBoxSizer(wxHORIZONTAL);
    m2->Add(label(mb, wxT("Msg type")), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    qMsg = new wxChoice(mb, ID_Q_MSG, wxDefaultPosition, wxDefaultSize, numbers(0, 255));
    qMsg->SetSelection(0);
    m2->Add(qMsg, 0, wxRIGHT, 8);
    m2->Add(label(mb, wxT("Command")), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    qCmd = new wxChoice(mb, ID_Q_CMD, wxDefaultPosition, wxDefaultSize, numbers(0, 7));
    qCmd->SetSelection(0);
    m2->Add(qCmd, 0, wxRIGHT, 8);
    m2->Add(label(mb, wxT("DLC")), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    qDlc = new wxSpinCtrl(mb, ID_Q_DLC, wxEmptyString, wxDefaultPosition, wxDefaultSize, wxSP_ARROW_KEYS, 0, 8, 8);
    m2->Add(qDlc, 0);
    mk->Add(m2, 0, wxALL, 4);
    mk->Add(sendRow(mb, ID_Q_DATA, ID_Q_SEND, ID_Q_RETURN, qData, qReturn), 0, wxEXPAND | wxALL, 4);
    sizer->Add(mk, 0, wxEXPAND | wxALL, 6);
    page->SetSizer(sizer);

    sb->Bind(wxEVT_BUTTON, &QCANMonitor::onSendStandard, this, ID_STD_SEND);
    mb->Bind(wxEVT_BUTTON, &QCANMonitor::onSendMaker, this, ID_Q_SEND);
    mb->Bind(wxEVT_CHOICE, &QCANMonitor::onMakerType, this, ID_Q_TYPE);
    stdExt->Bind(wxEVT_TOGGLEBUTTON, [this](wxCommandEvent&) { stdExt->SetLabel(stdExt->GetValue() ? wxT("Ext ID") : wxT("Std ID")); });
    stdRtr->Bind(wxEVT_TOGGLEBUTTON, [this](wxCommandEvent&) { stdRtr->SetLabel(stdRtr->GetValue() ? wxT("RTR On") : wxT("RTR Off")); });
}

void QCANMonitor::buildEventsPage(wxWindow* page)
{
    wxBoxSizer* sizer = new wxBoxSizer(wxVERTICAL);
    eventsText = new wxTextCtrl(page, ID_EVENTS_TEXT, wxT("Device event log\n"), wxDefaultPosition, wxDefaultSize,
                                wxTE_MULTILINE | wxTE_READONLY);
    sizer->Add(eventsText, 1, wxEXPAND | wxALL, 6);
    sizer->Add(new wxButton(page, ID_EVENTS_REFRESH, wxT("Refresh")), 0, wxALL, 6);
    page->SetSizer(sizer);
    page->Bind(wxEVT_BUTTON, &QCANMonitor::onEventsRefresh, this, ID_EVENTS_REFRESH);
}

void QCANMonitor::buildLogPage(wxWindow* page)
{
    auto choice = [page](wxWindowID id, std::initializer_list<const char*> items) {
        wxArrayString list;
        for (const char* item : items)
            list.Add(wxString::FromUTF8(item));
        wxChoice* c = new wxChoice(page, id, wxDefaultPosition, wxDefaultSize, list);
        c->SetSelection(0);
        return c;
    };
    wxFlexGridSizer* grid = new wxFlexGridSizer(2, 4, 12);
    grid->Add(label(page, wxT("CAN ID Rule")));
    grid->Add(logRule = choice(ID_LOG_RULE, {"All", "Std", "Ext"}));
    grid->Add(label(page, wxT("Timestamp")));
    grid->Add(logTime = choice(ID_LOG_TIME, {"Y-M-DThh:mm:ss:ms", "hh:mm:ss:ms"}));
    grid->Add(label(page, wxT("CANID")));
    grid->Add(logId = choice(ID_LOG_ID, {"Hex", "Dec", "Quillard"}));
    grid->Add(label(page, wxT("Data")));
    grid->Add(logData = choice(ID_LOG_DATA, {"Hex", "Dec", "Int16", "Real16"}));
    grid->Add(label(page, wxT("Separator")));
    grid->Add(logSep = choice(ID_LOG_SEP, {"Whitespace", "Tab \t", "Comma ,", "Line |", "Semicolon ;"}));
    grid->Add(label(page, wxEmptyString));
    grid->Add(logHeader = new wxCheckBox(page, ID_LOG_HEADER, wxT("Append Header")));
    logHeader->SetValue(true);
    grid->Add(label(page, wxT("File")));
    wxBoxSizer* file = new wxBoxSizer(wxHORIZONTAL);
    logFile = new wxTextCtrl(page, ID_LOG_FILE, wxEmptyString, wxDefaultPosition, wxSize(360, -1));
    file->Add(logFile, 0, wxRIGHT, 4);
    file->Add(new wxButton(page, ID_LOG_SELECT, wxT("Select")), 0);
    grid->Add(file);

    wxBoxSizer* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(grid, 0, wxALL, 6);
    sizer->Add(label(page, wxT("Active Loggers")), 0, wxLEFT, 6);
    logList = new wxListBox(page, ID_LOG_LIST);
    sizer->Add(logList, 1, wxEXPAND | wxALL, 6);
    wxBoxSizer* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->Add(new wxButton(page, ID_LOG_ADD, wxT("Add logger")), 0, wxRIGHT, 4);
    buttons->Add(new wxButton(page, ID_LOG_REMOVE, wxT("Remove")), 0, wxRIGHT, 4);
    buttons->Add(new wxButton(page, ID_LOG_REMOVE_ALL, wxT("Remove All")), 0, wxRIGHT, 4);
    buttons->Add(new wxButton(page, ID_LOG_REFRESH, wxT("Refresh list")), 0);
    sizer->Add(buttons, 0, wxALL, 6);
    page->SetSizer(sizer);

    page->Bind(wxEVT_BUTTON, &QCANMonitor::onLogSelect, this, ID_LOG_SELECT);
    page->Bind(wxEVT_BUTTON, &QCANMonitor::onAddLogger, this, ID_LOG_ADD);
    page->Bind(wxEVT_BUTTON, &QCANMonitor::onRemoveLogger, this, ID_LOG_REMOVE);
    page->Bind(wxEVT_BUTTON, &QCANMonitor::onRemoveAllLoggers, this, ID_LOG_REMOVE_ALL);
    page->Bind(wxEVT_BUTTON, &QCANMonitor::onRefreshLoggers, this, ID_LOG_REFRESH);
}

void QCANMonitor::buildDebugPage(wxWindow* page)
{
    wxBoxSizer* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(label(page, wxT("Developer test zone, not stable")), 0, wxALL, 6);
    wxGridSizer* grid = new wxGridSizer(5, 4, 4);
    auto button = [&](wxWindowID id, const wxString& text, const wxString& tip = wxEmptyString) {
        wxButton* b = new wxButton(page, id, text);
        if (!tip.empty())
            b->SetToolTip(tip);
        grid->Add(b, 0, wxEXPAND);
        return b;
    };
    button(ID_DBG_DEVLIST, wxT("Get QCANDevList"));
    button(ID_DBG_RXOFF, wxT("Rx buffer OFF"), wxT("Disable SensorManager Rx buffer"));
    button(ID_DBG_RXON, wxT("Rx buffer ON"), wxT("Disable SensorManager Rx buffer"));
    button(ID_DBG_INFO, wxT("Get QCAN info"), wxT("Print debug info"));
    button(ID_DBG_REPLAY, wxT("Replay log files"), wxT("Replay logged CAN data"));
    button(ID_DBG_POWER_ON, wxT("Power ON"), wxT("Toggle power"));
    button(ID_DBG_POWER_OFF, wxT("Power OFF"), wxT("Toggle power"));
    button(ID_DBG_TERM_ON, wxT("Termination ON"));
    button(ID_DBG_TERM_OFF, wxT("Termination OFF"));
    button(ID_DBG_LOOPBACK, wxT("Loopback test"));
    benchExt = new wxToggleButton(page, ID_DBG_BENCH_EXT, wxT("Benchmark Ext"));
    benchExt->SetToolTip(wxT("Test RX message ext handler delay"));
    grid->Add(benchExt, 0, wxEXPAND);
    wxToggleButton* benchFilter = new wxToggleButton(page, ID_DBG_BENCH_FILTER, wxT("Benchmark Filter"));
    benchFilter->SetToolTip(wxT("Test RX message filter delay"));
    grid->Add(benchFilter, 0, wxEXPAND);
    // The traffic generator window is not part of this build; the button stays until it is.
    button(ID_DBG_GENERATOR, wxT("Generator"), wxT("Generate CAN traffic"));
    button(ID_DBG_DSM500, wxT("DSM500"));
    button(ID_DBG_STEELWRIST, wxT("Steelwrist"));
    button(ID_DBG_RECONN, wxT("Reconn"));
    txLog = new wxCheckBox(page, ID_DBG_TXLOG, wxT("TX log"));
    grid->Add(txLog, 0, wxALIGN_CENTER_VERTICAL);
    dt500Button = button(ID_DBG_DT500, wxT("Start DT500"));
    sizer->Add(grid, 0, wxEXPAND | wxALL, 6);

    benchExtText = label(page, wxT("avg 0.000 ms max 0 ms(0 frames)"), ID_DBG_BENCH_EXT_TEXT);
    benchFilterText = label(page, wxT("avg 0.000 ms max 0 ms(0 frames)"), ID_DBG_BENCH_FILTER_TEXT);
    sizer->Add(benchExtText, 0, wxLEFT, 6);
    sizer->Add(benchFilterText, 0, wxLEFT, 6);

    wxBoxSizer* g1 = new wxBoxSizer(wxHORIZONTAL);
    g1->Add(new wxButton(page, ID_DBG_G1_READ, wxT("Read G1 Matrix")), 0, wxRIGHT, 4);
    g1Id = new wxTextCtrl(page, ID_DBG_G1_ID, wxT("101"), wxDefaultPosition, wxSize(60, -1));
    g1->Add(g1Id, 0);
    sizer->Add(g1, 0, wxALL, 6);

    wxStaticBoxSizer* fir = new wxStaticBoxSizer(wxHORIZONTAL, page, wxT("FIR"));
    wxWindow* fb = fir->GetStaticBox();
    firSlow = new wxCheckBox(fb, ID_DBG_FIR_SLOW, wxT("Slow"));
    fir->Add(firSlow, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    fir->Add(label(fb, wxT("Len:")), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 2);
    firSlowLen = new wxTextCtrl(fb, ID_DBG_FIR_SLOW_LEN, wxT("255"), wxDefaultPosition, wxSize(50, -1));
    fir->Add(firSlowLen, 0, wxRIGHT, 8);
    firFast = new wxCheckBox(fb, ID_DBG_FIR_FAST, wxT("Fast"));
    fir->Add(firFast, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    fir->Add(label(fb, wxT("Len:")), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 2);
    firFastLen = new wxTextCtrl(fb, ID_DBG_FIR_FAST_LEN, wxT("255"), wxDefaultPosition, wxSize(50, -1));
    fir->Add(firFastLen, 0, wxRIGHT, 8);
    fir->Add(new wxButton(fb, ID_DBG_FIR_R, wxT("R"), wxDefaultPosition, wxSize(36, -1)), 0, wxRIGHT, 2);
    fir->Add(new wxButton(fb, ID_DBG_FIR_W, wxT("W"), wxDefaultPosition, wxSize(36, -1)), 0);
    sizer->Add(fir, 0, wxALL, 6);
    page->SetSizer(sizer);

    for (int id : {ID_DBG_DEVLIST, ID_DBG_INFO, ID_DBG_POWER_ON, ID_DBG_POWER_OFF, ID_DBG_TERM_ON, ID_DBG_TERM_OFF,
                   ID_DBG_DSM500, ID_DBG_STEELWRIST, ID_DBG_RECONN})
        page->Bind(wxEVT_BUTTON, &QCANMonitor::onDebug, this, id);
    page->Bind(wxEVT_CHECKBOX, &QCANMonitor::onDebug, this, ID_DBG_TXLOG);
    page->Bind(wxEVT_TOGGLEBUTTON, &QCANMonitor::onBenchmarkExt, this, ID_DBG_BENCH_EXT);
    page->Bind(wxEVT_BUTTON, &QCANMonitor::onDT500, this, ID_DBG_DT500);
    // The traffic generator is a window of its own, closed with this frame at the latest.
    page->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { (new Sensors::CANTrafficGenerator(this))->Show(); },
               ID_DBG_GENERATOR);
    page->Bind(wxEVT_BUTTON, &QCANMonitor::onG1Read, this, ID_DBG_G1_READ);
    fb->Bind(wxEVT_BUTTON, &QCANMonitor::onFirRead, this, ID_DBG_FIR_R);
    fb->Bind(wxEVT_BUTTON, &QCANMonitor::onFirWrite, this, ID_DBG_FIR_W);
}

// --- refresh -------------------------------------------------------------------------------------

void QCANMonitor::onTimer(wxTimerEvent&)
{
    RefreshTiming::Scope whole(timing, PHASE_TICK);
    if (!initialised) {
        initialised = true;
        {
            wxMutexLocker guard(registryLock());
            captureTarget = this;
        }
        rebuildDeviceList();
        Show();
    } else {
        const auto timed = [this](int phase, void (QCANMonitor::*step)()) {
            RefreshTiming::Scope scope(timing, phase);
            (this->*step)();
        };
        timed(PHASE_MANAGER, &QCANMonitor::refreshManagerPage);
        if (selectedCuaId >= 0) {
            const int page = notebook->GetSelection();
            if (page == 1)
                timed(PHASE_DEVICE, &QCANMonitor::refreshDevicePage);
            else if (page == 2 && sensorAuto->GetValue())
                timed(PHASE_SENSORS, &QCANMonitor::refreshSensorsPage);
        }
        if (benchExt->GetValue())
            showBenchmarks();
        if (refreshPhase == 0)
            timed(PHASE_CAPTURE, &QCANMonitor::drainCapture);
        refreshPhase = (refreshPhase + 1) % 4;
        static const wxColour tints[4] = {wxColour(0, 0, 0), wxColour(0, 70, 140), wxColour(0, 110, 0),
                                          wxColour(0, 70, 140)};
        statusText->SetForegroundColour(tints[refreshPhase]);
        statusText->Refresh();
    }
}

void QCANMonitor::refreshManagerPage()
{
    SensorManager& m = manager();
    mgrEnabled->SetLabel(m.isEnabled() ? wxT("Enabled") : wxT("Disabled"));
    mgrThread->SetLabel(m.isThreadRunning() ? wxT("Running") : wxT("Stopped"));
    int connected = 0;
    const int count = m.getQCANDeviceCount();
    for (int i = 0; i < count; ++i) {
        Sensors::QCANDevice* device = m.getQCANDeviceByIndex(i);
        if (device && m.getDeviceStatus(device->getCuaId()) == QCAN_STATUS_CONNECTED)
            ++connected;
    }
    mgrConnected->SetLabel(connected > 0 ? wxString::Format(wxT("%d"), connected) : wxString(wxT("No active device")));
    if (selectedCuaId < 0) {
        mgrSelected->SetLabel(wxT("No CUA Adapter selected"));
    } else {
        QCANDeviceInfo info;
        if (m.getDeviceInfo(selectedCuaId, &info))
            mgrSelected->SetLabel(wxString::Format(wxT("CUA #%d "), selectedCuaId) +
                                  Sensors::QCANDevice::translateStatusString(info.status));
        else
            mgrSelected->SetLabel(wxT("ERROR: Cannot get device info"));
    }
    // While no adapter is found, the list keeps looking, and says so with a moving row of dots.
    if (listWaiting && refreshPhase == 0)
        rebuildDeviceList();
}

void QCANMonitor::rebuildDeviceList()
{
    SensorManager& m = manager();
    struct Row {
        wxString name;
        int cuaId;
    };
    std::vector<Row> rows;
    void* list = m.createQCANDeviceList();
    const int available = m.getDeviceListItemCount(list);
    for (int i = 0; i < available; ++i) {
        wxString name, description, vendor;
        if (m.getDeviceListItemInfo(list, i, name, description, vendor))
            rows.push_back({name, -1});
    }
    m.deleteQCANDeviceList(list);
    mgrAvailable->SetLabel(available > 0 ? wxString::Format(wxT("%d"), available) : wxString(wxT("--")));
    // Adapters in the manager's table carry their id; one the library no longer offers still shows.
    const int count = m.getQCANDeviceCount();
    for (int i = 0; i < count; ++i) {
        Sensors::QCANDevice* device = m.getQCANDeviceByIndex(i);
        if (!device)
            continue;
        bool found = false;
        for (Row& row : rows)
            if (row.name == device->getDevName()) {
                row.cuaId = device->getCuaId();
                found = true;
            }
        if (!found)
            rows.push_back({device->getDevName(), device->getCuaId()});
    }

    const long marked = deviceList->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
    deviceList->Freeze();
    deviceList->DeleteAllItems();
    listWaiting = rows.empty();
    if (listWaiting) {
        static const char* const dots[3] = {"..", ".....", "........"};
        deviceList->InsertItem(0, wxString(wxT("Waiting for devices")) + dots[waitTurn++ % 3]);
        deviceList->SetItemData(0, -1);
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        const long item = deviceList->InsertItem(static_cast<long>(i), rows[i].name);
        deviceList->SetItemData(item, rows[i].cuaId);
        if (rows[i].cuaId >= 0) {
            QCANDeviceInfo info;
            if (m.getDeviceInfo(rows[i].cuaId, &info))
                deviceList->SetItem(item, 1, Sensors::QCANDevice::translateStatusString(info.status));
            const int baud = m.GetDeviceBaudRateInt(rows[i].cuaId);
            deviceList->SetItem(item, 2, baud > 0 ? wxString::Format(wxT("%dK"), baud) : wxString(wxT("--")));
        } else {
            deviceList->SetItem(item, 1, wxT("--"));
            deviceList->SetItem(item, 2, wxT("--"));
        }
    }
    if (!listWaiting && marked >= 0 && marked < deviceList->GetItemCount())
        deviceList->SetItemState(marked, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    deviceList->Thaw();
}

void QCANMonitor::refreshDevicePage()
{
    SensorManager& m = manager();
    const int id = selectedCuaId;
    QCANDeviceInfo info;
    std::vector<wxString> v(kDeviceLabelCount, wxT("--"));
    if (!m.getDeviceInfo(id, &info)) {
        v[0] = wxT("ERROR: Cannot get device info");
    } else {
        Sensors::QCANDevice* device = m.getQCANDeviceByID(id);
        QCANReceived received = m.getReceived(id);
        _TCANStats stats = {};
        const bool haveStats = m.GetDeviceCanStats(id, &stats, true) >= 0;
        auto number = [](long long n) { return wxString::Format(wxT("%lld"), n); };
        auto onOff = [](bool on) { return on ? wxString(wxT("| ON")) : wxString(wxT("| OFF")); };
        v[0] = info.name;
        v[1] = info.description;
        v[2] = info.vendor;
        v[3] = Sensors::QCANDevice::translateStatusString(info.status);
        v[4] = device ? device->getCANBusStateString() : wxString(wxT("--"));
        v[5] = device ? device->getCANModeString() : wxString(wxT("--"));
        v[6] = m.getStatus(id);
        v[6].Trim();
        v[6].Replace(wxT("\n"), wxT(" / "));
        v[7] = info.vendor + wxT(" ") + info.description;
        v[8] = device ? device->getCANModeString() : wxString(wxT("--"));
        v[9] = number(received.rxTotal);
        v[10] = number(received.rxParsed);
        // The two counters are read at slightly different moments; never show a negative rest.
        v[11] = number(std::max(0, received.rxTotal - received.rxParsed));
        v[12] = number(m.GetDeviceRXBufferCount(id));
        if (haveStats) {
            // The adapter library's counters: 1 frames sent, 4 received frames lost, 5 sends refused.
            v[13] = number(stats.counter[1]);
            v[14] = number(stats.counter[4]);
            v[15] = number(stats.counter[5]);
            v[16] = number(static_cast<long long>(stats.counter[4]) + stats.counter[5] + stats.counter[7]);
        }
        v[17] = number(m.GetDeviceTXBufferCount(id));
        v[18] = wxString::Format(wxT("%d/%d"), m.getActiveSensorCount(1000, id), m.getSensorCount(id));
        const int baud = m.GetDeviceBaudRateInt(id);
        v[19] = baud > 0 ? wxString::Format(wxT("%d kbit/s"), baud) : wxString(wxT("--"));
        const bool power = m.getBusPower(id);
        v[20] = onOff(power) + wxT(" ") + onOff(m.getTermination(id));
        v[21] = power ? wxT("Yes") : wxT("No");
        const unsigned long long now = SensorManager::getTickCount();
        const unsigned long long total = static_cast<unsigned long long>(received.rxTotal);
        if (lastRxTime != 0 && now > lastRxTime && total >= lastRxTotal)
            v[22] = wxString::Format(wxT("%.1f"), (total - lastRxTotal) * 1000.0 / (now - lastRxTime));
        if (lastRxTime == 0 || now - lastRxTime >= 1000) {
            lastRxTime = now;
            lastRxTotal = total;
        }
        v[23] = number(m.GetDeviceErrorCount(id));
    }
    for (int i = 0; i < kDeviceLabelCount; ++i)
        if (deviceValues[i]->GetLabel() != v[i])
            deviceValues[i]->SetLabel(v[i]);
}

void QCANMonitor::refreshSensorsPage()
{
    SensorManager& m = manager();
    std::vector<Sensors::_SensorInfo> infos;
    for (int i = 0;; ++i) {
        Sensors::_SensorInfo info;
        if (!m.getSensorInfo(selectedCuaId, i, &info))
            break;
        infos.push_back(info);
    }
    sensorTotal->SetLabel(wxString::Format(wxT("Total Sensors : %d"), static_cast<int>(infos.size())));
    const unsigned long long now = SensorManager::getTickCount();
    const size_t offset = static_cast<size_t>(sensorOffset->GetValue());
    sensorList->Freeze();
    sensorList->DeleteAllItems();
    for (size_t i = offset; i < infos.size(); ++i) {
        const Sensors::_SensorInfo& info = infos[i];
        const unsigned int age = now > info.lastMessageTime ? static_cast<unsigned int>(now - info.lastMessageTime) : 0u;
        wxString typeText, idText;
        Sensors::Sensor::getSensorTypeString(static_cast<Sensors::SensorDeviceType>(info.deviceType), typeText);
        Sensors::Sensor::getSensorIDString(info.sensorId, idText);
        const long row = sensorList->InsertItem(static_cast<long>(i - offset), wxString::Format(wxT("%i"), info.sensorId));
        sensorList->SetItem(row, 1, wxString::Format(wxT("%i"), static_cast<int>(info.deviceType)));
        sensorList->SetItem(row, 2, wxString::Format(wxT("%u"), age));
        sensorList->SetItem(row, 3, wxString::Format(wxT("%d"), static_cast<int>(info.errorCount)));
        sensorList->SetItem(row, 4, typeText + wxT(" (") + idText + wxT(")"));
        // Fresh, late, stale, silent.
        wxColour tint = age < 1000 ? wxColour(220, 255, 220)
                      : age < 2000 ? wxColour(255, 255, 200)
                      : age < 10000 ? wxColour(255, 225, 190)
                                    : wxColour(255, 200, 200);
        sensorList->SetItemBackgroundColour(row, tint);
    }
    sensorList->Thaw();
}

void QCANMonitor::drainCapture()
{
    std::deque<RxCANFrameT*> frames;
    {
        RefreshTiming::Scope wait(timing, PHASE_LOCK);
        wxMutexLocker guard(lock);
        frames.swap(captureQueue);
    }
    if (frames.empty())
        return;
    const bool parse = parseBox->GetValue();
    const bool filter = filterBox->GetValue();
    wxArrayString lines;
    for (RxCANFrameT* rx : frames) {
        if (!filter || rx->cuaId == selectedCuaId) {
            const _TGENERIC_CAN_FRAME& f = rx->frame;
            wxString line = wxString::Format(wxT("%u %u "), static_cast<unsigned int>(rx->time & 0xFFFFFFFFu),
                                             static_cast<unsigned int>(rx->cuaId));
            const uint32_t id = f.header.id;
            if (!parse) {
                if (f.header.ext)
                    line += wxString::Format(wxT("EID 0x%X "), id & 0x1FFFFFFFu);
                else
                    line += wxString::Format(wxT("SID 0%X "), id & 0x7FFu);
                if (f.header.rtr)
                    line += wxT("RTR ");
                line += wxString::Format(wxT("DLC%d : "), static_cast<int>(f.header.dlc));
            } else {
                line += wxString::Format(wxT("DEV:%d DEV# %d CMD %d MSG %d "), static_cast<int>((id >> 8) & 0x7F),
                                         static_cast<int>(id & 0x7F), static_cast<int>((id >> 18) & 0x7),
                                         static_cast<int>((id >> 21) & 0xFF));
                if (f.header.rtr)
                    line += wxT("RTR ");
                if ((id >> 7) & 1)
                    line += wxT("ERR ");
                line += wxString::Format(wxT(" DLC %d "), static_cast<int>(f.header.dlc));
            }
            for (int i = 0; i < f.header.dlc && i < 8; ++i)
                line += wxString::Format(wxT("%02X"), f.data[i]);
            lines.Add(line);
        }
        delete rx;
    }
    if (lines.empty())
        return;
    captureList->Freeze();
    captureList->Append(lines);
    while (captureList->GetCount() > kCaptureLines)
        captureList->Delete(0);
    captureList->Thaw();
    long total = 0;
    captureCount->GetLabel().BeforeFirst(' ').ToLong(&total);
    captureCount->SetLabel(wxString::Format(wxT("%d Frames"), static_cast<int>(total + lines.size())));
}

void QCANMonitor::showBenchmarks()
{
    int32_t copies[2][RING_SIZE];
    {
        RefreshTiming::Scope wait(timing, PHASE_LOCK);
        wxMutexLocker guard(lock);
        std::copy(&rings[0][0], &rings[0][0] + 2 * RING_SIZE, &copies[0][0]);
    }
    wxStaticText* texts[2] = {benchExtText, benchFilterText};
    for (int r = 0; r < 2; ++r) {
        long long sum = 0;
        int max = 0, n = 0;
        for (int32_t v : copies[r])
            if (v >= 0) {
                sum += v;
                max = std::max<int>(max, v);
                ++n;
            }
        texts[r]->SetLabel(wxString::Format(wxT("avg %.3f ms max %d ms(%d frames)"), n ? double(sum) / n : 0.0, max, n));
    }
}

// --- receive-thread callbacks --------------------------------------------------------------------

PARSE_RESULT QCANMonitor::handleMsg(void* frame, void*, void* context)
{
    if (!frame)
        return PARSE_RESULT_ERROR;
    wxMutexLocker registry(registryLock());
    QCANMonitor* self = static_cast<QCANMonitor*>(context);
    if (!liveFrames().count(self))
        return PARSE_RESULT_ERROR;
    RxCANFrameT* copy = new RxCANFrameT(*static_cast<RxCANFrameT*>(frame));
    wxMutexLocker guard(self->lock);
    self->captureQueue.push_back(copy);
    return PARSE_RESULT_OK;
}

bool QCANMonitor::handleExtTimeMsg(void* frame, void*)
{
    recordDelay(frame, RING_EXT);
    return true;
}

bool QCANMonitor::handleFilterTimeMsg(void* frame, void*)
{
    recordDelay(frame, RING_FILTER);
    return true;
}

void QCANMonitor::recordDelay(void* frame, int ring)
{
    if (!frame)
        return;
    const unsigned long long now = SensorManager::getTickCount();
    wxMutexLocker registry(registryLock());
    if (QCANMonitor* self = captureTarget) {
        wxMutexLocker guard(self->lock);
        self->rings[ring][self->ringIndex[ring]] = static_cast<int32_t>(now - static_cast<RxCANFrameT*>(frame)->time);
        self->ringIndex[ring] = (self->ringIndex[ring] + 1) % RING_SIZE;
    }
}

void QCANMonitor::clearRings()
{
    for (int ring = 0; ring < 2; ++ring) {
        std::fill(rings[ring], rings[ring] + RING_SIZE, -1);
        ringIndex[ring] = 0;
    }
}

// --- Manager page and the buttons below ----------------------------------------------------------

void QCANMonitor::onPrev(wxCommandEvent&)
{
    if (notebook->GetSelection() > 0)
        notebook->SetSelection(notebook->GetSelection() - 1);
}

void QCANMonitor::onNext(wxCommandEvent&)
{
    if (notebook->GetSelection() + 1 < static_cast<int>(notebook->GetPageCount()))
        notebook->SetSelection(notebook->GetSelection() + 1);
}

void QCANMonitor::onQcan(wxCommandEvent&)
{
    DialogQcanConfiguration dialog(this, -1);
    dialog.ShowModal();
}

void QCANMonitor::onCloseButton(wxCommandEvent&)
{
    Close();
}

void QCANMonitor::onClose(wxCloseEvent&)
{
    timer.Stop();
    Destroy();
}

void QCANMonitor::onEnableCua(wxCommandEvent&)
{
    manager().setEnabled(enableCua->GetValue());
}

void QCANMonitor::onRefreshList(wxCommandEvent&)
{
    rebuildDeviceList();
}

void QCANMonitor::onSelect(wxCommandEvent&)
{
    const long item = deviceList->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
    if (item < 0)
        return;
    const int cuaId = static_cast<int>(static_cast<long>(deviceList->GetItemData(item)));
    if (cuaId == selectedCuaId)
        return;
    // The capture follows the selection: its parser lives on the selected adapter.
    const bool capturing = captureParserId >= 0;
    if (capturing)
        stopCapture();
    selectedCuaId = cuaId;
    lastRxTime = 0;
    if (capturing && selectedCuaId >= 0)
        startCapture();
    else if (capturing)
        captureButton->SetValue(false);
    if (selectedCuaId >= 0)
        powerButton->SetValue(manager().getBusPower(selectedCuaId));
    refreshManagerPage();
}

void QCANMonitor::onListActivated(wxListEvent&)
{
    wxCommandEvent none;
    onSelect(none);
}

void QCANMonitor::onConnect(wxCommandEvent&)
{
    // Adapters are connected by the host; this frame only looks.
    if (viewOnly)
        return;
}

void QCANMonitor::onDisconnect(wxCommandEvent&)
{
    if (viewOnly)
        return;
}

void QCANMonitor::onPower(wxCommandEvent&)
{
    if (selectedCuaId >= 0)
        manager().setBusPower(selectedCuaId, powerButton->GetValue());
}

void QCANMonitor::onBaud(wxCommandEvent&)
{
    static const char* const steps[3] = {"250K", "500K", "125K"};
    baudStep = (baudStep + 1) % 3;
    baudButton->SetLabel(steps[baudStep]);
}

// --- Sensors, Capture, Send, Events --------------------------------------------------------------

void QCANMonitor::onDeleteSensors(wxCommandEvent&)
{
    if (selectedCuaId >= 0)
        manager().removeSensors(selectedCuaId);
}

void QCANMonitor::startCapture()
{
    print(wxT("Capture ON\n"));
    manager().setMaxReceivedFiFoSize(64, 0);
    if (selectedCuaId >= 0)
        captureParserId = manager().addExternalParser(selectedCuaId, &QCANMonitor::handleMsg, this);
}

void QCANMonitor::stopCapture()
{
    print(wxT("Capture OFF\n"));
    if (captureParserId >= 0 && selectedCuaId >= 0)
        manager().deleteExternalParserById(selectedCuaId, static_cast<unsigned int>(captureParserId));
    captureParserId = -1;
}

void QCANMonitor::onCapture(wxCommandEvent&)
{
    if (captureButton->GetValue())
        startCapture();
    else
        stopCapture();
}

void QCANMonitor::onClearCapture(wxCommandEvent&)
{
    {
        wxMutexLocker guard(lock);
        for (RxCANFrameT* frame : captureQueue)
            delete frame;
        captureQueue.clear();
    }
    captureList->Clear();
    captureCount->SetLabel(wxT("0 Frames"));
}

bool QCANMonitor::readData(wxTextCtrl* field, int dlc, unsigned char* out, wxStaticText* ret)
{
    const wxString text = field->GetValue();
    if (static_cast<int>(text.length()) < 2 * dlc) {
        ret->SetLabel(wxString::Format(wxT("%d Need more data %d / %d"), static_cast<int>(SensorManager::getTickCount()),
                                       static_cast<int>(text.length()), 2 * dlc));
        return false;
    }
    for (int i = 0; i < dlc; ++i) {
        unsigned long byte = 0;
        text.Mid(2 * i, 2).ToULong(&byte, 16);
        out[i] = static_cast<unsigned char>(byte);
    }
    return true;
}

void QCANMonitor::onSendStandard(wxCommandEvent&)
{
    _TGENERIC_CAN_FRAME frame = {};
    const int dlc = stdDlc->GetValue();
    if (!readData(stdData, dlc, frame.data, stdReturn))
        return;
    const wxString text = stdId->GetValue().Trim().Trim(false);
    unsigned long id = 0;
    const bool ok = text.StartsWith(wxT("0x")) ? text.Mid(2).ToULong(&id, 16) : text.ToULong(&id, 10);
    const int tick = static_cast<int>(SensorManager::getTickCount());
    if (!ok) {
        stdReturn->SetLabel(wxString::Format(wxT("%d Bad CANID %s"), tick, text));
        return;
    }
    frame.header.id = static_cast<uint32_t>(id);
    frame.header.ext = stdExt->GetValue() ? 1 : 0;
    frame.header.rtr = stdRtr->GetValue() ? 1 : 0;
    frame.header.dlc = static_cast<uint16_t>(dlc);
    const int rc = manager().sendGenCanMsg(selectedCuaId, &frame, true);
    stdReturn->SetLabel(wxString::Format(wxT("%d Sent generic msg , return code %d"), tick, rc));
}

void QCANMonitor::onMakerType(wxCommandEvent&)
{
    qOther->Enable(qType->GetSelection() == 4);
}

void QCANMonitor::onSendMaker(wxCommandEvent&)
{
    _TQUIL1G5_CAN_FRAME frame = {};
    const int dlc = qDlc->GetValue();
    if (!readData(qData, dlc, frame.data, qReturn))
        return;
    const int tick = static_cast<int>(SensorManager::getTickCount());
    static const int types[4] = {0, 16, 67, 68};
    long type = 0;
    if (qType->GetSelection() >= 0 && qType->GetSelection() < 4) {
        type = types[qType->GetSelection()];
    } else if (!qOther->GetValue().ToLong(&type, 10)) {
        qReturn->SetLabel(wxString::Format(wxT("%d Bad devicetype number %s"), tick, qOther->GetValue()));
        return;
    }
    frame.header.devType = static_cast<uint8_t>(type);
    frame.header.devNumber = static_cast<uint8_t>(std::max(0, qNumber->GetSelection()));
    frame.header.msg = static_cast<uint8_t>(std::max(0, qMsg->GetSelection()));
    frame.header.cmd = static_cast<uint8_t>(std::max(0, qCmd->GetSelection()));
    frame.header.dlc = static_cast<uint16_t>(dlc);
    const int rc = manager().sendCanMsg(selectedCuaId, &frame, true);
    qReturn->SetLabel(wxString::Format(wxT("%d Sent msg , return code %d"), tick, rc));
}

void QCANMonitor::onEventsRefresh(wxCommandEvent&)
{
    wxString text = wxT("Device event log\n");
    if (selectedCuaId >= 0)
        for (int i = 0; i < 16; ++i) {
            const wxString line = manager().getDeviceEventLog(selectedCuaId, i);
            if (!line.empty())
                text += line + wxT("\n");
        }
    eventsText->SetValue(text);
}

// --- Log -----------------------------------------------------------------------------------------

void QCANMonitor::onLogSelect(wxCommandEvent&)
{
    wxFileDialog dialog(this, wxT("Select DataLogger file"), wxEmptyString, wxEmptyString,
                        wxT("Log files (*.log)|*.log;Text files (*.txt)|*.txt;All files (*.*)|*.*"), wxFD_SAVE);
    if (dialog.ShowModal() == wxID_OK)
        logFile->SetValue(dialog.GetPath());
}

void QCANMonitor::onAddLogger(wxCommandEvent&)
{
    const bool header = logHeader->GetValue();
    const int idChoice = logId->GetSelection();
    const int dataChoice = logData->GetSelection();
    const int rule = logRule->GetSelection();
    if (header && idChoice != dataChoice) {
        wxMessageBox(wxT("ID and Data must have same formating when using headers!"), wxT("Cannot create datalogger"),
                     wxOK | wxICON_ERROR, this);
        return;
    }
    if (idChoice == 2 && rule != 2) {
        wxMessageBox(wxT("Quillard ID Formating must have Extended CAN ID Rule!"), wxT("Cannot create datalogger"),
                     wxOK | wxICON_ERROR, this);
        return;
    }
    const wxString path = logFile->GetValue();
    if (!isValidLogPath(path)) {
        wxMessageBox(wxT("Bad logfile path!"), wxT("Cannot create filter"), wxOK | wxICON_ERROR, this);
        return;
    }
    Sensors::QCANDevice* device = manager().getQCANDeviceByID(selectedCuaId);
    if (!device) {
        wxMessageBox(wxT("No CUA Adapter selected"), wxT("Cannot create datalogger"), wxOK | wxICON_ERROR, this);
        return;
    }
    static const char* const separators[5] = {" ", "\t", ",", "|", ";"};
    const int sep = std::max(0, logSep->GetSelection());
    auto* logger = new Sensors::DataLogging(
        device, path, logTime->GetSelection() == 1 ? Sensors::TIMESTAMP_TIME : Sensors::TIMESTAMP_DATE_TIME,
        static_cast<Sensors::ECanIdFormat>(idChoice), static_cast<Sensors::ECanDataFormat>(dataChoice),
        wxString::FromUTF8(separators[sep]), static_cast<Sensors::ECANIDType>(rule), header);
    loggers.push_back(logger);
    wxCommandEvent none;
    onRefreshLoggers(none);
}

void QCANMonitor::onRemoveLogger(wxCommandEvent&)
{
    const int marked = logList->GetSelection();
    if (marked == wxNOT_FOUND || marked >= static_cast<int>(loggers.size()))
        return;
    delete loggers[marked];
    loggers.erase(loggers.begin() + marked);
    wxCommandEvent none;
    onRefreshLoggers(none);
}

void QCANMonitor::onRemoveAllLoggers(wxCommandEvent&)
{
    for (Sensors::DataLogging* logger : loggers)
        delete logger;
    loggers.clear();
    wxCommandEvent none;
    onRefreshLoggers(none);
}

void QCANMonitor::onRefreshLoggers(wxCommandEvent&)
{
    logList->Clear();
    for (Sensors::DataLogging* logger : loggers)
        logList->Append(logger->getDescription());
}

// --- Debug ---------------------------------------------------------------------------------------

void QCANMonitor::sendStd(uint32_t id, bool ext, const std::vector<uint8_t>& data)
{
    _TGENERIC_CAN_FRAME frame = {};
    frame.header.id = id;
    frame.header.ext = ext ? 1 : 0;
    frame.header.dlc = static_cast<uint16_t>(data.size());
    std::copy(data.begin(), data.end(), frame.data);
    manager().sendGenCanMsg(selectedCuaId, &frame, true);
}

void QCANMonitor::onDebug(wxCommandEvent& event)
{
    SensorManager& m = manager();
    const int id = event.GetId();
    if (id == ID_DBG_DEVLIST) {
        void* list = m.createQCANDeviceList();
        const int n = m.getDeviceListItemCount(list);
        wxString text = wxString::Format(wxT("%d devices : \n"), n);
        for (int i = 0; i < n; ++i) {
            wxString name, description, vendor;
            if (!m.getDeviceListItemInfo(list, i, name, description, vendor)) {
                text += wxT("NULL\n");
                continue;
            }
            Sensors::QCANDevice* device = m.getQCANDeviceByName(name);
            text += wxString::Format(wxT("%d %u : %s\n"), i, device ? static_cast<unsigned int>(device->getCuaId()) : 0u,
                                     name);
        }
        m.deleteQCANDeviceList(list);
        print(text);
        return;
    }
    if (id == ID_DBG_INFO) {
        Sensors::QCANDevice* device = selectedCuaId >= 0 ? m.getQCANDeviceByID(selectedCuaId) : nullptr;
        print(device ? device->getQCANBuildInfo() + wxT("\n") : wxString(wxT("No device selected\n")));
        return;
    }
    if (selectedCuaId < 0)
        return;
    switch (id) {
    case ID_DBG_POWER_ON: m.setBusPower(selectedCuaId, true); break;
    case ID_DBG_POWER_OFF: m.setBusPower(selectedCuaId, false); break;
    case ID_DBG_TERM_ON: m.setTermination(selectedCuaId, true); break;
    case ID_DBG_TERM_OFF: m.setTermination(selectedCuaId, false); break;
    case ID_DBG_RECONN:
        if (Sensors::QCANDevice* device = m.getQCANDeviceByID(selectedCuaId)) {
            device->setReconn(true);
            device->Disconnect(QCAN_DISCONNECT_LATER);
        }
        break;
    case ID_DBG_TXLOG:
        if (Sensors::QCANDevice* device = m.getQCANDeviceByID(selectedCuaId))
            device->setTxLoggerEnabled(txLog->GetValue());
        break;
    case ID_DBG_DSM500:
        sendStd(0x000, false, {0x01, 0x3C, 0, 0, 0, 0, 0, 0});
        sendStd(0x000, false, {0x01, 0x45, 0, 0, 0, 0, 0, 0});
        sendStd(0x63C, false, {0x2F, 0x02, 0x20, 0, 0, 0, 0, 0});
        break;
    case ID_DBG_STEELWRIST: sendStd(0x18EEFF00, true, {0x00, 0xEE, 0x00}); break;
    default: break;
    }
}

void QCANMonitor::onBenchmarkExt(wxCommandEvent&)
{
    if (benchExt->GetValue()) {
        print(wxT(" Test EXT times\n"));
        {
            wxMutexLocker guard(lock);
            clearRings();
        }
        manager().registerParser(kBenchmarkParser, &QCANMonitor::handleExtTimeMsg);
    } else {
        manager().unregisterParser(kBenchmarkParser);
    }
}

void QCANMonitor::onDT500(wxCommandEvent&)
{
    if (selectedCuaId < 0)
        return;
    sendStd(0x2F, false, {static_cast<uint8_t>(dt500On ? 0 : 1)});
    dt500On = !dt500On;
    dt500Button->SetLabel(dt500On ? wxT("Stop DT500") : wxT("Start DT500"));
}

int QCANMonitor::g1SensorId()
{
    const wxString text = g1Id->GetValue();
    long id = 0;
    if (!text.ToLong(&id, 10) || id < 1 || id > 127) {
        wxMessageBox(wxString::Format(wxT("'%s' is not valid G1 sensor ID!"), text), wxT("Incorrect sensor id"),
                     wxOK | wxICON_ERROR, this);
        return 0;
    }
    if (!manager().getTiltSensorG1(static_cast<unsigned char>(id), selectedCuaId).isSensorOk()) {
        wxMessageBox(wxString::Format(wxT("Sensor '%i' is not ok!"), static_cast<int>(id)), wxT("Incorrect sensor id"),
                     wxOK | wxICON_ERROR, this);
        return 0;
    }
    return static_cast<int>(id);
}

void QCANMonitor::onG1Read(wxCommandEvent&)
{
    if (selectedCuaId < 0 || g1Timer.IsRunning())
        return;
    g1ReadId = g1SensorId();
    if (!g1ReadId)
        return;
    g1Cell = -1;
    nextG1Cell();
}

// The cells are read one after the other. Each answer comes back through the receive path; the
// GUI thread looks for it on a short timer instead of waiting, so the window stays live.
void QCANMonitor::nextG1Cell()
{
    if (++g1Cell >= kG1MatrixCells) {
        g1Timer.Stop();
        return;
    }
    manager().getTiltSensorG1(static_cast<unsigned char>(g1ReadId), selectedCuaId)
        .SendEndMatrixRead(static_cast<unsigned char>(g1Cell), false);
    g1Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kG1CellWaitMs);
    if (!g1Timer.IsRunning())
        g1Timer.Start(kG1PollMs);
}

void QCANMonitor::onG1Step(wxTimerEvent&)
{
    Sensors::TiltSensorG1 sensor = manager().getTiltSensorG1(static_cast<unsigned char>(g1ReadId), selectedCuaId);
    const bool read = sensor.getRotationMatrix().first == g1Cell;
    if (!read && std::chrono::steady_clock::now() < g1Deadline)
        return;
    if (read)
        print(wxString::Format(wxT("Cell[%i], Value:[%i]\n"), g1Cell, sensor.getRotationMatrix().second));
    else
        print(wxString::Format(wxT("Could not read cell %i value, error count: %i\n"), g1Cell,
                               static_cast<int>(sensor.GetErrorCount())));
    nextG1Cell();
}

bool QCANMonitor::firSelection(bool& slow, bool& fast)
{
    slow = firSlow->GetValue();
    fast = firFast->GetValue();
    if (!slow && !fast) {
        wxMessageBox(wxT("Select Slow, Fast or both filters"), wxT("Incorrect filter selection"), wxOK | wxICON_ERROR, this);
        return false;
    }
    return true;
}

void QCANMonitor::onFirRead(wxCommandEvent&)
{
    if (selectedCuaId < 0)
        return;
    bool slow, fast;
    if (!firSelection(slow, fast))
        return;
    const int id = g1SensorId();
    if (!id)
        return;
    Sensors::TiltSensorG1 sensor = manager().getTiltSensorG1(static_cast<unsigned char>(id), selectedCuaId);
    if (slow)
        sensor.sendSlowFirlFilterRead(true);
    if (fast)
        sensor.sendFastFirlFilterRead(true);
}

void QCANMonitor::onFirWrite(wxCommandEvent&)
{
    if (selectedCuaId < 0)
        return;
    bool slow, fast;
    if (!firSelection(slow, fast))
        return;
    long slowLen = 0, fastLen = 0;
    if (slow && (!firSlowLen->GetValue().ToLong(&slowLen, 10) || slowLen < 1 || slowLen > 254)) {
        wxMessageBox(wxString::Format(wxT("'%s' is not valid FIR setting!"), firSlowLen->GetValue()),
                     wxT("Incorrect slow FIR setting"), wxOK | wxICON_ERROR, this);
        return;
    }
    if (fast && (!firFastLen->GetValue().ToLong(&fastLen, 10) || fastLen < 1 || fastLen > 254)) {
        wxMessageBox(wxString::Format(wxT("'%s' is not valid FIR setting!"), firFastLen->GetValue()),
                     wxT("Incorrect fast FIR setting"), wxOK | wxICON_ERROR, this);
        return;
    }
    const int id = g1SensorId();
    if (!id)
        return;
    Sensors::TiltSensorG1 sensor = manager().getTiltSensorG1(static_cast<unsigned char>(id), selectedCuaId);
    if (slow)
        sensor.setSlowFirFilterLength(static_cast<unsigned char>(slowLen), true);
    if (fast)
        sensor.setFastFirFilterLength(static_cast<unsigned char>(fastLen), true);
}
