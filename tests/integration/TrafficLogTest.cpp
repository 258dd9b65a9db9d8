// Recordings of a dummy adapter's traffic: every frame in order, also when the writer is held up,
// the failure paths with their log texts, and the BUSMASTER form read back by tshark with its times.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "Clock.h"
#include "DataLogging.h"
#include "DummyBus.h"
#include "LogCapture.h"
#include "LoggerThread.h"
#include "TestAdapter.h"
#include "TextFiles.h"

using namespace Sensors;

namespace {

std::vector<std::string> frameLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        if (!line.empty() && line[0] != '*')
            lines.push_back(line);
    return lines;
}

// Every frame reaches the external parsers exactly once: no parser claims or creates anything.
PARSE_RESULT passOver(void*, void*, void*)
{
    return PARSE_RESULT_UNKNOWN;
}

class TrafficLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        char dir[] = "/tmp/qcan_trafficlog_XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        folder = dir;
        ASSERT_TRUE(a.connect());
        a.device()->deleteAllParsers();
        a.device()->addParser(passOver, nullptr);
    }
    void TearDown() override
    {
        std::system(("rm -rf " + folder).c_str());
        // No writer thread outlives its logger for long.
        for (int i = 0; i < 200 && LoggerThread::liveCount() > 0; ++i)
            usleep(5000);
        EXPECT_EQ(LoggerThread::liveCount(), 0);
    }
    // Frames 0x100 + i with data i, i+1, each 1 ms of the clock after the one before.
    void sendFrames(int n)
    {
        for (int i = 0; i < n; ++i) {
            Clock::advance(1);
            EXPECT_TRUE(DummyBus::instance().inject(a.name(), 0x100 + i, i % 2 == 0,
                                                    {static_cast<uint8_t>(i), static_cast<uint8_t>(i + 1)}));
            EXPECT_TRUE(DummyBus::instance().waitDelivered(a.name()));
        }
    }
    TestAdapter a;
    std::string folder;
};

}  // namespace

TEST_F(TrafficLog, WriterHeldUpByASlowReaderLosesNothing)
{
    // The log file is a pipe that a slow reader empties: the writer blocks in its writes while the
    // receive side keeps queuing.
    const std::string path = folder + "/pipe.log";
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    std::string received;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        char chunk[512];
        while (!done || received.find("[STOP LOGGING SESSION]") == std::string::npos) {
            const ssize_t r = read(fd, chunk, sizeof chunk);
            if (r > 0)
                received.append(chunk, static_cast<size_t>(r));
            usleep(r > 0 ? 2000 : 200);  // 512 bytes every 2 ms: far slower than the writer
        }
    });
    const int n = 2000;
    {
        DataLogging logger(a.device(), wxString::FromUTF8(path.c_str()), TIMESTAMP_TIME, CANID_FORMAT_HEX,
                           CANDATA_FORMAT_HEX, wxT(" "), CANIDTYPE_ALL, true);
        for (int i = 0; i < n; ++i)
            DummyBus::instance().inject(a.name(), 0x100 + (i % 0x600), false, {static_cast<uint8_t>(i >> 8),
                                                                                 static_cast<uint8_t>(i)});
        ASSERT_TRUE(DummyBus::instance().waitDelivered(a.name(), 10000));
    }
    done = true;
    reader.join();
    close(fd);
    const std::vector<std::string> lines = frameLines(received);
    ASSERT_EQ(lines.size(), static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        char data[8];
        std::snprintf(data, sizeof data, "%02X %02X", (i >> 8) & 0xFF, i & 0xFF);
        EXPECT_EQ(lines[static_cast<size_t>(i)].substr(lines[static_cast<size_t>(i)].size() - 5), data);
    }
}

TEST_F(TrafficLog, BadPathsAreLoggedAndThePlugInKeepsWorking)
{
    LogCapture log;

    // A folder that does not exist: the logger exists and never logs.
    const std::string missing = folder + "/no/such/folder/x.log";
    {
        DataLogging logger(a.device(), wxString::FromUTF8(missing.c_str()), TIMESTAMP_TIME, CANID_FORMAT_HEX,
                           CANDATA_FORMAT_HEX, wxT(" "), CANIDTYPE_ALL, true);
        sendFrames(5);
    }
    EXPECT_EQ(log.count(WispLogLevels::Warning, "Failed to open datalogging on file " + missing), 1);
    EXPECT_FALSE(std::ifstream(missing).good());

    // A full disk: the header and every batch fail; said once, with the file's name.
    {
        DataLogging logger(a.device(), wxT("/dev/full"), TIMESTAMP_TIME, CANID_FORMAT_HEX, CANDATA_FORMAT_HEX,
                           wxT(" "), CANIDTYPE_ALL, true);
        sendFrames(20);
        usleep(400000);  // a few batches
    }
    EXPECT_EQ(log.count(WispLogLevels::Error, "Error writing log to file /dev/full"), 1);

    EXPECT_EQ(a.device()->getQCANDevStatus(), QCAN_STATUS_CONNECTED);
}

TEST_F(TrafficLog, InteroperableLogReadByTsharkWithIdentifiersDataAndTimes)
{
    ASSERT_EQ(std::system("command -v tshark >/dev/null 2>&1"), 0)
        << "tshark is not installed (scripts/setup-deps.sh installs it)";
    const std::string path = folder + "/interop.log";
    // Each frame as "time in tenths of a millisecond, identifier, extended, length, data".
    std::vector<std::string> sent, read;
    {
        DataLoggingOptions o;
        o.busmasterCompatible = true;
        DataLogging logger(a.device(), wxString::FromUTF8(path.c_str()), o);
        for (uint32_t i = 0; i < 40; ++i) {
            // Steps of 1 to 997 ms, across second boundaries; every length from 0 to 8 bytes.
            Clock::advance(1 + static_cast<unsigned long long>(i * 37) % 997);
            const bool ext = i % 3 == 0;
            const uint32_t id = ext ? 0x18FF0000u + i * 0x111u : 0x700u + i;
            std::vector<uint8_t> data;
            for (uint32_t b = 0; b < i % 9; ++b)
                data.push_back(static_cast<uint8_t>(i * 16 + b));
            ASSERT_TRUE(DummyBus::instance().inject(a.name(), id, ext, data));
            ASSERT_TRUE(DummyBus::instance().waitDelivered(a.name()));
            sent.push_back(std::to_string(Clock::wallMs() * 10) + " " + std::to_string(id) + (ext ? " x " : " s ") +
                           std::to_string(data.size()) + " " + TextFiles::hex(data.data(), data.size()));
        }
    }
    int status = -1;
    const std::string out = TextFiles::commandOutput("tshark -r '" + path +
                                                         "' -T fields -E separator=/t -e frame.time_epoch -e can.id "
                                                         "-e can.flags.xtd -e can.len -e data.data 2>/dev/null",
                                                     &status);
    ASSERT_EQ(status, 0) << out;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> f = TextFiles::tabFields(line);
        f.resize(5);
        // Seconds and the first four decimals: tenths of a millisecond.
        const size_t dot = f[0].find('.');
        ASSERT_NE(dot, std::string::npos) << line;
        const unsigned long long tenths =
            std::stoull(f[0].substr(0, dot)) * 10000 + std::stoull(f[0].substr(dot + 1, 4));
        const bool ext = f[2] == "1" || f[2] == "True";
        read.push_back(std::to_string(tenths) + " " + f[1] + (ext ? " x " : " s ") + f[3] + " " + f[4]);
    }
    EXPECT_EQ(read, sent);
}
