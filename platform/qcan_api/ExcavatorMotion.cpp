#include "ExcavatorMotion.h"

#include <cmath>

namespace {

const double kPi = 3.14159265358979323846;

// Key poses of the cycle; between two of them every joint moves with a cosine ramp, so that it
// starts and stops smoothly as an operator's hands would.
struct Key {
    double t;  // seconds into the cycle
    double boom, stick, bucket, swing, rotator;
};

const Key kKeys[] = {
    {0.0, 10.0, -45.0, -70.0, 0.0, 0.0},      // reach out at the dig face
    {5.0, 0.0, -95.0, -120.0, 0.0, 25.0},     // pull the stick in, bucket filling, rotator trimming
    {7.0, 35.0, -90.0, -160.0, 0.0, 0.0},     // curl and lift
    {11.0, 40.0, -80.0, -160.0, 90.0, 0.0},   // swing to the truck
    {13.0, 40.0, -60.0, -40.0, 90.0, -30.0},  // dump
    {17.0, 20.0, -50.0, -60.0, 0.0, 0.0},     // swing back
    {20.0, 10.0, -45.0, -70.0, 0.0, 0.0},     // lower to the face (same as the start)
};
const int kKeyCount = sizeof kKeys / sizeof kKeys[0];

double ramp(double a, double b, double f)
{
    return a + (b - a) * 0.5 * (1.0 - std::cos(kPi * f));
}

// Derivative of the ramp, normalised so that the fastest part of a full-range move is 1.
double rampRate(double a, double b, double f, double spanS)
{
    return (b - a) * 0.5 * kPi * std::sin(kPi * f) / spanS;
}

double clampUnit(double v)
{
    return v > 1.0 ? 1.0 : (v < -1.0 ? -1.0 : v);
}

}  // namespace

ExcavatorMotion::Pose ExcavatorMotion::poseAt(uint64_t ms)
{
    const double t = static_cast<double>(ms % kCycleMs) / 1000.0;
    int k = 0;
    while (k < kKeyCount - 2 && t >= kKeys[k + 1].t)
        ++k;
    const Key& a = kKeys[k];
    const Key& b = kKeys[k + 1];
    const double span = b.t - a.t;
    const double f = (t - a.t) / span;

    Pose p{};
    p.boomPitch = ramp(a.boom, b.boom, f);
    p.stickPitch = ramp(a.stick, b.stick, f);
    p.bucketPitch = ramp(a.bucket, b.bucket, f);
    p.swing = ramp(a.swing, b.swing, f);
    p.rotator = ramp(a.rotator, b.rotator, f);
    p.bucketRoll = 0.2 * p.rotator;  // a turned bucket shows part of the stick's roll

    const double phase = 2.0 * kPi * t / (kCycleMs / 1000.0);
    p.framePitch = 2.0 + 0.4 * std::sin(phase + 1.0);  // the machine rocks a little as it digs
    p.frameRoll = -1.2 + 0.3 * std::sin(phase);

    p.heading = std::fmod(kBaseHeading + p.swing + 360.0, 360.0);
    // The stick tip is lowest at the face; 1.5 m above ground there, up to about 6 m over the truck.
    p.groundDistance = 1.5 + 4.5 * (p.boomPitch + 0.0) / 40.0 + 0.5 * (p.stickPitch + 95.0) / 50.0;
    if (p.groundDistance < 0.5)
        p.groundDistance = 0.5;

    // Commands: the operator moves each lever in proportion to the joint's speed (degrees per
    // second, full lever at 60 deg/s).
    p.swingCommand = clampUnit(rampRate(a.swing, b.swing, f, span) / 60.0);
    p.stickCommand = clampUnit(rampRate(a.stick, b.stick, f, span) / 60.0);
    p.bucketCommand = clampUnit(rampRate(a.bucket, b.bucket, f, span) / 60.0);
    p.boomCommand = clampUnit(rampRate(a.boom, b.boom, f, span) / 60.0);
    p.rotateButton = std::fabs(rampRate(a.rotator, b.rotator, f, span)) > 2.0;
    p.dumpButton = t >= 11.5 && t < 12.0;
    return p;
}

void ExcavatorMotion::tiltQuaternion(double pitchDeg, double rollDeg, double q[4])
{
    const double hp = pitchDeg * kPi / 360.0;
    const double hr = rollDeg * kPi / 360.0;
    const double cp = std::cos(hp), sp = std::sin(hp);
    const double cr = std::cos(hr), sr = std::sin(hr);
    // Rotation about y (pitch) after rotation about x (roll), no yaw.
    q[0] = cp * cr;
    q[1] = cp * sr;
    q[2] = sp * cr;
    q[3] = -sp * sr;
}

double ExcavatorMotion::noise(uint64_t ms, uint32_t channel)
{
    // A small integer hash (splitmix64) mapped onto [-1, 1].
    uint64_t z = ms * 0x9E3779B97F4A7C15ull + channel * 0xBF58476D1CE4E5B9ull + 0x94D049BB133111EBull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) / static_cast<double>(1ull << 52) - 1.0;
}
