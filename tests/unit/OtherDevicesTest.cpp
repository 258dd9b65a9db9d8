#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "Clock.h"
#include "DSM500Sensor.h"
#include "DSM500SensorComponent.h"
#include "DT500Sensor.h"
#include "Frames.h"
#include "RayGauge.h"
#include "SandvikTIMSensor.h"
#include "SensorManager.h"

using namespace Sensors;

namespace {

SensorManager* mgr() { return SensorManager::getInstance(); }
const unsigned long long kNow = 1700000000000ULL;

uint8_t lo(unsigned v) { return static_cast<uint8_t>(v); }
uint8_t hi(unsigned v) { return static_cast<uint8_t>(v >> 8); }

// A laser receiver hit (the maker's message 1) on a channel at a position.
bool hit(RayGauge& g, int channel, int position, unsigned long long time)
{
    _TQUIL1G5_CAN_FRAME f{{67, 1, 1, 0, 0, 0, 4}, {lo(channel), hi(channel), lo(position), hi(position)}};
    return g.Parse(&f, time);
}

// First transmit process data of a unit: distance and second value in mm, the form mark, quality.
_TGENERIC_CAN_FRAME measurement(uint8_t node, uint16_t distanceMm, uint16_t secondMm, uint8_t quality)
{
    _TGENERIC_CAN_FRAME f = frame(0x180u + node, {lo(distanceMm), hi(distanceMm), lo(secondMm), hi(secondMm), 0, 0,
                                                  quality, 0});
    for (auto& b : f.data)  // sent inverted: the unit's second form
        b = static_cast<uint8_t>(~b);
    return f;
}

}  // namespace

TEST(OtherDevices, RayGaugeHitsFlagsAndExpiry)
{
    RayGauge g(mgr(), 1, 1);
    EXPECT_TRUE(hit(g, 2, -300, 1000));
    EXPECT_EQ(std::make_tuple(g.GetLastHit().channel, g.GetLastHit().position), std::make_tuple(2, -300));
    // Channels outside the four flags are kept as hits without touching any flag.
    for (int channel : {4, -1})
        hit(g, channel, 55, 2000);
    EXPECT_EQ(std::make_tuple(g.getHitCount(), g.IsNewLaserHitReceived()), std::make_tuple(3, 2));
    hit(g, 0, 12, 2500);  // the lowest flagged channel is the one reported
    EXPECT_EQ(g.IsNewLaserHitReceived(), 0);
    g.resetNewLaserHit(0);
    EXPECT_EQ(g.IsNewLaserHitReceived(), 2);
    g.Update(100, 4001);
    EXPECT_EQ(g.getHitCount(), 3) << "the hit of 1000 lives while at most 3000 ms old";
}

TEST(OtherDevices, DT500ValidityAndErrorCounting)
{
    DT500Sensor s(mgr(), 1, 46);
    // A measurement flag in byte 0 and the distance in 0.1 mm in bytes 4 to 7.
    const auto dt500 = [&s](uint8_t measuring, uint32_t t, unsigned long long time) {
        parse(s, 46, {measuring, 0, 0, 0, lo(t), hi(t), lo(t >> 16), hi(t >> 16)}, time);
    };
    double d = -1;
    dt500(1, 10000, 100);
    // 100 m is out of range but still handed out: one error for losing a valid reading, none for
    // staying out of range; the update pass keeps an invalid sensor not ok although frames arrive.
    dt500(1, 1000000, 200);
    EXPECT_EQ(std::make_pair(s.getDistance(d), d), std::make_pair(false, 100.0));
    dt500(1, 1000000, 300);
    s.Update(10, 350);
    EXPECT_EQ(std::make_tuple(s.GetErrorCount(), s.isSensorOk()), std::make_tuple(1u, false));
    // Just inside the range the sensor is ok again; without the measurement flag it is not.
    dt500(1, 999999, 400);
    s.Update(10, 450);
    EXPECT_EQ(std::make_tuple(s.getDistance(d), s.isSensorOk()), std::make_tuple(true, true));
    dt500(0, 5000, 500);
    EXPECT_EQ(std::make_tuple(s.getDistance(d), d, s.isSensorOk()), std::make_tuple(false, 0.0, false));
}

