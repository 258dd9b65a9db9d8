#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <memory>

#include "Clock.h"
#include "DSM500Sensor.h"
#include "DSM500SensorComponent.h"
#include "DT500Sensor.h"
#include "KM7.h"
#include "RayGauge.h"
#include "SandvikTIMSensor.h"
#include "SensorManager.h"
#include "SimulatorClientSensor.h"

using namespace Sensors;

namespace {

SensorManager* mgr() { return SensorManager::getInstance(); }

_TGENERIC_CAN_FRAME standardFrame(uint32_t id, std::initializer_list<unsigned char> data)
{
    _TGENERIC_CAN_FRAME f;
    std::memset(&f, 0, sizeof f);
    f.header.id = id;
    f.header.dlc = static_cast<uint16_t>(data.size());
    int i = 0;
    for (unsigned char b : data)
        f.data[i++] = b;
    return f;
}

_TQUIL1G5_CAN_FRAME makerFrame(unsigned char devType, unsigned char devNumber, unsigned char msg, unsigned char cmd,
                               std::initializer_list<unsigned char> data)
{
    _TQUIL1G5_CAN_FRAME f;
    std::memset(&f, 0, sizeof f);
    f.header.devType = devType;
    f.header.devNumber = devNumber;
    f.header.msg = msg;
    f.header.cmd = cmd;
    f.header.dlc = static_cast<uint16_t>(data.size());
    int i = 0;
    for (unsigned char b : data)
        f.data[i++] = b;
    return f;
}

_TQUIL1G5_CAN_FRAME laserHit(short channel, short position)
{
    const uint16_t c = static_cast<uint16_t>(channel), p = static_cast<uint16_t>(position);
    return makerFrame(67, 1, 1, 0, {static_cast<unsigned char>(c), static_cast<unsigned char>(c >> 8),
                                    static_cast<unsigned char>(p), static_cast<unsigned char>(p >> 8)});
}

// DT500 frame: a measurement flag in byte 0 and the distance in 0.1 mm in bytes 4 to 7.
_TGENERIC_CAN_FRAME dt500(unsigned char measuring, uint32_t tenthsOfMm)
{
    return standardFrame(46, {measuring, 0, 0, 0, static_cast<unsigned char>(tenthsOfMm),
                              static_cast<unsigned char>(tenthsOfMm >> 8), static_cast<unsigned char>(tenthsOfMm >> 16),
                              static_cast<unsigned char>(tenthsOfMm >> 24)});
}

_TGENERIC_CAN_FRAME heartbeat(unsigned char node, unsigned char state)
{
    return standardFrame(0x700u + node, {state});
}

// First transmit process data of a unit: distance and second value in mm, the form mark, quality.
_TGENERIC_CAN_FRAME measurement(unsigned char node, uint16_t distanceMm, uint16_t secondMm, unsigned char quality,
                                bool inverted = false)
{
    unsigned char d[8] = {static_cast<unsigned char>(distanceMm), static_cast<unsigned char>(distanceMm >> 8),
                          static_cast<unsigned char>(secondMm), static_cast<unsigned char>(secondMm >> 8),
                          0x00, 0x00, quality, 0x00};
    if (inverted)
        for (unsigned char& b : d)
            b = static_cast<unsigned char>(~b);
    return standardFrame(0x180u + node, {d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7]});
}

// Sandvik TIM frames: depth report (type 1) and sight report (type 2).
_TGENERIC_CAN_FRAME timDepth(unsigned char status, uint16_t bitPosition, uint16_t holeDepth)
{
    return standardFrame(1904, {1, status, static_cast<unsigned char>(bitPosition), static_cast<unsigned char>(bitPosition >> 8),
                                static_cast<unsigned char>(holeDepth), static_cast<unsigned char>(holeDepth >> 8)});
}

_TGENERIC_CAN_FRAME timSight(uint16_t carrierTurn, uint16_t sight)
{
    return standardFrame(1904, {2, 0, static_cast<unsigned char>(carrierTurn), static_cast<unsigned char>(carrierTurn >> 8),
                                static_cast<unsigned char>(sight), static_cast<unsigned char>(sight >> 8)});
}

}  // namespace

