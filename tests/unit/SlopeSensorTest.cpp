#include <gtest/gtest.h>

#include <dirent.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <thread>

#include "Clock.h"
#include "LogCapture.h"
#include "MDS2000IO.h"
#include "SensorManager.h"
#include "SlopeSensor.h"
#include "SlopeZeroingThread.h"
#include "SteelwristSlopeSensor.h"

using namespace Sensors;

namespace {

// A standard or extended frame: identifier, then the data bytes; the length is their count.
_TGENERIC_CAN_FRAME frame(uint32_t id, std::initializer_list<uint8_t> data, bool ext = false)
{
    _TGENERIC_CAN_FRAME f;
    std::memset(&f, 0, sizeof f);
    f.header.id = id;
    f.header.ext = ext ? 1 : 0;
    f.header.dlc = static_cast<uint16_t>(data.size());
    int i = 0;
    for (uint8_t b : data)
        f.data[i++] = b;
    return f;
}

// Slope frame 100: two little-endian single-precision floats.
_TGENERIC_CAN_FRAME slopes(float x, float y)
{
    _TGENERIC_CAN_FRAME f = frame(100, {0, 0, 0, 0, 0, 0, 0, 0});
    std::memcpy(f.data, &x, 4);
    std::memcpy(f.data + 4, &y, 4);
    return f;
}

template <class S>
bool feed(S& s, _TGENERIC_CAN_FRAME f, unsigned long long time = 1000)
{
    return s.Parse(&f, time);
}

// Parses under the sensor's lock, as the adapter does while a zeroing thread may be reading.
void feedLocked(SlopeSensor& s, _TGENERIC_CAN_FRAME f)
{
    s.LockSensor();
    s.Parse(&f, SensorManager::getTickCount());
    s.UnlockSensor();
}

// Threads of this process as the system lists them.
int osThreads()
{
    int n = 0;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* e = readdir(dir))
            if (e->d_name[0] != '.')
                ++n;
        closedir(dir);
    }
    return n;
}

// Waits, in real time, until the zeroing thread has cleared the sensor's flag, its object is gone
// and the system thread has left too, so that the program may end safely afterwards.
bool zeroingEnds(SlopeSensor& s, int threadsBefore)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        s.LockSensor();
        const bool running = s.isZeroing();
        s.UnlockSensor();
        if (!running && SlopeZeroingThread::liveCount() == 0 && osThreads() <= threadsBefore)
            return true;
        std::this_thread::yield();
    }
    return false;
}

// A unit that is ok and in range on both axes, with the given slopes.
void makeReady(SlopeSensor& s, float x, float y)
{
    feed(s, frame(101, {0, 0, 0, 0, 0}));
    feed(s, frame(104, {0, 0, 0, 0, 0, 0, 0}));
    feed(s, slopes(x, y));
}

const auto Info = WispLogLevels::Information;

}  // namespace

