// The diagnostics frame on a dummy adapter reached through the adapter library, driven by the
// events its controls send when service staff use them; its refresh timer runs for real.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/listbox.h>
#include <wx/listctrl.h>
#include <wx/modalhook.h>
#include <wx/msgdlg.h>
#include <wx/notebook.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/tglbtn.h>
#include <wx/utils.h>

#include "Clock.h"
#include "ConfigurationFolder.h"
#include "QCANMonitor.h"
#include "SensorManager.h"
#include "TestAdapter.h"

using Sensors::Clock;
using Sensors::SensorManager;

namespace {

uint32_t makerId(uint32_t msg, uint32_t cmd, uint32_t devType, uint32_t devNumber)
{
    return (msg << 21) | (cmd << 18) | (devType << 8) | devNumber;
}

const std::vector<uint8_t> kTiltData = {100, 0, 0xFE, 0xFF, 0x2C, 0x01, 0x00, 0x80};

// Lets the frame's timer and the toolkit run for `ms` of real time.
void runFor(int ms)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        wxTheApp->Yield(true);
        wxMilliSleep(5);
    }
}

// Lets the frame run until `done` holds (its capture is drained every fourth tick), 3 s at most.
template <class F>
bool runUntil(F done)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!done() && std::chrono::steady_clock::now() < until)
        runFor(20);
    return done();
}

// Message boxes answered at once, their texts and captions kept.
class MessageBoxes : public wxModalDialogHook {
public:
    MessageBoxes() { Register(); }
    ~MessageBoxes() override { Unregister(); }
    std::vector<std::pair<std::string, std::string>> shown;  // message, caption

protected:
    int Enter(wxDialog* dialog) override
    {
        if (auto* box = dynamic_cast<wxMessageDialogBase*>(dialog)) {
            shown.emplace_back(box->GetMessage().utf8_string(), box->GetTitle().utf8_string());
            return wxID_OK;
        }
        return wxID_NONE;
    }
    void Exit(wxDialog*) override {}
};

// The frame with the controls its pages hold.
class Monitor {
public:
    Monitor() : frame(new QCANMonitor(nullptr, -1)) { runFor(150); }
    ~Monitor()
    {
        if (frame)
            close();
    }
    template <class T>
    T* get(long id)
    {
        T* w = dynamic_cast<T*>(frame->FindWindow(id));
        EXPECT_NE(w, nullptr) << "control " << id;
        return w;
    }
    wxString text(long id) { return get<wxWindow>(id)->GetLabel(); }
    void press(long id)
    {
        wxWindow* w = get<wxWindow>(id);
        wxCommandEvent event(wxEVT_BUTTON, w->GetId());
        event.SetEventObject(w);
        w->GetEventHandler()->ProcessEvent(event);
    }
    void toggle(long id)
    {
        auto* t = get<wxToggleButton>(id);
        t->SetValue(!t->GetValue());
        wxCommandEvent event(wxEVT_TOGGLEBUTTON, t->GetId());
        event.SetEventObject(t);
        event.SetInt(t->GetValue());
        t->GetEventHandler()->ProcessEvent(event);
    }
    void check(long id, bool on)
    {
        auto* c = get<wxCheckBox>(id);
        c->SetValue(on);
        wxCommandEvent event(wxEVT_CHECKBOX, c->GetId());
        event.SetEventObject(c);
        event.SetInt(on);
        c->GetEventHandler()->ProcessEvent(event);
    }
    void choose(long id, int index)
    {
        auto* c = get<wxChoice>(id);
        c->SetSelection(index);
        wxCommandEvent event(wxEVT_CHOICE, c->GetId());
        event.SetEventObject(c);
        event.SetInt(index);
        c->GetEventHandler()->ProcessEvent(event);
    }
    void type(long id, const wxString& value) { get<wxTextCtrl>(id)->SetValue(value); }
    void spin(long id, int value) { get<wxSpinCtrl>(id)->SetValue(value); }
    // Marks the row of the adapter in the list and presses "Select".
    void select(const wxString& name)
    {
        press(QCANMonitor::ID_MGR_REFRESH);
        auto* list = get<wxListCtrl>(QCANMonitor::ID_DEVICE_LIST);
        const long row = list->FindItem(-1, name);
        ASSERT_GE(row, 0) << name;
        list->SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
        press(QCANMonitor::ID_MGR_SELECT);
    }
    void page(int index)
    {
        auto* notebook = get<wxNotebook>(QCANMonitor::ID_NOTEBOOK);
        while (notebook->GetSelection() < index)
            press(QCANMonitor::ID_NEXT);
        while (notebook->GetSelection() > index)
            press(QCANMonitor::ID_PREV);
    }
    void close()
    {
        press(QCANMonitor::ID_CLOSE);
        frame = nullptr;
        runFor(50);  // the frame is destroyed when the loop is idle
    }
    QCANMonitor* frame;
};

}  // namespace

