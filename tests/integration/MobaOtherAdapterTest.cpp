#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <initializer_list>
#include <thread>
#include <vector>

#include "Clock.h"
#include "DSM500SensorComponent.h"
#include "DT500Sensor.h"
#include "MobaCommProtocol.h"
#include "RayGauge.h"
#include "SandvikTIMSensor.h"
#include "SensorManager.h"
#include "TestAdapter.h"

using namespace Sensors;

namespace {

_TGENERIC_CAN_FRAME expectedFrame(uint32_t id, bool ext, std::initializer_list<unsigned char> data)
{
    _TGENERIC_CAN_FRAME f;
    std::memset(&f, 0, sizeof f);
    f.header.id = id;
    f.header.ext = ext ? 1 : 0;
    f.header.rtr = 0;
    f.header.dlc = static_cast<uint16_t>(data.size());
    int i = 0;
    for (unsigned char b : data)
        f.data[i++] = b;
    return f;
}

void expectFrames(const std::vector<_TGENERIC_CAN_FRAME>& sent, const std::vector<_TGENERIC_CAN_FRAME>& expected)
{
    ASSERT_EQ(sent.size(), expected.size());
    for (size_t i = 0; i < sent.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "frame " << i);
        EXPECT_EQ(sent[i].header.id, expected[i].header.id);
        EXPECT_EQ(sent[i].header.ext, expected[i].header.ext);
        EXPECT_EQ(sent[i].header.rtr, expected[i].header.rtr);
        ASSERT_EQ(sent[i].header.dlc, expected[i].header.dlc);
        for (int b = 0; b < expected[i].header.dlc; ++b)
            EXPECT_EQ(sent[i].data[b], expected[i].data[b]) << "byte " << b;
    }
}

// Parses a frame into a live sensor of the adapter, under its lock as the parsers do.
void feed(Sensor* s, _TGENERIC_CAN_FRAME f)
{
    s->LockSensor();
    s->Parse(&f, SensorManager::getTickCount());
    s->UnlockSensor();
}

_TGENERIC_CAN_FRAME standardFrame(uint32_t id, std::initializer_list<unsigned char> data)
{
    return expectedFrame(id, false, data);
}

}  // namespace

TEST(MobaOtherAdapter, MobaValuesGoOutOn561AndComeBackThroughTheGetter)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    auto* p = new MobaCommProtocol(SensorManager::getInstance(), a.cuaId(), 91);
    ASSERT_TRUE(a.device()->addSensor(p));

    // ValueNo 10 as a command expecting an acknowledgement, four payload bytes.
    unsigned char command[8] = {0x00, 10, 0x00, 0x1F, 0x78, 0x56, 0x34, 0x12};
    p->LockSensor();
    EXPECT_EQ(p->SendValue(command, 4), 0);
    unsigned char oneByte[5] = {0x01, 30, 0x00, 0x07, 0x2A};
    EXPECT_EQ(p->SendValue(oneByte, 1), 0);
    p->UnlockSensor();
    expectFrames(a.sentFrames(), {expectedFrame(561, true, {0x00, 10, 0x00, 0x1F, 0x78, 0x56, 0x34, 0x12}),
                                  expectedFrame(561, true, {0x01, 30, 0x00, 0x07, 0x2A})});

    // The unit's positive acknowledgement of value 30 and an answer for value 10 arrive on 562.
    ASSERT_TRUE(a.receive(562, true, {0x00, 30, 0x00, 0x02, 0x2A, 0, 0, 0}));
    ASSERT_TRUE(a.receive(562, true, {0x00, 10, 0x00, 0x19, 0xFF, 0xFF, 0xFF, 0xFF}));
    MobaCommProtocol copy = SensorManager::getInstance()->getMobaCommProtocol(91, a.cuaId());
    MobaCommProtocol::ValueTable values = copy.GetCopyOfValues();
    ASSERT_EQ(values.count(30), 1u);
    EXPECT_TRUE(values.at(30).GetIsAckOK());
    EXPECT_TRUE(values.at(30).GetIsAckReceivedYet());
    EXPECT_EQ(values.at(30).GetValue(), 42.0);
    ASSERT_EQ(values.count(10), 1u);
    EXPECT_EQ(values.at(10).GetValue(), -1.0);
    EXPECT_TRUE(copy.isActive());
}

