#pragma once

// The diagnostics frame for service staff and developers: the manager, the adapters and their
// sensors, a raw frame capture, two hand senders, the BUSMASTER loggers of an adapter and a page of
// developer actions. Everything goes through the manager and the adapter objects; the frame owns
// only its loggers, its capture queue and its benchmark rings.
//
// Threads: the frame lives on the GUI thread. handleMsg and the benchmark callbacks run on the
// receive threads; they take only the frame registry's lock and the frame's own mutex, and touch
// only the capture queue and the rings. Neither lock is ever held by the GUI thread across a call
// into the manager or an adapter, so a receive thread never waits for the GUI.

#include <chrono>
#include <deque>
#include <memory>
#include <vector>

#include <wx/frame.h>
#include <wx/snglinst.h>
#include <wx/thread.h>
#include <wx/timer.h>

#include "CANFrameTypes.h"
#include "QCANDeviceTypes.h"
#include "RefreshTiming.h"

class wxNotebook;
class wxListCtrl;
class wxListBox;
class wxStaticText;
class wxButton;
class wxToggleButton;
class wxCheckBox;
class wxTextCtrl;
class wxChoice;
class wxSpinCtrl;
class wxListEvent;

namespace Sensors {
class DataLogging;
}

class QCANMonitor : public wxFrame {
public:
    // The process-wide frame, created with `parent` on the first call.
    static QCANMonitor* getInstance(wxWindow* parent);

    QCANMonitor(wxWindow* parent, wxWindowID id = -1, const wxPoint& pos = wxDefaultPosition,
                const wxSize& size = wxDefaultSize);
    ~QCANMonitor() override;

    // The capture callback, an external parser of the selected adapter (context: the frame).
    static PARSE_RESULT handleMsg(void* frame, void* device, void* context);
    // The benchmark callbacks, named parsers of the manager (no context: the capture target).
    static bool handleExtTimeMsg(void* frame, void* context);
    static bool handleFilterTimeMsg(void* frame, void* context);

    // Switches the frame to view-only: adapters are connected by the host, never from here.
    void setViewOnly();
    bool isViewOnly() const { return viewOnly; }
    int getSelectedCuaId() const { return selectedCuaId; }
    int getCaptureParserId() const { return captureParserId; }
    const std::vector<Sensors::DataLogging*>& getLoggers() const { return loggers; }
    // Whether this frame is the one the benchmark callbacks feed.
    bool isCaptureTarget() const;
    // What the refresh ticks cost the GUI thread so far, per phase; for the endurance run.
    enum { PHASE_TICK, PHASE_MANAGER, PHASE_DEVICE, PHASE_SENSORS, PHASE_CAPTURE, PHASE_LOCK };
    const RefreshTiming& getRefreshTiming() const { return timing; }

    static constexpr int RING_SIZE = 100;