TEST(QCANMonitorTest, PagesAdapterListAndDevicePage)
{
    Monitor m;
    EXPECT_EQ(m.frame->GetTitle(), "QCAN Diagnostics (View Only)");
    auto* notebook = m.get<wxNotebook>(QCANMonitor::ID_NOTEBOOK);
    std::string pages;
    for (size_t i = 0; i < notebook->GetPageCount(); ++i)
        pages += notebook->GetPageText(i).utf8_string() + ",";
    EXPECT_EQ(pages, "Manager,Device,Sensors,Capture,Send,Events,Log,Debug,");
    m.press(QCANMonitor::ID_PREV);
    EXPECT_EQ(notebook->GetSelection(), 0);  // not past the first page

    // No adapter: the list waits, with two, five or eight dots in turn.
    std::set<std::string> seen;
    for (int i = 0; i < 8; ++i) {
        runFor(120);
        const std::string row = m.get<wxListCtrl>(QCANMonitor::ID_DEVICE_LIST)->GetItemText(0).utf8_string();
        EXPECT_TRUE(row == "Waiting for devices.." || row == "Waiting for devices....." ||
                    row == "Waiting for devices........")
            << row;
        seen.insert(row);
    }
    EXPECT_GE(seen.size(), 2u);
    EXPECT_EQ(m.text(QCANMonitor::ID_MGR_SELECTED), "No CUA Adapter selected");
    EXPECT_EQ(m.text(QCANMonitor::ID_MGR_THREAD), "Stopped");
    EXPECT_EQ(m.text(QCANMonitor::ID_MGR_ENABLED), SensorManager::getInstance()->isEnabled() ? "Enabled" : "Disabled");

    TestAdapter a("DUMMY1", 1);
    ASSERT_TRUE(a.connect());
    m.select("DUMMY1");
    EXPECT_EQ(m.frame->getSelectedCuaId(), 1);
    runFor(120);
    EXPECT_EQ(m.text(QCANMonitor::ID_MGR_SELECTED), "CUA #1 " + a.device()->getStatusString());
    EXPECT_EQ(m.text(QCANMonitor::ID_MGR_CONNECTED), "1");

    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(a.receive(0x7F0, false, {1, 2}));
    m.page(1);
    runFor(150);
    const QCANReceived received = a.device()->GetReceived();
    EXPECT_EQ(m.text(QCANMonitor::ID_DEV_FIRST + 0), "DUMMY1");
    EXPECT_EQ(m.text(QCANMonitor::ID_DEV_FIRST + 9), wxString::Format("%d", received.rxTotal));   // Total RX
    EXPECT_EQ(received.rxTotal, 3);
    EXPECT_EQ(m.text(QCANMonitor::ID_DEV_FIRST + 10), wxString::Format("%d", received.rxParsed));  // Handled RX
    EXPECT_EQ(m.text(QCANMonitor::ID_DEV_FIRST + 19), "250 kbit/s");
    EXPECT_EQ(m.text(QCANMonitor::ID_DEV_FIRST + 20), "| ON | OFF");  // power on, termination off

    // The baud button steps through its rates.
    std::string bauds = m.text(QCANMonitor::ID_MGR_BAUD).utf8_string();
    for (int i = 0; i < 3; ++i) {
        m.press(QCANMonitor::ID_MGR_BAUD);
        bauds += "," + m.text(QCANMonitor::ID_MGR_BAUD).utf8_string();
    }
    EXPECT_EQ(bauds, "250K,500K,125K,250K");
}

