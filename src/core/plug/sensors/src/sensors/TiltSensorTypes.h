#pragma once

// Plain types of the tilt sensors: the stream indices, one stream reading, the message-interval
// record and the operations of the settings read-out.

#include <cstdint>

namespace Sensors {

// Update speed of a stream; the stream index is speed * 5 + filter.
enum TiltSpeed { FAST = 0, SLOW = 1 };

// Processing stage of a stream.
enum TiltFilter { RAW = 0, FIR = 1, FIX = 2, SCALED = 3, CALIBRATED = 4 };

// One reading of a stream: the components of an orientation quaternion, w the scalar part.
struct TiltValue {
    int32_t x = 0;
    int32_t y = 0;
    int32_t z = 0;
    int32_t w = 0;
};

// The eight message-interval slots of a sensor, two bytes each; passed by value.
struct TiltSensorMsgIntervals {
    uint8_t interval[8][2];
};
static_assert(sizeof(TiltSensorMsgIntervals) == 16, "eight pairs of bytes");

// What the settings read-out of a second-generation sensor is doing; 0 means nothing.
enum G2_OPERATION_MODE : int32_t {
    G2_OPERATION_NONE = 0,
    G2_OPERATION_READ_SETTINGS = 1
};

}  // namespace Sensors
