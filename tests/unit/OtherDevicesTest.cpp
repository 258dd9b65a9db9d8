#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>

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
const unsigned long long kNow = 1700000000000ULL;

_TGENERIC_CAN_FRAME standardFrame(uint32_t id, std::initializer_list<unsigned char> data)
{
    _TGENERIC_CAN_FRAME f;
    std::memset(&f, 0, sizeof f);
    f.header.id = id;
    f.header.dlc = static_cast<uint16_t>(data.size());
    std::copy(data.begin(), data.end(), f.data);
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
    std::copy(data.begin(), data.end(), f.data);
    return f;
}

unsigned char lo(unsigned v) { return static_cast<unsigned char>(v); }
unsigned char hi(unsigned v) { return static_cast<unsigned char>(v >> 8); }

_TQUIL1G5_CAN_FRAME laserHit(short channel, short position)
{
    const uint16_t c = static_cast<uint16_t>(channel), p = static_cast<uint16_t>(position);
    return makerFrame(67, 1, 1, 0, {lo(c), hi(c), lo(p), hi(p)});
}

// DT500 frame: a measurement flag in byte 0 and the distance in 0.1 mm in bytes 4 to 7.
_TGENERIC_CAN_FRAME dt500(unsigned char measuring, uint32_t t)
{
    return standardFrame(46, {measuring, 0, 0, 0, lo(t), hi(t), lo(t >> 16), hi(t >> 16)});
}

_TGENERIC_CAN_FRAME heartbeat(unsigned char node, unsigned char state) { return standardFrame(0x700u + node, {state}); }

// First transmit process data of a unit: distance and second value in mm, the form mark, quality.
_TGENERIC_CAN_FRAME measurement(unsigned char node, uint16_t distanceMm, uint16_t secondMm, unsigned char quality,
                                bool inverted = false)
{
    _TGENERIC_CAN_FRAME f =
        standardFrame(0x180u + node, {lo(distanceMm), hi(distanceMm), lo(secondMm), hi(secondMm), 0, 0, quality, 0});
    if (inverted)
        for (int i = 0; i < 8; ++i)
            f.data[i] = static_cast<unsigned char>(~f.data[i]);
    return f;
}

}  // namespace

TEST(OtherDevices, RayGaugeHitsFlagsAndExpiry)
{
    RayGauge g(mgr(), 1, 1);
    EXPECT_EQ(g.IsNewLaserHitReceived(), -1);
    auto f = laserHit(2, -300);
    EXPECT_TRUE(g.Parse(&f, 1000));
    EXPECT_EQ(g.IsNewLaserHitReceived(), 2);
    EXPECT_EQ(g.GetLastHit().channel, 2);
    EXPECT_EQ(g.GetLastHit().position, -300);
    EXPECT_EQ(g.GetLastHit().time, 1000u);

    // Another message type counts as unknown and adds no hit.
    auto other = makerFrame(67, 1, 3, 0, {1, 0, 5, 0});
    EXPECT_FALSE(g.Parse(&other, 1500));
    EXPECT_EQ(g.getHandledCount(), 1);
    EXPECT_EQ(g.getUnknownCount(), 1);

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
}

TEST(OtherDevices, RayGaugeFilteredPosition)
{
    Clock::setManual(kNow);
    RayGauge g(mgr(), 1, 1);
    g.AddNewHitData(0, 98, kNow - 300);
    g.AddNewHitData(1, 104, kNow - 200);
    g.AddNewHitData(0, 100, kNow - 100);

    EXPECT_EQ(g.GetFilteredPosition(0, 1000, 3, 4), 100);
    EXPECT_EQ(g.GetFilteredPosition(0, 1000, 3, 1), -1);
    EXPECT_EQ(g.GetFilteredPosition(0, 1000, 2, 2), 102);  // two hits within 2 of their mean
    // The third hit is 300 ms old: too old for a 300 ms limit, so the run ends without a result.
    EXPECT_EQ(g.GetFilteredPosition(0, 300, 3, 4), -1);
    EXPECT_EQ(g.GetFilteredPosition(0, 1000, 4, 100), -1);
    EXPECT_EQ(g.GetFilteredPosition(0, 100, 1, 100), -1);  // the newest hit itself too old
    EXPECT_EQ(g.GetFilteredPosition(0, 101, 1, 0), 100);
    Clock::setReal();
}

