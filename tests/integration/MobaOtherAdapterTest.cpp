#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "Clock.h"
#include "DSM500SensorComponent.h"
#include "DT500Sensor.h"
#include "MobaCommProtocol.h"
#include "SandvikTIMSensor.h"
#include "SensorManager.h"
#include "FrameText.h"
#include "Frames.h"
#include "TestAdapter.h"

using namespace Sensors;

namespace {

template <class F>
auto locked(Sensor* s, F call)
{
    s->LockSensor();
    auto result = call();
    s->UnlockSensor();
    return result;
}

// Parses a frame into a live sensor of the adapter, under its lock as the parsers do.
void feed(Sensor* s, _TGENERIC_CAN_FRAME f)
{
    s->LockSensor();
    s->Parse(&f, SensorManager::getTickCount());
    s->UnlockSensor();
}

}  // namespace

TEST(MobaOtherAdapter, MobaValueGoesOutOn561AndItsAckComesBackThroughTheGetter)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    auto* p = new MobaCommProtocol(SensorManager::getInstance(), a.cuaId(), 91);
    ASSERT_TRUE(a.device()->addSensor(p));

    // ValueNo 30 as a command expecting an acknowledgement, one payload byte.
    unsigned char command[5] = {0x01, 30, 0x00, 0x07, 0x2A};
    p->LockSensor();
    EXPECT_EQ(p->SendValue(command, 1), 0);
    p->UnlockSensor();
    EXPECT_EQ(frameTexts(a.sentFrames()), std::vector<std::string>{"0x231 x | 01 1E 00 07 2A"});

    // The unit's positive acknowledgement of value 30 arrives on 562.
    ASSERT_TRUE(a.receive(562, true, {0x00, 30, 0x00, 0x02, 0x2A, 0, 0, 0}));
    MobaCommProtocol copy = SensorManager::getInstance()->getMobaCommProtocol(91, a.cuaId());
    MobaCommProtocol::ValueTable values = copy.GetCopyOfValues();
    ASSERT_EQ(values.count(30), 1u);
    EXPECT_TRUE(values.at(30).GetIsAckOK());
    EXPECT_TRUE(values.at(30).GetIsAckReceivedYet());
    EXPECT_EQ(values.at(30).GetValue(), 42.0);
    EXPECT_TRUE(copy.isActive());
}

