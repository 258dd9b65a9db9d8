// Tilt and slope sensors on an adapter: the tilt sensor's commands on the bus, the slope sensor's
// zeroing thread with its outcomes, its log and its end.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Clock.h"
#include "FrameText.h"
#include "Frames.h"
#include "LogCapture.h"
#include "RunningManager.h"
#include "Matrix3d.h"
#include "SensorManager.h"
#include "SlopeSensor.h"
#include "SlopeZeroingThread.h"
#include "TestAdapter.h"
#include "TiltSensorG1.h"

using namespace Sensors;

namespace {

// A command to tilt sensor 101 as frameText shows it.
std::string tilt(unsigned msg, unsigned cmd, std::initializer_list<uint8_t> data)
{
    return frameText(frame(makerId(msg, cmd, SDT_G1, 101), data, true));
}

// The zero command and its release on 701.
const std::vector<std::string> kZeroAndRelease = {"0x2BD | 01 00 00 00 00 00 00 00", "0x2BD | 00 00 00 00 00 00 00 00"};

// Runs the call under the sensor's lock, as the adapter does while a zeroing thread may be reading.
template <class F>
auto locked(Sensor* s, F call)
{
    s->LockSensor();
    const auto result = call();
    s->UnlockSensor();
    return result;
}

template <class Frame>
bool parseLocked(Sensor* s, Frame f)
{
    return locked(s, [&] { return s->Parse(&f, SensorManager::getTickCount()); });
}

_TGENERIC_CAN_FRAME slopes(float x, float y)
{
    _TGENERIC_CAN_FRAME f = frame(100, {0, 0, 0, 0, 0, 0, 0, 0});
    std::memcpy(f.data, &x, 4);
    std::memcpy(f.data + 4, &y, 4);
    return f;
}

// A live slope sensor 90 on the adapter, heard with this status (0: ok), in range, with a reading;
// the adapter has sent nothing yet.
SlopeSensor* readySlope(TestAdapter& a, uint8_t status = 0)
{
    auto* live = new SlopeSensor(SensorManager::getInstance(), a.cuaId(), 90);
    EXPECT_TRUE(a.device()->addSensor(live));
    for (const auto& f : {frame(101, {status, 0, 0, 0, 0}), frame(104, {0, 0, 0, 0, 0, 0, 0}), slopes(1, 0.5f)})
        parseLocked(live, f);
    a.clearSent();
    return live;
}

std::vector<std::string> zeroingLog(const LogCapture& cap)
{
    std::vector<std::string> lines;
    for (const auto& r : cap.messages())
        if (r.level == WispLogLevels::Information && r.file.find("Slope") != std::string::npos)
            lines.push_back(r.message);
    return lines;
}

// The log of a zeroing that took a second request during its stability second, then the outcome.
std::vector<std::string> zeroingLogOf(std::initializer_list<std::string> outcome)
{
    std::vector<std::string> lines = {"MDS2000 Zero slope Start", "MDS2000 Start zeroing", "Zeroing Slope Sensor",
                                      "MDS2000 Zero slope Start", "MDS2000 Slope already zeroing"};
    lines.insert(lines.end(), outcome);
    return lines;
}

}  // namespace