TEST(OtherDevices, RayGaugeHitsFlagsAndExpiry)
{
    RayGauge g(mgr(), 1, 1);
    EXPECT_EQ(g.getDeviceType(), 67);
    EXPECT_EQ(g.GetErrorTimeoutTime(), 5000u);
    EXPECT_EQ(g.IsNewLaserHitReceived(), -1);
    EXPECT_EQ(g.GetLastHit().position, 0);

    auto f = laserHit(2, -300);
    EXPECT_TRUE(g.Parse(&f, 1000));
    EXPECT_EQ(g.getHandledCount(), 1);
    EXPECT_EQ(g.IsNewLaserHitReceived(), 2);
    EXPECT_EQ(g.GetLastHit().channel, 2);
    EXPECT_EQ(g.GetLastHit().position, -300);
    EXPECT_EQ(g.GetLastHit().time, 1000u);

    // Another message type counts as unknown and adds no hit.
    auto other = makerFrame(67, 1, 3, 0, {1, 0, 5, 0});
    EXPECT_FALSE(g.Parse(&other, 1500));
    EXPECT_EQ(g.getHandledCount(), 1);
    EXPECT_EQ(g.getUnknownCount(), 1);
    EXPECT_EQ(g.getMessageCount(), 2);

    // Channels beyond the four flags are kept as hits without touching any flag.
    for (short channel : {4, 7, -1, 300}) {
        auto h = laserHit(channel, 55);
        g.Parse(&h, 2000);
    }
    EXPECT_EQ(g.getHitCount(), 5);
    EXPECT_EQ(g.IsNewLaserHitReceived(), 2);
    auto h0 = laserHit(0, 12);
    g.Parse(&h0, 2500);
    EXPECT_EQ(g.IsNewLaserHitReceived(), 0);
    g.resetNewLaserHit(0);
    g.resetNewLaserHit(9);
    EXPECT_EQ(g.IsNewLaserHitReceived(), 2);
    g.resetNewLaserHits();
    EXPECT_EQ(g.IsNewLaserHitReceived(), -1);
    EXPECT_EQ(g.GetLastHitPosition(2), -300);
    EXPECT_EQ(g.GetLastHitPosition(7), 55);
    EXPECT_EQ(g.GetLastHitPosition(3), -1);

    // The hit of 1000 lives while at most 3000 ms old.
    g.Update(100, 4000);
    EXPECT_EQ(g.getHitCount(), 6);
    g.Update(100, 4001);
    EXPECT_EQ(g.getHitCount(), 5);
    g.CleanHitList(5001);
    EXPECT_EQ(g.getHitCount(), 1);
    EXPECT_EQ(g.GetLastHit().position, 12);

    RayGauge copy(g);
    EXPECT_EQ(copy.getHitCount(), 1);
    EXPECT_EQ(copy.GetLastHitPosition(0), 12);
}

TEST(OtherDevices, RayGaugeFilteredPosition)
{
    const unsigned long long now = 1700000000000ULL;
    Clock::setManual(now);
    RayGauge g(mgr(), 1, 1);
    g.AddNewHitData(0, 98, now - 300);
    g.AddNewHitData(1, 104, now - 200);
    g.AddNewHitData(0, 100, now - 100);

    EXPECT_EQ(g.GetFilteredPosition(0, 1000, 3, 4), 100);
    EXPECT_EQ(g.GetFilteredPosition(0, 1000, 3, 1), -1);
    // Two hits already agree within 2 of their mean 102.
    EXPECT_EQ(g.GetFilteredPosition(0, 1000, 2, 2), 102);
    // The third hit is 300 ms old: too old for a 300 ms limit, so the run ends without a result.
    EXPECT_EQ(g.GetFilteredPosition(0, 300, 3, 4), -1);
    EXPECT_EQ(g.GetFilteredPosition(0, 1000, 4, 100), -1);
    // The newest hit itself too old.
    EXPECT_EQ(g.GetFilteredPosition(0, 100, 1, 100), -1);
    EXPECT_EQ(g.GetFilteredPosition(0, 101, 1, 0), 100);
    Clock::setReal();
}

TEST(OtherDevices, KM7IsMarkedPresentByAnyFrame)
{
    KM7 k(mgr(), 1, 4);
    EXPECT_EQ(k.getDeviceType(), 68);
    EXPECT_EQ(k.GetErrorTimeoutTime(), 5000u);
    EXPECT_FALSE(k.isSensorOk());
    auto f = makerFrame(68, 4, 17, 2, {1, 2});
    k.Parse(&f, 300);
    EXPECT_TRUE(k.isSensorOk());
    EXPECT_EQ(k.getMessageCount(), 1);
    EXPECT_EQ(k.getLastMessageTime(), 300u);
    std::unique_ptr<KM7> clone(k.Clone());
    EXPECT_EQ(clone->getMessageCount(), 1);
}

