// qcan-host run as a user runs it: a process on the simulated excavator, its output parsed.

#include <gtest/gtest.h>

#include <algorithm>
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

// Angle in degrees between two orientations given at different scales.
double angleBetween(const JsonValue& a, const JsonValue& b)
{
    const double dot = (a["w"].asNumber() * b["w"].asNumber() + a["x"].asNumber() * b["x"].asNumber() +
                        a["y"].asNumber() * b["y"].asNumber() + a["z"].asNumber() * b["z"].asNumber()) /
                       (norm4(a) * norm4(b));
    return 2.0 * std::acos(std::min(1.0, std::fabs(dot))) * 180.0 / kPi;
}

// One three-second JSON run shared by the checks of what it shows.
const HostProcess::Result& excavatorRun()
{
    static const HostProcess::Result run =
        HostProcess::run({"--json", "--duration", "3", "--interval", "250"}, {kSimOnly});
    return run;
}

TEST(QcanHostOnExcavator, OneJsonDocumentPerRefreshShowingTheAdapterAndEverySensorOk)
{
    const HostProcess::Result& run = excavatorRun();
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    const std::vector<JsonValue> docs = documents(run);
    // 3 s at 250 ms: 12 intervals, the first refresh at once and the last at the end.
    EXPECT_GE(docs.size(), 12u);
    EXPECT_LE(docs.size(), 14u);
    for (size_t i = 0; i < docs.size(); ++i)
        EXPECT_EQ(docs[i]["seq"].asNumber(), static_cast<double>(i + 1));
    EXPECT_GE(run.elapsedMs, 3000);
    EXPECT_LT(run.elapsedMs, 3000 + 5000 + 3000);  // run + wait for the adapter + disconnect
    ASSERT_FALSE(docs.empty());
    const JsonValue& last = docs.back();
    ASSERT_EQ(last["adapters"].items().size(), 1u);
    const JsonValue& a = last["adapters"].items()[0];
    EXPECT_EQ(a["name"].asString() + " | " + a["description"].asString() + " | " + a["status"].asString(),
              "SIM_EXCAVATOR | Simulated excavator | CONNECTED");
    EXPECT_TRUE(a["connected"].asBool() && a["id"].asNumber() == 1);
    EXPECT_EQ(a["baud_kbit"].asNumber(), 250);
    for (const char* part : {"SIM_EXCAVATOR (1)", "Sensors total/ok: 11/11"})
        EXPECT_NE(last["status"].asString().find(part), std::string::npos) << last["status"].asString();
    const std::map<std::pair<int, int>, std::pair<std::string, std::string>> expected = {
        {{101, 16}, {"TiltSensorG1", "Bucket sensor"}}, {{102, 16}, {"TiltSensorG1", "Stick sensor"}},
        {{103, 16}, {"TiltSensorG1", "Main boom sensor"}}, {{105, 16}, {"TiltSensorG1", "Frame sensor"}},
        {{1, 11}, {"GenericPositionSensor", "Unknown sensor"}}, {{200, 200}, {"NMEA2KHeadingSensor", "Upper carriage rotation sensor"}},
        {{131, 168}, {"EngconTiltrotatorSensor", "Tiltrotator sensor"}}, {{140, 162}, {"SteelwristJoystickSensor", "Steelwrist"}},
        {{120, 142}, {"SlopeSensor", "Rail sensor"}}, {{90, 141}, {"MDS2000IO", "MDS2000"}},
        {{46, 46}, {"DT500Sensor", "Distance sensor"}},
    };
    EXPECT_EQ(last["sensors"].items().size(), expected.size());
    for (const auto& e : expected) {
        const JsonValue* s = findSensor(last, e.first.first, e.first.second);
        ASSERT_NE(s, nullptr) << "sensor " << e.first.first << " of type " << e.first.second << " missing";
        EXPECT_EQ(std::make_pair((*s)["class"].asString(), (*s)["name"].asString()), e.second);
        EXPECT_EQ((*s)["adapter"].asNumber(), 1);
        EXPECT_TRUE((*s)["ok"].asBool() && (*s)["errors"].asNumber() == 0) << (*s)["status"].asString();
        ASSERT_FALSE((*s)["age_ms"].isNull());
        EXPECT_LT((*s)["age_ms"].asNumber(), 1000) << e.second.second;
        EXPECT_EQ((*s)["status"].asString().rfind(std::to_string(e.first.first) + ":", 0), 0u);
    }
}

