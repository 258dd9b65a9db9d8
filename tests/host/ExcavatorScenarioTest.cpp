// The simulated excavator's traffic, taken straight from the scenario: pacing independence and
// the pose its readings carry at each device's rate.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>

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

int16_t le16(const uint8_t* p) { return static_cast<int16_t>(p[0] | (p[1] << 8)); }

TEST(ExcavatorScenario, SameFramesWhateverTheSlicesAskedFor)
{
    ExcavatorScenario a, b;
    const std::vector<_TGENERIC_CAN_FRAME> fine = framesBetween(a, 0, 3000, 10);
    const std::vector<_TGENERIC_CAN_FRAME> coarse = framesBetween(b, 0, 3000, 137);
    ASSERT_EQ(fine.size(), coarse.size());
    for (size_t i = 0; i < fine.size(); ++i)
        ASSERT_EQ(std::memcmp(&fine[i], &coarse[i], sizeof fine[i]), 0) << "frame " << i;
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
    // Frames in one 20 s cycle: each device at its rate (the bucket 100 Hz fast + 10 Hz slow, and so on).
    const std::map<std::string, int> expected = {
        {"heading", 200}, {"rotator", 400}, {"tilt 101", 2200}, {"tilt 102", 1200}, {"tilt 103", 1200},
        {"tilt 105", 600}, {"gnss 1", 200}, {"gnss 2", 200}, {"gnss 3", 200}, {"gnss 4", 200}, {"gnss 5", 200},
        {"gnss 6", 200}};
    EXPECT_EQ(checked, expected);
}

}  // namespace
