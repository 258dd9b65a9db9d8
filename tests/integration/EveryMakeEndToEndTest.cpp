// One frame of every make the plug-in knows, through a dummy adapter and the default parser chain,
// read back as the host reads it: typed copies from the manager, the sensor summaries and the XML.
// The decoding itself is the unit tests' concern; here one reading per getter shows that each
// getter hands out the sensor its make's frames reached.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "BoomHeadingSensor.h"
#include "CANopenEncoderSensor.h"
#include "DSM500SensorComponent.h"
#include "DT500Sensor.h"
#include "EngconTiltrotatorSensor.h"
#include "Frames.h"
#include "GenericPositionSensor.h"
#include "KM7.h"
#include "MDS2000IO.h"
#include "MobaCommProtocol.h"
#include "MobaDrillDepthSensor.h"
#include "NMEA2KHeadingSensor.h"
#include "RayGauge.h"
#include "RotationSensor.h"
#include "RototiltSensor.h"
#include "SandvikTIMSensor.h"
#include "SensorManager.h"
#include "SimulatorClientSensor.h"
#include "SlopeSensor.h"
#include "SteelwristJoystickSensor.h"
#include "SteelwristRotationSensor.h"
#include "SteelwristSlopeSensor.h"
#include "EveryMakeFrames.h"
#include "TestAdapter.h"
#include "TiltSensorG1.h"
#include "XmlOutline.h"

using namespace Sensors;

TEST(EveryMakeEndToEnd, EachMakeDecodesThroughTheDefaultChainAndReadsBackThroughItsGetter)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    SensorManager* m = SensorManager::getInstance();
    const int cua = a.cuaId();

    for (const TestFrame& f : everyMakeFrames())
        ASSERT_TRUE(a.receive(f.id, f.ext, f.data)) << std::hex << f.id;

    // Read back, maker's protocol.
    EXPECT_EQ(m->getTiltSensorG1(3, cua).getValue(FAST, RAW).y, -2);

    EXPECT_TRUE(m->getSimulatorClientSensor(7, cua).isSimulatorConnected());
    EXPECT_EQ(m->getGenericPositionSensor(9, cua).getLat(), 59.5);
    EXPECT_EQ(m->getRayGauge(4, cua).GetLastHitPosition(1), 250);

    EXPECT_TRUE(m->getKM7(6, cua).isActive());
    EXPECT_NEAR(m->getNMEA2KHeadingSensor(200, cua).getHeading(), 1.0, 1e-12);

    // Moba and friends.
    EXPECT_EQ(m->getMDS2000(90, cua).value303[0], 0x12345678u);

    MobaCommProtocol::ValueTable values = m->getMobaCommProtocol(91, cua).GetCopyOfValues();
    ASSERT_EQ(values.count(30), 1u);
    EXPECT_EQ(values.at(30).GetValue(), 42.0);

    // The depth unit decodes nothing; only the live object comes back marked active.
    EXPECT_TRUE(m->getMobaDrillDepthSensor(117, cua).isActive());

    EXPECT_EQ(m->getBoomHeadingSensor(118, cua).getHeadingRaw(), 0x12345678u);

    double degrees = 0;
    m->getRotationSensor(118, cua).getRotation(degrees);
    EXPECT_DOUBLE_EQ(degrees, 360.0);

    EXPECT_EQ(m->getSlopeSensor(120, cua).getSlopeX(), 1.5f);

    DSM500SensorComponent unit = m->getDSM500SensorComponent(11, cua);
    double distance = 0, second = 0;
    unsigned char quality = 0;
    EXPECT_EQ(unit.getDistance(distance, second, quality), DSM500_OK);
    EXPECT_DOUBLE_EQ(distance, 1.0);
    EXPECT_EQ(quality, 60);

    // Tiltrotators, joystick, encoder.
    EXPECT_DOUBLE_EQ(m->getSteeelwristSlopeSensor(130, cua).getAngle2(), -1.0);

    EXPECT_DOUBLE_EQ(m->getSteelwristRotationSensor(131, cua).getRotationAngle(), 90.0);

    EXPECT_EQ(m->getSteelwristJoystickSensor(140, cua).getAxes(1).x.position, 402);
    EXPECT_EQ(m->getRototiltSensor(131, cua).GetSecondAngle(), -10.0);

    EngconTiltrotatorSensor engcon = m->getEngconTiltrotatorSensor(131, cua);
    EXPECT_DOUBLE_EQ(engcon.getRotationAngle(), 44.99609375);  // (31360 - 0.5) / 128 - 200

    CANopenEncoderSensor encoder = m->getCANopenEncoderSensor(32, cua);
    EXPECT_EQ(encoder.getRotationPulseCount(), 1536);
    EXPECT_NEAR(encoder.getRotationAngle(1024, 1), std::acos(-1.0), 1e-12);

    // SICK and Sandvik.
    double metres = 0;
    EXPECT_TRUE(m->getDT500Sensor(46, cua).getDistance(metres));
    EXPECT_DOUBLE_EQ(metres, 1.0);

    EXPECT_EQ(m->getSandvikTIMSensor(117, cua).getDrilledHoleDepth(), 4321);

    // The summaries list exactly these sensors, each once, on this adapter.
    std::vector<SensorInfo*> infos = m->getSensorsInfo(cua);
    std::vector<std::pair<int, int>> listed;
    for (const SensorInfo* info : infos) {
        EXPECT_EQ(info->cuaId, cua);
        listed.emplace_back(info->sensorId, static_cast<int>(info->deviceType));
    }
    m->deleteSensorsInfo(infos);
    EXPECT_TRUE(infos.empty());
    std::vector<std::pair<int, int>> expected = {
        {3, SDT_G1}, {7, SDT_SIMULATOR_CLIENT}, {9, SDT_CAN_GNSS}, {4, SDT_RAY_GAUGE}, {6, SDT_KM7},
        {200, SDT_NMEA2K_HEADING}, {90, SDT_CONTROLLER}, {91, SDT_MOBA_PROTOCOL}, {117, SDT_DEPTH},
        {118, SDT_HEADING}, {118, SDT_ROTATION}, {120, SDT_SLOPE}, {11, SDT_DSM500_UNIT},
        {130, SDT_STEELWRIST_SLOPE}, {131, SDT_STEELWRIST_BLADE}, {140, SDT_JOYSTICK},
        {131, SDT_ROTOTILT}, {131, SDT_UPROP}, {32, SDT_CANOPEN_ENCODER}, {46, SDT_DT500}, {117, SDT_SANDVIK_TIM},
    };
    std::sort(listed.begin(), listed.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed, expected);

    // The XML holds one element per sensor, whatever its class, so that a host can store or parse it.
    std::string elements = "sensor";
    for (size_t i = 1; i < expected.size(); ++i)
        elements += " sensor";
    EXPECT_EQ(xmlOutline(std::string(m->ToXML(0, 0, 0).utf8_str())), elements);
    EXPECT_EQ(xmlOutline(std::string(m->ToXML(0, 0, cua).utf8_str())), elements);
    // A host asking for an id nobody sends gets a fresh object without readings.
    EXPECT_EQ(m->getDT500Sensor(47, cua).getMessageCount(), 0);
}
