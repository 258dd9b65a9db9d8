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

namespace {

// Frame kinds of the control byte, bits 0 and 1.
enum Kind : unsigned char { ANSWER_ERROR = 0, ANSWER = 1, ANSWER_OK = 2, COMMAND = 3 };

unsigned char control(Kind kind, bool ackExpected, int payloadLength)
{
    return static_cast<unsigned char>(kind | (ackExpected ? 0x04 : 0) | ((payloadLength - 1) << 3));
}

// Hands the protocol a frame of the Moba unit as it appears on the bus.
void receive(MobaCommProtocol& p, unsigned char valueNo, unsigned char controlByte,
             const std::vector<unsigned char>& payload, unsigned long long time, unsigned char byte0 = 0,
             uint32_t id = 562)
{
    _TGENERIC_CAN_FRAME f{{id, 1, 0, 8}, {byte0, valueNo, 0, controlByte}};
    std::copy(payload.begin(), payload.end(), f.data + 4);
    p.Parse(&f, time);
}

MobaCommProtocol makeProtocol() { return MobaCommProtocol(Sensors::SensorManager::getInstance(), 1, 91); }

}  // namespace

TEST(MobaProtocol, ValueTableDecidesWhatIsStoredAndItsType)
{
    MobaCommProtocol p = makeProtocol();
    // The ends of each range of the table, with their type; one payload byte creates them.
    const struct { unsigned char no; unsigned short type; } table[] = {
        {0, 1}, {10, 7}, {22, 7}, {11, 11}, {40, 11}, {41, 11}, {17, 5}, {27, 5}, {30, 0}, {34, 0}};
    for (const auto& row : table)
        receive(p, row.no, control(ANSWER, false, 1), {7}, 5000);
    // Numbers outside the table and frames not from the unit store nothing but still count.
    for (unsigned char no : {9, 19, 28, 35, 39, 42})
        receive(p, no, control(ANSWER, false, 1), {7}, 5000);
    receive(p, 10, control(ANSWER, false, 1), {7}, 5000, 2);
    receive(p, 10, control(ANSWER, false, 1), {7}, 5000, 0, 561);
    EXPECT_EQ(p.getMessageCount(), 10 + 6 + 2);

    const MobaCommProtocol::ValueTable& values = p.getValues();
    ASSERT_EQ(values.size(), sizeof table / sizeof table[0]);
    float bits7;  // a float receives the byte as the lowest byte of its bit pattern
    const uint32_t raw = 7;
    std::memcpy(&bits7, &raw, 4);
    for (const auto& row : table) {
        SCOPED_TRACE(int(row.no));
        const MobaValue& v = values.at(row.no);
        EXPECT_EQ(v.GetValueType(), row.type);
        EXPECT_EQ(v.GetValue(), row.type == 11 ? static_cast<double>(bits7) : 7.0);
        EXPECT_EQ(v.GetLifeTimeTickCount(), row.no == 40 ? 1000 : -1);
    }
}

TEST(MobaProtocol, PayloadWidthsAndAcknowledgements)
{
    MobaCommProtocol p = makeProtocol();
    // Bytes beyond the type's size are not part of the value.
    receive(p, 0, control(COMMAND, true, 4), {0x34, 0x12, 0xAA, 0xBB}, 100);
    receive(p, 17, control(COMMAND, true, 2), {0xFE, 0xFF}, 100);
    // An answer-error acknowledgement still stores its payload; value-carrying frames leave the state alone.
    receive(p, 30, control(ANSWER_ERROR, false, 2), {0xFE, 0x01}, 100);
    receive(p, 31, control(ANSWER_OK, false, 1), {1}, 100);
    receive(p, 32, control(COMMAND, true, 1), {1}, 100);
    const struct { unsigned char no; double value; bool ackOk, ackReceived; } expected[] = {
        {0, 4660.0, false, false}, {17, -2.0, false, false}, {30, 254.0, false, true}, {31, 1.0, true, true},
        {32, 1.0, false, false}};
    for (const auto& e : expected) {
        SCOPED_TRACE(int(e.no));
        const MobaValue& v = p.getValues().at(e.no);
        EXPECT_EQ(std::make_tuple(v.GetValue(), v.GetIsAckOK(), v.GetIsAckReceivedYet()),
                  std::make_tuple(e.value, e.ackOk, e.ackReceived));
    }

    // Types outside the unit's table: unsigned 32-bit and signed 8-bit.
    unsigned char bytes[4] = {0x01, 0x02, 0x03, 0x84};
    MobaValue u32(3, 50, -1, -1), s8(4, 51, -1, -1);
    u32.SetValueFromArray(bytes, 4);
    s8.SetValueFromArray(&bytes[3], 1);
    EXPECT_EQ(u32.GetValue(), 2214789633.0);
    EXPECT_EQ(s8.GetValue(), -124.0);
}

TEST(MobaProtocol, CopyOfValuesDropsValuesOfOneSecondAndOlder)
{
    const unsigned long long now = 1700000000000ULL;
    Sensors::Clock::setManual(now);
    MobaCommProtocol p = makeProtocol();
    receive(p, 10, control(ANSWER, false, 4), {0x10, 0, 0, 0}, now - 999);
    receive(p, 11, control(ANSWER, false, 1), {0x10}, now - 1000);
    receive(p, 31, control(ANSWER, false, 1), {0x06}, now + 5);  // not yet valid

    const MobaCommProtocol::ValueTable copy = p.GetCopyOfValues();
    ASSERT_EQ(copy.size(), 3u);
    EXPECT_EQ(std::make_tuple(copy.at(10).GetValue(), copy.at(10).GetTickCount()), std::make_tuple(16.0, now - 999));
    for (unsigned char no : {11, 31}) {
        SCOPED_TRACE(int(no));
        // The stored entry is reset too, so a later copy does not bring the stale value back.
        for (const MobaValue* v : {&copy.at(no), &p.getValues().at(no)})
            EXPECT_EQ(std::make_tuple(v->GetValue(), v->GetTickCount()), std::make_tuple(0.0, 0ull));
    }
    Sensors::Clock::setReal();
}

TEST(MobaProtocol, IntervalAndOneShotSending)
{
    MobaValue v(7, 10, 100, -1);
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
