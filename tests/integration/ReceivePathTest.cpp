// The road of a received frame: the library's receive thread, the adapter's ring, the parsers,
// sensor creation on the manager's pass, the external parsers, silence, and the send side.
#include <gtest/gtest.h>

#include <thread>
#include <tuple>
#include <vector>

#include "CountingSensor.h"
#include "DummyBus.h"
#include "FrameText.h"
#include "LogCapture.h"
#include "TestAdapter.h"


namespace {

struct Seen {
    std::vector<uint32_t> ids;
    std::vector<bool> createAllowed;
    std::thread::id thread;
};

PARSE_RESULT recordExternal(void* frame, void*, void* context)
{
    Seen* seen = static_cast<Seen*>(context);
    RxCANFrameT* rx = static_cast<RxCANFrameT*>(frame);
    seen->ids.push_back(rx->frame.header.id);
    seen->createAllowed.push_back(rx->createAllowed);
    seen->thread = std::this_thread::get_id();
    return PARSE_RESULT_OK;
}

void useCountingParser(TestAdapter& a)
{
    a.device()->deleteAllParsers();
    a.device()->addParser(parseCounting, nullptr);
}

CountingSensor* sensorOf(TestAdapter& a, unsigned char id)
{
    return dynamic_cast<CountingSensor*>(a.device()->getSensor(id, CountingSensor::TYPE, false));
}

}  // namespace

TEST(ReceivePath, FirstFrameCreatesTheSensorOnThePassAndLaterFramesAreParsedInTheCallback)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    useCountingParser(a);
    Seen seen;
    a.device()->addExternalParser(recordExternal, &seen);

    // Missing sensor: parsed in the callback, queued, created when the pass takes it out.
    ASSERT_TRUE(DummyBus::instance().inject(a.name(), CountingSensor::ID_BASE + 5, true, {7}));
    ASSERT_TRUE(DummyBus::instance().waitDelivered(a.name()));
    EXPECT_EQ(a.device()->getRxBufferCount(), 1);
    EXPECT_EQ(a.device()->getSensorCount(), 0) << "never created on the library's thread";
    a.pass();
    ASSERT_EQ(a.device()->getSensorCount(), 1);
    EXPECT_EQ(sensorOf(a, 5)->reading, 7);
    ASSERT_EQ(seen.ids.size(), 2u) << "external parsers see a frame of a missing sensor twice";
    EXPECT_FALSE(seen.createAllowed[0]);
    EXPECT_TRUE(seen.createAllowed[1]);

    // Existing sensor and empty ring: parsed right in the callback, on the library's thread.
    const QCANReceived before = a.device()->GetReceived();
    ASSERT_TRUE(DummyBus::instance().inject(a.name(), CountingSensor::ID_BASE + 5, true, {9}));
    ASSERT_TRUE(DummyBus::instance().waitDelivered(a.name()));
    EXPECT_EQ(a.device()->getRxBufferCount(), 0);
    EXPECT_EQ(sensorOf(a, 5)->reading, 9);
    EXPECT_NE(seen.thread, std::this_thread::get_id());
    const QCANReceived after = a.device()->GetReceived();
    EXPECT_EQ(std::make_pair(after.rxTotal, after.rxParsed), std::make_pair(before.rxTotal + 1, before.rxParsed + 1));
    EXPECT_EQ(seen.ids.size(), 3u);

    // Frames are parsed in arrival order: while one frame waits in the ring, a frame of an
    // existing sensor queues behind it instead of being parsed at once and overtaking it.
    ASSERT_TRUE(DummyBus::instance().inject(a.name(), CountingSensor::ID_BASE + 6, true, {1}));
    ASSERT_TRUE(DummyBus::instance().inject(a.name(), CountingSensor::ID_BASE + 5, true, {11}));
    ASSERT_TRUE(DummyBus::instance().waitDelivered(a.name()));
    EXPECT_EQ(a.device()->getRxBufferCount(), 2);
    EXPECT_EQ(sensorOf(a, 5)->reading, 9);
    a.pass();
    a.pass();
    EXPECT_EQ(sensorOf(a, 5)->reading, 11);
}

// A frame that arrives while the adapter is still connecting is dropped and counted nowhere.
TEST(ReceivePath, FramesBeforeConnectedAreDroppedUncounted)
{
    TestAdapter a;
    a.setAutoReport(false);
    DummyBus::instance().setStatusReports(a.name(), false);
    while (a.pass() != QCAN_STATUS_CONNECTING) {
    }
    ASSERT_TRUE(DummyBus::instance().inject(a.name(), CountingSensor::ID_BASE + 1, true, {1}));
    ASSERT_TRUE(DummyBus::instance().waitDelivered(a.name()));
    const QCANReceived r = a.device()->GetReceived();
    EXPECT_EQ(std::make_tuple(r.rxTotal, r.rxParsed, a.device()->getRxBufferCount()), std::make_tuple(0, 0, 0));
}

