// Tiltrotators and the joystick: the decoded values of each are read back end to end
// (EveryMakeEndToEnd); here, faults, refusals and the texts a person reads.
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <tuple>

#include "EngconTiltrotatorSensor.h"
#include "Frames.h"
#include "LogCapture.h"
#include "RototiltSensor.h"
#include "SensorManager.h"
#include "SteelwristJoystickSensor.h"
#include "SteelwristRotationSensor.h"

using namespace Sensors;

namespace {

SensorManager* mgr() { return SensorManager::getInstance(); }

// J1939 identifier: priority 26-28 | PDU format 16-23 | PDU specific 8-15 | source 0-7.
uint32_t j1939Id(uint32_t priority, uint32_t pf, uint32_t ps, uint32_t sa)
{
    return priority << 26 | pf << 16 | ps << 8 | sa;
}

// First byte of a joystick axis: neutral bits 0-1 | negative 2-3 | positive 4-5 | position low bits 6-7;
// the second byte holds the position's high eight bits.
uint8_t axisLow(uint8_t neutral, uint8_t negative, uint8_t positive, uint16_t position)
{
    return static_cast<uint8_t>(neutral | negative << 2 | positive << 4 | (position & 3) << 6);
}
uint8_t axisHigh(uint16_t position) { return static_cast<uint8_t>(position >> 2); }

// Twelve 2-bit button states into data bytes 5-7, four per byte from bit 0 up.
_TGENERIC_CAN_FRAME buttons(uint32_t id, std::initializer_list<std::pair<int, uint8_t>> states)
{
    _TGENERIC_CAN_FRAME f = frame(id, {0, 0, 0, 0, 0, 0, 0, 0});
    for (const auto& bs : states)
        f.data[5 + bs.first / 4] |= static_cast<uint8_t>(bs.second << (2 * (bs.first % 4)));
    return f;
}

const uint32_t kBasic1 = 0x0CFDD6A9, kExtended1 = 0x0CFDD7A9, kBasic2 = 0x0CFDD8A9, kExtended2 = 0x0CFDD9A9;
const uint32_t kEngcon = j1939Id(3, 255, 185, 0x21);  // proprietary B 65465

}  // namespace

TEST(EngconTiltrotatorSensor, ReportsRotatorFaultsAndRefusesOtherFrames)
{
    EngconTiltrotatorSensor s(mgr(), 1, 131);
    parse(s, j1939Id(6, 255, 185, 0x80), {0x80, 0x7A, 0, 0, 0, 0, 0, 0}, 1100);  // 31360 from any source
    EXPECT_FALSE(parse(s, kEngcon, {0x00, 0x64, 0, 0, 0, 0, 0}, 1150));
    EXPECT_FALSE(parse(s, j1939Id(3, 255, 186, 0x21), {0x00, 0x64, 0, 0, 0, 0, 0, 0}, 1160));
    EXPECT_EQ(s.getRotationAngleRaw(), 31360);

    // Status in the low two bits of byte 3: not ok, angle kept; each fault named on the next pass.
    const struct { uint8_t byte3; const wchar_t* text; } faults[] = {
        {0x05, L"ENGCON_STATUS_CAN_FAULT"}, {0x02, L"ENGCON_STATUS_SHORT_CIRCUIT"},
        {0xFF, L"ENGCON_STATUS_DATA_ERROR"}};
    for (const auto& fault : faults) {
        parse(s, kEngcon, {0, 0, 0, fault.byte3, 0, 0, 0, 0}, 1400);
        EXPECT_FALSE(s.isSensorOk());
        EXPECT_EQ(s.getRotationAngleRaw(), 31360);
        s.Update(0, 1500);
        EXPECT_EQ(s.getStatusText(), wxString(fault.text));
    }
    parse(s, kEngcon, {0x00, 0x64, 0, 0x04, 0, 0, 0, 0}, 1600);  // healthy again: the text clears
    s.Update(0, 1700);
    EXPECT_EQ(std::make_tuple(s.isSensorOk(), s.getStatusText().IsEmpty()), std::make_tuple(true, true));
    s.Update(0, 1600 + 1501);  // silence clears the readings
    EXPECT_EQ(s.getRotationAngleRaw(), 0);
}

