#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <tuple>
#include <vector>

#include "SensorManager.h"
#include "TiltSensor.h"
#include "TiltSensorG1.h"
#include "TiltSensorG2.h"

using namespace Sensors;

namespace {

const unsigned char kId = 101;

// A maker frame as a tilt sensor sends it, one record field per identifier field; data byte n is frame byte 8 + n.
_TQUIL1G5_CAN_FRAME makerFrame(unsigned char msg, unsigned char cmd, std::initializer_list<uint8_t> data)
{
    _TQUIL1G5_CAN_FRAME f{};
    f.header.devType = SDT_G1;
    f.header.devNumber = kId;
    f.header.msg = msg;
    f.header.cmd = cmd;
    f.header.dlc = static_cast<uint16_t>(data.size());
    std::copy(data.begin(), data.end(), f.data);
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

std::tuple<int, int, int, int> xyzw(const TiltValue& v)
{
    return std::make_tuple(v.x, v.y, v.z, v.w);
}

const char* const kEmptySpeeds = "<sensor id=\"101\">\n <speed class=\"fast\">\n </speed>\n <speed class=\"slow\">\n </speed>\n</sensor>\n";

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
            for (int fi = 0; fi < 5; ++fi)
                EXPECT_EQ(s.isUnitAvaiable(TiltSpeed(sp), TiltFilter(fi)), sp == c.speed && fi == c.filter)
                    << "message " << int(c.msg);
        EXPECT_EQ(xyzw(s.getValue(c.speed, c.filter)), std::make_tuple(-32768, 32767, -2, 0x1234)) << "message " << int(c.msg);
        EXPECT_EQ(std::make_tuple(s.getHandledCount(), s.getMessageCount(), s.getUnknownCount(), s.getLastMessageTime()),
                  std::make_tuple(1, 1, 0, 1234ull));
        EXPECT_TRUE(s.isSensorOk());
    }
    // The orientation hands the stream on as a quaternion, w first.
    TiltSensorG1 s = newG1();
    feed(s, makerFrame(18, 0, {0x00, 0x80, 0xFF, 0x7F, 0xFE, 0xFF, 0x34, 0x12}));
    const Quat q = s.getOrientation(FAST, CALIBRATED);
    EXPECT_EQ(std::make_tuple(q.GetW(), q.GetX(), q.GetY(), q.GetZ()), std::make_tuple(4660.0, -32768.0, 32767.0, -2.0));
}

TEST(TiltSensor, SlowRawTakesOneThirtyTwoBitComponentPerFrame)
{
    TiltSensorG1 s = newG1();
    feed(s, makerFrame(1, 0, {0x78, 0x56, 0x34, 0x12, 0}));
    feed(s, makerFrame(1, 0, {0xFF, 0xFF, 0xFF, 0x7F, 1}));
    feed(s, makerFrame(1, 0, {0xFF, 0xFF, 0xFF, 0xFF, 2}));
    feed(s, makerFrame(1, 0, {0x00, 0x00, 0x00, 0x80, 3}));
    EXPECT_EQ(xyzw(s.getValue(SLOW, RAW)), std::make_tuple(0x12345678, INT_MAX, -1, INT_MIN));
    EXPECT_FALSE(s.isUnitAvaiable(FAST, RAW));
    // A selector beyond w stores nothing, yet the stream counts as having a reading.
    TiltSensorG1 t = newG1();
    feed(t, makerFrame(1, 0, {0x11, 0x22, 0x33, 0x44, 7}));
    EXPECT_TRUE(t.isUnitAvaiable(SLOW, RAW));
    EXPECT_EQ(xyzw(t.getValue(SLOW, RAW)), std::make_tuple(0, 0, 0, 0));
    EXPECT_EQ(t.getHandledCount(), 1);
}