TEST(QCANMonitorTest, SensorsPageRowsWithTheirAges)
{
    TestAdapter a("DUMMY1", 1);
    ASSERT_TRUE(a.connect());
    Monitor m;
    m.select("DUMMY1");
    ASSERT_TRUE(a.receive(makerId(3, 0, 16, 101), true, kTiltData));
    const unsigned long long seen = Clock::wallMs();
    Clock::advance(1500);
    m.page(2);
    runFor(150);
    auto* list = m.get<wxListCtrl>(QCANMonitor::ID_SENSOR_LIST);
    ASSERT_EQ(list->GetItemCount(), 1);
    EXPECT_EQ(m.text(QCANMonitor::ID_SENSOR_TOTAL), "Total Sensors : 1");
    EXPECT_EQ(list->GetItemText(0, 0), "101");
    EXPECT_EQ(list->GetItemText(0, 1), "16");
    Sensors::_SensorInfo info;
    ASSERT_TRUE(SensorManager::getInstance()->getSensorInfo(1, 0, &info));
    EXPECT_EQ(list->GetItemText(0, 2), wxString::Format("%u", unsigned(Clock::wallMs() - info.lastMessageTime)));
    EXPECT_GE(Clock::wallMs() - info.lastMessageTime, Clock::wallMs() - seen);
    EXPECT_EQ(list->GetItemText(0, 3), "0");
    EXPECT_EQ(list->GetItemText(0, 4), "G1 (Bucket sensor)");
    // Older than a second, younger than two: the late tint, not the fresh one.
    const wxColour late = list->GetItemBackgroundColour(0);
    Clock::advance(10000);
    runFor(150);
    EXPECT_NE(list->GetItemBackgroundColour(0), late);

    // The offset hides the first row.
    m.spin(QCANMonitor::ID_SENSOR_OFFSET, 1);
    runFor(150);
    EXPECT_EQ(list->GetItemCount(), 0);
}