TEST(OtherDevices, DT500ValidityAndErrorCounting)
{
    DT500Sensor s(mgr(), 1, 46);
    EXPECT_EQ(s.getDeviceType(), 46);
    EXPECT_EQ(s.GetErrorTimeoutTime(), 1000u);
    double d = -1;
    EXPECT_FALSE(s.getDistance(d));

    auto ok = dt500(1, 10000);
    s.Parse(&ok, 100);
    EXPECT_TRUE(s.getDistance(d));
    EXPECT_DOUBLE_EQ(d, 1.0);
    EXPECT_TRUE(s.isSensorOk());

    // 100 m is out of range: one error for losing a valid reading, none for staying out of range.
    auto far = dt500(1, 1000000);
    s.Parse(&far, 200);
    EXPECT_FALSE(s.getDistance(d));
    EXPECT_DOUBLE_EQ(d, 100.0);
    EXPECT_FALSE(s.isSensorOk());
    EXPECT_EQ(s.GetErrorCount(), 1u);
    s.Parse(&far, 300);
    EXPECT_EQ(s.GetErrorCount(), 1u);
    EXPECT_EQ(s.getMessageCount(), 3);

    // The update pass keeps an invalid sensor not ok although frames arrive in time.
    s.Update(10, 350);
    EXPECT_FALSE(s.isSensorOk());

    auto just = dt500(1, 999999);
    s.Parse(&just, 400);
    EXPECT_TRUE(s.getDistance(d));
    EXPECT_DOUBLE_EQ(d, 99.9999);
    s.Update(10, 450);
    EXPECT_TRUE(s.isSensorOk());

    auto idle = dt500(0, 5000);
    s.Parse(&idle, 500);
    EXPECT_FALSE(s.getDistance(d));
    EXPECT_EQ(d, 0.0);
    EXPECT_FALSE(s.isSensorOk());
    EXPECT_EQ(s.GetErrorCount(), 1u);

    // Frames of other identifiers are not this sensor's.
    auto foreign = standardFrame(47, {1, 0, 0, 0, 1, 0, 0, 0});
    EXPECT_FALSE(s.Parse(&foreign, 600));
    EXPECT_EQ(s.getMessageCount(), 5);
    EXPECT_EQ(s.ToXML(), "<sensor id=\"46\"");
}

