// The replay window, the sensor data generator and the traffic generator on a dummy adapter reached
// through the adapter library, driven by the events of their controls. The threads behind them
// sleep on the hand-driven clock; the windows' own timers run for real.

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include <wx/app.h>
#include <wx/checkbox.h>
#include <wx/listctrl.h>
#include <wx/slider.h>
#include <wx/statusbr.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include "GuiLoop.h"
#include "CANTrafficGenerator.h"
#include "Clock.h"
#include "DummyBus.h"
#include "LogFileReplay.h"
#include "QCANMonitor.h"
#include "SensorGenerator.h"
#include "SensorSimulator.h"
#include "TestAdapter.h"

using Sensors::CANTrafficGenerator;
using Sensors::Clock;
using Sensors::SensorGenerator;

namespace {



// The control's event as the toolkit sends it when someone uses it.
void use(wxWindow* frame, long id, const wxString& text = wxString(), int value = 1)
{
    wxWindow* w = frame->FindWindow(id);
    ASSERT_NE(w, nullptr) << id;
    wxEventType type = wxEVT_BUTTON;
    if (auto* t = dynamic_cast<wxTextCtrl*>(w))
        return t->SetValue(text);  // sends wxEVT_TEXT
    if (auto* c = dynamic_cast<wxCheckBox*>(w))
        c->SetValue(value != 0), type = wxEVT_CHECKBOX;
    if (auto* s = dynamic_cast<wxSlider*>(w))
        s->SetValue(value), type = wxEVT_SLIDER;
    wxCommandEvent event(type, id);
    event.SetEventObject(w);
    event.SetInt(value);
    w->GetEventHandler()->ProcessEvent(event);
}

// Every frame the adapter's parsers are offered, as an external parser of the adapter sees it.
struct Seen {
    explicit Seen(TestAdapter& a) : device(a.device()) { id = device->addExternalParser(&Seen::take, this); }
    ~Seen() { device->deleteExternalParserById(id); }
    static PARSE_RESULT take(void* frame, void*, void* self)
    {
        auto* s = static_cast<Seen*>(self);
        std::lock_guard<std::mutex> guard(s->mutex);
        s->frames.push_back(static_cast<RxCANFrameT*>(frame)->frame);
        return PARSE_RESULT_OK;
    }
    std::vector<_TGENERIC_CAN_FRAME> last(uint32_t id)
    {
        std::lock_guard<std::mutex> guard(mutex);
        for (auto it = frames.rbegin(); it != frames.rend(); ++it)
            if (it->header.id == id)
                return {*it};
        return {};
    }
    Sensors::QCANDevice* device;
    unsigned int id;
    std::mutex mutex;
    std::vector<_TGENERIC_CAN_FRAME> frames;
};

std::vector<uint8_t> bytes(const _TGENERIC_CAN_FRAME& f)
{
    return std::vector<uint8_t>(f.data, f.data + f.header.dlc);
}

uint32_t le32(const uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

TEST(ToolWindowsTest, ReplayWindowLoadsRefusesClearsEndedReplaysAndStopsThemOnClose)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    Seen seen(a);
    const std::string log = ::testing::TempDir() + "qcan_tool_windows_" + std::to_string(getpid()) + ".log";
    std::ofstream(log) << "***BUSMASTER Ver 1.8.0***\n***PROTOCOL CAN***\n***HEX***\n"
                          "***<Time><Tx/Rx><Channel><CAN ID><Type><DLC><DataBytes>***\n"
                          "10:00:00:000 Rx 1 0x10 s 1 01\n10:00:00:010 Rx 1 0x10 s 1 02\n10:00:00:020 Rx 1 0x10 s 1 03\n"
                          "***END DATE AND TIME 05:12:2026 10:00:09:***\n";
    auto* w = new SensorSimulator(nullptr);
    w->Show();
    EXPECT_EQ(w->GetTitle(), "CAN Data Replay");
    auto* list = dynamic_cast<wxListCtrl*>(w->FindWindow(SensorSimulator::ID_LIST));

    // A refused file shows "[ERROR] " and is gone at the next tick.
    use(w, SensorSimulator::ID_FILE, "/nonexistent/file.log");
    use(w, SensorSimulator::ID_LOAD);
    ASSERT_EQ(list->GetItemCount(), 1);
    EXPECT_EQ(list->GetItemText(0), "[ERROR] ");
    EXPECT_TRUE(runUntil([&] { return list->GetItemCount() == 0; }, 700));

    // A valid file, loaded paused; "Set" with no number changes nothing and says so.
    use(w, SensorSimulator::ID_START, "", 0);
    use(w, SensorSimulator::ID_FILE, wxString::FromUTF8(log.c_str()));
    use(w, SensorSimulator::ID_LOAD);
    EXPECT_EQ(w->GetStatusBar()->GetStatusText(), "Done");
    EXPECT_EQ(dynamic_cast<wxTextCtrl*>(w->FindWindow(SensorSimulator::ID_FILE))->GetValue(), "");
    const wxString row = " -> CUA#1 (0 / 2)";
    ASSERT_EQ(list->GetItemCount(), 1);
    EXPECT_EQ(list->GetItemText(0), "[PAUSE] " + log.substr(log.rfind('/') + 1) + row);
    use(w, SensorSimulator::ID_POSITION, "abc");
    testing::internal::CaptureStdout();
    use(w, SensorSimulator::ID_SET);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR : LogPlayer : SET value : abc is not a valid number !\n");
    EXPECT_EQ(list->GetItemText(0), "[PAUSE] " + log.substr(log.rfind('/') + 1) + row);

    // Resumed, it runs paced by its time stamps and leaves the list at its end.
    use(w, SensorSimulator::ID_RESUME_ALL);
    EXPECT_TRUE(runUntil([&] {
        Clock::advance(11);
        return w->getReplays().empty() && list->GetItemCount() == 0;
    }));
    EXPECT_EQ(seen.frames.size(), 3u);
    EXPECT_EQ(seen.last(0x10).at(0).data[0], 3);

    // Closing with a looping replay running ends its thread.
    use(w, SensorSimulator::ID_LOOP);
    use(w, SensorSimulator::ID_START);
    use(w, SensorSimulator::ID_FILE, wxString::FromUTF8(log.c_str()));
    use(w, SensorSimulator::ID_LOAD);
    ASSERT_TRUE(runUntil([&] { return w->getReplays().at(0)->getThreadActive(); }));
    const int running = threadCount();
    w->Close();
    EXPECT_TRUE(runUntil([&] { return threadCount() == running - 1; }));
    std::remove(log.c_str());
}

TEST(ToolWindowsTest, SensorGeneratorFeedsTheSliderValuesIntoTheAdapter)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    Seen seen(a);
    const int before = threadCount();
    auto* w = new SensorGenerator(nullptr);
    w->Show();
    EXPECT_EQ(w->GetTitle(), "Sensor Data Generator");
    EXPECT_EQ(threadCount(), before + 1);
    use(w, SensorGenerator::ID_DSM500_SLIDER, "", 250);
    use(w, SensorGenerator::ID_FEED_SLIDER, "", 513);
    use(w, SensorGenerator::ID_DSM500);
    use(w, SensorGenerator::ID_FEED);
    use(w, SensorGenerator::ID_ON);
    const auto fed = [&](uint32_t id) {
        return runUntil([&] { Clock::advance(20); return !seen.last(id).empty(); }, 1000);
    };
    ASSERT_TRUE(fed(0x79) && fed(0x7B));
    EXPECT_EQ(bytes(seen.last(0x78).at(0)), std::vector<uint8_t>({0x00, 0x01, 0xFA, 0x00, 0xFA, 0x00, 0x00, 0x64}));
    EXPECT_EQ(bytes(seen.last(0x79).at(0)), std::vector<uint8_t>({0x01, 0xFA, 0x00, 0xFA, 0x00, 0x00, 0x64}));
    EXPECT_EQ(bytes(seen.last(0x7A).at(0)), std::vector<uint8_t>({0x00, 0x01, 0x01, 0x02, 0x01, 0x02, 0x00, 0x64}));
    EXPECT_EQ(bytes(seen.last(0x7B).at(0)), std::vector<uint8_t>({0x01, 0x01, 0x02, 0x01, 0x02, 0x00, 0x64}));
    EXPECT_TRUE(runUntil([&] {
        return w->FindWindow(SensorGenerator::ID_DSM500_LABEL)->GetLabel() == "250 cm" &&
               w->FindWindow(SensorGenerator::ID_FEED_LABEL)->GetLabel() == "513 cm";
    }));

