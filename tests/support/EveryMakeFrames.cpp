#include "EveryMakeFrames.h"

#include <cstring>

#include "MakerId.h"
#include "SensorTypes.h"

using namespace Sensors;

namespace {

std::vector<uint8_t> le(double v)
{
    std::vector<uint8_t> out(8);
    std::memcpy(out.data(), &v, 8);  // the bus and this host are both little-endian
    return out;
}

std::vector<uint8_t> le(float a, float b)
{
    std::vector<uint8_t> out(8);
    std::memcpy(out.data(), &a, 4);
    std::memcpy(out.data() + 4, &b, 4);
    return out;
}

}  // namespace

std::vector<TestFrame> everyMakeFrames()
{
    std::vector<TestFrame> frames;
    // --- the maker's protocol ---
    frames.push_back({makerId(3, 0, SDT_G1, 3), true, {100, 0, 0xFE, 0xFF, 0x2C, 0x01, 0x00, 0x80}});
    frames.push_back({makerId(7, 0, SDT_G1, 3), true, {0x2C, 0x01, 0x38, 0xFF, 0, 0, 0, 0}});
    frames.push_back({makerId(1, 1, SDT_SIMULATOR_CLIENT, 7), true, {1, 0}});  // message 257
    const double gnss[6] = {59.5, 17.25, 42.5, 1000.5, -250.25, 12.0};       // lat, lon, alt, x, y, z
    for (uint32_t msg = 1; msg <= 6; ++msg)
        frames.push_back({makerId(msg, 0, SDT_CAN_GNSS, 9), true, le(gnss[msg - 1])});
    frames.push_back({makerId(8, 0, SDT_CAN_GNSS, 9), true, {12, 0, 0, 0, 3, 0, 0, 0}});
    frames.push_back({makerId(1, 0, SDT_RAY_GAUGE, 4), true, {0x01, 0x00, 0xFA, 0x00}});
    frames.push_back({makerId(5, 0, SDT_KM7, 6), true, {0}});

    // --- NMEA 2000 heading, 10000 x 0.0001 rad ---
    frames.push_back({0x09F11280, true, {0, 0x10, 0x27, 0, 0, 0, 0, 0}});

    // --- Moba, the MDS2000 controller and a DSM500 unit ---
    frames.push_back({1, false, {1, 0, 0}});
    frames.push_back({303, false, {0x78, 0x56, 0x34, 0x12, 0x01, 0, 0, 0}});
    frames.push_back({562, true, {0x00, 10, 0x00, 0x19, 0xFF, 0xFF, 0xFF, 0xFF}});
    frames.push_back({562, true, {0x01, 30, 0x00, 0x01, 0x2A}});
    frames.push_back({110, false, {0}});
    frames.push_back({103, false, {0x78, 0x56, 0x34, 0x12, 0}});
    frames.push_back({170, false, {1, 0x0E, 0x10}});
    frames.push_back({100, false, le(1.5f, -2.25f)});
    frames.push_back({101, false, {0, 0, 0, 0, 0}});
    frames.push_back({104, false, {0, 0, 0, 0, 0, 0, 1}});
    frames.push_back({106, false, le(0.0f, 0.5f)});
    frames.push_back({0x70B, false, {5}});
    frames.push_back({0x18B, false, {0xE8, 0x03, 0xF4, 0x01, 0x00, 0x00, 60, 0x00}});

    // --- tiltrotators, joystick, encoder ---
    frames.push_back({0x0CF013A9, true, {0xE8, 0x03, 0x0C, 0xFE, 0, 0, 0xF0, 0}});
    frames.push_back({0x0CF014A9, true, {0, 0, 0x00, 0x2D, 0, 0xF0}});
    frames.push_back({0x0CFDD6A9, true, {0x90, 100, 0x01, 0, 0, 0x04, 0, 0}});
    frames.push_back({0x0CFF2ADC, true, {0x34, 0x08, 0x6C, 0x07, 0x54, 0x0B}});
    frames.push_back({0x18FFB930, true, {0x80, 0x7A, 0, 0, 0, 0, 0, 0}});
    frames.push_back({416, false, {0x00, 0x06, 0, 0}});

    // --- SICK DT500 and Sandvik TIM ---
    frames.push_back({46, false, {1, 0, 0, 0, 0x10, 0x27, 0, 0}});
    frames.push_back({1904, false, {1, 0x01, 0xD2, 0x04, 0xE1, 0x10}});
    frames.push_back({1904, false, {2, 0x00, 0x10, 0x00, 0x20, 0x00}});

    return frames;
}