TEST(OtherDevices, DSM500UnitDecodingAndStatusOrder)
{
    const unsigned long long now = 1700000000000ULL;
    Clock::setManual(now);
    DSM500SensorComponent u(mgr(), 1, 11);
    EXPECT_EQ(u.getDeviceType(), 14);
    EXPECT_EQ(u.GetErrorTimeoutTime(), 5000u);
    EXPECT_EQ(u.getComponentStatus(), DSM500_NO_DATA);

    // A measurement before any heartbeat: data, but no operational unit.
    auto m = measurement(11, 1234, 567, 80);
    EXPECT_TRUE(u.Parse(&m, now));
    EXPECT_EQ(u.getComponentStatus(), DSM500_NO_MASTER);
    auto pre = heartbeat(11, 127);
    u.Parse(&pre, now);
    EXPECT_EQ(u.getComponentStatus(), DSM500_NO_MASTER);
    EXPECT_FALSE(u.isUnitOk());

    auto op = heartbeat(11, 5);
    u.Parse(&op, now);
    EXPECT_TRUE(u.isOperational());
    EXPECT_EQ(u.getHeartbeatTime(), now);
    double d = 0, s = 0;
    unsigned char q = 0;
    EXPECT_EQ(u.getDistance(d, s, q), DSM500_OK);
    EXPECT_DOUBLE_EQ(d, 1.234);
    EXPECT_DOUBLE_EQ(s, 0.567);
    EXPECT_EQ(q, 80);
    EXPECT_EQ(u.getForm(), DSM500SensorComponent::FORM_UNKNOWN);
    EXPECT_EQ(u.getMessageCount(), 3);

    // Process data older than the timeout: the readings are no longer handed out.
    Clock::advance(5001);
    d = -1;
    EXPECT_EQ(u.getDistance(d, s, q), DSM500_TIMEOUT);
    EXPECT_EQ(d, -1);

    // An inverted poor-quality measurement: values from the inverted bytes, counted twice, form 2.
    auto inv = measurement(11, 2000, 100, 5, true);
    u.Parse(&inv, now + 5001);
    EXPECT_EQ(u.getDistance(d, s, q), DSM500_OK);
    EXPECT_DOUBLE_EQ(d, 2.0);
    EXPECT_DOUBLE_EQ(s, 0.1);
    EXPECT_EQ(q, 5);
    EXPECT_EQ(u.getForm(), DSM500SensorComponent::FORM_INVERTED);
    EXPECT_EQ(u.getMessageCount(), 5);

    // A poor normal measurement switches the form to 1; another mark changes nothing but counts.
    auto poor = measurement(11, 3000, 0, 9);
    u.Parse(&poor, now + 5002);
    EXPECT_EQ(u.getForm(), DSM500SensorComponent::FORM_NORMAL);
    auto odd = standardFrame(0x18B, {0x10, 0x27, 0, 0, 0x01, 0, 50, 0});
    u.Parse(&odd, now + 5003);
    EXPECT_EQ(u.getMessageCount(), 8);
    EXPECT_EQ(u.getProcessDataTime(), now + 5002);

    // Frames of other nodes, or of the wrong shape, are not decoded.
    auto otherNode = heartbeat(12, 4);
    auto longHeartbeat = standardFrame(0x70B, {4, 0});
    auto sdoAnswer = standardFrame(0x58B, {0x60, 0, 0, 0, 0, 0, 0, 0});
    for (auto* f : {&otherNode, &longHeartbeat, &sdoAnswer})
        EXPECT_FALSE(u.Parse(f, now + 5004));
    EXPECT_TRUE(u.isOperational());
    EXPECT_EQ(u.getMessageCount(), 8);
    EXPECT_EQ(u.ToXML(), "<DSM500SensorComponent />");
    Clock::setReal();
}

TEST(OtherDevices, DSM500ChangeIdFollowsTheUnitsForm)
{
    DSM500SensorComponent u(mgr(), 1, 12);
    EXPECT_FALSE(u.sendChangeId(13));  // form not yet known
    auto normal = measurement(12, 100, 100, 3);
    u.Parse(&normal, 100);
    EXPECT_FALSE(u.sendChangeId(14));
    EXPECT_TRUE(u.sendChangeId(13));  // not operational: no waiting on the unit
    auto inverted = measurement(12, 100, 100, 3, true);
    u.Parse(&inverted, 200);
    EXPECT_FALSE(u.sendChangeId(13));
    EXPECT_TRUE(u.sendChangeId(14));
    EXPECT_EQ(u.getSensorId(), 12);
}

