// The host's door into the plug-in: connecting, the adapter table, the manager thread, the status
// text, the sensor summaries, and ending with adapters connected.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <tuple>
#include <vector>

#include <unistd.h>

#include <wx/init.h>

#include "Clock.h"
#include "CountingSensor.h"
#include "DummyBus.h"
#include "FrameText.h"
#include "LogCapture.h"
#include "RunningManager.h"
#include "SensorManager.h"
#include "TestAdapter.h"

using Sensors::Clock;
using Sensors::SensorManager;

namespace {

// A connected test adapter whose sensor 8 has sent one frame and whose sensor 9 never did.
bool connectWithHeardSensor8AndSilentSensor9(TestAdapter& a)
{
    if (!a.connect())
        return false;
    a.device()->deleteAllParsers();
    a.device()->addParser(parseCounting, nullptr);
    return a.receive(CountingSensor::ID_BASE + 8, true, {3}) &&
           a.device()->addSensor(new CountingSensor(manager(), 1, 9));
}

}  // namespace

TEST(SensorManager, WithoutAdaptersEveryCallFailsByItsResult)
{
    EXPECT_EQ(manager()->getStatus(0), "[SENSOR_STATUS] CAN adapter is not connected");
    _TQUIL1G5_CAN_FRAME maker{};
    EXPECT_EQ(manager()->sendCanMsg(1, nullptr, false), -1);
    EXPECT_EQ(manager()->sendCanMsg(1, &maker, false), 0);
    EXPECT_EQ(manager()->getDeviceEventLog(1, 0), "Invalid device");
    LogCapture log;
    EXPECT_FALSE(manager()->getBusPower(1));
    EXPECT_EQ(log.count(WispLogLevels::Error, "No device"), 1);
}

TEST(SensorManager, ConnectRefusesBadRequestsAndHandsOutIds)
{
    useAdapters("DUMMY1=dummy;DUMMY2=dummy;DUMMY3=dummy");
    manager()->setEnabled(false);  // adapters are created, never opened
    EXPECT_EQ(manager()->connect(wxT("DUMMY1"), 0), -1);
    EXPECT_EQ(manager()->connect(wxT(""), 3), -1);
    EXPECT_EQ(manager()->connect(wxT("DUMMY1"), 3), 3);
    EXPECT_EQ(manager()->connect(wxT("DUMMY2"), 3), -1);
    EXPECT_EQ(manager()->getQCANDeviceCount(), 1);

    EXPECT_EQ(manager()->popNextCUAID(), 1);
    EXPECT_EQ(manager()->popNextCUAID(), 2);
    EXPECT_EQ(manager()->popNextCUAID(), 4) << "3 is in the table";
    EXPECT_EQ(manager()->connect(wxT("DUMMY2"), 6), 6);
    EXPECT_EQ(manager()->popNextCUAID(), 5);
    EXPECT_EQ(manager()->popNextCUAID(), 7);

    LogCapture log;
    EXPECT_EQ(manager()->connect(), -1) << "connect() only connects into an empty table";
    EXPECT_EQ(log.countPrefix(WispLogLevels::Information, "Initialize cache"), 0) << "the library was not asked";
    manager()->setEnabled(true);
    manager()->disconnect(2000, 0);
    EXPECT_EQ(manager()->getQCANDeviceCount(), 0);
}

TEST(SensorManager, ThreadConnectsEveryAdapterAndDisconnectStopsEverything)
{
    useAdapters("DUMMY1=dummy;KV_SIDE=dummy");
    ASSERT_EQ(manager()->connectAll(), (std::vector<int>{1, 2}));
    EXPECT_TRUE(manager()->isThreadRunning());
    ASSERT_TRUE(eventually([] { return connected(1) && connected(2); }));
    EXPECT_TRUE(manager()->isAPIConnected());

    // One adapter: it closes and, no longer to be reconnected, leaves the table; the thread runs on.
    manager()->disconnect(0, 2);
    ASSERT_TRUE(eventually([] { return manager()->getQCANDeviceCount() == 1; }));
    EXPECT_FALSE(DummyBus::instance().isOpen("KV_SIDE"));
    EXPECT_TRUE(manager()->isThreadRunning());

    // An adapter that finished on its own (as a timed-out one does) may reconnect: opened again, kept.
    const int opens = DummyBus::instance().openCount("DUMMY1");
    manager()->getQCANDeviceByID(1)->Disconnect(QCAN_DISCONNECT_LATER);
    ASSERT_TRUE(eventually([&] { return DummyBus::instance().openCount("DUMMY1") == opens + 1 && connected(1); }));
    EXPECT_EQ(manager()->getQCANDeviceCount(), 1);

    // All adapters: returns once the thread ended, well within its wait.
    LogCapture log;
    const auto start = std::chrono::steady_clock::now();
    manager()->disconnect(3000, 0);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::milliseconds(2000));
    EXPECT_FALSE(manager()->isThreadRunning());
    EXPECT_EQ(manager()->getQCANDeviceCount(), 0);
    EXPECT_FALSE(DummyBus::instance().isOpen("DUMMY1"));
    EXPECT_EQ(log.count(WispLogLevels::Information, "SensorManager Thread stopped"), 1);

    // A later connect starts a new thread.
    EXPECT_EQ(manager()->connect(wxT("KV_SIDE")), 3);
    ASSERT_TRUE(eventually([] { return connected(3); }));
    manager()->disconnect(3000, 0);
}

