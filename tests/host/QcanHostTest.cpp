// qcan-host run as a user runs it: a process on the simulated excavator, its output parsed.

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <map>
#include <set>
#include <utility>

#include "HostProcess.h"
#include "JsonValue.h"

namespace {

const std::string kSimOnly = "QCAN_ADAPTERS=SIM_EXCAVATOR=sim:excavator";
const double kPi = 3.14159265358979323846;

std::vector<JsonValue> documents(const HostProcess::Result& r)
{
    std::vector<JsonValue> docs;
    for (const std::string& line : HostProcess::lines(r.out))
        docs.push_back(JsonValue::parse(line));  // every line must be a JSON document
    return docs;
}

const JsonValue* findSensor(const JsonValue& doc, int id, int deviceType)
{
    for (const JsonValue& s : doc["sensors"].items())
        if (s["id"].asNumber() == id && s["device_type"].asNumber() == deviceType)
            return &s;
    return nullptr;
}

double norm4(const JsonValue& q)
{
    const double w = q["w"].asNumber(), x = q["x"].asNumber(), y = q["y"].asNumber(), z = q["z"].asNumber();
    return std::sqrt(w * w + x * x + y * y + z * z);
}

// Pitch in degrees of a quaternion with (nearly) no roll and no yaw: 2 atan2(y, w).
double pitchOf(const JsonValue& q)
{
    return 2.0 * std::atan2(q["y"].asNumber(), q["w"].asNumber()) * 180.0 / kPi;
}

double rollOf(const JsonValue& q)
{
    return 2.0 * std::atan2(q["x"].asNumber(), q["w"].asNumber()) * 180.0 / kPi;
}

// Angle in degrees between two orientations given at different scales.
double angleBetween(const JsonValue& a, const JsonValue& b)
{
    const double dot = (a["w"].asNumber() * b["w"].asNumber() + a["x"].asNumber() * b["x"].asNumber() +
                        a["y"].asNumber() * b["y"].asNumber() + a["z"].asNumber() * b["z"].asNumber()) /
                       (norm4(a) * norm4(b));
    return 2.0 * std::acos(std::min(1.0, std::fabs(dot))) * 180.0 / kPi;
}

class QcanHostOnExcavator : public ::testing::Test {
protected:
    // One three-second JSON run shared by the checks of what it shows.
    static void SetUpTestSuite()
    {
        run = new HostProcess::Result(HostProcess::run({"--json", "--duration", "3", "--interval", "250"}, {kSimOnly}));
    }
    static void TearDownTestSuite()
    {
        delete run;
        run = nullptr;
    }
    static HostProcess::Result* run;
};

HostProcess::Result* QcanHostOnExcavator::run = nullptr;

TEST_F(QcanHostOnExcavator, ExitsByItselfWithOneJsonDocumentPerRefresh)
{
    ASSERT_FALSE(run->timedOut);
    EXPECT_EQ(run->exitStatus, 0) << run->err;
    const std::vector<JsonValue> docs = documents(*run);
    // 3 s at 250 ms: 12 intervals, the first refresh at once and the last at the end.
    EXPECT_GE(docs.size(), 12u);
    EXPECT_LE(docs.size(), 14u);
    for (size_t i = 0; i < docs.size(); ++i)
        EXPECT_EQ(docs[i]["seq"].asNumber(), static_cast<double>(i + 1));
    EXPECT_LT(run->elapsedMs, 3000 + 5000 + 3000);  // run + wait for the adapter + disconnect
    EXPECT_GE(run->elapsedMs, 3000);
}

TEST_F(QcanHostOnExcavator, ShowsTheConnectedAdapterAndTheManagersStatus)
{
    const std::vector<JsonValue> docs = documents(*run);
    ASSERT_FALSE(docs.empty());
    const JsonValue& last = docs.back();
    ASSERT_EQ(last["adapters"].items().size(), 1u);
    const JsonValue& a = last["adapters"].items()[0];
    EXPECT_EQ(a["id"].asNumber(), 1);
    EXPECT_EQ(a["name"].asString(), "SIM_EXCAVATOR");
    EXPECT_EQ(a["description"].asString(), "Simulated excavator");
    EXPECT_EQ(a["status"].asString(), "CONNECTED");
    EXPECT_TRUE(a["connected"].asBool());
    EXPECT_EQ(a["baud_kbit"].asNumber(), 250);
    EXPECT_NE(last["status"].asString().find("SIM_EXCAVATOR (1)"), std::string::npos) << last["status"].asString();
    EXPECT_NE(last["status"].asString().find("Sensors total/ok: 11/11"), std::string::npos) << last["status"].asString();
}

TEST_F(QcanHostOnExcavator, ListsEverySimulatedSensorOkWithItsClass)
{
    const std::vector<JsonValue> docs = documents(*run);
    ASSERT_FALSE(docs.empty());
    const JsonValue& last = docs.back();
    const std::map<std::pair<int, int>, std::pair<std::string, std::string>> expected = {
        {{101, 16}, {"TiltSensorG1", "Bucket sensor"}},
        {{102, 16}, {"TiltSensorG1", "Stick sensor"}},
        {{103, 16}, {"TiltSensorG1", "Main boom sensor"}},
        {{105, 16}, {"TiltSensorG1", "Frame sensor"}},
        {{1, 11}, {"GenericPositionSensor", "Unknown sensor"}},
        {{200, 200}, {"NMEA2KHeadingSensor", "Upper carriage rotation sensor"}},
        {{131, 168}, {"EngconTiltrotatorSensor", "Tiltrotator sensor"}},
        {{140, 162}, {"SteelwristJoystickSensor", "Steelwrist"}},
        {{120, 142}, {"SlopeSensor", "Rail sensor"}},
        {{90, 141}, {"MDS2000IO", "MDS2000"}},
        {{46, 46}, {"DT500Sensor", "Distance sensor"}},
    };
    EXPECT_EQ(last["sensors"].items().size(), expected.size());
    for (const auto& e : expected) {
        const JsonValue* s = findSensor(last, e.first.first, e.first.second);
        ASSERT_NE(s, nullptr) << "sensor " << e.first.first << " of type " << e.first.second << " missing";
        EXPECT_EQ((*s)["class"].asString(), e.second.first);
        EXPECT_EQ((*s)["name"].asString(), e.second.second);
        EXPECT_EQ((*s)["adapter"].asNumber(), 1);
        EXPECT_TRUE((*s)["ok"].asBool()) << (*s)["status"].asString();
        EXPECT_EQ((*s)["errors"].asNumber(), 0);
        ASSERT_FALSE((*s)["age_ms"].isNull());
        EXPECT_LT((*s)["age_ms"].asNumber(), 1000) << e.second.second;
        EXPECT_EQ((*s)["status"].asString().substr(0, std::to_string(e.first.first).size() + 1),
                  std::to_string(e.first.first) + ":");
    }
}

TEST_F(QcanHostOnExcavator, TiltStreamsCarryConsistentUnitQuaternions)
{
    const std::vector<JsonValue> docs = documents(*run);
    ASSERT_FALSE(docs.empty());
    for (int id : {101, 102, 103, 105}) {
        const JsonValue* s = findSensor(docs.back(), id, 16);
        ASSERT_NE(s, nullptr);
        const JsonValue& r = (*s)["readings"];
        const JsonValue& fast = r["getOrientation(FAST,CALIBRATED)"];
        const JsonValue& slow = r["getOrientation(SLOW,CALIBRATED)"];
        const JsonValue& raw = r["getOrientation(SLOW,RAW)"];
        EXPECT_NEAR(norm4(fast), 16384.0, 16384.0 * 0.01) << id;
        EXPECT_NEAR(norm4(slow), 16384.0, 16384.0 * 0.01) << id;
        EXPECT_NEAR(norm4(raw), 1073741824.0, 1073741824.0 * 0.01) << id;
        // The 10 Hz streams lag the fast one by at most 100 ms of motion, plus some vibration.
        EXPECT_LT(angleBetween(fast, slow), 8.0) << id;
        EXPECT_LT(angleBetween(fast, raw), 9.0) << id;
        EXPECT_GT(r["getTemperature1"].asNumber(), 1000);
        EXPECT_LT(r["getTemperature1"].asNumber(), 3500);
    }
    // Link angles of a machine at the dig face: boom low, stick and bucket curled, frame level.
    auto fastOf = [&](int id) -> const JsonValue& { return (*findSensor(docs.back(), id, 16))["readings"]["getOrientation(FAST,CALIBRATED)"]; };
    EXPECT_GT(pitchOf(fastOf(103)), -5.0);
    EXPECT_LT(pitchOf(fastOf(103)), 45.0);
    EXPECT_LT(pitchOf(fastOf(101)), -30.0);
    EXPECT_GT(pitchOf(fastOf(105)), 1.0);
    EXPECT_LT(pitchOf(fastOf(105)), 3.0);
    EXPECT_LT(rollOf(fastOf(105)), -0.5);
    EXPECT_GT(rollOf(fastOf(105)), -2.0);
}

TEST_F(QcanHostOnExcavator, OtherDevicesShowPlausibleReadings)
{
    const std::vector<JsonValue> docs = documents(*run);
    ASSERT_FALSE(docs.empty());
    const JsonValue& last = docs.back();

    const JsonValue& gnss = (*findSensor(last, 1, 11))["readings"];
    EXPECT_NEAR(gnss["getLat"].asNumber(), 59.3293, 0.001);
    EXPECT_NEAR(gnss["getLong"].asNumber(), 18.0686, 0.001);
    EXPECT_NEAR(gnss["getX"].asNumber(), 674032.5, 3.0);
    EXPECT_NEAR(gnss["getY"].asNumber(), 6580812.3, 3.0);
    EXPECT_NEAR(gnss["getAlt"].asNumber() - gnss["getZ"].asNumber(), gnss["getHGEOID"].asNumber() / 100.0, 0.001);
    EXPECT_EQ(gnss["getFixQuality"].asNumber(), 4);
    EXPECT_GE(gnss["getSatellites"].asNumber(), 4);
    EXPECT_GE(gnss["getTime"].asNumber(), 70000);  // hhmmss after 07:00:00
    EXPECT_LT(gnss["getTime"].asNumber(), 240000);

    const JsonValue& compass = (*findSensor(last, 200, 200))["readings"];
    EXPECT_TRUE(compass["hasHeading"].asBool());
    EXPECT_GE(compass["getHeading"].asNumber(), 0.0);
    EXPECT_LT(compass["getHeading"].asNumber(), 2 * kPi);

    const JsonValue& rotator = (*findSensor(last, 131, 168))["readings"];
    EXPECT_EQ(rotator["getStatusValue"].asNumber(), 0);
    EXPECT_GT(rotator["getRotationAngle"].asNumber(), -35.0);
    EXPECT_LT(rotator["getRotationAngle"].asNumber(), 30.0);

    const JsonValue& slope = (*findSensor(last, 120, 142))["readings"];
    EXPECT_TRUE(slope["isUnitOk"].asBool());
    EXPECT_TRUE(slope["isSlopeXInRange"].asBool());
    EXPECT_LT(std::fabs(slope["getSlopeX"].asNumber()), 10.0);
    EXPECT_GT(slope["getSlopeX"].asNumber(), 1.0);  // the frame stands nose up
    EXPECT_EQ(slope["getSlopeXSet"].asNumber(), 3.5);

    EXPECT_EQ((*findSensor(last, 90, 141))["readings"]["getState"].asNumber(), 1);

    const JsonValue& distance = (*findSensor(last, 46, 46))["readings"];
    EXPECT_TRUE(distance["getDistance.valid"].asBool());
    EXPECT_GT(distance["getDistance"].asNumber(), 0.5);
    EXPECT_LT(distance["getDistance"].asNumber(), 7.0);

    const JsonValue& joy = (*findSensor(last, 140, 162))["readings"];
    for (const char* axes : {"getAxes(1)", "getAxes(2)", "getExtendedAxes(1)", "getExtendedAxes(2)"}) {
        EXPECT_LE(std::fabs(joy[axes]["x"].asNumber()), 1000.0);
        EXPECT_LE(std::fabs(joy[axes]["y"].asNumber()), 1000.0);
    }
    for (const char* b : {"getButtonState(1)", "getButtonState(2)"}) {
        EXPECT_EQ(joy[b].asString().size(), 12u);
        EXPECT_EQ(joy[b].asString().find_first_not_of("0123"), std::string::npos);
    }
}

TEST_F(QcanHostOnExcavator, TheMachineMovesWhileShown)
{
    // In the first seconds of the cycle the operator pulls the stick in with the rotate button
    // held: the tiltrotator turns, the bucket curls, the stick lever is off neutral.
    std::vector<JsonValue> docs = documents(*run);
    std::vector<const JsonValue*> seen;
    for (const JsonValue& d : docs)
        if (findSensor(d, 131, 168) && findSensor(d, 101, 16) && findSensor(d, 140, 162))
            seen.push_back(&d);
    ASSERT_GE(seen.size(), 8u);
    const JsonValue& first = *seen.front();
    const JsonValue& last = *seen.back();
    EXPECT_GT((*findSensor(last, 131, 168))["readings"]["getRotationAngle"].asNumber(),
              (*findSensor(first, 131, 168))["readings"]["getRotationAngle"].asNumber() + 3.0);
    EXPECT_LT(pitchOf((*findSensor(last, 101, 16))["readings"]["getOrientation(FAST,CALIBRATED)"]),
              pitchOf((*findSensor(first, 101, 16))["readings"]["getOrientation(FAST,CALIBRATED)"]) - 5.0);
    bool buttonDown = false, stickMoved = false;
    for (const JsonValue* d : seen) {
        const JsonValue& joy = (*findSensor(*d, 140, 162))["readings"];
        buttonDown = buttonDown || joy["getButtonState(1)"].asString()[0] == '1';
        stickMoved = stickMoved || joy["getAxes(1)"]["y"].asNumber() < -50;
    }
    EXPECT_TRUE(buttonDown);
    EXPECT_TRUE(stickMoved);
}

TEST(QcanHost, TextViewIsPlainLinesWhenNotATerminal)
{
    const HostProcess::Result r = HostProcess::run({"--duration", "1.2", "--interval", "600"}, {kSimOnly});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);  // no screen control on a pipe
    EXPECT_NE(r.out.find("qcan-host  refresh 1"), std::string::npos);
    EXPECT_NE(r.out.find("SIM_EXCAVATOR"), std::string::npos);
    EXPECT_NE(r.out.find("CONNECTED"), std::string::npos);
    EXPECT_NE(r.out.find("Bucket sensor"), std::string::npos);
    EXPECT_NE(r.out.find("getOrientation(FAST,CALIBRATED)(w="), std::string::npos);
    EXPECT_NE(r.out.find("getDistance="), std::string::npos);
    // The plug-in's own progress lines stay out of the view.
    EXPECT_EQ(r.out.find("Available cua device"), std::string::npos);
    EXPECT_NE(r.err.find("Available cua device to connect : SIM_EXCAVATOR"), std::string::npos);
}