TEST(TiltSensor, TemperatureAndWarmUpFlags)
{
    TiltSensorG1 s = newG1();
    EXPECT_EQ(std::make_tuple(s.getTemperature1(), s.getTemperature2(), s.isTemperatureValid()),
              std::make_tuple(INT_MAX, INT_MAX, false));
    // temperature1 = 0xFF38 (-200), temperature2 = 0x0001; warm-up flags from data 2, 3, 4, 5.
    feed(s, makerFrame(7, 0, {0x38, 0xFF, 0x01, 0x00, 0x00, 0x05, 0, 0}));
    EXPECT_EQ(std::make_tuple(s.getTemperature1(), s.getTemperature2(), s.isTemperatureValid()),
              std::make_tuple(-200, 1, true));
    EXPECT_EQ(std::make_tuple(s.getWarmUp(0), s.getWarmUp(1), s.getWarmUp(2), s.getWarmUp(3)),
              std::make_tuple(true, false, false, true));
    EXPECT_EQ(s.ToXML(0x80), "<sensor id=\"101\" temp=\"-200,1\" warmup=\"^--^\" />\n");
}

TEST(TiltSensor, ReadBacksOfIntervalsEndMatrixAndFilterLengths)
{
    TiltSensorG1 s = newG1();
    // 82: interval slot in data 0, the pair in data 1-2, only with sub-field 1 and slot up to 7.
    for (const auto& f : {makerFrame(82, 1, {3, 10, 20}), makerFrame(82, 1, {7, 70, 71}), makerFrame(82, 1, {8, 80, 81}),
                          makerFrame(82, 0, {2, 30, 40})})
        feed(s, f);
    const TiltSensorMsgIntervals iv = s.getMsgIntervals();
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(std::make_tuple(int(iv.interval[i][0]), int(iv.interval[i][1])),
                  i == 3 ? std::make_tuple(10, 20) : (i == 7 ? std::make_tuple(70, 71) : std::make_tuple(0, 0)))
            << "slot " << i;
    // 88: a read-back needs bit 2 of the sub-field; the group of four is the sub-field mod 4.
    feed(s, makerFrame(88, 2, {0x01, 0x02, 0x03, 0, 1}));
    EXPECT_EQ(s.getRotationMatrix(), std::make_pair(-1, 0));
    feed(s, makerFrame(88, 6, {0x00, 0x00, 0x80, 0, 1}));
    EXPECT_EQ(s.getRotationMatrix(), std::make_pair(9, -8388608));
    feed(s, makerFrame(88, 7, {0x56, 0x34, 0x12, 0, 3}));
    EXPECT_EQ(s.getRotationMatrix(), std::make_pair(15, 0x123456));
    // 89: fast with sub-field 4, slow with 5; without bit 2 nothing.
    for (const auto& f : {makerFrame(89, 4, {12}), makerFrame(89, 5, {34}), makerFrame(89, 1, {99}), makerFrame(89, 6, {98})})
        feed(s, f);
    EXPECT_EQ(std::make_tuple(s.getFastFirLength(), s.getSlowFirLength()), std::make_tuple(12, 34));
    // All of these are known messages, even those that changed nothing.
    EXPECT_EQ(std::make_tuple(s.getHandledCount(), s.getUnknownCount(), s.getMessageCount()), std::make_tuple(11, 0, 11));
}

TEST(TiltSensor, FixedPointConversionsAtTheirEdges)
{
    // 32766.69 truncates; -0.33 truncates toward zero. No saturation below: -256.0 is -2^23, the most
    // negative 24-bit value; -512.0 wraps to 0.
    const std::pair<double, int> toFixed[] = {
        {1.0, 32767},         {5.0, 32767},         {32767.0 / 32768.0, 32767}, {0.99996, 32766},
        {0.5, 16384},         {0.0, 0},             {-1.0, 0xFF8000},           {-0.5, 0xFFC000},
        {-1.0 / 32768.0, 0xFFFFFF}, {-0.00001, 0},  {-256.0, 0x800000},         {-512.0, 0}};
    for (const auto& c : toFixed)
        EXPECT_EQ(TiltSensorG1::RealToFixed(c.first), c.second) << c.first;
    EXPECT_EQ(TiltSensorG1::Get24B(0x80, 0x00, 0x00), -8388608);
    EXPECT_EQ(TiltSensorG1::Get24B(0x7F, 0xFF, 0xFF), 8388607);
    EXPECT_EQ(TiltSensorG1::Get24B(0xFF, 0xFF, 0xFF), -1);
    EXPECT_EQ(TiltSensorG1::Get24B(0x12, 0x34, 0x56), 0x123456);
    EXPECT_EQ(TiltSensorG1::Get24B(0xFF, 0xC0, 0x00), -16384);  // -0.5 sent as fixed point reads back
}

