#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <tuple>

#include "BoomHeadingSensor.h"
#include "Frames.h"
#include "GenericPositionSensor.h"
#include "LogCapture.h"
#include "NMEA2KHeadingSensor.h"
#include "NMEA2KPositionSensor.h"
#include "RotationSensor.h"
#include "SensorManager.h"

using namespace Sensors;

namespace {

SensorManager* mgr() { return SensorManager::getInstance(); }

// J1939 / NMEA 2000 identifier: priority 26-28 | data page 24 (1) | PDU format 16-23 | PDU specific 8-15 | source.
uint32_t j1939Id(uint32_t prio, uint32_t pf, uint32_t ps, uint32_t sa)
{
    return prio << 26 | 1u << 24 | pf << 16 | ps << 8 | sa;
}

// A GNSS position message (group 129029) behind its fast-packet byte count 43; put() writes a little-endian
// field. Fast-packet frame k: byte 0 counter bits 3-7 | index bits 0-2, then [count, message...] from 7k on.
struct PositionMessage {
    uint8_t bytes[64] = {43};
    PositionMessage& put(int at, uint64_t v, int n)
    {
        for (int i = 0; i < n; ++i)
            bytes[1 + at + i] = static_cast<uint8_t>(v >> 8 * i);
        return *this;
    }
};

void feed(NMEA2KPositionSensor& s, const PositionMessage& m, uint8_t counter, std::initializer_list<int> order,
          unsigned long long time = 1000)
{
    for (int index : order) {
        _TGENERIC_CAN_FRAME f = frame(j1939Id(3, 248, 5, 0x7F), {0, 0, 0, 0, 0, 0, 0, 0});
        f.data[0] = static_cast<uint8_t>(counter << 3 | index);
        std::memcpy(f.data + 1, m.bytes + 7 * index, 7);
        s.Parse(&f, time);
    }
}

}  // namespace

// The decoded values of each make are read back end to end (EveryMakeEndToEnd); here, validity,
// refusals and the GNSS position messages, which arrive in several frames.
TEST(BoomHeadingSensor, StatusByteInvalidatesAndOtherIdentifiersAreLogged)
{
    LogCapture cap;
    BoomHeadingSensor boom(mgr(), 1, 118);
    EXPECT_TRUE(parse(boom, 103, {0x10, 0x20, 0x30, 0x40, 0}, 1000));
    parse(boom, 103, {1, 2, 3, 4, 1}, 1100);
    EXPECT_EQ(std::make_tuple(boom.isValid(), boom.getHeadingRaw(), boom.getLastValidTime()),
              std::make_tuple(false, 0x40302010u, 1000u));
    EXPECT_FALSE(parse(boom, 104, {0, 0, 0, 0, 0}, 1600));
    EXPECT_EQ(cap.count(WispLogLevels::Error, "BoomHeadingSensor::Parse error CANID 104 DLC 5"), 1);
}

// A rotation frame whose first byte is not 1 carries no reading: not ok, rotation 0, and no sign of life.
TEST(RotationSensor, FlagOtherThan1ClearsTheReading)
{
    RotationSensor s(mgr(), 1, 118);
    EXPECT_TRUE(parse(s, 170, {0x01, 0x0E, 0x10}, 1000));
    parse(s, 170, {0x02, 0x0E, 0x10}, 1200);
    double rotation = -1;
    s.getRotation(rotation);
    EXPECT_EQ(std::make_tuple(s.getOk(), rotation, s.getLastMessageTime()), std::make_tuple(false, 0.0, 1000ull));
}

TEST(NMEA2KHeadingSensor, DecodesHeadingFromAnySourceAndFlagsNotAvailable)
{
    NMEA2KHeadingSensor s(mgr(), 1, 200);
    // Another source and priority than the usual compass; 65534 is still a value.
    parse(s, j1939Id(6, 241, 18, 0x05), {0x00, 0xFE, 0xFF, 0, 0, 0, 0, 0}, 1100);
    EXPECT_DOUBLE_EQ(s.getHeading(), 6.5534);
    // Not available: alive but not ok at once, and the next pass says why.
    parse(s, 0x09F11280, {0x00, 0xFF, 0xFF, 0, 0, 0, 0, 0}, 1200);
    EXPECT_EQ(std::make_tuple(s.isSensorOk(), s.hasHeading()), std::make_tuple(false, false));
    s.Update(0, 1300);
    EXPECT_EQ(s.getStatusText(), wxString(wxT("[SENSOR_STATUS] No heading")));
}

