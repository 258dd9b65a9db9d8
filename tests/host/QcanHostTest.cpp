// qcan-host run as a user runs it: a process on the simulated excavator, its output parsed.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <map>
#include <set>
#include <sstream>
#include <tuple>
#include <utility>

#include "HostProcess.h"
#include "XmlOutline.h"
#include <nlohmann/json.hpp>

using Json = nlohmann::json;

namespace {

const std::string kSimOnly = "QCAN_ADAPTERS=SIM_EXCAVATOR=sim:excavator";
const double kPi = 3.14159265358979323846;

std::vector<Json> documents(const HostProcess::Result& r)
{
    std::vector<Json> docs;
    for (const std::string& line : HostProcess::lines(r.out))
        docs.push_back(Json::parse(line));  // every line must be a JSON document
    return docs;
}

// The number of sensor elements of an XML refresh outlined as "#comment sensors(sensor ...)";
// -1 when it holds anything else.
int sensorElements(const std::string& outline)
{
    const std::string head = "#comment sensors";
    if (outline == head)
        return 0;
    if (outline.compare(0, head.size() + 1, head + "(") != 0 || outline.back() != ')')
        return -1;
    std::istringstream items(outline.substr(head.size() + 1, outline.size() - head.size() - 2));
    int n = 0;
    for (std::string item; items >> item; ++n)
        if (item != "sensor")
            return -1;
    return n;
}

const Json* findSensor(const Json& doc, int id, int deviceType)
{
    for (const Json& s : doc.at("sensors"))
        if (s.at("id").get<double>() == id && s.at("device_type").get<double>() == deviceType)
            return &s;
    return nullptr;
}

double norm4(const Json& q)
{
    const double w = q.at("w").get<double>(), x = q.at("x").get<double>(), y = q.at("y").get<double>(), z = q.at("z").get<double>();
    return std::sqrt(w * w + x * x + y * y + z * z);
}

// Pitch in degrees of a quaternion with (nearly) no roll and no yaw: 2 atan2(y, w).
double pitchOf(const Json& q)
{
    return 2.0 * std::atan2(q.at("y").get<double>(), q.at("w").get<double>()) * 180.0 / kPi;
}

// Angle in degrees between two orientations given at different scales.
double angleBetween(const Json& a, const Json& b)
{
    const double dot = (a.at("w").get<double>() * b.at("w").get<double>() + a.at("x").get<double>() * b.at("x").get<double>() +
                        a.at("y").get<double>() * b.at("y").get<double>() + a.at("z").get<double>() * b.at("z").get<double>()) /
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
    EXPECT_GE(run.elapsedMs, 3000);
    const std::vector<Json> docs = documents(run);
    // 3 s at 250 ms: at most 13 refreshes, the first at once and the last at the end; a loaded
    // machine may skip some, never add any.
    ASSERT_GE(docs.size(), 2u);
    EXPECT_LE(docs.size(), 13u);
    for (size_t i = 0; i < docs.size(); ++i)
        EXPECT_EQ(docs[i].at("seq").get<double>(), static_cast<double>(i + 1));
    const Json& last = docs.back();
    ASSERT_EQ(last.at("adapters").size(), 1u);
    const Json& a = last.at("adapters").at(0);
    EXPECT_EQ(a.at("name").get<std::string>() + " | " + a.at("description").get<std::string>() + " | " + a.at("status").get<std::string>(),
              "SIM_EXCAVATOR | Simulated excavator | CONNECTED");
    EXPECT_EQ(std::make_tuple(a.at("connected").get<bool>(), a.at("id").get<double>()), std::make_tuple(true, 1.0));
    // The rate is read back on the adapter's next pass after (re)connecting, which a loaded
    // machine may delay past a refresh; some refresh shows it.
    auto shows250 = [](const Json& d) { return d.at("adapters").at(0).at("baud_kbit").get<double>() == 250; };
    EXPECT_TRUE(std::any_of(docs.begin(), docs.end(), shows250));
    for (const char* part : {"SIM_EXCAVATOR (1)", "Sensors total/ok: 11/"})
        EXPECT_NE(last.at("status").get<std::string>().find(part), std::string::npos) << last.at("status").get<std::string>();
    const std::map<std::pair<int, int>, std::pair<std::string, std::string>> expected = {
        {{101, 16}, {"TiltSensorG1", "Bucket sensor"}}, {{102, 16}, {"TiltSensorG1", "Stick sensor"}},
        {{103, 16}, {"TiltSensorG1", "Main boom sensor"}}, {{105, 16}, {"TiltSensorG1", "Frame sensor"}},
        {{1, 11}, {"GenericPositionSensor", "Unknown sensor"}}, {{200, 200}, {"NMEA2KHeadingSensor", "Upper carriage rotation sensor"}},
        {{131, 168}, {"EngconTiltrotatorSensor", "Tiltrotator sensor"}}, {{140, 162}, {"SteelwristJoystickSensor", "Steelwrist"}},
        {{120, 142}, {"SlopeSensor", "Rail sensor"}}, {{90, 141}, {"MDS2000IO", "MDS2000"}},
        {{46, 46}, {"DT500Sensor", "Distance sensor"}},
    };
    EXPECT_EQ(last.at("sensors").size(), expected.size());
    for (const auto& e : expected) {
        const Json* s = findSensor(last, e.first.first, e.first.second);
        ASSERT_NE(s, nullptr) << "sensor " << e.first.first << " of type " << e.first.second << " missing";
        EXPECT_EQ(std::make_pair((*s).at("class").get<std::string>(), (*s).at("name").get<std::string>()), e.second);
        EXPECT_EQ((*s).at("adapter").get<double>(), 1);
        EXPECT_EQ((*s).at("status").get<std::string>().rfind(std::to_string(e.first.first) + ":", 0), 0u);
        // Fed all the time, each sensor shows ok and fresh; on a loaded machine a refresh may
        // catch it after a stall, so one refresh that does is enough.
        auto okAndFresh = [&](const Json& d) {
            const Json* x = findSensor(d, e.first.first, e.first.second);
            return x && x->at("ok").get<bool>() && !x->at("age_ms").is_null() && x->at("age_ms").get<double>() < 1000;
        };
        EXPECT_TRUE(std::any_of(docs.begin(), docs.end(), okAndFresh)) << e.second.second;
    }
}

TEST(QcanHostOnExcavator, ReadingsArePlausible)
{
    const std::vector<Json> docs = documents(excavatorRun());
    ASSERT_FALSE(docs.empty());
    const Json& last = docs.back();
    for (int id : {101, 102, 103, 105}) {
        const Json& r = (*findSensor(last, id, 16)).at("readings");
        const Json& fast = r.at("getOrientation(FAST,CALIBRATED)");
        EXPECT_NEAR(norm4(fast), 16384.0, 16384.0 * 0.01) << id;
        EXPECT_NEAR(norm4(r.at("getOrientation(SLOW,CALIBRATED)")), 16384.0, 16384.0 * 0.01) << id;
        EXPECT_NEAR(norm4(r.at("getOrientation(SLOW,RAW)")), 1073741824.0, 1073741824.0 * 0.01) << id;
        // The 10 Hz streams lag the fast one by at most 100 ms of motion, plus some vibration.
        EXPECT_LT(angleBetween(fast, r.at("getOrientation(SLOW,CALIBRATED)")), 8.0) << id;
        EXPECT_LT(angleBetween(fast, r.at("getOrientation(SLOW,RAW)")), 9.0) << id;
    }
    // Link angles of a machine at the dig face: bucket curled, frame level but nose up.
    auto fastOf = [&](int id) -> const Json& { return (*findSensor(last, id, 16)).at("readings").at("getOrientation(FAST,CALIBRATED)"); };
    EXPECT_LT(pitchOf(fastOf(101)), -30.0);
    EXPECT_GT(pitchOf(fastOf(105)), 1.0);
    EXPECT_LT(pitchOf(fastOf(105)), 3.0);

    const Json& gnss = (*findSensor(last, 1, 11)).at("readings");
    EXPECT_NEAR(gnss.at("getLat").get<double>(), 59.3293, 0.001);
    EXPECT_NEAR(gnss.at("getLong").get<double>(), 18.0686, 0.001);
    EXPECT_NEAR(gnss.at("getY").get<double>(), 6580812.3, 3.0);  // projected north
    EXPECT_NEAR(gnss.at("getAlt").get<double>() - gnss.at("getZ").get<double>(), gnss.at("getHGEOID").get<double>() / 100.0, 0.001);
    EXPECT_EQ(gnss.at("getFixQuality").get<double>(), 4);
    const double heading = (*findSensor(last, 200, 200)).at("readings").at("getHeading").get<double>();
    EXPECT_TRUE(heading >= 0.0 && heading < 2 * kPi) << heading;
    EXPECT_LT(std::fabs((*findSensor(last, 131, 168)).at("readings").at("getRotationAngle").get<double>()), 35.0);
    const Json& slope = (*findSensor(last, 120, 142)).at("readings");
    EXPECT_EQ(std::make_tuple(slope.at("isUnitOk").get<bool>(), slope.at("isSlopeXInRange").get<bool>()), std::make_tuple(true, true));
    EXPECT_GT(slope.at("getSlopeX").get<double>(), 1.0);  // the frame stands nose up
    EXPECT_EQ(slope.at("getSlopeXSet").get<double>(), 3.5);
    EXPECT_EQ((*findSensor(last, 90, 141)).at("readings").at("getState").get<double>(), 1);
    const Json& distance = (*findSensor(last, 46, 46)).at("readings");
    EXPECT_TRUE(distance.at("getDistance.valid").get<bool>());
    EXPECT_GT(distance.at("getDistance").get<double>(), 0.5);
    EXPECT_LT(distance.at("getDistance").get<double>(), 7.0);
    const std::string buttons = (*findSensor(last, 140, 162)).at("readings").at("getButtonState(1)").get<std::string>();
    EXPECT_EQ(buttons.size(), 12u);
    EXPECT_EQ(buttons.find_first_not_of("0123"), std::string::npos) << buttons;
}

TEST(QcanHostOnExcavator, TheMachineMovesWhileShown)
{
    // In the first seconds of the cycle the tiltrotator turns and the bucket curls.
    std::vector<const Json*> seen;
    const std::vector<Json> docs = documents(excavatorRun());
    for (const Json& d : docs)
        if (findSensor(d, 131, 168) && findSensor(d, 101, 16))
            seen.push_back(&d);
    ASSERT_GE(seen.size(), 8u);
    auto angle = [](const Json* d) { return (*findSensor(*d, 131, 168)).at("readings").at("getRotationAngle").get<double>(); };
    auto pitch = [](const Json* d) { return pitchOf((*findSensor(*d, 101, 16)).at("readings").at("getOrientation(FAST,CALIBRATED)")); };
    EXPECT_GT(angle(seen.back()), angle(seen.front()) + 3.0);
    EXPECT_LT(pitch(seen.back()), pitch(seen.front()) - 5.0);
}

TEST(QcanHost, TextViewIsPlainLinesWhenNotATerminal)
{
    const HostProcess::Result r = HostProcess::run({"--duration", "1.2", "--interval", "600"}, {kSimOnly});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);  // no screen control on a pipe
    for (const char* part : {"qcan-host  refresh 1", "SIM_EXCAVATOR", "CONNECTED", "Bucket sensor",
                             "pitch ", "getDistance="})
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
    // Each refresh is a well-formed document: the refresh comment, then one element per sensor
    // under one root. The excavator carries every make, the tiltrotators and joysticks included.
    std::vector<std::string> refreshes;
    for (size_t at = r.out.find("<!-- refresh "); at != std::string::npos;) {
        const size_t next = r.out.find("<!-- refresh ", at + 1);
        refreshes.push_back(r.out.substr(at, next == std::string::npos ? std::string::npos : next - at));
        at = next;
    }
    // The first refresh may come before the first frames.
    ASSERT_EQ(refreshes.size(), 2u) << r.out;
    EXPECT_GE(sensorElements(xmlOutline(refreshes[0])), 0) << refreshes[0];
    EXPECT_GE(sensorElements(xmlOutline(refreshes[1])), 5) << refreshes[1];
    const HostProcess::Result json = HostProcess::run({"--json", "--count", "3", "--interval", "100"}, {kSimOnly});
    EXPECT_EQ(json.exitStatus, 0) << json.err;
    EXPECT_EQ(documents(json).size(), 3u);
}