TEST(SlopeSensor, DecodesEachIdentifierWithItsTime)
{
    SlopeSensor s(SensorManager::getInstance(), 1, 90);
    EXPECT_EQ(s.GetErrorTimeoutTime(), 5000u);

    EXPECT_TRUE(feed(s, slopes(1.5f, -2.25f), 100));
    EXPECT_EQ(s.getSlopeX(), 1.5f);
    EXPECT_EQ(s.getSlopeY(), -2.25f);
    EXPECT_EQ(s.getSlopeXTime(), 100u);
    EXPECT_EQ(s.getSlopeYTime(), 100u);
    // Slope values do not make the unit alive.
    EXPECT_EQ(s.getMessageCount(), 0);
    EXPECT_FALSE(s.isSensorOk());

    // 101: status byte 0 is a good unit and counts; anything else is a bad unit and does not.
    feed(s, frame(101, {1, 0, 0, 0, 0}), 200);
    EXPECT_FALSE(s.isUnitOk());
    EXPECT_EQ(s.getUnitOkTime(), 200u);
    EXPECT_EQ(s.getMessageCount(), 0);
    feed(s, frame(101, {0, 9, 9, 9, 9}), 300);
    EXPECT_TRUE(s.isUnitOk());
    EXPECT_EQ(s.getMessageCount(), 1);
    EXPECT_EQ(s.getLastMessageTime(), 300u);

    // 104: X in range by data 5 (counted), Y by data 6.
    feed(s, frame(104, {0, 0, 0, 0, 0, 0, 1}), 400);
    EXPECT_TRUE(s.isSlopeXInRange());
    EXPECT_FALSE(s.isSlopeYInRange());
    EXPECT_EQ(s.getMessageCount(), 2);
    EXPECT_EQ(s.getSlopeYInRangeTime(), 400u);
    feed(s, frame(104, {0, 0, 0, 0, 0, 2, 0}), 500);
    EXPECT_FALSE(s.isSlopeXInRange());
    EXPECT_TRUE(s.isSlopeYInRange());
    EXPECT_EQ(s.getMessageCount(), 2);
    EXPECT_EQ(s.getSlopeXInRangeTime(), 500u);
    EXPECT_EQ(s.getLastMessageTime(), 400u);

    // 106 carries the X set point in data 4-7, 107 the Y set point in data 0-3.
    _TGENERIC_CAN_FRAME f106 = frame(106, {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0});
    const float xs = 3.75f, ys = -0.5f;
    std::memcpy(f106.data + 4, &xs, 4);
    feed(s, f106, 600);
    _TGENERIC_CAN_FRAME f107 = frame(107, {0, 0, 0, 0, 0xFF});
    std::memcpy(f107.data, &ys, 4);
    feed(s, f107, 700);
    EXPECT_EQ(s.getSlopeXSet(), 3.75f);
    EXPECT_EQ(s.getSlopeYSet(), -0.5f);
    EXPECT_EQ(s.getSlopeXSetTime(), 600u);
    EXPECT_EQ(s.getSlopeYSetTime(), 700u);

    const Vector3d unit = s.getUnit();
    EXPECT_EQ(unit.GetX(), 0.0);
    EXPECT_EQ(unit.GetY(), 0.0);
    EXPECT_EQ(unit.GetZ(), 1.0);
}

TEST(SlopeSensor, WrongLengthsAndUnknownIdentifiersAreLoggedAndIgnored)
{
    LogCapture cap;
    SlopeSensor s(SensorManager::getInstance(), 1, 90);
    feed(s, slopes(0.5f, 0.25f), 100);

    _TGENERIC_CAN_FRAME shortSlopes = slopes(7.0f, 7.0f);
    shortSlopes.header.dlc = 7;
    EXPECT_FALSE(feed(s, shortSlopes, 200));
    EXPECT_FALSE(feed(s, frame(101, {0, 0, 0, 0}), 200));
    EXPECT_FALSE(feed(s, frame(104, {0, 0, 0, 0, 0, 0, 0, 0}), 200));
    EXPECT_FALSE(feed(s, frame(555, {1, 2}), 200));

    EXPECT_TRUE(cap.has(WispLogLevels::Error, "SlopeSensor::Parse error CANID 100 DLC 7"));
    EXPECT_TRUE(cap.has(WispLogLevels::Error, "SlopeSensor::Parse error CANID 101 DLC 4"));
    EXPECT_TRUE(cap.has(WispLogLevels::Error, "SlopeSensor::Parse error CANID 104 DLC 8"));
    EXPECT_TRUE(cap.has(WispLogLevels::Error, "SlopeSensor::Parse error CANID 555 DLC 2"));
    EXPECT_EQ(s.getSlopeX(), 0.5f);
    EXPECT_EQ(s.getSlopeXTime(), 100u);
    EXPECT_FALSE(s.isUnitOk());
    EXPECT_EQ(s.getUnitOkTime(), 0u);
    EXPECT_EQ(s.getMessageCount(), 0);

    // A maker-view frame reaches the same decoder through the generic identifier (here 101).
    _TQUIL1G5_CAN_FRAME q;
    std::memset(&q, 0, sizeof q);
    q.header.devNumber = 101;
    q.header.dlc = 5;
    EXPECT_TRUE(s.Parse(&q, 300));
    EXPECT_TRUE(s.isUnitOk());
    EXPECT_EQ(s.getMessageCount(), 1);
}

