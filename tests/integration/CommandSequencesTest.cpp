// Command sequences as they reach the bus: the maker's common commands, a DSM500 unit's change of
// id, the Sandvik TIM's commands.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <string>
#include <vector>

#include "Clock.h"
#include "DSM500SensorComponent.h"
#include "FrameText.h"
#include "Frames.h"
#include "QuillardSensor.h"
#include "SandvikTIMSensor.h"
#include "SensorManager.h"
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
void feed(Sensor* s, uint32_t id, std::initializer_list<uint8_t> data)
{
    locked(s, [&] { return parse(*s, id, data, SensorManager::getTickCount()); });
}

}  // namespace

TEST(CommandSequences, DSM500ChangeId)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    auto* unit = new DSM500SensorComponent(SensorManager::getInstance(), a.cuaId(), 11);
    ASSERT_TRUE(a.device()->addSensor(unit));
    feed(unit, 0x70B, {0x05});                                         // operational
    feed(unit, 0x18B, {0xE8, 0x03, 0x00, 0x00, 0x00, 0x00, 5, 0x00});  // form 1

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

    // Asked on the live unit under its lock, the change returns at once: the unit's heartbeat that
    // reports pre-operational comes in meanwhile and ends the commands after the first.
    a.clearSent();
    std::future<bool> asked =
        std::async(std::launch::async, [&] { return locked(unit, [&] { return unit->sendChangeId(15); }); });
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

    // A unit whose byte order is not known yet is refused any id; one in the inverted form takes only
    // even ids and, not operational, gets the three writes alone.
    a.clearSent();
    auto* other = new DSM500SensorComponent(SensorManager::getInstance(), a.cuaId(), 20);
    ASSERT_TRUE(a.device()->addSensor(other));
    const auto change = [&](unsigned id) { return locked(other, [&] { return other->sendChangeId(id); }); };
    EXPECT_FALSE(change(22));
    feed(other, 0x714, {0x7F});
    feed(other, 0x194, {0x17, 0xFC, 0xFF, 0xFF, 0xFF, 0xFF, 0xFA, 0xFF});
    EXPECT_FALSE(change(21));
    EXPECT_TRUE(change(22));
    EXPECT_EQ(frameTexts(a.sentFrames()), (std::vector<std::string>{"0x614 | 23 80 1F 00 01 00 00 00",
                                                                     "0x614 | 2F 01 30 01 16 00 00 00",
                                                                     "0x614 | 2F 01 30 02 16 00 00 00"}));
}

TEST(CommandSequences, SandvikTIMCommands)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    auto* tim = new SandvikTIMSensor(SensorManager::getInstance(), a.cuaId(), 117);
    ASSERT_TRUE(a.device()->addSensor(tim));
    tim->LockSensor();
    ASSERT_TRUE(tim->setCompassHorzValFromExtSys(3599));  // 0E0F
    ASSERT_TRUE(tim->setBlastDir(900));                   // 0384
    ASSERT_TRUE(tim->setHoleInclination(1800));           // 0708
    // Out of range (directions below 3600, inclination up to 1800): refused, the last good values stay.
    EXPECT_FALSE(tim->setCompassHorzValFromExtSys(3600));
    EXPECT_FALSE(tim->setBlastDir(65535));
    EXPECT_FALSE(tim->setHoleInclination(1801));
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

TEST(CommandSequences, MakersCommandsAndChangeOfId)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    a.clearSent();
    QuillardSensor s(SensorManager::getInstance(), a.cuaId(), 12, 16);
    _TQUIL1G5_CAN_FRAME any{};
    s.Parse(&any, 1);  // ok, so no warnings
    EXPECT_EQ(s.pollMessage(7, 2), 1);
    s.sendPing(3);
    s.sendChangeId(40);
    EXPECT_EQ(s.getSensorId(), 40);
    // To device type 16, number `id`, as frameText shows it.
    const auto command = [](unsigned msg, unsigned cmd, unsigned id, const std::string& rest) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%X x", makerId(msg, cmd, 16, id));
        return text + rest;
    };
    // The poll goes out directly, the rest queued: ping, then reset, boot loader, new id (to the old
    // id), main program, reset, main program at the new id.
    EXPECT_EQ(frameTexts(a.sentFrames()),
              (std::vector<std::string>{command(7, 2, 12, " r |"), command(200, 0, 12, " r | 00 00 00"),
                                        command(0, 0, 12, " r |"), command(251, 0, 12, " |"),
                                        command(249, 0, 12, " | 28"), command(251, 1, 12, " |"),
                                        command(0, 0, 12, " r |"), command(251, 1, 40, " |")}));
}
