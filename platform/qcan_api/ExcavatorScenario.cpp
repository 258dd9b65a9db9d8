#include "ExcavatorScenario.h"

#include <algorithm>
#include <cmath>

#include "ExcavatorMotion.h"
#include "SimFrame.h"

namespace {

const double kPi = 3.14159265358979323846;

int16_t q14(double v)
{
    return static_cast<int16_t>(std::lround(v * ExcavatorScenario::kQ14));
}

_TGENERIC_CAN_FRAME quaternionFrame(uint32_t msg, uint32_t devNumber, const double q[4])
{
    _TGENERIC_CAN_FRAME f = SimFrame::extended(ExcavatorScenario::makerId(msg, 0, ExcavatorScenario::kTiltDevType, devNumber), 8);
    // Component order on the bus: x, y, z, w.
    SimFrame::putLe16(f, 0, static_cast<uint16_t>(q14(q[1])));
    SimFrame::putLe16(f, 2, static_cast<uint16_t>(q14(q[2])));
    SimFrame::putLe16(f, 4, static_cast<uint16_t>(q14(q[3])));
    SimFrame::putLe16(f, 6, static_cast<uint16_t>(q14(q[0])));
    return f;
}

// Two-bit status fields and a 10-bit position of one joystick axis, as the basic joystick message
// carries them: neutral bits 0-1, negative 2-3, positive 4-5, position low bits 6-7, then the
// position's upper eight bits.
void putAxis(_TGENERIC_CAN_FRAME& f, int at, double command)
{
    const double magnitude = std::min(1.0, std::fabs(command));
    const unsigned position = static_cast<unsigned>(std::lround(magnitude * 1000.0));
    const bool neutral = magnitude < 0.02;
    const unsigned low = (neutral ? 1u : 0u) | ((!neutral && command < 0) ? 1u << 2 : 0u) |
                         ((!neutral && command > 0) ? 1u << 4 : 0u) | ((position & 3u) << 6);
    f.data[at] = static_cast<uint8_t>(low);
    f.data[at + 1] = static_cast<uint8_t>(position >> 2);
}

uint32_t gnssTimeOfDay(uint64_t tMs)
{
    // The simulated day starts at 07:00:00 when the adapter opens.
    const uint64_t s = 7 * 3600 + tMs / 1000;
    return static_cast<uint32_t>(((s / 3600) % 24) * 10000 + ((s / 60) % 60) * 100 + s % 60);
}

}  // namespace

void ExcavatorScenario::linkAngles(uint32_t devNumber, const ExcavatorMotion::Pose& p, double& pitch, double& roll)
{
    switch (devNumber) {
    case kBucket: pitch = p.bucketPitch; roll = p.bucketRoll + p.frameRoll; break;
    case kStick: pitch = p.stickPitch; roll = p.frameRoll; break;
    case kMainBoom: pitch = p.boomPitch; roll = p.frameRoll; break;
    default: pitch = p.framePitch; roll = p.frameRoll; break;
    }
}

uint32_t ExcavatorScenario::makerId(uint32_t msg, uint32_t cmd, uint32_t devType, uint32_t devNumber)
{
    return SimFrame::makerId(msg, cmd, devType, devNumber);
}

ExcavatorScenario::ExcavatorScenario()
{
    addTiltSensor(kBucket, 10, 0);
    addTiltSensor(kStick, 20, 3);
    addTiltSensor(kMainBoom, 20, 13);
    addTiltSensor(kFrame, 50, 7);
    addGnss();
    addCompass();
    addTiltrotator();
    addJoysticks();
    addSlopeUnit();
    addController();
    addDistanceSensor();
}