TEST(SlopeSensor, XmlAndTimeoutClean)
{
    SlopeSensor s(SensorManager::getInstance(), 2, 90);
    EXPECT_EQ(s.ToXML(),
              "<sensor id=\"90\" SensorOK=\"false\" SlopeX=\"0\" SlopeY=\"0\" SlopeXInRange=\"false\" "
              "SlopeYInRange=\"false\" SlopeXSet=\"0\" SlopeYSet=\"0\" />\n");
    // The base XML stays available beside the slope one.
    EXPECT_EQ(s.ToXML(0), "<sensor device=\"2\" id=\"90\" />\n");

    feed(s, frame(101, {0, 0, 0, 0, 0}), 1000);
    feed(s, frame(104, {0, 0, 0, 0, 0, 0, 0}), 1000);
    feed(s, slopes(1.4f, -2.6f), 1000);
    _TGENERIC_CAN_FRAME f106 = frame(106, {0, 0, 0, 0, 0, 0, 0, 0});
    const float xs = 12.5f;
    std::memcpy(f106.data + 4, &xs, 4);
    feed(s, f106, 1000);
    // Slopes are rendered as the nearest whole number.
    EXPECT_EQ(s.ToXML(),
              "<sensor id=\"90\" SensorOK=\"true\" SlopeX=\"1\" SlopeY=\"-3\" SlopeXInRange=\"true\" "
              "SlopeYInRange=\"true\" SlopeXSet=\"13\" SlopeYSet=\"0\" />\n");

    s.Update(100, 6000);
    EXPECT_TRUE(s.isSensorOk());
    EXPECT_TRUE(s.isUnitOk());
    s.Update(100, 6001);
    EXPECT_FALSE(s.isSensorOk());
    EXPECT_EQ(s.GetErrorCount(), 1u);
    EXPECT_FALSE(s.isUnitOk());
    EXPECT_FALSE(s.isSlopeXInRange());
    EXPECT_EQ(s.getSlopeX(), 0.0f);
    EXPECT_EQ(s.getSlopeXSet(), 0.0f);
    EXPECT_EQ(s.getSlopeXTime(), 0u);
    EXPECT_EQ(s.getUnitOkTime(), 0u);
    EXPECT_EQ(s.ToXML(),
              "<sensor id=\"90\" SensorOK=\"false\" SlopeX=\"0\" SlopeY=\"0\" SlopeXInRange=\"false\" "
              "SlopeYInRange=\"false\" SlopeXSet=\"0\" SlopeYSet=\"0\" />\n");

    std::unique_ptr<Sensor> clone(s.Clone());
    ASSERT_NE(dynamic_cast<SlopeSensor*>(clone.get()), nullptr);
    EXPECT_EQ(clone->GetErrorCount(), 1u);
}

TEST(SlopeSensor, ZeroRefusesABadUnitAndSkipsAZeroedOne)
{
    LogCapture cap;
    SlopeSensor s(SensorManager::getInstance(), 1, 90);
    feed(s, slopes(3.0f, 0.0f));
    EXPECT_FALSE(s.Zero());
    EXPECT_TRUE(cap.has(Info, "MDS2000 Zero slope Start"));
    EXPECT_TRUE(cap.has(Info, "MDS2000 Zero slope aborted. Not OK "));
    EXPECT_FALSE(s.isZeroing());

    cap.clear();
    makeReady(s, 0.05f, -0.09f);
    EXPECT_TRUE(s.Zero());
    EXPECT_TRUE(cap.has(Info, "MDS2000 Zero slope Start"));
    EXPECT_TRUE(cap.has(Info, "MDS2000 Slope value already 0"));
    EXPECT_FALSE(cap.has(Info, "MDS2000 Start zeroing"));
    EXPECT_FALSE(s.isZeroing());
}

TEST(SlopeSensor, ZeroingStopsWhenTheSlopeMovesDuringTheStabilitySecond)
{
    Clock::setManual(1700000000000ull);
    LogCapture cap;
    SlopeSensor s(SensorManager::getInstance(), 1, 90);
    makeReady(s, 1.0f, 0.0f);

    const int threads = osThreads();
    ASSERT_TRUE(s.Zero());
    EXPECT_TRUE(cap.has(Info, "MDS2000 Start zeroing"));
    ASSERT_TRUE(Clock::waitForSleepers(1, 2000));
    // A second request while the first runs does not start another thread.
    EXPECT_TRUE(s.Zero());
    EXPECT_TRUE(cap.has(Info, "MDS2000 Slope already zeroing"));

    feedLocked(s, slopes(1.25f, 0.0f));
    Clock::advance(1000);
    ASSERT_TRUE(zeroingEnds(s, threads));
    EXPECT_EQ(cap.count(Info, "Zeroing Slope Sensor"), 1);
    EXPECT_TRUE(cap.has(Info, "Slope sensor not stable, cannot zero"));
    EXPECT_FALSE(cap.has(Info, "MDS2000 Send Zero frame 701 "));
    EXPECT_FALSE(s.isZeroing());
    Clock::setReal();
}