TEST(TiltSlopeAdapter, TiltSensorCommandFrames)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    TiltSensorG1 s(SensorManager::getInstance(), a.cuaId(), 101);
    _TQUIL1G5_CAN_FRAME first{{SDT_G1, 101, 3, 0, 0, 0, 8}, {}};
    s.Parse(&first, SensorManager::getTickCount());  // heard once, so it may send
    a.clearSent();
    // Direct sends leave at once, queued ones after them from the adapter's delayed queue. End-matrix
    // elements: the group of four in the sub-field, the element within it in data 4.
    s.setMsgInterval(2, 10, 20, false);
    s.sendSlowFirlFilterRead(true);
    s.setFastFirFilterLength(8, false);
    EXPECT_EQ(s.setFirFilterLength(2, 5, false), 0);  // neither fast nor slow: nothing sent
    s.SendEndMatrixRead(6, false);
    s.SendEndMatrixWrite(9, 0x123456, 1, false);
    s.SendEndMatrixWrite(9, -2, 0, false);
    s.SendEndMatrixWrite(15, 7, 3, false);
    EXPECT_EQ(frameTexts(a.sentFrames()),
              (std::vector<std::string>{tilt(82, 0, {2, 10, 20}), tilt(89, 0, {8}), tilt(88, 5, {0, 0, 0, 0, 2}),
                                        tilt(88, 2, {0x56, 0x34, 0x12, 0, 1}), tilt(188, 2, {0xFE, 0xFF, 0xFF, 0, 1}),
                                        tilt(0, 3, {7, 0, 0, 0, 3}), tilt(89, 5, {})}));

    // The 4 by 4 end matrix goes out column by column (element k: row k % 4, column k / 4), then 15 is read back.
    a.clearSent();
    Matrix3d m;
    m(2, 1) = 0.5;
    m(1, 2) = -0.5;
    m(3, 3) = -1.0;
    s.SendEndMatrix(m);
    const uint32_t fixed[16] = {0, 0x004000, 0, 0, 0xFFC000, 0, 0, 0, 0, 0, 0xFF8000};  // 24-bit Q15, by hand
    std::vector<std::string> matrix;
    for (unsigned k = 0; k < 16; ++k)
        matrix.push_back(
            tilt(88, k / 4, {uint8_t(fixed[k]), uint8_t(fixed[k] >> 8), uint8_t(fixed[k] >> 16), 0, uint8_t(k % 4)}));
    matrix.push_back(tilt(88, 7, {0, 0, 0, 0, 3}));
    EXPECT_EQ(frameTexts(a.sentFrames()), matrix);

    // A settings read-out asks for one chunk at a time from offset 4 (offset in data 0-1, length in
    // data 2-3); the next request waits for the answer.
    a.clearSent();
    s.readSettings(SensorManager::getTickCount());
    s.readSettings(SensorManager::getTickCount());
    _TQUIL1G5_CAN_FRAME answer{{SDT_G1, 101, 34, 1, 0, 0, 8}, {4, 0, 4, 0, 1, 2, 3, 4}};
    s.Parse(&answer, SensorManager::getTickCount());
    s.readSettings(SensorManager::getTickCount());
    EXPECT_EQ(frameTexts(a.sentFrames()),
              (std::vector<std::string>{tilt(34, 1, {4, 0, 4, 0}), tilt(34, 1, {8, 0, 4, 0})}));
}

