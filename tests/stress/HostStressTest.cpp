// Everything at once, as a host with a busy user interface meets adapters that come and go: four
// host threads call every host operation, typed getter and status text and make sensors send; one
// thread connects, disconnects and silences adapters; one thread per adapter injects every make's
// frames as fast as the dummy takes them. Run under AddressSanitizer and ThreadSanitizer it must
// end without a report; at the end every thread has stopped and the manager is empty.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "BoomHeadingSensor.h"
#include "CANopenEncoderSensor.h"
#include "DSM500Sensor.h"
#include "DSM500SensorComponent.h"
#include "DT500Sensor.h"
#include "DummyBus.h"
#include "EngconTiltrotatorSensor.h"
#include "EveryMakeFrames.h"
#include "GenericPositionSensor.h"
#include "KM7.h"
#include "MDS2000IO.h"
#include "MobaCommProtocol.h"
#include "MobaDrillDepthSensor.h"
#include "NMEA2KHeadingSensor.h"
#include "NMEA2KPositionSensor.h"
#include "QCANDevice.h"
#include "RayGauge.h"
#include "RotationSensor.h"
#include "RototiltSensor.h"
#include "SandvikTIMSensor.h"
#include "SensorManager.h"
#include "SimulatorClientSensor.h"
#include "SlopeSensor.h"
#include "SlopeZeroingThread.h"
#include "SteelwristJoystickSensor.h"
#include "SteelwristRotationSensor.h"
#include "SteelwristSlopeSensor.h"
#include "StressOptions.h"
#include "TiltSensorG1.h"

using namespace Sensors;