    // Control ids, stable so that scripts and tests find the controls.
    enum {
        ID_NOTEBOOK = wxID_HIGHEST + 500,
        ID_PREV, ID_NEXT, ID_QCAN, ID_CLOSE, ID_ENABLE_CUA, ID_STATUS,
        // Manager
        ID_MGR_ENABLED, ID_MGR_THREAD, ID_MGR_CONNECTED, ID_MGR_AVAILABLE, ID_MGR_SELECTED, ID_DEVICE_LIST,
        ID_MGR_REFRESH, ID_MGR_SELECT, ID_MGR_CONNECT, ID_MGR_DISCONNECT, ID_MGR_POWER, ID_MGR_BAUD,
        // Device: one value text per label, in label order
        ID_DEV_FIRST,
        ID_DEV_LAST = ID_DEV_FIRST + 40,
        // Sensors
        ID_SENSOR_LIST, ID_SENSOR_TOTAL, ID_SENSOR_OFFSET, ID_SENSOR_AUTO, ID_SENSOR_DELETE,
        // Capture
        ID_CAP_CAPTURE, ID_CAP_PARSE, ID_CAP_CLEAR, ID_CAP_FILTER, ID_CAP_LIST, ID_CAP_COUNT,
        // Send, standard header
        ID_STD_ID, ID_STD_EXT, ID_STD_RTR, ID_STD_DLC, ID_STD_DATA, ID_STD_SEND, ID_STD_RETURN,
        // Send, maker header
        ID_Q_TYPE, ID_Q_OTHER, ID_Q_NUMBER, ID_Q_MSG, ID_Q_CMD, ID_Q_DLC, ID_Q_DATA, ID_Q_SEND, ID_Q_RETURN,
        // Events
        ID_EVENTS_TEXT, ID_EVENTS_REFRESH,
        // Log
        ID_LOG_RULE, ID_LOG_TIME, ID_LOG_ID, ID_LOG_DATA, ID_LOG_SEP, ID_LOG_HEADER, ID_LOG_FILE, ID_LOG_SELECT,
        ID_LOG_LIST, ID_LOG_ADD, ID_LOG_REMOVE, ID_LOG_REMOVE_ALL, ID_LOG_REFRESH,
        // Debug
        ID_DBG_DEVLIST, ID_DBG_RXOFF, ID_DBG_RXON, ID_DBG_INFO, ID_DBG_POWER_ON, ID_DBG_POWER_OFF,
        ID_DBG_TERM_ON, ID_DBG_TERM_OFF, ID_DBG_BENCH_EXT, ID_DBG_BENCH_FILTER, ID_DBG_BENCH_EXT_TEXT,
        ID_DBG_BENCH_FILTER_TEXT, ID_DBG_GENERATOR, ID_DBG_DSM500, ID_DBG_STEELWRIST, ID_DBG_RECONN,
        ID_DBG_TXLOG, ID_DBG_DT500, ID_DBG_G1_READ, ID_DBG_G1_ID, ID_DBG_FIR_SLOW, ID_DBG_FIR_SLOW_LEN,
        ID_DBG_FIR_FAST, ID_DBG_FIR_FAST_LEN, ID_DBG_FIR_R, ID_DBG_FIR_W, ID_DBG_REPLAY, ID_DBG_LOOPBACK
    };

    // Labels of the Device page, in the order of their value texts (ID_DEV_FIRST + index).
    static const char* const kDeviceLabels[];
    static const int kDeviceLabelCount;

private:
    void buildManagerPage(wxWindow* page);
    void buildDevicePage(wxWindow* page);
    void buildSensorsPage(wxWindow* page);
    void buildCapturePage(wxWindow* page);
    void buildSendPage(wxWindow* page);
    void buildEventsPage(wxWindow* page);
    void buildLogPage(wxWindow* page);
    void buildDebugPage(wxWindow* page);

    void onTimer(wxTimerEvent& event);
    void onClose(wxCloseEvent& event);
    void refreshManagerPage();
    void rebuildDeviceList();
    void refreshDevicePage();
    void refreshSensorsPage();
    void drainCapture();
    void showBenchmarks();

    // Manager page and the buttons below the notebook
    void onPrev(wxCommandEvent&);
    void onNext(wxCommandEvent&);
    void onQcan(wxCommandEvent&);
    void onCloseButton(wxCommandEvent&);
    void onEnableCua(wxCommandEvent&);
    void onRefreshList(wxCommandEvent&);
    void onSelect(wxCommandEvent&);
    void onListActivated(wxListEvent&);
    void onConnect(wxCommandEvent&);
    void onDisconnect(wxCommandEvent&);
    void onPower(wxCommandEvent&);
    void onBaud(wxCommandEvent&);
    // Sensors, Capture, Send, Events
    void onDeleteSensors(wxCommandEvent&);
    void onCapture(wxCommandEvent&);
    void onClearCapture(wxCommandEvent&);
    void onSendStandard(wxCommandEvent&);
    void onSendMaker(wxCommandEvent&);
    void onMakerType(wxCommandEvent&);
    void onEventsRefresh(wxCommandEvent&);
    // Log
    void onLogSelect(wxCommandEvent&);
    void onAddLogger(wxCommandEvent&);
    void onRemoveLogger(wxCommandEvent&);
    void onRemoveAllLoggers(wxCommandEvent&);
    void onRefreshLoggers(wxCommandEvent&);
    // Debug
    void onDebug(wxCommandEvent&);
    void onBenchmarkExt(wxCommandEvent&);
    void onDT500(wxCommandEvent&);
    void onG1Read(wxCommandEvent&);
    void onG1Step(wxTimerEvent&);
    void nextG1Cell();
    void onFirRead(wxCommandEvent&);
    void onFirWrite(wxCommandEvent&);

