#pragma once

// An excavator at work on a 250 kbit/s bus: every device below follows one dig, swing and dump
// cycle (ExcavatorMotion), so that their readings agree with each other.
//
// Device                          Identifier(s)                      Rate
// tilt sensors (maker, type 16)   msg 18 fast calibrated             bucket 101: 100 Hz, stick 102 and
//   on bucket 101, stick 102,                                         main boom 103: 50 Hz, frame 105: 20 Hz
//   main boom 103, frame 105      msg 14 slow calibrated             10 Hz
//                                 msg 1 slow raw (4 frames a set)    10 Hz sets
//                                 msg 7 temperatures                 1 Hz
// GNSS receiver (maker, type 11,  msgs 1-6 lat, lon, alt, x, y, z    10 Hz sets
//   number 1)                     msgs 7-9 time/fix, sats/HDOP, geoid 1 Hz
// NMEA 2000 compass, SA 0x23      PGN 127250 vessel heading          10 Hz
// Engcon tiltrotator, SA 0x3C     PGN 65465 (proprietary B, PS 185)  20 Hz
// Steelwrist joysticks, SA 0xA9   basic joystick 1 and 2             20 Hz each
//                                 extended joystick 1 and 2          10 Hz each
// Moba slope unit                 standard 100 / 101, 104 / 106, 107 10 Hz / 2 Hz / 1 Hz
// MDS2000 controller              standard 1, 6, 7, 300, 303, 501, 702
// DT500 distance sensor           standard 46                        20 Hz
//
// Scalings: tilt quaternions (w, x, y, z) in units of 1/16384 in the 16-bit streams and 1/2^30 in
// the 32-bit slow raw stream; temperatures in 0.01 degC. GNSS doubles in degrees and metres, time
// of day as hhmmss, fix quality 4 (RTK fixed), HDOP in 0.01, geoid height in cm.

#include <vector>

#include "ExcavatorMotion.h"
#include "PeriodicStream.h"
#include "Scenario.h"

class ExcavatorScenario : public Scenario {
public:
    static constexpr uint32_t kTiltDevType = 16;
    static constexpr uint32_t kGnssDevType = 11;
    static constexpr uint32_t kGnssDevNumber = 1;
    static constexpr uint32_t kBucket = 101, kStick = 102, kMainBoom = 103, kFrame = 105;
    static constexpr uint32_t kCompassSource = 0x23;
    static constexpr uint32_t kRotatorSource = 0x3C;
    static constexpr double kQ14 = 16384.0;
    static constexpr double kQ30 = 1073741824.0;
    // Where the swing centre stands: latitude and longitude in degrees, grid easting, northing and
    // height in metres, geoid height in metres.
    static constexpr double kLat0 = 59.3293, kLon0 = 18.0686;
    static constexpr double kEast0 = 674032.50, kNorth0 = 6580812.30, kHeight0 = 28.40, kGeoid = 22.50;

    ExcavatorScenario();

    void framesDue(uint64_t fromMs, uint64_t toMs, std::vector<_TGENERIC_CAN_FRAME>& out) override;

    const std::vector<PeriodicStream>& streams() const { return streams_; }

    // Pitch and roll in degrees of the link that the tilt sensor with this number is mounted on,
    // in a pose of the cycle: what its quaternions encode.
    static void linkAngles(uint32_t devNumber, const ExcavatorMotion::Pose& pose, double& pitch, double& roll);

    // Maker identifier: msg bits 21-28 | cmd bits 18-20 | devType bits 8-14 | devNumber bits 0-6.
    static uint32_t makerId(uint32_t msg, uint32_t cmd, uint32_t devType, uint32_t devNumber);

private:
    void addTiltSensor(uint32_t devNumber, uint32_t fastPeriodMs, uint32_t offsetMs);
    void addGnss();
    void addCompass();
    void addTiltrotator();
    void addJoysticks();
    void addSlopeUnit();
    void addController();
    void addDistanceSensor();

    std::vector<PeriodicStream> streams_;
    std::vector<PeriodicStream::TimedFrame> timed_;
};