TEST(QcanHostOnExcavator, ReadingsArePlausible)
{
    const std::vector<JsonValue> docs = documents(excavatorRun());
    ASSERT_FALSE(docs.empty());
    const JsonValue& last = docs.back();
    for (int id : {101, 102, 103, 105}) {
        const JsonValue& r = (*findSensor(last, id, 16))["readings"];
        const JsonValue& fast = r["getOrientation(FAST,CALIBRATED)"];
        EXPECT_NEAR(norm4(fast), 16384.0, 16384.0 * 0.01) << id;
        EXPECT_NEAR(norm4(r["getOrientation(SLOW,CALIBRATED)"]), 16384.0, 16384.0 * 0.01) << id;
        EXPECT_NEAR(norm4(r["getOrientation(SLOW,RAW)"]), 1073741824.0, 1073741824.0 * 0.01) << id;
        // The 10 Hz streams lag the fast one by at most 100 ms of motion, plus some vibration.
        EXPECT_LT(angleBetween(fast, r["getOrientation(SLOW,CALIBRATED)"]), 8.0) << id;
        EXPECT_LT(angleBetween(fast, r["getOrientation(SLOW,RAW)"]), 9.0) << id;
    }
    // Link angles of a machine at the dig face: bucket curled, frame level but nose up.
    auto fastOf = [&](int id) -> const JsonValue& { return (*findSensor(last, id, 16))["readings"]["getOrientation(FAST,CALIBRATED)"]; };
    EXPECT_LT(pitchOf(fastOf(101)), -30.0);
    EXPECT_GT(pitchOf(fastOf(105)), 1.0);
    EXPECT_LT(pitchOf(fastOf(105)), 3.0);

    const JsonValue& gnss = (*findSensor(last, 1, 11))["readings"];
    EXPECT_NEAR(gnss["getLat"].asNumber(), 59.3293, 0.001);
    EXPECT_NEAR(gnss["getLong"].asNumber(), 18.0686, 0.001);
    EXPECT_NEAR(gnss["getY"].asNumber(), 6580812.3, 3.0);  // projected north
    EXPECT_NEAR(gnss["getAlt"].asNumber() - gnss["getZ"].asNumber(), gnss["getHGEOID"].asNumber() / 100.0, 0.001);
    EXPECT_EQ(gnss["getFixQuality"].asNumber(), 4);
    const double heading = (*findSensor(last, 200, 200))["readings"]["getHeading"].asNumber();
    EXPECT_TRUE(heading >= 0.0 && heading < 2 * kPi) << heading;
    EXPECT_LT(std::fabs((*findSensor(last, 131, 168))["readings"]["getRotationAngle"].asNumber()), 35.0);
    const JsonValue& slope = (*findSensor(last, 120, 142))["readings"];
    EXPECT_TRUE(slope["isUnitOk"].asBool() && slope["isSlopeXInRange"].asBool());
    EXPECT_GT(slope["getSlopeX"].asNumber(), 1.0);  // the frame stands nose up
    EXPECT_EQ(slope["getSlopeXSet"].asNumber(), 3.5);
    EXPECT_EQ((*findSensor(last, 90, 141))["readings"]["getState"].asNumber(), 1);
    const JsonValue& distance = (*findSensor(last, 46, 46))["readings"];
    EXPECT_TRUE(distance["getDistance.valid"].asBool() && distance["getDistance"].asNumber() > 0.5 &&
                distance["getDistance"].asNumber() < 7.0) << distance["getDistance"].asNumber();
    const std::string buttons = (*findSensor(last, 140, 162))["readings"]["getButtonState(1)"].asString();
    EXPECT_EQ(buttons.size(), 12u);
    EXPECT_EQ(buttons.find_first_not_of("0123"), std::string::npos) << buttons;
}

