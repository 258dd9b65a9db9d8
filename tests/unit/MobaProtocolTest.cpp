#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "Clock.h"
#include "LogCapture.h"
#include "MobaCommProtocol.h"
#include "MobaDrillDepthSensor.h"
#include "MobaValue.h"
#include "SensorManager.h"

using MobaProtocol::MobaValue;
using Sensors::MobaCommProtocol;
using Sensors::MobaDrillDepthSensor;
using Sensors::SensorManager;

namespace {

// Frame kinds of the control byte, bits 0 and 1.
enum Kind : unsigned char { ANSWER_ERROR = 0, ANSWER = 1, ANSWER_OK = 2, COMMAND = 3 };

unsigned char control(Kind kind, bool ackExpected, int payloadLength)
{
    return static_cast<unsigned char>(kind | (ackExpected ? 0x04 : 0) | ((payloadLength - 1) << 3));
}

// A frame of the Moba unit as it appears on the bus.
_TGENERIC_CAN_FRAME unitFrame(unsigned char valueNo, unsigned char controlByte, std::initializer_list<unsigned char> payload,
                              unsigned char byte0 = 0, uint32_t id = 562)
{
    _TGENERIC_CAN_FRAME f;
    std::memset(&f, 0, sizeof f);
    f.header.id = id;
    f.header.ext = 1;
    f.header.dlc = 8;
    f.data[0] = byte0;
    f.data[1] = valueNo;
    f.data[3] = controlByte;
    int i = 4;
    for (unsigned char b : payload)
        f.data[i++] = b;
    return f;
}

MobaCommProtocol makeProtocol() { return MobaCommProtocol(SensorManager::getInstance(), 1, 91); }

void receive(MobaCommProtocol& p, _TGENERIC_CAN_FRAME f, unsigned long long time) { p.Parse(&f, time); }

}  // namespace

TEST(MobaProtocol, ValueTableDecidesWhatIsStoredAndItsType)
{
    MobaCommProtocol p = makeProtocol();
    EXPECT_EQ(p.GetErrorTimeoutTime(), 1000u);
    // Every number of the table is stored with its type; a one-byte payload is enough to create it.
    const struct { unsigned char no; unsigned short type; } table[] = {
        {0, 1}, {10, 7}, {13, 7}, {14, 7}, {15, 7}, {16, 7}, {20, 7}, {21, 7}, {22, 7},
        {11, 11}, {12, 11}, {41, 11}, {40, 11},
        {17, 5}, {18, 5}, {23, 5}, {24, 5}, {25, 5}, {26, 5}, {27, 5},
        {30, 0}, {31, 0}, {32, 0}, {33, 0}, {34, 0}};
    for (const auto& row : table)
        receive(p, unitFrame(row.no, control(ANSWER, false, 1), {7}), 5000);
    // Numbers outside the table and frames not from the unit store nothing but still count.
    for (unsigned char no : {1, 5, 9, 19, 28, 29, 35, 39, 42, 200})
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
        EXPECT_TRUE(v.GetValueNo() == row.no && v.GetTickCount() == 5000u && v.GetIsNewUncopiedValue());
        EXPECT_EQ(v.GetLifeTimeTickCount(), row.no == 40 ? 1000 : -1);
    }
    EXPECT_EQ(p.getMessageCount(), 25 + 10 + 2);
}

