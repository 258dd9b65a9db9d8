#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <tuple>

#include "Frames.h"
#include "LogCapture.h"
#include "MDS2000IO.h"
#include "SensorManager.h"
#include "SlopeSensor.h"
#include "SteelwristSlopeSensor.h"

using namespace Sensors;

namespace {

// The frame with a little-endian float at data offset `at`; slope frame 100 has X in data 0-3, Y in 4-7.
_TGENERIC_CAN_FRAME withFloat(_TGENERIC_CAN_FRAME f, int at, float v)
{
    std::memcpy(f.data + at, &v, 4);
    return f;
}

_TGENERIC_CAN_FRAME slopes(float x, float y)
{
    return withFloat(withFloat(frame(100, {0, 0, 0, 0, 0, 0, 0, 0}), 0, x), 4, y);
}

template <class S>
bool feed(S& s, _TGENERIC_CAN_FRAME f, unsigned long long time = 1000)
{
    return s.Parse(&f, time);
}

const char* const kCleanXml = "<sensor id=\"90\" SensorOK=\"false\" SlopeX=\"0\" SlopeY=\"0\" SlopeXInRange=\"false\" "
                              "SlopeYInRange=\"false\" SlopeXSet=\"0\" SlopeYSet=\"0\" />\n";

}  // namespace

// The values themselves are read back end to end (EveryMakeEndToEnd); here, what counts and what is refused.
TEST(SlopeSensor, StatusRangeAndSetPointFramesAndWhatCountsAsASignOfLife)
{
    LogCapture cap;
    SlopeSensor s(SensorManager::getInstance(), 1, 90);
    EXPECT_TRUE(feed(s, slopes(1.5f, -2.25f), 100));
    // 101: status byte 0 is a good unit and counts; anything else is a bad unit and does not.
    feed(s, frame(101, {1, 0, 0, 0, 0}), 200);
    EXPECT_EQ(std::make_tuple(s.isUnitOk(), s.getMessageCount()), std::make_tuple(false, 0));
    feed(s, frame(101, {0, 9, 9, 9, 9}), 300);
    EXPECT_EQ(std::make_tuple(s.isUnitOk(), s.getMessageCount()), std::make_tuple(true, 1));
    // 104: X in range by data 5 (counted only then), Y by data 6.
    feed(s, frame(104, {0, 0, 0, 0, 0, 2, 0}), 500);
    EXPECT_EQ(std::make_tuple(s.isSlopeXInRange(), s.isSlopeYInRange(), s.getMessageCount()),
              std::make_tuple(false, true, 1));
    // 106 carries the X set point in data 4-7, 107 the Y set point in data 0-3.
    feed(s, withFloat(frame(106, {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}), 4, 3.75f), 600);
    feed(s, withFloat(frame(107, {0, 0, 0, 0, 0xFF}), 0, -0.5f), 700);
    EXPECT_EQ(std::make_pair(s.getSlopeXSet(), s.getSlopeYSet()), std::make_pair(3.75f, -0.5f));

    for (const auto& f : {frame(100, {0, 0, 0, 0, 0, 0, 0}), frame(101, {1, 0, 0, 0}),
                          frame(104, {0, 0, 0, 0, 0, 0, 0, 0}), frame(555, {1, 2})}) {
        const std::string text = "SlopeSensor::Parse error CANID " + std::to_string(f.header.id) + " DLC " +
                                 std::to_string(f.header.dlc);
        EXPECT_FALSE(feed(s, f, 800)) << text;
        EXPECT_TRUE(cap.has(WispLogLevels::Error, text));
    }
    EXPECT_EQ(std::make_tuple(s.getSlopeX(), s.isUnitOk(), s.getMessageCount()), std::make_tuple(1.5f, true, 1));
}

TEST(SlopeSensor, XmlRoundsSlopesAndTimeoutCleansIt)
{
    SlopeSensor s(SensorManager::getInstance(), 2, 90);
    EXPECT_EQ(s.ToXML(), kCleanXml);
    feed(s, frame(101, {0, 0, 0, 0, 0}));
    feed(s, frame(104, {0, 0, 0, 0, 0, 0, 0}));
    feed(s, slopes(1.4f, -2.6f));
    feed(s, withFloat(frame(106, {0, 0, 0, 0, 0, 0, 0, 0}), 4, 12.5f), 1000);
    EXPECT_EQ(s.ToXML(),
              "<sensor id=\"90\" SensorOK=\"true\" SlopeX=\"1\" SlopeY=\"-3\" SlopeXInRange=\"true\" "
              "SlopeYInRange=\"true\" SlopeXSet=\"13\" SlopeYSet=\"0\" />\n");
    s.Update(100, 6001);
    EXPECT_EQ(s.ToXML(), kCleanXml);
}

