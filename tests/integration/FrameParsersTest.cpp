// Which sensor a received frame reaches: the identifier rules of the make parsers, the order of the
// default chain, and the parser lists built from a keyword text.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

#include "DT500Sensor.h"
#include "EngconTiltrotatorSensor.h"
#include "FrameParsers.h"
#include "Frames.h"
#include "MDS2000IO.h"
#include "NMEA2KHeadingSensor.h"
#include "RototiltSensor.h"
#include "SensorManager.h"
#include "SlopeSensor.h"
#include "TestAdapter.h"
#include "TiltSensorG1.h"

using namespace Sensors;

namespace {

RxCANFrameT rxFrame(uint32_t id, bool ext, std::vector<uint8_t> data, bool createAllowed)
{
    RxCANFrameT rx;
    std::memset(&rx, 0, sizeof rx);
    rx.frame.header.id = id;
    rx.frame.header.ext = ext ? 1 : 0;
    rx.frame.header.dlc = static_cast<uint16_t>(data.size());
    std::memcpy(rx.frame.data, data.data(), data.size());
    rx.time = SensorManager::getTickCount();
    rx.cuaId = 1;
    rx.createAllowed = createAllowed;
    return rx;
}

Sensor* live(TestAdapter& a, unsigned char id, SensorDeviceType type) { return a.device()->getSensor(id, type, false); }

// Frames the live sensor has taken, or -1 when the adapter has no such sensor.
int taken(TestAdapter& a, unsigned char id, SensorDeviceType type)
{
    Sensor* s = live(a, id, type);
    return s ? s->getMessageCount() : -1;
}

const std::vector<uint8_t> kTiltData = {100, 0, 0xFE, 0xFF, 0x2C, 0x01, 0x00, 0x80};  // 100, -2, 300, -32768

PARSE_RESULT recordExternal(void* frame, void*, void* context)
{
    static_cast<std::vector<uint32_t>*>(context)->push_back(static_cast<RxCANFrameT*>(frame)->frame.header.id);
    return PARSE_RESULT_OK;
}

}  // namespace