    // Both benchmark callbacks: the frame's delay since it was received, into one ring.
    static void recordDelay(void* frame, int ring);
    // Every ring entry to -1 (no delay yet); the caller holds `lock` once the frame is running.
    void clearRings();

    void startCapture();
    void stopCapture();
    // The data field as bytes; false (with the refusal in `ret`) when it holds too few characters.
    bool readData(wxTextCtrl* field, int dlc, unsigned char* out, wxStaticText* ret);
    void sendStd(uint32_t id, bool ext, const std::vector<uint8_t>& data);
    // The G1 sensor id of the Debug page, or 0 after telling the user why not.
    int g1SensorId();
    bool firSelection(bool& slow, bool& fast);

    bool viewOnly = false;
    bool initialised = false;
    int selectedCuaId = -1;
    int captureParserId = -1;
    int refreshPhase = 0;
    int waitTurn = 0;
    bool listWaiting = false;
    bool dt500On = false;
    int baudStep = 0;
    unsigned long long lastRxTotal = 0;
    unsigned long long lastRxTime = 0;
    RefreshTiming timing;

    // Guarded by `lock`: filled on the receive threads, drained by the timer.
    wxMutex lock;
    std::deque<RxCANFrameT*> captureQueue;
    enum { RING_EXT, RING_FILTER };
    int32_t rings[2][RING_SIZE];
    int ringIndex[2] = {0, 0};

    std::vector<Sensors::DataLogging*> loggers;
    std::unique_ptr<wxSingleInstanceChecker> instanceGuard;
    wxTimer timer;
    // The G1 matrix read in progress: sensor, cell, and until when its answer is waited for.
    wxTimer g1Timer;
    int g1ReadId = 0;
    int g1Cell = 0;
    std::chrono::steady_clock::time_point g1Deadline;

    wxNotebook* notebook = nullptr;
    wxToggleButton* enableCua = nullptr;
    wxStaticText* statusText = nullptr;
    wxStaticText* mgrEnabled = nullptr;
    wxStaticText* mgrThread = nullptr;
    wxStaticText* mgrConnected = nullptr;
    wxStaticText* mgrAvailable = nullptr;
    wxStaticText* mgrSelected = nullptr;
    wxListCtrl* deviceList = nullptr;
    wxButton* baudButton = nullptr;
    wxToggleButton* powerButton = nullptr;
    std::vector<wxStaticText*> deviceValues;
    wxListCtrl* sensorList = nullptr;
    wxStaticText* sensorTotal = nullptr;
    wxSpinCtrl* sensorOffset = nullptr;
    wxCheckBox* sensorAuto = nullptr;
    wxToggleButton* captureButton = nullptr;
    wxCheckBox* parseBox = nullptr;
    wxCheckBox* filterBox = nullptr;
    wxListBox* captureList = nullptr;
    wxStaticText* captureCount = nullptr;
    wxTextCtrl* stdId = nullptr;
    wxToggleButton* stdExt = nullptr;
    wxToggleButton* stdRtr = nullptr;
    wxSpinCtrl* stdDlc = nullptr;
    wxTextCtrl* stdData = nullptr;
    wxStaticText* stdReturn = nullptr;
    wxChoice* qType = nullptr;
    wxTextCtrl* qOther = nullptr;
    wxChoice* qNumber = nullptr;
    wxChoice* qMsg = nullptr;
    wxChoice* qCmd = nullptr;
    wxSpinCtrl* qDlc = nullptr;
    wxTextCtrl* qData = nullptr;
    wxStaticText* qReturn = nullptr;
    wxTextCtrl* eventsText = nullptr;
    wxChoice* logRule = nullptr;
    wxChoice* logTime = nullptr;
    wxChoice* logId = nullptr;
    wxChoice* logData = nullptr;
    wxChoice* logSep = nullptr;
    wxCheckBox* logHeader = nullptr;
    wxTextCtrl* logFile = nullptr;
    wxListBox* logList = nullptr;
    wxToggleButton* benchExt = nullptr;
    wxStaticText* benchExtText = nullptr;
    wxStaticText* benchFilterText = nullptr;
    wxCheckBox* txLog = nullptr;
    wxButton* dt500Button = nullptr;
    wxTextCtrl* g1Id = nullptr;
    wxCheckBox* firSlow = nullptr;
    wxCheckBox* firFast = nullptr;
    wxTextCtrl* firSlowLen = nullptr;
    wxTextCtrl* firFastLen = nullptr;
};