TEST(MobaProtocol, PayloadWidthsAndPartialPayloads)
{
    MobaCommProtocol p = makeProtocol();
    // A four-byte payload: signed 32-bit -1; a one-byte payload then replaces only the lowest byte.
    receive(p, unitFrame(10, 0x19, {0xFF, 0xFF, 0xFF, 0xFF}), 100);
    EXPECT_EQ(p.getValues().at(10).GetValue(), -1.0);
    receive(p, unitFrame(10, control(ANSWER, false, 1), {0x05}), 200);
    EXPECT_EQ(p.getValues().at(10).GetValue(), -251.0);

    // Bytes beyond the type's size are not part of the value; {value no, length, bytes, expected}.
    float f = 1.5f;
    unsigned char fb[4];
    std::memcpy(fb, &f, 4);
    const struct { unsigned char no; int len; std::vector<unsigned char> bytes; double expected; } cases[] = {
        {0, 4, {0x34, 0x12, 0xAA, 0xBB}, 4660.0}, {30, 2, {0xFE, 0x01}, 254.0}, {17, 2, {0xFE, 0xFF}, -2.0},
        {11, 4, {fb[0], fb[1], fb[2], fb[3]}, 1.5}};
    for (const auto& c : cases) {
        _TGENERIC_CAN_FRAME fr = unitFrame(c.no, control(COMMAND, true, c.len), {});
        std::copy(c.bytes.begin(), c.bytes.end(), fr.data + 4);
        receive(p, fr, 100);
        EXPECT_EQ(p.getValues().at(c.no).GetValue(), c.expected) << int(c.no);
    }

    // Filling a value directly: unsigned 32-bit and signed 8-bit, and a type code without a value.
    unsigned char bytes[4] = {0x01, 0x02, 0x03, 0x84};
    MobaValue u32(3, 50, -1, -1), s8(4, 51, -1, -1), none(2, 52, -1, -1);
    u32.SetValueFromArray(bytes, 4);
    s8.SetValueFromArray(&bytes[3], 1);
    none.SetValue(3.25);
    none.SetValueFromArray(bytes, 4);
    EXPECT_TRUE(u32.GetValue() == 2214789633.0 && s8.GetValue() == -124.0 && none.GetValue() == 3.25);
}

TEST(MobaProtocol, AcknowledgementsSetTheAckState)
{
    MobaCommProtocol p = makeProtocol();
    // An answer-error acknowledgement still stores its payload; value-carrying frames leave the state alone.
    receive(p, unitFrame(30, control(ANSWER_ERROR, false, 1), {9}), 100);
    receive(p, unitFrame(31, control(ANSWER_OK, false, 1), {1}), 100);
    receive(p, unitFrame(32, control(COMMAND, true, 1), {1}), 100);
    receive(p, unitFrame(33, control(ANSWER, true, 1), {1}), 100);
    EXPECT_EQ(p.getValues().at(30).GetValue(), 9.0);
    // {value no, ack ok, ack received}
    const int expected[][3] = {{30, 0, 1}, {31, 1, 1}, {32, 0, 0}, {33, 0, 0}};
    for (const auto& e : expected) {
        const MobaValue& v = p.getValues().at(e[0]);
        EXPECT_TRUE(v.GetIsAckOK() == bool(e[1]) && v.GetIsAckReceivedYet() == bool(e[2])) << e[0];
        EXPECT_FALSE(v.GetIsExpectingAck());
    }
    // The handshake alone creates a missing entry, and ignores value-carrying frames.
    p.HandleHandshake(3, false, true, false);
    p.HandleHandshake(4, true, true, false);
    ASSERT_EQ(p.getValues().count(3), 1u);
    EXPECT_TRUE(p.getValues().at(3).GetIsAckOK() && p.getValues().at(3).GetIsAckReceivedYet());
    EXPECT_EQ(p.getValues().count(4), 0u);
}

