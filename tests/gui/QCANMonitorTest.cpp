// The diagnostics frame on dummy adapters reached through the adapter library, driven by the
// events its controls send when service staff use them; its refresh timer runs for real.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <wx/listctrl.h>
#include <wx/modalhook.h>
#include <wx/msgdlg.h>
#include <wx/notebook.h>

#include "Clock.h"
#include "ConfigurationFolder.h"
#include "FrameText.h"
#include "Frames.h"
#include "GuiLoop.h"
#include "QCANDevice.h"
#include "QCANMonitor.h"
#include "SensorManager.h"
#include "TestAdapter.h"
#include "TextFiles.h"

using Sensors::Clock;
using Sensors::SensorManager;
namespace {

using Q = QCANMonitor;
using Texts = std::vector<std::pair<std::string, std::string>>;  // message box: message, caption

const std::vector<uint8_t> kTiltData = {100, 0, 0xFE, 0xFF, 0x2C, 0x01, 0x00, 0x80};

// Message boxes answered at once, their texts and captions kept.
struct MessageBoxes : wxModalDialogHook {
    MessageBoxes() { Register(); }
    ~MessageBoxes() override { Unregister(); }
    int Enter(wxDialog* dialog) override
    {
        auto* box = dynamic_cast<wxMessageDialogBase*>(dialog);
        if (box)
            shown.emplace_back(box->GetMessage().utf8_string(), box->GetTitle().utf8_string());
        return box ? wxID_OK : wxID_NONE;
    }
    void Exit(wxDialog*) override {}
    Texts shown;
};

class Monitor {
public:
    // Ready once a refresh has filled the Manager page (the first tick only shows the frame).
    Monitor() : frame(new QCANMonitor(nullptr, -1))
    {
        EXPECT_TRUE(runUntil([this] { return text(Q::ID_MGR_THREAD) != "--"; }));
    }
    // Closed with "Close" unless the test closed it; the frame is destroyed when the loop is idle.
    ~Monitor()
    {
        if (frame)
            act({Q::ID_CLOSE});
        runFor(50);
    }
    template <class T>
    T* get(long id) { return control<T>(frame, id); }
    wxString text(long id) { return get<wxWindow>(id)->GetLabel(); }
    void act(std::initializer_list<Act> acts) { ::act(frame, acts); }
    // Marks the row of the adapter in the list and presses "Select".
    void select(const wxString& name)
    {
        act({Q::ID_MGR_REFRESH});
        auto* list = get<wxListCtrl>(Q::ID_DEVICE_LIST);
        const long row = list->FindItem(-1, name);
        ASSERT_GE(row, 0) << name;
        list->SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
        act({Q::ID_MGR_SELECT});
    }
    // Steps there with "<" and ">".
    void page(int index)
    {
        for (auto* notebook = get<wxNotebook>(Q::ID_NOTEBOOK); notebook->GetSelection() != index;)
            act({notebook->GetSelection() < index ? Q::ID_NEXT : Q::ID_PREV});
    }
    QCANMonitor* frame;
};

}  // namespace

