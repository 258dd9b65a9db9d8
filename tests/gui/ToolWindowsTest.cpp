// The replay window, the sensor data generator and the traffic generator on a dummy adapter reached
// through the adapter library, driven by the events of their controls. The threads behind them
// sleep on the hand-driven clock; the windows' own timers run for real.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <wx/listctrl.h>
#include <wx/statusbr.h>

#include "CANTrafficGenerator.h"
#include "Clock.h"
#include "ConfigurationFolder.h"
#include "DummyBus.h"
#include "GuiLoop.h"
#include "LogFileReplay.h"
#include "QCANMonitor.h"
#include "SensorGenerator.h"
#include "SensorSimulator.h"
#include "TestAdapter.h"

using Sensors::CANTrafficGenerator;
using Sensors::Clock;
using Sensors::SensorGenerator;

namespace {

using Fed = std::map<uint32_t, std::vector<uint8_t>>;

// The data of the last frame of each id the adapter's parsers are offered; the generator's thread
// offers them.
PARSE_RESULT see(void* frame, void*, void* seen)
{
    static std::mutex lock;
    const _TGENERIC_CAN_FRAME& f = static_cast<RxCANFrameT*>(frame)->frame;
    std::lock_guard<std::mutex> guard(lock);
    (*static_cast<Fed*>(seen))[f.header.id].assign(f.data, f.data + f.header.dlc);
    return PARSE_RESULT_OK;
}

uint32_t le32(const uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

TEST(ToolWindowsTest, ReplayWindowShowsItsReplaysClearsEndedOnesAndStopsThemOnClose)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    ConfigurationFolder folder;
    const std::string log = folder.appData() + "/bench.log";
    std::ofstream(log) << "***BUSMASTER Ver 1.8.0***\n***PROTOCOL CAN***\n***HEX***\n"
                          "***<Time><Tx/Rx><Channel><CAN ID><Type><DLC><DataBytes>***\n"
                          "10:00:00:000 Rx 1 0x10 s 1 01\n10:00:00:010 Rx 1 0x10 s 1 02\n"
                          "10:00:00:020 Rx 1 0x10 s 1 03\n"
                          "***END DATE AND TIME 05:12:2026 10:00:09:***\n";
    auto* w = new SensorSimulator(nullptr);
    w->Show();
    auto* list = dynamic_cast<wxListCtrl*>(w->FindWindow(SensorSimulator::ID_LIST));

    // A valid file, loaded paused; "Set" with no number changes nothing and says so.
    act(w, {{SensorSimulator::ID_START, 0}, {SensorSimulator::ID_FILE, log}, {SensorSimulator::ID_LOAD}});
    const wxString paused = "[PAUSE] bench.log -> CUA#1 (0 / 2)";
    ASSERT_EQ(list->GetItemCount(), 1);
    EXPECT_EQ(list->GetItemText(0), paused);
    act(w, {{SensorSimulator::ID_POSITION, "abc"}});
    testing::internal::CaptureStdout();
    act(w, {SensorSimulator::ID_SET});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR : LogPlayer : SET value : abc is not a valid number !\n");
    EXPECT_EQ(list->GetItemText(0), paused);

    // Resumed, it runs paced by its time stamps and leaves the list at its end.
    act(w, {SensorSimulator::ID_RESUME_ALL});
    EXPECT_TRUE(runUntil([&] {
        Clock::advance(11);
        return w->getReplays().empty() && list->GetItemCount() == 0;
    }));

    // Closing with a looping replay running ends its thread.
    act(w, {SensorSimulator::ID_LOOP, SensorSimulator::ID_START, {SensorSimulator::ID_FILE, log},
            SensorSimulator::ID_LOAD});
    ASSERT_TRUE(runUntil([&] { return w->getReplays().at(0)->getThreadActive(); }));
    const int running = threadCount();
    w->Close();
    EXPECT_TRUE(runUntil([&] { return threadCount() == running - 1; }));
}

TEST(ToolWindowsTest, SensorGeneratorFeedsTheSliderValuesIntoTheAdapter)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    const int before = threadCount();
    auto* w = new SensorGenerator(nullptr);
    w->Show();
    EXPECT_EQ(threadCount(), before + 1);
    Fed fed;
    const unsigned int parser = a.device()->addExternalParser(see, &fed);
    act(w, {{SensorGenerator::ID_DSM500_SLIDER, 250}, {SensorGenerator::ID_FEED_SLIDER, 513},
            SensorGenerator::ID_DSM500, SensorGenerator::ID_FEED, SensorGenerator::ID_ON});
    const Fed expected = {
        {0x78, {0x00, 0x01, 0xFA, 0x00, 0xFA, 0x00, 0x00, 0x64}}, {0x79, {0x01, 0xFA, 0x00, 0xFA, 0x00, 0x00, 0x64}},
        {0x7A, {0x00, 0x01, 0x01, 0x02, 0x01, 0x02, 0x00, 0x64}}, {0x7B, {0x01, 0x01, 0x02, 0x01, 0x02, 0x00, 0x64}}};
    runUntil([&] { Clock::advance(20); return a.device()->GetReceived().rxTotal >= 4; }, 1000);
    a.device()->deleteExternalParserById(parser);
    EXPECT_EQ(fed, expected);  // these frames and no others
    runUntil([&] { return w->FindWindow(SensorGenerator::ID_FEED_LABEL)->GetLabel() == "513 cm"; });
    EXPECT_EQ(w->FindWindow(SensorGenerator::ID_DSM500_LABEL)->GetLabel(), "250 cm");
    EXPECT_EQ(w->FindWindow(SensorGenerator::ID_FEED_LABEL)->GetLabel(), "513 cm");