TEST(MDS2000IO, BootOrShutdownStateReadsOnlyTheStateFrameRunningStoresAll)
{
    LogCapture cap;
    MDS2000IO io(SensorManager::getInstance(), 1, 90);
    EXPECT_EQ(io.ToXML(), "<sensor id=\"90\" status=\"boot\" />\n");
    // Running: data 0. Boot (data 1) wins over shutdown (data 2), which wins over running.
    struct { uint8_t d0, d1, d2; const char* status; bool reads; } states[] = {
        {1, 0, 0, "ok", true}, {0, 0, 0, "ok", true}, {1, 0, 1, "shutdown", false}, {1, 1, 1, "boot", false},
        {1, 0, 0, "ok", true}};
    for (const auto& c : states) {
        SCOPED_TRACE(c.status);
        EXPECT_TRUE(feed(io, frame(1, {c.d0, c.d1, c.d2}), 200));
        EXPECT_EQ(io.ToXML(), std::string("<sensor id=\"90\" status=\"") + c.status + "\" />\n");
        io.input7 = 0;
        EXPECT_EQ(feed(io, frame(7, {5, 0}), 210), c.reads);
        EXPECT_EQ(io.input7, c.reads ? 5u : 0u);
    }
    // Running, values are raw unsigned little-endian, never sign-extended.
    EXPECT_TRUE(feed(io, frame(6, {0xAA, 0xBB, 0xFF, 0xFF, 0x34, 0x12, 0, 0}), 20));
    EXPECT_EQ(std::make_pair(io.input6[0], io.input6[1]), std::make_pair(0xFFFFu, 0x1234u));
    // Wrong lengths: ids 1 and 6 say so, the others stay silent; nothing changes.
    for (const auto& f : {frame(1, {0, 1}), frame(6, {1, 1, 1, 1, 1, 1, 1}), frame(303, {1, 1, 1, 1}), frame(999, {1})})
        EXPECT_FALSE(feed(io, f, 200)) << "CANID " << f.header.id;
    EXPECT_TRUE(cap.has(WispLogLevels::Error, "Wrong datalength MDS2000IO CANID == 1 Cannot parse!"));
    EXPECT_TRUE(cap.has(WispLogLevels::Error, "Wrong datalength MDS2000IO CANID == 6 Cannot parse!"));
    EXPECT_EQ(cap.messages().size(), 2u);
    EXPECT_EQ(std::make_pair(io.getState(), io.input6[0]), std::make_pair(int(MDS2000IO::STATE_OK), 0xFFFFu));
    io.Update(100, 5201);  // five seconds of silence: back to boot
    EXPECT_EQ(std::make_pair(io.getState(), io.input6[0]), std::make_pair(int(MDS2000IO::STATE_BOOT), 0u));
}

TEST(SteelwristSlopeSensor, StatusAndGravityDirection)
{
    SteelwristSlopeSensor s(SensorManager::getInstance(), 1, 140);
    EXPECT_FALSE(feed(s, frame(0x0CF013A9, {0xE8, 0x03, 0, 0, 0, 0, 0x10, 0}, false)));
    EXPECT_FALSE(feed(s, frame(0x0CF013AA, {0xE8, 0x03, 0, 0, 0, 0, 0x10, 0}, true)));
    // angle1 = 1000 / 500 = 2; data 6 upper bits set: valid. The vector follows on the update pass.
    EXPECT_TRUE(feed(s, frame(0x0CF013A9, {0xE8, 0x03, 0xFF, 0xFF, 0, 0, 0x10, 0}, true), 1000));
    s.Update(10, 1010);
    const double a = 2 * 3.14159265 / 180, b = 60 * 3.14159265 / 180;
    const auto expectAcc = [&s](double x, double y, double z) {
        EXPECT_DOUBLE_EQ(s.getAcc().GetX(), x);
        EXPECT_DOUBLE_EQ(s.getAcc().GetY(), y);
        EXPECT_DOUBLE_EQ(s.getAcc().GetZ(), z);
    };
    expectAcc(std::cos(a), 0.0, std::sin(a));
    // -1000 / 500 = -2 and 30000 / 500 = 60 degrees; data 6 upper bits clear: not valid, vector kept.
    feed(s, frame(0x0CF013A9, {0x18, 0xFC, 0x30, 0x75, 0, 0, 0x0F, 0}, true), 1100);
    EXPECT_EQ(std::make_tuple(s.getAngle1(), s.getAngle2(), s.getSensorStatus()), std::make_tuple(-2.0, 60.0, 2u));
    s.Update(10, 1110);
    expectAcc(std::cos(a), 0.0, std::sin(a));
    feed(s, frame(0x0CF013A9, {0x18, 0xFC, 0x30, 0x75, 0, 0, 0xF0, 0}, true), 1200);
    s.Update(10, 1210);
    expectAcc(std::cos(-a) * std::cos(b), std::cos(-a) * std::sin(b), std::sin(-a));
    s.Update(10, 6201);
    EXPECT_EQ(std::make_tuple(s.isSensorOk(), s.getSensorStatus(), s.getAngle1()), std::make_tuple(false, 3u, 0.0));
    EXPECT_TRUE(s.getAcc().IsZero());
}