TEST(QCANMonitorTest, CaptureLinesWithParseAndFilter)
{
    TestAdapter a("DUMMY1", 1);
    TestAdapter b("DUMMY2", 2);
    ASSERT_TRUE(a.connect());
    ASSERT_TRUE(b.connect());
    Monitor m;
    m.select("DUMMY1");
    m.page(3);
    m.toggle(QCANMonitor::ID_CAP_CAPTURE);
    EXPECT_GE(m.frame->getCaptureParserId(), 0);

    const unsigned t1 = unsigned(Clock::wallMs());
    ASSERT_TRUE(a.receive(0x123, false, {0xAB, 0x01}));
    const unsigned t2 = unsigned(Clock::wallMs());
    ASSERT_TRUE(a.receive(makerId(3, 1, 16, 101) | 0x80u, true, {0x0F}, false));
    const unsigned t3 = unsigned(Clock::wallMs());
    ASSERT_TRUE(a.receive(0x7FF, false, {}, true));
    auto* list = m.get<wxListBox>(QCANMonitor::ID_CAP_LIST);
    ASSERT_TRUE(runUntil([&] { return list->GetCount() >= 3u; }));
    ASSERT_EQ(list->GetCount(), 3u);
    EXPECT_EQ(list->GetString(0), wxString::Format("%u 1 SID 0123 DLC2 : AB01", t1));
    EXPECT_EQ(list->GetString(1), wxString::Format("%u 1 EID 0x%X DLC1 : 0F", t2, makerId(3, 1, 16, 101) | 0x80u));
    EXPECT_EQ(list->GetString(2), wxString::Format("%u 1 SID 07FF RTR DLC0 : ", t3));
    EXPECT_EQ(m.text(QCANMonitor::ID_CAP_COUNT), "3 Frames");

    m.check(QCANMonitor::ID_CAP_PARSE, true);
    const unsigned t4 = unsigned(Clock::wallMs());
    ASSERT_TRUE(a.receive(makerId(3, 1, 16, 101) | 0x80u, true, {0x0F, 0x10}));
    ASSERT_TRUE(runUntil([&] { return list->GetCount() >= 4u; }));
    ASSERT_EQ(list->GetCount(), 4u);
    EXPECT_EQ(list->GetString(3), wxString::Format("%u 1 DEV:16 DEV# 101 CMD 1 MSG 3 ERR  DLC 2 0F10", t4));

    // Filter: frames of another adapter are left out (the capture parser sees only its adapter's
    // frames, so the other adapter's frame is queued by hand as a receive thread would).
    m.check(QCANMonitor::ID_CAP_FILTER, true);
    m.check(QCANMonitor::ID_CAP_PARSE, false);
    RxCANFrameT other = {};
    other.cuaId = 2;
    other.frame.header.id = 0x55;
    other.frame.header.dlc = 1;
    QCANMonitor::handleMsg(&other, b.device(), m.frame);
    const unsigned t5 = unsigned(Clock::wallMs());
    ASSERT_TRUE(a.receive(0x56, false, {7}));
    ASSERT_TRUE(runUntil([&] { return list->GetCount() >= 5u; }));
    ASSERT_EQ(list->GetCount(), 5u);
    EXPECT_EQ(list->GetString(4), wxString::Format("%u 1 SID 056 DLC1 : 07", t5));
    m.check(QCANMonitor::ID_CAP_FILTER, false);
    other.time = 77;
    QCANMonitor::handleMsg(&other, b.device(), m.frame);
    ASSERT_TRUE(runUntil([&] { return list->GetCount() >= 6u; }));
    ASSERT_EQ(list->GetCount(), 6u);
    EXPECT_EQ(list->GetString(5), "77 2 SID 055 DLC1 : 00");

    m.press(QCANMonitor::ID_CAP_CLEAR);
    EXPECT_EQ(list->GetCount(), 0u);
    EXPECT_EQ(m.text(QCANMonitor::ID_CAP_COUNT), "0 Frames");
    m.toggle(QCANMonitor::ID_CAP_CAPTURE);
    EXPECT_EQ(m.frame->getCaptureParserId(), -1);
    ASSERT_TRUE(a.receive(0x124, false, {1}));
    runFor(500);
    EXPECT_EQ(list->GetCount(), 0u);  // capture off: nothing more
}

