// qcan-host run as a user runs it: a process on the simulated excavator, its output parsed. What a
// refresh shows sensor by sensor is checked on replayed frames in HostReadingsTest.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <set>
#include <unistd.h>

#include "HostProcess.h"
#include "TextFiles.h"
#include "XmlOutline.h"
#include <nlohmann/json.hpp>

using Json = nlohmann::json;

namespace {

const std::string kSimOnly = "QCAN_ADAPTERS=SIM_EXCAVATOR=sim:excavator";

std::vector<Json> documents(const HostProcess::Result& r)
{
    std::vector<Json> docs;
    for (const std::string& line : HostProcess::lines(r.out))
        docs.push_back(Json::parse(line));  // every line must be a whole JSON document
    return docs;
}

}  // namespace

TEST(QcanHostOnExcavator, OneJsonDocumentPerRefreshShowingTheAdapterAndEverySensor)
{
    const HostProcess::Result run = HostProcess::run({"--json", "--duration", "3", "--interval", "250"}, {kSimOnly});
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_GE(run.elapsedMs, 3000);
    EXPECT_EQ(run.err.find("message catalogue"), std::string::npos) << run.err;
    const std::vector<Json> docs = documents(run);
    // 3 s at 250 ms: at most 13 refreshes; a loaded machine may skip some, never add any.
    ASSERT_GE(docs.size(), 2u);
    EXPECT_LE(docs.size(), 13u);
    for (size_t i = 0; i < docs.size(); ++i)
        EXPECT_EQ(docs[i].at("seq").get<double>(), static_cast<double>(i + 1));
    EXPECT_TRUE(docs.front().at("adapters").at(0).at("bus_load_pct").is_null()) << "no load without a refresh before";
    const Json& last = docs.back();
    ASSERT_EQ(last.at("adapters").size(), 1u);
    const Json& a = last.at("adapters").at(0);
    EXPECT_EQ(a.at("name").get<std::string>() + " | " + a.at("description").get<std::string>() + " | " +
                  a.at("status").get<std::string>(),
              "SIM_EXCAVATOR | Simulated excavator | CONNECTED");
    EXPECT_GT(a.at("rx_frames").get<double>(), 0.0);
    EXPECT_TRUE(a.at("bus_load_pct").is_number());
    // The rate is read back on the adapter's next pass after connecting, which a loaded machine may
    // delay past a refresh; some refresh shows it.
    EXPECT_TRUE(std::any_of(docs.begin(), docs.end(),
                            [](const Json& d) { return d.at("adapters").at(0).at("baud_kbit").get<double>() == 250; }));
    EXPECT_EQ(last.at("sensors").size(), 11u) << last;
}

// The table on a pipe, recording the traffic in the table form meanwhile.
TEST(QcanHost, TextViewIsPlainLinesOfWordsOnAPipe)
{
    const std::string log = ::testing::TempDir() + "qcan_host_table_" + std::to_string(getpid()) + ".log";
    const HostProcess::Result r = HostProcess::run(
        {"--count", "4", "--interval", "500", "--raw", "--log", log, "--log-format", "table,sep=;,id=dec,data=int16"},
        {kSimOnly});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    const std::vector<std::string> logLines = HostProcess::lines(TextFiles::read(log));
    std::remove(log.c_str());
    ASSERT_GT(logLines.size(), 10u);
    // The options reach the recording: its header names them (the lines are the recording's own rule).
    EXPECT_EQ(logLines[0],
              "Time[HH:mm:ss:ms];CUAID;MsgID[Dec];DLC;Data0[INT16];Data1[INT16];Data2[INT16];Data3[INT16]");
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << "no screen control on a pipe";
    EXPECT_EQ(r.out.find("[SENSOR_"), std::string::npos) << r.out;
    const size_t lastRefresh = r.out.rfind("qcan-host  refresh 4");
    ASSERT_NE(lastRefresh, std::string::npos) << r.out;
    const std::string last = r.out.substr(lastRefresh);
    for (const char* part : {"SIM_EXCAVATOR", "CONNECTED", "Bucket sensor", "Sensors total/ok", "BUS LOAD", "FRAMES/s",
                             "getDistance=", "getOrientation(FAST,CALIBRATED)(w="})
        EXPECT_NE(last.find(part), std::string::npos) << part << " in " << last;
    // The plug-in's own progress lines go to standard error, out of the view.
    EXPECT_EQ(r.out.find("Available cua device"), std::string::npos);
    EXPECT_NE(r.err.find("Available cua device to connect : SIM_EXCAVATOR"), std::string::npos) << r.err;
}

