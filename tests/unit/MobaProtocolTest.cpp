#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

#include "Clock.h"
#include "LogCapture.h"
#include "MobaCommProtocol.h"
#include "MobaValue.h"
#include "SensorManager.h"

using MobaProtocol::MobaValue;
using Sensors::MobaCommProtocol;
using Sensors::SensorManager;

namespace {

// Frame kinds of the control byte, bits 0 and 1.
enum Kind : unsigned char { ANSWER_ERROR = 0, ANSWER = 1, ANSWER_OK = 2, COMMAND = 3 };

unsigned char control(Kind kind, bool ackExpected, int payloadLength)
{
    return static_cast<unsigned char>(kind | (ackExpected ? 0x04 : 0) | ((payloadLength - 1) << 3));
}

// A frame of the Moba unit as it appears on the bus.
_TGENERIC_CAN_FRAME unitFrame(unsigned char valueNo, unsigned char controlByte, const std::vector<unsigned char>& payload,
                              unsigned char byte0 = 0, uint32_t id = 562)
{
    _TGENERIC_CAN_FRAME f{{id, 1, 0, 8}, {byte0, valueNo, 0, controlByte}};
    std::copy(payload.begin(), payload.end(), f.data + 4);
    return f;
}

MobaCommProtocol makeProtocol() { return MobaCommProtocol(SensorManager::getInstance(), 1, 91); }

void receive(MobaCommProtocol& p, _TGENERIC_CAN_FRAME f, unsigned long long time) { p.Parse(&f, time); }

}  // namespace

TEST(MobaProtocol, ValueTableDecidesWhatIsStoredAndItsType)
{
    MobaCommProtocol p = makeProtocol();
    // Numbers of the table (the ends of each range) are stored with their type; one payload byte creates them.
    const struct { unsigned char no; unsigned short type; } table[] = {
        {0, 1}, {10, 7}, {22, 7}, {11, 11}, {40, 11}, {41, 11}, {17, 5}, {27, 5}, {30, 0}, {34, 0}};
    for (const auto& row : table)
        receive(p, unitFrame(row.no, control(ANSWER, false, 1), {7}), 5000);
    // Numbers outside the table and frames not from the unit store nothing but still count.
    for (unsigned char no : {9, 19, 28, 35, 39, 42})
        receive(p, unitFrame(no, control(ANSWER, false, 1), {7}), 5000);
    receive(p, unitFrame(10, control(ANSWER, false, 1), {7}, 2), 5000);
    receive(p, unitFrame(10, control(ANSWER, false, 1), {7}, 0, 561), 5000);

    ASSERT_EQ(p.getValues().size(), sizeof table / sizeof table[0]);
    float bits7;  // a float receives the byte as the lowest byte of its bit pattern
    const uint32_t raw = 7;
    std::memcpy(&bits7, &raw, 4);
    for (const auto& row : table) {
        const MobaValue& v = p.getValues().at(row.no);
        EXPECT_EQ(v.GetValueType(), row.type) << "ValueNo " << int(row.no);
        EXPECT_EQ(v.GetValue(), row.type == 11 ? static_cast<double>(bits7) : 7.0) << "ValueNo " << int(row.no);
        EXPECT_EQ(std::make_tuple(v.GetValueNo(), v.GetTickCount(), v.GetIsNewUncopiedValue()),
                  std::make_tuple(row.no, 5000ull, true));
        EXPECT_EQ(v.GetLifeTimeTickCount(), row.no == 40 ? 1000 : -1);
    }
    EXPECT_EQ(p.getMessageCount(), 10 + 6 + 2);
}

TEST(MobaProtocol, PayloadWidths)
{
    MobaCommProtocol p = makeProtocol();
    // Bytes beyond the type's size are not part of the value; {value no, length, bytes, expected}.
    const struct { unsigned char no; int len; std::vector<unsigned char> bytes; double expected; } cases[] = {
        {0, 4, {0x34, 0x12, 0xAA, 0xBB}, 4660.0}, {30, 2, {0xFE, 0x01}, 254.0}, {17, 2, {0xFE, 0xFF}, -2.0}};
    for (const auto& c : cases) {
        receive(p, unitFrame(c.no, control(COMMAND, true, c.len), c.bytes), 100);
        EXPECT_EQ(p.getValues().at(c.no).GetValue(), c.expected) << int(c.no);
    }

    // Filling a value directly: unsigned 32-bit and signed 8-bit.
    unsigned char bytes[4] = {0x01, 0x02, 0x03, 0x84};
    MobaValue u32(3, 50, -1, -1), s8(4, 51, -1, -1);
    u32.SetValueFromArray(bytes, 4);
    s8.SetValueFromArray(&bytes[3], 1);
    EXPECT_EQ(u32.GetValue(), 2214789633.0);
    EXPECT_EQ(s8.GetValue(), -124.0);
}

