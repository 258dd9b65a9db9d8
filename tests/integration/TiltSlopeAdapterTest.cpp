#include <gtest/gtest.h>

#include <dirent.h>

#include <chrono>
#include <cstring>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "Clock.h"
#include "LogCapture.h"
#include "MDS2000IO.h"
#include "Matrix3d.h"
#include "QCANDevice.h"
#include "SensorManager.h"
#include "SlopeSensor.h"
#include "SlopeZeroingThread.h"
#include "SteelwristSlopeSensor.h"
#include "TestAdapter.h"
#include "TiltSensorG1.h"
#include "TiltSensorG2.h"

using namespace Sensors;

namespace {

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

// A tilt sensor's maker frame as a record: one field per byte (devType 16, devNumber = id,
// msg, cmd); data byte n is frame byte 8 + n.
_TQUIL1G5_CAN_FRAME makerFrame(unsigned char msg, unsigned char cmd, unsigned char id,
                               std::initializer_list<uint8_t> data)
{
    _TQUIL1G5_CAN_FRAME f;
    std::memset(&f, 0, sizeof f);
    f.header.devType = SDT_G1;
    f.header.devNumber = id;
    f.header.msg = msg;
    f.header.cmd = cmd;
    f.header.dlc = static_cast<uint16_t>(data.size());
    std::copy(data.begin(), data.end(), f.data);
    return f;
}

// The 29-bit identifier a tilt-sensor command goes out with:
//   bits 0-6 sensor id | bit 7 err (0) | bits 8-14 device type 16 | bits 15-17 zero |
//   bits 18-20 sub-field | bits 21-28 message type
uint32_t tiltId(unsigned msg, unsigned cmd, unsigned id)
{
    return (msg << 21) | (cmd << 18) | (16u << 8) | id;
}

void expectFrame(const _TGENERIC_CAN_FRAME& f, uint32_t id, bool ext, std::vector<uint8_t> data,
                 const std::string& what)
{
    EXPECT_EQ(f.header.id, id) << what;
    EXPECT_EQ(f.header.ext, ext ? 1 : 0) << what;
    EXPECT_EQ(f.header.rtr, 0) << what;
    ASSERT_EQ(f.header.dlc, data.size()) << what;
    for (size_t i = 0; i < data.size(); ++i)
        EXPECT_EQ(f.data[i], data[i]) << what << ", data byte " << i;
}

template <class T>
T* addSensor(TestAdapter& a, unsigned char id)
{
    T* sensor = new T(SensorManager::getInstance(), a.cuaId(), id);
    if (!a.device()->addSensor(sensor)) {
        delete sensor;
        return nullptr;
    }
    return sensor;
}

template <class Frame>
void parseLocked(Sensor* sensor, Frame f)
{
    sensor->LockSensor();
    sensor->Parse(&f, SensorManager::getTickCount());
    sensor->UnlockSensor();
}

_TGENERIC_CAN_FRAME slopes(float x, float y)
{
    _TGENERIC_CAN_FRAME f = frame(100, false, {0, 0, 0, 0, 0, 0, 0, 0});
    std::memcpy(f.data, &x, 4);
    std::memcpy(f.data + 4, &y, 4);
    return f;
}

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

bool zeroing(SlopeSensor* s)
{
    s->LockSensor();
    const bool running = s->isZeroing();
    s->UnlockSensor();
    return running;
}

// Waits, in real time, until the zeroing thread has finished and left the process.
bool zeroingEnds(SlopeSensor* s, int threadsBefore)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!zeroing(s) && SlopeZeroingThread::liveCount() == 0 && osThreads() <= threadsBefore)
            return true;
        std::this_thread::yield();
    }
    return false;
}

// A unit that is ok and in range, entered in the adapter's list, with the given slopes.
SlopeSensor* readySlope(TestAdapter& a, float x, float y)
{
    SlopeSensor* s = addSensor<SlopeSensor>(a, 90);
    if (s) {
        parseLocked(s, frame(101, false, {0, 0, 0, 0, 0}));
        parseLocked(s, frame(104, false, {0, 0, 0, 0, 0, 0, 0}));
        parseLocked(s, slopes(x, y));
    }
    return s;
}

bool startZero(SlopeSensor* s)
{
    s->LockSensor();
    const bool started = s->Zero();
    s->UnlockSensor();
    return started;
}

// The zeroing's own log lines, in order.
std::vector<std::string> zeroingLog(const LogCapture& cap)
{
    std::vector<std::string> lines;
    for (const auto& r : cap.messages())
        if (r.level == WispLogLevels::Information && r.file.find("Slope") != std::string::npos)
            lines.push_back(r.message);
    return lines;
}