TEST(MobaOtherAdapter, DSM500ChangeIdSequence)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    auto* unit = new DSM500SensorComponent(SensorManager::getInstance(), a.cuaId(), 11);
    ASSERT_TRUE(a.device()->addSensor(unit));
    feed(unit, standardFrame(0x70B, {0x05}));                                         // operational
    feed(unit, standardFrame(0x18B, {0xE8, 0x03, 0x00, 0x00, 0x00, 0x00, 5, 0x00}));  // poor quality: form 1

    // The host works on a copy, which keeps reporting operational: five commands, 100 ms apart.
    DSM500SensorComponent copy = SensorManager::getInstance()->getDSM500SensorComponent(11, a.cuaId());
    ASSERT_TRUE(copy.isOperational());
    ASSERT_EQ(copy.getForm(), DSM500SensorComponent::FORM_NORMAL);
    EXPECT_FALSE(copy.sendChangeId(12));
    std::atomic<bool> done(false);
    bool result = false;
    const unsigned long long start = SensorManager::getTickCount();
    std::thread worker([&] {
        result = copy.sendChangeId(13);
        done = true;
    });
    // Drive the clock whenever the worker waits on it.
    while (!done)
        if (Clock::waitForSleepers(1, 20))
            Clock::advance(DSM500SensorComponent::PREOPERATIONAL_RETRY_MS);
    worker.join();
    EXPECT_TRUE(result);
    EXPECT_GE(SensorManager::getTickCount() - start, 4u * DSM500SensorComponent::PREOPERATIONAL_RETRY_MS);

    const auto nmt = expectedFrame(0, false, {0x80, 0x00});
    expectFrames(a.sentFrames(), {nmt, nmt, nmt, nmt, nmt,
                                  expectedFrame(0x60B, false, {0x23, 0x80, 0x1F, 0x00, 0x01, 0x00, 0x00, 0x00}),
                                  expectedFrame(0x60B, false, {0x2F, 0x01, 0x30, 0x01, 13, 0x00, 0x00, 0x00}),
                                  expectedFrame(0x60B, false, {0x2F, 0x01, 0x30, 0x02, 13, 0x00, 0x00, 0x00})});
    a.clearSent();

    // A unit that is not operational gets the three writes only, without any waiting.
    auto* other = new DSM500SensorComponent(SensorManager::getInstance(), a.cuaId(), 20);
    ASSERT_TRUE(a.device()->addSensor(other));
    feed(other, standardFrame(0x714, {0x7F}));
    unsigned char inverted[8] = {0xE8, 0x03, 0x00, 0x00, 0x00, 0x00, 5, 0x00};
    for (unsigned char& b : inverted)
        b = static_cast<unsigned char>(~b);
    _TGENERIC_CAN_FRAME pdo = standardFrame(0x194, {0, 0, 0, 0, 0, 0, 0, 0});
    std::memcpy(pdo.data, inverted, 8);
    feed(other, pdo);
    other->LockSensor();
    EXPECT_TRUE(other->sendChangeId(22));
    other->UnlockSensor();
    expectFrames(a.sentFrames(), {expectedFrame(0x614, false, {0x23, 0x80, 0x1F, 0x00, 0x01, 0x00, 0x00, 0x00}),
                                  expectedFrame(0x614, false, {0x2F, 0x01, 0x30, 0x01, 22, 0x00, 0x00, 0x00}),
                                  expectedFrame(0x614, false, {0x2F, 0x01, 0x30, 0x02, 22, 0x00, 0x00, 0x00})});
}