TEST(TiltSlopeAdapter, ZeroingOutcomesOnTheBusAndInTheLog)
{
    const auto Info = WispLogLevels::Information;
    const std::string zero = "MDS2000 Send Zero frame 701 ", release = "MDS2000 Send unZero frame 701 ";
    // Stage 0: no wait; 1: `during` comes in the stability second, after a second request; 2: it comes while settling.
    struct Case {
        uint8_t status;  // of the sensor before zeroing; not 0 is not OK
        std::vector<_TGENERIC_CAN_FRAME> during;
        int stage;
        std::vector<std::string> log;
    } cases[] = {{1, {}, 0, {"MDS2000 Zero slope Start", "MDS2000 Zero slope aborted. Not OK "}},
                 {0, {slopes(1.25f, 0.5f)}, 1, zeroingLogOf({"Slope sensor not stable, cannot zero"})},
                 {0, {slopes(0.02f, -0.05f)}, 2, zeroingLogOf({zero, release, "MDS2000 Zero slope OK"})},
                 {0, {}, 2, zeroingLogOf({zero, release, "MDS2000 Zero slope FAIL"})}};
    for (const Case& c : cases) {
        const std::string name = c.log.back() + " at stage " + std::to_string(c.stage);
        TestAdapter a;
        ASSERT_TRUE(a.connect());
        LogCapture cap;
        SlopeSensor* live = readySlope(a, c.status);
        // The host zeroes the copy its getter returned: the live sensor is the one zeroing.
        const auto zeroCopy = [&] { return SensorManager::getInstance()->getSlopeSensor(90, a.cuaId()).Zero(); };
        EXPECT_EQ(zeroCopy(), c.status == 0) << name;
        if (c.stage > 0) {
            ASSERT_TRUE(Clock::waitForSleepers(1, 2000)) << name;
            EXPECT_TRUE(zeroCopy());  // starts no second thread
        }
        if (c.stage == 2) {
            // A written line shows the zeroing has left its sleep (a woken thread counts as a sleeper until it runs).
            for (const auto& line : {zero, release}) {
                Clock::advance(line == zero ? SlopeZeroingThread::STABILITY_WAIT_MS : SlopeZeroingThread::ZERO_HOLD_MS);
                ASSERT_TRUE(eventually([&] { return cap.has(Info, line); })) << name;
                ASSERT_TRUE(Clock::waitForSleepers(1, 2000)) << name;
            }
        }
        for (const auto& f : c.during)
            parseLocked(live, f);
        const unsigned long long t0 = SensorManager::getTickCount();
        const auto settling = [&] { return c.stage > 0 && !cap.has(Info, c.log.back()); };
        for (int steps = 0; settling() && steps < 200 && Clock::waitForSleepers(1, 2000); ++steps)
            Clock::advance(SlopeZeroingThread::SETTLE_POLL_MS);
        if (c.stage == 2 && c.during.empty()) {
            EXPECT_GE(SensorManager::getTickCount() - t0, SlopeZeroingThread::SETTLE_TIMEOUT_MS);
        }
        ASSERT_TRUE(eventually([] { return SlopeZeroingThread::liveCount() == 0; })) << name;  // the thread ended
        EXPECT_FALSE(locked(live, [&] { return live->isZeroing(); })) << name;
        EXPECT_EQ(zeroingLog(cap), c.log) << name;
        EXPECT_EQ(frameTexts(a.sentFrames()), c.stage == 2 ? kZeroAndRelease : std::vector<std::string>{}) << name;
    }
}

TEST(TiltSlopeAdapter, StoppedZeroingEndsAtOnceAndNeverLeavesTheZeroCommandOn)
{
    // The end of the program stops the zeroing threads and joins them, whatever step they are in,
    // even while the plug-in's clock stands still; an adapter that drops its sensors leaves the
    // thread to carry on without the sensor to "not ok". Once the zero went out, so does the release.
    const char* const ends[] = {"stopped in the stability wait", "stopped in the zero hold",
                                "sensors dropped in the zero hold"};
    for (int end = 0; end < 3; ++end) {
        const std::string name = ends[end];
        TestAdapter a;
        ASSERT_TRUE(a.connect());
        LogCapture cap;
        SlopeSensor* live = readySlope(a);
        const SlopeSensor copy = SensorManager::getInstance()->getSlopeSensor(90, a.cuaId());
        parseLocked(live, slopes(3, 0.5f));
        EXPECT_EQ(copy.getSlopeX(), 1) << "the getter's copy is detached from later frames";
        ASSERT_TRUE(locked(live, [&] { return live->Zero(); })) << name;
        ASSERT_TRUE(Clock::waitForSleepers(1, 2000)) << name;
        if (end > 0) {
            Clock::advance(SlopeZeroingThread::STABILITY_WAIT_MS);
            ASSERT_TRUE(eventually([&] { return cap.has(WispLogLevels::Information, "MDS2000 Send Zero frame 701 "); }))
                << name;
            ASSERT_TRUE(Clock::waitForSleepers(1, 2000)) << name;
        }
        if (end < 2) {
            SlopeZeroingThread::stopAll();
            EXPECT_EQ(SlopeZeroingThread::liveCount(), 0) << name;
            EXPECT_FALSE(locked(live, [&] { return live->isZeroing(); })) << name;
        } else {
            a.device()->removeSensors();
            a.pass();
            Clock::advance(SlopeZeroingThread::ZERO_HOLD_MS);
            ASSERT_TRUE(eventually([] { return SlopeZeroingThread::liveCount() == 0; }));
            EXPECT_TRUE(cap.has(WispLogLevels::Information, "MDS2000 Zero slope aborted. Not OK "));
        }
        EXPECT_EQ(frameTexts(a.sentFrames()), end > 0 ? kZeroAndRelease : std::vector<std::string>{}) << name;
    }
}