// Waits, in real time, until the zeroing has written the line: the sign that it has left its
// previous sleep (a thread woken by advance() still counts as a sleeper until it runs).
bool logged(const LogCapture& cap, const std::string& text)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        if (cap.has(WispLogLevels::Information, text))
            return true;
        std::this_thread::yield();
    }
    return false;
}

// Lets the stability second and the zero hold pass; returns once the release has been sent and the
// zeroing sleeps in its settling watch.
void runToRelease(const LogCapture& cap)
{
    ASSERT_TRUE(Clock::waitForSleepers(1, 2000));
    Clock::advance(SlopeZeroingThread::STABILITY_WAIT_MS);
    ASSERT_TRUE(logged(cap, "MDS2000 Send Zero frame 701 "));
    ASSERT_TRUE(Clock::waitForSleepers(1, 2000));
    Clock::advance(SlopeZeroingThread::ZERO_HOLD_MS);
    ASSERT_TRUE(logged(cap, "MDS2000 Send unZero frame 701 "));
    ASSERT_TRUE(Clock::waitForSleepers(1, 2000));
}

// A tilt sensor that has been heard once, with the adapter's record of sent frames cleared.
template <class T>
void wake(T& s, TestAdapter& a)
{
    _TQUIL1G5_CAN_FRAME first = makerFrame(3, 0, static_cast<unsigned char>(s.getSensorId()), {0, 0, 0, 0, 0, 0, 0, 0});
    s.Parse(&first, SensorManager::getTickCount());
    a.clearSent();
}

// The zeroing log up to and including the release of the zero frame.
std::vector<std::string> zeroingLogThrough(std::initializer_list<std::string> outcome)
{
    std::vector<std::string> lines = {"MDS2000 Zero slope Start", "MDS2000 Start zeroing", "Zeroing Slope Sensor",
                                      "MDS2000 Send Zero frame 701 ", "MDS2000 Send unZero frame 701 "};
    lines.insert(lines.end(), outcome);
    return lines;
}

}  // namespace

TEST(TiltSlopeAdapter, TiltSensorConfigurationFrames)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    TiltSensorG1 s(SensorManager::getInstance(), a.cuaId(), 101);
    wake(s, a);

    // Direct sends leave at once, queued ones after them from the adapter's delayed queue.
    s.setMsgInterval(2, 10, 20, false);
    s.setSlowFirFilterLength(16, true);
    s.setFastFirFilterLength(8, false);
    s.sendSlowFirlFilterRead(true);
    s.sendFastFirlFilterRead(false);
    EXPECT_EQ(s.setFirFilterLength(2, 5, false), 0);  // neither fast nor slow: nothing sent
    std::vector<_TGENERIC_CAN_FRAME> sent = a.sentFrames();
    ASSERT_EQ(sent.size(), 5u);
    expectFrame(sent[0], tiltId(82, 0, 101), true, {2, 10, 20}, "interval");
    expectFrame(sent[1], tiltId(89, 0, 101), true, {8}, "fast FIR length");
    expectFrame(sent[2], tiltId(89, 4, 101), true, {}, "fast FIR read");
    expectFrame(sent[3], tiltId(89, 1, 101), true, {16}, "slow FIR length");
    expectFrame(sent[4], tiltId(89, 5, 101), true, {}, "slow FIR read");

    a.clearSent();
    TiltSensorMsgIntervals iv;
    for (int i = 0; i < 8; ++i) {
        iv.interval[i][0] = static_cast<uint8_t>(10 + i);
        iv.interval[i][1] = static_cast<uint8_t>(100 + i);
    }
    s.setMsgIntervals(iv);
    sent = a.sentFrames();
    ASSERT_EQ(sent.size(), 8u);
    for (int i = 0; i < 8; ++i)
        expectFrame(sent[i], tiltId(82, 0, 101), true,
                    {static_cast<uint8_t>(i), static_cast<uint8_t>(10 + i), static_cast<uint8_t>(100 + i)},
                    "interval slot " + std::to_string(i));

    // End-matrix elements: the group of four in the sub-field, the element within it in data 4.
    a.clearSent();
    _TQUIL1G5_CAN_FRAME readBack = makerFrame(88, 5, 101, {1, 0, 0, 0, 1});
    s.Parse(&readBack, SensorManager::getTickCount());
    ASSERT_EQ(s.getRotationMatrix(), std::make_pair(5, 1));
    s.SendEndMatrixRead(6, false);
    EXPECT_EQ(s.getRotationMatrix(), std::make_pair(-1, 0));
    s.SendEndMatrixWrite(9, 0x123456, 1, false);
    s.SendEndMatrixWrite(9, -2, 0, false);
    s.SendEndMatrixWrite(15, 7, 3, false);
    s.SendEndMatrixWriteReal(1, -0.5, 1, false);
    sent = a.sentFrames();
    ASSERT_EQ(sent.size(), 5u);
    expectFrame(sent[0], tiltId(88, 5, 101), true, {0, 0, 0, 0, 2}, "read element 6");
    expectFrame(sent[1], tiltId(88, 2, 101), true, {0x56, 0x34, 0x12, 0, 1}, "write element 9");
    expectFrame(sent[2], tiltId(188, 2, 101), true, {0xFE, 0xFF, 0xFF, 0, 1}, "write element 9, mode 0");
    expectFrame(sent[3], tiltId(0, 3, 101), true, {7, 0, 0, 0, 3}, "write element 15, mode 3");
    expectFrame(sent[4], tiltId(88, 0, 101), true, {0x00, 0xC0, 0xFF, 0, 1}, "write element 1 as -0.5");
}

