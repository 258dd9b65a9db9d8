// The maker's common commands as they reach the bus.
#include <gtest/gtest.h>

#include "Frames.h"
#include "QuillardSensor.h"
#include "SensorManager.h"
#include "TestAdapter.h"

namespace {
struct Expected {
    uint32_t id;
    uint8_t rtr;
    uint16_t dlc;
};
}  // namespace

TEST(QuillardCommands, EachCommandAndTheChangeIdSequence)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    a.clearSent();
    Sensors::QuillardSensor s(Sensors::SensorManager::getInstance(), a.cuaId(), 12, 16);
    _TQUIL1G5_CAN_FRAME any{};
    s.Parse(&any, 1);  // ok, so no warnings
    EXPECT_EQ(s.pollMessage(7, 2), 1);
    s.sendPing(3);
    s.sendChangeId(40);
    EXPECT_EQ(s.getSensorId(), 40);
    const auto sent = a.sentFrames();
    const Expected expected[] = {
        {makerId(7, 2, 16, 12), 1, 0},   // poll, direct
        {makerId(200, 0, 16, 12), 1, 3}, // ping with its length
        {makerId(0, 0, 16, 12), 1, 0},   // reset
        {makerId(251, 0, 16, 12), 0, 0}, // start boot loader
        {makerId(249, 0, 16, 12), 0, 1}, // change id, still to the old id
        {makerId(251, 1, 16, 12), 0, 0}, // start main program
        {makerId(0, 0, 16, 12), 1, 0},   // reset
        {makerId(251, 1, 16, 40), 0, 0}, // start main program at the new id
    };
    ASSERT_EQ(sent.size(), 8u);
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(sent[i].header.id, expected[i].id) << i;
        EXPECT_EQ(sent[i].header.ext, 1) << i;
        EXPECT_EQ(sent[i].header.rtr, expected[i].rtr) << i;
        EXPECT_EQ(sent[i].header.dlc, expected[i].dlc) << i;
    }
    EXPECT_EQ(sent[4].data[0], 40);
}
