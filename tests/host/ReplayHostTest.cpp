// qcan-host --replay run as a user runs it: a log written in the BUSMASTER form plays into the
// dummy adapter and the sensors of the log appear with the log's readings; the run ends with the log.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "HostProcess.h"
#include <nlohmann/json.hpp>

using Json = nlohmann::json;

namespace {

// A DT500 distance sensor (standard identifier 46) reporting 12.3456 m (123456 in 0.1 mm,
// little-endian in bytes 4 to 7) at 20 Hz for `seconds`.
std::string writeDistanceLog(const std::string& name, int seconds)
{
    const std::string path = std::string(::testing::TempDir()) + "qcan_host_" + std::to_string(getpid()) + "_" + name;
    std::ofstream out(path, std::ios::trunc);
    out << "***BUSMASTER Ver 1.8.0***\n***PROTOCOL CAN***\n***NOTE: PLEASE DO NOT EDIT THIS DOCUMENT***\n"
           "***NOTE: CREATED WITH QUILLARD DATALOGGER***\n***START DATE AND TIME 05:12:2026 10:00:00:0000***\n"
           "***HEX***\n***SYSTEM MODE***\n***START CHANNEL BAUD RATE***\n***CHANNEL 1 - SIM_EXCAVATOR - 0h - 250000 bps***\n"
           "***END CHANNEL BAUD RATE***\n***<Time><Tx/Rx><Channel><CAN ID><Type><DLC><DataBytes>***\n";
    for (int i = 0; i < seconds * 20; ++i) {
        char line[96];
        std::snprintf(line, sizeof line, "10:00:%02d:%03d Rx 1 0x2E s 8 01 00 00 00 40 E2 01 00\n", (i * 50) / 1000,
                      (i * 50) % 1000);
        out << line;
    }
    out << "***END DATE AND TIME 05:12:2026 10:00:09:***\n***[STOP LOGGING SESSION]***\n";
    return path;
}

}  // namespace

TEST(QcanHostReplay, PlaysTheLogIntoTheDummyAdapterShowsItsSensorAndEndsWithIt)
{
    const std::string path = writeDistanceLog("host_replay.log", 2);
    for (const char* pace : {"exact", "classic"}) {
        // QCAN_ADAPTERS names the simulated excavator: a replay without --adapter must not see it.
        const HostProcess::Result r = HostProcess::run({"--replay", path, "--pace", pace, "--json", "--interval", "100"},
                                                       {"QCAN_ADAPTERS=SIM_EXCAVATOR=sim:excavator"});
        ASSERT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        EXPECT_GE(r.elapsedMs, 1900) << pace;  // the log's two seconds
        EXPECT_LT(r.elapsedMs, 2000 + 5000 + 3000) << pace;
        const std::vector<std::string> docs = HostProcess::lines(r.out);
        ASSERT_GE(docs.size(), 10u);
        const Json last = Json::parse(docs.back());
        ASSERT_EQ(last.at("adapters").size(), 1u);
        EXPECT_EQ(last.at("adapters").at(0).at("name").get<std::string>(), "DUMMY_REPLAY");
        ASSERT_EQ(last.at("sensors").size(), 1u);
        EXPECT_EQ(last.at("sensors").at(0).at("class").get<std::string>(), "DT500Sensor");
        EXPECT_NEAR(last.at("sensors").at(0).at("readings").at("getDistance").get<double>(), 12.3456, 1e-9);
        EXPECT_NE(r.err.find("Logfile ok"), std::string::npos);
    }
    std::remove(path.c_str());
}