TEST(TiltSlopeAdapter, EndMatrixGoesOutColumnByColumnThenElement15IsReadBack)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    TiltSensorG1 s(SensorManager::getInstance(), a.cuaId(), 102);
    wake(s, a);

    Matrix3d m;
    m(1, 1) = 1.0;
    m(2, 1) = 0.5;
    m(1, 2) = -0.5;
    m(3, 3) = -1.0;
    m(2, 3) = 0.25;
    s.SendEndMatrix(m);

    // Element k is row k % 4, column k / 4 of the 4 by 4 end matrix; its 24-bit Q15 value by hand.
    const uint32_t fixed[16] = {0x007FFF, 0x004000, 0, 0,         // column 0: 1.0, 0.5, 0, 0
                                0xFFC000, 0, 0, 0,                // column 1: -0.5, 0, 0, 0
                                0, 0x002000, 0xFF8000, 0,         // column 2: 0, 0.25, -1.0, 0
                                0, 0, 0, 0};                      // column 3: all 0
    const std::vector<_TGENERIC_CAN_FRAME> sent = a.sentFrames();
    ASSERT_EQ(sent.size(), 17u);
    for (unsigned k = 0; k < 16; ++k)
        expectFrame(sent[k], tiltId(88, k / 4, 102), true,
                    {static_cast<uint8_t>(fixed[k]), static_cast<uint8_t>(fixed[k] >> 8),
                     static_cast<uint8_t>(fixed[k] >> 16), 0, static_cast<uint8_t>(k % 4)},
                    "element " + std::to_string(k));
    expectFrame(sent[16], tiltId(88, 7, 102), true, {0, 0, 0, 0, 3}, "read-back of element 15");
    EXPECT_EQ(s.getRotationMatrix(), std::make_pair(-1, 0));
}

TEST(TiltSlopeAdapter, SettingsReadOutRequestsChunkAfterChunk)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    TiltSensorG2 s(SensorManager::getInstance(), a.cuaId(), 103);
    wake(s, a);

    ASSERT_TRUE(s.setOperationMode(G2_OPERATION_READ_SETTINGS));
    const unsigned long long t0 = SensorManager::getTickCount();
    s.readSettings(t0);
    s.readSettings(t0 + 10);  // still waiting: nothing
    _TQUIL1G5_CAN_FRAME chunk = makerFrame(34, 1, 103, {0, 0, 4, 0, 1, 2, 8, 0});
    s.Parse(&chunk, t0 + 20);
    s.readSettings(t0 + 30);
    std::vector<_TGENERIC_CAN_FRAME> sent = a.sentFrames();
    ASSERT_EQ(sent.size(), 2u);
    expectFrame(sent[0], tiltId(34, 1, 103), true, {0, 0, 4, 0}, "chunk at 0");
    expectFrame(sent[1], tiltId(34, 1, 103), true, {4, 0, 4, 0}, "chunk at 4");

    // Unanswered, the request is repeated once the retry time has passed.
    a.clearSent();
    s.readSettings(t0 + 30 + TiltSensor::SETTINGS_RETRY_MS);
    sent = a.sentFrames();
    ASSERT_EQ(sent.size(), 1u);
    expectFrame(sent[0], tiltId(34, 1, 103), true, {4, 0, 4, 0}, "repeated chunk at 4");
}

TEST(TiltSlopeAdapter, ZeroingSendsZeroAndReleaseAndSucceedsWhenTheSlopesSettle)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    LogCapture cap;
    SlopeSensor* live = readySlope(a, 1.0f, 0.5f);
    ASSERT_NE(live, nullptr);
    a.clearSent();
    const int threads = osThreads();

    ASSERT_TRUE(startZero(live));
    runToRelease(cap);
    parseLocked(live, slopes(0.02f, -0.05f));
    Clock::advance(SlopeZeroingThread::SETTLE_POLL_MS);
    ASSERT_TRUE(zeroingEnds(live, threads));

    EXPECT_EQ(zeroingLog(cap), zeroingLogThrough({"MDS2000 Zero slope OK"}));
    const std::vector<_TGENERIC_CAN_FRAME> sent = a.sentFrames();
    ASSERT_EQ(sent.size(), 2u);
    expectFrame(sent[0], 701, false, {1, 0, 0, 0, 0, 0, 0, 0}, "zero");
    expectFrame(sent[1], 701, false, {0, 0, 0, 0, 0, 0, 0, 0}, "release");
}