    act(w, {{SensorGenerator::ID_CUA, "7"}});  // a CUA no adapter has: nothing more is fed
    EXPECT_TRUE(runUntil([&] { Clock::advance(20); return w->GetStatusBar()->GetStatusText() == "Bad CUAID"; }));
    const int frames = a.device()->GetReceived().rxTotal;
    Clock::advance(100);
    runFor(50);
    EXPECT_EQ(a.device()->GetReceived().rxTotal, frames);

    w->Close();  // the worker is joined while the window goes
    runFor(50);
    EXPECT_EQ(threadCount(), before);
}

TEST(ToolWindowsTest, TrafficGeneratorFromTheDiagnosticsFrameSendsNumberedPairs)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    auto* monitor = new QCANMonitor(nullptr, -1);
    act(monitor, {QCANMonitor::ID_DBG_GENERATOR});
    auto* w = dynamic_cast<CANTrafficGenerator*>(wxTopLevelWindows.GetLast()->GetData());  // the newest window
    ASSERT_NE(w, nullptr);
    const auto burst = [&](const char* frames, const char* interval) {
        a.clearSent();
        act(w, {{CANTrafficGenerator::ID_FRAMES, frames}, {CANTrafficGenerator::ID_INTERVAL, interval},
                CANTrafficGenerator::ID_START});
    };
    const int idle = threadCount();
    burst("10", "0");  // sends nothing
    ASSERT_TRUE(runUntil([&] { return threadCount() == idle; }));
    EXPECT_TRUE(DummyBus::instance().sent(a.name()).empty());
    const unsigned int t0 = Clock::tickCount();
    burst("10000", "1");
    for (int pause = 0; pause < 5000; ++pause) {  // one after each even number
        ASSERT_TRUE(Clock::waitForSleepers(1, 2000)) << pause;
        Clock::advance(1);
    }
    std::vector<_TGENERIC_CAN_FRAME> sent;
    runUntil([&] { return (sent = DummyBus::instance().sent(a.name())).size() >= 10000; });
    ASSERT_EQ(sent.size(), 10000u);
    for (uint32_t i = 0; i < sent.size(); ++i) {
        ASSERT_EQ(sent[i].header.id, 0x29Au);
        ASSERT_EQ(sent[i].header.ext, 1);
        ASSERT_EQ(sent[i].header.dlc, 8);
        ASSERT_EQ(le32(sent[i].data), i);
        ASSERT_EQ(le32(sent[i].data + 4), t0 + (i + 1) / 2) << i;  // in pairs, a pause after each even number
    }

    // Closing the frame closes the generator with it, and its running burst ends.
    burst("10000", "10");
    ASSERT_TRUE(Clock::waitForSleepers(1, 2000));
    const int running = threadCount();
    monitor->Close();
    EXPECT_TRUE(runUntil([&] { return threadCount() == running - 1; }));
    EXPECT_LT(DummyBus::instance().sent(a.name()).size(), 10000u);
}