TEST(RototiltSensor, NegativeOffsetAnglesAndOtherIdentifiers)
{
    RototiltSensor s(mgr(), 1, 131);
    parse(s, 0x0CFF2ADC, {0, 0, 0, 0, 0x4C, 0x04}, 600);  // 0 and 1100
    EXPECT_EQ(std::make_tuple(s.GetRotationAngle(), s.GetFirstAngle()), std::make_tuple(-90.0, -200.0));
    EXPECT_FALSE(parse(s, 0x0CFF2ADD, {0, 0, 0, 0, 0x54, 0x0B}, 700));
    EXPECT_EQ(s.GetRotationAngle(), -90.0);
    s.Update(0, 600 + 1501);
    EXPECT_EQ(std::make_tuple(s.GetIsOk(), s.GetRotationAngle()), std::make_tuple(false, 0.0));
}

// Ticks are unsigned: the top of the range is almost 512 degrees, not a small negative angle. The upper
// half of byte 5 says whether the reading is valid; five bytes are too few.
TEST(SteelwristRotationSensor, UnsignedTicksValidityAndShortFrames)
{
    SteelwristRotationSensor s(mgr(), 1, 131);
    EXPECT_FALSE(parse(s, 0x0CF014A9, {0, 0, 0xFF, 0xFF, 0}, 100));
    EXPECT_TRUE(parse(s, 0x0CF014A9, {0, 0, 0xFF, 0xFF, 0, 0x10}, 200));
    EXPECT_EQ(std::make_pair(s.getRotationAngle(), s.getSensorStatus()),
              std::make_pair(511.9921875, SteelwristRotationSensor::kStatusValid));
    parse(s, 0x0CF014A9, {0, 0, 0x00, 0x2D, 0, 0x0F}, 300);
    EXPECT_EQ(s.getSensorStatus(), SteelwristRotationSensor::kStatusNotValid);
}

TEST(SteelwristJoystickSensor, ExtendedAxesOfTheSecondJoystick)
{
    SteelwristJoystickSensor s(mgr(), 1, 140);
    EXPECT_TRUE(parse(s, kExtended2, {axisLow(1, 2, 3, 2), axisHigh(2), 0, 0, 0x0F, 0, 0, 0}, 110));
    EXPECT_EQ(std::make_tuple(s.getExtendedAxes(2).x.position, s.getExtendedAxes(2).status2, s.getAxes(2).x.position),
              std::make_tuple(2, 3, 0));
    EXPECT_FALSE(parse(s, 0x0CFDDAA9, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 130));
}

TEST(SteelwristJoystickSensor, LogsEachButtonChangeOnce)
{
    LogCapture cap;
    SteelwristJoystickSensor s(mgr(), 1, 140);
    // Button 3 of joystick 1 pressed: one line; the same frame again: nothing.
    _TGENERIC_CAN_FRAME press = buttons(kBasic1, {{3, 1}});
    s.Parse(&press, 100);
    s.Parse(&press, 110);
    // Several changes in one frame, on the other joystick, in button order.
    _TGENERIC_CAN_FRAME other = buttons(kBasic2, {{0, 2}, {4, 1}, {11, 3}});
    s.Parse(&other, 120);
    // Release; extended messages carry no buttons.
    parse(s, kBasic1, {0, 0, 0, 0, 0, 0, 0, 0}, 130);
    parse(s, kExtended1, {0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF}, 140);
    // A timeout forgets the states, so a held button is reported again afterwards.
    s.Parse(&press, 200);
    s.Update(0, 200 + 5001);
    EXPECT_EQ(s.getButtonState(2, 11), SteelwristJoystickSensor::BUTTON_UP);
    s.Parse(&press, 6000);

    std::vector<std::string> lines;
    for (const auto& m : cap.messages())
        lines.push_back(m.function + ": " + m.message);
    EXPECT_EQ(lines, (std::vector<std::string>{"Parse: J1 Button 3 Down", "Parse: J2 Button 0 ERROR",
                                               "Parse: J2 Button 4 Down", "Parse: J2 Button 11 N/A",
                                               "Parse: J1 Button 3 Up", "Parse: J1 Button 3 Down",
                                               "Parse: J1 Button 3 Down"}));
    EXPECT_EQ(cap.count(WispLogLevels::Information, "J1 Button 3 Up"), 1);
    EXPECT_EQ(std::make_tuple(s.getButtonState(0, 0), s.getButtonState(1, 12)),
              std::make_tuple(SteelwristJoystickSensor::BUTTON_NA, SteelwristJoystickSensor::BUTTON_NA));
}
