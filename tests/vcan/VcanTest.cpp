// The SocketCAN adapters of our adapter library against the kernel's CAN stack, with can-utils as
// the peer. Runs inside the test VM (tests/vcan/vm-run.sh), as root, with vcan0, vcan1 and slcan0
// (a serial-line CAN controller at 500 kbit/s) set up by vm-inside.sh and
// QCAN_ADAPTERS="SC_vcan0=socketcan:vcan0;SC_vcan1=socketcan:vcan1;SC_slcan0=socketcan:slcan0".
// The plug-in runs as in a host: the manager's own thread, the adapter library loaded at run time.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "CanFrameLog.h"
#include "ChildProcess.h"
#include "ClockPump.h"
#include "DT500Sensor.h"
#include "FrameParsers.h"
#include "HostProcess.h"
#include "LogCapture.h"
#include "MakerId.h"
#include "QCANDevice.h"
#include "SensorManager.h"
#include "TiltSensorG1.h"

using namespace Sensors;

namespace {

bool waitFor(const std::function<bool()>& done, int timeoutMs)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Receivers (raw sockets and their filters) the kernel has on the interface.
int receiversOn(const std::string& ifname)
{
    std::ifstream in("/proc/net/can/rcvlist_all");
    std::string line;
    int n = 0;
    while (std::getline(in, line))
        if (line.find(" " + ifname + " ") != std::string::npos)
            ++n;
    return n;
}

// Starts `candump -L [options] IFNAME > outFile` and returns once it listens.
void startCandump(ChildProcess& dump, const std::string& options, const std::string& ifname, const std::string& outFile)
{
    const int before = receiversOn(ifname);
    ASSERT_TRUE(dump.start("exec candump -L " + options + " " + ifname + " > " + outFile));
    ASSERT_TRUE(waitFor([&] { return receiversOn(ifname) > before; }, 10000)) << "candump did not bind to " << ifname;
}

// Every frame the adapter's parser list is offered, once, in the order the plug-in parses them.
// It wraps the default parser, so frames still become sensor updates as in production; a frame
// whose sensor is missing is recorded when the manager's pass takes it out of the receive ring.
struct Recorder {
    std::mutex mutex;
    std::vector<CanLogFrame> frames;

    size_t size()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return frames.size();
    }
    std::vector<CanLogFrame> copy()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return frames;
    }
    bool has(const std::string& text)
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (const CanLogFrame& f : frames)
            if (f.text() == text)
                return true;
        return false;
    }
};

PARSE_RESULT recordAndParse(void* frame, void* device, void* context)
{
    const PARSE_RESULT r = parseDefault(frame, device, SensorManager::getInstance());
    const RxCANFrameT* rx = static_cast<const RxCANFrameT*>(frame);
    if (!(r == PARSE_RESULT_SENSOR_MISSING && !rx->createAllowed)) {
        Recorder* rec = static_cast<Recorder*>(context);
        std::lock_guard<std::mutex> lock(rec->mutex);
        rec->frames.push_back(CanLogFrame::of(rx->frame));
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
        EXPECT_TRUE(waitFor([&] { return m_->getDeviceStatus(cua) == QCAN_STATUS_CONNECTED; }, 10000))
            << name << " is " << m_->getDeviceStatus(cua);
        return cua;
    }

    void record(int cua, Recorder& rec)
    {
        QCANDevice* d = m_->getQCANDeviceByID(cua);
        ASSERT_NE(d, nullptr);
        d->deleteAllParsers();
        d->addParser(recordAndParse, &rec);
    }

    int busState(int cua)
    {
        QCANDeviceInfo info;
        return m_->getDeviceInfo(cua, &info) ? info.busState : -99;
    }

    static ClockPump* pump_;
    SensorManager* m_ = SensorManager::getInstance();
    Recorder rec_;  // outlives TearDown, which closes the adapters that feed it
};

ClockPump* Vcan::pump_ = nullptr;

