// The SocketCAN adapters of our adapter library against the kernel's CAN stack, with can-utils as
// the peer. Runs inside the test VM (tests/vcan/vm-run.sh), as root, with vcan0, vcan1 and slcan0
// (a serial-line CAN controller at 500 kbit/s) set up by vm-inside.sh and
// QCAN_ADAPTERS="SC_vcan0=socketcan:vcan0;SC_vcan1=socketcan:vcan1;SC_slcan0=socketcan:slcan0".
// The plug-in runs as in a host: the manager's own thread, the adapter library loaded at run time.
// Frames are compared in candump's log form ("123#1122", "12345678#R", "0AB#R5").
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "ChildProcess.h"
#include "ClockPump.h"
#include "DT500Sensor.h"
#include "FrameParsers.h"
#include "HostProcess.h"
#include "LogCapture.h"
#include "MakerId.h"
#include "QCANDevice.h"
#include "RunningManager.h"
#include "SensorManager.h"
#include "TiltSensorG1.h"

using namespace Sensors;

namespace {

void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// A frame in candump's log form.
std::string logText(const _TGENERIC_CAN_FRAME& f)
{
    char buf[64];
    int n = std::snprintf(buf, sizeof buf, f.header.ext ? "%08X#" : "%03X#", f.header.id);
    if (f.header.rtr)
        std::snprintf(buf + n, sizeof buf - n, f.header.dlc ? "R%X" : "R", f.header.dlc);
    for (unsigned i = 0; !f.header.rtr && i < f.header.dlc && i < 8; ++i)
        n += std::snprintf(buf + n, sizeof buf - n, "%02X", f.data[i]);
    return buf;
}

// The frames of a `candump -L` file, "(time) IFNAME FRAME" lines; CAN FD frames ("##") in fd.
std::vector<std::string> candumpFrames(const std::string& path, const std::string& ifname, int* fd = nullptr)
{
    std::vector<std::string> frames;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string time, name, frame;
        words >> time >> name >> frame;
        EXPECT_EQ(name, ifname) << line;
        if (frame.find("##") == std::string::npos)
            frames.push_back(frame);
        else if (fd)
            ++*fd;
    }
    return frames;
}

// Receivers (raw sockets and their filters) the kernel has on the interface.
int receiversOn(const std::string& ifname)
{
    std::ifstream in("/proc/net/can/rcvlist_all");
    int n = 0;
    for (std::string line; std::getline(in, line);)
        n += line.find(" " + ifname + " ") != std::string::npos;
    return n;
}

// Starts `candump -L [options] IFNAME > outFile` and returns once it listens.
void startCandump(ChildProcess& dump, const std::string& options, const std::string& ifname, const std::string& outFile)
{
    const int before = receiversOn(ifname);
    ASSERT_TRUE(dump.start("exec candump -L " + options + " " + ifname + " > " + outFile));
    ASSERT_TRUE(eventually([&] { return receiversOn(ifname) > before; }, 10000))
        << "candump did not bind to " << ifname;
}

// Every frame the adapter's parser list is offered, once, in the order the plug-in parses them.
// It wraps the default parser, so frames still become sensor updates as in production; a frame
// whose sensor is missing is recorded when the manager's pass takes it out of the receive ring.
struct Recorder {
    std::mutex mutex;
    std::vector<std::string> frames;

    std::vector<std::string> copy()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return frames;
    }
    bool has(const std::string& text)
    {
        const std::vector<std::string> all = copy();
        return std::find(all.begin(), all.end(), text) != all.end();
    }
};

PARSE_RESULT recordAndParse(void* frame, void* device, void* context)
{
    const PARSE_RESULT r = parseDefault(frame, device, SensorManager::getInstance());
    const RxCANFrameT* rx = static_cast<const RxCANFrameT*>(frame);
    if (!(r == PARSE_RESULT_SENSOR_MISSING && !rx->createAllowed)) {
        Recorder* rec = static_cast<Recorder*>(context);
        std::lock_guard<std::mutex> lock(rec->mutex);
        rec->frames.push_back(logText(rx->frame));
    }
    return r;
}

class Vcan : public ::testing::Test {
protected:
    static void SetUpTestSuite() { pump_ = new ClockPump(); }
    static void TearDownTestSuite()
    {
        delete pump_;
        pump_ = nullptr;
    }
    void TearDown() override
    {
        pump_->setPace(1);
        m_->disconnect(3000, 0);
    }