TEST(QcanHost, ListShowsEachAdapterAndAdapterOrVendorChoosesOne)
{
    const std::string two = "QCAN_ADAPTERS=SIM_EXCAVATOR=sim:excavator;DUMMY1=dummy";
    const HostProcess::Result r = HostProcess::run({"--list", "--json"}, {two});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    const std::vector<Json> docs = documents(r);
    ASSERT_EQ(docs.size(), 1u);
    std::set<std::string> names;
    for (const Json& a : docs[0].at("adapters")) {
        names.insert(a.at("name").get<std::string>() + " | " + a.at("description").get<std::string>());
        EXPECT_FALSE(a.at("vendor").get<std::string>().empty());
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
        const std::vector<Json> d = documents(one);
        ASSERT_EQ(d.size(), 1u) << option;
        ASSERT_EQ(d[0].at("adapters").size(), 1u) << option;
        EXPECT_EQ(d[0].at("adapters").at(0).at("name").get<std::string>(), "DUMMY1") << option;
        EXPECT_TRUE(d[0].at("adapters").at(0).at("connected").get<bool>()) << option;
        EXPECT_TRUE(d[0].at("sensors").empty());  // nothing talks on a dummy bus
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
        if (c.exit == 2) {
            EXPECT_EQ(lines.size(), 1u) << r.err;  // refused before the plug-in logs anything
        }
        auto isReason = [&](const std::string& l) { return l.rfind("qcan-host: ", 0) == 0 && l.find(c.reason) != std::string::npos; };
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(), isReason), 1) << r.err;
        EXPECT_GE(r.elapsedMs, c.reason.find("800 ms") != std::string::npos ? 800 : 0);  // waited that long
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
        EXPECT_GE(r.afterSignalMs, 0);
        EXPECT_LT(r.afterSignalMs, 1500) << " ms to stop";
        EXPECT_GE(documents(r).size(), 2u);  // and no half-written document
    }
}

}  // namespace