TEST(TiltSlopeAdapter, ZeroingFailsWhenTheSlopesStayOffForFiveSeconds)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    LogCapture cap;
    SlopeSensor* live = readySlope(a, 1.0f, 0.5f);
    ASSERT_NE(live, nullptr);
    a.clearSent();
    const int threads = osThreads();

    ASSERT_TRUE(startZero(live));
    runToRelease(cap);
    // The settling watch gives up once 5000 ms of the clock have passed since the release.
    const unsigned long long released = SensorManager::getTickCount();
    int steps = 0;
    while (zeroing(live) && steps < 200 && Clock::waitForSleepers(1, 2000)) {
        EXPECT_FALSE(cap.has(WispLogLevels::Information, "MDS2000 Zero slope FAIL"))
            << "gave up after " << SensorManager::getTickCount() - released << " ms";
        Clock::advance(SlopeZeroingThread::SETTLE_POLL_MS);
        ++steps;
    }
    ASSERT_TRUE(zeroingEnds(live, threads));
    EXPECT_GE(SensorManager::getTickCount() - released, SlopeZeroingThread::SETTLE_TIMEOUT_MS);

    EXPECT_EQ(zeroingLog(cap), zeroingLogThrough({"MDS2000 Zero slope FAIL"}));
    EXPECT_EQ(a.sentFrames().size(), 2u);
}

TEST(TiltSlopeAdapter, ZeroingReportsAUnitThatFailsWhileSettling)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    LogCapture cap;
    SlopeSensor* live = readySlope(a, 1.0f, 0.5f);
    ASSERT_NE(live, nullptr);
    const int threads = osThreads();

    ASSERT_TRUE(startZero(live));
    runToRelease(cap);
    parseLocked(live, frame(101, false, {2, 0, 0, 0, 0}));
    Clock::advance(SlopeZeroingThread::SETTLE_POLL_MS);
    ASSERT_TRUE(zeroingEnds(live, threads));

    // The slopes never came back, so the outcome follows the abort line.
    EXPECT_EQ(zeroingLog(cap), zeroingLogThrough({"MDS2000 Zero slope aborted. Not OK ", "MDS2000 Zero slope FAIL"}));
}

TEST(TiltSlopeAdapter, TypedGettersReturnDetachedCopies)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    SensorManager* manager = SensorManager::getInstance();

    TiltSensorG1* tilt = addSensor<TiltSensorG1>(a, 105);
    ASSERT_NE(tilt, nullptr);
    parseLocked(tilt, makerFrame(18, 0, 105, {1, 0, 2, 0, 3, 0, 0xFF, 0x7F}));
    TiltSensorG1 tiltCopy = manager->getTiltSensorG1(105, a.cuaId());
    EXPECT_TRUE(tiltCopy.isActive());
    EXPECT_EQ(tiltCopy.getValue(FAST, CALIBRATED).w, 32767);
    // Later frames reach only the live sensor.
    parseLocked(tilt, makerFrame(18, 0, 105, {9, 0, 9, 0, 9, 0, 9, 0}));
    EXPECT_EQ(tiltCopy.getValue(FAST, CALIBRATED).x, 1);
    EXPECT_EQ(manager->getTiltSensorG1(105, a.cuaId()).getValue(FAST, CALIBRATED).x, 9);

    ASSERT_NE(readySlope(a, 2.5f, -1.5f), nullptr);
    EXPECT_EQ(manager->getSlopeSensor(90, a.cuaId()).getSlopeY(), -1.5f);
    MDS2000IO* io = addSensor<MDS2000IO>(a, 91);
    ASSERT_NE(io, nullptr);
    parseLocked(io, frame(1, false, {1, 0, 0}));
    EXPECT_EQ(manager->getMDS2000(91, a.cuaId()).getState(), MDS2000IO::STATE_OK);
    SteelwristSlopeSensor* wrist = addSensor<SteelwristSlopeSensor>(a, 140);
    ASSERT_NE(wrist, nullptr);
    parseLocked(wrist, frame(0x0CF013A9, true, {0xE8, 0x03, 0xD0, 0x07, 0, 0, 0x10, 0}));
    EXPECT_EQ(manager->getSteeelwristSlopeSensor(140, a.cuaId()).getAngle2(), 4.0);
}