TEST(QCANMonitorTest, EveryPageOnOneAdapter)
{
    Monitor m;
    EXPECT_EQ(m.frame->GetTitle(), "QCAN Diagnostics (View Only)");
    EXPECT_TRUE(m.get<wxListCtrl>(Q::ID_DEVICE_LIST)->GetItemText(0).StartsWith("Waiting for devices.."));
    EXPECT_EQ(m.text(Q::ID_MGR_SELECTED), "No CUA Adapter selected");
    EXPECT_EQ(m.text(Q::ID_MGR_THREAD), "Stopped");
    TestAdapter a("DUMMY1", 1);
    ASSERT_TRUE(a.connect());
    m.page(7);
    m.act({Q::ID_DBG_DSM500});  // nothing selected: nothing sent
    EXPECT_TRUE(a.sentFrames().empty());
    m.select("DUMMY1");
    runFor(120);
    EXPECT_EQ(m.text(Q::ID_MGR_SELECTED), "CUA #1 CONNECTED");
    EXPECT_EQ(m.text(Q::ID_MGR_CONNECTED), "1");
    // The Device page shows the adapter's own counters.
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(a.receive(0x7F0, false, {1, 2}));
    m.page(1);
    runFor(150);
    // Name, Total RX, Handled RX, Baudrate, power on, termination off.
    const std::vector<std::pair<int, wxString>> device = {
        {0, "DUMMY1"}, {9, "3"}, {10, "3"}, {19, "250 kbit/s"}, {20, "| ON | OFF"}};
    for (const auto& value : device)
        EXPECT_EQ(m.text(Q::ID_DEV_FIRST + value.first), value.second) << value.first;
    // The baud button steps through its rates.
    wxString bauds = m.text(Q::ID_MGR_BAUD);
    for (int i = 0; i < 3; ++i, bauds += "," + m.text(Q::ID_MGR_BAUD))
        m.act({Q::ID_MGR_BAUD});
    EXPECT_EQ(bauds, "250K,500K,125K,250K");
    // The Sensors page: one row per sensor with the age of its last frame.
    ASSERT_TRUE(a.receive(makerId(3, 0, 16, 101), true, kTiltData));
    Clock::advance(1500);
    m.page(2);
    runFor(150);
    auto* sensors = m.get<wxListCtrl>(Q::ID_SENSOR_LIST);
    ASSERT_EQ(sensors->GetItemCount(), 1);
    EXPECT_EQ(m.text(Q::ID_SENSOR_TOTAL), "Total Sensors : 1");
    const std::vector<wxString> row = {"101", "16", "", "0", "G1 (Bucket sensor)"};
    for (int column : {0, 1, 3, 4})
        EXPECT_EQ(sensors->GetItemText(0, column), row[column]) << column;
    EXPECT_NEAR(wxAtoi(sensors->GetItemText(0, 2)), 1500, 20);  // the age in ms: the clock moved 1500 ms
    // Older than a second, younger than two: the late tint, not the fresh one.
    const wxColour late = sensors->GetItemBackgroundColour(0);
    Clock::advance(10000);
    runFor(150);
    EXPECT_NE(sensors->GetItemBackgroundColour(0), late);
    m.act({{Q::ID_SENSOR_OFFSET, 1}});  // the offset hides the first row
    runFor(150);
    EXPECT_EQ(sensors->GetItemCount(), 0);
    // Both senders put their frames on the bus and refuse bad input; so do the Debug actions.
    m.page(4);
    a.clearSent();
    const int tick = int(SensorManager::getTickCount());
    m.act({{Q::ID_STD_DATA, "0011"}, {Q::ID_STD_SEND}});
    EXPECT_EQ(m.text(Q::ID_STD_RETURN), wxString::Format("%d Need more data 4 / 16", tick));
    m.act({{Q::ID_STD_DLC, 2}, {Q::ID_STD_ID, "12x"}, {Q::ID_STD_SEND}});
    EXPECT_EQ(m.text(Q::ID_STD_RETURN), wxString::Format("%d Bad CANID 12x", tick));
    EXPECT_TRUE(a.sentFrames().empty());
    m.act({{Q::ID_STD_ID, "0x18FF0001"}, {Q::ID_STD_EXT}});
    EXPECT_EQ(m.text(Q::ID_STD_EXT), "Ext ID");
    m.act({Q::ID_STD_SEND});
    EXPECT_TRUE(m.text(Q::ID_STD_RETURN).StartsWith(wxString::Format("%d Sent generic msg , return code ", tick)));
    m.act({Q::ID_STD_EXT, Q::ID_STD_RTR});
    EXPECT_EQ(m.text(Q::ID_STD_RTR), "RTR On");
    m.act({{Q::ID_STD_ID, "291"}, {Q::ID_STD_SEND}});  // decimal
    m.act({{Q::ID_Q_TYPE, 4}, {Q::ID_Q_OTHER, "x7"}, {Q::ID_Q_SEND}});
    EXPECT_EQ(m.text(Q::ID_Q_RETURN), wxString::Format("%d Bad devicetype number x7", tick));
    m.act({{Q::ID_Q_TYPE, 3}, {Q::ID_Q_NUMBER, 5}, {Q::ID_Q_MSG, 200}, {Q::ID_Q_CMD, 2}, {Q::ID_Q_DLC, 3},  // KM7 (68)
           {Q::ID_Q_DATA, "A1B2C3"}, {Q::ID_Q_SEND}});
    EXPECT_TRUE(m.text(Q::ID_Q_RETURN).StartsWith(wxString::Format("%d Sent msg , return code ", tick)));
    m.page(7);
    m.act({Q::ID_DBG_DSM500, Q::ID_DBG_STEELWRIST, Q::ID_DBG_DT500});
    EXPECT_EQ(m.text(Q::ID_DBG_DT500), "Stop DT500");
    m.act({Q::ID_DBG_DT500});
    EXPECT_EQ(m.text(Q::ID_DBG_DT500), "Start DT500");
    const std::vector<std::string> expected = {
        "0x18FF0001 x | 00 11", "0x123 r | 00 11", frameText(frame(makerId(200, 2, 68, 5), {0xA1, 0xB2, 0xC3})),
        "0x0 | 01 3C 00 00 00 00 00 00", "0x0 | 01 45 00 00 00 00 00 00", "0x63C | 2F 02 20 00 00 00 00 00",
        "0x18EEFF00 x | 00 EE 00", "0x2F | 01", "0x2F | 00"};
    EXPECT_EQ(frameTexts(a.sentFrames()), expected);
    // The G1 and FIR actions refuse what they cannot use (sensor 101 silent for over ten seconds;
    // the default FIR length 255 is one too many).
    MessageBoxes boxes;
    m.act({{Q::ID_DBG_G1_ID, "128"}, {Q::ID_DBG_G1_READ}, {Q::ID_DBG_G1_ID, "101"}, {Q::ID_DBG_G1_READ},
           {Q::ID_DBG_FIR_R}, {Q::ID_DBG_FIR_SLOW, 1}, {Q::ID_DBG_FIR_W}, {Q::ID_DBG_FIR_SLOW, 0},
           {Q::ID_DBG_FIR_FAST, 1}, {Q::ID_DBG_FIR_FAST_LEN, "0"}, {Q::ID_DBG_FIR_W}});
    // A FIR write to a live G1 sensor goes out.
    ASSERT_TRUE(a.receive(makerId(3, 0, 16, 101), true, kTiltData));
    a.clearSent();
    m.act({{Q::ID_DBG_FIR_FAST_LEN, "16"}, {Q::ID_DBG_FIR_W}});
    const auto fir = a.sentFrames();
    ASSERT_EQ(fir.size(), 1u);
    EXPECT_EQ(fir[0].header.id & 0x7F7Fu, (16u << 8) | 101u);  // to G1 sensor 101
    // Loggers from the Log page, refused for each reason, then one that writes its file.
    ConfigurationFolder folder;
    const std::string file = folder.appData() + "/bus.log";
    m.page(6);
    m.act({{Q::ID_LOG_FILE, file}, {Q::ID_LOG_DATA, 1}, {Q::ID_LOG_ADD},  // Dec under a Hex id, with the header
           {Q::ID_LOG_ID, 2}, {Q::ID_LOG_DATA, 2}, {Q::ID_LOG_ADD},  // Quillard ids under the "All" rule
           {Q::ID_LOG_ID, 0}, {Q::ID_LOG_DATA, 0}});
    for (const char* bad : {"", "relative/bus.log", "/tmp/a>b.log", "/tmp/<b.log"})
        m.act({{Q::ID_LOG_FILE, bad}, {Q::ID_LOG_ADD}});
    m.act({{Q::ID_LOG_FILE, file}, {Q::ID_LOG_ADD}});
    auto* list = m.get<wxListBox>(Q::ID_LOG_LIST);
    ASSERT_EQ(list->GetCount(), 1u);  // the refused ones made none
    EXPECT_EQ(list->GetString(0), "1 bus.log");
    ASSERT_TRUE(a.receive(0x1F5, false, {1, 2}));
    m.act({Q::ID_LOG_REMOVE_ALL});  // the logger writes its last lines as it ends
    EXPECT_EQ(list->GetCount(), 0u);
    const std::string text = TextFiles::read(file);
    EXPECT_NE(text.find("***BUSMASTER Ver 1.8.0***"), std::string::npos);
    EXPECT_NE(text.find(" Rx 1 0x1F5 s 2 01 02"), std::string::npos) << text;
    Texts refusals = {{"'128' is not valid G1 sensor ID!", "Incorrect sensor id"},
                      {"Sensor '101' is not ok!", "Incorrect sensor id"},
                      {"Select Slow, Fast or both filters", "Incorrect filter selection"},
                      {"'255' is not valid FIR setting!", "Incorrect slow FIR setting"},
                      {"'0' is not valid FIR setting!", "Incorrect fast FIR setting"},
                      {"ID and Data must have same formating when using headers!", "Cannot create datalogger"},
                      {"Quillard ID Formating must have Extended CAN ID Rule!", "Cannot create datalogger"}};
    refusals.insert(refusals.end(), 4, {"Bad logfile path!", "Cannot create filter"});
    EXPECT_EQ(boxes.shown, refusals);  // and none for what was accepted
}

