#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <vector>

#include "BoomHeadingSensor.h"
#include "CANopenEncoderSensor.h"
#include "FrameBytes.h"
#include "GenericPositionSensor.h"
#include "LogCapture.h"
#include "NMEA2KHeadingSensor.h"
#include "NMEA2KPositionSensor.h"
#include "RotationSensor.h"
#include "SensorManager.h"

using namespace Sensors;

namespace {

SensorManager* mgr() { return SensorManager::getInstance(); }

_TGENERIC_CAN_FRAME frame(uint32_t id, bool ext, std::initializer_list<uint8_t> data)
{
    _TGENERIC_CAN_FRAME f;
    std::memset(&f, 0, sizeof f);
    f.header.id = id;
    f.header.ext = ext ? 1 : 0;
    f.header.dlc = static_cast<uint16_t>(data.size());
    std::copy(data.begin(), data.end(), f.data);
    return f;
}

// J1939 / NMEA 2000 identifier: priority 26-28 | data page 24 | PDU format 16-23 | PDU specific 8-15 | source 0-7.
uint32_t j1939Id(uint32_t priority, uint32_t dataPage, uint32_t pf, uint32_t ps, uint32_t sa)
{
    return (priority << 26) | (dataPage << 24) | (pf << 16) | (ps << 8) | sa;
}

// Maker identifier: msg 21-28 | cmd 18-20 | devType 8-14 | err 7 | devNumber 0-6.
uint32_t makerId(uint32_t msg, uint32_t devType, uint32_t devNumber)
{
    return (msg << 21) | (devType << 8) | devNumber;
}

_TQUIL1G5_CAN_FRAME makerFrame(uint8_t devType, uint8_t devNumber, uint8_t msg, uint8_t err, const uint8_t* data, uint16_t dlc)
{
    _TQUIL1G5_CAN_FRAME f;
    std::memset(&f, 0, sizeof f);
    f.header.devType = devType;
    f.header.devNumber = devNumber;
    f.header.msg = msg;
    f.header.err = err;
    f.header.dlc = dlc;
    std::memcpy(f.data, data, dlc);
    return f;
}

// The 43 bytes of a GNSS position message (group 129029), filled field by field.
struct PositionMessage {
    uint8_t bytes[NMEA2KPositionSensor::kMessageBytes] = {};

    PositionMessage& sid(uint8_t v) { bytes[0] = v; return *this; }
    PositionMessage& days(uint16_t v) { FrameBytes::putLe16(bytes + 1, v); return *this; }
    PositionMessage& time(uint32_t tenthsOfMs) { FrameBytes::putLe32(bytes + 3, tenthsOfMs); return *this; }
    PositionMessage& lat(int64_t e16) { put64(7, e16); return *this; }
    PositionMessage& lon(int64_t e16) { put64(15, e16); return *this; }
    PositionMessage& alt(int64_t e6) { put64(23, e6); return *this; }
    PositionMessage& methodAndType(uint8_t method, uint8_t type) { bytes[31] = static_cast<uint8_t>(method << 4 | type); return *this; }
    PositionMessage& integrity(uint8_t v) { bytes[32] = static_cast<uint8_t>(v << 6); return *this; }
    PositionMessage& satellites(uint8_t v) { bytes[33] = v; return *this; }
    PositionMessage& hdop(int16_t v) { FrameBytes::putLe16(bytes + 34, static_cast<uint16_t>(v)); return *this; }
    PositionMessage& pdop(int16_t v) { FrameBytes::putLe16(bytes + 36, static_cast<uint16_t>(v)); return *this; }
    PositionMessage& geoid(int32_t v) { FrameBytes::putLe32(bytes + 38, static_cast<uint32_t>(v)); return *this; }
    PositionMessage& stations(uint8_t count, uint8_t type, uint16_t id, uint16_t age)
    {
        bytes[42] = count;
        bytes[43] = static_cast<uint8_t>(type << 4 | (id & 0x0F));
        bytes[44] = static_cast<uint8_t>(id >> 8);
        FrameBytes::putLe16(bytes + 45, age);
        return *this;
    }
    void put64(int at, int64_t v)
    {
        FrameBytes::putLe32(bytes + at, static_cast<uint32_t>(v));
        FrameBytes::putLe32(bytes + at + 4, static_cast<uint32_t>(static_cast<uint64_t>(v) >> 32));
    }