TEST(QcanHost, XmlShowsThePluginsXmlOfEachRefresh)
{
    const HostProcess::Result r = HostProcess::run({"--xml", "--count", "2", "--interval", "1000"}, {kSimOnly});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_NE(r.out.find("<!-- refresh 1 -->"), std::string::npos);
    EXPECT_NE(r.out.find("<!-- refresh 2 -->"), std::string::npos);
    EXPECT_EQ(r.out.find("<!-- refresh 3 -->"), std::string::npos);
    EXPECT_NE(r.out.find("<sensor id=\"101\""), std::string::npos) << r.out;
}

TEST(QcanHost, CountStopsAfterThatManyRefreshes)
{
    const HostProcess::Result r = HostProcess::run({"--json", "--count", "3", "--interval", "100"}, {kSimOnly});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(HostProcess::lines(r.out).size(), 3u);
}

TEST(QcanHost, ListShowsEachAdapterWithVendorAndDescription)
{
    const HostProcess::Result r = HostProcess::run({"--list", "--json"}, {"QCAN_ADAPTERS=SIM_EXCAVATOR=sim:excavator;DUMMY1=dummy"});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    const std::vector<JsonValue> docs = documents(r);
    ASSERT_EQ(docs.size(), 1u);
    std::set<std::string> names;
    for (const JsonValue& a : docs[0]["adapters"].items()) {
        names.insert(a["name"].asString());
        EXPECT_FALSE(a["vendor"].asString().empty());
        if (a["name"].asString() == "DUMMY1") {
            EXPECT_EQ(a["description"].asString(), "Dummy adapter DUMMY1");
        }
    }
    EXPECT_EQ(names, (std::set<std::string>{"SIM_EXCAVATOR", "DUMMY1"}));

    const HostProcess::Result text = HostProcess::run({"--list"}, {"QCAN_ADAPTERS=SIM_EXCAVATOR=sim:excavator"});
    EXPECT_EQ(text.exitStatus, 0);
    EXPECT_NE(text.out.find("SIM_EXCAVATOR"), std::string::npos);
    EXPECT_NE(text.out.find("Simulated excavator"), std::string::npos);
}

