#pragma once

// Sensor kinds and the sensor-summary records handed to the host.

#include <cstdint>

#include <wx/string.h>

namespace Sensors {

// The kind of a sensor; stored in 8 bits in the sensor, passed as a 32-bit integer elsewhere.
enum SensorDeviceType : int32_t {
    SDT_SIMULATOR_CLIENT = 5,
    SDT_CAN_GNSS = 11,
    SDT_DSM500_UNIT = 14,
    SDT_G1 = 16,
    SDT_DT500 = 46,
    SDT_RAY_GAUGE = 67,
    SDT_KM7 = 68,
    SDT_LASERMAST = 69,
    SDT_MOBA_PROTOCOL = 91,
    SDT_QUILLARD_SPARE = 127,
    SDT_HMI = 140,
    SDT_CONTROLLER = 141,
    SDT_SLOPE = 142,
    SDT_DSM500_PAIR = 154,
    SDT_LASER = 155,
    SDT_DEPTH = 156,
    SDT_HEADING = 157,
    SDT_ROTATION = 158,
    SDT_STEELWRIST_SLOPE = 160,
    SDT_STEELWRIST_BLADE = 161,
    SDT_JOYSTICK = 162,
    SDT_UPROP = 168,
    SDT_CANOPEN_ENCODER = 169,
    SDT_ROTOTILT = 170,
    SDT_SANDVIK_TIM = 171,
    SDT_NMEA2K_HEADING = 200,
    SDT_NMEA2K_POSITION = 201
};

// Summary of one sensor made by the manager for the host; freed with deleteSensorsInfo.
struct SensorInfo {
    uint8_t sensorId = 0;
    uint32_t deviceType = 0;
    uint8_t cuaId = 0;
    uint64_t lastMessageTime = 0;
    uint32_t errorCount = 0;
};

// One record of an adapter's sensor-info cache.
struct _SensorInfo {
    uint8_t sensorId = 0;
    uint32_t deviceType = 0;
    uint8_t cuaId = 0;
    uint64_t lastMessageTime = 0;
    uint32_t errorCount = 0;
    wxString statusText;
    bool sensorOk = false;
};

}  // namespace Sensors