    // Fast-packet frame `index` of this message. Data byte 0: counter bits 3-7, index bits 0-2;
    // frame 0 then holds the byte count and message bytes 0-5, frame k message bytes 7k-1 .. 7k+5.
    _TGENERIC_CAN_FRAME frameOf(uint8_t counter, int index) const
    {
        _TGENERIC_CAN_FRAME f = frame(j1939Id(3, 1, 248, 5, 0x7F), true, {0, 0, 0, 0, 0, 0, 0, 0});
        f.data[0] = static_cast<uint8_t>(counter << 3 | index);
        if (index == 0) {
            f.data[1] = 43;
            std::memcpy(f.data + 2, bytes, 6);
        } else {
            std::memcpy(f.data + 1, bytes + 7 * index - 1, 7);
        }
        return f;
    }
};

void feed(NMEA2KPositionSensor& s, const PositionMessage& m, uint8_t counter, std::initializer_list<int> order,
          unsigned long long time = 1000)
{
    for (int index : order) {
        _TGENERIC_CAN_FRAME f = m.frameOf(counter, index);
        s.Parse(&f, time);
    }
}

}  // namespace

TEST(RotationSensor, DecodesBigEndianTenthsAndRejectsInvalidFrames)
{
    RotationSensor s(mgr(), 1, 118);
    _TGENERIC_CAN_FRAME f = frame(170, false, {0x01, 0x0E, 0x10});
    EXPECT_TRUE(s.Parse(&f, 1000));
    double rotation = -1;
    s.getRotation(rotation);
    EXPECT_EQ(s.getRaw(), 3600);
    EXPECT_DOUBLE_EQ(rotation, 360.0);
    EXPECT_TRUE(s.getOk());

    // Byte 0 other than 1: no reading, and the frame does not count as a sign of life.
    f = frame(170, false, {0x02, 0x0E, 0x10});
    s.Parse(&f, 1200);
    s.getRotation(rotation);
    EXPECT_FALSE(s.getOk());
    EXPECT_DOUBLE_EQ(rotation, 0.0);
    EXPECT_EQ(s.getMessageCount(), 1);
    EXPECT_EQ(s.getLastMessageTime(), 1000u);

    f = frame(171, false, {0x01, 0x00, 0x05});
    EXPECT_FALSE(s.Parse(&f, 1300));
    EXPECT_EQ(s.getMessageCount(), 1);

    // A maker-view frame is read through its generic identifier: err bit 7 plus number 42 is 170.
    const uint8_t data[] = {0x01, 0x00, 0x07};
    _TQUIL1G5_CAN_FRAME q = makerFrame(0, 42, 0, 1, data, 3);
    EXPECT_TRUE(s.Parse(&q, 1400));
    s.getRotation(rotation);
    EXPECT_DOUBLE_EQ(rotation, 0.7);
    EXPECT_EQ(s.getMessageCount(), 2);

    // Silence beyond the timeout clears the readings.
    s.Update(0, 1400 + 5001);
    EXPECT_FALSE(s.isSensorOk());
    EXPECT_EQ(s.getRaw(), 0);
    EXPECT_FALSE(s.getOk());
}