TEST(TiltSensor, XmlByFlagMaskAndUnknownMessages)
{
    TiltSensorG1 s = newG1();
    EXPECT_EQ(s.ToXML(0x700), "<sensor id=\"101\" />\n");  // counts that are zero are left out
    EXPECT_EQ(s.ToXML(0x800), kEmptySpeeds);
    feed(s, makerFrame(18, 0, {1, 0, 2, 0, 3, 0, 4, 0}));
    feed(s, makerFrame(3, 0, {0xFF, 0xFF, 0, 0, 0, 0, 0, 0x80}));
    feed(s, makerFrame(1, 0, {5, 0, 0, 0, 2}));
    feed(s, makerFrame(7, 0, {20, 0, 21, 0, 0, 0, 0, 0}));
    EXPECT_EQ(s.ToXML(0), "<sensor id=\"101\" />\n");
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
    // Unknown messages are counted apart; skipped is never raised.
    feed(s, makerFrame(200, 0, {1, 2, 3, 4, 5, 6, 7, 8}));
    feed(s, makerFrame(34, 1, {0, 0, 4, 0, 1, 2, 3, 4}));
    EXPECT_EQ(std::make_tuple(s.getMessageCount(), s.getUnknownCount()), std::make_tuple(6, 2));
    EXPECT_EQ(s.ToXML(0x700), "<sensor id=\"101\" handled=\"4\" unknown=\"2\" />\n");
    // The common base and the second generation have no XML of their own.
    EXPECT_EQ(TiltSensor(SensorManager::getInstance(), 1, kId).ToXML(0), "");
    EXPECT_EQ(TiltSensorG2(SensorManager::getInstance(), 1, kId).ToXML(0x980), "");
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
    for (const auto& f : {makerFrame(3, 0, {1, 0, 2, 0, 3, 0, 4, 0}), makerFrame(7, 0, {9, 0, 8, 0, 1, 1, 0, 0}),
                          makerFrame(88, 4, {1, 0, 0, 0, 2}), makerFrame(82, 1, {0, 5, 6}), makerFrame(89, 4, {16}),
                          makerFrame(89, 5, {32})})
        feed(s, f, 1000);
    s.Update(10, 1500);
    EXPECT_TRUE(s.isSensorOk());
    s.Update(10, 1501);
    EXPECT_EQ(std::make_tuple(s.isSensorOk(), s.GetErrorCount(), s.isUnitAvaiable(FAST, RAW), s.getValue(FAST, RAW).x),
              std::make_tuple(false, 1u, false, 0));
    EXPECT_EQ(std::make_tuple(s.getTemperature1(), s.getWarmUp(2), s.getRotationMatrix(), int(s.getMsgIntervals().interval[0][0])),
              std::make_tuple(INT_MAX, false, std::make_pair(-1, 0), 0));
    EXPECT_EQ(std::make_tuple(s.getFastFirLength(), s.getSlowFirLength()), std::make_tuple(0, 0));
    EXPECT_EQ(s.ToXML(0x880), kEmptySpeeds);
    s.Update(10, 1900);
    EXPECT_EQ(s.GetErrorCount(), 1u);
}

TEST(TiltSensor, CopiesCarryReadingsButNoSettingsTransfer)
{
    TiltSensorG1 s = newG1();
    feed(s, makerFrame(13, 0, {7, 0, 8, 0, 9, 0, 10, 0}));
    ASSERT_TRUE(s.setOperationMode(G2_OPERATION_READ_SETTINGS));
    TiltSensorG1 copy(s);
    TiltSensorG1 assigned = newG1();
    assigned = s;
    std::unique_ptr<Sensor> clone(s.Clone());
    auto* g1 = dynamic_cast<TiltSensorG1*>(clone.get());
    ASSERT_NE(g1, nullptr);
    for (const TiltSensorG1* c : std::vector<const TiltSensorG1*>{&copy, &assigned, g1}) {
        EXPECT_EQ(xyzw(c->getValue(SLOW, SCALED)), std::make_tuple(7, 8, 9, 10));
        EXPECT_EQ(c->getOperationMode(), G2_OPERATION_NONE);
    }
    TiltSensorG2 g2(SensorManager::getInstance(), 1, 102);
    std::unique_ptr<Sensor> g2clone(g2.Clone());
    EXPECT_NE(dynamic_cast<TiltSensorG2*>(g2clone.get()), nullptr);
    EXPECT_EQ(std::make_tuple(g2clone->getSensorId(), g2clone->GetErrorTimeoutTime()), std::make_tuple(102, 500u));
}

