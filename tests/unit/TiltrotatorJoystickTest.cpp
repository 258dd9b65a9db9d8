#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <memory>

#include "EngconTiltrotatorSensor.h"
#include "LogCapture.h"
#include "RototiltSensor.h"
#include "SensorManager.h"
#include "SteelwristJoystickSensor.h"
#include "SteelwristRotationSensor.h"

using namespace Sensors;

namespace {

SensorManager* mgr() { return SensorManager::getInstance(); }

_TGENERIC_CAN_FRAME frame(uint32_t id, std::initializer_list<uint8_t> data)
{
    _TGENERIC_CAN_FRAME f;
    std::memset(&f, 0, sizeof f);
    f.header.id = id;
    f.header.ext = 1;
    f.header.dlc = static_cast<uint16_t>(data.size());
    std::copy(data.begin(), data.end(), f.data);
    return f;
}

// J1939 identifier: priority 26-28 | PDU format 16-23 | PDU specific 8-15 | source 0-7.
uint32_t j1939Id(uint32_t priority, uint32_t pf, uint32_t ps, uint32_t sa)
{
    return (priority << 26) | (pf << 16) | (ps << 8) | sa;
}

// First byte of a joystick axis: neutral bits 0-1 | negative 2-3 | positive 4-5 | position low bits 6-7;
// the second byte holds the position's high eight bits.
uint8_t axisLow(uint8_t neutral, uint8_t negative, uint8_t positive, uint16_t position)
{
    return static_cast<uint8_t>(neutral | negative << 2 | positive << 4 | (position & 3) << 6);
}
uint8_t axisHigh(uint16_t position) { return static_cast<uint8_t>(position >> 2); }

// Twelve 2-bit button states into data bytes 5-7, four per byte from bit 0 up.
void putButtons(_TGENERIC_CAN_FRAME& f, std::initializer_list<std::pair<int, uint8_t>> states)
{
    for (const auto& bs : states)
        f.data[5 + bs.first / 4] |= static_cast<uint8_t>(bs.second << (2 * (bs.first % 4)));
}

const uint32_t kBasic1 = 0x0CFDD6A9, kExtended1 = 0x0CFDD7A9, kBasic2 = 0x0CFDD8A9, kExtended2 = 0x0CFDD9A9;

}  // namespace

TEST(EngconTiltrotatorSensor, DecodesAngleAndReportsRotatorFaults)
{
    EngconTiltrotatorSensor s(mgr(), 1, 131);
    EXPECT_EQ(s.GetErrorTimeoutTime(), 1500u);

    // Proprietary B 65465 from any source: 25600 is 0 degrees less half a bit.
    _TGENERIC_CAN_FRAME f = frame(j1939Id(3, 255, 185, 0x21), {0x00, 0x64, 0xAA, 0x00, 0, 0, 0, 0});
    EXPECT_TRUE(s.Parse(&f, 1000));
    EXPECT_EQ(s.getRotationAngleRaw(), 25600);
    EXPECT_DOUBLE_EQ(s.getRotationAngle(), -0.00390625);
    EXPECT_EQ(s.getStatusValue(), 0);
    EXPECT_TRUE(s.isSensorOk());

    f = frame(j1939Id(6, 255, 185, 0x80), {0x80, 0x7A, 0, 0, 0, 0, 0, 0});  // 31360
    s.Parse(&f, 1100);
    EXPECT_DOUBLE_EQ(s.getRotationAngle(), 44.99609375);

    // Wrong length or group: untouched, not counted.
    f = frame(j1939Id(3, 255, 185, 0x21), {0x00, 0x64, 0, 0, 0, 0, 0});
    EXPECT_FALSE(s.Parse(&f, 1150));
    f = frame(j1939Id(3, 255, 186, 0x21), {0x00, 0x64, 0, 0, 0, 0, 0, 0});
    EXPECT_FALSE(s.Parse(&f, 1160));
    EXPECT_EQ(s.getMessageCount(), 2);
    EXPECT_DOUBLE_EQ(s.getRotationAngle(), 44.99609375);

    // Status from the low two bits of byte 3 (5 is CAN fault): not ok, last angle kept.
    f = frame(j1939Id(3, 255, 185, 0x21), {0x00, 0x00, 0, 0x05, 0, 0, 0, 0});
    s.Parse(&f, 1200);
    EXPECT_EQ(s.getStatusValue(), 1);
    EXPECT_FALSE(s.isSensorOk());
    EXPECT_EQ(s.getRotationAngleRaw(), 31360);
    EXPECT_DOUBLE_EQ(s.getRotationAngle(), 44.99609375);
    s.Update(0, 1300);
    EXPECT_EQ(s.getStatusText(), wxString(wxT("ENGCON_STATUS_CAN_FAULT")));

    const struct {
        uint8_t byte3;
        const wchar_t* text;
    } faults[] = {{0x02, L"ENGCON_STATUS_SHORT_CIRCUIT"}, {0xFF, L"ENGCON_STATUS_DATA_ERROR"}};
    for (const auto& fault : faults) {
        f = frame(j1939Id(3, 255, 185, 0x21), {0, 0, 0, fault.byte3, 0, 0, 0, 0});
        s.Parse(&f, 1400);
        s.Update(0, 1500);
        EXPECT_EQ(s.getStatusText(), wxString(fault.text));
    }

    // Healthy again: the status text clears.
    f = frame(j1939Id(3, 255, 185, 0x21), {0x00, 0x64, 0, 0x04, 0, 0, 0, 0});
    s.Parse(&f, 1600);
    s.Update(0, 1700);
    EXPECT_TRUE(s.isSensorOk());
    EXPECT_TRUE(s.getStatusText().IsEmpty());

    // Silence clears the readings.
    s.Update(0, 1600 + 1501);
    EXPECT_EQ(s.getRotationAngleRaw(), 0);
    EXPECT_EQ(s.getRotationAngle(), 0.0);
}

