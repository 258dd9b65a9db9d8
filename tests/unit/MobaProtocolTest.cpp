#include <gtest/gtest.h>

#include <cstring>
#include <memory>

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

MobaCommProtocol makeProtocol()
{
    return MobaCommProtocol(SensorManager::getInstance(), 1, 91);
}

void receive(MobaCommProtocol& p, _TGENERIC_CAN_FRAME f, unsigned long long time)
{
    p.Parse(&f, time);
}

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

    const auto& values = p.getValues();
    ASSERT_EQ(values.size(), sizeof table / sizeof table[0]);
    for (const auto& row : table) {
        const MobaValue& v = values.at(row.no);
        EXPECT_EQ(v.GetValueType(), row.type) << "ValueNo " << int(row.no);
        EXPECT_EQ(v.GetValueNo(), row.no);
        // A float receives the byte as the lowest byte of its bit pattern.
        float bits7;
        const uint32_t raw = 7;
        std::memcpy(&bits7, &raw, 4);
        EXPECT_EQ(v.GetValue(), row.type == 11 ? static_cast<double>(bits7) : 7.0) << "ValueNo " << int(row.no);
        EXPECT_EQ(v.GetTickCount(), 5000u);
        EXPECT_TRUE(v.GetIsNewUncopiedValue());
        EXPECT_EQ(v.GetLifeTimeTickCount(), row.no == 40 ? 1000 : -1);
    }
    EXPECT_EQ(p.getMessageCount(), 25 + 10 + 2);
    EXPECT_EQ(p.getLastMessageTime(), 5000u);
}

TEST(MobaProtocol, PayloadWidthsAndPartialPayloads)
{
    MobaCommProtocol p = makeProtocol();
    // An answer with a four-byte payload: signed 32-bit -1.
    receive(p, unitFrame(10, 0x19, {0xFF, 0xFF, 0xFF, 0xFF}), 100);
    EXPECT_EQ(p.getValues().at(10).GetValue(), -1.0);
    // A one-byte payload replaces only the lowest byte; the upper three stay from before.
    receive(p, unitFrame(10, control(ANSWER, false, 1), {0x05}), 200);
    EXPECT_EQ(p.getValues().at(10).GetInt32Slot(), static_cast<int32_t>(0xFFFFFF05));
    EXPECT_EQ(p.getValues().at(10).GetValue(), -251.0);

    // Bytes beyond the type's size are not part of the value.
    receive(p, unitFrame(0, control(ANSWER, false, 4), {0x34, 0x12, 0xAA, 0xBB}), 100);
    EXPECT_EQ(p.getValues().at(0).GetValue(), 4660.0);
    receive(p, unitFrame(30, control(ANSWER, false, 2), {0xFE, 0x01}), 100);
    EXPECT_EQ(p.getValues().at(30).GetValue(), 254.0);
    receive(p, unitFrame(17, control(ANSWER, false, 2), {0xFE, 0xFF}), 100);
    EXPECT_EQ(p.getValues().at(17).GetValue(), -2.0);

    float f = 1.5f;
    unsigned char fb[4];
    std::memcpy(fb, &f, 4);
    receive(p, unitFrame(11, control(COMMAND, true, 4), {fb[0], fb[1], fb[2], fb[3]}), 100);
    EXPECT_EQ(p.getValues().at(11).GetValue(), 1.5);

    // Filling a value directly: unsigned 32-bit and signed 8-bit, and a type code without a value.
    unsigned char bytes[4] = {0x01, 0x02, 0x03, 0x84};
    MobaValue u32(3, 50, -1, -1);
    u32.SetValueFromArray(bytes, 4);
    EXPECT_EQ(u32.GetValue(), 2214789633.0);
    MobaValue s8(4, 51, -1, -1);
    s8.SetValueFromArray(&bytes[3], 1);
    EXPECT_EQ(s8.GetValue(), -124.0);
    MobaValue none(2, 52, -1, -1);
    none.SetValue(3.25);
    none.SetValueFromArray(bytes, 4);
    EXPECT_EQ(none.GetValue(), 3.25);
}