TEST(QcanHost, XmlIsOneWellFormedDocumentPerRefreshUntilTheCount)
{
    const HostProcess::Result r = HostProcess::run({"--xml", "--count", "2", "--interval", "1000"}, {kSimOnly});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    const size_t second = r.out.find("<!-- refresh 2 -->");
    ASSERT_NE(second, std::string::npos) << r.out;
    // The refresh comment, then one element per sensor under one root (the first refresh may come
    // before the first frames).
    EXPECT_EQ(xmlOutline(r.out.substr(0, second)).rfind("#comment sensors", 0), 0u) << r.out;
    const std::string outline = xmlOutline(r.out.substr(second));
    EXPECT_EQ(outline.rfind("#comment sensors(sensor sensor sensor sensor sensor", 0), 0u) << outline;
    EXPECT_EQ(outline.find_first_not_of("sensor ()", 16), std::string::npos) << outline;
    EXPECT_NE(r.out.find("<sensor id=\"101\"", second), std::string::npos) << r.out;
}

TEST(QcanHost, ListShowsEachAdapterAndAdapterOrVendorChoosesOne)
{
    const std::string two = "QCAN_ADAPTERS=SIM_EXCAVATOR=sim:excavator;DUMMY1=dummy";
    const std::vector<Json> docs = documents(HostProcess::run({"--list", "--json"}, {two}));
    ASSERT_EQ(docs.size(), 1u);
    std::set<std::string> names;
    for (const Json& a : docs[0].at("adapters"))
        names.insert(a.at("name").get<std::string>() + " | " + a.at("description").get<std::string>());
    EXPECT_EQ(names, (std::set<std::string>{"SIM_EXCAVATOR | Simulated excavator", "DUMMY1 | Dummy adapter DUMMY1"}));
    EXPECT_EQ(docs[0].at("adapters").at(1).at("vendor").get<std::string>(), "Dummy") << docs[0];
    EXPECT_NE(HostProcess::run({"--list"}, {kSimOnly}).out.find("SIM_EXCAVATOR"), std::string::npos);

    // A name, or a vendor pattern that ignores case.
    for (const std::vector<std::string>& choice : {std::vector<std::string>{"--adapter", "DUMMY1"}, {"--vendor", "uMM"}}) {
        std::vector<std::string> args = choice;
        args.insert(args.end(), {"--json", "--count", "1"});
        const std::vector<Json> d = documents(HostProcess::run(args, {two}));
        ASSERT_EQ(d.size(), 1u) << choice[0];
        ASSERT_EQ(d[0].at("adapters").size(), 1u) << choice[0];
        EXPECT_EQ(d[0].at("adapters").at(0).at("name").get<std::string>(), "DUMMY1") << choice[0];
        EXPECT_TRUE(d[0].at("adapters").at(0).at("connected").get<bool>()) << choice[0];
    }
}

// The sensors --sensor and --class let through: the ids shown in any of three refreshes.
TEST(QcanHost, SensorAndClassChooseWhichSensorsAreShown)
{
    const auto shownBy = [](std::vector<std::string> args) {
        args.insert(args.end(), {"--json", "--count", "3", "--interval", "400"});
        const std::vector<Json> docs = documents(HostProcess::run(args, {kSimOnly}));
        EXPECT_EQ(docs.size(), 3u);
        std::set<int> shown;
        for (const Json& doc : docs)
            for (const Json& s : doc.at("sensors"))
                shown.insert(s.at("id").get<int>());
        return shown;
    };
    EXPECT_EQ(shownBy({"--sensor", "101", "--sensor=46"}), (std::set<int>{46, 101}));
    EXPECT_EQ(shownBy({"--class", "tiltsensorg1"}), (std::set<int>{101, 102, 103, 105}));  // the four tilt sensors
}