TEST(QcanHost, AdapterOptionConnectsOnlyThatAdapter)
{
    const HostProcess::Result r = HostProcess::run({"--adapter", "DUMMY1", "--json", "--count", "1"},
                                                   {"QCAN_ADAPTERS=SIM_EXCAVATOR=sim:excavator;DUMMY1=dummy"});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    const std::vector<JsonValue> docs = documents(r);
    ASSERT_EQ(docs.size(), 1u);
    ASSERT_EQ(docs[0]["adapters"].items().size(), 1u);
    EXPECT_EQ(docs[0]["adapters"].items()[0]["name"].asString(), "DUMMY1");
    EXPECT_TRUE(docs[0]["adapters"].items()[0]["connected"].asBool());
    EXPECT_TRUE(docs[0]["sensors"].items().empty());  // nothing talks on a dummy bus
}

TEST(QcanHost, VendorPatternChoosesTheMatchingAdapter)
{
    // The adapter list's vendor of a name with "DU" in it is "Dummy"; the pattern ignores case.
    const HostProcess::Result r = HostProcess::run({"--vendor", "uMM", "--json", "--count", "1"},
                                                   {"QCAN_ADAPTERS=SIM_EXCAVATOR=sim:excavator;DUMMY1=dummy"});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    const std::vector<JsonValue> docs = documents(r);
    ASSERT_EQ(docs.size(), 1u);
    ASSERT_EQ(docs[0]["adapters"].items().size(), 1u);
    EXPECT_EQ(docs[0]["adapters"].items()[0]["name"].asString(), "DUMMY1");

    const HostProcess::Result none = HostProcess::run({"--vendor", "kvaser"}, {"QCAN_ADAPTERS=DUMMY1=dummy"});
    EXPECT_EQ(none.exitStatus, 1);
    EXPECT_NE(none.err.find("no available adapter has a vendor containing 'kvaser'"), std::string::npos) << none.err;
    EXPECT_TRUE(none.out.empty());
}