TEST(MobaProtocol, AcknowledgementsSetTheAckState)
{
    MobaCommProtocol p = makeProtocol();
    // An answer-error acknowledgement still stores its payload.
    receive(p, unitFrame(30, control(ANSWER_ERROR, false, 1), {9}), 100);
    const MobaValue& v30 = p.getValues().at(30);
    EXPECT_EQ(v30.GetValue(), 9.0);
    EXPECT_FALSE(v30.GetIsAckOK());
    EXPECT_TRUE(v30.GetIsAckReceivedYet());

    receive(p, unitFrame(31, control(ANSWER_OK, false, 1), {1}), 100);
    EXPECT_TRUE(p.getValues().at(31).GetIsAckOK());
    EXPECT_TRUE(p.getValues().at(31).GetIsAckReceivedYet());

    // Frames that carry a value leave the acknowledgement state alone, whatever they expect.
    receive(p, unitFrame(32, control(COMMAND, true, 1), {1}), 100);
    receive(p, unitFrame(33, control(ANSWER, true, 1), {1}), 100);
    for (unsigned char no : {32, 33}) {
        EXPECT_FALSE(p.getValues().at(no).GetIsAckOK());
        EXPECT_FALSE(p.getValues().at(no).GetIsAckReceivedYet());
        EXPECT_FALSE(p.getValues().at(no).GetIsExpectingAck());
    }

    // The handshake alone creates a missing entry, and ignores value-carrying frames.
    p.HandleHandshake(3, false, true, false);
    p.HandleHandshake(4, true, true, false);
    ASSERT_EQ(p.getValues().count(3), 1u);
    EXPECT_TRUE(p.getValues().at(3).GetIsAckOK());
    EXPECT_TRUE(p.getValues().at(3).GetIsAckReceivedYet());
    EXPECT_EQ(p.getValues().at(3).GetValueType(), 0);
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
    target.SetIsNewUncopiedValue(false);
    target = source;
    EXPECT_EQ(target.GetInt16Slot(), 42);      // raw slot kept
    EXPECT_EQ(target.GetValue(), -300.0);      // value taken
    EXPECT_EQ(target.GetTriggerSendTime(), 0u);
    EXPECT_FALSE(target.GetIsNewUncopiedValue());
    EXPECT_EQ(target.GetIntervalInMilliseconds(), -2);
    EXPECT_EQ(target.GetValueType(), 5);
    EXPECT_EQ(target.GetValueNo(), 17);
    EXPECT_EQ(target.GetLifeTimeTickCount(), 700);
    EXPECT_EQ(target.GetId(), 99u);
    EXPECT_TRUE(target.GetIsAckIgnored());

    // A copy construction takes everything.
    MobaValue copy(source);
    EXPECT_EQ(copy.GetInt16Slot(), -300);
    EXPECT_EQ(copy.GetTriggerSendTime(), 1234u);
    EXPECT_TRUE(copy.GetIsNewUncopiedValue());

    // Resetting the inputs clears values and times but leaves the stored bytes in place, so a
    // later partial payload merges with them.
    MobaCommProtocol p = makeProtocol();
    receive(p, unitFrame(20, control(ANSWER, false, 4), {0x11, 0x22, 0x33, 0x44}), 100);
    p.resetInputValues();
    const MobaValue& v = p.getValues().at(20);
    EXPECT_EQ(v.GetValue(), 0.0);
    EXPECT_EQ(v.GetTickCount(), 0u);
    EXPECT_TRUE(v.GetIsNewUncopiedValue());
    EXPECT_EQ(v.GetInt32Slot(), 0x44332211);
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
    EXPECT_EQ(copy.at(10).GetValue(), 16.0);
    EXPECT_EQ(copy.at(10).GetTickCount(), now - 999);
    EXPECT_EQ(copy.at(10).GetValueType(), 7);
    // Copies are made by assignment: raw slots and the new-value flag stay at their defaults.
    EXPECT_EQ(copy.at(10).GetInt32Slot(), 0);
    EXPECT_FALSE(copy.at(10).GetIsNewUncopiedValue());
    for (unsigned char no : {11, 30, 31}) {
        EXPECT_EQ(copy.at(no).GetValue(), 0.0) << int(no);
        EXPECT_EQ(copy.at(no).GetTickCount(), 0u) << int(no);
        EXPECT_EQ(copy.at(no).GetValueNo(), no);
        EXPECT_FALSE(copy.at(no).GetIsAckReceivedYet());
        // The stored entry is reset as well.
        EXPECT_EQ(p.getValues().at(no).GetValue(), 0.0);
        EXPECT_EQ(p.getValues().at(no).GetTickCount(), 0u);
        EXPECT_FALSE(p.getValues().at(no).GetIsNewUncopiedValue());
    }
    EXPECT_EQ(p.getValues().at(10).GetTickCount(), now - 999);
    EXPECT_TRUE(p.getValues().at(10).GetIsNewUncopiedValue());

    // One millisecond later the last fresh value is gone too.
    Sensors::Clock::advance(1);
    EXPECT_EQ(p.GetCopyOfValues().at(10).GetTickCount(), 0u);
    Sensors::Clock::setReal();
}

