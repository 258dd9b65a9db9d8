// Which sensor a received frame reaches: the identifier rules of the make parsers, the order of the
// default chain, creation on the manager's pass, and the parser lists built from a keyword text.
#include <gtest/gtest.h>

#include <cstring>
#include <iostream>
#include <sstream>
#include <vector>

#include "CANopenEncoderSensor.h"
#include "DSM500SensorComponent.h"
#include "DT500Sensor.h"
#include "DummyBus.h"
#include "EngconTiltrotatorSensor.h"
#include "FrameParsers.h"
#include "MDS2000IO.h"
#include "MobaCommProtocol.h"
#include "NMEA2KHeadingSensor.h"
#include "RototiltSensor.h"
#include "SensorManager.h"
#include "SlopeSensor.h"
#include "TestAdapter.h"
#include "TiltSensorG1.h"

using namespace Sensors;

namespace {

// The maker's 29-bit identifier from its fields.
uint32_t makerId(uint32_t msg, uint32_t cmd, uint32_t devType, uint32_t devNumber)
{
    return (msg << 21) | (cmd << 18) | (devType << 8) | devNumber;
}

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

Sensor* live(TestAdapter& a, unsigned char id, SensorDeviceType type)
{
    return a.device()->getSensor(id, type, false);
}

// Frames the live sensor has taken, or -1 when the adapter has no such sensor.
int taken(TestAdapter& a, unsigned char id, SensorDeviceType type)
{
    Sensor* s = live(a, id, type);
    return s ? s->getMessageCount() : -1;
}

const std::vector<uint8_t> kTiltData = {100, 0, 0xFE, 0xFF, 0x2C, 0x01, 0x00, 0x80};  // 100, -2, 300, -32768

void expectFastRaw(TestAdapter& a, unsigned char id)
{
    auto* g = dynamic_cast<TiltSensorG1*>(live(a, id, SDT_G1));
    ASSERT_NE(g, nullptr) << "tilt sensor " << int(id);
    const TiltValue v = g->getValue(FAST, RAW);
    EXPECT_EQ(v.x, 100);
    EXPECT_EQ(v.y, -2);
    EXPECT_EQ(v.z, 300);
    EXPECT_EQ(v.w, -32768);
}

// Records the position of every parser called; the context is the record.
template <int N, PARSE_RESULT R>
PARSE_RESULT fakeParser(void*, void*, void* context)
{
    static_cast<std::vector<int>*>(context)->push_back(N);
    return R;
}

class CerrCapture {
public:
    CerrCapture() : saved_(std::cerr.rdbuf(text_.rdbuf())) {}
    ~CerrCapture() { std::cerr.rdbuf(saved_); }
    std::string text() const { return text_.str(); }

private:
    std::ostringstream text_;
    std::streambuf* saved_;
};

struct Seen {
    std::vector<uint32_t> ids;
};

PARSE_RESULT recordExternal(void* frame, void*, void* context)
{
    static_cast<Seen*>(context)->ids.push_back(static_cast<RxCANFrameT*>(frame)->frame.header.id);
    return PARSE_RESULT_OK;
}

std::vector<uint32_t> g_handled;
bool recordHandled(void* frame, void*)
{
    g_handled.push_back(static_cast<RxCANFrameT*>(frame)->frame.header.id);
    return true;
}

bool logHas(TestAdapter& a, unsigned int index, const char* text)
{
    return a.device()->getDeviceLog(index).EndsWith(wxString::FromUTF8(text));
}

}  // namespace