// A maker frame sent for adapter 0 goes out on the first adapter, with its 29-bit identifier.
TEST(SensorManager, FrameSentForAdapter0GoesToTheFirstAdapter)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    a.clearSent();
    _TQUIL1G5_CAN_FRAME maker{};
    maker.header = {16, 3, 1, 0, 0, 0, 2};
    maker.data[0] = 0x11;
    EXPECT_EQ(manager()->sendCanMsg(0, &maker, false), 1);
    EXPECT_EQ(frameTexts(a.sentFrames()), std::vector<std::string>{"0x201003 x | 11 00"});
}

// The manager's ring holds 63 frames: one more is dropped with its two errors while those held stay;
// a frame read makes room for one. The named handlers get the frames in the order they came.
TEST(SensorManager, FullRingDropsTheNextFrameVisiblyAndKeepsTheOrder)
{
    static std::vector<uint32_t> seen;
    manager()->registerParser(wxT("ring"), [](void* f, void*) {
        seen.push_back(static_cast<RxCANFrameT*>(f)->frame.header.id);
        return true;
    });
    RxCANFrameT frame{};
    LogCapture log;
    const auto push = [&](uint32_t id) { frame.frame.header.id = id, manager()->pushToRxBuffer(&frame); };
    const auto dropped = [&] {
        return std::make_pair(log.count(WispLogLevels::Error, "RxDataBuffer Full"),
                              log.count(WispLogLevels::Error, "Failed to push RxCANFrameT to buffer"));
    };
    std::vector<uint32_t> expected;
    for (uint32_t id = 1; id <= 64; ++id)
        push(id), expected.push_back(id);
    EXPECT_EQ(dropped(), std::make_pair(1, 1));
    EXPECT_TRUE(manager()->processRxBuffer());
    push(65), push(66);
    EXPECT_EQ(dropped(), std::make_pair(2, 2));
    while (manager()->processRxBuffer()) {
    }
    expected.back() = 65;
    EXPECT_EQ(seen, expected);
    manager()->unregisterParser(wxT("ring"));
}

TEST(SensorManager, StatusTextForOneAndTwoAdaptersIsCachedForASecond)
{
    TestAdapter a("DUMMY1", 1);
    ASSERT_TRUE(a.connect());
    // Seven-second slots decide which adapter is shown; start at the beginning of one.
    Clock::setTo((Clock::wallMs() / 7000 + 1) * 7000);
    const wxString one = manager()->getStatus(0);
    EXPECT_EQ(one, "[SENSOR_STATUS] CAN adapter: DUMMY1 (1)\n"
                   "[SENSOR_STATUS] Adapter status: CONNECTED, Bus On,\nNormal, 250k,\n"
                   "[SENSOR_STATUS] CAN power ON\n"
                   "[SENSOR_STATUS] Sensors total/ok: 0/0\n");

    TestAdapter b("DUMMY2", 2);
    ASSERT_TRUE(b.connect());
    Clock::setTo((Clock::wallMs() / 14000 + 1) * 14000);  // a slot that shows the first adapter
    const wxString first = manager()->getStatus(0);
    EXPECT_TRUE(first.StartsWith("[SENSOR_STATUS] CAN adapter 1 / 2\n[SENSOR_STATUS] CAN adapter: DUMMY1 (1)\n"))
        << first;
    b.device()->setQCANDevStatus(QCAN_STATUS_ERROR);
    Clock::advance(500);
    EXPECT_EQ(manager()->getStatus(0), first) << "rebuilt at most once a second";
    Clock::advance(6500);
    EXPECT_TRUE(manager()->getStatus(0).StartsWith("[SENSOR_STATUS] CAN adapter 2 / 2\n"
                                                   "[SENSOR_STATUS] CAN adapter: DUMMY2 (2)\n"
                                                   "[SENSOR_STATUS] Adapter status: ERROR,"));
    Clock::advance(1000);
    EXPECT_TRUE(manager()->getStatus(1).StartsWith("[SENSOR_STATUS] CAN adapter 1 / 2\n"));
    Clock::advance(1000);
    LogCapture log;
    EXPECT_EQ(manager()->getStatus(9), "[SENSOR_STATUS] No CAN adapter on id: 9");
    EXPECT_EQ(log.count(WispLogLevels::Warning, "[SENSOR_STATUS] No CAN adapter on id: 9"), 1);
}