TEST(QCANMonitorTest, SendersPutFramesOnTheBusAndRefuseBadInput)
{
    TestAdapter a("DUMMY1", 1);
    ASSERT_TRUE(a.connect());
    Monitor m;
    m.select("DUMMY1");
    m.page(4);
    a.clearSent();
    const int tick = int(SensorManager::getTickCount());

    m.type(QCANMonitor::ID_STD_DATA, "0011");
    m.press(QCANMonitor::ID_STD_SEND);
    EXPECT_EQ(m.text(QCANMonitor::ID_STD_RETURN), wxString::Format("%d Need more data 4 / 16", tick));
    m.spin(QCANMonitor::ID_STD_DLC, 2);
    m.type(QCANMonitor::ID_STD_ID, "12x");
    m.press(QCANMonitor::ID_STD_SEND);
    EXPECT_EQ(m.text(QCANMonitor::ID_STD_RETURN), wxString::Format("%d Bad CANID 12x", tick));
    EXPECT_TRUE(a.sentFrames().empty());

    m.type(QCANMonitor::ID_STD_ID, "0x18FF0001");
    m.toggle(QCANMonitor::ID_STD_EXT);
    EXPECT_EQ(m.text(QCANMonitor::ID_STD_EXT), "Ext ID");
    m.press(QCANMonitor::ID_STD_SEND);
    EXPECT_TRUE(m.text(QCANMonitor::ID_STD_RETURN).StartsWith(wxString::Format("%d Sent generic msg , return code ", tick)));
    m.toggle(QCANMonitor::ID_STD_EXT);
    m.toggle(QCANMonitor::ID_STD_RTR);
    EXPECT_EQ(m.text(QCANMonitor::ID_STD_RTR), "RTR On");
    m.type(QCANMonitor::ID_STD_ID, "291");  // decimal
    m.press(QCANMonitor::ID_STD_SEND);

    m.choose(QCANMonitor::ID_Q_TYPE, 4);
    m.type(QCANMonitor::ID_Q_OTHER, "x7");
    m.press(QCANMonitor::ID_Q_SEND);
    EXPECT_EQ(m.text(QCANMonitor::ID_Q_RETURN), wxString::Format("%d Bad devicetype number x7", tick));
    m.choose(QCANMonitor::ID_Q_TYPE, 3);  // KM7 (68)
    m.choose(QCANMonitor::ID_Q_NUMBER, 5);
    m.choose(QCANMonitor::ID_Q_MSG, 200);
    m.choose(QCANMonitor::ID_Q_CMD, 2);
    m.spin(QCANMonitor::ID_Q_DLC, 3);
    m.type(QCANMonitor::ID_Q_DATA, "A1B2C3");
    m.press(QCANMonitor::ID_Q_SEND);
    EXPECT_TRUE(m.text(QCANMonitor::ID_Q_RETURN).StartsWith(wxString::Format("%d Sent msg , return code ", tick)));

    const auto sent = a.sentFrames();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].header.id, 0x18FF0001u);
    EXPECT_EQ(sent[0].header.ext, 1);
    EXPECT_EQ(sent[0].header.dlc, 2);
    EXPECT_EQ(sent[0].data[0], 0x00);
    EXPECT_EQ(sent[0].data[1], 0x11);
    EXPECT_EQ(sent[1].header.id, 291u);
    EXPECT_EQ(sent[1].header.ext, 0);
    EXPECT_EQ(sent[1].header.rtr, 1);
    EXPECT_EQ(sent[2].header.id, makerId(200, 2, 68, 5));
    EXPECT_EQ(sent[2].header.ext, 1);
    EXPECT_EQ(sent[2].header.dlc, 3);
    EXPECT_EQ(sent[2].data[2], 0xC3);
}

TEST(QCANMonitorTest, LoggerFromTheLogPageAndItsRefusals)
{
    TestAdapter a("DUMMY1", 1);
    ASSERT_TRUE(a.connect());
    ConfigurationFolder folder;
    Monitor m;
    m.select("DUMMY1");
    m.page(6);
    MessageBoxes boxes;
    const std::string file = folder.appData() + "/bus.log";

    m.type(QCANMonitor::ID_LOG_FILE, file);
    m.choose(QCANMonitor::ID_LOG_DATA, 1);  // Dec under a Hex id, with the header
    m.press(QCANMonitor::ID_LOG_ADD);
    m.choose(QCANMonitor::ID_LOG_ID, 2);    // Quillard ids under the "All" rule
    m.choose(QCANMonitor::ID_LOG_DATA, 2);
    m.press(QCANMonitor::ID_LOG_ADD);
    m.choose(QCANMonitor::ID_LOG_ID, 0);
    m.choose(QCANMonitor::ID_LOG_DATA, 0);
    for (const char* bad : {"", "relative/bus.log", "/tmp/a>b.log", "/tmp/<b.log"}) {
        m.type(QCANMonitor::ID_LOG_FILE, bad);
        m.press(QCANMonitor::ID_LOG_ADD);
    }
    ASSERT_EQ(boxes.shown.size(), 6u);
    EXPECT_EQ(boxes.shown[0], std::make_pair(std::string("ID and Data must have same formating when using headers!"),
                                             std::string("Cannot create datalogger")));
    EXPECT_EQ(boxes.shown[1], std::make_pair(std::string("Quillard ID Formating must have Extended CAN ID Rule!"),
                                             std::string("Cannot create datalogger")));
    for (int i = 2; i < 6; ++i)
        EXPECT_EQ(boxes.shown[i], std::make_pair(std::string("Bad logfile path!"), std::string("Cannot create filter")));
    EXPECT_TRUE(m.frame->getLoggers().empty());

    m.type(QCANMonitor::ID_LOG_FILE, file);
    m.press(QCANMonitor::ID_LOG_ADD);
    ASSERT_EQ(m.frame->getLoggers().size(), 1u);
    auto* list = m.get<wxListBox>(QCANMonitor::ID_LOG_LIST);
    ASSERT_EQ(list->GetCount(), 1u);
    EXPECT_EQ(list->GetString(0), "1 bus.log");
    ASSERT_TRUE(a.receive(0x1F5, false, {1, 2}));
    m.press(QCANMonitor::ID_LOG_REMOVE_ALL);  // the logger writes its last lines as it ends
    EXPECT_EQ(list->GetCount(), 0u);
    EXPECT_EQ(boxes.shown.size(), 6u);
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("***BUSMASTER Ver 1.8.0***"), std::string::npos);
    EXPECT_NE(text.str().find(" Rx 1 0x1F5 s 2 01 02"), std::string::npos) << text.str();
}

