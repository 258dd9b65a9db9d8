#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <initializer_list>
#include <memory>

#include "SensorManager.h"
#include "TiltSensor.h"
#include "TiltSensorG1.h"
#include "TiltSensorG2.h"

using namespace Sensors;

namespace {

const unsigned char kId = 101;

// A maker frame as a tilt sensor sends it. On the bus its 29-bit identifier is
//   bits 0-6 devNumber (sensor id) | bit 7 err | bits 8-14 devType (16) | bits 15-17 zero |
//   bits 18-20 cmd (sub-field) | bits 21-28 msg (message type)
// and the record keeps one field per byte; data byte n is frame byte 8 + n.
_TQUIL1G5_CAN_FRAME makerFrame(unsigned char msg, unsigned char cmd, std::initializer_list<uint8_t> data,
                               unsigned char id = kId)
{
    _TQUIL1G5_CAN_FRAME f;
    std::memset(&f, 0, sizeof f);
    f.header.devType = SDT_G1;
    f.header.devNumber = id;
    f.header.msg = msg;
    f.header.cmd = cmd;
    f.header.dlc = static_cast<uint16_t>(data.size());
    int i = 0;
    for (uint8_t b : data)
        f.data[i++] = b;
    return f;
}

bool feed(TiltSensor& s, _TQUIL1G5_CAN_FRAME f, unsigned long long time = 1000)
{
    return s.Parse(&f, time);
}

TiltSensorG1 newG1()
{
    return TiltSensorG1(SensorManager::getInstance(), 1, kId);
}

}  // namespace

TEST(TiltSensor, StreamMessagesDecodeSignedLittleEndianIntoTheirStreams)
{
    struct Case {
        unsigned char msg;
        TiltSpeed speed;
        TiltFilter filter;
    } cases[] = {{3, FAST, RAW},  {4, FAST, FIR},  {16, FAST, FIX},  {17, FAST, SCALED},  {18, FAST, CALIBRATED},
                 {6, SLOW, FIR},  {12, SLOW, FIX}, {13, SLOW, SCALED}, {14, SLOW, CALIBRATED}};
    for (const Case& c : cases) {
        TiltSensorG1 s = newG1();
        // x = 0x8000 (-32768), y = 0x7FFF, z = 0xFFFE (-2), w = 0x1234.
        ASSERT_TRUE(feed(s, makerFrame(c.msg, 0, {0x00, 0x80, 0xFF, 0x7F, 0xFE, 0xFF, 0x34, 0x12}), 1234));
        for (int sp = 0; sp < 2; ++sp)
            for (int fi = 0; fi < 5; ++fi) {
                const bool expected = sp == c.speed && fi == c.filter;
                EXPECT_EQ(s.isUnitAvaiable(TiltSpeed(sp), TiltFilter(fi)), expected) << "message " << int(c.msg);
            }
        const TiltValue v = s.getValue(c.speed, c.filter);
        EXPECT_EQ(v.x, -32768) << "message " << int(c.msg);
        EXPECT_EQ(v.y, 32767);
        EXPECT_EQ(v.z, -2);
        EXPECT_EQ(v.w, 0x1234);
        EXPECT_EQ(s.getHandledCount(), 1);
        EXPECT_EQ(s.getMessageCount(), 1);
        EXPECT_EQ(s.getUnknownCount(), 0);
        EXPECT_TRUE(s.isSensorOk());
        EXPECT_EQ(s.getLastMessageTime(), 1234u);

        const Vector3d u = s.getUnit(c.speed, c.filter);
        EXPECT_EQ(u.GetX(), -32768.0);
        EXPECT_EQ(u.GetY(), 32767.0);
        EXPECT_EQ(u.GetZ(), -2.0);
        const Quat q = s.getOrientation(c.speed, c.filter);
        EXPECT_EQ(q.GetW(), 4660.0);
        EXPECT_EQ(q.GetX(), -32768.0);
        EXPECT_EQ(q.GetY(), 32767.0);
        EXPECT_EQ(q.GetZ(), -2.0);
    }
}