namespace {

const char* const kAdapters[] = {"STRESS1", "STRESS2", "STRESS3"};
constexpr int kAdapterCount = 3;

struct Counters {
    std::atomic<long long> operations{0};
    std::atomic<long long> cycled{0};
    std::atomic<long long> timeouts{0};
    std::atomic<long long> injected{0};
    std::atomic<long long> sends{0};
};

// Every host operation with an adapter id, the typed getters with the ids the frames use, the
// status texts of the copies, and sensors told to send (copies through the manager, the live
// Moba sensor under its own lock as a host holding it would).
void hostRound(SensorManager* m, int cua, unsigned round, Counters& n)
{
    long long ops = 0;
    auto op = [&ops](auto&&) { ++ops; };

    op(m->getStatus(cua));
    op(m->getStatus(0));
    op(m->isConnected(cua));
    op(m->isAPIConnected());
    op(m->getFirstDevId());
    op(m->QCANDeviceExists(cua));
    op(m->getDeviceStatus(cua));
    QCANDeviceInfo info;
    op(m->getDeviceInfo(cua, &info));
    op(m->getReceived(cua));
    int r[7];
    op(m->GetDeviceReceived(cua, &r[0], &r[1], &r[2], &r[3], &r[4], &r[5], &r[6]));
    _TCANStats stats;
    op(m->GetDeviceCanStats(cua, &stats, true));
    op(m->GetDeviceRXBufferCount(cua));
    op(m->GetDeviceTXBufferCount(cua));
    op(m->GetDeviceErrorCount(cua));
    op(m->GetDeviceBaudRate(cua));
    op(m->GetDeviceBaudRateInt(cua));
    op(m->getDeviceEventLog(cua, -1));
    op(m->getBusPower(cua));
    op(m->getTermination(cua));
    op(m->getSensorCount(cua));
    op(m->getActiveSensorCount(1000, cua));
    op(m->getSensorsCount(cua));
    std::vector<SensorInfo*> infos = m->getSensorsInfo(cua);
    m->deleteSensorsInfo(infos);
    op(infos);
    infos = m->getSensorsInfo(0);
    m->deleteSensorsInfo(infos);
    op(infos);
    _SensorInfo one;
    op(m->getSensorInfo(cua, 0, &one));
    op(m->ToXML(0, 1, cua));
    op(m->ToXML(3, 1, 0));

    // Typed getters and the status text of each copy.
    op(m->getTiltSensorG1(3, cua).getStatus());
    op(m->getRayGauge(4, cua).getStatus());
    op(m->getKM7(6, cua).getStatus());
    op(m->getMDS2000(90, cua).getStatus());
    op(m->getDSM500Sensor(11, cua).getStatus());
    op(m->getMobaDrillDepthSensor(117, cua).getStatus());
    op(m->getBoomHeadingSensor(118, cua).getStatus());
    op(m->getRotationSensor(118, cua).getStatus());
    op(m->getSteeelwristSlopeSensor(130, cua).getStatus());
    op(m->getSteelwristRotationSensor(131, cua).getStatus());
    op(m->getSteelwristJoystickSensor(140, cua).getStatus());
    op(m->getEngconTiltrotatorSensor(131, cua).getStatus());
    op(m->getCANopenEncoderSensor(32, cua).getStatus());
    op(m->getRototiltSensor(131, cua).getStatus());
    op(m->getGenericPositionSensor(9, cua).getStatus());
    op(m->getSimulatorClientSensor(7, cua).getStatus());
    op(m->getNMEA2KHeadingSensor(200, cua).getStatus());
    op(m->getNMEA2KPositionSensor(200, cua).getStatus());
    op(m->getDT500Sensor(46, cua).getStatus());
    op(m->getAnySensor(3, SDT_G1, cua).getStatus());

    // Sensors told to send, through their copies and the manager.
    TiltSensorG1 tilt = m->getTiltSensorG1(3, cua);
    op(tilt.sendPing(2));
    SandvikTIMSensor tim = m->getSandvikTIMSensor(117, cua);
    op(tim.sendHeartBeat());
    _TIMCmdMessage record = {1, 2, 3};
    op(tim.sendCommand(4, &record, false));
    MobaCommProtocol moba = m->getMobaCommProtocol(91, cua);
    unsigned char value[5] = {0x01, 30, 0x00, 0x07, 0x2A};
    op(moba.SendValue(value, 1));
    if (round % 16 == 0) {
        DSM500SensorComponent unit = m->getDSM500SensorComponent(11, cua);
        op(unit.sendChangeId(13));
    }
    if (round % 64 == 0) {
        SlopeSensor slope = m->getSlopeSensor(120, cua);
        op(slope.Zero());
    }
    _TGENERIC_CAN_FRAME frame = {};
    frame.header.id = 0x321;
    frame.header.dlc = 2;
    op(m->sendGenCanMsg(cua, &frame, round % 2 == 0));
    _TQUIL1G5_CAN_FRAME quil = {};
    quil.header.devType = SDT_G1;
    quil.header.devNumber = 3;
    quil.header.dlc = 1;
    op(m->sendCanMsg(cua, &quil, true));

    // The live Moba sensor, sending while its lock is held and its frames arrive.
    if (Sensor* live = m->getSensor(91, SDT_MOBA_PROTOCOL, cua, true)) {
        if (auto* protocol = dynamic_cast<MobaCommProtocol*>(live))
            op(protocol->SendValue(value, 1));
        live->UnlockSensor();
    }
    n.sends += 8;

    // The adapter list, as a host's adapter dialog reads it.
    if (round % 8 == 0) {
        void* list = m->createQCANDeviceList();
        for (int i = 0; i < m->getDeviceListItemCount(list); ++i) {
            wxString name, description, vendor;
            op(m->getDeviceListItemInfo(list, i, name, description, vendor));
        }
        m->deleteQCANDeviceList(list);
    }
    n.operations += ops;
}

}  // namespace