TEST(TiltSensor, SettingsChunksAreCopiedInsideTheBufferOnly)
{
    uint32_t size = 0;
    uint8_t* buffer = nullptr;
    const auto parse = [&](std::initializer_list<uint8_t> data, unsigned char cmd = 1) {
        _TQUIL1G5_CAN_FRAME f = makerFrame(34, cmd, data);
        return TiltSensor::parseG2SettingsMessage(&f, size, buffer);
    };
    // Wrong sub-field or too short: ignored. A chunk beyond offset 0 before the transfer is open: nowhere to copy.
    EXPECT_EQ(parse({0, 0, 4, 0, 1, 2, 6, 0}, 0), 0);
    EXPECT_EQ(parse({0, 0, 4}), 0);
    EXPECT_EQ(parse({4, 0, 4, 0, 1, 2, 3, 4}), 4);
    EXPECT_EQ(buffer, nullptr);
    // Offset 0 opens a transfer of 6 bytes (data 6-7); the chunk itself fills bytes 0-3.
    EXPECT_EQ(parse({0, 0, 4, 0, 0xA0, 0xA1, 6, 0}), 0);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(size, 6u);
    // A chunk that claims 200 bytes at offset 4 carries four and may only write two; a chunk starting
    // beyond the end writes nothing; a short frame copies only what it carries.
    EXPECT_EQ(parse({4, 0, 200, 0, 0xB0, 0xB1, 0xB2, 0xB3}), 4);
    EXPECT_EQ(parse({9, 0, 4, 0, 0xC0, 0xC1, 0xC2, 0xC3}), 9);
    EXPECT_EQ(parse({3, 0, 4, 0, 0xD0}), 3);
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 6), std::vector<uint8_t>({0xA0, 0xA1, 6, 0xD0, 0xB0, 0xB1}));
    parse({0, 0, 4, 0, 0xE0, 0xE1, 50, 0});  // a second offset-0 chunk does not reopen an open transfer
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
    // Unanswered: no new request before the retry time.
    EXPECT_EQ(s.readSettings(1999), 0);
    EXPECT_EQ(std::make_tuple(s.getChunksRequested(), s.getRequestedOffset()), std::make_tuple(1, 0));
    // The wrong chunk is not taken; the right one announces 10 bytes.
    feed(s, makerFrame(34, 1, {4, 0, 4, 0, 9, 9, 9, 9}), 1100);
    EXPECT_EQ(s.getChunksReceived(), 0);
    feed(s, makerFrame(34, 1, {0, 0, 4, 0, 1, 2, 10, 0}), 1100);
    EXPECT_EQ(std::make_tuple(s.getChunksReceived(), s.getReceivedOffset()), std::make_tuple(1, 0));
    s.readSettings(1200);
    EXPECT_EQ(s.readSettings(1300), 4);  // waiting
    EXPECT_EQ(std::make_tuple(s.getChunksRequested(), s.getRequestedOffset()), std::make_tuple(2, 4));
    feed(s, makerFrame(34, 1, {4, 0, 4, 0, 3, 4, 5, 6}), 1400);
    s.readSettings(1500);
    EXPECT_EQ(s.getRequestedOffset(), 8);
    feed(s, makerFrame(34, 1, {8, 0, 4, 0, 7, 8, 0xEE, 0xEE}), 1600);
    // The last chunk completes the read-out; a new one may start.
    EXPECT_EQ(s.getOperationMode(), G2_OPERATION_NONE);
    const uint8_t* settings = s.getSettings(size);
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(settings, settings + size), std::vector<uint8_t>({1, 2, 10, 0, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(s.getMessageCount(), 4);
    EXPECT_TRUE(s.setOperationMode(G2_OPERATION_READ_SETTINGS));
    EXPECT_EQ(std::make_tuple(s.getRequestedOffset(), s.getChunksReceived()), std::make_tuple(0, 0));
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
    EXPECT_EQ(std::make_tuple(size, s.getUnknownCount()), std::make_tuple(4u, 1));
}