TEST_F(Vcan, CangenAndCansendFramesArriveInOrderAsCandumpSeesThem)
{
    const int cua = connect("SC_vcan0");
    Recorder& rec = rec_;
    record(cua, rec);
    pump_->setPace(0);  // no silence timeouts while the generators run, however busy the machine
    int total0 = 0, parsed0 = 0, overflow0 = 0, r1, r2, r3, r4;
    m_->GetDeviceReceived(cua, &total0, &parsed0, &overflow0, &r1, &r2, &r3, &r4);

    // 10000 frames from one generator mixing standard, extended and remote frames of random
    // identifiers and lengths with CAN FD frames (vcan0 carries both), which a classic adapter
    // never receives; beside it a G1 tilt sensor (id 4) streams its fast raw orientation with a
    // counting payload.
    const int kG1 = 500;
    ChildProcess dump;
    startCandump(dump, "", "vcan0", "/tmp/rx.log");
    const uint32_t g1Id = makerId(3, 0, SDT_G1, 4);
    char g1Cmd[128];
    std::snprintf(g1Cmd, sizeof g1Cmd, "exec cangen -g 2 -n %d -e -I %08X -L 8 -D i vcan0", kG1, g1Id);
    ChildProcess mixed, g1Stream;
    ASSERT_TRUE(mixed.start("exec cangen -m -g 1 -n 10000 vcan0"));
    ASSERT_TRUE(g1Stream.start(g1Cmd));
    // The stream ends long before the mix; its sensor is read while fresh (a silent sensor times
    // out and drops its readings).
    EXPECT_EQ(g1Stream.wait(60000), 0);
    ASSERT_TRUE(waitFor([&] { return m_->getTiltSensorG1(4, cua).getValue(FAST, RAW).x == kG1 - 1; }, 15000))
        << "the G1 sensor did not follow cangen's count";
    const TiltSensorG1 g1 = m_->getTiltSensorG1(4, cua);
    EXPECT_EQ(mixed.wait(120000), 0);
    sleepMs(200);
    dump.stop();  // candump writes out its log when told to end

    std::vector<std::string> bad;
    const std::vector<CanLogFrame> seen = CanFrameLog::read("/tmp/rx.log", &bad);
    EXPECT_TRUE(bad.empty()) << bad.front();
    int fdFrames = 0;
    {
        std::ifstream in("/tmp/rx.log");
        for (std::string line; std::getline(in, line);)
            fdFrames += line.find("##") != std::string::npos;
    }
    const int all = static_cast<int>(seen.size());
    EXPECT_EQ(all + fdFrames, 10000 + kG1) << "candump missed frames";
    EXPECT_GT(fdFrames, 1000);
    ASSERT_TRUE(waitFor([&] { return rec.size() >= seen.size(); }, 10000)) << rec.size() << " of " << all;
    sleepMs(100);  // and nothing beyond
    const std::vector<CanLogFrame> got = rec.copy();
    ASSERT_EQ(got.size(), seen.size());
    // Each sender's frames in its order. Frames of two senders reach the receivers of one
    // interface from two CPUs, so candump and the plug-in may see them interleaved differently.
    const auto stream = [&](const std::vector<CanLogFrame>& frames, bool ofG1) {
        std::vector<CanLogFrame> out;
        for (const CanLogFrame& f : frames)
            if ((f.ext && f.id == g1Id) == ofG1)
                out.push_back(f);
        return out;
    };
    for (bool ofG1 : {false, true}) {
        const std::vector<CanLogFrame> a = stream(got, ofG1), b = stream(seen, ofG1);
        ASSERT_EQ(a.size(), b.size());
        size_t firstDiff = a.size();
        for (size_t i = 0; i < a.size() && firstDiff == a.size(); ++i)
            if (!a[i].sameFrame(b[i]))
                firstDiff = i;
        EXPECT_EQ(firstDiff, a.size()) << (ofG1 ? "G1 stream" : "mix") << " frame " << firstDiff << ": plug-in "
                                       << a[firstDiff].text() << ", candump " << b[firstDiff].text();
    }

    // The mix covered what it should.
    bool kinds[2][2] = {};  // [ext][rtr]
    bool lengths[9] = {};
    for (const CanLogFrame& f : seen) {
        kinds[f.ext][f.rtr] = true;
        if (!f.rtr)
            lengths[f.dlc] = true;
    }
    EXPECT_TRUE(kinds[0][0] && kinds[1][0] && kinds[0][1] && kinds[1][1]);
    for (int n = 0; n <= 8; ++n)
        EXPECT_TRUE(lengths[n]) << "no frame of length " << n;

    // The receive counters of the plug-in and of the adapter library agree: none lost.
    int total = 0, parsed = 0, overflow = 0;
    m_->GetDeviceReceived(cua, &total, &parsed, &overflow, &r1, &r2, &r3, &r4);
    EXPECT_EQ(total - total0, all);
    EXPECT_GE(parsed - parsed0, all);  // a frame whose sensor was missing is parsed twice
    EXPECT_EQ(overflow - overflow0, 0);
    _TCANStats stats{};
    ASSERT_EQ(m_->GetDeviceCanStats(cua, &stats, false), 1);
    EXPECT_EQ(stats.counter[0], static_cast<uint32_t>(all)) << "frames received by the adapter";
    EXPECT_EQ(stats.counter[4], 0u) << "frames the kernel dropped";

    // The G1 stream became sensor updates: the typed getter holds the last frame's values.
    const CanLogFrame* last = nullptr;
    for (const CanLogFrame& f : seen)
        if (f.ext && f.id == g1Id)
            last = &f;
    ASSERT_NE(last, nullptr);
    const auto le16 = [&](int i) { return static_cast<int16_t>(last->data[i] | (last->data[i + 1] << 8)); };
    ASSERT_TRUE(g1.isUnitAvaiable(FAST, RAW));
    const TiltValue v = g1.getValue(FAST, RAW);
    EXPECT_EQ(v.x, le16(0));
    EXPECT_EQ(v.y, le16(2));
    EXPECT_EQ(v.z, le16(4));
    EXPECT_EQ(v.w, le16(6));
    EXPECT_EQ(le16(0), kG1 - 1) << "cangen counts from 0";
    EXPECT_EQ(g1.getMessageCount(), kG1) << "one update per frame";
}

