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

TEST(RotationHeadingAdapter, RotationSensorReachesTheHostAsADetachedCopy)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    RotationSensor* live = addSensor<RotationSensor>(a, 118);
    ASSERT_NE(live, nullptr);
    parseLocked(live, frame(170, false, {0x01, 0x0E, 0x10}));
    RotationSensor copy = SensorManager::getInstance()->getRotationSensor(118, a.cuaId());
    EXPECT_EQ(copy.getRaw(), 3600);
    EXPECT_EQ(copy.getCuaId(), a.cuaId());

    // A later frame changes only the live sensor.
    parseLocked(live, frame(170, false, {0x01, 0x00, 0x0A}));
    EXPECT_EQ(copy.getRaw(), 3600);
    EXPECT_EQ(SensorManager::getInstance()->getRotationSensor(118, a.cuaId()).getRaw(), 10);

    // No such sensor: a fresh object without readings.
    RotationSensor none = SensorManager::getInstance()->getRotationSensor(119, a.cuaId());
    EXPECT_EQ(none.getSensorId(), 119);
    EXPECT_EQ(none.getMessageCount(), 0);
}

TEST(RotationHeadingAdapter, TypedGettersFindEachSensorByTypeAndId)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    SensorManager* manager = SensorManager::getInstance();
    NMEA2KHeadingSensor* heading = addSensor<NMEA2KHeadingSensor>(a, 200);
    NMEA2KPositionSensor* position = addSensor<NMEA2KPositionSensor>(a, 201);
    // Engcon and Rototilt both use id 131; the device type keeps them apart.
    EngconTiltrotatorSensor* engcon = addSensor<EngconTiltrotatorSensor>(a, 131);
    RototiltSensor* rototilt = addSensor<RototiltSensor>(a, 131);
    SteelwristJoystickSensor* joystick = addSensor<SteelwristJoystickSensor>(a, 140);
    ASSERT_TRUE(heading && position && engcon && rototilt && joystick);

    parseLocked(heading, frame(0x09F11280, true, {0x00, 0x9C, 0x99, 0xFF, 0x7F, 0xF6, 0xF5, 0xFD}));
    parseLocked(position, frame(0x09F8017F, true, {0xE8, 0xAC, 0x51, 0x19, 0xBE, 0xAB, 0x6D, 0xD5}));
    parseLocked(engcon, frame(0x0CFFB921, true, {0x80, 0x7A, 0, 0, 0, 0, 0, 0}));
    parseLocked(rototilt, frame(0x0CFF2ADC, true, {0xD0, 0x07, 0xD0, 0x07, 0x54, 0x0B}));
    parseLocked(joystick, frame(0x0CFDD6A9, true, {0, 0, 0, 0, 0, 0x40, 0, 0}));  // button 3 down

    EXPECT_DOUBLE_EQ(manager->getNMEA2KHeadingSensor(200, a.cuaId()).getHeading(), 3.9324);
    EXPECT_DOUBLE_EQ(manager->getNMEA2KPositionSensor(201, a.cuaId()).getLat(true), 424783080 * 1e-7);
    EngconTiltrotatorSensor e = manager->getEngconTiltrotatorSensor(131, a.cuaId());
    EXPECT_EQ(e.getDeviceType(), SDT_UPROP);
    EXPECT_EQ(e.getRotationAngleRaw(), 31360);
    RototiltSensor r = manager->getRototiltSensor(131, a.cuaId());
    EXPECT_EQ(r.getDeviceType(), SDT_ROTOTILT);
    EXPECT_DOUBLE_EQ(r.GetRotationAngle(), 90.0);
    EXPECT_EQ(manager->getSteelwristJoystickSensor(140, a.cuaId()).getButtonState(1, 3),
              SteelwristJoystickSensor::BUTTON_DOWN);
}