TEST(HostStress, HostThreadsAdapterCyclesAndFullSpeedFramesTogether)
{
    setenv("QCAN_ADAPTERS", "STRESS1=dummy;STRESS2=dummy;STRESS3=dummy", 1);
    DummyBus::instance().reset();
    SensorManager* m = SensorManager::getInstance();
    Counters n;
    std::atomic<bool> stop(false);
    const auto start = std::chrono::steady_clock::now();
    const auto until = start + std::chrono::milliseconds(static_cast<long long>(stressSeconds * 1000));

    // Ids of the adapters now in the table, by name; 0 for none. Written by the cycler only.
    std::atomic<int> ids[kAdapterCount];
    for (int k = 0; k < kAdapterCount; ++k) {
        ids[k] = m->connect(wxString::FromUTF8(kAdapters[k]));
        ASSERT_GT(ids[k].load(), 0);
    }

    std::vector<std::thread> threads;
    for (int k = 0; k < kAdapterCount; ++k)
        threads.emplace_back([&, k] {
            const std::vector<TestFrame> frames = everyMakeFrames();
            while (!stop) {
                for (const TestFrame& f : frames)
                    if (DummyBus::instance().inject(kAdapters[k], f.id, f.ext, f.data))
                        ++n.injected;
                // A closed dummy refuses at once; do not spin on it.
                if (!DummyBus::instance().isOpen(kAdapters[k]))
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    for (int h = 0; h < 4; ++h)
        threads.emplace_back([&, h] {
            for (unsigned round = static_cast<unsigned>(h); !stop; ++round)
                hostRound(m, ids[round % kAdapterCount].load(), round, n);
        });
    threads.emplace_back([&] {
        // The cycler: a disconnect of one adapter and its reconnect, a removal of its sensors, a
        // silence long enough to time it out, and now and then a disconnect of all adapters.
        for (unsigned step = 0; !stop; ++step) {
            const int k = static_cast<int>(step % kAdapterCount);
            const wxString name = wxString::FromUTF8(kAdapters[k]);
            switch (step % 7) {
            case 0:
            case 3:
                m->disconnect(0, ids[k]);
                for (int i = 0; i < 200 && m->QCANDeviceExists(ids[k]) && !stop; ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                // By name, or found in the adapter list as a host's search does (the library
                // enumerates while the host threads send).
                ids[k] = step % 7 == 0 ? m->connect(name)
                                       : m->findAndConnect(CUA_MATCH_NAME, CUA_NAME_EQUALS, name, 0);
                ++n.cycled;
                break;
            case 1:
                m->removeSensors(ids[k]);
                break;
            case 2:
                if (step % 14 == 2) {
                    // Silence: no status reports, so the adapter times out and reconnects.
                    DummyBus::instance().setStatusReports(kAdapters[k], false);
                    for (int i = 0; i < 200 && m->getDeviceStatus(ids[k]) != QCAN_STATUS_TIMEOUT && !stop; ++i)
                        std::this_thread::sleep_for(std::chrono::milliseconds(10));
                    DummyBus::instance().setStatusReports(kAdapters[k], true);
                    ++n.timeouts;
                }
                break;
            case 5:
                if (step % 35 == 5) {
                    m->disconnect(0, 0);
                    for (int j = 0; j < kAdapterCount; ++j) {
                        ids[j] = m->connect(wxString::FromUTF8(kAdapters[j]));
                        ++n.cycled;
                    }
                }
                break;
            default:
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });

    while (std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    stop = true;
    for (std::thread& t : threads)
        t.join();

    m->disconnect(5000, 0);
    EXPECT_FALSE(m->isThreadRunning());
    EXPECT_EQ(m->getQCANDeviceCount(), 0);
    // Zeroing threads end within their own time; none may outlive the run by more.
    const auto zeroingDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (SlopeZeroingThread::liveCount() > 0 && std::chrono::steady_clock::now() < zeroingDeadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(SlopeZeroingThread::liveCount(), 0);

    const double minutes =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / 60.0;
    std::printf("stress: %.2f minutes, %lld host operations, %lld adapters cycled, %lld timeouts, "
                "%lld frames injected, %lld sends\n",
                minutes, n.operations.load(), n.cycled.load(), n.timeouts.load(), n.injected.load(), n.sends.load());
    EXPECT_GT(n.operations.load(), 0);
    EXPECT_GT(n.cycled.load(), 0);
    EXPECT_GT(n.injected.load(), 0);
}