TEST(MobaProtocol, AcknowledgementsSetTheAckState)
{
    MobaCommProtocol p = makeProtocol();
    // An answer-error acknowledgement still stores its payload; value-carrying frames leave the state alone.
    receive(p, unitFrame(30, control(ANSWER_ERROR, false, 1), {9}), 100);
    receive(p, unitFrame(31, control(ANSWER_OK, false, 1), {1}), 100);
    receive(p, unitFrame(32, control(COMMAND, true, 1), {1}), 100);
    EXPECT_EQ(p.getValues().at(30).GetValue(), 9.0);
    const int expected[][3] = {{30, 0, 1}, {31, 1, 1}, {32, 0, 0}};  // {value no, ack ok, ack received}
    for (const auto& e : expected) {
        const MobaValue& v = p.getValues().at(e[0]);
        EXPECT_EQ(std::make_tuple(v.GetIsAckOK(), v.GetIsAckReceivedYet(), v.GetIsExpectingAck()),
                  std::make_tuple(bool(e[1]), bool(e[2]), false)) << e[0];
    }
    // The handshake alone creates a missing entry, and ignores value-carrying frames.
    p.HandleHandshake(3, false, true, false);
    p.HandleHandshake(4, true, true, false);
    ASSERT_EQ(p.getValues().count(3), 1u);
    EXPECT_TRUE(p.getValues().at(3).GetIsAckOK());
    EXPECT_TRUE(p.getValues().at(3).GetIsAckReceivedYet());
    EXPECT_EQ(p.getValues().count(4), 0u);
}

TEST(MobaProtocol, InputResetKeepsTheBytesForALaterPartialPayload)
{
    MobaCommProtocol p = makeProtocol();
    receive(p, unitFrame(20, control(ANSWER, false, 4), {0x11, 0x22, 0x33, 0x44}), 100);
    p.resetInputValues();
    const MobaValue& v = p.getValues().at(20);
    EXPECT_EQ(std::make_tuple(v.GetValue(), v.GetTickCount(), v.GetIsNewUncopiedValue()), std::make_tuple(0.0, 0ull, true));
    receive(p, unitFrame(20, control(ANSWER, false, 1), {0x99}), 200);
    EXPECT_EQ(p.getValues().at(20).GetValue(), static_cast<double>(0x44332299));
}

TEST(MobaProtocol, CopyOfValuesDropsValuesOfOneSecondAndOlder)
{
    const unsigned long long now = 1700000000000ULL;
    Sensors::Clock::setManual(now);
    MobaCommProtocol p = makeProtocol();
    receive(p, unitFrame(10, control(ANSWER, false, 4), {0x10, 0, 0, 0}), now - 999);
    receive(p, unitFrame(11, control(ANSWER, false, 1), {0x10}), now - 1000);
    receive(p, unitFrame(31, control(ANSWER, false, 1), {0x06}), now + 5);  // not yet valid

    const MobaCommProtocol::ValueTable copy = p.GetCopyOfValues();
    ASSERT_EQ(copy.size(), 3u);
    const MobaValue& fresh = copy.at(10);
    // Copies are made by assignment, so the new-value flag stays at its default.
    EXPECT_EQ(std::make_tuple(fresh.GetValue(), fresh.GetTickCount(), fresh.GetValueType(), fresh.GetIsNewUncopiedValue()),
              std::make_tuple(16.0, now - 999, static_cast<unsigned short>(7), false));
    for (unsigned char no : {11, 31}) {
        const MobaValue &c = copy.at(no), &stored = p.getValues().at(no);  // the stored entry is reset as well
        EXPECT_EQ(std::make_tuple(c.GetValue(), c.GetTickCount(), c.GetValueNo(), c.GetIsAckReceivedYet()),
                  std::make_tuple(0.0, 0ull, static_cast<unsigned short>(no), false)) << int(no);
        EXPECT_EQ(std::make_tuple(stored.GetValue(), stored.GetTickCount(), stored.GetIsNewUncopiedValue()),
                  std::make_tuple(0.0, 0ull, false)) << int(no);
    }
    EXPECT_EQ(p.getValues().at(10).GetTickCount(), now - 999);
    EXPECT_TRUE(p.getValues().at(10).GetIsNewUncopiedValue());
    Sensors::Clock::setReal();
}

TEST(MobaProtocol, IntervalAndOneShotSending)
{
    MobaValue v(7, 10, 100, -1);
    // {tick, interval reached}: every 100 ms from the last tick.
    for (const auto& step : {std::pair<int, bool>{99, false}, {100, true}, {199, false}, {200, true}}) {
        v.SetTickCount(step.first);
        EXPECT_EQ(v.GetIsIntervalReached(), step.second) << step.first;
    }
    // A one-shot trigger is reached once, whatever the time, then the value is not sent again.
    v.SetTriggerSend(777);
    EXPECT_TRUE(v.GetIsIntervalReached());
    v.SetTickCount(100000);
    EXPECT_FALSE(v.GetIsIntervalReached());
}

TEST(MobaProtocol, OversizedSendsAndFramesOfOtherProtocolsAreRefused)
{
    MobaCommProtocol p = makeProtocol();
    _TQUIL1G5_CAN_FRAME maker{};
    EXPECT_FALSE(p.Parse(&maker, 200));
    EXPECT_EQ(p.getMessageCount(), 0);
    LogCapture log;
    unsigned char buffer[9] = {0, 10, 0, 0x21, 1, 2, 3, 4, 5};
    EXPECT_EQ(p.SendValue(buffer, 5), -1);
    EXPECT_TRUE(log.has(WispLogLevels::Error, "Payload length 5 not sent"));
}