TEST(CANopenEncoderSensor, RotationAngleWrapsPulseCountIntoOneRevolution)
{
    CANopenEncoderSensor s(mgr(), 1, 32);

    _TGENERIC_CAN_FRAME f = frame(0x1A0, false, {0x00, 0x06, 0x00, 0x00});
    EXPECT_TRUE(s.Parse(&f, 10));
    EXPECT_EQ(s.getRotationPulseCount(), 1536);
    EXPECT_DOUBLE_EQ(s.getRotationAngle(1024, 1), M_PI);
    EXPECT_DOUBLE_EQ(s.getRotationAngle(1024, 2), 1.5 * M_PI);

    // Any length is taken; -1 counts as 4294967295, which is 1023 modulo 1024.
    f = frame(0x1A0, false, {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00});
    s.Parse(&f, 20);
    EXPECT_EQ(s.getRotationPulseCount(), -1);
    EXPECT_DOUBLE_EQ(s.getRotationAngle(1024, 1), 2 * M_PI * 1023 / 1024);
    // A revolution of 2^32 pulses must not wrap to zero.
    EXPECT_DOUBLE_EQ(s.getRotationAngle(65536, 65536), 2 * M_PI * 4294967295.0 / 4294967296.0);

    testing::internal::CaptureStderr();
    EXPECT_EQ(s.getRotationAngle(0, 7), 0.0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "full_rotator_revolution cannot be zero!\n");

    f = frame(0x1A1, false, {0x01, 0x00, 0x00, 0x00});
    EXPECT_FALSE(s.Parse(&f, 30));
    EXPECT_EQ(s.getRotationPulseCount(), -1);
}

TEST(BoomHeadingSensor, KeepsHeadingBytesAndTracksValidity)
{
    LogCapture cap;
    BoomHeadingSensor s(mgr(), 1, 118);

    float heading = 123.25f;
    uint8_t b[4];
    std::memcpy(b, &heading, 4);
    _TGENERIC_CAN_FRAME f = frame(103, false, {b[0], b[1], b[2], b[3], 0});
    EXPECT_TRUE(s.Parse(&f, 1000));
    EXPECT_TRUE(s.isValid());
    EXPECT_EQ(s.getHeadingFloat(), 123.25f);
    EXPECT_EQ(s.getLastValidTime(), 1000u);

    // Status byte set: not valid, heading and its time stay.
    f = frame(103, false, {1, 2, 3, 4, 1});
    s.Parse(&f, 1100);
    EXPECT_FALSE(s.isValid());
    EXPECT_EQ(s.getHeadingFloat(), 123.25f);
    EXPECT_EQ(s.getLastFrameTime(), 1100u);
    EXPECT_EQ(s.getLastValidTime(), 1000u);
    s.Update(0, 1200);
    EXPECT_FALSE(s.isSensorOk());

    // Any other length counts as a frame but carries no heading.
    f = frame(103, false, {0x10, 0x20, 0x30, 0x40, 0, 0});
    s.Parse(&f, 1300);
    EXPECT_EQ(s.getMessageCount(), 3);
    EXPECT_EQ(s.getLastFrameTime(), 1100u);

    f = frame(0x10203040, true, {0x10, 0x20, 0x30, 0x40, 0});
    EXPECT_FALSE(s.Parse(&f, 1350));
    f = frame(103, false, {0x10, 0x20, 0x30, 0x40, 0});
    s.Parse(&f, 1400);
    EXPECT_TRUE(s.isValid());
    EXPECT_EQ(s.getHeadingRaw(), 0x40302010u);
    s.Update(0, 1500);
    EXPECT_TRUE(s.isSensorOk());

    f = frame(104, false, {0, 0, 0, 0, 0});
    EXPECT_FALSE(s.Parse(&f, 1600));
    EXPECT_EQ(s.getMessageCount(), 4);
    EXPECT_EQ(cap.count(WispLogLevels::Error, "BoomHeadingSensor::Parse error CANID 104 DLC 5"), 1);
    EXPECT_EQ(cap.count(WispLogLevels::Error, "BoomHeadingSensor::Parse error CANID 270544960 DLC 5"), 1);
}

