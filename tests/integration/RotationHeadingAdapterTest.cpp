#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>

#include "EngconTiltrotatorSensor.h"
#include "NMEA2KHeadingSensor.h"
#include "NMEA2KPositionSensor.h"
#include "QCANDevice.h"
#include "RotationSensor.h"
#include "RototiltSensor.h"
#include "SensorManager.h"
#include "SteelwristJoystickSensor.h"
#include "TestAdapter.h"

using namespace Sensors;

namespace {

_TGENERIC_CAN_FRAME frame(uint32_t id, bool ext, std::initializer_list<uint8_t> data)
{
    _TGENERIC_CAN_FRAME f;
    std::memset(&f, 0, sizeof f);
    f.header.id = id;
    f.header.ext = ext ? 1 : 0;
    f.header.dlc = static_cast<uint16_t>(data.size());
    std::copy(data.begin(), data.end(), f.data);
    return f;
}

// A sensor of class T entered in the adapter's list, as a frame parser would create it.
template <class T>
T* addSensor(TestAdapter& a, unsigned char id)
{
    T* sensor = new T(SensorManager::getInstance(), a.cuaId(), id);
    if (!a.device()->addSensor(sensor)) {
        delete sensor;
        return nullptr;
    }
    return sensor;
}

// Parses under the sensor's lock, stamped with the adapter's clock, as the receive path does.
void parseLocked(Sensor* sensor, _TGENERIC_CAN_FRAME f)
{
    sensor->LockSensor();
    sensor->Parse(&f, SensorManager::getTickCount());
    sensor->UnlockSensor();
}

}  // namespace

TEST(RotationHeadingAdapter, RotationSensorReachesTheHostAsACopy)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    RotationSensor* live = addSensor<RotationSensor>(a, 118);
    ASSERT_NE(live, nullptr);
    parseLocked(live, frame(170, false, {0x01, 0x0E, 0x10}));

    RotationSensor copy = SensorManager::getInstance()->getRotationSensor(118, a.cuaId());
    double rotation = 0;
    copy.getRotation(rotation);
    EXPECT_DOUBLE_EQ(rotation, 360.0);
    EXPECT_EQ(copy.getRaw(), 3600);
    EXPECT_TRUE(copy.getOk());
    EXPECT_EQ(copy.getMessageCount(), 1);
    EXPECT_TRUE(copy.isActive());
    EXPECT_EQ(copy.getCuaId(), a.cuaId());

    // The copy is detached: a later frame changes only the live sensor.
    parseLocked(live, frame(170, false, {0x01, 0x00, 0x0A}));
    copy.getRotation(rotation);
    EXPECT_DOUBLE_EQ(rotation, 360.0);
    SensorManager::getInstance()->getRotationSensor(118, a.cuaId()).getRotation(rotation);
    EXPECT_DOUBLE_EQ(rotation, 1.0);

    // No such sensor: a fresh object without readings.
    RotationSensor none = SensorManager::getInstance()->getRotationSensor(119, a.cuaId());
    EXPECT_EQ(none.getSensorId(), 119);
    EXPECT_EQ(none.getMessageCount(), 0);
    EXPECT_FALSE(none.getOk());
}

TEST(RotationHeadingAdapter, NMEA2KHeadingAndRapidPosition)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    NMEA2KHeadingSensor* heading = addSensor<NMEA2KHeadingSensor>(a, 200);
    NMEA2KPositionSensor* position = addSensor<NMEA2KPositionSensor>(a, 201);
    ASSERT_NE(heading, nullptr);
    ASSERT_NE(position, nullptr);

    parseLocked(heading, frame(0x09F11280, true, {0x00, 0x9C, 0x99, 0xFF, 0x7F, 0xF6, 0xF5, 0xFD}));
    // A rapid position update from a real receiver.
    parseLocked(position, frame(0x09F8017F, true, {0xE8, 0xAC, 0x51, 0x19, 0xBE, 0xAB, 0x6D, 0xD5}));

    NMEA2KHeadingSensor h = SensorManager::getInstance()->getNMEA2KHeadingSensor(200, a.cuaId());
    EXPECT_TRUE(h.hasHeading());
    EXPECT_DOUBLE_EQ(h.getHeading(), 3.9324);
    EXPECT_TRUE(h.isSensorOk());

    NMEA2KPositionSensor p = SensorManager::getInstance()->getNMEA2KPositionSensor(201, a.cuaId());
    EXPECT_TRUE(p.hasPosition(true));
    EXPECT_FALSE(p.hasPosition(false));
    EXPECT_DOUBLE_EQ(p.getLat(true), 424783080 * 1e-7);
    EXPECT_DOUBLE_EQ(p.getLon(true), -714232898 * 1e-7);
}

TEST(RotationHeadingAdapter, TiltrotatorsSharingAnIdAndTheJoystick)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    // Engcon and Rototilt both use id 131; the device type keeps them apart.
    EngconTiltrotatorSensor* engcon = addSensor<EngconTiltrotatorSensor>(a, 131);
    RototiltSensor* rototilt = addSensor<RototiltSensor>(a, 131);
    SteelwristJoystickSensor* joystick = addSensor<SteelwristJoystickSensor>(a, 140);
    ASSERT_NE(engcon, nullptr);
    ASSERT_NE(rototilt, nullptr);
    ASSERT_NE(joystick, nullptr);

    parseLocked(engcon, frame(0x0CFFB921, true, {0x80, 0x7A, 0, 0, 0, 0, 0, 0}));
    parseLocked(rototilt, frame(0x0CFF2ADC, true, {0xD0, 0x07, 0xD0, 0x07, 0x54, 0x0B}));
    parseLocked(joystick, frame(0x0CFDD6A9, true, {0, 0, 0, 0, 0, 0x40, 0, 0}));  // button 3 down

    EngconTiltrotatorSensor e = SensorManager::getInstance()->getEngconTiltrotatorSensor(131, a.cuaId());
    EXPECT_EQ(e.getDeviceType(), SDT_UPROP);
    EXPECT_EQ(e.getRotationAngleRaw(), 31360);
    EXPECT_DOUBLE_EQ(e.getRotationAngle(), 44.99609375);

    RototiltSensor r = SensorManager::getInstance()->getRototiltSensor(131, a.cuaId());
    EXPECT_EQ(r.getDeviceType(), SDT_ROTOTILT);
    EXPECT_TRUE(r.GetIsOk());
    EXPECT_DOUBLE_EQ(r.GetRotationAngle(), 90.0);

    SteelwristJoystickSensor j = SensorManager::getInstance()->getSteelwristJoystickSensor(140, a.cuaId());
    EXPECT_EQ(j.getButtonState(1, 3), SteelwristJoystickSensor::BUTTON_DOWN);
    EXPECT_EQ(j.getMessageCount(), 1);
}
