// What every sensor shares: timeout supervision counted once per silence, the status line, the
// name tables and the copy rules.
#include <gtest/gtest.h>

#include "LogCapture.h"
#include "Sensor.h"
#include "SensorManager.h"

using Sensors::Sensor;

namespace {
struct TimedSensor : Sensor {
    TimedSensor() : Sensor(Sensors::SensorManager::getInstance(), 2, 3, Sensors::SDT_G1) { SetErrorTimeoutTime(500); }
    void Clean() override { ++cleaned; }
    int cleaned = 0;
};
}  // namespace

TEST(SensorBase, OneSilenceCountsOnceAndANewSilenceCountsAgain)
{
    TimedSensor s;
    _TGENERIC_CAN_FRAME frame{};
    s.Parse(&frame, 1000);
    s.Update(0, 1500);
    EXPECT_TRUE(s.isSensorOk());
    s.Update(0, 1501);
    EXPECT_FALSE(s.isSensorOk());
    s.Update(0, 1900);
    EXPECT_EQ(s.cleaned, 1) << "the same silence";
    EXPECT_EQ(s.getStatus(), "3: G1, [SENSOR_STATUS] Timeout, [SENSOR_STATUS] Errors: 1");
    s.Parse(&frame, 2200);
    s.Update(0, 2300);
    EXPECT_EQ(s.getStatus(), "3: G1");
    s.Update(0, 2701);
    EXPECT_EQ(s.getStatus(), "3: G1, [SENSOR_STATUS] Timeout, [SENSOR_STATUS] Errors: 2");

    // Never heard: not detected and not counted; without a timeout one frame is enough, forever.
    TimedSensor timed;
    timed.Update(0, 99999);
    EXPECT_EQ(std::make_pair(timed.GetErrorCount(), timed.cleaned), std::make_pair(0u, 0));
    Sensor untimed(nullptr, 1, 7, Sensors::SDT_HMI);
    untimed.Update(0, 99999);
    EXPECT_EQ(untimed.getStatus(), "7: HMI, [SENSOR_STATUS] Not detected, [SENSOR_STATUS] Errors: 0");
    untimed.Parse(&frame, 5);
    untimed.Update(0, 99999999);
    EXPECT_TRUE(untimed.isSensorOk());
}

TEST(SensorBase, CopiesGetTheirOwnLockAndMovesTakeIt)
{
    TimedSensor s;
    wxMutex* lock = s.getLock();
    s.LockSensor();
    Sensor copy(s);
    EXPECT_EQ(copy.getLock()->TryLock(), wxMUTEX_NO_ERROR) << "the copy's lock is free";
    copy.UnlockSensor();
    s.UnlockSensor();
    Sensor moved(std::move(s));
    EXPECT_EQ(moved.getLock(), lock);
}

TEST(SensorBase, NameTables)
{
    // {type or id, known, text}: hosts show these names (translated through their catalogues).
    const struct { int type; bool known; const char* text; } types[] = {
        {Sensors::SDT_QUILLARD_SPARE, true, "Quillard spare sensor"}, {159, false, "[SENSOR_STATUS] Unknown sensor"},
        {Sensors::SDT_HEADING, true, "[SENSOR_TYPE] Heading"},
        {Sensors::SDT_NMEA2K_HEADING, true, "[SENSOR_TYPE] Heading"}},
      ids[] = {{255, true, "Inactive sensor"}, {120, true, "Rail sensor"}, {104, false, "Unknown sensor"}};
    wxString out;
    for (const auto& t : types) {
        EXPECT_EQ(Sensor::getSensorTypeString(static_cast<Sensors::SensorDeviceType>(t.type), out), t.known) << t.type;
        EXPECT_EQ(out, t.text);
    }
    for (const auto& i : ids) {
        EXPECT_EQ(Sensor::getSensorIDString(static_cast<unsigned char>(i.type), out), i.known) << i.type;
        EXPECT_EQ(out, i.text);
    }
}

TEST(SensorBase, SendingNeedsASensorIdAndWarnsWhenNotOk)
{
    LogCapture log;
    Sensor zero(Sensors::SensorManager::getInstance(), 1, 0, Sensors::SDT_G1);
    _TGENERIC_CAN_FRAME frame{};
    EXPECT_EQ(zero.sendMessage(frame, false), -1);
    EXPECT_EQ(log.count(WispLogLevels::Error, "Sensor ID is 0"), 1);
    Sensor five(Sensors::SensorManager::getInstance(), 1, 5, Sensors::SDT_G1);
    EXPECT_EQ(five.sendMessage(frame, false), 0) << "handed to the manager, which has no adapter";
    EXPECT_EQ(log.count(WispLogLevels::Warning, "Sensor is not ok (5)"), 1);
}
