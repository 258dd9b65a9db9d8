#pragma once

// The working cycle of a simulated excavator, as a pure function of time: dig, lift, swing to the
// truck, dump, swing back, lower. Every simulated device reads its values from the same pose, so
// that the tilt sensors, the compass, the GNSS antenna, the tiltrotator and the joysticks tell one
// consistent story. Angles in degrees; link angles are pitch against the horizon, nose up positive.

#include <cstdint>

class ExcavatorMotion {
public:
    static constexpr uint64_t kCycleMs = 20000;

    struct Pose {
        double boomPitch;    // main boom
        double stickPitch;   // stick
        double bucketPitch;  // bucket
        double bucketRoll;
        double framePitch;   // upper carriage, standing on a slight slope
        double frameRoll;
        double swing;        // upper carriage against the tracks, 0 at the dig face
        double rotator;      // tiltrotator rotation
        double heading;      // machine heading, 0 to 360
        double groundDistance;  // from the distance sensor under the stick to the ground, metres
        // Operator commands, -1 to 1: left stick X swing, Y stick; right stick X bucket, Y boom.
        double swingCommand, stickCommand, bucketCommand, boomCommand;
        bool rotateButton;   // left grip, held while the tiltrotator turns
        bool dumpButton;     // right grip, pressed at the dump
    };

    static Pose poseAt(uint64_t ms);

    // Unit quaternion (w, x, y, z) of a sensor pitched and rolled by the given angles (yaw 0).
    static void tiltQuaternion(double pitchDeg, double rollDeg, double q[4]);

    // Deterministic noise in [-1, 1] for a time and a channel; the same inputs give the same value.
    static double noise(uint64_t ms, uint32_t channel);

    static constexpr double kBaseHeading = 75.0;  // the dig face lies to the east-north-east
};