TEST(OtherDevices, KM7IsMarkedPresentByAnyFrame)
{
    KM7 k(mgr(), 1, 4);
    EXPECT_FALSE(k.isSensorOk());
    auto f = makerFrame(68, 4, 17, 2, {1, 2});
    k.Parse(&f, 300);
    EXPECT_TRUE(k.isSensorOk());
    EXPECT_EQ(k.getLastMessageTime(), 300u);
}

TEST(OtherDevices, DT500ValidityAndErrorCounting)
{
    DT500Sensor s(mgr(), 1, 46);
    double d = -1;
    auto ok = dt500(1, 10000);
    s.Parse(&ok, 100);
    EXPECT_TRUE(s.getDistance(d));
    EXPECT_DOUBLE_EQ(d, 1.0);

    // 100 m is out of range: one error for losing a valid reading, none for staying out of range.
    auto far = dt500(1, 1000000);
    s.Parse(&far, 200);
    EXPECT_FALSE(s.getDistance(d));
    EXPECT_DOUBLE_EQ(d, 100.0);
    EXPECT_FALSE(s.isSensorOk());
    s.Parse(&far, 300);
    EXPECT_EQ(s.GetErrorCount(), 1u);
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

    auto foreign = standardFrame(47, {1, 0, 0, 0, 1, 0, 0, 0});
    EXPECT_FALSE(s.Parse(&foreign, 600));
    EXPECT_EQ(s.getMessageCount(), 5);
    EXPECT_EQ(s.ToXML(), "<sensor id=\"46\"");
}

TEST(OtherDevices, DSM500UnitDecodingAndStatusOrder)
{
    Clock::setManual(kNow);
    DSM500SensorComponent u(mgr(), 1, 11);
    EXPECT_EQ(u.getComponentStatus(), DSM500_NO_DATA);

    // A measurement before an operational heartbeat: data, but no operational unit.
    auto m = measurement(11, 1234, 567, 80);
    EXPECT_TRUE(u.Parse(&m, kNow));
    auto pre = heartbeat(11, 127);
    u.Parse(&pre, kNow);
    EXPECT_EQ(u.getComponentStatus(), DSM500_NO_MASTER);
    EXPECT_FALSE(u.isUnitOk());

    auto op = heartbeat(11, 5);
    u.Parse(&op, kNow);
    EXPECT_TRUE(u.isOperational());
    double d = 0, s = 0;
    unsigned char q = 0;
    EXPECT_EQ(u.getDistance(d, s, q), DSM500_OK);
    EXPECT_DOUBLE_EQ(d, 1.234);
    EXPECT_DOUBLE_EQ(s, 0.567);
    EXPECT_EQ(q, 80);
    EXPECT_EQ(u.getForm(), DSM500SensorComponent::FORM_UNKNOWN);

    // Process data older than the timeout: the readings are no longer handed out.
    Clock::advance(5001);
    d = -1;
    EXPECT_EQ(u.getDistance(d, s, q), DSM500_TIMEOUT);
    EXPECT_EQ(d, -1);

    // An inverted poor-quality measurement: values from the inverted bytes, counted twice, form 2.
    auto inv = measurement(11, 2000, 100, 5, true);
    u.Parse(&inv, kNow + 5001);
    EXPECT_EQ(u.getDistance(d, s, q), DSM500_OK);
    EXPECT_DOUBLE_EQ(d, 2.0);
    EXPECT_DOUBLE_EQ(s, 0.1);
    EXPECT_EQ(q, 5);
    EXPECT_EQ(u.getForm(), DSM500SensorComponent::FORM_INVERTED);
    EXPECT_EQ(u.getMessageCount(), 5);

    // A poor normal measurement switches the form to 1; another mark changes nothing but counts.
    auto poor = measurement(11, 3000, 0, 9);
    u.Parse(&poor, kNow + 5002);
    EXPECT_EQ(u.getForm(), DSM500SensorComponent::FORM_NORMAL);
    auto odd = standardFrame(0x18B, {0x10, 0x27, 0, 0, 0x01, 0, 50, 0});
    u.Parse(&odd, kNow + 5003);
    EXPECT_EQ(u.getMessageCount(), 8);
    EXPECT_EQ(u.getProcessDataTime(), kNow + 5002);

    // Frames of other nodes, or of the wrong shape, are not decoded.
    auto otherNode = heartbeat(12, 4);
    auto longHeartbeat = standardFrame(0x70B, {4, 0});
    auto sdoAnswer = standardFrame(0x58B, {0x60, 0, 0, 0, 0, 0, 0, 0});
    for (auto* f : {&otherNode, &longHeartbeat, &sdoAnswer})
        EXPECT_FALSE(u.Parse(f, kNow + 5004));
    EXPECT_TRUE(u.isOperational());
    EXPECT_EQ(u.getMessageCount(), 8);
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
}