TEST(NMEA2KHeadingSensor, DecodesHeadingFromAnySourceAndFlagsNotAvailable)
{
    NMEA2KHeadingSensor s(mgr(), 1, 200);

    // A frame of a real compass: heading bytes 9C 99 = 39324 -> 3.9324 rad.
    _TGENERIC_CAN_FRAME f = frame(0x09F11280, true, {0x00, 0x9C, 0x99, 0xFF, 0x7F, 0xF6, 0xF5, 0xFD});
    EXPECT_TRUE(s.Parse(&f, 1000));
    EXPECT_TRUE(s.hasHeading());
    EXPECT_DOUBLE_EQ(s.getHeading(), 3.9324);
    EXPECT_TRUE(s.isSensorOk());

    // Another source and priority; 65534 is still a value.
    f = frame(j1939Id(6, 1, 241, 18, 0x05), true, {0x00, 0xFE, 0xFF, 0, 0, 0, 0, 0});
    s.Parse(&f, 1100);
    EXPECT_DOUBLE_EQ(s.getHeading(), 6.5534);

    f = frame(j1939Id(2, 1, 241, 19, 0x80), true, {0x00, 0x10, 0x00, 0, 0, 0, 0, 0});
    EXPECT_FALSE(s.Parse(&f, 1150));
    EXPECT_EQ(s.getMessageCount(), 2);

    // Not available: alive but not ok at once, and the next pass says why.
    f = frame(0x09F11280, true, {0x00, 0xFF, 0xFF, 0, 0, 0, 0, 0});
    s.Parse(&f, 1200);
    EXPECT_FALSE(s.isSensorOk());
    EXPECT_FALSE(s.hasHeading());
    EXPECT_EQ(s.getHeading(), 0.0);
    s.Update(0, 1300);
    EXPECT_FALSE(s.isSensorOk());
    EXPECT_EQ(s.getStatusText(), wxString(wxT("[SENSOR_STATUS] No heading")));

    f = frame(0x09F11280, true, {0x00, 0x10, 0x27, 0, 0, 0, 0, 0});
    s.Parse(&f, 1400);
    s.Update(0, 1500);
    EXPECT_TRUE(s.isSensorOk());
    EXPECT_TRUE(s.getStatusText().IsEmpty());
}

TEST(NMEA2KPositionSensor, AssemblesARealPositionMessage)
{
    // Seven frames of group 129029 from a real receiver, sequence counter 4.
    const uint8_t capture[7][8] = {
        {0x20, 0x2B, 0x00, 0x74, 0x40, 0xA0, 0x7C, 0x97}, {0x21, 0x0A, 0x00, 0x10, 0xFF, 0xED, 0xF5, 0x21},
        {0x22, 0xE5, 0x05, 0x00, 0xA9, 0xF1, 0x8F, 0xF6}, {0x23, 0x88, 0x16, 0xF6, 0x90, 0xBA, 0xC5, 0x03},
        {0x24, 0x00, 0x00, 0x00, 0x00, 0x12, 0xFC, 0x00}, {0x25, 0xBE, 0x00, 0x54, 0x01, 0xE1, 0xF2, 0xFF},
        {0x26, 0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}};
    NMEA2KPositionSensor s(mgr(), 1, 201);
    for (int i = 0; i < 7; ++i) {
        EXPECT_FALSE(s.hasPosition(false)) << "complete after frame " << i;
        _TGENERIC_CAN_FRAME f = frame(0x0DF8057F, true, {0, 0, 0, 0, 0, 0, 0, 0});
        std::memcpy(f.data, capture[i], 8);
        s.Parse(&f, 1000 + i);
    }
    ASSERT_TRUE(s.hasPosition(false));
    EXPECT_EQ(s.getDays(), 16500);
    EXPECT_EQ(s.getTimeSeconds(), 17770u);
    EXPECT_NEAR(s.getLat(false), 42.478308, 1e-6);
    EXPECT_NEAR(s.getLon(false), -71.42329, 1e-5);
    EXPECT_EQ(s.getGeoidSep(), -33.0);  // -33.59 truncated towards zero
    EXPECT_FALSE(s.hasPosition(true));
}