TEST(TiltSensor, SlowRawTakesOneThirtyTwoBitComponentPerFrame)
{
    TiltSensorG1 s = newG1();
    feed(s, makerFrame(1, 0, {0x78, 0x56, 0x34, 0x12, 0}));
    feed(s, makerFrame(1, 0, {0xFF, 0xFF, 0xFF, 0x7F, 1}));
    feed(s, makerFrame(1, 0, {0xFF, 0xFF, 0xFF, 0xFF, 2}));
    feed(s, makerFrame(1, 0, {0x00, 0x00, 0x00, 0x80, 3}));
    TiltValue v = s.getValue(SLOW, RAW);
    EXPECT_EQ(v.x, 0x12345678);
    EXPECT_EQ(v.y, INT_MAX);
    EXPECT_EQ(v.z, -1);
    EXPECT_EQ(v.w, INT_MIN);
    EXPECT_FALSE(s.isUnitAvaiable(FAST, RAW));

    // A selector beyond w stores nothing, yet the stream counts as having a reading.
    TiltSensorG1 t = newG1();
    feed(t, makerFrame(1, 0, {0x11, 0x22, 0x33, 0x44, 7}));
    EXPECT_TRUE(t.isUnitAvaiable(SLOW, RAW));
    v = t.getValue(SLOW, RAW);
    EXPECT_EQ(v.x, 0);
    EXPECT_EQ(v.y, 0);
    EXPECT_EQ(v.z, 0);
    EXPECT_EQ(v.w, 0);
    EXPECT_EQ(t.getHandledCount(), 1);
}

TEST(TiltSensor, TemperatureAndWarmUpFlags)
{
    TiltSensorG1 s = newG1();
    EXPECT_EQ(s.getTemperature1(), 2147483647);
    EXPECT_EQ(s.getTemperature2(), 2147483647);
    EXPECT_FALSE(s.isTemperatureValid());
    // temperature1 = 0xFF38 (-200), temperature2 = 0x0001; warm-up flags from data 2, 3, 4, 5.
    feed(s, makerFrame(7, 0, {0x38, 0xFF, 0x01, 0x00, 0x00, 0x05, 0, 0}));
    EXPECT_TRUE(s.isTemperatureValid());
    EXPECT_EQ(s.getTemperature1(), -200);
    EXPECT_EQ(s.getTemperature2(), 1);
    EXPECT_TRUE(s.getWarmUp(0));
    EXPECT_FALSE(s.getWarmUp(1));
    EXPECT_FALSE(s.getWarmUp(2));
    EXPECT_TRUE(s.getWarmUp(3));
    EXPECT_EQ(s.ToXML(0x80), "<sensor id=\"101\" temp=\"-200,1\" warmup=\"^--^\" />\n");
    EXPECT_EQ(s.getHandledCount(), 1);
}

TEST(TiltSensor, ReadBacksOfIntervalsEndMatrixAndFilterLengths)
{
    TiltSensorG1 s = newG1();
    // 82: interval slot in data 0, the pair in data 1-2, only with sub-field 1 and slot up to 7.
    feed(s, makerFrame(82, 1, {3, 10, 20}));
    feed(s, makerFrame(82, 1, {7, 70, 71}));
    feed(s, makerFrame(82, 1, {8, 80, 81}));
    feed(s, makerFrame(82, 0, {2, 30, 40}));
    TiltSensorMsgIntervals iv = s.getMsgIntervals();
    for (int i = 0; i < 8; ++i) {
        const int a = i == 3 ? 10 : (i == 7 ? 70 : 0);
        const int b = i == 3 ? 20 : (i == 7 ? 71 : 0);
        EXPECT_EQ(iv.interval[i][0], a) << "slot " << i;
        EXPECT_EQ(iv.interval[i][1], b) << "slot " << i;
    }

    // 88: a read-back needs bit 2 of the sub-field; the group of four is the sub-field mod 4.
    EXPECT_EQ(s.getRotationMatrix(), std::make_pair(-1, 0));
    feed(s, makerFrame(88, 2, {0x01, 0x02, 0x03, 0, 1}));
    EXPECT_EQ(s.getRotationMatrix(), std::make_pair(-1, 0));
    feed(s, makerFrame(88, 6, {0x00, 0x00, 0x80, 0, 1}));
    EXPECT_EQ(s.getRotationMatrix(), std::make_pair(9, -8388608));
    feed(s, makerFrame(88, 7, {0x56, 0x34, 0x12, 0, 3}));
    EXPECT_EQ(s.getRotationMatrix(), std::make_pair(15, 0x123456));

    // 89: fast with sub-field 4, slow with 5; without bit 2 nothing.
    feed(s, makerFrame(89, 4, {12}));
    feed(s, makerFrame(89, 5, {34}));
    feed(s, makerFrame(89, 1, {99}));
    feed(s, makerFrame(89, 6, {98}));
    EXPECT_EQ(s.getFastFirLength(), 12);
    EXPECT_EQ(s.getSlowFirLength(), 34);

    // All of these are known messages, even those that changed nothing.
    EXPECT_EQ(s.getHandledCount(), 11);
    EXPECT_EQ(s.getUnknownCount(), 0);
    EXPECT_EQ(s.getMessageCount(), 11);
}