TEST(OtherDevices, DSM500PairStatusOrder)
{
    Clock::setManual(kNow);
    DSM500Sensor pair(mgr(), 1, 60);
    DSM500UnitData good;
    good.time = kNow - 100;
    good.present = true;
    good.ok = true;
    good.distance = 1.5;
    good.second = 0.25;
    good.quality = 90;
    DSM500UnitData old = good, failing = good, slave = good;
    old.time = kNow - 101;
    failing.ok = false;
    slave.distance = 1.75;
    slave.quality = 70;
    const DSM500UnitData absent;

    // Each check in turn; an earlier failure hides a later one, and no values are handed out.
    const struct { DSM500UnitData master, slave; EDSM500STATUS expected; } cases[] = {
        {absent, absent, DSM500_NO_MASTER},     {old, absent, DSM500_TIMEOUT},
        {failing, absent, DSM500_MASTER_ERROR}, {good, absent, DSM500_NO_SLAVE},
        {good, old, DSM500_TIMEOUT},            {good, failing, DSM500_SLAVE_ERROR},
        {old, failing, DSM500_TIMEOUT},         {failing, old, DSM500_MASTER_ERROR},
    };
    for (const auto& c : cases) {
        pair.setMasterData(c.master);
        pair.setSlaveData(c.slave);
        double d1 = 9, s1 = 9, d2 = 9, s2 = 9;
        unsigned char q1 = 9, q2 = 9;
        EXPECT_EQ(pair.getDistance(d1, s1, q1, d2, s2, q2), c.expected);
        EXPECT_TRUE(d1 == 0 && s1 == 0 && q1 == 0 && d2 == 0 && s2 == 0 && q2 == 0);
    }

    pair.setMasterData(good);
    pair.setSlaveData(slave);
    double d1 = 0, s1 = 0, d2 = 0, s2 = 0;
    unsigned char q1 = 0, q2 = 0;
    EXPECT_EQ(pair.getDistance(d1, s1, q1, d2, s2, q2), DSM500_OK);
    EXPECT_TRUE(d1 == 1.5 && s1 == 0.25 && q1 == 90 && d2 == 1.75 && s2 == 0.25 && q2 == 70);

    // A pair fed from two live units.
    DSM500SensorComponent master(mgr(), 1, 60), slaveUnit(mgr(), 1, 69);
    auto hb1 = heartbeat(60, 5), hb2 = heartbeat(69, 5);
    auto m1 = measurement(60, 1000, 0, 50), m2 = measurement(69, 1020, 0, 40);
    master.Parse(&hb1, kNow);
    master.Parse(&m1, kNow);
    slaveUnit.Parse(&hb2, kNow);
    slaveUnit.Parse(&m2, kNow);
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
    auto f = measurement(60, 1, 1, 1);
    EXPECT_FALSE(pair.Parse(&f, kNow));
    Clock::setReal();
}