TEST(OtherDevices, DSM500PairStatusOrder)
{
    const unsigned long long now = 1700000000000ULL;
    Clock::setManual(now);
    DSM500Sensor pair(mgr(), 1, 60);
    EXPECT_EQ(pair.getDeviceType(), 154);
    EXPECT_EQ(pair.GetErrorTimeoutTime(), 1000u);

    DSM500UnitData good;
    good.time = now - 100;
    good.present = true;
    good.ok = true;
    good.distance = 1.5;
    good.second = 0.25;
    good.quality = 90;
    DSM500UnitData old = good;
    old.time = now - 101;
    DSM500UnitData failing = good;
    failing.ok = false;
    const DSM500UnitData absent;

    struct Case {
        DSM500UnitData master, slave;
        EDSM500STATUS expected;
    };
    // Each check in turn; an earlier failure hides a later one.
    const Case cases[] = {
        {absent, absent, DSM500_NO_MASTER},     {old, absent, DSM500_TIMEOUT},
        {failing, absent, DSM500_MASTER_ERROR}, {good, absent, DSM500_NO_SLAVE},
        {good, old, DSM500_TIMEOUT},            {good, failing, DSM500_SLAVE_ERROR},
        {old, failing, DSM500_TIMEOUT},         {failing, old, DSM500_MASTER_ERROR},
    };
    for (const Case& c : cases) {
        pair.setMasterData(c.master);
        pair.setSlaveData(c.slave);
        double d1 = 9, s1 = 9, d2 = 9, s2 = 9;
        unsigned char q1 = 9, q2 = 9;
        EXPECT_EQ(pair.getDistance(d1, s1, q1, d2, s2, q2), c.expected);
        EXPECT_TRUE(d1 == 0 && s1 == 0 && q1 == 0 && d2 == 0 && s2 == 0 && q2 == 0);
    }

    DSM500UnitData slave = good;
    slave.distance = 1.75;
    slave.quality = 70;
    pair.setMasterData(good);
    pair.setSlaveData(slave);
    double d1 = 0, s1 = 0, d2 = 0, s2 = 0;
    unsigned char q1 = 0, q2 = 0;
    EXPECT_EQ(pair.getDistance(d1, s1, q1, d2, s2, q2), DSM500_OK);
    EXPECT_EQ(d1, 1.5);
    EXPECT_EQ(s1, 0.25);
    EXPECT_EQ(q1, 90);
    EXPECT_EQ(d2, 1.75);
    EXPECT_EQ(s2, 0.25);
    EXPECT_EQ(q2, 70);

    // A pair fed from two live units.
    DSM500SensorComponent master(mgr(), 1, 60), slaveUnit(mgr(), 1, 69);
    auto hb1 = heartbeat(60, 5), hb2 = heartbeat(69, 5);
    auto m1 = measurement(60, 1000, 0, 50), m2 = measurement(69, 1020, 0, 40);
    master.Parse(&hb1, now);
    master.Parse(&m1, now);
    slaveUnit.Parse(&hb2, now);
    slaveUnit.Parse(&m2, now);
    pair.setUnits(master, slaveUnit);
    EXPECT_EQ(pair.getDistance(d1, s1, q1, d2, s2, q2), DSM500_OK);
    EXPECT_DOUBLE_EQ(d1, 1.0);
    EXPECT_DOUBLE_EQ(d2, 1.02);
    EXPECT_EQ(q2, 40);

    const char* names[] = {"DSM500_UNKNOWN", "DSM500_OK", "DSM500_NO_MASTER", "DSM500_NO_SLAVE",
                           "DSM500_MASTER_ERROR", "DDSM500_SLAVE_ERROR", "DSM500_BAD_QUALITY", "DSM500_TIMEOUT",
                           "DSM500_NO_DATA", "DSM500_MASTER_VALUE_OUT_OF_TOLERANCE",
                           "DSM500_SLAVE_VALUE_OUT_OF_TOLERANCE", "DSM500_MASTER_SLAVE_DIFFERENCE_OUT_OF_TOLERANCE"};
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(DSM500Sensor::getDSM500Status(static_cast<EDSM500STATUS>(i)), names[i]);
    EXPECT_EQ(pair.ToXML(), "<DSM500Sensor />");
    auto f = measurement(60, 1, 1, 1);
    EXPECT_FALSE(pair.Parse(&f, now));
    EXPECT_EQ(pair.getMessageCount(), 0);
    Clock::setReal();
}