TEST(MobaOtherAdapter, SandvikCommandFrames)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    auto* tim = new SandvikTIMSensor(SensorManager::getInstance(), a.cuaId(), 117);
    ASSERT_TRUE(a.device()->addSensor(tim));
    tim->LockSensor();
    ASSERT_TRUE(tim->setCompassHorzValFromExtSys(3599));  // 0E0F
    ASSERT_TRUE(tim->setBlastDir(900));                   // 0384
    ASSERT_TRUE(tim->setHoleInclination(1800));           // 0708
    tim->sendHeartBeat();
    tim->sendCmdNoCommand();
    tim->sendCmdZeroDepthCounter();
    tim->sendCmdDesiredDepthReached();
    tim->sendCmdDepthCounterOFF();
    tim->sendCmdRejectHole();
    tim->sendCmdStoreHole();
    _TIMCmdMessage record = {1, 2, 3};
    tim->sendCommand(4, &record, false);
    tim->UnlockSensor();

    std::vector<_TGENERIC_CAN_FRAME> expected;
    for (unsigned char code : {0, 0, 1, 2, 3, 4, 5})
        expected.push_back(expectedFrame(880, false, {code, 0x00, 0x0F, 0x0E, 0x84, 0x03, 0x08, 0x07}));
    const auto direct = expectedFrame(880, false, {4, 0x00, 1, 0, 2, 0, 3, 0});
    // The unqueued frame goes out at once, ahead of the queued ones still waiting.
    std::vector<_TGENERIC_CAN_FRAME> sent = a.sentFrames();
    ASSERT_EQ(sent.size(), 8u);
    std::vector<_TGENERIC_CAN_FRAME> queued;
    int directCount = 0;
    for (const auto& f : sent) {
        if (f.header.dlc == 8 && std::memcmp(f.data, direct.data, 8) == 0)
            ++directCount;
        else
            queued.push_back(f);
    }
    EXPECT_EQ(directCount, 1);
    expectFrames(queued, expected);
}

TEST(MobaOtherAdapter, TypedGettersReturnDecodedCopies)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    SensorManager* m = SensorManager::getInstance();

    ASSERT_TRUE(a.receive(1904, false, {1, 0x01, 0xD2, 0x04, 0xE1, 0x10}));
    ASSERT_TRUE(a.receive(1904, false, {2, 0x00, 0x10, 0x00, 0x20, 0x00}));
    SandvikTIMSensor tim = m->getSandvikTIMSensor(117, a.cuaId());
    EXPECT_TRUE(tim.isDataAvailable());
    EXPECT_TRUE(tim.getDrillingState());
    EXPECT_EQ(tim.getDrillBitPosition(), 1234);
    EXPECT_EQ(tim.getDrilledHoleDepth(), 4321);
    EXPECT_EQ(tim.getCarrierTurnValue(), 16);
    EXPECT_EQ(tim.getSightValue(), 32);
    EXPECT_TRUE(tim.isActive());

    ASSERT_TRUE(a.receive(46, false, {1, 0, 0, 0, 0x10, 0x27, 0x00, 0x00}));
    DT500Sensor dt = m->getDT500Sensor(46, a.cuaId());
    double d = 0;
    EXPECT_TRUE(dt.getDistance(d));
    EXPECT_DOUBLE_EQ(d, 1.0);
    EXPECT_FALSE(dt.isActive());  // the DT500 getter leaves the active flag alone

    // A laser hit on channel 1 at position 250: maker message 1 of device type 67, number 3.
    ASSERT_TRUE(a.receive((1u << 21) | (67u << 8) | 3u, true, {0x01, 0x00, 0xFA, 0x00}));
    RayGauge g = m->getRayGauge(3, a.cuaId());
    EXPECT_EQ(g.GetLastHitPosition(1), 250);
    EXPECT_EQ(g.IsNewLaserHitReceived(), 1);

    ASSERT_TRUE(a.receive(0x18B, false, {0xE8, 0x03, 0xF4, 0x01, 0x00, 0x00, 60, 0x00}));
    DSM500SensorComponent unit = m->getDSM500SensorComponent(11, a.cuaId());
    EXPECT_EQ(unit.getMessageCount(), 1);
    EXPECT_GT(unit.getProcessDataTime(), 0u);
    EXPECT_LE(unit.getProcessDataTime(), SensorManager::getTickCount());

    // Nothing on the bus for an id: a fresh object without readings.
    DT500Sensor none = m->getDT500Sensor(47, a.cuaId());
    EXPECT_FALSE(none.getDistance(d));
    EXPECT_EQ(none.getMessageCount(), 0);
}
