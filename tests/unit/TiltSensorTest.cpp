#include <gtest/gtest.h>

#include <climits>
#include <tuple>
#include <vector>

#include "SensorManager.h"
#include "TiltSensor.h"
#include "TiltSensorG1.h"

using namespace Sensors;

namespace {

// A maker frame as a tilt sensor sends it; data byte n is frame byte 8 + n.
_TQUIL1G5_CAN_FRAME makerFrame(unsigned char msg, unsigned char cmd, const std::vector<uint8_t>& data)
{
    _TQUIL1G5_CAN_FRAME f{{SDT_G1, 101, msg, cmd, 0, 0, static_cast<uint16_t>(data.size())}, {}};
    std::copy(data.begin(), data.end(), f.data);
    return f;
}

bool feed(TiltSensor& s, _TQUIL1G5_CAN_FRAME f, unsigned long long time = 1000)
{
    return s.Parse(&f, time);
}

TiltSensorG1 newG1()
{
    return TiltSensorG1(SensorManager::getInstance(), 1, 101);
}

std::tuple<int, int, int, int> xyzw(const TiltValue& v)
{
    return std::make_tuple(v.x, v.y, v.z, v.w);
}

}  // namespace

TEST(TiltSensor, StreamMessagesDecodeSignedLittleEndianIntoTheirStreamOnly)
{
    TiltSensorG1 s = newG1();
    // Message 13 is the slow scaled stream: x = 0x8000 (-32768), y = 0x7FFF, z = 0xFFFE (-2), w = 0x1234.
    ASSERT_TRUE(feed(s, makerFrame(13, 0, {0x00, 0x80, 0xFF, 0x7F, 0xFE, 0xFF, 0x34, 0x12})));
    for (int sp = 0; sp < 2; ++sp)
        for (int fi = 0; fi < 5; ++fi)
            EXPECT_EQ(s.isUnitAvaiable(TiltSpeed(sp), TiltFilter(fi)), sp == SLOW && fi == SCALED) << sp << fi;
    EXPECT_EQ(xyzw(s.getValue(SLOW, SCALED)), std::make_tuple(-32768, 32767, -2, 0x1234));
    // Slow raw takes one 32-bit component per frame, chosen by data 4; a selector beyond w stores nothing.
    for (const auto& data : {std::vector<uint8_t>{0x78, 0x56, 0x34, 0x12, 0}, {0xFF, 0xFF, 0xFF, 0x7F, 1},
                             {0xFF, 0xFF, 0xFF, 0xFF, 2}, {0x00, 0x00, 0x00, 0x80, 3}, {0x11, 0x22, 0x33, 0x44, 7}})
        feed(s, makerFrame(1, 0, data));
    EXPECT_EQ(xyzw(s.getValue(SLOW, RAW)), std::make_tuple(0x12345678, INT_MAX, -1, INT_MIN));
}

// A host holds the bucket still only while the scalar part of the reading stays above its limit.
TEST(TiltSensor, StabilityFollowsTheScalarPart)
{
    TiltSensorG1 s = newG1();
    EXPECT_TRUE(s.isStable(FAST, FIR, 30000));  // no reading yet
    feed(s, makerFrame(4, 0, {0, 0, 0, 0, 0, 0, 0x30, 0x75}));  // w = 30000
    EXPECT_FALSE(s.isStable(FAST, FIR, 30000));
    EXPECT_TRUE(s.isStable(FAST, FIR, 29999));
    feed(s, makerFrame(4, 0, {0, 0, 0, 0, 0, 0, 0xD0, 0x8A}));  // w = -30000: its size counts
    EXPECT_FALSE(s.isStable(FAST, FIR, 30000));
    EXPECT_TRUE(s.isStable(FAST, FIR, 29999));
}

// The diagnostics window shows the end-matrix cell a sensor reads back.
TEST(TiltSensor, EndMatrixReadBackNeedsBit2OfTheSubField)
{
    TiltSensorG1 s = newG1();
    // Group of four from the sub-field mod 4 (6: 2), element in data 4: cell 9.
    feed(s, makerFrame(88, 6, {0x00, 0x00, 0x80, 0, 1}));
    feed(s, makerFrame(88, 2, {0x01, 0, 0, 0, 3}));  // without bit 2: not a read-back
    EXPECT_EQ(s.getRotationMatrix(), std::make_pair(9, -8388608));
}

