// The simulated excavator's traffic, taken straight from the scenario: rates, identifiers,
// pacing independence, bus load and the working cycle.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>

#include "BusLoad.h"
#include "ExcavatorMotion.h"
#include "ExcavatorScenario.h"
#include "SimFrame.h"

namespace {

const double kPi = 3.14159265358979323846;

std::vector<_TGENERIC_CAN_FRAME> framesBetween(ExcavatorScenario& s, uint64_t from, uint64_t to, uint64_t slice)
{
    std::vector<_TGENERIC_CAN_FRAME> out;
    for (uint64_t t = from; t < to; t += slice)
        s.framesDue(t, std::min(to, t + slice), out);
    return out;
}

// Identifier plus extended flag, so that standard 46 and an extended 46 differ.
uint64_t key(const _TGENERIC_CAN_FRAME& f)
{
    return (static_cast<uint64_t>(f.header.ext) << 32) | f.header.id;
}

uint64_t ext(uint32_t id) { return (1ull << 32) | id; }
uint64_t std11(uint32_t id) { return id; }

int16_t le16(const uint8_t* p) { return static_cast<int16_t>(p[0] | (p[1] << 8)); }

TEST(ExcavatorScenario, EachDeviceSendsAtItsRate)
{
    ExcavatorScenario s;
    std::map<uint64_t, int> count;
    for (const _TGENERIC_CAN_FRAME& f : framesBetween(s, 0, 10000, 10))
        ++count[key(f)];
    // Ten seconds of traffic.
    EXPECT_EQ(count[ext(SimFrame::makerId(18, 0, 16, 101))], 1000);  // bucket fast, 100 Hz
    EXPECT_EQ(count[ext(SimFrame::makerId(18, 0, 16, 102))], 500);   // stick fast, 50 Hz
    EXPECT_EQ(count[ext(SimFrame::makerId(18, 0, 16, 103))], 500);   // boom fast, 50 Hz
    EXPECT_EQ(count[ext(SimFrame::makerId(18, 0, 16, 105))], 200);   // frame fast, 20 Hz
    EXPECT_EQ(count[ext(SimFrame::makerId(14, 0, 16, 101))], 100);   // slow calibrated, 10 Hz
    EXPECT_EQ(count[ext(SimFrame::makerId(1, 0, 16, 101))], 400);    // slow raw, 4 frames at 10 Hz
    EXPECT_EQ(count[ext(SimFrame::makerId(7, 0, 16, 105))], 10);     // temperatures, 1 Hz
    for (uint32_t msg = 1; msg <= 6; ++msg)
        EXPECT_EQ(count[ext(SimFrame::makerId(msg, 0, 11, 1))], 100) << msg;  // GNSS position, 10 Hz
    for (uint32_t msg = 7; msg <= 9; ++msg)
        EXPECT_EQ(count[ext(SimFrame::makerId(msg, 0, 11, 1))], 10) << msg;
    EXPECT_EQ(count[ext(0x09F11223)], 100);  // PGN 127250 from 0x23, priority 2
    EXPECT_EQ(count[ext(0x18FFB93C)], 200);  // PGN 65465 from 0x3C, priority 6
    EXPECT_EQ(count[ext(0x0CFDD6A9)], 200);  // joystick, 20 Hz
    EXPECT_EQ(count[ext(0x0CFDD7A9)], 100);  // its extended message, 10 Hz
    EXPECT_EQ(count[std11(100)], 100);       // slope values, 10 Hz
    EXPECT_EQ(count[std11(101)], 20);
    EXPECT_EQ(count[std11(106)], 10);
    EXPECT_EQ(count[std11(1)], 20);
    EXPECT_EQ(count[std11(46)], 200);
}

TEST(ExcavatorScenario, SameFramesWhateverTheSlicesAskedFor)
{
    ExcavatorScenario a, b;
    const std::vector<_TGENERIC_CAN_FRAME> fine = framesBetween(a, 0, 3000, 10);
    const std::vector<_TGENERIC_CAN_FRAME> coarse = framesBetween(b, 0, 3000, 137);
    ASSERT_EQ(fine.size(), coarse.size());
    for (size_t i = 0; i < fine.size(); ++i)
        ASSERT_EQ(std::memcmp(&fine[i], &coarse[i], sizeof fine[i]), 0) << "frame " << i;
}

TEST(ExcavatorScenario, MakerFramesKeepTheReservedIdentifierBitsClear)
{
    ExcavatorScenario s;
    for (const _TGENERIC_CAN_FRAME& f : framesBetween(s, 0, 2000, 10)) {
        ASSERT_LE(f.header.dlc, 8);
        const uint32_t devType = (f.header.id >> 8) & 0x7F;
        if (f.header.ext && (devType == 16 || devType == 11) && ((f.header.id >> 15) & 7) == 0)
            continue;  // a maker frame
        if (f.header.ext) {
            // Every other extended frame must not look like a maker frame, or the plug-in's maker
            // parser would claim it first.
            EXPECT_NE((f.header.id >> 15) & 7, 0u) << std::hex << f.header.id;
        } else {
            EXPECT_LT(f.header.id, 0x800u);
        }
    }
}

TEST(ExcavatorScenario, FrameSizesAndBusLoad)
{
    // 29-bit identifier, 8 bytes: 64 + 64 + 3 interframe + (54 + 64 - 1) / 4 = 29 stuff bits.
    EXPECT_EQ(BusLoad::bitsPerFrame(true, 8), 160u);
    // 11-bit identifier, 8 bytes: 44 + 64 + 3 + (34 + 64 - 1) / 4 = 24.
    EXPECT_EQ(BusLoad::bitsPerFrame(false, 8), 135u);

    ExcavatorScenario s;
    // The declared rates agree with what the scenario sends.
    const std::vector<_TGENERIC_CAN_FRAME> frames = framesBetween(s, 0, 10000, 10);
    EXPECT_NEAR(BusLoad::framesPerSecond(s.streams()), frames.size() / 10.0, 0.01);
    double bits = 0;
    for (const _TGENERIC_CAN_FRAME& f : frames)
        bits += BusLoad::bitsPerFrame(f.header.ext != 0, f.header.dlc);
    EXPECT_NEAR(BusLoad::bitsPerSecond(s.streams()), bits / 10.0, 1.0);
    // A working machine's bus, with room to spare at 250 kbit/s.
    const double load = BusLoad::load(s.streams(), 250000);
    EXPECT_GT(load, 0.25);
    EXPECT_LT(load, 0.5);
}

TEST(ExcavatorScenario, JoystickButtonsFollowTheCycle)
{
    ExcavatorScenario s;
    int rotateDown = 0, dumpDown = 0;
    for (const _TGENERIC_CAN_FRAME& f : framesBetween(s, 0, ExcavatorMotion::kCycleMs, 10)) {
        if (f.header.id == 0x0CFDD6A9 && (f.data[5] & 3) == 1)
            ++rotateDown;
        if (f.header.id == 0x0CFDD8A9 && ((f.data[5] >> 4) & 3) == 1)
            ++dumpDown;
    }
    EXPECT_GT(rotateDown, 20);  // held while the rotator turns, over a second at 20 Hz
    EXPECT_EQ(dumpDown, 10);    // half a second at the dump
}

// Every device's frames carry the pose the scenario simulates at the frame's instant, to within the
// noise it adds: compass heading, tilt pitch and roll, tiltrotator angle and antenna position.
TEST(ExcavatorScenario, ReadingsAgreeWithTheSimulatedPose)
{
    using S = ExcavatorScenario;
    const double kLat0 = S::kLat0, kLon0 = S::kLon0, kHeight0 = S::kHeight0, kGeoid = S::kGeoid, kEast0 = S::kEast0,
                 kNorth0 = S::kNorth0;
    ExcavatorScenario s;
    std::map<std::string, int> checked;
    std::vector<_TGENERIC_CAN_FRAME> frames;
    for (uint64_t t = 1; t <= ExcavatorMotion::kCycleMs; ++t) {
        frames.clear();
        s.framesDue(t - 1, t, frames);  // the frames of instant t
        const ExcavatorMotion::Pose p = ExcavatorMotion::poseAt(t);
        for (const _TGENERIC_CAN_FRAME& f : frames) {
            const uint32_t id = f.header.id, msg = id >> 21, type = (id >> 8) & 0x7F, number = id & 0x7F;
            if (id == 0x09F11223) {  // heading in 0.0001 rad, noise 0.1 degree
                ASSERT_NEAR(static_cast<uint16_t>(le16(f.data + 1)) * 1e-4 * 180.0 / kPi, p.heading, 0.2) << t;
                ++checked["heading"];
            } else if (id == 0x18FFB93C) {  // 1/128 degree, offset -200 degrees
                ASSERT_NEAR(static_cast<uint16_t>(le16(f.data)) / 128.0 - 200.0, p.rotator, 0.01) << t;
                ++checked["rotator"];
            } else if (f.header.ext && type == 16 && (msg == 18 || msg == 14)) {
                // Pitch about y after roll about x: y/w = tan(pitch/2), x/w = tan(roll/2).
                const double x = le16(f.data), y = le16(f.data + 2), z = le16(f.data + 4), w = le16(f.data + 6);
                ASSERT_NEAR(std::sqrt(w * w + x * x + y * y + z * z), S::kQ14, 4.0) << t;
                const double pitch = number == 101 ? p.bucketPitch : number == 102 ? p.stickPitch
                                   : number == 103 ? p.boomPitch : p.framePitch;
                const double roll = number == 101 ? p.bucketRoll + p.frameRoll : p.frameRoll;
                ASSERT_NEAR(2.0 * std::atan2(y, w) * 180.0 / kPi, pitch, 0.05) << t << " " << number;
                ASSERT_NEAR(2.0 * std::atan2(x, w) * 180.0 / kPi, roll, 0.05) << t << " " << number;
                ++checked["tilt " + std::to_string(number)];
            } else if (f.header.ext && type == 11 && msg >= 1 && msg <= 6) {
                // The antenna: 1.0 m behind and 0.9 m left of the swing centre, 1 cm of noise.
                const double h = p.heading * kPi / 180.0, east = -std::sin(h) - 0.9 * std::cos(h);
                const double north = -std::cos(h) + 0.9 * std::sin(h), m = 111320.0, cosLat = std::cos(kLat0 * kPi / 180.0);
                const double want[6] = {kLat0 + north / m, kLon0 + east / (m * cosLat), kHeight0 + kGeoid,
                                        kEast0 + east, kNorth0 + north, kHeight0};
                const double metresPerUnit[6] = {m, m * cosLat, 1, 1, 1, 1};
                double v;
                std::memcpy(&v, f.data, 8);
                ASSERT_NEAR((v - want[msg - 1]) * metresPerUnit[msg - 1], 0.0, 0.03) << t << " message " << msg;
                ++checked["gnss " + std::to_string(msg)];
            }
        }
    }
    const std::map<std::string, int> expected = {
        {"heading", 200}, {"rotator", 400}, {"tilt 101", 2200}, {"tilt 102", 1200}, {"tilt 103", 1200},
        {"tilt 105", 600}, {"gnss 1", 200}, {"gnss 2", 200}, {"gnss 3", 200}, {"gnss 4", 200}, {"gnss 5", 200},
        {"gnss 6", 200}};
    EXPECT_EQ(checked, expected);
}

}  // namespace