TEST(OtherDevices, SandvikReadingsAndValueLimits)
{
    SandvikTIMSensor t(mgr(), 1, 117);
    EXPECT_EQ(t.getDeviceType(), 171);
    EXPECT_EQ(t.GetErrorTimeoutTime(), 5000u);

    auto depth = timDepth(0xF9, 1234, 4321);  // bits 0, 3, 4, 5, 6 and 7
    EXPECT_TRUE(t.Parse(&depth, 100));
    EXPECT_FALSE(t.isDataAvailable());
    EXPECT_TRUE(t.getDrillingState());
    EXPECT_TRUE(t.isDesiredDepthReached());
    EXPECT_TRUE(t.getLaserReceiverCurrentState());
    EXPECT_TRUE(t.isLaserLevelReached());
    EXPECT_TRUE(t.isLastHoleRejected());
    EXPECT_TRUE(t.getSightButtonState());
    EXPECT_EQ(t.getDrillBitPosition(), 1234);
    EXPECT_EQ(t.getDrilledHoleDepth(), 4321);

    auto sight = timSight(3000, 65535);
    EXPECT_TRUE(t.Parse(&sight, 200));
    EXPECT_TRUE(t.isDataAvailable());
    EXPECT_EQ(t.getCarrierTurnValue(), 3000);
    EXPECT_EQ(t.getSightValue(), 65535);

    auto status = timDepth(0x06, 1, 2);  // bits 1 and 2 carry nothing
    t.Parse(&status, 300);
    EXPECT_FALSE(t.getDrillingState() || t.isDesiredDepthReached() || t.getLaserReceiverCurrentState() ||
                 t.isLaserLevelReached() || t.isLastHoleRejected() || t.getSightButtonState());

    // Short frames and unknown report types are counted but not decoded.
    auto shortDepth = standardFrame(1904, {1, 0xFF, 9, 9, 9});
    auto shortSight = standardFrame(1904, {2, 0, 7});
    auto unknown = standardFrame(1904, {3, 0, 7, 7, 7, 7});
    for (auto* f : {&shortDepth, &shortSight, &unknown})
        EXPECT_FALSE(t.Parse(f, 400));
    EXPECT_EQ(t.getStatusBits(), 0x06);
    EXPECT_EQ(t.getCarrierTurnValue(), 3000);
    EXPECT_EQ(t.getMessageCount(), 6);

    EXPECT_TRUE(t.setCompassHorzValFromExtSys(3599));
    EXPECT_FALSE(t.setCompassHorzValFromExtSys(3600));
    EXPECT_EQ(t.getCompassHorzValFromExtSys(), 3599);
    EXPECT_TRUE(t.setBlastDir(0));
    EXPECT_TRUE(t.setBlastDir(3599));
    EXPECT_FALSE(t.setBlastDir(65535));
    EXPECT_EQ(t.getBlastDir(), 3599);
    EXPECT_TRUE(t.setHoleInclination(1800));
    EXPECT_FALSE(t.setHoleInclination(1801));
    EXPECT_EQ(t.getHoleInclination(), 1800);

    t.Clean();
    EXPECT_FALSE(t.isDataAvailable());
    EXPECT_EQ(t.getDrillBitPosition(), 0);
    EXPECT_EQ(t.getSightValue(), 0);
    EXPECT_EQ(t.getHoleInclination(), 1800);  // outgoing values are the plug-in's own
    EXPECT_EQ(t.ToXML(), "<SandvikTIMSensor/>");
    EXPECT_EQ(t.sendCommand(1, nullptr, true), -1);
}

TEST(OtherDevices, SimulatorClientState)
{
    SimulatorClientSensor c(mgr(), 1, 7);
    EXPECT_EQ(c.getDeviceType(), 5);
    EXPECT_EQ(c.GetErrorTimeoutTime(), 5000u);

    // Message type 257 is message 1 with sub-field 1; wrong length or type is not the state report.
    auto wrongLength = makerFrame(5, 7, 1, 1, {1, 1, 0});
    auto wrongType = makerFrame(5, 7, 1, 0, {1, 1});
    EXPECT_FALSE(c.Parse(&wrongLength, 100));
    EXPECT_FALSE(c.Parse(&wrongType, 100));
    EXPECT_FALSE(c.isClientConnected());
    EXPECT_EQ(c.getMessageCount(), 0);

    auto state = makerFrame(5, 7, 1, 1, {1, 0});
    EXPECT_TRUE(c.Parse(&state, 200));
    EXPECT_TRUE(c.isClientConnected());
    EXPECT_TRUE(c.isSimulatorConnected());
    EXPECT_FALSE(c.isSensorSimulationEnabled());

    // The same report as it comes off the bus: message 1, sub-field 1, device type 5, number 7.
    auto generic = standardFrame(0, {0, 2});
    generic.header.id = (1u << 21) | (1u << 18) | (5u << 8) | 7u;
    generic.header.ext = 1;
    EXPECT_TRUE(c.Parse(&generic, 300));
    EXPECT_FALSE(c.isSimulatorConnected());
    EXPECT_TRUE(c.isSensorSimulationEnabled());
    EXPECT_EQ(c.getMessageCount(), 2);
    EXPECT_EQ(c.getLastMessageTime(), 300u);
    EXPECT_EQ(generic.header.id, (1u << 21) | (1u << 18) | (5u << 8) | 7u);  // the caller's frame is untouched

    c.Clean();
    EXPECT_FALSE(c.isClientConnected() || c.isSimulatorConnected() || c.isSensorSimulationEnabled());
    EXPECT_EQ(c.ToXML(), ".SimulatorClient");
}