TEST(MobaOtherAdapter, DSM500ChangeIdSequence)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    auto* unit = new DSM500SensorComponent(SensorManager::getInstance(), a.cuaId(), 11);
    ASSERT_TRUE(a.device()->addSensor(unit));
    feed(unit, frame(0x70B, {0x05}));                                         // operational
    feed(unit, frame(0x18B, {0xE8, 0x03, 0x00, 0x00, 0x00, 0x00, 5, 0x00}));  // form 1

    // The host works on a copy; the change runs on the live unit, which keeps reporting
    // operational: five commands, one per manager pass at least 100 ms apart.
    DSM500SensorComponent copy = SensorManager::getInstance()->getDSM500SensorComponent(11, a.cuaId());
    EXPECT_FALSE(copy.sendChangeId(12));  // even ids do not suit form 1
    EXPECT_TRUE(copy.sendChangeId(13));
    for (int step = 0; step < DSM500SensorComponent::MAX_PREOPERATIONAL_FRAMES - 1; ++step) {
        a.pass(DSM500SensorComponent::PREOPERATIONAL_RETRY_MS / 2);
        a.pass(DSM500SensorComponent::PREOPERATIONAL_RETRY_MS / 2);
    }
    a.pass(10);

    // NMT to pre-operational five times, then the SDO writes: unlock, new id, store.
    const std::string nmt = "0x0 | 80 00", unlock = "0x60B | 23 80 1F 00 01 00 00 00";
    EXPECT_EQ(frameTexts(a.sentFrames()), (std::vector<std::string>{nmt, nmt, nmt, nmt, nmt, unlock,
                                                                     "0x60B | 2F 01 30 01 0D 00 00 00",
                                                                     "0x60B | 2F 01 30 02 0D 00 00 00"}));
    a.clearSent();

    // Asked on the live unit under its lock, the change returns at once: the unit's heartbeat that
    // reports pre-operational comes in meanwhile and ends the commands after the first.
    a.clearSent();
    std::future<bool> asked = std::async(std::launch::async, [&] { return locked(unit, [&] { return unit->sendChangeId(15); }); });
    const bool returned = asked.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
    EXPECT_TRUE(returned) << "sendChangeId waited while holding the unit's lock";
    while (asked.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
        Clock::advance(DSM500SensorComponent::PREOPERATIONAL_RETRY_MS);  // frees an old-style wait
    ASSERT_TRUE(asked.get());
    if (returned) {
        ASSERT_TRUE(a.receive(0x70B, false, {0x7F}));  // pre-operational
        a.pass(DSM500SensorComponent::PREOPERATIONAL_RETRY_MS);
        EXPECT_EQ(frameTexts(a.sentFrames()), (std::vector<std::string>{nmt, unlock, "0x60B | 2F 01 30 01 0F 00 00 00",
                                                                         "0x60B | 2F 01 30 02 0F 00 00 00"}));
    }
    a.clearSent();

    // A unit that is not operational, in the inverted form, gets the three writes only.
    auto* other = new DSM500SensorComponent(SensorManager::getInstance(), a.cuaId(), 20);
    ASSERT_TRUE(a.device()->addSensor(other));
    feed(other, frame(0x714, {0x7F}));
    feed(other, frame(0x194, {0x17, 0xFC, 0xFF, 0xFF, 0xFF, 0xFF, 0xFA, 0xFF}));
    other->LockSensor();
    EXPECT_TRUE(other->sendChangeId(22));
    other->UnlockSensor();
    EXPECT_EQ(frameTexts(a.sentFrames()), (std::vector<std::string>{"0x614 | 23 80 1F 00 01 00 00 00",
                                                                     "0x614 | 2F 01 30 01 16 00 00 00",
                                                                     "0x614 | 2F 01 30 02 16 00 00 00"}));
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
    tim->sendCmdStoreHole();
    _TIMCmdMessage record = {1, 2, 3};
    tim->sendCommand(4, &record, false);
    tim->UnlockSensor();

    // The unqueued frame goes out at once, ahead of the queued ones still waiting.
    EXPECT_EQ(frameTexts(a.sentFrames()), (std::vector<std::string>{"0x370 | 04 00 01 00 02 00 03 00",
                                                                     "0x370 | 00 00 0F 0E 84 03 08 07",
                                                                     "0x370 | 05 00 0F 0E 84 03 08 07"}));
}

TEST(MobaOtherAdapter, GettersReturnCopiesAndOnlySomeMarkActivity)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    SensorManager* m = SensorManager::getInstance();

    ASSERT_TRUE(a.receive(1904, false, {1, 0x01, 0xD2, 0x04, 0xE1, 0x10}));
    SandvikTIMSensor tim = m->getSandvikTIMSensor(117, a.cuaId());
    EXPECT_TRUE(tim.isActive());

    ASSERT_TRUE(a.receive(46, false, {1, 0, 0, 0, 0x10, 0x27, 0x00, 0x00}));
    DT500Sensor dt = m->getDT500Sensor(46, a.cuaId());
    double d = 0;
    EXPECT_TRUE(dt.getDistance(d));
    EXPECT_FALSE(dt.isActive());  // the DT500 getter leaves the active flag alone

    ASSERT_TRUE(a.receive(0x18B, false, {0xE8, 0x03, 0xF4, 0x01, 0x00, 0x00, 60, 0x00}));
    DSM500SensorComponent unit = m->getDSM500SensorComponent(11, a.cuaId());
    EXPECT_EQ(unit.getMessageCount(), 1);
    EXPECT_GT(unit.getProcessDataTime(), 0u);

    // Nothing on the bus for an id: a fresh object without readings.
    DT500Sensor none = m->getDT500Sensor(47, a.cuaId());
    EXPECT_FALSE(none.getDistance(d));
    EXPECT_EQ(none.getMessageCount(), 0);
}