TEST(TiltSensor, UnknownMessagesAreCountedApart)
{
    TiltSensorG1 s = newG1();
    feed(s, makerFrame(3, 0, {1, 0, 2, 0, 3, 0, 4, 0}));
    feed(s, makerFrame(200, 0, {1, 2, 3, 4, 5, 6, 7, 8}));
    feed(s, makerFrame(34, 1, {0, 0, 4, 0, 1, 2, 3, 4}));
    EXPECT_EQ(s.getMessageCount(), 3);
    EXPECT_EQ(s.getHandledCount(), 1);
    EXPECT_EQ(s.getUnknownCount(), 2);
    EXPECT_EQ(s.ToXML(0x500), "<sensor id=\"101\" handled=\"1\" unknown=\"2\" />\n");
    // Counts that are zero are left out; skipped is never raised.
    TiltSensorG1 fresh = newG1();
    EXPECT_EQ(fresh.ToXML(0x700), "<sensor id=\"101\" />\n");
}

TEST(TiltSensor, FixedPointConversionsAtTheirEdges)
{
    EXPECT_EQ(TiltSensorG1::RealToFixed(1.0), 32767);
    EXPECT_EQ(TiltSensorG1::RealToFixed(5.0), 32767);
    EXPECT_EQ(TiltSensorG1::RealToFixed(32767.0 / 32768.0), 32767);
    EXPECT_EQ(TiltSensorG1::RealToFixed(0.99996), 32766);  // 32766.69 truncated
    EXPECT_EQ(TiltSensorG1::RealToFixed(0.5), 16384);
    EXPECT_EQ(TiltSensorG1::RealToFixed(0.0), 0);
    EXPECT_EQ(TiltSensorG1::RealToFixed(-1.0), 0xFF8000);
    EXPECT_EQ(TiltSensorG1::RealToFixed(-0.5), 0xFFC000);
    EXPECT_EQ(TiltSensorG1::RealToFixed(-1.0 / 32768.0), 0xFFFFFF);
    EXPECT_EQ(TiltSensorG1::RealToFixed(-0.00001), 0);  // -0.33 truncates toward zero
    // No saturation below: -256.0 is -2^23, the most negative 24-bit value; -512.0 wraps to 0.
    EXPECT_EQ(TiltSensorG1::RealToFixed(-256.0), 0x800000);
    EXPECT_EQ(TiltSensorG1::RealToFixed(-512.0), 0);

    EXPECT_EQ(TiltSensorG1::Get24B(0x80, 0x00, 0x00), -8388608);
    EXPECT_EQ(TiltSensorG1::Get24B(0x7F, 0xFF, 0xFF), 8388607);
    EXPECT_EQ(TiltSensorG1::Get24B(0xFF, 0xFF, 0xFF), -1);
    EXPECT_EQ(TiltSensorG1::Get24B(0x12, 0x34, 0x56), 0x123456);
    EXPECT_EQ(TiltSensorG1::Get24B(0xFF, 0x80, 0x00), -32768);
    // A value sent as fixed point reads back as the same number.
    EXPECT_EQ(TiltSensorG1::Get24B(0xFF, 0xC0, 0x00), -16384);
}