TEST_F(Vcan, MakerFramesFromCansendDecodeAndFramesThePluginSendsAreWhatCandumpSees)
{
    const int cua = connect("SC_vcan0");
    pump_->setPace(0);  // a G1 reading lasts 500 ms of silence: the clock stands while it is read
    ASSERT_EQ(ChildProcess::run("cansend vcan0 00601003#6400FEFF2C010080 && cansend vcan0 00E01003#2C0138FF00000000"), 0);
    ASSERT_TRUE(waitFor([&] { return m_->getTiltSensorG1(3, cua).getTemperature2() == -200; }, 10000));
    {
        const TiltSensorG1 g1 = m_->getTiltSensorG1(3, cua);
        ASSERT_TRUE(g1.isUnitAvaiable(FAST, RAW));
        const TiltValue v = g1.getValue(FAST, RAW);
        EXPECT_EQ(std::vector<int>({v.x, v.y, v.z, v.w}), std::vector<int>({100, -2, 300, -32768}));
        EXPECT_EQ(g1.getTemperature1(), 300);
    }
    pump_->setPace(1);
    int total0 = 0, p, o, r1, r2, r3, r4;
    m_->GetDeviceReceived(cua, &total0, &p, &o, &r1, &r2, &r3, &r4);

    ChildProcess dump;
    startCandump(dump, "-n 7", "vcan0", "/tmp/tx.log");
    struct Out {
        uint32_t id;
        bool ext, rtr;
        unsigned dlc;
        std::vector<uint8_t> data;
    };
    const Out direct[] = {
        {0x123, false, false, 8, {1, 2, 3, 4, 5, 6, 7, 8}},
        {0x7FF, false, false, 0, {}},
        {0x18FF1234, true, false, 3, {0xAA, 0x55, 0x00}},
        {0x1FFFFFFF, true, true, 0, {}},
        {0x0AB, false, true, 5, {}},
    };
    for (const Out& o : direct) {
        _TGENERIC_CAN_FRAME f{};
        f.header.id = o.id;
        f.header.ext = o.ext;
        f.header.rtr = o.rtr;
        f.header.dlc = static_cast<uint16_t>(o.dlc);
        std::copy(o.data.begin(), o.data.end(), f.data);
        EXPECT_EQ(m_->sendGenCanMsg(cua, &f, false), 1) << std::hex << o.id;
    }
    // Two of the maker's commands through the sensor's copy: a poll (direct) and a ping (queued).
    TiltSensorG1 g1 = m_->getTiltSensorG1(3, cua);
    EXPECT_EQ(g1.pollMessage(7, 2), 1);
    g1.sendPing(3);
    if (dump.wait(15000) != 0) {
        dump.stop();
        std::ifstream in("/tmp/tx.log");
        FAIL() << "candump saw fewer than 7 frames:\n" << std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::vector<CanLogFrame> expected;
    for (const Out& o : direct) {
        CanLogFrame f;
        f.id = o.id, f.ext = o.ext, f.rtr = o.rtr, f.dlc = o.dlc;
        std::copy(o.data.begin(), o.data.end(), f.data);
        expected.push_back(f);
    }
    CanLogFrame poll, ping;
    poll.id = makerId(7, 2, SDT_G1, 3), poll.ext = true, poll.rtr = true, poll.dlc = 0;
    ping.id = makerId(200, 0, SDT_G1, 3), ping.ext = true, ping.rtr = true, ping.dlc = 3;
    expected.push_back(poll);
    expected.push_back(ping);
    const std::vector<CanLogFrame> seen = CanFrameLog::read("/tmp/tx.log");
    ASSERT_EQ(seen.size(), expected.size());
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_TRUE(seen[i].sameFrame(expected[i])) << i << ": candump " << seen[i].text() << ", sent "
                                                    << expected[i].text();
        EXPECT_EQ(seen[i].interfaceName, "vcan0");
    }
    // The plug-in does not hear its own frames back as bus traffic.
    int total = 0;
    m_->GetDeviceReceived(cua, &total, &p, &o, &r1, &r2, &r3, &r4);
    EXPECT_EQ(total, total0);
}