    // Connects the adapter through the manager and waits (real time) until it is CONNECTED.
    int connect(const char* name)
    {
        const int cua = m_->connect(wxString(name));
        EXPECT_GT(cua, 0) << name;
        EXPECT_TRUE(eventually([&] { return m_->getDeviceStatus(cua) == QCAN_STATUS_CONNECTED; }, 10000))
            << name << " is " << m_->getDeviceStatus(cua);
        return cua;
    }

    void record(int cua)
    {
        QCANDevice* d = m_->getQCANDeviceByID(cua);
        ASSERT_NE(d, nullptr);
        d->deleteAllParsers();
        d->addParser(recordAndParse, &rec_);
    }

    int busState(int cua)
    {
        QCANDeviceInfo info;
        return m_->getDeviceInfo(cua, &info) ? info.busState : -99;
    }

    int received(int cua)
    {
        int total = 0, parsed, overflow, r1, r2, r3, r4;
        m_->GetDeviceReceived(cua, &total, &parsed, &overflow, &r1, &r2, &r3, &r4);
        return total;
    }

    static ClockPump* pump_;
    SensorManager* m_ = SensorManager::getInstance();
    Recorder rec_;  // outlives TearDown, which closes the adapters that feed it
};

ClockPump* Vcan::pump_ = nullptr;

TEST_F(Vcan, CangenFramesArriveInOrderAsCandumpSeesThem)
{
    const int cua = connect("SC_vcan0");
    record(cua);
    pump_->setPace(0);  // no silence timeouts while the generators run, however busy the machine
    const int total0 = received(cua);

    // 10000 frames of random identifiers, lengths and kinds (standard, extended, remote, and CAN FD
    // frames, which a classic adapter never receives) beside a G1 tilt sensor (id 4) streaming its
    // fast raw orientation with a counting payload.
    const int kG1 = 500;
    ChildProcess dump, mixed, g1Stream;
    // A socket buffer for the whole run: candump on an emulated CPU beside a flood must not drop.
    startCandump(dump, "-r 8388608", "vcan0", "/tmp/rx.log");
    const uint32_t g1Id = makerId(3, 0, SDT_G1, 4);
    char g1Cmd[128];
    std::snprintf(g1Cmd, sizeof g1Cmd, "exec cangen -g 2 -n %d -e -I %08X -L 8 -D i vcan0", kG1, g1Id);
    ASSERT_TRUE(mixed.start("exec cangen -m -g 1 -n 10000 vcan0"));
    ASSERT_TRUE(g1Stream.start(g1Cmd));
    // The stream ends long before the mix; its sensor is read while fresh (a silent sensor times
    // out and drops its readings).
    EXPECT_EQ(g1Stream.wait(60000), 0);
    ASSERT_TRUE(eventually([&] { return m_->getTiltSensorG1(4, cua).getValue(FAST, RAW).x == kG1 - 1; }, 15000))
        << "the G1 sensor did not follow cangen's count";
    const TiltSensorG1 g1 = m_->getTiltSensorG1(4, cua);
    EXPECT_EQ(mixed.wait(120000), 0);
    sleepMs(200);
    dump.stop();  // candump writes out its log when told to end

    int fdFrames = 0;
    const std::vector<std::string> seen = candumpFrames("/tmp/rx.log", "vcan0", &fdFrames);
    const int all = static_cast<int>(seen.size());
    EXPECT_EQ(all + fdFrames, 10000 + kG1) << "candump missed frames";
    EXPECT_GT(fdFrames, 1000);
    EXPECT_TRUE(eventually([&] { return rec_.copy().size() >= seen.size(); }, 10000))
        << rec_.copy().size() << " of " << all;
    sleepMs(100);  // and nothing beyond
    // None lost between the kernel, the adapter library and the plug-in.
    int total = 0, parsed = 0, overflow = 0, r1, r2, r3, r4;
    m_->GetDeviceReceived(cua, &total, &parsed, &overflow, &r1, &r2, &r3, &r4);
    EXPECT_EQ(total - total0, all);
    EXPECT_EQ(overflow, 0);
    _TCANStats stats{};
    ASSERT_EQ(m_->GetDeviceCanStats(cua, &stats, false), 1);
    EXPECT_EQ(stats.counter[0], static_cast<uint32_t>(all)) << "frames received by the adapter";
    EXPECT_EQ(stats.counter[4], 0u) << "frames the kernel dropped";

    const std::vector<std::string> got = rec_.copy();
    ASSERT_EQ(got.size(), seen.size());
    // Each sender's frames in its order. Frames of two senders reach the receivers of one
    // interface from two CPUs, so candump and the plug-in may see them interleaved differently.
    char g1Prefix[16];
    std::snprintf(g1Prefix, sizeof g1Prefix, "%08X#", g1Id);
    const auto stream = [&](const std::vector<std::string>& frames, bool ofG1) {
        std::vector<std::string> out;
        for (const std::string& f : frames)
            if ((f.rfind(g1Prefix, 0) == 0) == ofG1)
                out.push_back(f);
        return out;
    };
    for (bool ofG1 : {false, true}) {
        const std::vector<std::string> a = stream(got, ofG1), b = stream(seen, ofG1);
        ASSERT_EQ(a.size(), b.size());
        const auto diff = std::mismatch(a.begin(), a.end(), b.begin());
        EXPECT_TRUE(diff.first == a.end()) << (ofG1 ? "G1 stream" : "mix") << " frame " << (diff.first - a.begin())
                                           << ": plug-in " << *diff.first << ", candump " << *diff.second;
    }

    // One sensor update per G1 frame; the typed getter holds the last one's values (little-endian
    // in the frame: each value's low byte first in candump's text).
    const TiltValue v = g1.getValue(FAST, RAW);
    std::string values = g1Prefix;
    for (const int value : {v.x, v.y, v.z, v.w}) {
        char bytes[8];
        std::snprintf(bytes, sizeof bytes, "%02X%02X", value & 0xFF, (value >> 8) & 0xFF);
        values += bytes;
    }
    EXPECT_EQ(values, stream(seen, true).back());
    EXPECT_EQ(g1.getMessageCount(), kG1);
}