void ExcavatorScenario::framesDue(uint64_t fromMs, uint64_t toMs, std::vector<_TGENERIC_CAN_FRAME>& out)
{
    timed_.clear();
    for (size_t i = 0; i < streams_.size(); ++i)
        streams_[i].due(fromMs, toMs, i, timed_);
    // Bus order: by time; at the same instant in the order the streams were added (stable).
    std::stable_sort(timed_.begin(), timed_.end(),
                     [](const PeriodicStream::TimedFrame& a, const PeriodicStream::TimedFrame& b) {
                         return a.tMs < b.tMs || (a.tMs == b.tMs && a.order < b.order);
                     });
    for (const PeriodicStream::TimedFrame& t : timed_)
        out.push_back(t.frame);
}

void ExcavatorScenario::addTiltSensor(uint32_t devNumber, uint32_t fastPeriodMs, uint32_t offsetMs)
{
    const std::string name = "tilt " + std::to_string(devNumber);
    streams_.emplace_back(name + " fast calibrated", fastPeriodMs, offsetMs,
                          [devNumber](uint64_t t, std::vector<_TGENERIC_CAN_FRAME>& out) {
                              double pitch, roll, q[4];
                              linkAngles(devNumber, ExcavatorMotion::poseAt(t), pitch, roll);
                              ExcavatorMotion::tiltQuaternion(pitch, roll, q);
                              out.push_back(quaternionFrame(18, devNumber, q));
                          });
    streams_.emplace_back(name + " slow calibrated", 100, offsetMs + 1,
                          [devNumber](uint64_t t, std::vector<_TGENERIC_CAN_FRAME>& out) {
                              double pitch, roll, q[4];
                              linkAngles(devNumber, ExcavatorMotion::poseAt(t), pitch, roll);
                              ExcavatorMotion::tiltQuaternion(pitch, roll, q);
                              out.push_back(quaternionFrame(14, devNumber, q));
                          });
    // The raw stage: the same orientation before filtering, with a few tenths of a degree of
    // vibration, one 32-bit component per frame (data 4 says which: 0 x, 1 y, 2 z, 3 w).
    streams_.emplace_back(name + " slow raw", 100, offsetMs + 2,
                          [devNumber](uint64_t t, std::vector<_TGENERIC_CAN_FRAME>& out) {
                              double pitch, roll, q[4];
                              linkAngles(devNumber, ExcavatorMotion::poseAt(t), pitch, roll);
                              pitch += 0.3 * ExcavatorMotion::noise(t, devNumber * 2);
                              roll += 0.3 * ExcavatorMotion::noise(t, devNumber * 2 + 1);
                              ExcavatorMotion::tiltQuaternion(pitch, roll, q);
                              const double ordered[4] = {q[1], q[2], q[3], q[0]};
                              for (uint8_t c = 0; c < 4; ++c) {
                                  _TGENERIC_CAN_FRAME f = SimFrame::extended(makerId(1, 0, kTiltDevType, devNumber), 5);
                                  SimFrame::putLe32(f, 0, static_cast<uint32_t>(static_cast<int32_t>(std::lround(ordered[c] * kQ30))));
                                  f.data[4] = c;
                                  out.push_back(f);
                              }
                          });
    // Two temperatures warming from 15 towards 25 degC after power-up; data 4 and 5 are the last two
    // warm-up flags, set for the first ten seconds.
    streams_.emplace_back(name + " temperature", 1000, offsetMs + 5,
                          [devNumber](uint64_t t, std::vector<_TGENERIC_CAN_FRAME>& out) {
                              const double warm = 1.0 - std::exp(-static_cast<double>(t) / 120000.0);
                              const double base = 1500.0 + 1000.0 * warm + 10.0 * (devNumber - kBucket);
                              _TGENERIC_CAN_FRAME f = SimFrame::extended(makerId(7, 0, kTiltDevType, devNumber), 6);
                              SimFrame::putLe16(f, 0, static_cast<uint16_t>(std::lround(base)));
                              SimFrame::putLe16(f, 2, static_cast<uint16_t>(std::lround(base + 35.0)));
                              f.data[4] = t < 10000 ? 1 : 0;
                              f.data[5] = t < 10000 ? 1 : 0;
                              out.push_back(f);
                          });
}