TEST(TiltSensor, XmlByFlagMaskAndUnknownMessages)
{
    TiltSensorG1 s = newG1();
    EXPECT_EQ(s.ToXML(0x780), "<sensor id=\"101\" />\n");  // zero counts and an invalid temperature are left out
    feed(s, makerFrame(3, 0, {0xFF, 0xFF, 0, 0, 0, 0, 0, 0x80}));
    // temperature1 = 0xFF38 (-200), temperature2 = 0x0001; warm-up flags from data 2, 3, 4, 5.
    feed(s, makerFrame(7, 0, {0x38, 0xFF, 0x01, 0x00, 0x00, 0x05, 0, 0}));
    EXPECT_EQ(s.ToXML(0x980),
              "<sensor id=\"101\" handled=\"2\" temp=\"-200,1\" warmup=\"^--^\">\n <speed class=\"fast\">\n"
              "  <value filter=\"raw\" x=\"-1\" y=\"0\" z=\"0\" w=\"-32768\"/>\n </speed>\n"
              " <speed class=\"slow\">\n </speed>\n</sensor>\n");
    // Unknown messages are counted apart; skipped is never raised.
    feed(s, makerFrame(200, 0, {1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(s.ToXML(0x700), "<sensor id=\"101\" handled=\"2\" unknown=\"1\" />\n");
}

TEST(TiltSensor, TimeoutCleansEveryReadingOnce)
{
    TiltSensorG1 s = newG1();
    for (const auto& f : {makerFrame(3, 0, {1, 0, 2, 0, 3, 0, 4, 0}), makerFrame(7, 0, {9, 0, 8, 0, 1, 1, 0, 0}),
                          makerFrame(88, 4, {1, 0, 0, 0, 2}), makerFrame(82, 1, {0, 5, 6}), makerFrame(89, 4, {16}),
                          makerFrame(89, 5, {32})})
        feed(s, f, 1000);
    s.Update(10, 1501);
    EXPECT_EQ(std::make_tuple(s.isSensorOk(), s.GetErrorCount(), s.isUnitAvaiable(FAST, RAW), s.getValue(FAST, RAW).x),
              std::make_tuple(false, 1u, false, 0));
    EXPECT_EQ(std::make_tuple(s.getTemperature1(), s.getWarmUp(2), s.getRotationMatrix(),
                              int(s.getMsgIntervals().interval[0][0]), s.getFastFirLength(), s.getSlowFirLength()),
              std::make_tuple(INT_MAX, false, std::make_pair(-1, 0), 0, 0, 0));
}

TEST(TiltSensor, SettingsChunksAreCopiedInsideTheBufferOnly)
{
    uint32_t size = 0;
    uint8_t* buffer = nullptr;
    const auto parse = [&](std::initializer_list<uint8_t> data, unsigned char cmd = 1) {
        _TQUIL1G5_CAN_FRAME f = makerFrame(34, cmd, data);
        return TiltSensor::parseG2SettingsMessage(&f, size, buffer);
    };
    // A wrong sub-field is ignored; before the transfer is open a chunk beyond offset 0 has nowhere to go.
    EXPECT_EQ(parse({0, 0, 4, 0, 1, 2, 6, 0}, 0), 0);
    EXPECT_EQ(parse({4, 0, 4, 0, 1, 2, 3, 4}), 4);
    EXPECT_EQ(buffer, nullptr);
    // Offset 0 opens a transfer of 6 bytes (data 6-7); the chunk itself fills bytes 0-3.
    EXPECT_EQ(parse({0, 0, 4, 0, 0xA0, 0xA1, 6, 0}), 0);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(parse({4, 0, 200, 0, 0xB0, 0xB1, 0xB2, 0xB3}), 4);  // claims 200 bytes, may write only two
    EXPECT_EQ(parse({9, 0, 4, 0, 0xC0, 0xC1, 0xC2, 0xC3}), 9);    // beyond the end: writes nothing
    EXPECT_EQ(parse({3, 0, 4, 0, 0xD0}), 3);                      // a short frame copies only what it carries
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 6), std::vector<uint8_t>({0xA0, 0xA1, 6, 0xD0, 0xB0, 0xB1}));
    parse({0, 0, 4, 0, 0xE0, 0xE1, 50, 0});  // a second offset-0 chunk does not reopen an open transfer
    EXPECT_EQ(size, 6u);
    delete[] buffer;
}