TEST_F(Vcan, FramesThePluginSendsAreWhatCandumpSees)
{
    const int cua = connect("SC_vcan0");
    // A G1 sensor (id 3) to send the maker's commands through. Its reading lasts 500 ms of silence:
    // the clock stands while it is made; the queued command needs it running again.
    pump_->setPace(0);
    ASSERT_EQ(std::system("cansend vcan0 00601003#6400FEFF2C010080"), 0);
    ASSERT_TRUE(eventually([&] { return m_->getTiltSensorG1(3, cua).isUnitAvaiable(FAST, RAW); }, 10000));
    pump_->setPace(1);
    const int total0 = received(cua);

    ChildProcess dump;
    startCandump(dump, "-n 7", "vcan0", "/tmp/tx.log");
    const std::pair<std::string, _TGENERIC_CAN_FRAME> direct[] = {
        {"123#0102030405060708", {{0x123, 0, 0, 8}, {1, 2, 3, 4, 5, 6, 7, 8}}},  // identifier, ext, rtr, length
        {"7FF#", {{0x7FF, 0, 0, 0}, {}}},
        {"18FF1234#AA5500", {{0x18FF1234, 1, 0, 3}, {0xAA, 0x55, 0x00}}},
        {"1FFFFFFF#R", {{0x1FFFFFFF, 1, 1, 0}, {}}},
        {"0AB#R5", {{0x0AB, 0, 1, 5}, {}}},
    };
    std::vector<std::string> expected;
    for (const auto& d : direct) {
        _TGENERIC_CAN_FRAME f = d.second;
        EXPECT_EQ(m_->sendGenCanMsg(cua, &f, false), 1) << d.first;
        expected.push_back(d.first);
    }
    // Two of the maker's commands through the sensor's copy: a poll (direct) and a ping (queued).
    TiltSensorG1 g1 = m_->getTiltSensorG1(3, cua);
    EXPECT_EQ(g1.pollMessage(7, 2), 1);
    g1.sendPing(3);
    char commands[2][24];
    std::snprintf(commands[0], sizeof commands[0], "%08X#R", makerId(7, 2, SDT_G1, 3));
    std::snprintf(commands[1], sizeof commands[1], "%08X#R3", makerId(200, 0, SDT_G1, 3));
    expected.insert(expected.end(), {commands[0], commands[1]});
    EXPECT_EQ(dump.wait(15000), 0) << "candump saw fewer than 7 frames";
    dump.stop();
    EXPECT_EQ(candumpFrames("/tmp/tx.log", "vcan0"), expected);
    EXPECT_EQ(received(cua), total0) << "the plug-in heard its own frames back as bus traffic";
}