TEST(OtherDevices, DSM500UnitStatusTimeoutAndInvertedForm)
{
    Clock::setManual(kNow);
    DSM500SensorComponent u(mgr(), 1, 11);
    // A measurement before an operational heartbeat: data, but no operational unit.
    EXPECT_TRUE(parse(u, 0x18B, {0xD2, 0x04, 0x37, 0x02, 0, 0, 80, 0}, kNow));
    parse(u, 0x70B, {127}, kNow);
    EXPECT_EQ(u.getComponentStatus(), DSM500_NO_MASTER);
    parse(u, 0x70B, {5}, kNow);
    double d = 0, s = 0;
    unsigned char q = 0;
    EXPECT_EQ(u.getDistance(d, s, q), DSM500_OK);
    // Process data older than the timeout: the readings are no longer handed out.
    Clock::advance(5001);
    d = -1;
    EXPECT_EQ(std::make_pair(u.getDistance(d, s, q), d), std::make_pair(DSM500_TIMEOUT, -1.0));
    // An inverted poor-quality measurement: values from the inverted bytes, form 2.
    _TGENERIC_CAN_FRAME inverted = measurement(11, 2000, 100, 5);
    u.Parse(&inverted, kNow + 5001);
    EXPECT_EQ(std::make_tuple(u.getDistance(d, s, q), d, s, q, u.getForm()),
              std::make_tuple(DSM500_OK, 2.0, 0.1, 5, DSM500SensorComponent::FORM_INVERTED));
    for (auto f : {frame(0x70C, {4}), frame(0x70B, {4, 0}), frame(0x58B, {0x60, 0, 0, 0, 0, 0, 0, 0})})
        EXPECT_FALSE(u.Parse(&f, kNow + 5004)) << f.header.id;

    // A pair hands out readings only when both units are present, current and ok; an earlier failure
    // hides a later one.
    Clock::setManual(kNow);
    DSM500Sensor pair(mgr(), 1, 60);
    const DSM500UnitData good{kNow - 100, true, true, 1.5, 0.25, 90}, old{kNow - 101, true, true, 1.5, 0.25, 90},
        failing{kNow - 100, true, false, 1.5, 0.25, 90}, slave{kNow - 100, true, true, 1.75, 0.25, 70}, absent;
    const struct { DSM500UnitData master, slave; EDSM500STATUS expected; } cases[] = {
        {absent, absent, DSM500_NO_MASTER}, {old, absent, DSM500_TIMEOUT}, {failing, absent, DSM500_MASTER_ERROR},
        {good, absent, DSM500_NO_SLAVE},    {good, old, DSM500_TIMEOUT},   {good, failing, DSM500_SLAVE_ERROR},
        {failing, old, DSM500_MASTER_ERROR}, {good, slave, DSM500_OK}};
    for (const auto& c : cases) {
        pair.setMasterData(c.master);
        pair.setSlaveData(c.slave);
        double d1 = 9, s1 = 9, d2 = 9, s2 = 9;
        unsigned char q1 = 9, q2 = 9;
        EXPECT_EQ(pair.getDistance(d1, s1, q1, d2, s2, q2), c.expected);
        using Readings = std::tuple<double, double, int, double, double, int>;
        EXPECT_EQ(Readings(d1, s1, q1, d2, s2, q2),
                  c.expected == DSM500_OK ? Readings(1.5, 0.25, 90, 1.75, 0.25, 70) : Readings());
    }
    Clock::setReal();
}

TEST(OtherDevices, SandvikStatusBitsAndShortFrames)
{
    SandvikTIMSensor t(mgr(), 1, 117);
    // Depth report (type 1): status bits 0, 3, 4, 5, 6 and 7; bits 1 and 2 carry nothing.
    auto flags = [&t] {
        return std::vector<bool>{t.getDrillingState(), t.isDesiredDepthReached(), t.getLaserReceiverCurrentState(),
                                 t.isLaserLevelReached(), t.isLastHoleRejected(), t.getSightButtonState()};
    };
    EXPECT_TRUE(parse(t, 1904, {1, 0xF9, 1, 0, 2, 0}, 100));
    EXPECT_EQ(flags(), std::vector<bool>(6, true));
    EXPECT_TRUE(parse(t, 1904, {2, 0, lo(3000), hi(3000), 0xFF, 0xFF}, 200));
    EXPECT_EQ(std::make_tuple(t.isDataAvailable(), t.getSightValue()), std::make_tuple(true, 65535));  // unsigned
    parse(t, 1904, {1, 0x06, 1, 0, 2, 0}, 300);
    EXPECT_EQ(flags(), std::vector<bool>(6, false));
    for (auto f : {frame(1904, {1, 0xFF, 9, 9, 9}), frame(1904, {2, 0, 7}), frame(1904, {3, 0, 7, 7, 7, 7})})
        EXPECT_FALSE(t.Parse(&f, 400)) << int(f.data[0]);
    EXPECT_EQ(std::make_tuple(t.getStatusBits(), t.getCarrierTurnValue(), t.getMessageCount()),
              std::make_tuple(0x06, 3000, 6));
}