TEST(SensorManager, StatusTextSaysWhenAnAdapterHasNoSensorInformation)
{
    const std::string cannot = "[SENSOR_STATUS] Cannot get sensor status\n";
    TestAdapter a("DUMMY1", 1);
    Clock::advance(1001);
    LogCapture log;
    // Not opened yet: the adapter has gathered nothing about its sensors.
    const std::string before(manager()->getStatus(1).utf8_str());
    EXPECT_NE(before.find(cannot), std::string::npos) << before;
    EXPECT_EQ(log.count(WispLogLevels::Warning, before), 1);
    ASSERT_TRUE(a.connect());
    Clock::advance(1001);
    EXPECT_EQ(manager()->getStatus(1).Find(cannot), wxNOT_FOUND);
}

TEST(SensorManager, SummariesListHeardSensors)
{
    TestAdapter a;
    ASSERT_TRUE(connectWithHeardSensor8AndSilentSensor9(a));
    std::vector<Sensors::SensorInfo*> all = manager()->getSensorsInfo(0);
    ASSERT_EQ(all.size(), 1u) << "unheard sensors are left out of the summary of all adapters";
    EXPECT_EQ(std::make_tuple(int(all[0]->sensorId), all[0]->deviceType, int(all[0]->cuaId)),
              std::make_tuple(8, static_cast<uint32_t>(CountingSensor::TYPE), 1));
    manager()->deleteSensorsInfo(all);
    std::vector<Sensors::SensorInfo*> mine = manager()->getSensorsInfo(1);
    EXPECT_EQ(mine.size(), 2u);
    manager()->deleteSensorsInfo(mine);

    Sensors::_SensorInfo info;
    a.pass(600);  // a pass gathers the summaries that the count and the copy read
    EXPECT_EQ(manager()->getSensorsCount(0), 1);
    ASSERT_TRUE(manager()->getSensorInfo(0, 0, &info));
    EXPECT_EQ(info.sensorId, 8);
    EXPECT_FALSE(manager()->getSensorInfo(1, 1, &info));
}

TEST(SensorManager, ProcessMayEndWithAdaptersStillConnected)
{
    // A child process connects two adapters and ends as a host does, wxWidgets first, without
    // disconnecting: the manager's destructor stops its thread and closes the adapters.
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    auto child = [] {
        useAdapters("DUMMY1=dummy;DUMMY2=dummy");
        const bool up = manager()->connect(wxT("DUMMY1")) == 1 && manager()->connect(wxT("DUMMY2")) == 2 &&
                        eventually([] { return connected(1) && connected(2); });
        wxUninitialize();
        std::exit(up ? 0 : 3);
    };
    EXPECT_EXIT(child(), testing::ExitedWithCode(0), "");
}

TEST(SensorManager, ConnectAfterTheManagersEndIsRefusedVisibly)
{
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    auto child = [] {
        // A host that ends wxWidgets ends the manager with it; starting wxWidgets again does not bring
        // the manager back, and a connect says so instead of handing out an id no thread would serve.
        useAdapters("DUMMY1=dummy");
        wxUninitialize();
        wxInitialize();
        LogCapture log;
        const int id = manager()->connect(wxT("DUMMY1"));
        const std::string refusal = "SensorManager: connect refused after shutdown DUMMY1";
        const int adapters = manager()->getQCANDeviceCount(), refusals = log.count(WispLogLevels::Error, refusal);
        // A failure shows what the child saw.
        std::fprintf(stderr, "id %d, adapters %d, refusals logged %d\n", id, adapters, refusals);
        // Ended at once: wxWidgets started a second time keeps handlers that a leak checker would report.
        std::fflush(nullptr);
        _exit(id == -1 && adapters == 0 && refusals == 1 ? 0 : 3);
    };
    EXPECT_EXIT(child(), testing::ExitedWithCode(0), "");
}