TEST(NMEA2KPositionSensor, DecodesEveryFieldWithTruncation)
{
    PositionMessage m;
    m.put(0, 9, 1).put(1, 19000, 2).put(3, 863999999, 4).put(7, 595000000000000000LL, 8)
        .put(15, static_cast<uint64_t>(-122500000000000000LL), 8).put(23, static_cast<uint64_t>(-3500000LL), 8)
        .put(31, 3 << 4 | 4, 1).put(32, 2 << 6, 1).put(33, 12, 1).put(34, 199, 2).put(36, 0x10000 - 150, 2)
        .put(38, 0x100000000ULL - 3359, 4).put(42, 1, 1).put(43, 5 << 4 | (266 & 0x0F), 1).put(44, 266 >> 8, 1)
        .put(45, 1234, 2);
    NMEA2KPositionSensor s(mgr(), 1, 201);
    feed(s, m, 1, {0, 1, 2, 3, 4, 5, 6});
    ASSERT_TRUE(s.hasPosition(false));
    const double got[] = {double(s.getSid()), double(s.getDays()), double(s.getTimeSeconds()), s.getLat(false),
                          s.getLon(false), s.getAlt(), double(s.getMethod()), s.getFix(), double(s.getIntegrity()),
                          s.getSatellites(), s.getHDOP(), s.getPDOP(), s.getGeoidSep(),
                          double(s.getReferenceStations()), double(s.getReferenceStationType()),
                          double(s.getReferenceStationId()), double(s.getReferenceStationAge())};
    const double want[] = {9, 19000, 86399, 59.5, -12.25, -3.5, 3, 4, 2, 12, 1.0, -1.0, -33.0, 1, 5, 266, 12};
    for (size_t i = 0; i < sizeof want / sizeof want[0]; ++i)
        EXPECT_DOUBLE_EQ(got[i], want[i]) << "field " << i;
    // Silence clears the fast-packet state too.
    s.Update(0, 1000 + 2001);
    EXPECT_FALSE(s.hasPosition(false));
    feed(s, m, 1, {1, 2, 3, 4, 5, 6}, 4000);
    EXPECT_FALSE(s.hasPosition(false));
}

TEST(NMEA2KPositionSensor, FastPacketOrderInterruptionAndNewCounter)
{
    PositionMessage a, b;
    a.put(7, 100000000000000000LL, 8).put(33, 5, 1);
    b.put(7, 200000000000000000LL, 8).put(33, 7, 1);
    // Out of order: complete only with the last of the seven.
    NMEA2KPositionSensor s(mgr(), 1, 201);
    feed(s, a, 2, {3, 0, 6, 1, 5, 2});
    EXPECT_FALSE(s.hasPosition(false));
    feed(s, a, 2, {4});
    ASSERT_TRUE(s.hasPosition(false));

    // Interrupted: three frames, then a new counter discards them; so does the next change.
    NMEA2KPositionSensor t(mgr(), 1, 201);
    feed(t, a, 3, {0, 1, 2});
    feed(t, b, 4, {3, 4, 5, 6});
    feed(t, a, 3, {3, 4, 5, 6});
    EXPECT_FALSE(t.hasPosition(false));
    feed(t, b, 5, {0, 1, 2, 3, 4, 5, 6});
    ASSERT_TRUE(t.hasPosition(false));
    EXPECT_DOUBLE_EQ(t.getLat(false), 20.0);
}

TEST(NMEA2KPositionSensor, RapidPositionAndIgnoredGroups)
{
    NMEA2KPositionSensor s(mgr(), 1, 201);
    // A real rapid update: 0x1951ACE8 and 0xD56DABBE in 1e-7 degrees; not counted as a frame of the sensor.
    EXPECT_TRUE(parse(s, 0x09F8017F, {0xE8, 0xAC, 0x51, 0x19, 0xBE, 0xAB, 0x6D, 0xD5}, 1000));
    EXPECT_EQ(std::make_tuple(s.hasPosition(true), s.hasPosition(false), s.isSensorOk()),
              std::make_tuple(true, false, false));
    EXPECT_EQ(std::make_pair(s.getLat(true), s.getLon(true)), std::make_pair(424783080 * 1e-7, -714232898 * 1e-7));
    // Neighbouring groups, one looking like a fast-packet start, change nothing.
    const uint32_t ignored[][2] = {{240, 16}, {250, 3}, {248, 4}, {241, 18}};
    for (const auto& g : ignored)
        EXPECT_FALSE(parse(s, j1939Id(2, g[0], g[1], 0x7F), {0x00, 0x2B, 1, 2, 3, 4, 5, 6}, 1100)) << g[0];
    EXPECT_EQ(s.getMessageCount(), 0);
}

TEST(GenericPositionSensor, PublishesOnlyCompleteSets)
{
    GenericPositionSensor s(mgr(), 1, 5);
    auto id = [](uint32_t msg) { return makerId(msg, 0, SDT_CAN_GNSS, 5); };
    auto send = [&](int msg, double value) {
        _TGENERIC_CAN_FRAME f = frame(id(static_cast<uint32_t>(msg)), {0, 0, 0, 0, 0, 0, 0, 0});
        std::memcpy(f.data, &value, 8);
        s.Parse(&f, 2000);
    };
    // Messages 1 to 5, then 1 again: a new set begins, nothing is published until 6 ends it.
    for (int i = 0; i < 10; ++i)
        send(i % 5 + 1, (i % 5 + 1) * (i < 5 ? 10.0 : 11.0));
    EXPECT_EQ(std::make_tuple(s.allValuesReceived(), s.getLat()), std::make_tuple(false, 0.0));
    send(6, 66.0);
    EXPECT_EQ(std::make_tuple(s.getLat(), s.getLong(), s.getAlt(), s.getX(), s.getY(), s.getZ()),
              std::make_tuple(11.0, 22.0, 33.0, 44.0, 55.0, 66.0));
    // Receiver state pairs, signed 32-bit little-endian.
    EXPECT_TRUE(parse(s, id(7), {0x10, 0x27, 0, 0, 4, 0, 0, 0}, 2100));
    parse(s, id(9), {0xDF, 0xFF, 0xFF, 0xFF}, 2300);
    EXPECT_EQ(std::make_tuple(s.getTime(), s.getFixQuality(), s.getHGEOID()), std::make_tuple(10000, 4, -33));
}