TEST(NMEA2KPositionSensor, DecodesEveryFieldWithTruncation)
{
    PositionMessage m;
    m.sid(9).days(19000).time(863999999).lat(595000000000000000LL).lon(-122500000000000000LL).alt(-3500000)
        .methodAndType(3, 4).integrity(2).satellites(12).hdop(199).pdop(-150).geoid(-3359).stations(1, 5, 266, 1234);
    NMEA2KPositionSensor s(mgr(), 1, 201);
    feed(s, m, 1, {0, 1, 2, 3, 4, 5, 6});
    ASSERT_TRUE(s.hasPosition(false));
    EXPECT_EQ(s.getSid(), 9);
    EXPECT_EQ(s.getDays(), 19000);
    EXPECT_EQ(s.getTimeSeconds(), 86399u);
    EXPECT_DOUBLE_EQ(s.getLat(false), 59.5);
    EXPECT_DOUBLE_EQ(s.getLon(false), -12.25);
    EXPECT_DOUBLE_EQ(s.getAlt(), -3.5);
    EXPECT_EQ(s.getMethod(), 3);
    EXPECT_EQ(s.getFix(), 4.0);
    EXPECT_EQ(s.getIntegrity(), 2);
    EXPECT_EQ(s.getSatellites(), 12.0);
    EXPECT_EQ(s.getHDOP(), 1.0);
    EXPECT_EQ(s.getPDOP(), -1.0);
    EXPECT_EQ(s.getGeoidSep(), -33.0);
    EXPECT_EQ(s.getReferenceStations(), 1);
    EXPECT_EQ(s.getReferenceStationType(), 5);
    EXPECT_EQ(s.getReferenceStationId(), 266);
    EXPECT_EQ(s.getReferenceStationAge(), 12);

    // Silence clears everything, the fast-packet state included.
    s.Update(0, 1000 + 2001);
    EXPECT_FALSE(s.hasPosition(false));
    EXPECT_EQ(s.getLat(false), 0.0);
    feed(s, m, 1, {1, 2, 3, 4, 5, 6}, 4000);
    EXPECT_FALSE(s.hasPosition(false));
}

TEST(NMEA2KPositionSensor, FastPacketOrderInterruptionAndNewCounter)
{
    PositionMessage a, b;
    a.lat(100000000000000000LL).satellites(5);
    b.lat(200000000000000000LL).satellites(7);

    // Out of order: complete only with the last of the seven.
    NMEA2KPositionSensor s(mgr(), 1, 201);
    feed(s, a, 2, {3, 0, 6, 1, 5, 2});
    EXPECT_FALSE(s.hasPosition(false));
    feed(s, a, 2, {4});
    ASSERT_TRUE(s.hasPosition(false));
    EXPECT_DOUBLE_EQ(s.getLat(false), 10.0);

    // Repeats of a finished message's frames do not decode a half-overwritten message.
    feed(s, b, 2, {3, 4});
    EXPECT_DOUBLE_EQ(s.getLat(false), 10.0);
    EXPECT_EQ(s.getSatellites(), 5.0);

    // Interrupted: three frames, then a new counter discards them.
    NMEA2KPositionSensor t(mgr(), 1, 201);
    feed(t, a, 3, {0, 1, 2});
    feed(t, b, 4, {3, 4, 5, 6});
    EXPECT_FALSE(t.hasPosition(false));
    feed(t, a, 3, {3, 4, 5, 6});  // counter changes again: b's four frames are gone too
    EXPECT_FALSE(t.hasPosition(false));
    feed(t, b, 5, {0, 1, 2, 3, 4, 5});
    feed(t, b, 5, {7});  // index 7 lies beyond the message and completes nothing
    EXPECT_FALSE(t.hasPosition(false));
    feed(t, b, 5, {6});
    ASSERT_TRUE(t.hasPosition(false));
    EXPECT_DOUBLE_EQ(t.getLat(false), 20.0);
}

TEST(NMEA2KPositionSensor, RapidPositionAndIgnoredGroups)
{
    NMEA2KPositionSensor s(mgr(), 1, 201);
    // A real rapid update: 0x1951ACE8 and 0xD56DABBE in 1e-7 degrees.
    _TGENERIC_CAN_FRAME f = frame(0x09F8017F, true, {0xE8, 0xAC, 0x51, 0x19, 0xBE, 0xAB, 0x6D, 0xD5});
    EXPECT_TRUE(s.Parse(&f, 1000));
    EXPECT_TRUE(s.hasPosition(true));
    EXPECT_FALSE(s.hasPosition(false));
    EXPECT_DOUBLE_EQ(s.getLat(true), 424783080 * 1e-7);
    EXPECT_DOUBLE_EQ(s.getLon(true), -714232898 * 1e-7);
    // The rapid update is not counted as a frame of the sensor.
    EXPECT_EQ(s.getMessageCount(), 0);
    EXPECT_FALSE(s.isSensorOk());

    // Neighbouring groups, one looking like a fast-packet start, change nothing.
    const uint32_t ignored[][2] = {{240, 16}, {245, 3}, {250, 3}, {250, 4}, {248, 4}, {248, 2}, {241, 18}};
    for (const auto& g : ignored) {
        f = frame(j1939Id(2, 1, g[0], g[1], 0x7F), true, {0x00, 0x2B, 1, 2, 3, 4, 5, 6});
        EXPECT_FALSE(s.Parse(&f, 1100)) << g[0] << "/" << g[1];
    }
    EXPECT_EQ(s.getMessageCount(), 0);
    EXPECT_DOUBLE_EQ(s.getLat(true), 424783080 * 1e-7);
}