TEST(TiltSensor, XmlByFlagMask)
{
    TiltSensorG1 s = newG1();
    EXPECT_EQ(s.ToXML(0), "<sensor id=\"101\" />\n");
    EXPECT_EQ(s.ToXML(0x800), "<sensor id=\"101\">\n <speed class=\"fast\">\n </speed>\n <speed class=\"slow\">\n </speed>\n</sensor>\n");

    feed(s, makerFrame(18, 0, {1, 0, 2, 0, 3, 0, 4, 0}));
    feed(s, makerFrame(3, 0, {0xFF, 0xFF, 0, 0, 0, 0, 0, 0x80}));
    feed(s, makerFrame(1, 0, {5, 0, 0, 0, 2}));
    feed(s, makerFrame(7, 0, {20, 0, 21, 0, 0, 0, 0, 0}));
    EXPECT_EQ(s.ToXML(0), "<sensor id=\"101\" />\n");
    EXPECT_EQ(s.ToXML(0x100), "<sensor id=\"101\" handled=\"4\" />\n");
    EXPECT_EQ(s.ToXML(0x980),
              "<sensor id=\"101\" handled=\"4\" temp=\"20,21\" warmup=\"^---\">\n"
              " <speed class=\"fast\">\n"
              "  <value filter=\"raw\" x=\"-1\" y=\"0\" z=\"0\" w=\"-32768\"/>\n"
              "  <value filter=\"calibrated\" x=\"1\" y=\"2\" z=\"3\" w=\"4\"/>\n"
              " </speed>\n"
              " <speed class=\"slow\">\n"
              "  <value filter=\"raw\" x=\"0\" y=\"0\" z=\"5\" w=\"0\"/>\n"
              " </speed>\n"
              "</sensor>\n");

    // The common base and the second generation have no XML of their own.
    TiltSensor base(SensorManager::getInstance(), 1, kId);
    TiltSensorG2 g2(SensorManager::getInstance(), 1, kId);
    EXPECT_EQ(base.ToXML(0), "");
    EXPECT_EQ(g2.ToXML(0x980), "");
}

TEST(TiltSensor, StabilityFollowsTheScalarPart)
{
    TiltSensorG1 s = newG1();
    EXPECT_TRUE(s.isStable(FAST, FIR, 30000));  // no reading yet
    feed(s, makerFrame(4, 0, {0, 0, 0, 0, 0, 0, 0x30, 0x75}));  // w = 30000
    EXPECT_FALSE(s.isStable(FAST, FIR, 30000));
    EXPECT_TRUE(s.isStable(FAST, FIR, 29999));
    feed(s, makerFrame(4, 0, {0, 0, 0, 0, 0, 0, 0xD0, 0x8A}));  // w = -30000
    EXPECT_TRUE(s.isStable(FAST, FIR, 29999));
    EXPECT_FALSE(s.isStable(FAST, FIR, 30000));
}

TEST(TiltSensor, TimeoutCleansEveryReadingOnce)
{
    TiltSensorG1 s = newG1();
    EXPECT_EQ(s.GetErrorTimeoutTime(), 500u);
    feed(s, makerFrame(3, 0, {1, 0, 2, 0, 3, 0, 4, 0}), 1000);
    feed(s, makerFrame(7, 0, {9, 0, 8, 0, 1, 1, 0, 0}), 1000);
    feed(s, makerFrame(88, 4, {1, 0, 0, 0, 2}), 1000);
    feed(s, makerFrame(82, 1, {0, 5, 6}), 1000);
    feed(s, makerFrame(89, 4, {16}), 1000);
    feed(s, makerFrame(89, 5, {32}), 1000);

    s.Update(10, 1500);
    EXPECT_TRUE(s.isSensorOk());
    EXPECT_TRUE(s.isUnitAvaiable(FAST, RAW));

    s.Update(10, 1501);
    EXPECT_FALSE(s.isSensorOk());
    EXPECT_EQ(s.GetErrorCount(), 1u);
    EXPECT_FALSE(s.isUnitAvaiable(FAST, RAW));
    EXPECT_EQ(s.getValue(FAST, RAW).x, 0);
    EXPECT_EQ(s.getTemperature1(), INT_MAX);
    EXPECT_FALSE(s.getWarmUp(2));
    EXPECT_EQ(s.getRotationMatrix(), std::make_pair(-1, 0));
    EXPECT_EQ(s.getMsgIntervals().interval[0][0], 0);
    EXPECT_EQ(s.getFastFirLength(), 0);
    EXPECT_EQ(s.getSlowFirLength(), 0);
    EXPECT_EQ(s.ToXML(0x880), "<sensor id=\"101\">\n <speed class=\"fast\">\n </speed>\n <speed class=\"slow\">\n </speed>\n</sensor>\n");
    s.Update(10, 1900);
    EXPECT_EQ(s.GetErrorCount(), 1u);
}