void ExcavatorScenario::addGnss()
{
    // The antenna sits on the cab roof, 1.0 m behind and 0.9 m left of the swing centre, so it
    // circles the centre as the machine swings.
    streams_.emplace_back("gnss position", 100, 17, [](uint64_t t, std::vector<_TGENERIC_CAN_FRAME>& out) {
        const ExcavatorMotion::Pose p = ExcavatorMotion::poseAt(t);
        const double h = p.heading * kPi / 180.0;
        const double east = -1.0 * std::sin(h) - 0.9 * std::cos(h) + 0.01 * ExcavatorMotion::noise(t, 900);
        const double north = -1.0 * std::cos(h) + 0.9 * std::sin(h) + 0.01 * ExcavatorMotion::noise(t, 901);
        const double up = 0.015 * ExcavatorMotion::noise(t, 902);
        const double values[6] = {
            kLat0 + north / 111320.0,
            kLon0 + east / (111320.0 * std::cos(kLat0 * kPi / 180.0)),
            kHeight0 + up + kGeoid,  // ellipsoidal height
            kEast0 + east,
            kNorth0 + north,
            kHeight0 + up,
        };
        for (uint32_t msg = 1; msg <= 6; ++msg) {
            _TGENERIC_CAN_FRAME f = SimFrame::extended(makerId(msg, 0, kGnssDevType, kGnssDevNumber), 8);
            SimFrame::putDouble(f, values[msg - 1]);
            out.push_back(f);
        }
    });
    streams_.emplace_back("gnss status", 1000, 67, [](uint64_t t, std::vector<_TGENERIC_CAN_FRAME>& out) {
        _TGENERIC_CAN_FRAME f = SimFrame::extended(makerId(7, 0, kGnssDevType, kGnssDevNumber), 8);
        SimFrame::putLe32(f, 0, gnssTimeOfDay(t));
        SimFrame::putLe32(f, 4, 4);  // RTK fixed
        out.push_back(f);
        f = SimFrame::extended(makerId(8, 0, kGnssDevType, kGnssDevNumber), 8);
        SimFrame::putLe32(f, 0, 16 + static_cast<uint32_t>((t / 7000) % 3));  // satellites come and go
        SimFrame::putLe32(f, 4, 80 + static_cast<uint32_t>((t / 7000) % 3) * 5);
        out.push_back(f);
        f = SimFrame::extended(makerId(9, 0, kGnssDevType, kGnssDevNumber), 4);
        SimFrame::putLe32(f, 0, static_cast<uint32_t>(std::lround(kGeoid * 100.0)));
        out.push_back(f);
    });
}

void ExcavatorScenario::addCompass()
{
    // PGN 127250 vessel heading: SID, heading in 0.0001 rad, deviation and variation not
    // available, reference true.
    streams_.emplace_back("compass heading", 100, 29, [](uint64_t t, std::vector<_TGENERIC_CAN_FRAME>& out) {
        const double deg = ExcavatorMotion::poseAt(t).heading + 0.1 * ExcavatorMotion::noise(t, 1000);
        double rad = std::fmod(deg + 360.0, 360.0) * kPi / 180.0;
        _TGENERIC_CAN_FRAME f = SimFrame::extended(SimFrame::j1939Id(2, 127250, kCompassSource), 8);
        f.data[0] = static_cast<uint8_t>((t / 100) % 250);
        SimFrame::putLe16(f, 1, static_cast<uint16_t>(std::min(62831L, std::lround(rad * 10000.0))));
        SimFrame::putLe16(f, 3, 0x7FFF);
        SimFrame::putLe16(f, 5, 0x7FFF);
        f.data[7] = 0xFC;
        out.push_back(f);
    });
}