TEST(OtherDevices, SandvikReadingsAndValueLimits)
{
    SandvikTIMSensor t(mgr(), 1, 117);
    // Depth report (type 1): status bits 0, 3, 4, 5, 6 and 7, bit position, hole depth.
    auto depth = standardFrame(1904, {1, 0xF9, lo(1234), hi(1234), lo(4321), hi(4321)});
    EXPECT_TRUE(t.Parse(&depth, 100));
    EXPECT_FALSE(t.isDataAvailable());
    EXPECT_TRUE(t.getDrillingState() && t.isDesiredDepthReached() && t.getLaserReceiverCurrentState() &&
                t.isLaserLevelReached() && t.isLastHoleRejected() && t.getSightButtonState());
    EXPECT_EQ(t.getDrillBitPosition(), 1234);
    EXPECT_EQ(t.getDrilledHoleDepth(), 4321);

    // Sight report (type 2): carrier turn and sight, unsigned.
    auto sight = standardFrame(1904, {2, 0, lo(3000), hi(3000), 0xFF, 0xFF});
    EXPECT_TRUE(t.Parse(&sight, 200));
    EXPECT_TRUE(t.isDataAvailable());
    EXPECT_EQ(t.getCarrierTurnValue(), 3000);
    EXPECT_EQ(t.getSightValue(), 65535);

    auto status = standardFrame(1904, {1, 0x06, 1, 0, 2, 0});  // bits 1 and 2 carry nothing
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
    EXPECT_TRUE(t.setBlastDir(3599));
    EXPECT_FALSE(t.setBlastDir(65535));
    EXPECT_EQ(t.getBlastDir(), 3599);
    EXPECT_TRUE(t.setHoleInclination(1800));
    EXPECT_FALSE(t.setHoleInclination(1801));

    t.Clean();
    EXPECT_FALSE(t.isDataAvailable());
    EXPECT_EQ(t.getDrillBitPosition(), 0);
    EXPECT_EQ(t.getHoleInclination(), 1800);  // outgoing values are the plug-in's own
    EXPECT_EQ(t.sendCommand(1, nullptr, true), -1);
}

TEST(OtherDevices, SimulatorClientState)
{
    SimulatorClientSensor c(mgr(), 1, 7);
    // Message type 257 is message 1 with sub-field 1; wrong length or type is not the state report.
    auto wrongLength = makerFrame(5, 7, 1, 1, {1, 1, 0});
    auto wrongType = makerFrame(5, 7, 1, 0, {1, 1});
    EXPECT_FALSE(c.Parse(&wrongLength, 100));
    EXPECT_FALSE(c.Parse(&wrongType, 100));
    EXPECT_FALSE(c.isClientConnected());

    auto state = makerFrame(5, 7, 1, 1, {1, 0});
    EXPECT_TRUE(c.Parse(&state, 200));
    EXPECT_TRUE(c.isClientConnected() && c.isSimulatorConnected());
    EXPECT_FALSE(c.isSensorSimulationEnabled());

    // The same report as it comes off the bus: message 1, sub-field 1, device type 5, number 7.
    const uint32_t id = (1u << 21) | (1u << 18) | (5u << 8) | 7u;
    auto generic = standardFrame(id, {0, 2});
    generic.header.ext = 1;
    EXPECT_TRUE(c.Parse(&generic, 300));
    EXPECT_FALSE(c.isSimulatorConnected());
    EXPECT_TRUE(c.isSensorSimulationEnabled());
    EXPECT_EQ(c.getMessageCount(), 2);
    EXPECT_EQ(generic.header.id, id);  // the caller's frame is untouched

    c.Clean();
    EXPECT_FALSE(c.isClientConnected() || c.isSimulatorConnected() || c.isSensorSimulationEnabled());
}