TEST(QCANMonitorTest, CaptureAndBenchmarkUntilClosed)
{
    TestAdapter a("DUMMY1", 1);
    ASSERT_TRUE(a.connect());
    SensorManager* manager = SensorManager::getInstance();
    const size_t parsers = a.device()->getExternalParserCount();
    Monitor m;
    const auto threads = threadCount();
    m.select("DUMMY1");
    m.page(3);
    m.act({Q::ID_CAP_CAPTURE});
    std::vector<unsigned> t;  // the clock as each frame arrives
    auto* list = m.get<wxListBox>(Q::ID_CAP_LIST);
    const auto receive = [&](uint32_t id, bool ext, std::vector<uint8_t> data, bool rtr, unsigned lines) {
        t.push_back(unsigned(Clock::wallMs()));
        return a.receive(id, ext, data, rtr) && runUntil([&] { return list->GetCount() >= lines; });
    };
    ASSERT_TRUE(receive(0x123, false, {0xAB, 0x01}, false, 1));
    ASSERT_TRUE(receive(makerId(3, 1, 16, 101, 1), true, {0x0F}, false, 2));
    ASSERT_TRUE(receive(0x7FF, false, {}, true, 3));
    EXPECT_EQ(m.text(Q::ID_CAP_COUNT), "3 Frames");
    m.act({{Q::ID_CAP_PARSE, 1}});
    ASSERT_TRUE(receive(makerId(3, 1, 16, 101, 1), true, {0x0F, 0x10}, false, 4));
    m.act({{Q::ID_CAP_PARSE, 0}});
    ASSERT_TRUE(receive(0x56, false, {7}, false, 5));
    const wxArrayString lines = list->GetStrings();
    const std::vector<wxString> want = {wxString::Format("%u 1 SID 0123 DLC2 : AB01", t[0]),
                                        wxString::Format("%u 1 EID 0x%X DLC1 : 0F", t[1], makerId(3, 1, 16, 101, 1)),
                                        wxString::Format("%u 1 SID 07FF RTR DLC0 : ", t[2]),
                                        wxString::Format("%u 1 DEV:16 DEV# 101 CMD 1 MSG 3 ERR  DLC 2 0F10", t[3]),
                                        wxString::Format("%u 1 SID 056 DLC1 : 07", t[4])};
    EXPECT_EQ(std::vector<wxString>(lines.begin(), lines.end()), want);
    m.act({Q::ID_CAP_CAPTURE});
    ASSERT_TRUE(a.receive(0x124, false, {1}));
    runFor(300);
    EXPECT_EQ(list->GetCount(), want.size());  // capture off: nothing more
    // The benchmark ring shows the delays of the frames the manager's thread hands it.
    m.act({Q::ID_DBG_BENCH_EXT});
    EXPECT_TRUE(manager->useExternalParsers());
    runFor(150);
    EXPECT_EQ(m.text(Q::ID_DBG_BENCH_EXT_TEXT), "avg 0.000 ms max 0 ms(0 frames)");
    RxCANFrameT other = {};
    for (int delay : {4, 7}) {
        other.time = Clock::wallMs() - delay;
        QCANMonitor::handleExtTimeMsg(&other, nullptr);  // as the manager's thread calls it
    }
    runFor(150);
    EXPECT_EQ(m.text(Q::ID_DBG_BENCH_EXT_TEXT), "avg 5.500 ms max 7 ms(2 frames)");
    m.act({Q::ID_DBG_BENCH_EXT});
    EXPECT_FALSE(manager->useExternalParsers());
    // Closed by the window's close request while capturing and benchmarking: both parsers are
    // gone, so frames that arrive afterwards reach no window, and no thread is left behind.
    m.act({Q::ID_DBG_BENCH_EXT, Q::ID_CAP_CAPTURE});
    ASSERT_EQ(a.device()->getExternalParserCount(), parsers + 1);
    m.frame->Close();  // what the close box of the title bar does
    m.frame = nullptr;
    runFor(50);
    EXPECT_EQ(a.device()->getExternalParserCount(), parsers);
    EXPECT_FALSE(manager->useExternalParsers());
    ASSERT_TRUE(a.receive(0x7F1, false, {1}));
    EXPECT_LE(threadCount(), threads);
}