TEST(MobaProtocol, IntervalAndOneShotSending)
{
    MobaValue v(7, 10, 100, -1);
    v.SetTickCount(99);
    EXPECT_FALSE(v.GetIsIntervalReached());
    v.SetTickCount(100);
    EXPECT_EQ(v.GetTickCountFromLastTick(), 100u);
    EXPECT_TRUE(v.GetIsIntervalReached());
    EXPECT_EQ(v.GetLastTick(), 100u);
    v.SetTickCount(199);
    EXPECT_FALSE(v.GetIsIntervalReached());
    v.SetTickCount(200);
    EXPECT_TRUE(v.GetIsIntervalReached());

    v.SetTriggerSend(777);
    EXPECT_EQ(v.GetIntervalInMilliseconds(), -2);
    EXPECT_EQ(v.GetTriggerSendTime(), 777u);
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

    MobaValue r = filled();
    r.ResetReceiverState();
    EXPECT_EQ(r.GetUInt16Slot(), 0);
    EXPECT_EQ(r.GetValue(), 0.0);
    EXPECT_EQ(r.GetTickCount(), 0u);
    EXPECT_EQ(r.GetLastTick(), 0u);
    EXPECT_EQ(r.GetTriggerSendTime(), 0u);
    EXPECT_FALSE(r.GetIsRequested() || r.GetIsExpectingAck() || r.GetIsAckOK() || r.GetIsAckReceivedYet() ||
                 r.GetIsExpectingAnswer() || r.GetIsSent() || r.GetIsNewUncopiedValue());
    EXPECT_TRUE(r.GetIsAckIgnored());
    EXPECT_TRUE(r.GetFlagUseJitterOnValue());
    EXPECT_EQ(r.GetIntervalInMilliseconds(), 50);
    EXPECT_EQ(r.GetLifeTimeTickCount(), 900);
    EXPECT_EQ(r.GetId(), 5u);
    EXPECT_EQ(r.GetValueType(), 1);

    MobaValue c = filled();
    c.Clear();
    EXPECT_EQ(c.GetValue(), 0.0);
    EXPECT_FALSE(c.GetIsRequested());
    EXPECT_EQ(c.GetIntervalInMilliseconds(), 50);

    MobaValue s = filled();
    s.ResetSendState();
    EXPECT_FALSE(s.GetIsSent() || s.GetIsExpectingAck() || s.GetIsExpectingAnswer() || s.GetIsAckOK());
    EXPECT_EQ(s.GetTickCount(), 0u);
    EXPECT_EQ(s.GetLastTick(), 0u);
    EXPECT_TRUE(s.GetIsRequested());
    EXPECT_TRUE(s.GetIsAckReceivedYet());
    EXPECT_EQ(s.GetValue(), 500.0);
    EXPECT_EQ(s.GetTriggerSendTime(), 30u);

    MobaValue cv = filled();
    cv.ClearValue();
    EXPECT_EQ(cv.GetValue(), 0.0);
    EXPECT_EQ(cv.GetUInt16Slot(), 0);
    EXPECT_EQ(cv.GetTickCount(), 20u);
    EXPECT_TRUE(cv.GetIsSent());

    // Typed setters write their own slot; int shares the unsigned 32-bit one.
    MobaValue t;
    t.SetValue(-5);
    EXPECT_EQ(t.GetUInt32Slot(), 0xFFFFFFFBu);
    EXPECT_EQ(t.GetInt32Slot(), 0);
    EXPECT_EQ(t.GetValue(), -5.0);
    t.SetValue(static_cast<signed char>(-7));
    EXPECT_EQ(t.GetInt8Slot(), -7);
    t.SetValue(2.5f);
    EXPECT_EQ(t.GetFloatSlot(), 2.5f);
    EXPECT_EQ(t.GetValueType(), 0);  // setters never change the type

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
        EXPECT_EQ(c->getValues().at(22).GetInt32Slot(), 0x0201);
        EXPECT_EQ(c->getMessageCount(), 1);
        EXPECT_EQ(c->getSensorId(), 91);
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
    _TGENERIC_CAN_FRAME g;
    std::memset(&g, 0, sizeof g);
    g.header.id = 109;
    g.header.dlc = 8;
    EXPECT_FALSE(d.Parse(&g, 100));
    _TQUIL1G5_CAN_FRAME m;
    std::memset(&m, 0, sizeof m);
    EXPECT_FALSE(d.Parse(&m, 100));
    EXPECT_EQ(d.getMessageCount(), 0);
    EXPECT_EQ(d.getLastMessageTime(), 0u);
    EXPECT_TRUE(d.Zero());
    EXPECT_EQ(d.ToXML(),
              "<sensor id=\"117\" SensorOK=\"false\" DepthLinear=\"0\" DepthLinearMax=\"0\" DepthVertical=\"0\" "
              "DepthVerticalMax=\"0\" AvgSpeed=\"0\" Speed=\"0\" />\n");
}
