#include <gtest/gtest.h>

#include <dirent.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "Clock.h"
#include "LogCapture.h"
#include "Matrix3d.h"
#include "SensorManager.h"
#include "SlopeSensor.h"
#include "SlopeZeroingThread.h"
#include "TestAdapter.h"
#include "TiltSensorG1.h"
#include "TiltSensorG2.h"

using namespace Sensors;

namespace {

_TGENERIC_CAN_FRAME frame(uint32_t id, bool ext, std::initializer_list<uint8_t> data)
{
    _TGENERIC_CAN_FRAME f{};
    f.header.id = id;
    f.header.ext = ext ? 1 : 0;
    f.header.dlc = static_cast<uint16_t>(data.size());
    std::copy(data.begin(), data.end(), f.data);
    return f;
}

// A tilt sensor's maker frame as a record: one field per byte (devType 16, devNumber = id, msg, cmd).
_TQUIL1G5_CAN_FRAME makerFrame(unsigned char msg, unsigned char cmd, unsigned char id, std::initializer_list<uint8_t> data)
{
    _TQUIL1G5_CAN_FRAME f{};
    f.header.devType = SDT_G1;
    f.header.devNumber = id;
    f.header.msg = msg;
    f.header.cmd = cmd;
    f.header.dlc = static_cast<uint16_t>(data.size());
    std::copy(data.begin(), data.end(), f.data);
    return f;
}

// The 29-bit identifier a tilt-sensor command goes out with: bits 0-6 sensor id | bit 7 err (0) |
// bits 8-14 device type 16 | bits 15-17 zero | bits 18-20 sub-field | bits 21-28 message type.
uint32_t tiltId(unsigned msg, unsigned cmd, unsigned id)
{
    return (msg << 21) | (cmd << 18) | (16u << 8) | id;
}

void expectFrame(const _TGENERIC_CAN_FRAME& f, uint32_t id, bool ext, std::vector<uint8_t> data, const std::string& what)
{
    EXPECT_EQ(f.header.id, id) << what;
    EXPECT_EQ(f.header.ext, ext ? 1 : 0) << what;
    EXPECT_EQ(f.header.rtr, 0) << what;
    EXPECT_EQ(std::vector<uint8_t>(f.data, f.data + f.header.dlc), data) << what;
}

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
            n += e->d_name[0] != '.';
        closedir(dir);
    }
    return n;
}