TEST(QCANMonitorTest, DebugActionsPutTheirFramesOnTheBus)
{
    TestAdapter a("DUMMY1", 1);
    ASSERT_TRUE(a.connect());
    Monitor m;
    m.page(7);
    m.press(QCANMonitor::ID_DBG_DSM500);  // nothing selected: nothing sent
    EXPECT_TRUE(a.sentFrames().empty());
    m.select("DUMMY1");
    m.page(7);
    a.clearSent();
    m.press(QCANMonitor::ID_DBG_DSM500);
    m.press(QCANMonitor::ID_DBG_STEELWRIST);
    m.press(QCANMonitor::ID_DBG_DT500);
    EXPECT_EQ(m.text(QCANMonitor::ID_DBG_DT500), "Stop DT500");
    m.press(QCANMonitor::ID_DBG_DT500);
    EXPECT_EQ(m.text(QCANMonitor::ID_DBG_DT500), "Start DT500");
    const auto sent = a.sentFrames();
    ASSERT_EQ(sent.size(), 6u);
    const struct { uint32_t id; int ext; int dlc; std::vector<uint8_t> data; } expected[] = {
        {0x000, 0, 8, {0x01, 0x3C, 0, 0, 0, 0, 0, 0}}, {0x000, 0, 8, {0x01, 0x45, 0, 0, 0, 0, 0, 0}},
        {0x63C, 0, 8, {0x2F, 0x02, 0x20, 0, 0, 0, 0, 0}}, {0x18EEFF00, 1, 3, {0x00, 0xEE, 0x00}},
        {0x2F, 0, 1, {1}}, {0x2F, 0, 1, {0}}};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(sent[i].header.id, expected[i].id) << i;
        EXPECT_EQ(sent[i].header.ext, expected[i].ext) << i;
        ASSERT_EQ(sent[i].header.dlc, expected[i].dlc) << i;
        EXPECT_EQ(std::vector<uint8_t>(sent[i].data, sent[i].data + expected[i].dlc), expected[i].data) << i;
    }

    // The G1 and FIR actions refuse what they cannot use.
    MessageBoxes boxes;
    m.type(QCANMonitor::ID_DBG_G1_ID, "128");
    m.press(QCANMonitor::ID_DBG_G1_READ);
    m.type(QCANMonitor::ID_DBG_G1_ID, "101");
    m.press(QCANMonitor::ID_DBG_G1_READ);  // no such sensor on the bus
    m.press(QCANMonitor::ID_DBG_FIR_R);
    m.check(QCANMonitor::ID_DBG_FIR_SLOW, true);
    m.press(QCANMonitor::ID_DBG_FIR_W);  // the default 255 is one too many
    m.check(QCANMonitor::ID_DBG_FIR_SLOW, false);
    m.check(QCANMonitor::ID_DBG_FIR_FAST, true);
    m.type(QCANMonitor::ID_DBG_FIR_FAST_LEN, "0");
    m.press(QCANMonitor::ID_DBG_FIR_W);
    using P = std::pair<std::string, std::string>;
    const std::vector<P> want = {P("'128' is not valid G1 sensor ID!", "Incorrect sensor id"),
                                 P("Sensor '101' is not ok!", "Incorrect sensor id"),
                                 P("Select Slow, Fast or both filters", "Incorrect filter selection"),
                                 P("'255' is not valid FIR setting!", "Incorrect slow FIR setting"),
                                 P("'0' is not valid FIR setting!", "Incorrect fast FIR setting")};
    EXPECT_EQ(boxes.shown, want);

    // A FIR write to a live G1 sensor goes out.
    ASSERT_TRUE(a.receive(makerId(3, 0, 16, 101), true, kTiltData));
    a.clearSent();
    m.type(QCANMonitor::ID_DBG_FIR_FAST_LEN, "16");
    m.press(QCANMonitor::ID_DBG_FIR_W);
    EXPECT_EQ(boxes.shown.size(), want.size());
    const auto fir = a.sentFrames();
    ASSERT_EQ(fir.size(), 1u);
    EXPECT_EQ(fir[0].header.id & 0x7Fu, 101u);
    EXPECT_EQ((fir[0].header.id >> 8) & 0x7Fu, 16u);
}