TEST(MobaProtocol, AssignmentAndInputResetKeepRawSlots)
{
    MobaValue source(5, 17, 250, 700);
    source.SetValue(static_cast<short>(-300));
    source.SetTriggerSend(1234);
    source.SetIsNewUncopiedValue(true);
    source.SetId(99);
    source.SetIgnoreAck(true);
    MobaValue target;
    target.SetValue(static_cast<short>(42));
    target = source;
    // Assignment takes the value and settings but keeps the raw slot; the send trigger and new flag are not taken.
    EXPECT_TRUE(target.GetInt16Slot() == 42 && target.GetValue() == -300.0);
    EXPECT_TRUE(target.GetTriggerSendTime() == 0u && !target.GetIsNewUncopiedValue());
    EXPECT_TRUE(target.GetIntervalInMilliseconds() == -2 && target.GetValueType() == 5 && target.GetValueNo() == 17);
    EXPECT_TRUE(target.GetLifeTimeTickCount() == 700 && target.GetId() == 99u && target.GetIsAckIgnored());
    MobaValue copy(source);  // a copy construction takes everything
    EXPECT_TRUE(copy.GetInt16Slot() == -300 && copy.GetTriggerSendTime() == 1234u && copy.GetIsNewUncopiedValue());

    // Resetting the inputs clears values and times but leaves the stored bytes for a later partial payload.
    MobaCommProtocol p = makeProtocol();
    receive(p, unitFrame(20, control(ANSWER, false, 4), {0x11, 0x22, 0x33, 0x44}), 100);
    p.resetInputValues();
    const MobaValue& v = p.getValues().at(20);
    EXPECT_TRUE(v.GetValue() == 0.0 && v.GetTickCount() == 0u && v.GetIsNewUncopiedValue());
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
    receive(p, unitFrame(30, control(ANSWER_ERROR, false, 1), {0x05}), now - 1000);
    receive(p, unitFrame(31, control(ANSWER, false, 1), {0x06}), now + 5);  // not yet valid

    const MobaCommProtocol::ValueTable copy = p.GetCopyOfValues();
    ASSERT_EQ(copy.size(), 4u);
    const MobaValue& fresh = copy.at(10);
    EXPECT_TRUE(fresh.GetValue() == 16.0 && fresh.GetTickCount() == now - 999 && fresh.GetValueType() == 7);
    // Copies are made by assignment: raw slots and the new-value flag stay at their defaults.
    EXPECT_TRUE(fresh.GetInt32Slot() == 0 && !fresh.GetIsNewUncopiedValue());
    for (unsigned char no : {11, 30, 31}) {
        const MobaValue &c = copy.at(no), &stored = p.getValues().at(no);  // the stored entry is reset as well
        EXPECT_TRUE(c.GetValue() == 0.0 && c.GetTickCount() == 0u && c.GetValueNo() == no && !c.GetIsAckReceivedYet()) << int(no);
        EXPECT_TRUE(stored.GetValue() == 0.0 && stored.GetTickCount() == 0u && !stored.GetIsNewUncopiedValue()) << int(no);
    }
    EXPECT_TRUE(p.getValues().at(10).GetTickCount() == now - 999 && p.getValues().at(10).GetIsNewUncopiedValue());
    Sensors::Clock::advance(1);  // one millisecond later the last fresh value is gone too
    EXPECT_EQ(p.GetCopyOfValues().at(10).GetTickCount(), 0u);
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
    EXPECT_EQ(v.GetLastTick(), 200u);
    // A one-shot trigger is reached once, whatever the time, then the value is not sent again.
    v.SetTriggerSend(777);
    EXPECT_TRUE(v.GetIntervalInMilliseconds() == -2 && v.GetTriggerSendTime() == 777u);
    EXPECT_TRUE(v.GetIsIntervalReached());
    EXPECT_EQ(v.GetIntervalInMilliseconds(), -1);
    v.SetTickCount(100000);
    EXPECT_FALSE(v.GetIsIntervalReached());
    v.SetIntervalInMilliseconds(0);
    EXPECT_FALSE(v.GetIsIntervalReached());
}