TEST_F(Vcan, ReconnectsAfterTheLinkGoesDownAndAfterTheInterfaceIsRecreated)
{
    LogCapture log;
    const int cua = connect("SC_vcan0");
    Recorder& rec = rec_;
    record(cua, rec);
    ASSERT_EQ(ChildProcess::run("cansend vcan0 321#01"), 0);
    ASSERT_TRUE(waitFor([&] { return rec.has("321#01"); }, 10000));

    // Waits for the reconnection with the plug-in's clock running fast, and back at real pace from
    // the moment the adapter is open again (its status reports keep real time).
    const auto reconnect = [&](const char* what) {
        const int errors0 = m_->GetDeviceErrorCount(cua);
        EXPECT_TRUE(waitFor([&] { return busState(cua) == CAN_BUS_HW_FAILURE; }, 10000))
            << what << ": the adapter did not report the fault";
        pump_->setPace(20);
        EXPECT_TRUE(waitFor([&] { return m_->getDeviceStatus(cua) != QCAN_STATUS_CONNECTED; }, 10000)) << what;
        EXPECT_TRUE(waitFor([&] { return m_->GetDeviceErrorCount(cua) > errors0; }, 10000)) << what;
        // However long it stays broken, the adapter does not come back on its own.
        sleepMs(500);
        EXPECT_NE(m_->getDeviceStatus(cua), QCAN_STATUS_CONNECTED) << what;
    };
    const auto backUp = [&](const char* what, const char* frame) {
        // Fast while it closes, waits and retries; real pace once it is open again.
        EXPECT_TRUE(waitFor(
            [&] {
                const int s = m_->getDeviceStatus(cua);
                pump_->setPace(s == QCAN_STATUS_CONNECTING || s == QCAN_STATUS_CONNECTED ? 1 : 20);
                return s == QCAN_STATUS_CONNECTED;
            },
            20000))
            << what << ": no reconnection, status " << m_->getDeviceStatus(cua);
        pump_->setPace(1);
        EXPECT_EQ(busState(cua), CAN_BUS_ON) << what;
        ASSERT_EQ(ChildProcess::run(std::string("cansend vcan0 ") + frame), 0);
        EXPECT_TRUE(waitFor([&] { return rec.has(frame); }, 10000)) << what << ": traffic did not resume";
    };

    ASSERT_EQ(ChildProcess::run("ip link set vcan0 down"), 0);
    reconnect("link down");
    ASSERT_EQ(ChildProcess::run("ip link set vcan0 up"), 0);
    backUp("link up", "322#02");

    ASSERT_EQ(ChildProcess::run("ip link del dev vcan0"), 0);
    reconnect("interface deleted");
    EXPECT_TRUE(waitFor([&] { return log.has(WispLogLevels::Error, "QCANDevice::Connect Failed to initialize CUA SC_vcan0"); },
                        10000))
        << "no open was tried while the interface was gone";
    ASSERT_EQ(ChildProcess::run("ip link add dev vcan0 type vcan && ip link set up vcan0"), 0);
    backUp("interface recreated", "12345678#0304");
}

