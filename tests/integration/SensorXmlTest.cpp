// The XML that the adapter and the manager hand to the host: one element per sensor, whatever
// the sensor's class, so that a host can store or parse it.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "BoomHeadingSensor.h"
#include "CANopenEncoderSensor.h"
#include "DSM500Sensor.h"
#include "DSM500SensorComponent.h"
#include "DT500Sensor.h"
#include "EngconTiltrotatorSensor.h"
#include "GenericPositionSensor.h"
#include "KM7.h"
#include "MDS2000IO.h"
#include "MobaCommProtocol.h"
#include "MobaDrillDepthSensor.h"
#include "NMEA2KHeadingSensor.h"
#include "NMEA2KPositionSensor.h"
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
#include "TestAdapter.h"
#include "TiltSensorG1.h"
#include "TiltSensorG2.h"
#include "XmlOutline.h"

using namespace Sensors;

namespace {

// One sensor of every class, each with its own id (1 upward).
std::vector<Sensor*> oneOfEveryClass(SensorManager* m, int cua)
{
    using Make = std::function<Sensor*(unsigned char)>;
    const std::vector<Make> makes = {
        [&](unsigned char id) { return new Sensor(m, cua, id, 0); },
        [&](unsigned char id) { return new QuillardSensor(m, cua, id, SDT_G1); },
        [&](unsigned char id) { return new TiltSensor(m, cua, id); },
        [&](unsigned char id) { return new TiltSensorG1(m, cua, id); },
        [&](unsigned char id) { return new TiltSensorG2(m, cua, id); },
        [&](unsigned char id) { return new SlopeSensor(m, cua, id); },
        [&](unsigned char id) { return new MDS2000IO(m, cua, id); },
        [&](unsigned char id) { return new SteelwristSlopeSensor(m, cua, id); },
        [&](unsigned char id) { return new RotationSensor(m, cua, id); },
        [&](unsigned char id) { return new CANopenEncoderSensor(m, cua, id); },
        [&](unsigned char id) { return new BoomHeadingSensor(m, cua, id); },
        [&](unsigned char id) { return new NMEA2KHeadingSensor(m, cua, id); },
        [&](unsigned char id) { return new NMEA2KPositionSensor(m, cua, id); },
        [&](unsigned char id) { return new GenericPositionSensor(m, cua, id); },
        [&](unsigned char id) { return new EngconTiltrotatorSensor(m, cua, id); },
        [&](unsigned char id) { return new RototiltSensor(m, cua, id); },
        [&](unsigned char id) { return new SteelwristRotationSensor(m, cua, id); },
        [&](unsigned char id) { return new SteelwristJoystickSensor(m, cua, id); },
        [&](unsigned char id) { return new MobaCommProtocol(m, cua, id); },
        [&](unsigned char id) { return new MobaDrillDepthSensor(m, cua, id); },
        [&](unsigned char id) { return new RayGauge(m, cua, id); },
        [&](unsigned char id) { return new KM7(m, cua, id); },
        [&](unsigned char id) { return new DT500Sensor(m, cua, id); },
        [&](unsigned char id) { return new DSM500SensorComponent(m, cua, id); },
        [&](unsigned char id) { return new DSM500Sensor(m, cua, id); },
        [&](unsigned char id) { return new SandvikTIMSensor(m, cua, id); },
        [&](unsigned char id) { return new SimulatorClientSensor(m, cua, id); },
    };
    std::vector<Sensor*> out;
    for (size_t i = 0; i < makes.size(); ++i)
        out.push_back(makes[i](static_cast<unsigned char>(i + 1)));
    return out;
}

std::string elements(const std::string& name, size_t n)
{
    std::string out;
    for (size_t i = 0; i < n; ++i)
        out += (i ? " " : "") + name;
    return out;
}

std::string utf8(const wxString& s)
{
    return std::string(s.utf8_str());
}

}  // namespace

TEST(SensorXml, AdapterAndManagerXmlWithEveryClassIsOneElementPerSensor)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    SensorManager* m = SensorManager::getInstance();
    const std::vector<Sensor*> sensors = oneOfEveryClass(m, a.cuaId());
    for (Sensor* s : sensors)
        a.device()->addSensor(s);
    ASSERT_EQ(a.device()->getSensorCount(), static_cast<int>(sensors.size()));

    // The two tilt classes without readings of their own give no XML at all.
    const std::string expected = elements("sensor", sensors.size() - 2);
    EXPECT_EQ(xmlOutline(utf8(a.device()->ToXML(0, 0))), expected);
    EXPECT_EQ(xmlOutline(utf8(m->ToXML(0, 0, 0))), expected);
    EXPECT_EQ(xmlOutline(utf8(m->ToXML(0, 0, a.cuaId()))), expected);
    // With every detail asked for, the first generation tilt sensor nests its streams.
    EXPECT_EQ(xmlOutline(utf8(m->ToXML(0, 0xF80, 0))),
              elements("sensor", 2) + " sensor(speed speed) " + elements("sensor", sensors.size() - 5));

    // One sensor at a time: the nine classes that only add an XML text of their own keep the element.
    for (unsigned char id : {9, 10, 11, 12, 13, 15, 16, 17, 18})
        EXPECT_EQ(utf8(m->ToXML(id, 0, 0)), "<sensor device=\"1\" id=\"" + std::to_string(id) + "\" />\n")
            << "sensor " << int(id);
}