TEST(SlopeSensor, ZeroingStopsWhenTheUnitIsNotOkBeforeOrAfterTheStabilitySecond)
{
    Clock::setManual(1700000000000ull);
    LogCapture cap;
    SlopeSensor s(SensorManager::getInstance(), 1, 90);
    makeReady(s, 2.0f, 2.0f);
    // Y out of range: the thread ends before waiting.
    feed(s, frame(104, {0, 0, 0, 0, 0, 0, 1}));
    const int threads = osThreads();
    ASSERT_TRUE(s.Zero());
    ASSERT_TRUE(zeroingEnds(s, threads));
    EXPECT_EQ(cap.count(Info, "Slope sensor not OK, cannot zero"), 1);

    // The unit reports a fault during the stability second.
    cap.clear();
    feed(s, frame(104, {0, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(s.Zero());
    ASSERT_TRUE(Clock::waitForSleepers(1, 2000));
    feedLocked(s, frame(101, {3, 0, 0, 0, 0}));
    Clock::advance(1000);
    ASSERT_TRUE(zeroingEnds(s, threads));
    EXPECT_EQ(cap.count(Info, "Slope sensor not OK, cannot zero"), 1);
    EXPECT_FALSE(cap.has(Info, "Slope sensor not stable, cannot zero"));
    EXPECT_FALSE(cap.has(Info, "MDS2000 Send Zero frame 701 "));
    Clock::setReal();
}

TEST(MDS2000IO, BootOrShutdownStateReadsOnlyTheStateFrame)
{
    LogCapture cap;
    MDS2000IO io(SensorManager::getInstance(), 1, 90);
    EXPECT_EQ(io.GetErrorTimeoutTime(), 5000u);
    EXPECT_EQ(io.getState(), MDS2000IO::STATE_BOOT);
    EXPECT_EQ(io.ToXML(), "<sensor id=\"90\" status=\"boot\" />\n");

    EXPECT_FALSE(feed(io, frame(6, {0, 0, 1, 0, 2, 0, 3, 0}), 100));
    EXPECT_FALSE(feed(io, frame(6, {0, 0, 1}), 100));  // not even its length is checked in boot
    EXPECT_FALSE(feed(io, frame(300, {1, 0, 0, 0, 0, 0, 0, 0}), 100));
    EXPECT_EQ(io.input6[0], 0u);
    EXPECT_FALSE(io.flag300);
    EXPECT_EQ(io.getMessageCount(), 0);
    EXPECT_EQ(cap.messages().size(), 0u);

    // Running: data 0. Boot (data 1) wins over shutdown (data 2), which wins over running.
    EXPECT_TRUE(feed(io, frame(1, {1, 0, 0}), 200));
    EXPECT_EQ(io.getState(), MDS2000IO::STATE_OK);
    EXPECT_EQ(io.stateTime, 200u);
    EXPECT_EQ(io.getMessageCount(), 1);
    EXPECT_EQ(io.ToXML(), "<sensor id=\"90\" status=\"ok\" />\n");
    feed(io, frame(1, {0, 0, 0}), 250);
    EXPECT_EQ(io.getState(), MDS2000IO::STATE_OK);
    feed(io, frame(1, {1, 0, 1}), 300);
    EXPECT_EQ(io.getState(), MDS2000IO::STATE_SHUTDOWN);
    EXPECT_EQ(io.ToXML(), "<sensor id=\"90\" status=\"shutdown\" />\n");
    EXPECT_FALSE(feed(io, frame(7, {5, 0}), 310));
    EXPECT_EQ(io.input7, 0u);
    feed(io, frame(1, {1, 1, 1}), 320);
    EXPECT_EQ(io.getState(), MDS2000IO::STATE_BOOT);
    feed(io, frame(1, {1, 0, 0}), 330);
    EXPECT_TRUE(feed(io, frame(7, {5, 0}), 340));
    EXPECT_EQ(io.input7, 5u);
    EXPECT_EQ(io.getMessageCount(), 5);

    io.state = MDS2000IO::STATE_UNKNOWN;
    EXPECT_EQ(io.ToXML(), "<sensor id=\"90\" status=\"unknown\" />\n");
    io.state = 7;
    EXPECT_EQ(io.ToXML(), "<sensor id=\"90\" />\n");
}

TEST(MDS2000IO, RunningControllerStoresItsInputsOutputsAndFlags)
{
    LogCapture cap;
    MDS2000IO io(SensorManager::getInstance(), 1, 90);
    feed(io, frame(1, {1, 0, 0}), 10);

    EXPECT_TRUE(feed(io, frame(6, {0xAA, 0xBB, 0xFF, 0xFF, 0x34, 0x12, 0x00, 0x80}), 20));
    EXPECT_EQ(io.input6[0], 0xFFFFu);  // raw 16 bits, upper half zero
    EXPECT_EQ(io.input6[1], 0x1234u);
    EXPECT_EQ(io.input6[2], 0x8000u);
    EXPECT_EQ(io.input6Time[2], 20u);
    EXPECT_TRUE(feed(io, frame(7, {0xFE, 0xFF}), 30));
    EXPECT_EQ(io.input7, 0xFFFEu);
    EXPECT_EQ(io.input7Time, 30u);
    io.output8Pending = true;
    EXPECT_TRUE(feed(io, frame(8, {1, 2, 3, 4, 5, 6, 7, 8}), 40));
    const uint8_t image[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(std::memcmp(io.output8, image, 8), 0);
    EXPECT_FALSE(io.output8Pending);
    EXPECT_TRUE(feed(io, frame(109, {0, 0, 0, 0, 1, 0}), 50));
    EXPECT_TRUE(io.flag109);
    EXPECT_EQ(io.flag109Time, 50u);
    EXPECT_TRUE(feed(io, frame(111, {1, 1, 1, 1, 0}), 60));
    EXPECT_FALSE(io.flag111);
    EXPECT_EQ(io.flag111Time, 60u);
    EXPECT_TRUE(feed(io, frame(300, {2, 0, 0, 0, 0, 0, 0, 0}), 70));
    EXPECT_TRUE(io.flag300);
    EXPECT_TRUE(feed(io, frame(303, {0x78, 0x56, 0x34, 0x12, 0xFF, 0xFF, 0xFF, 0xFF}), 80));
    EXPECT_EQ(io.value303[0], 0x12345678u);
    EXPECT_EQ(io.value303[1], 0xFFFFFFFFu);
    EXPECT_EQ(io.value303Time[1], 80u);
    EXPECT_TRUE(feed(io, frame(304, {1, 0, 0, 0x80, 9, 9, 9}), 90));
    EXPECT_EQ(io.value304, 0x80000001u);
    EXPECT_TRUE(feed(io, frame(501, {0, 0}), 100));
    EXPECT_EQ(io.heartbeat501Time, 100u);
    EXPECT_TRUE(feed(io, frame(702, {9, 9, 0x04, 0x03, 0x02, 0x01, 0xCD, 0xAB}), 110));
    EXPECT_EQ(io.value702, 0x01020304u);
    EXPECT_EQ(io.value702Short, 0xABCDu);
    EXPECT_EQ(io.value702ShortTime, 110u);
    EXPECT_TRUE(feed(io, frame(703, {0, 0, 0, 0, 1, 0, 0, 0}), 120));
    EXPECT_TRUE(io.flag703);
    // Only the state frame counts as a sign of life.
    EXPECT_EQ(io.getMessageCount(), 1);
    EXPECT_EQ(cap.messages().size(), 0u);

    // Wrong lengths: ids 1 and 6 say so, the others stay silent; nothing changes.
    EXPECT_FALSE(feed(io, frame(1, {0, 1}), 200));
    EXPECT_FALSE(feed(io, frame(6, {1, 1, 1, 1, 1, 1, 1}), 200));
    EXPECT_FALSE(feed(io, frame(303, {1, 1, 1, 1}), 200));
    EXPECT_FALSE(feed(io, frame(999, {1}), 200));
    EXPECT_TRUE(cap.has(WispLogLevels::Error, "Wrong datalength MDS2000IO CANID == 1 Cannot parse!"));
    EXPECT_TRUE(cap.has(WispLogLevels::Error, "Wrong datalength MDS2000IO CANID == 6 Cannot parse!"));
    EXPECT_EQ(cap.messages().size(), 2u);
    EXPECT_EQ(io.getState(), MDS2000IO::STATE_OK);
    EXPECT_EQ(io.input6[0], 0xFFFFu);
    EXPECT_EQ(io.value303[0], 0x12345678u);

    // Silence longer than five seconds clears every reading, the state back to boot.
    io.Update(100, 5010);
    EXPECT_TRUE(io.isSensorOk());
    io.Update(100, 5011);
    EXPECT_FALSE(io.isSensorOk());
    EXPECT_EQ(io.getState(), MDS2000IO::STATE_BOOT);
    EXPECT_EQ(io.input6[0], 0u);
    EXPECT_EQ(io.value702, 0u);
    EXPECT_FALSE(io.flag703);
    EXPECT_EQ(io.output8[7], 0);
    EXPECT_EQ(io.heartbeat501Time, 0u);

    std::unique_ptr<Sensor> clone(io.Clone());
    ASSERT_NE(dynamic_cast<MDS2000IO*>(clone.get()), nullptr);
}

TEST(SteelwristSlopeSensor, AnglesStatusAndGravityDirection)
{
    SteelwristSlopeSensor s(SensorManager::getInstance(), 1, 140);
    EXPECT_EQ(s.GetErrorTimeoutTime(), 5000u);
    EXPECT_EQ(s.getSensorStatus(), 3u);

    // Only the extended identifier 0x0CF013A9 is taken.
    EXPECT_FALSE(feed(s, frame(0x0CF013A9, {0xE8, 0x03, 0, 0, 0, 0, 0x10, 0})));
    EXPECT_FALSE(feed(s, frame(0x0CF013AA, {0xE8, 0x03, 0, 0, 0, 0, 0x10, 0}, true)));
    EXPECT_EQ(s.getMessageCount(), 0);

    // angle1 = 1000 / 500 = 2; angle2 = -1 / 500 truncated to 0; data 6 upper bits set: valid.
    EXPECT_TRUE(feed(s, frame(0x0CF013A9, {0xE8, 0x03, 0xFF, 0xFF, 0, 0, 0x10, 0}, true), 1000));
    EXPECT_EQ(s.getAngle1(), 2.0);
    EXPECT_EQ(s.getAngle2(), 0.0);
    EXPECT_EQ(s.getSensorStatus(), 0u);
    EXPECT_EQ(s.getMessageCount(), 1);
    // The vector follows only on the update pass.
    EXPECT_TRUE(s.getAcc().IsZero());
    s.Update(10, 1010);
    const double a = 2 * 3.14159265 / 180;
    EXPECT_DOUBLE_EQ(s.getAcc().GetX(), std::cos(a));
    EXPECT_DOUBLE_EQ(s.getAcc().GetY(), 0.0);
    EXPECT_DOUBLE_EQ(s.getAcc().GetZ(), std::sin(a));

    // -1000 / 500 = -2 and 30000 / 500 = 60 degrees; data 6 upper bits clear: not valid.
    feed(s, frame(0x0CF013A9, {0x18, 0xFC, 0x30, 0x75, 0, 0, 0x0F, 0}, true), 1100);
    EXPECT_EQ(s.getAngle1(), -2.0);
    EXPECT_EQ(s.getAngle2(), 60.0);
    EXPECT_EQ(s.getSensorStatus(), 2u);
    s.Update(10, 1110);
    EXPECT_DOUBLE_EQ(s.getAcc().GetX(), std::cos(a));  // kept while not valid

    feed(s, frame(0x0CF013A9, {0x18, 0xFC, 0x30, 0x75, 0, 0, 0xF0, 0}, true), 1200);
    s.Update(10, 1210);
    const double b = 60 * 3.14159265 / 180;
    EXPECT_DOUBLE_EQ(s.getAcc().GetX(), std::cos(-a) * std::cos(b));
    EXPECT_DOUBLE_EQ(s.getAcc().GetY(), std::cos(-a) * std::sin(b));
    EXPECT_DOUBLE_EQ(s.getAcc().GetZ(), std::sin(-a));

    // Silence: the readings are cleared and the vector is left alone.
    s.Update(10, 6201);
    EXPECT_FALSE(s.isSensorOk());
    EXPECT_EQ(s.getSensorStatus(), 3u);
    EXPECT_EQ(s.getAngle1(), 0.0);
    EXPECT_TRUE(s.getAcc().IsZero());

    std::unique_ptr<Sensor> clone(s.Clone());
    ASSERT_NE(dynamic_cast<SteelwristSlopeSensor*>(clone.get()), nullptr);
}