// Waits, in real time, up to five seconds for the condition.
template <class F>
bool within5s(F done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    return done();
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

// A tilt sensor that has been heard once, with the adapter's record of sent frames cleared.
void wake(TiltSensor& s, TestAdapter& a)
{
    _TQUIL1G5_CAN_FRAME first = makerFrame(3, 0, static_cast<unsigned char>(s.getSensorId()), {0, 0, 0, 0, 0, 0, 0, 0});
    s.Parse(&first, SensorManager::getTickCount());
    a.clearSent();
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

TEST(TiltSlopeAdapter, TiltSensorConfigurationAndEndMatrixFrames)
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
    TiltSensorMsgIntervals iv;
    for (int i = 0; i < 8; ++i) {
        iv.interval[i][0] = static_cast<uint8_t>(10 + i);
        iv.interval[i][1] = static_cast<uint8_t>(100 + i);
    }
    s.setMsgIntervals(iv);
    std::vector<_TGENERIC_CAN_FRAME> sent = a.sentFrames();
    ASSERT_EQ(sent.size(), 13u);
    expectFrame(sent[0], tiltId(82, 0, 101), true, {2, 10, 20}, "interval");
    expectFrame(sent[1], tiltId(89, 0, 101), true, {8}, "fast FIR length");
    expectFrame(sent[2], tiltId(89, 4, 101), true, {}, "fast FIR read");
    expectFrame(sent[3], tiltId(89, 1, 101), true, {16}, "slow FIR length");
    expectFrame(sent[4], tiltId(89, 5, 101), true, {}, "slow FIR read");
    for (int i = 0; i < 8; ++i)
        expectFrame(sent[5 + i], tiltId(82, 0, 101), true,
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

    // A whole end matrix goes out column by column, then element 15 is read back.
    a.clearSent();
    Matrix3d m;
    m(1, 1) = 1.0;
    m(2, 1) = 0.5;
    m(1, 2) = -0.5;
    m(3, 3) = -1.0;
    m(2, 3) = 0.25;
    s.SendEndMatrix(m);
    // Element k is row k % 4, column k / 4 of the 4 by 4 end matrix; its 24-bit Q15 value by hand.
    const uint32_t fixed[16] = {0x007FFF, 0x004000, 0, 0,  // column 0: 1.0, 0.5, 0, 0
                                0xFFC000, 0, 0, 0,         // column 1: -0.5, 0, 0, 0
                                0, 0x002000, 0xFF8000, 0,  // column 2: 0, 0.25, -1.0, 0
                                0, 0, 0, 0};               // column 3: all 0
    sent = a.sentFrames();
    ASSERT_EQ(sent.size(), 17u);
    for (unsigned k = 0; k < 16; ++k)
        expectFrame(sent[k], tiltId(88, k / 4, 101), true,
                    {static_cast<uint8_t>(fixed[k]), static_cast<uint8_t>(fixed[k] >> 8),
                     static_cast<uint8_t>(fixed[k] >> 16), 0, static_cast<uint8_t>(k % 4)},
                    "element " + std::to_string(k));
    expectFrame(sent[16], tiltId(88, 7, 101), true, {0, 0, 0, 0, 3}, "read-back of element 15");
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
    // Unanswered, the request is repeated once the retry time has passed.
    s.readSettings(t0 + 30 + TiltSensor::SETTINGS_RETRY_MS);
    const std::vector<_TGENERIC_CAN_FRAME> sent = a.sentFrames();
    ASSERT_EQ(sent.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        expectFrame(sent[i], tiltId(34, 1, 103), true, {i ? uint8_t(4) : uint8_t(0), 0, 4, 0}, "request " + std::to_string(i));
}

TEST(TiltSlopeAdapter, ZeroingOutcomesOnTheBusAndInTheLog)
{
    const auto Info = WispLogLevels::Information;
    const std::string start = "MDS2000 Zero slope Start", zero = "MDS2000 Send Zero frame 701 ",
                      release = "MDS2000 Send unZero frame 701 ", fail = "MDS2000 Zero slope FAIL";
    // Stage 0: no wait; 1: `during` arrives in the stability second (a second request is made meanwhile);
    // 2: `during` arrives once the release is out, in the settling watch, which gives up after 5000 ms.
    struct Case {
        float x, y;
        std::vector<_TGENERIC_CAN_FRAME> before, during;
        int stage;
        std::vector<std::string> log;
    } cases[] = {
        {1.0f, 0.5f, {frame(101, false, {1, 0, 0, 0, 0})}, {}, 0, {start, "MDS2000 Zero slope aborted. Not OK "}},
        {0.05f, -0.09f, {}, {}, 0, {start, "MDS2000 Slope value already 0"}},
        {2.0f, 2.0f, {frame(104, false, {0, 0, 0, 0, 0, 0, 1})}, {}, 0,  // Y out of range
         {start, "MDS2000 Start zeroing", "Zeroing Slope Sensor", "Slope sensor not OK, cannot zero"}},
        {1.0f, 0.5f, {}, {slopes(1.25f, 0.5f)}, 1, zeroingLogOf({"Slope sensor not stable, cannot zero"})},
        {1.0f, 0.5f, {}, {frame(101, false, {3, 0, 0, 0, 0})}, 1, zeroingLogOf({"Slope sensor not OK, cannot zero"})},
        {1.0f, 0.5f, {}, {slopes(0.02f, -0.05f)}, 2, zeroingLogOf({zero, release, "MDS2000 Zero slope OK"})},
        {1.0f, 0.5f, {}, {}, 2, zeroingLogOf({zero, release, fail})},
        // The slopes never came back, so the outcome follows the abort line.
        {1.0f, 0.5f, {}, {frame(101, false, {2, 0, 0, 0, 0})}, 2,
         zeroingLogOf({zero, release, "MDS2000 Zero slope aborted. Not OK ", fail})}};
    for (const Case& c : cases) {
        const std::string name = c.log.back() + " at stage " + std::to_string(c.stage);
        TestAdapter a;
        ASSERT_TRUE(a.connect());
        LogCapture cap;
        auto* live = new SlopeSensor(SensorManager::getInstance(), a.cuaId(), 90);
        ASSERT_TRUE(a.device()->addSensor(live));
        for (const auto& f : {frame(101, false, {0, 0, 0, 0, 0}), frame(104, false, {0, 0, 0, 0, 0, 0, 0}), slopes(c.x, c.y)})
            parseLocked(live, f);
        for (const auto& f : c.before)
            parseLocked(live, f);
        a.clearSent();
        const int threads = osThreads();
        const auto zeroing = [&] { return locked(live, [&] { return live->isZeroing(); }); };
        EXPECT_EQ(locked(live, [&] { return live->Zero(); }), c.log[1] != "MDS2000 Zero slope aborted. Not OK ") << name;
        if (c.stage > 0) {
            ASSERT_TRUE(Clock::waitForSleepers(1, 2000)) << name;
            EXPECT_TRUE(locked(live, [&] { return live->Zero(); }));  // starts no second thread
        }
        if (c.stage == 2) {
            // A written line is the sign that the zeroing has left its sleep (a thread woken by advance()
            // still counts as a sleeper until it runs).
            for (const auto& line : {zero, release}) {
                Clock::advance(line == zero ? SlopeZeroingThread::STABILITY_WAIT_MS : SlopeZeroingThread::ZERO_HOLD_MS);
                ASSERT_TRUE(within5s([&] { return cap.has(Info, line); })) << name;
                ASSERT_TRUE(Clock::waitForSleepers(1, 2000)) << name;
            }
        }
        for (const auto& f : c.during)
            parseLocked(live, f);
        const unsigned long long t0 = SensorManager::getTickCount();
        for (int steps = 0; c.stage > 0 && !cap.has(Info, c.log.back()) && steps < 200 && Clock::waitForSleepers(1, 2000); ++steps)
            Clock::advance(SlopeZeroingThread::SETTLE_POLL_MS);
        if (c.stage == 2 && c.during.empty()) {
            EXPECT_GE(SensorManager::getTickCount() - t0, SlopeZeroingThread::SETTLE_TIMEOUT_MS);
        }
        // The thread has finished and left the process.
        ASSERT_TRUE(within5s([&] { return !zeroing() && SlopeZeroingThread::liveCount() == 0 && osThreads() <= threads; }))
            << name;
        EXPECT_EQ(zeroingLog(cap), c.log) << name;
        const std::vector<_TGENERIC_CAN_FRAME> sent = a.sentFrames();
        ASSERT_EQ(sent.size(), c.stage == 2 ? 2u : 0u) << name;
        for (size_t i = 0; i < sent.size(); ++i)
            expectFrame(sent[i], 701, false, {uint8_t(i == 0), 0, 0, 0, 0, 0, 0, 0}, name + (i ? ": release" : ": zero"));
    }
}

TEST(TiltSlopeAdapter, TypedGetterReturnsADetachedCopy)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    auto* tilt = new TiltSensorG1(SensorManager::getInstance(), a.cuaId(), 105);
    ASSERT_TRUE(a.device()->addSensor(tilt));
    parseLocked(tilt, makerFrame(18, 0, 105, {1, 0, 2, 0, 3, 0, 0xFF, 0x7F}));
    TiltSensorG1 copy = SensorManager::getInstance()->getTiltSensorG1(105, a.cuaId());
    EXPECT_TRUE(copy.isActive());
    EXPECT_EQ(copy.getValue(FAST, CALIBRATED).w, 32767);
    // Later frames reach only the live sensor.
    parseLocked(tilt, makerFrame(18, 0, 105, {9, 0, 9, 0, 9, 0, 9, 0}));
    EXPECT_EQ(copy.getValue(FAST, CALIBRATED).x, 1);
    EXPECT_EQ(SensorManager::getInstance()->getTiltSensorG1(105, a.cuaId()).getValue(FAST, CALIBRATED).x, 9);
}