TEST(GenericPositionSensor, PublishesOnlyCompleteSets)
{
    GenericPositionSensor s(mgr(), 1, 5);
    auto send = [&s](uint8_t msg, double value) {
        uint8_t data[8];
        std::memcpy(data, &value, 8);
        _TQUIL1G5_CAN_FRAME f = makerFrame(SDT_CAN_GNSS, 5, msg, 0, data, 8);
        return s.Parse(&f, 2000);
    };

    // Messages 1 to 5, then 1 again: a new set begins, nothing is published.
    for (uint8_t msg = 1; msg <= 5; ++msg)
        send(msg, msg * 10.0);
    send(1, 11.0);
    EXPECT_FALSE(s.allValuesReceived());
    EXPECT_EQ(s.getLat(), 0.0);
    for (uint8_t msg = 2; msg <= 5; ++msg)
        send(msg, msg * 11.0);
    EXPECT_EQ(s.getX(), 0.0);
    send(6, 66.0);
    EXPECT_TRUE(s.allValuesReceived());
    // Each message feeds its own value: latitude, longitude, altitude, x, y, z.
    const double published[] = {s.getLat(), s.getLong(), s.getAlt(), s.getX(), s.getY(), s.getZ()};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(published[i], (i + 1) * 11.0) << "message " << i + 1;

    // The next set starts at its first repeated message; the published values wait for it.
    send(3, -1.5);
    EXPECT_FALSE(s.allValuesReceived());
    EXPECT_EQ(s.getAlt(), 33.0);
    s.readTempValues();
    EXPECT_EQ(s.getAlt(), -1.5);

    // Unchecking forgets longitude (2) and x (4) only.
    for (uint8_t msg : {1, 2, 4, 5, 6})
        send(msg, 1.0);
    EXPECT_TRUE(s.allValuesReceived());
    s.uncheckTempValues();
    EXPECT_FALSE(s.allValuesReceived());
    send(2, 2.0);
    EXPECT_FALSE(s.allValuesReceived());
    send(4, 4.0);
    EXPECT_TRUE(s.allValuesReceived());
    EXPECT_EQ(s.getX(), 4.0);

    // Receiver state, little-endian signed 32-bit pairs; through the generic view as well.
    uint8_t state[8] = {0x10, 0x27, 0, 0, 4, 0, 0, 0};
    _TQUIL1G5_CAN_FRAME f = makerFrame(SDT_CAN_GNSS, 5, 7, 0, state, 8);
    s.Parse(&f, 2100);
    EXPECT_EQ(s.getTime(), 10000);
    EXPECT_EQ(s.getFixQuality(), 4);
    _TGENERIC_CAN_FRAME g = frame(makerId(8, SDT_CAN_GNSS, 5), true, {9, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_TRUE(s.Parse(&g, 2200));
    EXPECT_EQ(s.getSatellites(), 9);
    EXPECT_EQ(s.getHDOP(), -1);
    g = frame(makerId(9, SDT_CAN_GNSS, 5), true, {0xDF, 0xFF, 0xFF, 0xFF});
    s.Parse(&g, 2300);
    EXPECT_EQ(s.getHGEOID(), -33);

    g = frame(makerId(10, SDT_CAN_GNSS, 5), true, {1, 2, 3, 4, 5, 6, 7, 8});
    EXPECT_FALSE(s.Parse(&g, 2400));  // unknown message type
}