TEST(ReceivePath, WithoutParsersFramesAreQueuedAndTheRingDropsThe64th)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    a.device()->deleteAllParsers();
    Seen seen;
    a.device()->addExternalParser(recordExternal, &seen);
    LogCapture log;
    for (uint32_t i = 0; i < 64; ++i)
        ASSERT_TRUE(DummyBus::instance().inject(a.name(), 0x200 + i, false, {1, 2}));
    ASSERT_TRUE(DummyBus::instance().waitDelivered(a.name()));
    EXPECT_EQ(a.device()->getRxBufferCount(), 63);
    EXPECT_EQ(log.count(WispLogLevels::Warning, "QCANDevice RX Buffer full!"), 1);
    QCANReceived r = a.device()->GetReceived();
    EXPECT_EQ(std::make_pair(r.rxOverflow, r.rxTotal), std::make_pair(1, 64)) << "dropped frames count as received";
    EXPECT_TRUE(seen.ids.empty());

    // One frame per pass, in arrival order, to the external parsers only.
    a.pass();
    EXPECT_EQ(seen.ids, std::vector<uint32_t>{0x200});
    while (a.device()->getRxBufferCount() > 0)
        a.pass();
    std::vector<uint32_t> expected;
    for (uint32_t i = 0; i < 63; ++i)
        expected.push_back(0x200 + i);
    EXPECT_EQ(seen.ids, expected);
    EXPECT_EQ(a.device()->GetReceived().rxParsed, 0);
}

TEST(ReceivePath, DelayedSendsLeaveOnePerPassAboutEvery50ms)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    DummyBus::instance().clearSent(a.name());
    _TGENERIC_CAN_FRAME frame{};
    frame.header = {0x123, 0, 0, 3};
    frame.data[0] = 0xAA;
    for (int i = 0; i < 128; ++i) {
        frame.data[1] = static_cast<uint8_t>(i);
        ASSERT_EQ(a.device()->SendCanMessage(&frame, true), 1);
    }
    EXPECT_EQ(a.device()->SendCanMessage(&frame, true), -2) << "the queue holds 128 frames";
    frame.header.dlc = 9;
    EXPECT_EQ(a.device()->SendCanMessage(&frame, true), -1) << "more than 8 data bytes is a bad request";
    frame.header.dlc = 3;

    // Passes 10 ms apart: once one frame went out, the next needs more than 49 ms more.
    while (DummyBus::instance().sent(a.name()).empty())
        a.pass(10);
    for (int i = 0; i < 4; ++i)
        a.pass(10);
    EXPECT_EQ(DummyBus::instance().sent(a.name()).size(), 1u) << "less than 50 ms accumulated";
    a.pass(10);
    EXPECT_EQ(frameTexts(DummyBus::instance().sent(a.name())),
              (std::vector<std::string>{"0x123 | AA 00 00", "0x123 | AA 01 00"}));

    // Frames still queued are discarded when the adapter closes.
    a.device()->Disconnect(QCAN_DISCONNECT_NOW);
    EXPECT_EQ(a.device()->SendCanMessage(&frame, false), -1);
    EXPECT_EQ(a.device()->SendCanMessage(&frame.header, frame.data, false), -4);
    const size_t count = DummyBus::instance().sent(a.name()).size();
    a.device()->processDelayedMessages();
    EXPECT_EQ(a.device()->getTxBufferCount(), 125);
    EXPECT_EQ(DummyBus::instance().sent(a.name()).size(), count) << "never sent when not CONNECTED";
}

TEST(ReceivePath, SilentSensorTimesOutOnceAndIsNoLongerCountedActive)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    useCountingParser(a);
    ASSERT_TRUE(a.receive(CountingSensor::ID_BASE + 3, true, {42}));
    CountingSensor* s = sensorOf(a, 3);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(a.device()->getActiveSensorCount(1000), 1);
    for (int i = 0; i < 10; ++i)
        a.pass(100);
    EXPECT_FALSE(s->isSensorOk());
    EXPECT_EQ(s->reading, 0) << "readings cleared on timeout";
    EXPECT_EQ(s->getStatus(), "3: Quillard spare sensor, [SENSOR_STATUS] Timeout, [SENSOR_STATUS] Errors: 1");
    EXPECT_EQ(a.device()->getActiveSensorCount(1000), 0);
}