TEST(QcanHost, BadArgumentsAreRefusedWithOneLineReason)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--interval", "abc"}, "--interval needs a whole number"},
        {{"--duration", "-1"}, "--duration needs a number of seconds"},
        {{"--count", "0"}, "--count needs a whole number"},
        {{"--wait-ms"}, "option --wait-ms needs a value"},
        {{"--frobnicate"}, "unknown argument '--frobnicate'"},
        {{"--json", "--xml"}, "--json and --xml cannot be combined"},
        {{"--adapter", "A", "--vendor", "b"}, "--adapter and --vendor cannot be combined"},
    };
    for (const auto& c : cases) {
        const HostProcess::Result r = HostProcess::run(c.first, {kSimOnly});
        EXPECT_EQ(r.exitStatus, 2) << c.second;
        EXPECT_TRUE(r.out.empty()) << c.second;
        ASSERT_EQ(HostProcess::lines(r.err).size(), 1u) << r.err;
        EXPECT_NE(r.err.find(c.second), std::string::npos) << r.err;
        EXPECT_EQ(r.err.rfind("qcan-host: ", 0), 0u) << r.err;
    }
}

TEST(QcanHost, HelpDescribesTheOptions)
{
    const HostProcess::Result r = HostProcess::run({"--help"}, {kSimOnly});
    EXPECT_EQ(r.exitStatus, 0);
    for (const char* option : {"--adapter", "--vendor", "--wait-ms", "--interval", "--duration", "--count", "--json", "--xml", "--list"})
        EXPECT_NE(r.out.find(option), std::string::npos) << option;
}