// Exit status 2 for a command line it cannot use, 1 for one it cannot carry out; either way one
// line on standard error saying why, and nothing on standard output.
TEST(QcanHost, RefusalsExitNonZeroWithTheirOneLineReason)
{
    const std::string noFolder = "/tmp/qcan-no-such-folder/x.log";
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
        {{"--class", "Excavator"}, "", "--class needs a sensor class (TiltSensorG1, ", 2},
        {{"--sensor", "256"}, "", "--sensor needs a sensor id from 0 to 255, got '256'", 2},
        {{"--replay", "x.log", "--pace", "fast"}, "", "--pace needs exact or classic, got 'fast'", 2},
        {{"--loop"}, "", "--loop needs --replay", 2},
        {{"--replay-interval", "5"}, "", "--replay-interval needs --replay", 2},
        {{"--replay", "x.log", "--replay-interval", "0"}, "",
         "--replay-interval needs a whole number of milliseconds from 1 to 3600000, got '0'", 2},
        {{"--log", "x.log", "--log-format", "table,id=octal"}, kSimOnly,
         "--log-format: unknown item 'id=octal' (see --help)", 2},
        {{"--log-adapter", "SIM_EXCAVATOR"}, kSimOnly, "--log-adapter and --log-format need --log FILE", 2},
        {{"--log", noFolder, "--count", "1"}, kSimOnly, "cannot write the log file '" + noFolder + "'", 1},
        {{"--adapter", "NOPE"}, kSimOnly, "adapter 'NOPE' is not available (see --list)", 1},
        {{"--vendor", "kvaser"}, "QCAN_ADAPTERS=DUMMY1=dummy", "no available adapter has a vendor containing 'kvaser'", 1},
        {{"--json"}, "QCAN_ADAPTERS=", "no CAN adapter available", 1},
        // A Linux CAN interface that does not exist cannot be opened.
        {{"--json", "--wait-ms", "800"}, "QCAN_ADAPTERS=SC_nosuch=socketcan:qcannosuch0",
         "no adapter connected within 800 ms", 1},
        {{"--replay", noFolder}, "", "'" + noFolder + "' cannot be replayed", 1},
    };
    for (const Case& c : cases) {
        const HostProcess::Result r = HostProcess::run(c.args, {c.env});
        EXPECT_EQ(r.exitStatus, c.exit) << c.reason;
        EXPECT_TRUE(r.out.empty()) << c.reason;
        const std::vector<std::string> lines = HostProcess::lines(r.err);
        if (c.exit == 2) {
            EXPECT_EQ(lines.size(), 1u) << r.err;  // refused before the plug-in logs anything
        }
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [&](const std::string& l) { return l.rfind("qcan-host: " + c.reason, 0) == 0; }),
                  1)
            << r.err;
        EXPECT_GE(r.elapsedMs, c.reason.find("800 ms") != std::string::npos ? 800 : 0);  // waited that long
    }
    const HostProcess::Result help = HostProcess::run({"--help"}, {kSimOnly});
    EXPECT_EQ(help.exitStatus, 0);
    for (const char* option : {"--adapter", "--vendor", "--wait-ms", "--interval", "--duration", "--count", "--json", "--xml",
                               "--list", "--log", "--replay"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
}

// Interrupted while it waits a minute for its next refresh, the host stops at once, cleanly, with
// whole documents only: the signal ends the wait, not the next refresh.
TEST(QcanHost, InterruptStopsCleanlyAndPromptly)
{
    for (int sig : {SIGINT, SIGTERM}) {
        const HostProcess::Result r = HostProcess::run({"--json", "--interval", "60000"}, {kSimOnly}, sig, 1, 30000);
        EXPECT_FALSE(r.timedOut) << "still waiting for its next refresh";
        EXPECT_EQ(r.termSignal, 0) << "killed by the signal instead of stopping";
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        // Well within the minute, on however loaded a machine.
        EXPECT_LT(r.afterSignalMs, 5000) << " ms to stop";
        EXPECT_EQ(documents(r).size(), 1u);
    }
}