void ExcavatorScenario::addTiltrotator()
{
    // PGN 65465: rotation angle (SPN 3331: 1/128 degree per bit, offset -200 degrees) in data 0-1,
    // status in the low two bits of data 3 (0: ok).
    streams_.emplace_back("tiltrotator", 50, 31, [](uint64_t t, std::vector<_TGENERIC_CAN_FRAME>& out) {
        const double angle = ExcavatorMotion::poseAt(t).rotator;
        _TGENERIC_CAN_FRAME f = SimFrame::extended(SimFrame::j1939Id(6, 65465, kRotatorSource), 8);
        SimFrame::putLe16(f, 0, static_cast<uint16_t>(static_cast<long>((200.0 + angle) * 128.0) & 0xFFFF));
        f.data[2] = 0xFF;
        f.data[3] = 0xFC;
        for (int i = 4; i < 8; ++i)
            f.data[i] = 0xFF;
        out.push_back(f);
    });
}

void ExcavatorScenario::addJoysticks()
{
    // Left joystick (1): X swing, Y stick, button 0 turns the tiltrotator, its roller (extended
    // message) the rotation speed. Right joystick (2): X bucket, Y boom, button 2 at the dump.
    // Buttons: 2 bits each from data 5 bit 0 on; 0 up, 1 down.
    for (int stick = 0; stick < 2; ++stick) {
        const uint32_t basicPgn = stick == 0 ? 0xFDD6 : 0xFDD8;
        const uint32_t extendedPgn = stick == 0 ? 0xFDD7 : 0xFDD9;
        streams_.emplace_back(stick == 0 ? "joystick 1" : "joystick 2", 50, 11 + stick * 25,
                              [stick, basicPgn](uint64_t t, std::vector<_TGENERIC_CAN_FRAME>& out) {
                                  const ExcavatorMotion::Pose p = ExcavatorMotion::poseAt(t);
                                  _TGENERIC_CAN_FRAME f = SimFrame::extended(SimFrame::j1939Id(3, basicPgn, 0xA9), 8);
                                  putAxis(f, 0, stick == 0 ? p.swingCommand : p.bucketCommand);
                                  putAxis(f, 2, stick == 0 ? p.stickCommand : p.boomCommand);
                                  if (stick == 0 && p.rotateButton)
                                      f.data[5] = 0x01;  // button 0 down
                                  if (stick == 1 && p.dumpButton)
                                      f.data[5] = 0x10;  // button 2 down
                                  out.push_back(f);
                              });
        streams_.emplace_back(stick == 0 ? "joystick 1 extended" : "joystick 2 extended", 100, 41 + stick * 50,
                              [stick, extendedPgn](uint64_t t, std::vector<_TGENERIC_CAN_FRAME>& out) {
                                  const ExcavatorMotion::Pose p = ExcavatorMotion::poseAt(t);
                                  const ExcavatorMotion::Pose later = ExcavatorMotion::poseAt(t + 100);
                                  _TGENERIC_CAN_FRAME f = SimFrame::extended(SimFrame::j1939Id(3, extendedPgn, 0xA9), 8);
                                  const double roller = stick == 0 ? (later.rotator - p.rotator) / 4.0 : 0.0;
                                  putAxis(f, 0, std::max(-1.0, std::min(1.0, roller)));
                                  putAxis(f, 2, 0.0);
                                  out.push_back(f);
                              });
    }
}

void ExcavatorScenario::addSlopeUnit()
{
    // Slope of the upper carriage in percent along (X) and across (Y) the machine.
    streams_.emplace_back("slope values", 100, 43, [](uint64_t t, std::vector<_TGENERIC_CAN_FRAME>& out) {
        const ExcavatorMotion::Pose p = ExcavatorMotion::poseAt(t);
        _TGENERIC_CAN_FRAME f = SimFrame::standard(100, 8);
        SimFrame::putFloat(f, 0, static_cast<float>(100.0 * std::tan(p.framePitch * kPi / 180.0)));
        SimFrame::putFloat(f, 4, static_cast<float>(100.0 * std::tan(p.frameRoll * kPi / 180.0)));
        out.push_back(f);
    });
    streams_.emplace_back("slope unit status", 500, 47, [](uint64_t, std::vector<_TGENERIC_CAN_FRAME>& out) {
        out.push_back(SimFrame::standard(101, {0, 0, 0, 0, 0}));
    });
    streams_.emplace_back("slope range", 500, 297, [](uint64_t, std::vector<_TGENERIC_CAN_FRAME>& out) {
        out.push_back(SimFrame::standard(104, {0, 0, 0, 0, 0, 0, 0}));
    });
    streams_.emplace_back("slope set points", 1000, 53, [](uint64_t, std::vector<_TGENERIC_CAN_FRAME>& out) {
        _TGENERIC_CAN_FRAME x = SimFrame::standard(106, 8);
        SimFrame::putFloat(x, 4, 3.5f);  // the design grade along the trench
        out.push_back(x);
        _TGENERIC_CAN_FRAME y = SimFrame::standard(107, 5);
        SimFrame::putFloat(y, 0, 0.0f);
        out.push_back(y);
    });
}