TEST(QcanHost, UnknownAdapterNameIsRefused)
{
    const HostProcess::Result r = HostProcess::run({"--adapter", "NOPE"}, {kSimOnly});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("qcan-host: adapter 'NOPE' is not available (see --list)"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
}

TEST(QcanHost, NoAdapterConfiguredIsRefused)
{
    const HostProcess::Result r = HostProcess::run({"--json"}, {"QCAN_ADAPTERS="});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("qcan-host: no CAN adapter available"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
}

TEST(QcanHost, AdapterThatNeverConnectsFailsAfterTheWait)
{
    // A Linux CAN interface that does not exist cannot be opened.
    const HostProcess::Result r =
        HostProcess::run({"--json", "--wait-ms", "800"}, {"QCAN_ADAPTERS=SC_nosuch=socketcan:qcannosuch0"});
    EXPECT_EQ(r.exitStatus, 1) << r.err;
    EXPECT_NE(r.err.find("qcan-host: no adapter connected within 800 ms"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
    EXPECT_GE(r.elapsedMs, 800);
    EXPECT_LT(r.elapsedMs, 800 + 4000);
}

TEST(QcanHost, InterruptStopsCleanlyAndPromptly)
{
    for (int sig : {SIGINT, SIGTERM}) {
        const HostProcess::Result r = HostProcess::run({"--json", "--interval", "200"}, {kSimOnly}, sig, 1500);
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.termSignal, 0) << "killed by the signal instead of stopping";
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        EXPECT_GE(r.afterSignalMs, 0);
        EXPECT_LT(r.afterSignalMs, 1500) << "took too long to stop";
        const std::vector<JsonValue> docs = documents(r);  // no half-written document
        EXPECT_GE(docs.size(), 2u);
    }
}

}  // namespace