TEST(FrameParsers, IdentifierRulesDecideWhichSensorTakesAFrame)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    SensorManager* m = SensorManager::getInstance();
    // The two J1939 identifiers below fit the maker's layout as tilt sensors 1 and 16.
    for (unsigned char id : {1, 16})
        ASSERT_TRUE(a.device()->addSensor(new TiltSensorG1(m, a.cuaId(), id)));
    ASSERT_TRUE(a.device()->addSensor(new Sensor(m, a.cuaId(), 5, 0)));
    const std::vector<uint8_t> kRotator = {0x80, 0x7A, 0, 0, 0, 0, 0, 0}, kDistance = {1, 0, 0, 0, 0x10, 0x27, 0, 0},
                               kTim = {1, 0x01, 0xD2, 0x04, 0xE1, 0x10};
    // In order: {identifier, extended, data, sensor id, type, frames it has taken after (-1: no sensor)}.
    const struct {
        uint32_t id;
        bool ext;
        std::vector<uint8_t> data;
        unsigned char sensor;
        SensorDeviceType type;
        int taken;
    } rows[] = {
        {0x0DF01001, true, kTiltData, 1, SDT_G1, 0}, {0x0DF01010, true, kTiltData, 16, SDT_G1, 0},  // J1939, not maker
        {makerId(3, 0, 16, 1) | 1u << 17, true, kTiltData, 1, SDT_G1, 0},  // any of bits 15-17 or the error bit
        {makerId(3, 0, 16, 1) | 0x80u, true, kTiltData, 1, SDT_G1, 0},
        {makerId(3, 0, 0, 5), true, kTiltData, 5, SensorDeviceType(0), 0},  // device type 0 reaches no sensor
        {0x501, false, {1, 1}, 1, SDT_G1, 0},  // a standard identifier in the maker's layout creates nothing
        {makerId(3, 0, 16, 1), true, kTiltData, 1, SDT_G1, 1},
        // Engcon from two source addresses and Rototilt: two sensors with the same id 131.
        {0x18FFB930, true, kRotator, 131, SDT_UPROP, 1}, {0x0CFFB9A2, true, kRotator, 131, SDT_UPROP, 2},
        {0x0CFF2ADC, true, {0x34, 0x08, 0x6C, 0x07, 0x54, 0x0B}, 131, SDT_ROTOTILT, 1},
        // The CANopen encoder's 416 is compared as a whole, standard or extended.
        {416, false, {0x00, 0x06, 0, 0}, 32, SDT_CANOPEN_ENCODER, 1},
        {416, true, {0x01, 0x06, 0, 0}, 32, SDT_CANOPEN_ENCODER, 2},
        // NMEA 2000 heading from any source and data page; a neighbouring PS is not a heading.
        {0x08F11201, true, {0, 0x20, 0x4E, 0, 0, 0, 0, 0}, 200, SDT_NMEA2K_HEADING, 1},
        {0x09F11380, true, {0, 0x10, 0x27, 0, 0, 0, 0, 0}, 200, SDT_NMEA2K_HEADING, 1},
        // SICK and Sandvik TIM answer standard identifiers only.
        {46, true, kDistance, 46, SDT_DT500, -1}, {1904, true, kTim, 117, SDT_SANDVIK_TIM, -1},
        {46, false, kDistance, 46, SDT_DT500, 1}, {1904, false, kTim, 117, SDT_SANDVIK_TIM, 1},
    };
    for (const auto& r : rows) {
        ASSERT_TRUE(a.receive(r.id, r.ext, r.data));
        EXPECT_EQ(taken(a, r.sensor, r.type), r.taken) << std::hex << r.id << (r.ext ? " ext" : "");
    }
    EXPECT_NE(dynamic_cast<EngconTiltrotatorSensor*>(live(a, 131, SDT_UPROP)), nullptr);
    EXPECT_NE(dynamic_cast<RototiltSensor*>(live(a, 131, SDT_ROTOTILT)), nullptr);

    // Moba: standard 562 and extended 559 and 565 are nobody's; extended 560 to 564 feed the
    // protocol object and then the controller, the first of them creating both.
    const std::vector<uint8_t> kMoba = {0x00, 10, 0x00, 0x19, 0xFF, 0xFF, 0xFF, 0xFF};
    for (const auto& f : {std::make_pair(562u, false), std::make_pair(559u, true), std::make_pair(565u, true)})
        ASSERT_TRUE(a.receive(f.first, f.second, kMoba));
    EXPECT_EQ(a.device()->getSensorCount(), 3 + 6) << "no more sensors than the rows name";
    for (uint32_t id = 560; id <= 564; ++id) {
        ASSERT_TRUE(a.receive(id, true, kMoba));
        EXPECT_EQ(taken(a, 91, SDT_MOBA_PROTOCOL), static_cast<int>(id - 559)) << id;
        EXPECT_NE(live(a, 90, SDT_CONTROLLER), nullptr) << id;
    }
    // The controller state frame makes it run, so that it reads the flags that follow.
    ASSERT_TRUE(a.receive(1, false, {1, 0, 0}));
    auto* io = dynamic_cast<MDS2000IO*>(live(a, 90, SDT_CONTROLLER));
    ASSERT_NE(io, nullptr);
    EXPECT_EQ(io->getState(), MDS2000IO::STATE_OK);

    // 109 and 111 feed the drill depth sensor and then the controller; the first stage does not
    // look at the extended flag. 101 feeds the depth sensor and then the slope unit.
    ASSERT_TRUE(a.receive(109, false, {0, 0, 0, 0, 1, 0}));
    EXPECT_NE(live(a, 117, SDT_DEPTH), nullptr);
    EXPECT_TRUE(io->flag109);
    ASSERT_TRUE(a.receive(111, false, {0, 0, 0, 0, 1}));
    EXPECT_TRUE(io->flag111);
    ASSERT_TRUE(a.receive(109, true, {0, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(io->flag109);
    ASSERT_TRUE(a.receive(101, false, {0, 0, 0, 0, 0}));
    EXPECT_EQ(taken(a, 120, SDT_SLOPE), 1);

    // DSM500 units: process data, SDO answers and requests and heartbeats of nodes 11 to 29, 60
    // and 69, standard identifiers only. {identifier, extended, claimed by the unit id & 0x7F}
    const struct { uint32_t id; bool ext; bool claimed; } cases[] = {
        {0x18B, false, true}, {0x18A, false, false}, {0x19D, false, true}, {0x19E, false, false},
        {0x1BC, false, true}, {0x1C5, false, true}, {0x58C, false, true}, {0x60D, false, true},
        {0x70E, false, true}, {0x28F, false, false}, {0x68F, false, false}, {0x18F, true, false},
    };
    const int count = a.device()->getSensorCount();
    for (const auto& c : cases) {
        ASSERT_TRUE(a.receive(c.id, c.ext, {0xE8, 0x03, 0xF4, 0x01, 0x00, 0x00, 60, 0x00}));
        EXPECT_EQ(live(a, c.id & 0x7F, SDT_DSM500_UNIT) != nullptr, c.claimed)
            << std::hex << c.id << (c.ext ? " ext" : "");
    }
    EXPECT_EQ(a.device()->getSensorCount(), count + 7) << "no other make claims these";
}

TEST(FrameParsers, WhatTheMakerParserLeavesToTheParsersAfterIt)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    SensorManager* m = SensorManager::getInstance();
    // A device type the maker parser cannot create (20) is left to the parsers after it.
    RxCANFrameT other = rxFrame(makerId(1, 0, 20, 3), true, {1, 2}, true);
    EXPECT_EQ(parseQuillardSensorMsg(&other, a.device(), m), PARSE_RESULT_UNKNOWN);
    other.createAllowed = false;
    EXPECT_EQ(parseQuillardSensorMsg(&other, a.device(), m), PARSE_RESULT_SENSOR_MISSING)
        << "in the callback the parser cannot yet tell";
    EXPECT_EQ(a.device()->getSensorCount(), 0);

    // Extended 562 fits the maker's layout as type 2, number 50: the maker parser comes first and
    // serves an existing sensor of that pair whatever its class, so no Moba object appears.
    auto* plain = new Sensor(m, a.cuaId(), 50, 2);
    ASSERT_TRUE(a.device()->addSensor(plain));
    ASSERT_TRUE(a.receive(562, true, {0x00, 30, 0x00, 0x02, 0x2A, 0, 0, 0}));
    EXPECT_EQ(std::make_tuple(plain->getMessageCount(), live(a, 91, SDT_MOBA_PROTOCOL)), std::make_tuple(1, nullptr));
}

TEST(FrameParsers, ParserStringReplacesTheParsersOfOneAdapter)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    SensorManager* m = SensorManager::getInstance();
    const int cua = a.cuaId();
    // One sensor that only each keyword's parser serves, and a frame for it.
    for (Sensor* s : std::initializer_list<Sensor*>{new TiltSensorG1(m, cua, 1), new SlopeSensor(m, cua, 120),
             new RototiltSensor(m, cua, 131), new NMEA2KHeadingSensor(m, cua, 200), new DT500Sensor(m, cua, 46)})
        ASSERT_TRUE(a.device()->addSensor(s));
    const struct { const char* keyword; unsigned char id; SensorDeviceType type; uint32_t frameId; bool ext;
                   std::vector<uint8_t> data; } makes[] = {
        {"QUIL", 1, SDT_G1, makerId(3, 0, 16, 1), true, kTiltData},
        {"Moba", 120, SDT_SLOPE, 104, false, {0, 0, 0, 0, 0, 0, 0}},
        {"steelWRIST", 131, SDT_ROTOTILT, 0x0CFF2ADC, true, {0xD0, 0x07, 0xD0, 0x07, 0xD0, 0x07}},
        {"gnss", 200, SDT_NMEA2K_HEADING, 0x09F11280, true, {0, 0x10, 0x27, 0, 0, 0, 0, 0}},
    };
    auto feedAll = [&] {
        for (const auto& k : makes)
            EXPECT_TRUE(a.receive(k.frameId, k.ext, k.data));
    };
    // Each keyword alone: only its make is served, and the default chain (which would serve the DT500) is gone.
    for (const auto& keyword : makes) {
        SCOPED_TRACE(keyword.keyword);
        m->processParserString(cua, wxString::FromUTF8(keyword.keyword));
        feedAll();
        ASSERT_TRUE(a.receive(46, false, {1, 0, 0, 0, 0x10, 0x27, 0, 0}));
        for (const auto& k : makes)
            EXPECT_EQ(taken(a, k.id, k.type), &k <= &keyword ? 1 : 0) << k.keyword << " after each keyword once";
        EXPECT_EQ(taken(a, 46, SDT_DT500), 0);
    }

    // moba|GNSS: both lists emptied, then the Moba parser and the NMEA 2000 parser in that order.
    std::vector<uint32_t> seen;
    a.device()->addExternalParser(recordExternal, &seen);
    m->processParserString(cua, wxT("moba|GNSS"));
    const int slope = taken(a, 120, SDT_SLOPE), heading = taken(a, 200, SDT_NMEA2K_HEADING);
    feedAll();
    EXPECT_EQ(taken(a, 120, SDT_SLOPE), slope + 1);
    EXPECT_EQ(taken(a, 200, SDT_NMEA2K_HEADING), heading) << "the Moba parser answers first";
    EXPECT_TRUE(seen.empty());
    m->processParserString(cua, wxT("GNSS|moba"));
    feedAll();
    EXPECT_EQ(std::make_tuple(taken(a, 120, SDT_SLOPE), taken(a, 200, SDT_NMEA2K_HEADING)),
              std::make_tuple(slope + 1, heading + 1));

    // Unknown and empty tokens add nothing, and "moba " is not "moba".
    m->processParserString(cua, wxT("foo||moba |bar"));
    ASSERT_TRUE(a.receive(104, false, {0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(taken(a, 120, SDT_SLOPE), slope + 1);

    // Naming no adapter of ours leaves our lists alone.
    m->processParserString(cua, wxT("moba"));
    m->processParserString(cua + 7, wxT("GNSS"));
    ASSERT_TRUE(a.receive(104, false, {0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(taken(a, 120, SDT_SLOPE), slope + 2);
}