TEST(TiltSensor, CopiesCarryReadingsButNoSettingsTransfer)
{
    TiltSensorG1 s = newG1();
    feed(s, makerFrame(13, 0, {7, 0, 8, 0, 9, 0, 10, 0}));
    ASSERT_TRUE(s.setOperationMode(G2_OPERATION_READ_SETTINGS));

    TiltSensorG1 copy(s);
    EXPECT_TRUE(copy.isUnitAvaiable(SLOW, SCALED));
    EXPECT_EQ(copy.getValue(SLOW, SCALED).w, 10);
    EXPECT_EQ(copy.getOperationMode(), G2_OPERATION_NONE);

    std::unique_ptr<Sensor> clone(s.Clone());
    auto* g1 = dynamic_cast<TiltSensorG1*>(clone.get());
    ASSERT_NE(g1, nullptr);
    EXPECT_EQ(g1->getValue(SLOW, SCALED).z, 9);
    EXPECT_EQ(g1->getOperationMode(), G2_OPERATION_NONE);

    TiltSensorG1 assigned = newG1();
    assigned = s;
    EXPECT_EQ(assigned.getValue(SLOW, SCALED).x, 7);
    EXPECT_EQ(assigned.getOperationMode(), G2_OPERATION_NONE);

    TiltSensorG2 g2(SensorManager::getInstance(), 1, 102);
    std::unique_ptr<Sensor> g2clone(g2.Clone());
    EXPECT_NE(dynamic_cast<TiltSensorG2*>(g2clone.get()), nullptr);
    EXPECT_EQ(g2clone->getSensorId(), 102);
    EXPECT_EQ(g2clone->GetErrorTimeoutTime(), 500u);
}

TEST(TiltSensor, SettingsChunksAreCopiedInsideTheBufferOnly)
{
    uint32_t size = 0;
    uint8_t* buffer = nullptr;

    // Wrong sub-field or too short: ignored.
    _TQUIL1G5_CAN_FRAME f = makerFrame(34, 0, {0, 0, 4, 0, 1, 2, 6, 0});
    EXPECT_EQ(TiltSensor::parseG2SettingsMessage(&f, size, buffer), 0);
    f = makerFrame(34, 1, {0, 0, 4});
    EXPECT_EQ(TiltSensor::parseG2SettingsMessage(&f, size, buffer), 0);
    EXPECT_EQ(buffer, nullptr);

    // A chunk beyond offset 0 before the transfer is open: nothing to copy into.
    f = makerFrame(34, 1, {4, 0, 4, 0, 1, 2, 3, 4});
    EXPECT_EQ(TiltSensor::parseG2SettingsMessage(&f, size, buffer), 4);
    EXPECT_EQ(buffer, nullptr);

    // Offset 0 opens a transfer of 6 bytes (data 6-7); the chunk itself fills bytes 0-3.
    f = makerFrame(34, 1, {0, 0, 4, 0, 0xA0, 0xA1, 6, 0});
    EXPECT_EQ(TiltSensor::parseG2SettingsMessage(&f, size, buffer), 0);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(size, 6u);
    // A chunk that claims 200 bytes at offset 4 carries four and may only write two.
    f = makerFrame(34, 1, {4, 0, 200, 0, 0xB0, 0xB1, 0xB2, 0xB3});
    EXPECT_EQ(TiltSensor::parseG2SettingsMessage(&f, size, buffer), 4);
    // A chunk starting beyond the end writes nothing; a short frame copies only what it carries.
    f = makerFrame(34, 1, {9, 0, 4, 0, 0xC0, 0xC1, 0xC2, 0xC3});
    EXPECT_EQ(TiltSensor::parseG2SettingsMessage(&f, size, buffer), 9);
    f = makerFrame(34, 1, {3, 0, 4, 0, 0xD0});
    EXPECT_EQ(TiltSensor::parseG2SettingsMessage(&f, size, buffer), 3);
    const uint8_t expected[6] = {0xA0, 0xA1, 6, 0xD0, 0xB0, 0xB1};
    EXPECT_EQ(std::memcmp(buffer, expected, 6), 0);
    // A second offset-0 chunk does not reopen an open transfer.
    f = makerFrame(34, 1, {0, 0, 4, 0, 0xE0, 0xE1, 50, 0});
    TiltSensor::parseG2SettingsMessage(&f, size, buffer);
    EXPECT_EQ(size, 6u);
    delete[] buffer;
}