TEST_F(Vcan, ReconnectsAfterTheLinkGoesDownAndAfterTheInterfaceIsRecreated)
{
    LogCapture log;
    const int cua = connect("SC_vcan0");
    record(cua);
    ASSERT_EQ(std::system("cansend vcan0 321#01"), 0);
    ASSERT_TRUE(eventually([&] { return rec_.has("321#01"); }, 10000));

    // Waits for the reconnection with the plug-in's clock running fast, and back at real pace from
    // the moment the adapter is open again (its status reports keep real time).
    const auto reconnect = [&](const char* what) {
        const int errors0 = m_->GetDeviceErrorCount(cua);
        EXPECT_TRUE(eventually([&] { return busState(cua) == CAN_BUS_HW_FAILURE; }, 10000))
            << what << ": the adapter did not report the fault";
        pump_->setPace(20);
        EXPECT_TRUE(eventually([&] { return m_->getDeviceStatus(cua) != QCAN_STATUS_CONNECTED; }, 10000)) << what;
        EXPECT_TRUE(eventually([&] { return m_->GetDeviceErrorCount(cua) > errors0; }, 10000)) << what;
        // However long it stays broken, the adapter does not come back on its own.
        sleepMs(500);
        EXPECT_NE(m_->getDeviceStatus(cua), QCAN_STATUS_CONNECTED) << what;
    };
    const auto backUp = [&](const char* what, const char* frame) {
        // Fast while it closes, waits and retries; real pace once it is open again.
        EXPECT_TRUE(eventually(
            [&] {
                const int s = m_->getDeviceStatus(cua);
                pump_->setPace(s == QCAN_STATUS_CONNECTING || s == QCAN_STATUS_CONNECTED ? 1 : 20);
                return s == QCAN_STATUS_CONNECTED;
            },
            20000))
            << what << ": no reconnection, status " << m_->getDeviceStatus(cua);
        pump_->setPace(1);
        EXPECT_EQ(busState(cua), CAN_BUS_ON) << what;
        ASSERT_EQ(std::system((std::string("cansend vcan0 ") + frame).c_str()), 0);
        EXPECT_TRUE(eventually([&] { return rec_.has(frame); }, 10000)) << what << ": traffic did not resume";
    };

    ASSERT_EQ(std::system("ip link set vcan0 down"), 0);
    reconnect("link down");
    ASSERT_EQ(std::system("ip link set vcan0 up"), 0);
    backUp("link up", "322#02");

    ASSERT_EQ(std::system("ip link del dev vcan0"), 0);
    reconnect("interface deleted");
    const std::string openFailed = "QCANDevice::Connect Failed to initialize CUA SC_vcan0";
    EXPECT_TRUE(eventually([&] { return log.has(WispLogLevels::Error, openFailed); }, 10000))
        << "no open was tried while the interface was gone";
    ASSERT_EQ(std::system("ip link add dev vcan0 type vcan && ip link set up vcan0"), 0);
    backUp("interface recreated", "12345678#0304");
}

TEST_F(Vcan, TwoAdaptersOnTwoInterfacesKeepTheirOwnSensors)
{
    const int a = connect("SC_vcan0");
    const int b = connect("SC_vcan1");
    pump_->setPace(0);
    ASSERT_EQ(std::system("cansend vcan0 00601003#0100020003000400 && cansend vcan1 00601003#0B000C000D000E00"), 0);
    ASSERT_TRUE(eventually([&] { return m_->getTiltSensorG1(3, a).isUnitAvaiable(FAST, RAW); }, 10000));
    ASSERT_TRUE(eventually([&] { return m_->getTiltSensorG1(3, b).isUnitAvaiable(FAST, RAW); }, 10000));
    const TiltValue va = m_->getTiltSensorG1(3, a).getValue(FAST, RAW), vb = m_->getTiltSensorG1(3, b).getValue(FAST, RAW);
    EXPECT_EQ(std::vector<int>({va.x, va.y, va.z, va.w}), std::vector<int>({1, 2, 3, 4}));
    EXPECT_EQ(std::vector<int>({vb.x, vb.y, vb.z, vb.w}), std::vector<int>({11, 12, 13, 14}));
    ASSERT_EQ(std::system("cansend vcan1 02E#0100000010270000"), 0);
    double metres = 0;
    EXPECT_TRUE(eventually([&] { return m_->getDT500Sensor(46, b).getDistance(metres); }, 10000));
    EXPECT_DOUBLE_EQ(metres, 1.0);
    EXPECT_EQ(m_->getSensorCount(a), 1) << "a frame of vcan1 reached vcan0's adapter";
    EXPECT_EQ(m_->getSensorCount(b), 2);
}