TEST(MobaProtocol, ResetsClearTheirOwnFields)
{
    auto filled = [] {
        MobaValue v(1, 0, 50, 900);
        v.SetValue(static_cast<unsigned short>(500));
        v.SetTickCount(20);
        v.SetLastTick(10);
        v.SetTriggerSend(30);
        v.SetIntervalInMilliseconds(50);
        v.SetRequestThis();
        v.SetExpectAck();
        v.SetExpectAnswer();
        v.SetIsAckOK(true);
        v.SetIsAckReceivedYet(true);
        v.SetIsSent(true);
        v.SetIsNewUncopiedValue(true);
        v.SetIgnoreAck(true);
        v.SetFlagUseJitterOnValue();
        v.SetId(5);
        return v;
    };
    // State of a value as a row: value, raw slot, tick, last tick, trigger, interval, requested, expecting ack,
    // ack ok, ack received, expecting answer, sent, new, ack ignored, jitter, lifetime, id, type.
    auto state = [](const MobaValue& v) {
        return std::vector<double>{v.GetValue(), double(v.GetUInt16Slot()), double(v.GetTickCount()),
            double(v.GetLastTick()), double(v.GetTriggerSendTime()), double(v.GetIntervalInMilliseconds()),
            double(v.GetIsRequested()), double(v.GetIsExpectingAck()), double(v.GetIsAckOK()),
            double(v.GetIsAckReceivedYet()), double(v.GetIsExpectingAnswer()), double(v.GetIsSent()),
            double(v.GetIsNewUncopiedValue()), double(v.GetIsAckIgnored()), double(v.GetFlagUseJitterOnValue()),
            double(v.GetLifeTimeTickCount()), double(v.GetId()), double(v.GetValueType())};
    };
    MobaValue r = filled(), s = filled(), cv = filled(), c = filled();
    r.ResetReceiverState();
    s.ResetSendState();
    cv.ClearValue();
    c.Clear();
    EXPECT_EQ(state(r), (std::vector<double>{0, 0, 0, 0, 0, 50, 0, 0, 0, 0, 0, 0, 0, 1, 1, 900, 5, 1}));
    EXPECT_EQ(state(s), (std::vector<double>{500, 500, 0, 0, 30, 50, 1, 0, 0, 1, 0, 0, 1, 1, 1, 900, 5, 1}));
    EXPECT_EQ(state(cv), (std::vector<double>{0, 0, 20, 10, 30, 50, 1, 1, 1, 1, 1, 1, 1, 1, 1, 900, 5, 1}));
    EXPECT_TRUE(c.GetValue() == 0.0 && !c.GetIsRequested() && c.GetIntervalInMilliseconds() == 50);

    // Typed setters write their own slot; int shares the unsigned 32-bit one; setters never change the type.
    MobaValue t;
    t.SetValue(-5);
    EXPECT_TRUE(t.GetUInt32Slot() == 0xFFFFFFFBu && t.GetInt32Slot() == 0 && t.GetValue() == -5.0);
    t.SetValue(static_cast<signed char>(-7));
    EXPECT_EQ(t.GetInt8Slot(), -7);
    t.SetValue(2.5f);
    EXPECT_TRUE(t.GetFloatSlot() == 2.5f && t.GetValueType() == 0);
    EXPECT_TRUE(t.GetJitterToggle());
    EXPECT_FALSE(t.GetJitterToggle());
}

TEST(MobaProtocol, CopiesKeepTheTableAndOversizedSendsAreRefused)
{
    MobaCommProtocol p = makeProtocol();
    receive(p, unitFrame(22, control(ANSWER, false, 2), {0x01, 0x02}), 100);
    std::unique_ptr<MobaCommProtocol> clone(p.Clone());
    MobaCommProtocol copy(p);
    for (const MobaCommProtocol* c : {clone.get(), &copy}) {
        ASSERT_EQ(c->getValues().size(), 1u);
        EXPECT_TRUE(c->getValues().at(22).GetInt32Slot() == 0x0201 && c->getMessageCount() == 1 && c->getSensorId() == 91);
    }
    EXPECT_EQ(p.ToXML(), "<MobaCommProtocol/>");
    _TQUIL1G5_CAN_FRAME maker;
    std::memset(&maker, 0, sizeof maker);
    EXPECT_FALSE(p.Parse(&maker, 200));
    EXPECT_EQ(p.getMessageCount(), 1);

    LogCapture log;
    unsigned char buffer[9] = {0, 10, 0, 0x21, 1, 2, 3, 4, 5};
    EXPECT_EQ(p.SendValue(buffer, 5), -1);
    EXPECT_TRUE(log.has(WispLogLevels::Error, "Payload length 5 not sent"));
}

TEST(MobaProtocol, DrillDepthSensorIsAPlaceholder)
{
    MobaDrillDepthSensor d(SensorManager::getInstance(), 1, 117);
    EXPECT_EQ(d.GetErrorTimeoutTime(), 5000u);
    _TGENERIC_CAN_FRAME g = unitFrame(0, 0, {}, 0, 109);
    g.header.ext = 0;
    _TQUIL1G5_CAN_FRAME m;
    std::memset(&m, 0, sizeof m);
    EXPECT_FALSE(d.Parse(&g, 100) || d.Parse(&m, 100));
    EXPECT_EQ(d.getMessageCount(), 0);
    EXPECT_EQ(d.ToXML(),
              "<sensor id=\"117\" SensorOK=\"false\" DepthLinear=\"0\" DepthLinearMax=\"0\" DepthVertical=\"0\" "
              "DepthVerticalMax=\"0\" AvgSpeed=\"0\" Speed=\"0\" />\n");
}