TEST(FrameParsers, MakerFramesAreOnlyExtendedUnflaggedFramesOutsideTheJ1939Lookalikes)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    SensorManager* m = SensorManager::getInstance();
    // The two J1939 identifiers decode, in the maker's layout, to tilt sensors 1 and 16.
    for (uint32_t id : {0x0DF01001u, 0x0DF01010u}) {
        _TGENERIC_CAN_FRAME f{};
        f.header.id = id;
        const _TQUIL1G5_CAN_FRAME* q = SensorManager::GenMsg2Quil_InPlace(&f);
        ASSERT_EQ(q->header.devType, SDT_G1);
        ASSERT_EQ(q->header.err, 0);
        ASSERT_EQ(q->header.devNumber, id == 0x0DF01001u ? 1 : 16);
    }
    ASSERT_TRUE(a.device()->addSensor(new TiltSensorG1(m, a.cuaId(), 1)));
    ASSERT_TRUE(a.device()->addSensor(new TiltSensorG1(m, a.cuaId(), 16)));

    ASSERT_TRUE(a.receive(0x0DF01001, true, kTiltData));
    ASSERT_TRUE(a.receive(0x0DF01010, true, kTiltData));
    EXPECT_EQ(taken(a, 1, SDT_G1), 0);
    EXPECT_EQ(taken(a, 16, SDT_G1), 0);

    // Any of bits 15 to 17, or the error bit, makes it no maker frame.
    for (int bit : {15, 16, 17}) {
        ASSERT_TRUE(a.receive(makerId(3, 0, 16, 1) | (1u << bit), true, kTiltData));
        EXPECT_EQ(taken(a, 1, SDT_G1), 0) << "bit " << bit;
    }
    ASSERT_TRUE(a.receive(makerId(3, 0, 16, 1) | 0x80u, true, kTiltData));
    EXPECT_EQ(taken(a, 1, SDT_G1), 0) << "error bit";

    // Device type 0 reaches no sensor, not even one registered with that type; standard
    // identifiers in the maker's layout (0x501: simulator client 1) create nothing.
    auto* typeZero = new Sensor(m, a.cuaId(), 5, 0);
    ASSERT_TRUE(a.device()->addSensor(typeZero));
    ASSERT_TRUE(a.receive(makerId(3, 0, 0, 5), true, kTiltData));
    EXPECT_EQ(typeZero->getMessageCount(), 0);
    ASSERT_TRUE(a.receive(0x501, false, {1, 1}));
    EXPECT_EQ(a.device()->getSensorCount(), 3);

    // The proper frame is served and decoded.
    ASSERT_TRUE(a.receive(makerId(3, 0, 16, 1), true, kTiltData));
    EXPECT_EQ(taken(a, 1, SDT_G1), 1);
    expectFastRaw(a, 1);
    EXPECT_EQ(a.device()->getSensorCount(), 3);
}

TEST(FrameParsers, SensorsAreCreatedOnlyOnTheManagersPass)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    SensorManager* m = SensorManager::getInstance();
    Seen seen;
    a.device()->addExternalParser(recordExternal, &seen);

    // In the library's callback with an empty ring: queued, created when the pass takes it out.
    ASSERT_TRUE(DummyBus::instance().inject(a.name(), makerId(3, 0, 16, 7), true, kTiltData));
    ASSERT_TRUE(DummyBus::instance().waitDelivered(a.name()));
    EXPECT_EQ(a.device()->getRxBufferCount(), 1);
    EXPECT_EQ(a.device()->getSensorCount(), 0);
    a.pass();
    EXPECT_EQ(a.device()->getRxBufferCount(), 0);
    EXPECT_EQ(taken(a, 7, SDT_G1), 1);
    expectFastRaw(a, 7);
    EXPECT_EQ(seen.ids.size(), 2u) << "claimed in the callback and again from the ring";

    // The same through the default parser directly: SENSOR_MISSING and queued; the frame of an
    // existing sensor is parsed at once.
    RxCANFrameT rx = rxFrame(makerId(3, 0, 16, 8), true, kTiltData, false);
    EXPECT_EQ(parseDefault(&rx, a.device(), m), PARSE_RESULT_SENSOR_MISSING);
    EXPECT_EQ(a.device()->getRxBufferCount(), 1);
    EXPECT_EQ(live(a, 8, SDT_G1), nullptr);
    a.pass();
    EXPECT_EQ(taken(a, 8, SDT_G1), 1);
    rx.frame.header.id = makerId(3, 0, 16, 7);
    EXPECT_EQ(parseDefault(&rx, a.device(), m), PARSE_RESULT_OK);
    EXPECT_EQ(a.device()->getRxBufferCount(), 0);
    EXPECT_EQ(taken(a, 7, SDT_G1), 2);

    // A device type the maker parser cannot create (20) is left to the parsers after it.
    RxCANFrameT other = rxFrame(makerId(1, 0, 20, 3), true, {1, 2}, true);
    EXPECT_EQ(parseQuillardSensorMsg(&other, a.device(), m), PARSE_RESULT_UNKNOWN);
    EXPECT_EQ(parseDefault(&other, a.device(), m), PARSE_RESULT_UNKNOWN);
    other.createAllowed = false;
    EXPECT_EQ(parseQuillardSensorMsg(&other, a.device(), m), PARSE_RESULT_SENSOR_MISSING)
        << "in the callback the parser cannot yet tell";
    EXPECT_EQ(a.device()->getSensorCount(), 2);

    // Extended 562 fits the maker's layout as type 2, number 50: the maker parser comes first and
    // serves an existing sensor of that pair whatever its class, so no Moba object appears.
    auto* plain = new Sensor(m, a.cuaId(), 50, 2);
    ASSERT_TRUE(a.device()->addSensor(plain));
    ASSERT_TRUE(a.receive(562, true, {0x00, 30, 0x00, 0x02, 0x2A, 0, 0, 0}));
    EXPECT_EQ(plain->getMessageCount(), 1);
    EXPECT_EQ(live(a, 91, SDT_MOBA_PROTOCOL), nullptr);
}

