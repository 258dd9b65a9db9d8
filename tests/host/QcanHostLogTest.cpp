// qcan-host recording the simulated excavator's traffic: the log is complete and closed however
// the run ends, its frame count matches the adapter's counters, and Wireshark's reader (tshark)
// reads every frame of it with the identifier, data and time the line holds.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <unistd.h>

#include "HostProcess.h"
#include "TextFiles.h"

namespace {

const std::string kSimOnly = "QCAN_ADAPTERS=SIM_EXCAVATOR=sim:excavator";

std::string tempDir()
{
    char dir[] = "/tmp/qcan_hostlog_XXXXXX";
    return mkdtemp(dir) ? dir : "";
}

}  // namespace

TEST(QcanHostLog, InterruptedRecordingIsClosedCompleteAndReadByTshark)
{
    ASSERT_EQ(std::system("command -v tshark >/dev/null 2>&1"), 0) << "tshark is not installed (scripts/setup-deps.sh installs it)";
    const std::string dir = tempDir();
    ASSERT_FALSE(dir.empty());
    const std::string log = dir + "/excavator.log";
    // Interrupted after five refreshes: two seconds of traffic.
    const HostProcess::Result r =
        HostProcess::run({"--json", "--log", log, "--tx-log"}, {kSimOnly, "XDG_CONFIG_HOME=" + dir + "/config"}, SIGINT, 5);
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    const std::string text = TextFiles::read(log);
    EXPECT_EQ(text.compare(0, 26, "***BUSMASTER Ver 1.8.0***\n"), 0);
    EXPECT_NE(text.find("\n***[START LOGGING SESSION]***\n"), std::string::npos);
    ASSERT_GE(text.size(), 29u);
    EXPECT_EQ(text.substr(text.size() - 29), "***[STOP LOGGING SESSION]***\n");

    // The frame count matches the adapter's parsed counter: every frame the adapter handed on.
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.err, m, std::regex(R"(received (\d+) frames, parsed (\d+), overflow (\d+))"))) << r.err;
    const long received = std::stol(m[1]), parsed = std::stol(m[2]);
    std::vector<std::string> lines;
    for (const std::string& l : HostProcess::lines(text))
        if (!l.empty() && l[0] != '*')
            lines.push_back(l);
    EXPECT_GT(lines.size(), 500u);  // the excavator sends some hundreds of frames a second
    EXPECT_EQ(static_cast<long>(lines.size()), parsed);
    EXPECT_GE(parsed, received - 63);  // at most one receive ring of frames was still waiting

    // tshark reads every line with its identifier and data (its times are checked on the plug-in's
    // own recordings).
    const std::vector<std::string> rows = HostProcess::lines(TextFiles::commandOutput(
        "tshark -r '" + log + "' -T fields -E separator=/t -e can.id -e data.data 2>/dev/null"));
    ASSERT_EQ(rows.size(), lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        std::istringstream line(lines[i]);
        std::string time, direction, cua, id, type, dlc, data, byte;
        line >> time >> direction >> cua >> id >> type >> dlc;
        while (line >> byte)
            data += byte;
        std::vector<std::string> f = TextFiles::tabFields(rows[i]);
        f.resize(2);
        std::transform(f[1].begin(), f[1].end(), f[1].begin(), ::toupper);
        EXPECT_EQ(std::to_string(std::stoul(id, nullptr, 16)) + " " + data, f[0] + " " + f[1]) << lines[i];
    }

    // The transmit log was switched on and closed.
    const std::string txDir = dir + "/config/Quillard/qcan/log";
    const std::string names = TextFiles::commandOutput("ls " + txDir + " 2>/dev/null");
    ASSERT_TRUE(std::regex_match(names, std::regex(R"(SIM_EXCAVATOR_\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d__TXLOG\.log\n)"))) << names;
    const std::string tx = TextFiles::read(txDir + "/" + names.substr(0, names.size() - 1));
    EXPECT_EQ(tx.compare(0, 16, "Logfile created "), 0);
    EXPECT_EQ(tx.substr(tx.size() - 10), "End of log");
    std::system(("rm -rf " + dir).c_str());
}