TEST(QcanHostOnExcavator, TheMachineMovesWhileShown)
{
    // In the first seconds of the cycle the tiltrotator turns and the bucket curls.
    std::vector<const JsonValue*> seen;
    const std::vector<JsonValue> docs = documents(excavatorRun());
    for (const JsonValue& d : docs)
        if (findSensor(d, 131, 168) && findSensor(d, 101, 16))
            seen.push_back(&d);
    ASSERT_GE(seen.size(), 8u);
    auto angle = [](const JsonValue* d) { return (*findSensor(*d, 131, 168))["readings"]["getRotationAngle"].asNumber(); };
    auto pitch = [](const JsonValue* d) { return pitchOf((*findSensor(*d, 101, 16))["readings"]["getOrientation(FAST,CALIBRATED)"]); };
    EXPECT_GT(angle(seen.back()), angle(seen.front()) + 3.0);
    EXPECT_LT(pitch(seen.back()), pitch(seen.front()) - 5.0);
}

TEST(QcanHost, TextViewIsPlainLinesWhenNotATerminal)
{
    const HostProcess::Result r = HostProcess::run({"--duration", "1.2", "--interval", "600"}, {kSimOnly});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);  // no screen control on a pipe
    for (const char* part : {"qcan-host  refresh 1", "SIM_EXCAVATOR", "CONNECTED", "Bucket sensor",
                             "getOrientation(FAST,CALIBRATED)(w=", "getDistance="})
        EXPECT_NE(r.out.find(part), std::string::npos) << part;
    // The plug-in's own progress lines stay out of the view.
    EXPECT_EQ(r.out.find("Available cua device"), std::string::npos);
    EXPECT_NE(r.err.find("Available cua device to connect : SIM_EXCAVATOR"), std::string::npos);
}

TEST(QcanHost, XmlAndCountStopAfterThatManyRefreshes)
{
    const HostProcess::Result r = HostProcess::run({"--xml", "--count", "2", "--interval", "1000"}, {kSimOnly});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_NE(r.out.find("<!-- refresh 2 -->"), std::string::npos);
    EXPECT_EQ(r.out.find("<!-- refresh 3 -->"), std::string::npos);
    EXPECT_NE(r.out.find("<sensor id=\"101\""), std::string::npos) << r.out;
    const HostProcess::Result json = HostProcess::run({"--json", "--count", "3", "--interval", "100"}, {kSimOnly});
    EXPECT_EQ(json.exitStatus, 0) << json.err;
    EXPECT_EQ(documents(json).size(), 3u);
}