TEST_F(Vcan, TwoAdaptersOnTwoInterfacesKeepTheirOwnSensors)
{
    const int a = connect("SC_vcan0");
    const int b = connect("SC_vcan1");
    ASSERT_NE(a, b);
    pump_->setPace(0);
    ASSERT_EQ(ChildProcess::run("cansend vcan0 00601003#0100020003000400 && cansend vcan1 00601003#0B000C000D000E00"), 0);
    ASSERT_TRUE(waitFor([&] { return m_->getTiltSensorG1(3, a).isUnitAvaiable(FAST, RAW); }, 10000));
    ASSERT_TRUE(waitFor([&] { return m_->getTiltSensorG1(3, b).isUnitAvaiable(FAST, RAW); }, 10000));
    EXPECT_EQ(m_->getTiltSensorG1(3, a).getValue(FAST, RAW).x, 1);
    EXPECT_EQ(m_->getTiltSensorG1(3, a).getValue(FAST, RAW).w, 4);
    EXPECT_EQ(m_->getTiltSensorG1(3, b).getValue(FAST, RAW).x, 11);
    EXPECT_EQ(m_->getTiltSensorG1(3, b).getValue(FAST, RAW).w, 14);
    ASSERT_EQ(ChildProcess::run("cansend vcan1 02E#0100000010270000"), 0);
    double metres = 0;
    EXPECT_TRUE(waitFor([&] { return m_->getDT500Sensor(46, b).getDistance(metres); }, 10000));
    EXPECT_DOUBLE_EQ(metres, 1.0);
    EXPECT_EQ(m_->getSensorCount(a), 1) << "a frame of vcan1 reached vcan0's adapter";
    EXPECT_EQ(m_->getSensorCount(b), 2);
}