TEST(TiltSensor, SettingsReadOutRunsChunkByChunkToTheEnd)
{
    TiltSensorG2 s(SensorManager::getInstance(), 1, 103);
    uint32_t size = 99;
    EXPECT_EQ(s.getSettings(size), nullptr);
    EXPECT_EQ(size, 0u);
    // Nothing is requested while no read-out is under way.
    EXPECT_EQ(s.readSettings(1000), 0);
    EXPECT_EQ(s.getChunksRequested(), 0);

    ASSERT_TRUE(s.setOperationMode(G2_OPERATION_READ_SETTINGS));
    EXPECT_FALSE(s.setOperationMode(G2_OPERATION_READ_SETTINGS));
    s.readSettings(1000);
    EXPECT_EQ(s.getChunksRequested(), 1);
    EXPECT_EQ(s.getRequestedOffset(), 0);
    // Unanswered: no new request until the retry time, then the same offset again.
    EXPECT_EQ(s.readSettings(1999), 0);
    EXPECT_EQ(s.getChunksRequested(), 1);

    // The wrong chunk is not taken; the right one announces 10 bytes.
    feed(s, makerFrame(34, 1, {4, 0, 4, 0, 9, 9, 9, 9}), 1100);
    EXPECT_EQ(s.getChunksReceived(), 0);
    feed(s, makerFrame(34, 1, {0, 0, 4, 0, 1, 2, 10, 0}), 1100);
    EXPECT_EQ(s.getChunksReceived(), 1);
    EXPECT_EQ(s.getReceivedOffset(), 0);

    s.readSettings(1200);
    EXPECT_EQ(s.getRequestedOffset(), 4);
    EXPECT_EQ(s.readSettings(1300), 4);  // waiting
    EXPECT_EQ(s.getChunksRequested(), 2);
    feed(s, makerFrame(34, 1, {4, 0, 4, 0, 3, 4, 5, 6}), 1400);
    s.readSettings(1500);
    EXPECT_EQ(s.getRequestedOffset(), 8);
    feed(s, makerFrame(34, 1, {8, 0, 4, 0, 7, 8, 0xEE, 0xEE}), 1600);

    // The last chunk completes the read-out; a new one may start.
    EXPECT_EQ(s.getOperationMode(), G2_OPERATION_NONE);
    const uint8_t* settings = s.getSettings(size);
    ASSERT_NE(settings, nullptr);
    ASSERT_EQ(size, 10u);
    const uint8_t expected[10] = {1, 2, 10, 0, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(std::memcmp(settings, expected, 10), 0);
    EXPECT_EQ(s.getMessageCount(), 4);
    EXPECT_TRUE(s.setOperationMode(G2_OPERATION_READ_SETTINGS));
    EXPECT_EQ(s.getRequestedOffset(), 0);
    EXPECT_EQ(s.getChunksReceived(), 0);
}

TEST(TiltSensor, UnansweredSettingsRequestIsRepeatedAFewTimesThenGivenUp)
{
    TiltSensorG1 s = newG1();
    ASSERT_TRUE(s.setOperationMode(G2_OPERATION_READ_SETTINGS));
    s.readSettings(1000);
    for (int i = 1; i <= TiltSensor::SETTINGS_MAX_RETRIES; ++i) {
        s.readSettings(1000 + i * TiltSensor::SETTINGS_RETRY_MS);
        EXPECT_EQ(s.getOperationMode(), G2_OPERATION_READ_SETTINGS) << "retry " << i;
    }
    s.readSettings(1000 + (TiltSensor::SETTINGS_MAX_RETRIES + 1) * TiltSensor::SETTINGS_RETRY_MS);
    EXPECT_EQ(s.getOperationMode(), G2_OPERATION_NONE);
    // A first generation sensor feeds the read-out too, while counting the chunk as unknown.
    ASSERT_TRUE(s.setOperationMode(G2_OPERATION_READ_SETTINGS));
    s.readSettings(9000);
    feed(s, makerFrame(34, 1, {0, 0, 4, 0, 1, 2, 4, 0}), 9100);
    EXPECT_EQ(s.getOperationMode(), G2_OPERATION_NONE);
    uint32_t size = 0;
    ASSERT_NE(s.getSettings(size), nullptr);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(s.getUnknownCount(), 1);
}