    // A CUA no adapter has: "Bad CUAID", and nothing more is fed.
    use(w, SensorGenerator::ID_CUA, "7");
    EXPECT_TRUE(runUntil([&] { Clock::advance(20); return w->GetStatusBar()->GetStatusText() == "Bad CUAID"; }));
    const size_t frames = seen.frames.size();
    Clock::advance(100);
    runUntil([] { return false; }, 50);
    EXPECT_EQ(seen.frames.size(), frames);

    w->Close();  // the worker is joined while the window goes
    runUntil([] { return false; }, 50);
    EXPECT_EQ(threadCount(), before);
}

TEST(ToolWindowsTest, TrafficGeneratorFromTheDiagnosticsFrameSendsNumberedPairs)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    auto* monitor = new QCANMonitor(nullptr, -1);
    use(monitor, QCANMonitor::ID_DBG_GENERATOR);
    CANTrafficGenerator* w = nullptr;
    for (wxWindow* t : wxTopLevelWindows)
        if (auto* g = dynamic_cast<CANTrafficGenerator*>(t))
            w = g;
    ASSERT_NE(w, nullptr);
    const auto burst = [&](const char* frames, const char* interval) {
        a.clearSent();
        use(w, CANTrafficGenerator::ID_FRAMES, frames);
        use(w, CANTrafficGenerator::ID_INTERVAL, interval);
        use(w, CANTrafficGenerator::ID_START);
    };
    const int idle = threadCount();
    burst("10", "0");  // sends nothing
    ASSERT_TRUE(runUntil([&] { return threadCount() == idle; }));
    const unsigned int t0 = Clock::tickCount();
    burst("1", "10");  // one frame, then one pause; the ended burst is reaped
    EXPECT_EQ(w->getThreadCount(), 1u);
    ASSERT_TRUE(Clock::waitForSleepers(1, 2000));
    const auto one = DummyBus::instance().sent(a.name());
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(le32(one[0].data), 0u);
    EXPECT_EQ(le32(one[0].data + 4), t0);
    Clock::advance(10);

    burst("10000", "1");
    for (int pause = 0; pause < 5000; ++pause) {  // one after each even number
        ASSERT_TRUE(Clock::waitForSleepers(1, 2000)) << pause;
        Clock::advance(1);
    }
    std::vector<_TGENERIC_CAN_FRAME> sent;
    runUntil([&] { return (sent = DummyBus::instance().sent(a.name())).size() >= 10000; });
    ASSERT_EQ(sent.size(), 10000u);
    const unsigned int t1 = le32(sent[0].data + 4);
    for (uint32_t i = 0; i < sent.size(); ++i) {
        ASSERT_EQ(sent[i].header.id, 0x29Au);
        ASSERT_EQ(sent[i].header.ext, 1);
        ASSERT_EQ(sent[i].header.dlc, 8);
        ASSERT_EQ(le32(sent[i].data), i);
        ASSERT_EQ(le32(sent[i].data + 4), t1 + (i + 1) / 2) << i;  // in pairs, a pause after each even number
    }
    EXPECT_EQ(t1, t0 + 10);

    // Closing the frame closes the generator with it, and its running burst ends.
    burst("10000", "10");
    ASSERT_TRUE(Clock::waitForSleepers(1, 2000));
    const int running = threadCount();
    monitor->Close();
    EXPECT_TRUE(runUntil([&] { return threadCount() == running - 1; }));
    EXPECT_LT(DummyBus::instance().sent(a.name()).size(), 10000u);
}