TEST_F(Vcan, BitRateIsTheKernelsWhereTheInterfaceHasOne)
{
    LogCapture log;
    const std::string mismatch = "QCANDevice: Failed to set QCAN Device bus baud correctly";
    // Until the first status report the plug-in cannot read a rate and complains once; from then
    // on a vcan, which has no rate, keeps the one set.
    const int v = connect("SC_vcan0");
    sleepMs(300);
    log.clear();
    sleepMs(500);
    EXPECT_EQ(m_->GetDeviceBaudRate(v), CAN_BAUD_250K);
    EXPECT_EQ(log.count(WispLogLevels::Error, mismatch), 0);

    // slcan0 was brought up with `ip link set slcan0 type can bitrate 500000`; the host wants 250.
    const int s = connect("SC_slcan0");
    EXPECT_TRUE(waitFor([&] { return m_->GetDeviceBaudRate(s) == CAN_BAUD_500K; }, 10000)) << m_->GetDeviceBaudRate(s);
    EXPECT_EQ(m_->GetDeviceBaudRateInt(s), 500);
    sleepMs(300);
    log.clear();
    EXPECT_TRUE(waitFor([&] { return log.count(WispLogLevels::Error, mismatch) > 0; }, 10000))
        << "a connected adapter whose rate differs from the host's";
    EXPECT_EQ(busState(s), CAN_BUS_ON) << "ERROR-ACTIVE";

    // The host asking for the interface's rate ends the complaint.
    m_->getQCANDeviceByID(s)->SetBaudrate(CAN_BAUD_500K);
    sleepMs(500);
    log.clear();
    sleepMs(500);
    EXPECT_EQ(log.count(WispLogLevels::Error, mismatch), 0);
    EXPECT_EQ(m_->getDeviceStatus(s), QCAN_STATUS_CONNECTED);
}

TEST_F(Vcan, QcanHostJsonShowsTheSensorsCangenCreates)
{
    ChildProcess g1, dt500;
    char g1Cmd[128];
    std::snprintf(g1Cmd, sizeof g1Cmd, "exec cangen -g 20 -e -I %08X -L 8 -D 6400FEFF2C010080 vcan0",
                  makerId(3, 0, SDT_G1, 101));
    ASSERT_TRUE(g1.start(g1Cmd));
    ASSERT_TRUE(dt500.start("exec cangen -g 50 -I 02E -L 8 -D 0100000010270000 vcan0"));
    const HostProcess::Result r =
        HostProcess::run({"--adapter", "SC_vcan0", "--json", "--count", "4", "--interval", "250"},
                         {"QCAN_ADAPTERS=SC_vcan0=socketcan:vcan0"}, 0, 0, 60000);
    g1.stop();
    dt500.stop();
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const std::vector<std::string> lines = HostProcess::lines(r.out);
    ASSERT_EQ(lines.size(), 4u) << r.out;
    const nlohmann::json doc = nlohmann::json::parse(lines.back());
    ASSERT_EQ(doc["adapters"].size(), 1u);
    EXPECT_EQ(doc["adapters"][0]["name"], "SC_vcan0");
    EXPECT_EQ(doc["adapters"][0]["vendor"], "Socket");
    EXPECT_EQ(doc["adapters"][0]["status"], "CONNECTED");
    EXPECT_EQ(doc["adapters"][0]["baud_kbit"], 250);
    bool sawG1 = false, sawDt500 = false;
    for (const nlohmann::json& s : doc["sensors"]) {
        if (s["id"] == 101 && s["class"] == "TiltSensorG1") {
            sawG1 = true;
            EXPECT_TRUE(s["ok"].get<bool>());
            const nlohmann::json& q = s["readings"]["getOrientation(FAST,RAW)"];
            EXPECT_EQ(q["x"], 100);
            EXPECT_EQ(q["y"], -2);
            EXPECT_EQ(q["z"], 300);
            EXPECT_EQ(q["w"], -32768);
        }
        if (s["id"] == 46 && s["class"] == "DT500Sensor") {
            sawDt500 = true;
            EXPECT_DOUBLE_EQ(s["readings"]["getDistance"].get<double>(), 1.0);
        }
    }
    EXPECT_TRUE(sawG1) << lines.back();
    EXPECT_TRUE(sawDt500) << lines.back();
}

}  // namespace