void ExcavatorScenario::addController()
{
    streams_.emplace_back("MDS2000 state", 500, 59, [](uint64_t, std::vector<_TGENERIC_CAN_FRAME>& out) {
        out.push_back(SimFrame::standard(1, {1, 0, 0}));  // running, not booting, not shutting down
    });
    streams_.emplace_back("MDS2000 heartbeat", 1000, 61, [](uint64_t t, std::vector<_TGENERIC_CAN_FRAME>& out) {
        out.push_back(SimFrame::standard(501, {static_cast<uint8_t>(t / 1000), 0}));
    });
    // Raw analogue inputs: supply voltage in 10 mV, hydraulic oil temperature in 0.1 degC and a
    // spare input; a fourth input on id 7.
    streams_.emplace_back("MDS2000 inputs", 200, 71, [](uint64_t t, std::vector<_TGENERIC_CAN_FRAME>& out) {
        _TGENERIC_CAN_FRAME f = SimFrame::standard(6, 8);
        SimFrame::putLe16(f, 2, static_cast<uint16_t>(2410 + std::lround(5.0 * ExcavatorMotion::noise(t, 1100))));
        SimFrame::putLe16(f, 4, static_cast<uint16_t>(450 + std::min<uint64_t>(t / 6000, 150)));
        SimFrame::putLe16(f, 6, 0);
        out.push_back(f);
        _TGENERIC_CAN_FRAME g = SimFrame::standard(7, 2);
        SimFrame::putLe16(g, 0, 512);
        out.push_back(g);
    });
    streams_.emplace_back("MDS2000 system", 1000, 83, [](uint64_t t, std::vector<_TGENERIC_CAN_FRAME>& out) {
        out.push_back(SimFrame::standard(300, {1, 0, 0, 0, 0, 0, 0, 0}));
        _TGENERIC_CAN_FRAME f = SimFrame::standard(303, 8);
        SimFrame::putLe32(f, 0, static_cast<uint32_t>(4512 * 3600 + t / 1000));  // operating seconds
        SimFrame::putLe32(f, 4, static_cast<uint32_t>(t / ExcavatorMotion::kCycleMs));  // completed cycles
        out.push_back(f);
        _TGENERIC_CAN_FRAME g = SimFrame::standard(702, 8);
        SimFrame::putLe32(g, 2, 20240611);
        SimFrame::putLe16(g, 6, 312);
        out.push_back(g);
    });
}

void ExcavatorScenario::addDistanceSensor()
{
    // Data 0 non-zero: a measurement; data 4-7 the distance in 0.1 mm.
    streams_.emplace_back("DT500 distance", 50, 89, [](uint64_t t, std::vector<_TGENERIC_CAN_FRAME>& out) {
        const double metres = ExcavatorMotion::poseAt(t).groundDistance + 0.003 * ExcavatorMotion::noise(t, 1200);
        _TGENERIC_CAN_FRAME f = SimFrame::standard(46, 8);
        f.data[0] = 1;
        SimFrame::putLe32(f, 4, static_cast<uint32_t>(std::lround(metres * 10000.0)));
        out.push_back(f);
    });
}