TEST(EngconTiltrotatorSensor, SPN3331EncodeDecode)
{
    EXPECT_EQ(EngconTiltrotatorSensor::encodeSPN3331(0.0), 25600);
    EXPECT_DOUBLE_EQ(EngconTiltrotatorSensor::decodeSPN3331(25600), -0.00390625);
    EXPECT_DOUBLE_EQ(EngconTiltrotatorSensor::decodeSPN3331(0), -200.00390625);
    EXPECT_DOUBLE_EQ(EngconTiltrotatorSensor::decodeSPN3331(65535), 311.98828125);

    // Decoding subtracts half a bit that encoding does not add back: a raw value comes back one
    // lower, and an angle comes back between half a bit and one and a half bits lower.
    for (unsigned raw : {1u, 2u, 12345u, 25600u, 65535u})
        EXPECT_EQ(EngconTiltrotatorSensor::encodeSPN3331(EngconTiltrotatorSensor::decodeSPN3331(raw)), raw - 1) << raw;
    for (double angle : {-199.0, -90.3, 0.0, 0.001, 45.0, 179.99, 311.0}) {
        const double back = EngconTiltrotatorSensor::decodeSPN3331(EngconTiltrotatorSensor::encodeSPN3331(angle));
        EXPECT_LE(back, angle - 0.5 / 128) << angle;
        EXPECT_GT(back, angle - 1.5 / 128) << angle;
    }

    // Truncation, not rounding; then wrap-around into 16 bits.
    EXPECT_EQ(EngconTiltrotatorSensor::encodeSPN3331(0.0078), 25600);
    EXPECT_EQ(EngconTiltrotatorSensor::encodeSPN3331(0.0079), 25601);
    EXPECT_EQ(EngconTiltrotatorSensor::encodeSPN3331(-200.0), 0);
    EXPECT_EQ(EngconTiltrotatorSensor::encodeSPN3331(-200.004), 0);  // -0.5 bits cut towards zero
    EXPECT_EQ(EngconTiltrotatorSensor::encodeSPN3331(-201.0), 65536 - 128);
    EXPECT_EQ(EngconTiltrotatorSensor::encodeSPN3331(311.9921875), 65535);
    EXPECT_EQ(EngconTiltrotatorSensor::encodeSPN3331(312.0), 0);
    EXPECT_EQ(EngconTiltrotatorSensor::encodeSPN3331(std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST(RototiltSensor, DecodesTiltrotatorOffsetAngles)
{
    RototiltSensor s(mgr(), 1, 131);
    EXPECT_EQ(s.GetErrorTimeoutTime(), 1500u);
    EXPECT_FALSE(s.GetIsOk());

    // u0 = 2005, u1 = 1995, u2 = 2900 (little-endian).
    _TGENERIC_CAN_FRAME f = frame(0x0CFF2ADC, {0xD5, 0x07, 0xCB, 0x07, 0x54, 0x0B});
    EXPECT_TRUE(s.Parse(&f, 500));
    EXPECT_TRUE(s.GetIsOk());
    EXPECT_DOUBLE_EQ(s.GetFirstAngle(), 0.5);
    EXPECT_DOUBLE_EQ(s.GetSecondAngle(), -0.5);
    EXPECT_DOUBLE_EQ(s.GetRotationAngle(), 90.0);

    f = frame(0x0CFF2ADC, {0, 0, 0, 0, 0x4C, 0x04});  // 1100
    s.Parse(&f, 600);
    EXPECT_DOUBLE_EQ(s.GetRotationAngle(), -90.0);
    EXPECT_DOUBLE_EQ(s.GetFirstAngle(), -200.0);

    f = frame(0x0CFF2ADD, {0, 0, 0, 0, 0x54, 0x0B});
    EXPECT_FALSE(s.Parse(&f, 700));
    EXPECT_EQ(s.getMessageCount(), 2);
    EXPECT_DOUBLE_EQ(s.GetRotationAngle(), -90.0);

    s.Update(0, 600 + 1501);
    EXPECT_FALSE(s.GetIsOk());
    EXPECT_EQ(s.GetRotationAngle(), 0.0);
}

TEST(SteelwristRotationSensor, DecodesTicksAndValidity)
{
    SteelwristRotationSensor s(mgr(), 1, 131);

    _TGENERIC_CAN_FRAME f = frame(0x0CF014A9, {0, 0, 0x00, 0x2D, 0});
    EXPECT_FALSE(s.Parse(&f, 100));  // five bytes are too few
    EXPECT_EQ(s.getMessageCount(), 0);

    f = frame(0x0CF014A9, {0, 0, 0x00, 0x2D, 0, 0x10});
    EXPECT_TRUE(s.Parse(&f, 200));
    EXPECT_EQ(s.getRotationTicks(), 11520);
    EXPECT_DOUBLE_EQ(s.getRotationAngle(), 90.0);
    EXPECT_EQ(s.getSensorStatus(), SteelwristRotationSensor::kStatusValid);

    // Upper half of byte 5 clear: not valid. Ticks are unsigned.
    f = frame(0x0CF014A9, {0, 0, 0xFF, 0xFF, 0, 0x0F, 0, 0});
    s.Parse(&f, 300);
    EXPECT_EQ(s.getRotationTicks(), 65535);
    EXPECT_DOUBLE_EQ(s.getRotationAngle(), 511.9921875);
    EXPECT_EQ(s.getSensorStatus(), SteelwristRotationSensor::kStatusNotValid);

    // The identifier has bits 15-17 clear, so its maker view decodes alike.
    f = frame(0x0CF014A9, {0, 0, 0x80, 0x00, 0, 0xF0});
    std::unique_ptr<_TQUIL1G5_CAN_FRAME> q(SensorManager::genericFrame2Quil_copy(f));
    EXPECT_TRUE(s.Parse(q.get(), 400));
    EXPECT_EQ(s.getRotationTicks(), 128);
    EXPECT_DOUBLE_EQ(s.getRotationAngle(), 1.0);
    EXPECT_EQ(s.getMessageCount(), 3);

    s.Clean();
    EXPECT_EQ(s.getRotationTicks(), 0);
    EXPECT_EQ(s.getRotationAngle(), 0.0);
}

TEST(SteelwristJoystickSensor, DecodesAxesOfBothJoysticks)
{
    SteelwristJoystickSensor s(mgr(), 1, 140);

    // Joystick 1: X fully right (1023), Y 513 to the negative side, status fields 2 and 1.
    _TGENERIC_CAN_FRAME f = frame(kBasic1, {axisLow(0, 0, 1, 1023), axisHigh(1023), axisLow(0, 1, 0, 513), axisHigh(513),
                                            0x06, 0, 0, 0});
    EXPECT_TRUE(s.Parse(&f, 100));
    SteelwristJoystickSensor::AxisGroup j1 = s.getAxes(1);
    EXPECT_EQ(j1.x.neutral, 0);
    EXPECT_EQ(j1.x.negative, 0);
    EXPECT_EQ(j1.x.positive, 1);
    EXPECT_EQ(j1.x.position, 1023);
    EXPECT_EQ(j1.y.negative, 1);
    EXPECT_EQ(j1.y.positive, 0);
    EXPECT_EQ(j1.y.position, 513);
    EXPECT_EQ(j1.status1, 2);
    EXPECT_EQ(j1.status2, 1);
    EXPECT_EQ(s.getAxes(2).x.position, 0);

    // Joystick 2 extended: only its further group changes.
    f = frame(kExtended2, {axisLow(1, 2, 3, 2), axisHigh(2), axisLow(3, 3, 3, 1000), axisHigh(1000), 0x0F, 0, 0, 0});
    EXPECT_TRUE(s.Parse(&f, 110));
    SteelwristJoystickSensor::AxisGroup e2 = s.getExtendedAxes(2);
    EXPECT_EQ(e2.x.neutral, 1);
    EXPECT_EQ(e2.x.negative, 2);
    EXPECT_EQ(e2.x.positive, 3);
    EXPECT_EQ(e2.x.position, 2);
    EXPECT_EQ(e2.y.position, 1000);
    EXPECT_EQ(e2.status1, 3);
    EXPECT_EQ(e2.status2, 3);
    EXPECT_EQ(s.getAxes(2).y.position, 0);
    EXPECT_EQ(s.getExtendedAxes(1).y.position, 0);

    f = frame(kExtended1, {0, axisHigh(400), 0, 0, 0, 0, 0, 0});
    s.Parse(&f, 120);
    EXPECT_EQ(s.getExtendedAxes(1).x.position, 400);
    EXPECT_EQ(s.getAxes(1).x.position, 1023);

    f = frame(0x0CFDDAA9, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_FALSE(s.Parse(&f, 130));
    EXPECT_EQ(s.getMessageCount(), 3);
    EXPECT_EQ(s.getExtendedAxes(3).x.position, 0);

    EXPECT_EQ(s.PrintPosition(), wxString(wxT("J1 X: 1023 ----------|---------+\n"
                                              "J1 Y: -513 -----+----|----------\n"
                                              "J2 X: 0 ----------+----------\n"
                                              "J2 Y: 0 ----------+----------\n")));
}

TEST(SteelwristJoystickSensor, LogsEachButtonChangeOnce)
{
    LogCapture cap;
    SteelwristJoystickSensor s(mgr(), 1, 140);

    // Button 3 of joystick 1 pressed: one line; the same frame again: nothing.
    _TGENERIC_CAN_FRAME press = frame(kBasic1, {0, 0, 0, 0, 0, 0, 0, 0});
    putButtons(press, {{3, 1}});
    s.Parse(&press, 100);
    EXPECT_EQ(s.getButtonState(1, 3), SteelwristJoystickSensor::BUTTON_DOWN);
    s.Parse(&press, 110);
    ASSERT_EQ(cap.messages().size(), 1u);
    EXPECT_EQ(cap.count(WispLogLevels::Information, "J1 Button 3 Down"), 1);
    EXPECT_EQ(cap.messages()[0].function, "Parse");

    // Several changes in one frame, on the other joystick, in button order.
    cap.clear();
    _TGENERIC_CAN_FRAME other = frame(kBasic2, {0, 0, 0, 0, 0, 0, 0, 0});
    putButtons(other, {{0, 2}, {4, 1}, {11, 3}});
    s.Parse(&other, 120);
    auto msgs = cap.messages();
    ASSERT_EQ(msgs.size(), 3u);
    EXPECT_EQ(msgs[0].message, "J2 Button 0 ERROR");
    EXPECT_EQ(msgs[1].message, "J2 Button 4 Down");
    EXPECT_EQ(msgs[2].message, "J2 Button 11 N/A");
    EXPECT_EQ(s.getButtonState(2, 11), SteelwristJoystickSensor::BUTTON_NA);
    EXPECT_EQ(s.getButtonState(1, 3), SteelwristJoystickSensor::BUTTON_DOWN);

    // Release; extended messages carry no buttons.
    cap.clear();
    _TGENERIC_CAN_FRAME release = frame(kBasic1, {0, 0, 0, 0, 0, 0, 0, 0});
    s.Parse(&release, 130);
    _TGENERIC_CAN_FRAME ext = frame(kExtended1, {0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF});
    s.Parse(&ext, 140);
    ASSERT_EQ(cap.messages().size(), 1u);
    EXPECT_EQ(cap.count(WispLogLevels::Information, "J1 Button 3 Up"), 1);
    EXPECT_EQ(s.getButtonState(1, 5), SteelwristJoystickSensor::BUTTON_UP);

    // A timeout forgets the states, so a held button is reported again afterwards.
    s.Parse(&press, 200);
    cap.clear();
    s.Update(0, 200 + 5001);
    EXPECT_EQ(s.getButtonState(1, 3), SteelwristJoystickSensor::BUTTON_UP);
    EXPECT_EQ(s.getButtonState(2, 11), SteelwristJoystickSensor::BUTTON_UP);
    s.Parse(&press, 6000);
    EXPECT_EQ(cap.count(WispLogLevels::Information, "J1 Button 3 Down"), 1);
    EXPECT_EQ(s.getButtonState(0, 0), SteelwristJoystickSensor::BUTTON_NA);
    EXPECT_EQ(s.getButtonState(1, 12), SteelwristJoystickSensor::BUTTON_NA);
}