TEST(QCANMonitorTest, ClosingRemovesTheCaptureAndBenchmarkParsers)
{
    TestAdapter a("DUMMY1", 1);
    ASSERT_TRUE(a.connect());
    SensorManager* manager = SensorManager::getInstance();
    {
        // Closed while capturing: frames that arrive afterwards reach no window (AddressSanitizer
        // would report a callback into the destroyed frame).
        Monitor m;
        m.select("DUMMY1");
        m.toggle(QCANMonitor::ID_CAP_CAPTURE);
        ASSERT_GE(m.frame->getCaptureParserId(), 0);
        m.close();
        ASSERT_TRUE(a.receive(0x7F1, false, {1}));
    }
    Monitor m;
    m.toggle(QCANMonitor::ID_DBG_BENCH_EXT);
    EXPECT_TRUE(manager->useExternalParsers());
    EXPECT_TRUE(m.frame->isCaptureTarget());
    m.close();
    EXPECT_FALSE(manager->useExternalParsers());
}

TEST(QCANMonitorTest, BenchmarkRingsShowTheDelays)
{
    TestAdapter a("DUMMY1", 1);
    ASSERT_TRUE(a.connect());
    SensorManager* manager = SensorManager::getInstance();
    Monitor m;
    m.toggle(QCANMonitor::ID_DBG_BENCH_EXT);
    runFor(150);
    EXPECT_EQ(m.text(QCANMonitor::ID_DBG_BENCH_EXT_TEXT), "avg 0.000 ms max 0 ms(0 frames)");
    RxCANFrameT frame = {};
    frame.time = Clock::wallMs() - 4;
    QCANMonitor::handleExtTimeMsg(&frame, nullptr);  // as the manager's thread calls it
    frame.time = Clock::wallMs() - 7;
    QCANMonitor::handleExtTimeMsg(&frame, nullptr);
    runFor(150);
    EXPECT_EQ(m.text(QCANMonitor::ID_DBG_BENCH_EXT_TEXT), "avg 5.500 ms max 7 ms(2 frames)");
    EXPECT_EQ(m.text(QCANMonitor::ID_DBG_BENCH_FILTER_TEXT), "avg 0.000 ms max 0 ms(0 frames)");
    m.toggle(QCANMonitor::ID_DBG_BENCH_EXT);
    EXPECT_FALSE(manager->useExternalParsers());
}