TEST(QcanHost, ListShowsEachAdapterAndAdapterOrVendorChoosesOne)
{
    const std::string two = "QCAN_ADAPTERS=SIM_EXCAVATOR=sim:excavator;DUMMY1=dummy";
    const HostProcess::Result r = HostProcess::run({"--list", "--json"}, {two});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    const std::vector<JsonValue> docs = documents(r);
    ASSERT_EQ(docs.size(), 1u);
    std::set<std::string> names;
    for (const JsonValue& a : docs[0]["adapters"].items()) {
        names.insert(a["name"].asString() + " | " + a["description"].asString());
        EXPECT_FALSE(a["vendor"].asString().empty());
    }
    EXPECT_EQ(names, (std::set<std::string>{"SIM_EXCAVATOR | Simulated excavator", "DUMMY1 | Dummy adapter DUMMY1"}));
    const HostProcess::Result text = HostProcess::run({"--list"}, {kSimOnly});
    EXPECT_EQ(text.exitStatus, 0);
    EXPECT_NE(text.out.find("SIM_EXCAVATOR"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Simulated excavator"), std::string::npos) << text.out;

    // A name, or a vendor pattern that ignores case (the vendor of a name with "DU" in it is "Dummy").
    for (const char* option : {"--adapter", "--vendor"}) {
        const std::string value = option == std::string("--adapter") ? "DUMMY1" : "uMM";
        const HostProcess::Result one = HostProcess::run({option, value, "--json", "--count", "1"}, {two});
        EXPECT_EQ(one.exitStatus, 0) << one.err;
        const std::vector<JsonValue> d = documents(one);
        ASSERT_EQ(d.size(), 1u) << option;
        ASSERT_EQ(d[0]["adapters"].items().size(), 1u) << option;
        EXPECT_EQ(d[0]["adapters"].items()[0]["name"].asString(), "DUMMY1") << option;
        EXPECT_TRUE(d[0]["adapters"].items()[0]["connected"].asBool()) << option;
        EXPECT_TRUE(d[0]["sensors"].items().empty());  // nothing talks on a dummy bus
    }
}

TEST(QcanHost, RefusalsExitNonZeroWithTheirOneLineReason)
{
    struct Case {
        std::vector<std::string> args;
        std::string env, reason;
        int exit;
    } cases[] = {
        {{"--interval", "abc"}, kSimOnly, "--interval needs a whole number", 2},
        {{"--duration", "-1"}, kSimOnly, "--duration needs a number of seconds", 2},
        {{"--count", "0"}, kSimOnly, "--count needs a whole number", 2},
        {{"--wait-ms"}, kSimOnly, "option --wait-ms needs a value", 2},
        {{"--frobnicate"}, kSimOnly, "unknown argument '--frobnicate'", 2},
        {{"--json", "--xml"}, kSimOnly, "--json and --xml cannot be combined", 2},
        {{"--adapter", "A", "--vendor", "b"}, kSimOnly, "--adapter and --vendor cannot be combined", 2},
        {{"--adapter", "NOPE"}, kSimOnly, "adapter 'NOPE' is not available (see --list)", 1},
        {{"--vendor", "kvaser"}, "QCAN_ADAPTERS=DUMMY1=dummy", "no available adapter has a vendor containing 'kvaser'", 1},
        {{"--json"}, "QCAN_ADAPTERS=", "no CAN adapter available", 1},
        // A Linux CAN interface that does not exist cannot be opened.
        {{"--json", "--wait-ms", "800"}, "QCAN_ADAPTERS=SC_nosuch=socketcan:qcannosuch0", "no adapter connected within 800 ms", 1},
    };
    for (const Case& c : cases) {
        const HostProcess::Result r = HostProcess::run(c.args, {c.env});
        EXPECT_EQ(r.exitStatus, c.exit) << c.reason;
        EXPECT_TRUE(r.out.empty()) << c.reason;
        const std::vector<std::string> lines = HostProcess::lines(r.err);
        EXPECT_TRUE(c.exit != 2 || lines.size() == 1u) << r.err;  // refused before the plug-in logs anything
        auto isReason = [&](const std::string& l) { return l.rfind("qcan-host: ", 0) == 0 && l.find(c.reason) != std::string::npos; };
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(), isReason), 1) << r.err;
        EXPECT_TRUE(c.reason.find("800 ms") == std::string::npos || (r.elapsedMs >= 800 && r.elapsedMs < 4800)) << r.elapsedMs;
    }
    const HostProcess::Result help = HostProcess::run({"--help"}, {kSimOnly});
    EXPECT_EQ(help.exitStatus, 0);
    for (const char* option : {"--adapter", "--vendor", "--wait-ms", "--interval", "--duration", "--count", "--json", "--xml", "--list"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
}

TEST(QcanHost, InterruptStopsCleanlyAndPromptly)
{
    for (int sig : {SIGINT, SIGTERM}) {
        const HostProcess::Result r = HostProcess::run({"--json", "--interval", "200"}, {kSimOnly}, sig, 1500);
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.termSignal, 0) << "killed by the signal instead of stopping";
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        EXPECT_TRUE(r.afterSignalMs >= 0 && r.afterSignalMs < 1500) << r.afterSignalMs << " ms to stop";
        EXPECT_GE(documents(r).size(), 2u);  // and no half-written document
    }
}

}  // namespace