TEST_F(Vcan, BitRateIsTheKernelsWhereTheInterfaceHasOne)
{
    LogCapture log;
    const std::string mismatch = "QCANDevice: Failed to set QCAN Device bus baud correctly";
    // The complaints of half a second once the adapter has settled.
    const auto complaintsNow = [&] {
        sleepMs(500);
        log.clear();
        sleepMs(500);
        return log.count(WispLogLevels::Error, mismatch);
    };
    // Until the first status report the plug-in cannot read a rate and complains once; from then
    // on a vcan, which has no rate, keeps the one set. The first report can be late in an emulated
    // machine under load: wait for it, not for a time.
    const int v = connect("SC_vcan0");
    EXPECT_TRUE(eventually([&] { return m_->GetDeviceBaudRate(v) == CAN_BAUD_250K; }, 10000))
        << m_->GetDeviceBaudRate(v);
    EXPECT_EQ(complaintsNow(), 0);
    EXPECT_EQ(m_->GetDeviceBaudRate(v), CAN_BAUD_250K);

    // slcan0 was brought up with `ip link set slcan0 type can bitrate 500000`; the host wants 250.
    const int s = connect("SC_slcan0");
    EXPECT_TRUE(eventually([&] { return m_->GetDeviceBaudRate(s) == CAN_BAUD_500K; }, 10000))
        << m_->GetDeviceBaudRate(s);
    EXPECT_EQ(m_->GetDeviceBaudRateInt(s), 500);
    sleepMs(300);
    log.clear();
    EXPECT_TRUE(eventually([&] { return log.count(WispLogLevels::Error, mismatch) > 0; }, 10000))
        << "a connected adapter whose rate differs from the host's";
    EXPECT_EQ(busState(s), CAN_BUS_ON) << "ERROR-ACTIVE";

    // The host asking for the interface's rate ends the complaint.
    m_->getQCANDeviceByID(s)->SetBaudrate(CAN_BAUD_500K);
    EXPECT_EQ(complaintsNow(), 0);
    EXPECT_EQ(m_->getDeviceStatus(s), QCAN_STATUS_CONNECTED);
}

TEST_F(Vcan, QcanHostJsonShowsTheSensorCangenCreates)
{
    ChildProcess g1;
    char g1Cmd[128];
    std::snprintf(g1Cmd, sizeof g1Cmd, "exec cangen -g 20 -e -I %08X -L 8 -D 6400FEFF2C010080 vcan0", makerId(3, 0, SDT_G1, 101));
    ASSERT_TRUE(g1.start(g1Cmd));
    const HostProcess::Result r = HostProcess::run({"--adapter", "SC_vcan0", "--json", "--count", "4", "--interval", "250"},
                                                   {"QCAN_ADAPTERS=SC_vcan0=socketcan:vcan0"}, 0, 0, 60000);
    g1.stop();
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const std::vector<std::string> lines = HostProcess::lines(r.out);
    ASSERT_EQ(lines.size(), 4u) << r.out;
    const nlohmann::json doc = nlohmann::json::parse(lines.back());
    ASSERT_EQ(doc["adapters"].size(), 1u);
    const nlohmann::json& a = doc["adapters"][0];
    EXPECT_EQ(a["name"].get<std::string>() + " " + a["vendor"].get<std::string>() + " " + a["status"].get<std::string>(),
              "SC_vcan0 Socket CONNECTED");
    EXPECT_EQ(a["baud_kbit"], 250);
    ASSERT_EQ(doc["sensors"].size(), 1u) << lines.back();
    const nlohmann::json& s = doc["sensors"][0];
    EXPECT_EQ(std::to_string(s["id"].get<int>()) + " " + s["class"].get<std::string>(), "101 TiltSensorG1");
    EXPECT_TRUE(s["ok"].get<bool>()) << s;
    const nlohmann::json& q = s["readings"]["getOrientation(FAST,RAW)"];
    EXPECT_EQ(std::vector<double>({q["w"], q["x"], q["y"], q["z"]}), std::vector<double>({-32768, 100, -2, 300}));
}

}  // namespace