TEST(FrameParsers, MobaStagesCombinedFramesAndCANopenNodes)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());

    ASSERT_TRUE(a.receive(105, false, {0, 0, 0, 0, 0}));
    ASSERT_TRUE(a.receive(562, false, {0x00, 10, 0x00, 0x19, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(a.device()->getSensorCount(), 0) << "standard 105 and 562 are nobody's";

    // Extended 562 feeds the protocol object and then the controller, creating both.
    ASSERT_TRUE(a.receive(562, true, {0x00, 10, 0x00, 0x19, 0xFF, 0xFF, 0xFF, 0xFF}));
    auto* moba = dynamic_cast<MobaCommProtocol*>(live(a, 91, SDT_MOBA_PROTOCOL));
    ASSERT_NE(moba, nullptr);
    EXPECT_EQ(moba->GetCopyOfValues().at(10).GetValue(), -1.0);
    EXPECT_NE(dynamic_cast<MDS2000IO*>(live(a, 90, SDT_CONTROLLER)), nullptr);
    EXPECT_EQ(a.device()->getSensorCount(), 2);

    // The controller state frame makes it run, so that it reads the flags that follow.
    ASSERT_TRUE(a.receive(1, false, {1, 0, 0}));
    auto* io = dynamic_cast<MDS2000IO*>(live(a, 90, SDT_CONTROLLER));
    ASSERT_NE(io, nullptr);
    EXPECT_EQ(io->getState(), MDS2000IO::STATE_OK);

    // 109 and 111 feed the drill depth sensor and then the controller.
    ASSERT_TRUE(a.receive(109, false, {0, 0, 0, 0, 1, 0}));
    EXPECT_NE(live(a, 117, SDT_DEPTH), nullptr);
    EXPECT_TRUE(io->flag109);
    ASSERT_TRUE(a.receive(111, false, {0, 0, 0, 0, 1}));
    EXPECT_TRUE(io->flag111);
    // The first stage does not look at the extended flag.
    ASSERT_TRUE(a.receive(109, true, {0, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(io->flag109);

    // 101 feeds the depth sensor and then the slope unit.
    ASSERT_TRUE(a.receive(101, false, {0, 0, 0, 0, 0}));
    auto* slope = dynamic_cast<SlopeSensor*>(live(a, 120, SDT_SLOPE));
    ASSERT_NE(slope, nullptr);
    EXPECT_TRUE(slope->isUnitOk());

    // DSM500 units: process data, SDO answers and requests and heartbeats of nodes 11 to 29, 60
    // and 69, standard identifiers only.
    struct Case {
        uint32_t id;
        bool ext;
        int node;  // -1: not claimed
    };
    const Case cases[] = {
        {0x18B, false, 11}, {0x18A, false, -1}, {0x19D, false, 29}, {0x19E, false, -1}, {0x1BC, false, 60},
        {0x1BB, false, -1}, {0x1C5, false, 69}, {0x1C6, false, -1}, {0x58C, false, 12}, {0x60D, false, 13},
        {0x70E, false, 14}, {0x28F, false, -1}, {0x68F, false, -1}, {0x18F, true, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.id << (c.ext ? " ext" : ""));
        const int count = a.device()->getSensorCount();
        ASSERT_TRUE(a.receive(c.id, c.ext, {0xE8, 0x03, 0xF4, 0x01, 0x00, 0x00, 60, 0x00}));
        if (c.node < 0) {
            EXPECT_EQ(a.device()->getSensorCount(), count);
        } else {
            EXPECT_EQ(a.device()->getSensorCount(), count + 1);
            EXPECT_NE(dynamic_cast<DSM500SensorComponent*>(live(a, c.node, SDT_DSM500_UNIT)), nullptr);
        }
    }
    auto* unit = dynamic_cast<DSM500SensorComponent*>(live(a, 11, SDT_DSM500_UNIT));
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(unit->getMessageCount(), 1);
}

TEST(FrameParsers, TiltrotatorJ1939AndFixedIdentifierMakes)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());

    // Engcon from two source addresses and Rototilt: two sensors with the same id 131.
    ASSERT_TRUE(a.receive(0x18FFB930, true, {0x80, 0x7A, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(a.receive(0x0CFFB9A2, true, {0x80, 0x7A, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(a.receive(0x0CFF2ADC, true, {0x34, 0x08, 0x6C, 0x07, 0x54, 0x0B}));
    EXPECT_EQ(a.device()->getSensorCount(), 2);
    EXPECT_EQ(taken(a, 131, SDT_UPROP), 2);
    EXPECT_EQ(taken(a, 131, SDT_ROTOTILT), 1);
    EXPECT_NE(dynamic_cast<EngconTiltrotatorSensor*>(live(a, 131, SDT_UPROP)), nullptr);
    auto* rototilt = dynamic_cast<RototiltSensor*>(live(a, 131, SDT_ROTOTILT));
    ASSERT_NE(rototilt, nullptr);
    EXPECT_DOUBLE_EQ(rototilt->GetRotationAngle(), 90.0);

    // The CANopen encoder's 416 is compared as a whole, standard or extended.
    ASSERT_TRUE(a.receive(416, false, {0x00, 0x06, 0, 0}));
    ASSERT_TRUE(a.receive(416, true, {0x01, 0x06, 0, 0}));
    auto* encoder = dynamic_cast<CANopenEncoderSensor*>(live(a, 32, SDT_CANOPEN_ENCODER));
    ASSERT_NE(encoder, nullptr);
    EXPECT_EQ(encoder->getMessageCount(), 2);
    EXPECT_EQ(encoder->getRotationPulseCount(), 1537);

    // NMEA 2000 heading from any source and data page; a neighbouring PS is not a heading.
    ASSERT_TRUE(a.receive(0x09F11280, true, {0, 0x10, 0x27, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(a.receive(0x08F11201, true, {0, 0x20, 0x4E, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(a.receive(0x09F11380, true, {0, 0x10, 0x27, 0, 0, 0, 0, 0}));
    auto* heading = dynamic_cast<NMEA2KHeadingSensor*>(live(a, 200, SDT_NMEA2K_HEADING));
    ASSERT_NE(heading, nullptr);
    EXPECT_EQ(heading->getMessageCount(), 2);
    EXPECT_NEAR(heading->getHeading(), 2.0, 1e-12);

    // SICK and Sandvik TIM answer standard identifiers only.
    const int count = a.device()->getSensorCount();
    ASSERT_TRUE(a.receive(46, true, {1, 0, 0, 0, 0x10, 0x27, 0, 0}));
    ASSERT_TRUE(a.receive(1904, true, {1, 0x01, 0xD2, 0x04, 0xE1, 0x10}));
    EXPECT_EQ(a.device()->getSensorCount(), count);
    ASSERT_TRUE(a.receive(46, false, {1, 0, 0, 0, 0x10, 0x27, 0, 0}));
    ASSERT_TRUE(a.receive(1904, false, {1, 0x01, 0xD2, 0x04, 0xE1, 0x10}));
    EXPECT_EQ(taken(a, 46, SDT_DT500), 1);
    EXPECT_EQ(taken(a, 117, SDT_SANDVIK_TIM), 1);
    EXPECT_EQ(a.device()->getSensorCount(), count + 2);
}

TEST(FrameParsers, DefaultChainStopsAtTheFirstAnswerAndReportsErrorsByPosition)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    RxCANFrameT rx = rxFrame(0x123, false, {1}, false);
    CerrCapture err;
    std::vector<int> calls;

    const QCANParserFunction erring[] = {fakeParser<0, PARSE_RESULT_UNKNOWN>, fakeParser<1, PARSE_RESULT_UNKNOWN>,
                                         fakeParser<2, PARSE_RESULT_ERROR>, fakeParser<3, PARSE_RESULT_OK>};
    EXPECT_EQ(parseInOrder(erring, 4, &rx, a.device(), &calls), PARSE_RESULT_ERROR);
    EXPECT_EQ(calls, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(err.text(), "PARSE_RESULT_ERROR: 2\n");

    calls.clear();
    const QCANParserFunction ok[] = {fakeParser<0, PARSE_RESULT_UNKNOWN>, fakeParser<3, PARSE_RESULT_OK>,
                                     fakeParser<2, PARSE_RESULT_ERROR>};
    EXPECT_EQ(parseInOrder(ok, 3, &rx, a.device(), &calls), PARSE_RESULT_OK);
    EXPECT_EQ(calls, (std::vector<int>{0, 3}));

    calls.clear();
    const QCANParserFunction none[] = {fakeParser<0, PARSE_RESULT_UNKNOWN>, fakeParser<1, PARSE_RESULT_UNKNOWN>};
    EXPECT_EQ(parseInOrder(none, 2, &rx, a.device(), &calls), PARSE_RESULT_UNKNOWN);
    EXPECT_EQ(calls, (std::vector<int>{0, 1}));
    EXPECT_EQ(a.device()->getRxBufferCount(), 0);

    // A missing sensor ends the chain; from the callback the frame is queued, from the ring not.
    calls.clear();
    const QCANParserFunction missing[] = {fakeParser<4, PARSE_RESULT_SENSOR_MISSING>, fakeParser<3, PARSE_RESULT_OK>};
    EXPECT_EQ(parseInOrder(missing, 2, &rx, a.device(), &calls), PARSE_RESULT_SENSOR_MISSING);
    EXPECT_EQ(calls, (std::vector<int>{4}));
    EXPECT_EQ(a.device()->getRxBufferCount(), 1);
    a.device()->clearRxBuffer();
    rx.createAllowed = true;
    EXPECT_EQ(parseInOrder(missing, 2, &rx, a.device(), &calls), PARSE_RESULT_SENSOR_MISSING);
    EXPECT_EQ(a.device()->getRxBufferCount(), 0);

    // Null arguments are errors of the call, not of a parser: nothing is written.
    for (QCANParserFunction f : {parseDefault, parseQuillardSensorMsg, parseMobaSensorMsg, parseSteelwristSensorMsg,
                                 parseNMEA2KSensorMsg, parseSICKSensorMsg, parseSandvikTIMSensorMsg}) {
        EXPECT_EQ(f(nullptr, a.device(), nullptr), PARSE_RESULT_ERROR);
        EXPECT_EQ(f(&rx, nullptr, nullptr), PARSE_RESULT_ERROR);
    }
    EXPECT_EQ(err.text(), "PARSE_RESULT_ERROR: 2\n");
}

TEST(FrameParsers, ParserStringReplacesTheParsersOfOneAdapter)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    SensorManager* m = SensorManager::getInstance();
    const int cua = a.cuaId();
    // One sensor that only each keyword's parser serves, and a frame for it.
    ASSERT_TRUE(a.device()->addSensor(new TiltSensorG1(m, cua, 1)));
    ASSERT_TRUE(a.device()->addSensor(new SlopeSensor(m, cua, 120)));
    ASSERT_TRUE(a.device()->addSensor(new RototiltSensor(m, cua, 131)));
    ASSERT_TRUE(a.device()->addSensor(new NMEA2KHeadingSensor(m, cua, 200)));
    ASSERT_TRUE(a.device()->addSensor(new DT500Sensor(m, cua, 46)));
    struct Make {
        const char* keyword;
        unsigned char id;
        SensorDeviceType type;
        uint32_t frameId;
        bool ext;
        std::vector<uint8_t> data;
    };
    const Make makes[] = {
        {"QUIL", 1, SDT_G1, makerId(3, 0, 16, 1), true, kTiltData},
        {"Moba", 120, SDT_SLOPE, 104, false, {0, 0, 0, 0, 0, 0, 0}},
        {"steelWRIST", 131, SDT_ROTOTILT, 0x0CFF2ADC, true, {0xD0, 0x07, 0xD0, 0x07, 0xD0, 0x07}},
        {"gnss", 200, SDT_NMEA2K_HEADING, 0x09F11280, true, {0, 0x10, 0x27, 0, 0, 0, 0, 0}},
    };
    auto feedAll = [&] {
        for (const Make& k : makes)
            EXPECT_TRUE(a.receive(k.frameId, k.ext, k.data));
    };
    // Each keyword alone: only its make is served, and the default chain (which would serve the
    // DT500) is gone.
    for (const Make& keyword : makes) {
        SCOPED_TRACE(keyword.keyword);
        std::vector<int> before;
        for (const Make& k : makes)
            before.push_back(taken(a, k.id, k.type));
        m->processParserString(cua, wxString::FromUTF8(keyword.keyword));
        feedAll();
        ASSERT_TRUE(a.receive(46, false, {1, 0, 0, 0, 0x10, 0x27, 0, 0}));
        for (size_t i = 0; i < 4; ++i)
            EXPECT_EQ(taken(a, makes[i].id, makes[i].type), before[i] + (&makes[i] == &keyword ? 1 : 0))
                << makes[i].keyword;
        EXPECT_EQ(taken(a, 46, SDT_DT500), 0);
    }

    // moba|GNSS: both lists emptied, then the Moba parser and the NMEA 2000 parser in that order.
    Seen seen;
    a.device()->addExternalParser(recordExternal, &seen);
    m->processParserString(cua, wxT("moba|GNSS"));
    EXPECT_TRUE(logHas(a, 0, "Register custom message parser"));
    EXPECT_TRUE(logHas(a, 1, "Register custom message parser"));
    EXPECT_TRUE(logHas(a, 2, "Delete message parsers"));
    const int slope = taken(a, 120, SDT_SLOPE);
    const int heading = taken(a, 200, SDT_NMEA2K_HEADING);
    feedAll();
    EXPECT_EQ(taken(a, 120, SDT_SLOPE), slope + 1);
    EXPECT_EQ(taken(a, 200, SDT_NMEA2K_HEADING), heading) << "the Moba parser answers first";
    EXPECT_TRUE(seen.ids.empty());
    m->processParserString(cua, wxT("GNSS|moba"));
    feedAll();
    EXPECT_EQ(taken(a, 120, SDT_SLOPE), slope + 1);
    EXPECT_EQ(taken(a, 200, SDT_NMEA2K_HEADING), heading + 1);

    // Unknown and empty tokens add nothing: frames wait in the ring for the manager's pass.
    m->processParserString(cua, wxT("foo||moba |bar"));
    EXPECT_TRUE(logHas(a, 0, "Delete message parsers"));
    ASSERT_TRUE(DummyBus::instance().inject(a.name(), 104, false, {0, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(DummyBus::instance().waitDelivered(a.name()));
    EXPECT_EQ(a.device()->getRxBufferCount(), 1);
    a.pass();
    EXPECT_EQ(taken(a, 120, SDT_SLOPE), slope + 1);

    // "ext" forwards every frame into the manager's shared ring for the named handlers.
    m->clearReceivedMessagesFifo();
    g_handled.clear();
    m->registerParser(wxT("frame-parsers-test"), recordHandled);
    m->processParserString(cua, wxT("Ext"));
    ASSERT_TRUE(a.receive(0x321, false, {1}));
    while (m->processRxBuffer()) {
    }
    EXPECT_EQ(g_handled, (std::vector<uint32_t>{0x321}));

    // No adapter with that id: ours keeps its lists.
    const wxString last = a.device()->getDeviceLog(0);
    m->processParserString(cua + 7, wxT("moba"));
    m->processParserString(cua + 7, wxT(""));
    EXPECT_EQ(a.device()->getDeviceLog(0), last);
    ASSERT_TRUE(a.receive(0x322, false, {1}));
    while (m->processRxBuffer()) {
    }
    m->unregisterParser(wxT("frame-parsers-test"));
    m->clearReceivedMessagesFifo();
    EXPECT_EQ(g_handled, (std::vector<uint32_t>{0x321, 0x322}));
    EXPECT_EQ(taken(a, 120, SDT_SLOPE), slope + 1);
}
